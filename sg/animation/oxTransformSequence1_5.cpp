#include "sg/animation/oxTransformSequence1_5.h"

#include <algorithm>
#include <cmath>

#include "sg/animation/oxKeyTime.h"

namespace Kel::Sg {

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;

// Angles about X, then Y, then Z (the order of oxQuaternionf::fromEuler) that give q.
oxVec3f eulerRadians(const oxQuaternionf& q)
{
    const oxMatrix44f m = q.toMatrix();
    const float s = std::clamp(-m.m[0][2], -1.0f, 1.0f);
    const float y = std::asin(s);
    if (std::fabs(s) < 0.99999f)
        return oxVec3f(std::atan2(m.m[1][2], m.m[2][2]), y, std::atan2(m.m[0][1], m.m[0][0]));
    // Gimbal lock: X and Z turn about the same axis; X takes all of it.
    return oxVec3f(std::atan2(-m.m[2][1], m.m[1][1]), y, 0.0f);
}

void resizeList(oxDataList* list, int count)
{
    if (list)
        list->setCount(count);
}

template <class List>
void insertCopy(List* list, int index)
{
    if (list && index >= 0 && index < list->getCount()) {
        const auto value = list->get(index);
        list->insert(index, value);
    }
}

// Copies of key i's two control points before them.
void insertControlPoints(oxVec3fList* list, int index)
{
    if (!list || 2 * index + 1 >= list->getCount())
        return;
    const oxVec3f a = list->get(2 * index), b = list->get(2 * index + 1);
    list->insert(2 * index, b);
    list->insert(2 * index, a);
}

bool within(const oxVec3f& a, const oxVec3f& b, float tolerance)
{
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
           std::fabs(a.z - b.z) <= tolerance;
}

} // namespace

void oxTransformSequence1_5::arkRegisterInitialize(oxFields<oxTransformSequence1_5>& f)
{
    // Only older files fill the seconds list; this class keeps its times in _timeListLong.
    f.redeclare<oxSmartPointer<oxDoubleList>>(nullptr, "_timeList").constructWithOwner(false);
    f.add(OX_FIELD(timeListLong)).constructWithOwner();
    f.add(OX_FIELD(interpolationDataTranslation));
    f.add(OX_FIELD(interpolationDataRotation));
    f.add(OX_FIELD(interpolationDataScale));
    f.add(OX_FIELD(drivenChannels)).setDefault(static_cast<unsigned char>(TRANSLATION | QUATERNION_ROTATION | SCALE));
    static constexpr uint8_t kMethods[3] = {LINEAR, SLERP, LINEAR};
    f.add(OX_FIELD(interpolationMethod)).setDefault(kMethods);
    f.add(OX_FIELD(keyframeTimeOffset)).setDefault(int64_t(0));
    f.add(OX_FIELD(animationDuration)).setDefault(int64_t(-1));
    f.add(OX_FIELD(compressedDataObject));
}

void oxTransformSequence1_5::arkRegisterUser()
{
    oxTransformSequence::getClassTypeSafe()->setRedirect(getClassTypeSafe());
}

// ---- evaluation ---------------------------------------------------------------------------

// Keys the evaluation may index. With uniform spacing the time list holds only the spacing,
// so the keys are counted by the first driven channel's list.
int oxTransformSequence1_5::evaluationKeyCount() const
{
    if (!_timeListLong)
        return 0;
    if (!_uniformTimeEnabled)
        return _timeListLong->getCount();
    for (const oxDataList* list : {static_cast<const oxDataList*>(_quatList.get()),
                                   static_cast<const oxDataList*>(_xlateList.get()),
                                   static_cast<const oxDataList*>(_scaleList.get())})
        if (list && list->getCount() > 0)
            return list->getCount();
    return 0;
}

// Whether every driven channel has a value for each of the first n keys. Lists cut short
// (by hand, or in a damaged file) make the evaluation refuse rather than read past them.
bool oxTransformSequence1_5::keysCover(int n) const
{
    const auto covers = [n](const oxDataList* list) { return !list || list->getCount() >= n; };
    return (!(_drivenChannels & TRANSLATION) || covers(_xlateList)) &&
           (!(_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION)) || covers(_quatList)) &&
           (!(_drivenChannels & SCALE) || covers(_scaleList));
}

bool oxTransformSequence1_5::findSpan(int64_t time, int& cursor, Span& span) const
{
    const int n = evaluationKeyCount();
    if (n <= 0 || _timeListLong->getCount() <= 0 || !keysCover(n))
        return false;
    const int64_t* times = _timeListLong->data();
    const bool uniform = _uniformTimeEnabled;
    const int64_t spacing = uniform ? times[0] : 0;
    if (uniform && spacing <= 0) {
        span = {0, -1, 0};
        return true;
    }
    int64_t t = time - _keyframeTimeOffset;
    const int64_t first = uniform ? 0 : times[0];
    const int64_t last = uniform ? int64_t(n - 1) * spacing : times[n - 1];
    // A sequence built in code may not have its duration yet: its keys make one cycle.
    const int64_t duration = _animationDuration >= 0 ? _animationDuration : last - first;
    const int64_t end = uniform ? duration : first + duration;
    const auto hold = [&span](int key) {
        span = {key, -1, 0};
        return true;
    };

    if (t > end) {
        // A cycle of no length cannot wrap: such a sequence holds its last key.
        const bool wraps = _playMode == REPEAT || _playMode == LOOP || _playMode == BOUNCE;
        if (_playMode == CLAMP || (wraps && duration <= 0))
            return hold(n - 1);
        if (!wraps)
            return hold(0);
        int64_t r;
        const uint32_t cycles = getCycleTime(t - first, duration, r);
        if (_playMode == BOUNCE)
            t = (cycles & 1) ? end - r : first + r;
        else {
            t = first + r;
            if (!uniform && cursor != 1 && cursor >= 1 && cursor < n && t < times[cursor - 1])
                cursor = 1;
        }
    } else if (t < first)
        return hold(0);

    if (t > last) {
        if (_playMode != LOOP)
            return hold(n - 1);
        const float f = uniform ? oxSegmentFraction(std::fmod(oxCoarseTime(t), oxCoarseTime(spacing)), oxCoarseTime(spacing))
                                : oxSegmentFraction(oxCoarseTime(t - last), oxCoarseTime(end - last));
        span = {n - 1, 0, f};
        return true;
    }
    if (n == 1)
        return hold(0);

    if (uniform) {
        const int k0 = int(std::min<int64_t>(t / spacing, n - 1));
        span = {k0, std::min(k0 + 1, n - 1), oxSegmentFraction(std::fmod(oxCoarseTime(t), oxCoarseTime(spacing)), oxCoarseTime(spacing))};
        return true;
    }
    const int c = std::clamp(oxSeekKey(std::clamp(cursor, 1, n - 1), n, t, [times](int k) { return times[k]; }), 1,
                             n - 1);
    cursor = c;
    span = {c - 1, c, oxSegmentFraction(oxCoarseTime(t - times[c - 1]), oxCoarseTime(times[c] - times[c - 1]))};
    return true;
}

oxVec3f oxTransformSequence1_5::blendVec3(const oxVec3f& a, const oxVec3f& b, const oxVec3fList* controls,
                                          int method, const Span& s) const
{
    if (s.k1 < 0 || method == NONE)
        return a;
    // Bezier without its control points (cut short by hand or in a file) falls back to a line.
    if (method == LINEAR || !controls || controls->getCount() <= 2 * s.k0 + 1)
        return lerp(a, b, s.f);
    return bezier(a, controls->get(2 * s.k0), controls->get(2 * s.k0 + 1), b, s.f);
}

oxVec3f oxTransformSequence1_5::blendChannel(const oxVec3fList* keys, const oxVec3fList* controls, int method,
                                             const Span& s) const
{
    const oxVec3f& a = keys->get(s.k0);
    return blendVec3(a, s.k1 < 0 ? a : keys->get(s.k1), controls, method, s);
}

oxQuaternionf oxTransformSequence1_5::blendRotation(const Span& s) const
{
    const oxQuaternionf& a = _quatList->get(s.k0);
    const int method = _interpolationMethod[1];
    if (s.k1 < 0 || method == NONE)
        return a;
    const oxQuaternionf& b = _quatList->get(s.k1);
    if (_drivenChannels & QUATERNION_ROTATION)
        return method == SLERP ? slerp(a, b, s.f) : lerp(a, b, s.f);
    const oxVec3f angles =
        blendVec3(oxVec3f(a.x, a.y, a.z), oxVec3f(b.x, b.y, b.z), _interpolationDataRotation, method, s);
    return oxQuaternionf(angles.x, angles.y, angles.z, 0.0f);
}

oxMatrix44f oxTransformSequence1_5::buildMatrix(const oxVec3f* translation, const oxQuaternionf* rotation,
                                                const oxVec3f* scale) const
{
    oxMatrix44f m;
    if (rotation && (_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION))) {
        if (_drivenChannels & QUATERNION_ROTATION)
            m = rotation->toMatrix();
        else
            m = oxQuaternionf::fromEuler(rotation->x * kDegreesToRadians, rotation->y * kDegreesToRadians,
                                         rotation->z * kDegreesToRadians)
                    .toMatrix();
        m.setTranslation(_centerOfRotation - m.transformVector(_centerOfRotation));
    }
    if (translation && (_drivenChannels & TRANSLATION))
        m.setTranslation(m.getTranslation() + *translation);
    if (scale && (_drivenChannels & SCALE))
        m.preScale(*scale);
    return m;
}

bool oxTransformSequence1_5::getMatrix(oxMatrix44f& m, int64_t t)
{
    Span s;
    if (!findSpan(t, _lastTime, s)) {
        m.makeIdentity();
        return false;
    }
    oxVec3f translation, scale;
    oxQuaternionf rotation;
    if ((_drivenChannels & TRANSLATION) && _xlateList)
        translation = blendChannel(_xlateList, _interpolationDataTranslation, _interpolationMethod[0], s);
    if ((_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION)) && _quatList)
        rotation = blendRotation(s);
    if ((_drivenChannels & SCALE) && _scaleList)
        scale = blendChannel(_scaleList, _interpolationDataScale, _interpolationMethod[2], s);
    m = buildMatrix(_xlateList ? &translation : nullptr, _quatList ? &rotation : nullptr,
                    _scaleList ? &scale : nullptr);
    return true;
}

bool oxTransformSequence1_5::getMatrix(oxMatrix44f& m, int64_t t, int&, oxTransformSourceParameters*)
{
    return getMatrix(m, t);
}

bool oxTransformSequence1_5::getQuaternion(oxQuaternionf& q, int64_t t, int& cursor, oxTransformSourceParameters*)
{
    Span s;
    if (!_quatList || !findSpan(t, cursor, s))
        return false;
    q = blendRotation(s);
    return true;
}

bool oxTransformSequence1_5::getQuaternion(oxQuaternionf& q, int64_t t)
{
    return getQuaternion(q, t, _lastTime, nullptr);
}

bool oxTransformSequence1_5::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t, int& cursor,
                                                         oxTransformSourceParameters*)
{
    Span s;
    if (!_quatList || !_xlateList || !findSpan(t, cursor, s))
        return false;
    v = blendChannel(_xlateList, _interpolationDataTranslation, _interpolationMethod[0], s);
    q = blendRotation(s);
    return true;
}

bool oxTransformSequence1_5::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
{
    return getQuaternionAndTranslation(q, v, t, _lastTime, nullptr);
}

bool oxTransformSequence1_5::isTransformable() const
{
    return oxTransformSequence::isTransformable() && !_interpolationDataTranslation &&
           !_interpolationDataRotation && !_interpolationDataScale;
}

void oxTransformSequence1_5::transform(const oxMatrix44f& m)
{
    const int n = getKeyFrameCount();
    for (int i = 0; i < n; ++i) {
        oxMatrix44f key;
        getMatrix(i, &key);
        key.postMultiply(m);
        setMatrix(i, &key);
    }
    _centerOfRotation = oxVec3f(0, 0, 0);
}

int64_t oxTransformSequence1_5::getFirstFrameTime()
{
    if (getKeyFrameCount() == 0)
        return _keyframeTimeOffset;
    // Uniform keys start at the origin; the time list holds their spacing, not a time.
    return _keyframeTimeOffset + (_uniformTimeEnabled ? 0 : _timeListLong->get(0));
}

int64_t oxTransformSequence1_5::getLastFrameTime()
{
    if (getKeyFrameCount() == 0)
        return _keyframeTimeOffset;
    return getFirstFrameTime() + _animationDuration;
}

// ---- keys -----------------------------------------------------------------------------------

void oxTransformSequence1_5::setMatrix(int index, const oxMatrix44f* m)
{
    if (!m)
        return;
    oxMatrix44f rotation = *m;
    if ((_drivenChannels & TRANSLATION) && _xlateList)
        _xlateList->set(index, m->getTranslation());
    if ((_drivenChannels & SCALE) && _scaleList) {
        oxVec3f s(oxVec3f(m->m[0][0], m->m[0][1], m->m[0][2]).length(),
                  oxVec3f(m->m[1][0], m->m[1][1], m->m[1][2]).length(),
                  oxVec3f(m->m[2][0], m->m[2][1], m->m[2][2]).length());
        // A mirror has no rotation: it goes into the scale, leaving a proper rotation.
        if (m->determinant() < 0)
            s = -s;
        _scaleList->set(index, s);
        const auto inverse = [](float v) { return v != 0 ? 1.0f / v : 1.0f; };
        rotation.preScale(oxVec3f(inverse(s.x), inverse(s.y), inverse(s.z)));
    }
    if (!_quatList)
        return;
    const oxQuaternionf q = oxQuaternionf::fromMatrix(rotation);
    if (_drivenChannels & QUATERNION_ROTATION)
        _quatList->set(index, q);
    else if (_drivenChannels & EULER_ROTATION) {
        const oxVec3f degrees = eulerRadians(q) * kRadiansToDegrees;
        _quatList->set(index, oxQuaternionf(degrees.x, degrees.y, degrees.z, 0.0f));
    }
}

void oxTransformSequence1_5::getMatrix(int index, oxMatrix44f* m) const
{
    if (!m)
        return;
    if (index < 0 || !keysCover(index + 1)) {
        m->makeIdentity();
        return;
    }
    const bool translated = (_drivenChannels & TRANSLATION) && _xlateList;
    const bool rotated = (_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION)) && _quatList;
    const bool scaled = (_drivenChannels & SCALE) && _scaleList;
    *m = buildMatrix(translated ? &_xlateList->get(index) : nullptr, rotated ? &_quatList->get(index) : nullptr,
                     scaled ? &_scaleList->get(index) : nullptr);
}

void oxTransformSequence1_5::removeKeyFrame(int index)
{
    if (_timeListLong)
        _timeListLong->remove(index);
    if (_drivenChannels & TRANSLATION && _xlateList)
        _xlateList->remove(index);
    if (_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION) && _quatList)
        _quatList->remove(index);
    if (_drivenChannels & SCALE && _scaleList)
        _scaleList->remove(index);
}

void oxTransformSequence1_5::insertKeyFrame(int index)
{
    insertCopy(_timeListLong.get(), index);
    if (_drivenChannels & TRANSLATION)
        insertCopy(_xlateList.get(), index);
    if (_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION))
        insertCopy(_quatList.get(), index);
    if (_drivenChannels & SCALE)
        insertCopy(_scaleList.get(), index);
    insertControlPoints(_interpolationDataTranslation, index);
    insertControlPoints(_interpolationDataRotation, index);
    insertControlPoints(_interpolationDataScale, index);
}

void oxTransformSequence1_5::setKeyFrameCount(int count)
{
    if (count < 0)
        return;
    if (!_timeListLong)
        _timeListLong = oxLongList::_instantiateRef();
    _timeListLong->setCount(count);
    if (_drivenChannels & TRANSLATION)
        resizeList(_xlateList, count);
    if (_drivenChannels & (QUATERNION_ROTATION | EULER_ROTATION))
        resizeList(_quatList, count);
    if (_drivenChannels & SCALE)
        resizeList(_scaleList, count);
}

void oxTransformSequence1_5::setEulerRotation(int index, const oxVec3f* degrees)
{
    _quatList->set(index, oxQuaternionf(degrees->x, degrees->y, degrees->z, 0.0f));
}

oxVec3f* oxTransformSequence1_5::getEulerRotation(int index) const
{
    static_assert(offsetof(oxQuaternionf, x) == 0 && offsetof(oxQuaternionf, y) == 4 &&
                  offsetof(oxQuaternionf, z) == 8);
    return reinterpret_cast<oxVec3f*>(&(*_quatList)[index]);
}

void oxTransformSequence1_5::validateKeyframes()
{
    if (!(_drivenChannels & QUATERNION_ROTATION) || !_quatList)
        return;
    for (int k = 0; k + 1 < _quatList->getCount(); ++k) {
        oxQuaternionf& next = (*_quatList)[k + 1];
        if (_quatList->get(k).dot(next) < -0.99999f)
            next = -next;
    }
}

// ---- channels and methods ---------------------------------------------------------------------

void oxTransformSequence1_5::releaseInterpolationData()
{
    _interpolationDataTranslation = nullptr;
    _interpolationDataRotation = nullptr;
    _interpolationDataScale = nullptr;
}

void oxTransformSequence1_5::setComponentChannels(unsigned char channels)
{
    const unsigned char before = _drivenChannels;
    const int n = getKeyFrameCount();
    const auto newList = [n](auto& list) {
        using List = std::remove_pointer_t<decltype(list.get())>;
        list = List::_instantiateRef();
        list->setCount(n);
    };
    _drivenChannels = channels;
    if (channels & TRANSLATION) {
        _interpolationMethod[0] = LINEAR;
        if (!(before & TRANSLATION) || !_xlateList)
            newList(_xlateList);
    } else
        _xlateList = nullptr;
    if (channels & (QUATERNION_ROTATION | EULER_ROTATION)) {
        if (!(before & (QUATERNION_ROTATION | EULER_ROTATION)) || !_quatList)
            newList(_quatList);
        _interpolationMethod[1] = (channels & QUATERNION_ROTATION) ? SLERP : LINEAR;
    } else
        _quatList = nullptr;
    if (channels & SCALE) {
        if (!_scaleList)
            newList(_scaleList);
        _interpolationMethod[2] = LINEAR;
    } else
        _scaleList = nullptr;
    releaseInterpolationData();
}

void oxTransformSequence1_5::addTranslationChannel()
{
    if (_drivenChannels & TRANSLATION)
        return;
    _drivenChannels |= TRANSLATION;
    _xlateList = oxVec3fList::_instantiateRef();
    _xlateList->setCount(getKeyFrameCount());
    _interpolationMethod[0] = LINEAR;
    _interpolationDataTranslation = nullptr;
}

void oxTransformSequence1_5::removeTranslationChannel()
{
    _drivenChannels &= ~TRANSLATION;
    _xlateList = nullptr;
}

void oxTransformSequence1_5::removeScaleChannel()
{
    _drivenChannels &= ~SCALE;
    _scaleList = nullptr;
}

void oxTransformSequence1_5::setInterpolationMethod(DRIVEN_CHANNEL channel, INTERPOLATION_METHOD method)
{
    oxSmartPointer<oxVec3fList>* data = nullptr;
    int slot;
    switch (channel) {
    case TRANSLATION: slot = 0, data = &_interpolationDataTranslation; break;
    case EULER_ROTATION: slot = 1, data = &_interpolationDataRotation; break;
    case SCALE: slot = 2, data = &_interpolationDataScale; break;
    case QUATERNION_ROTATION:
        _interpolationMethod[1] = uint8_t(method);
        _interpolationDataRotation = nullptr;
        return;
    default: return;
    }
    _interpolationMethod[slot] = uint8_t(method);
    if (method == BEZIER) {
        *data = oxVec3fList::_instantiateRef();
        (*data)->setCount(2 * getKeyFrameCount());
    } else
        *data = nullptr;
}

int oxTransformSequence1_5::getInterpolationMethod(DRIVEN_CHANNEL channel)
{
    switch (channel) {
    case TRANSLATION: return _interpolationMethod[0];
    case QUATERNION_ROTATION:
    case EULER_ROTATION: return _interpolationMethod[1];
    case SCALE: return _interpolationMethod[2];
    default: return -1;
    }
}

void oxTransformSequence1_5::setInterpolationData(int index, DRIVEN_CHANNEL channel, const oxVec3f& a,
                                                  const oxVec3f& b)
{
    oxSmartPointer<oxVec3fList>* data;
    if (channel & TRANSLATION)
        data = &_interpolationDataTranslation;
    else if (channel & (QUATERNION_ROTATION | EULER_ROTATION))
        data = &_interpolationDataRotation;
    else if (channel & SCALE)
        data = &_interpolationDataScale;
    else
        return;
    if (!*data)
        *data = oxVec3fList::_instantiateRef();
    if ((*data)->getCount() == 0)
        (*data)->setCount(2 * getKeyFrameCount());
    if (index < 0 || 2 * index + 1 >= (*data)->getCount())
        return;
    (*data)->set(2 * index, a);
    (*data)->set(2 * index + 1, b);
}

// ---- comparisons ----------------------------------------------------------------------------

bool oxTransformSequence1_5::compareTimes(int64_t a, int64_t b, int64_t tolerance)
{
    return a >= b - tolerance && a <= b + tolerance;
}

bool oxTransformSequence1_5::compareTranslations(const oxVec3f& a, const oxVec3f& b, float tolerance)
{
    return within(a, b, tolerance);
}

bool oxTransformSequence1_5::compareQuaternions(const oxQuaternionf& a, const oxQuaternionf& b, double tolerance)
{
    const double d = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
    return d >= 0 && 1.0 - d <= tolerance;
}

bool oxTransformSequence1_5::compareKeyFrames(int i, int j, float translationTolerance, double quaternionTolerance,
                                              float eulerTolerance, float scaleTolerance) const
{
    if ((_drivenChannels & TRANSLATION) && _xlateList &&
        !within(_xlateList->get(i), _xlateList->get(j), translationTolerance))
        return false;
    if ((_drivenChannels & QUATERNION_ROTATION) && _quatList) {
        if (!compareQuaternions(_quatList->get(i), _quatList->get(j), quaternionTolerance))
            return false;
    } else if ((_drivenChannels & EULER_ROTATION) && _quatList &&
               !within(*getEulerRotation(i), *getEulerRotation(j), eulerTolerance))
        return false;
    if ((_drivenChannels & SCALE) && _scaleList && !within(_scaleList->get(i), _scaleList->get(j), scaleTolerance))
        return false;
    return true;
}

namespace {

// Equal counts and every pair alike; a list compared with itself says nothing and is false.
template <class List, class Alike>
bool compareLists(const List* a, const List* b, Alike alike)
{
    if (!a || !b || a == b || a->getCount() != b->getCount())
        return false;
    for (int i = 0; i < a->getCount(); ++i)
        if (!alike(a->get(i), b->get(i)))
            return false;
    return true;
}

} // namespace

bool oxTransformSequence1_5::compareTimeLists(const oxTransformSequence1_5* other, int64_t tolerance) const
{
    return other && other != this &&
           compareLists(_timeListLong.get(), other->_timeListLong.get(),
                        [tolerance](int64_t a, int64_t b) { return compareTimes(a, b, tolerance); });
}

bool oxTransformSequence1_5::compareTranslationLists(const oxTransformSequence1_5* other, float tolerance) const
{
    return other && other != this &&
           compareLists(_xlateList.get(), other->_xlateList.get(),
                        [tolerance](const oxVec3f& a, const oxVec3f& b) { return within(a, b, tolerance); });
}

bool oxTransformSequence1_5::compareQuaternionLists(const oxTransformSequence1_5* other, double tolerance) const
{
    return other && other != this &&
           compareLists(_quatList.get(), other->_quatList.get(), [tolerance](const oxQuaternionf& a, const oxQuaternionf& b) {
               return compareQuaternions(a, b, tolerance);
           });
}

// ---- compressed data ----------------------------------------------------------------------------

bool oxTransformSequence1_5::compress(bool release)
{
    if (_compressedDataObject)
        return false;
    _compressedDataObject = oxCompressedTransformSequence1_5Data::_instantiateRef();
    _compressedDataObject->compress(this, release);
    return true;
}

bool oxTransformSequence1_5::uncompress(bool release)
{
    if (!_compressedDataObject)
        return false;
    if (!_compressedDataObject->uncompress(this, release))
        return false;
    if (release)
        _compressedDataObject = nullptr;
    return true;
}

void oxTransformSequence1_5::releaseCompressedData()
{
    _compressedDataObject = nullptr;
}

void oxTransformSequence1_5::releaseUncompressedData()
{
    for (oxDataList* list : {static_cast<oxDataList*>(_xlateList.get()), static_cast<oxDataList*>(_quatList.get()),
                             static_cast<oxDataList*>(_scaleList.get())})
        if (list) {
            list->setCount(0);
            list->setCapacity(0);
        }
}

// ---- files ----------------------------------------------------------------------------------------

// The reader hands over an object only when it was stored under an older class, and the
// only class that leads here is oxTransformSequence, whose times are seconds.
oxResult oxTransformSequence1_5::makeConcrete(const oxObject* older)
{
    const oxResult result = oxTransformSequence::makeConcrete(older);
    if (result != kSuccess)
        return result;
    if (!_timeListLong)
        _timeListLong = oxLongList::_instantiateRef();
    if (_timeList) {
        for (int i = 0; i < _timeList->getCount(); ++i)
            _timeListLong->append(int64_t(_timeList->get(i) * 1e9));
        _timeList->setCount(0);
    }
    if (_startTime >= 0)
        setKeyFrameTimeOffset(int64_t(_startTime * 1e9));
    _interpolationMethod[0] = LINEAR;
    _interpolationMethod[1] = SLERP;
    _interpolationMethod[2] = LINEAR;
    return kSuccess;
}

void oxTransformSequence1_5::postFileRead()
{
    oxTransformSequence::postFileRead();
    if (_animationDuration == -1 && _timeListLong && _timeListLong->getCount() > 0)
        _animationDuration = _timeListLong->get(_timeListLong->getCount() - 1) - _timeListLong->get(0);
}

} // namespace Kel::Sg
