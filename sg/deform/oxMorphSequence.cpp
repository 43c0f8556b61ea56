#include "sg/deform/oxMorphSequence.h"

#include <algorithm>

#include "sg/deform/oxMorphInstance.h"

namespace Kel::Sg {

void oxMorphSequenceData::arkRegisterInitialize(oxFields<oxMorphSequenceData>& f)
{
    f.add(OX_FIELD(keyCount)).setDefault(int32_t(0));
    f.add(OX_FIELD(timeList)).constructWithOwner();
    f.add(OX_FIELD(dataList)).constructWithOwner();
    f.add(OX_FIELD(interpList)).constructWithOwner();
    f.add(OX_FIELD(lastKey)).setDefault(int32_t(-1));
    f.add(OX_FIELD(unifTime)).setDefault(false);
}

void oxMorphSequence::arkRegisterInitialize(oxFields<oxMorphSequence>& f)
{
    f.add(OX_FIELD(playMode)).enumeration(&getPLAY_MODEMetaEnum).setDefault(REPEAT);
    f.add(OX_FIELD(interpolationMethod)).enumeration(&getINTERPOLATION_METHODMetaEnum).setDefault(LINEAR);
    f.add(OX_FIELD(coefCount)).setDefault(int32_t(0));
    f.add(OX_FIELD(coefList)).constructWithOwner();
    f.add(OX_FIELD(keyCount)).setDefault(int32_t(-1));
    f.add(OX_FIELD(timeList)).constructWithOwner();
    f.add(OX_FIELD(lastKey)).setDefault(int32_t(0));
    f.add(OX_FIELD(unifTime)).setDefault(false);
    f.add(OX_FIELD(startTime)).setDefault(0.0f);
    f.add(OX_FIELD(keyFrameTimeOffset)).setDefault(int64_t(0));
    f.add(OX_FIELD(animationDuration)).setDefault(uint32_t(0));
}

oxMorphSequenceData* oxMorphSequence::getCoefficientData(int target) const
{
    return _coefList && target >= 0 && target < _coefList->getCount() ? _coefList->get(target) : nullptr;
}

bool oxMorphSequence::checkKey(const char* what, int key, int count) const
{
    if (key >= 0 && key < count)
        return true;
    oxReportWarning("oxMorphSequence::%s: no key %d (there are %d)", what, key, count < 0 ? 0 : count);
    return false;
}

// The weight list follows the key count; the control list only with Bezier blending, which
// is the only one that reads it.
void oxMorphSequence::sizeWeights(oxMorphSequenceData* d, int n) const
{
    d->_dataList->setCount(n);
    if (_interpolationMethod == BEZIER)
        d->_interpList->setCount(2 * n);
}

void oxMorphSequence::setCoefficientCount(int n)
{
    if (n < 0) {
        oxReportWarning("oxMorphSequence::setCoefficientCount: %d targets", n);
        return;
    }
    while (_coefList->getCount() > n)
        _coefList->remove(_coefList->getCount() - 1);
    while (_coefList->getCount() < n) {
        oxSmartPointer<oxMorphSequenceData> d = oxMorphSequenceData::_instantiateFromPool(getMemoryPool());
        if (_keyCount > 0)
            sizeWeights(d, _keyCount);
        _coefList->append(d);
    }
    _coefCount = n;
}

void oxMorphSequence::setKeyFrameCount(int n)
{
    if (n < 0) {
        oxReportWarning("oxMorphSequence::setKeyFrameCount: %d keys", n);
        return;
    }
    _timeList->setCount(n);
    _keyCount = n;
    _lastKey = 0;
    for (int c = 0; c < _coefList->getCount(); ++c)
        if (oxMorphSequenceData* d = _coefList->get(c); d && d->_keyCount == 0)
            sizeWeights(d, n);
}

void oxMorphSequence::setKeyFrameCount(int target, int n)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d || n < 0) {
        oxReportWarning("oxMorphSequence::setKeyFrameCount: target %d, %d keys", target, n);
        return;
    }
    d->_timeList->setCount(n);
    sizeWeights(d, n);
    d->_lastKey = 0;
    d->_keyCount = n;
}

int oxMorphSequence::getKeyFrameCount(int target) const
{
    const oxMorphSequenceData* d = getCoefficientData(target);
    return d ? d->_keyCount : 0;
}

void oxMorphSequence::useMasterKeyFrames(int target)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d || d->_keyCount != _keyCount)
        return;
    d->_timeList->setCount(0);
    d->_keyCount = 0;
}

void oxMorphSequence::setTimeAsLong(int key, int64_t time)
{
    if (!checkKey("setTimeAsLong", key, std::min(_keyCount, _timeList->getCount())))
        return;
    const uint32_t units = toUnits(time);
    _timeList->set(key, units);
    if (units > _animationDuration)
        _animationDuration = units;
}

void oxMorphSequence::setTimeAsLong(int target, int key, int64_t time)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d) {
        oxReportWarning("oxMorphSequence::setTimeAsLong: no target %d", target);
        return;
    }
    if (checkKey("setTimeAsLong", key, std::min(d->_keyCount, d->_timeList->getCount())))
        d->_timeList->set(key, toUnits(time));
}

int64_t oxMorphSequence::getTimeAsLong(int key) const
{
    return key >= 0 && key < _timeList->getCount() ? fromUnits(_timeList->get(key)) : 0;
}

int64_t oxMorphSequence::getTimeAsLong(int target, int key) const
{
    const oxMorphSequenceData* d = getCoefficientData(target);
    return d && key >= 0 && key < d->_timeList->getCount() ? fromUnits(d->_timeList->get(key)) : 0;
}

void oxMorphSequence::setKeyCoefficient(int target, int key, float weight)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d) {
        oxReportWarning("oxMorphSequence::setKeyCoefficient: no target %d", target);
        return;
    }
    if (checkKey("setKeyCoefficient", key, d->_dataList->getCount()))
        d->_dataList->set(key, weight);
}

void oxMorphSequence::setKeyCoefficient(int target, const float* weights)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d || !weights) {
        oxReportWarning("oxMorphSequence::setKeyCoefficient: %s", d ? "no weights" : "no such target");
        return;
    }
    const int n = std::min(targetKeyCount(d), d->_dataList->getCount());
    for (int k = 0; k < n; ++k)
        d->_dataList->set(k, weights[k]);
}

float oxMorphSequence::getKeyCoefficient(int target, int key) const
{
    const oxMorphSequenceData* d = getCoefficientData(target);
    return d && key >= 0 && key < d->_dataList->getCount() ? d->_dataList->get(key) : 0.0f;
}

void oxMorphSequence::setInterpolationData(int target, int key, float a, float b)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    const int keys = d ? targetKeyCount(d) : 0;
    if (!d || !checkKey("setInterpolationData", key, keys))
        return;
    if (d->_interpList->getCount() < 2 * keys)
        d->_interpList->setCount(2 * keys);
    d->_interpList->set(2 * key, a);
    d->_interpList->set(2 * key + 1, b);
}

namespace {

// Inserts a copy of the neighbouring element (the one at `at`, else the one before) at `at`
// in `n`-element groups: one weight, or a key's two control values.
template <class L>
void insertCopy(L* list, int at, int group)
{
    const int count = list->getCount() / group;
    if (at > count)
        return;
    for (int g = 0; g < group; ++g) {
        const int from = (at < count ? at : at - 1) * group + g;
        const auto value = from >= 0 && from < list->getCount() ? list->get(from) : typename L::Element();
        list->insert(at * group + g, value);
    }
}

template <class L>
void removeGroup(L* list, int at, int group)
{
    if ((at + 1) * group <= list->getCount())
        list->remove(at * group, group);
}

} // namespace

void oxMorphSequence::insertKeyFrame(int key)
{
    const int count = std::max(0, int(_keyCount));
    if (key < 0 || key > count || _timeList->getCount() != count) {
        oxReportWarning("oxMorphSequence::insertKeyFrame: key %d of %d", key, count);
        return;
    }
    insertCopy(_timeList.get(), key, 1);
    for (int c = 0; c < _coefList->getCount(); ++c) {
        oxMorphSequenceData* d = _coefList->get(c);
        if (!d || d->_keyCount != 0)
            continue;
        insertCopy(d->_dataList.get(), key, 1);
        if (d->_interpList->getCount() >= 2 * count)
            insertCopy(d->_interpList.get(), key, 2);
    }
    _keyCount = count + 1;
}

void oxMorphSequence::insertKeyFrame(int target, int key)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d || d->_keyCount <= 0 || key < 0 || key > d->_keyCount || d->_timeList->getCount() != d->_keyCount) {
        oxReportWarning("oxMorphSequence::insertKeyFrame: target %d has no keys of its own at %d", target, key);
        return;
    }
    insertCopy(d->_timeList.get(), key, 1);
    insertCopy(d->_dataList.get(), key, 1);
    if (d->_interpList->getCount() >= 2 * d->_keyCount)
        insertCopy(d->_interpList.get(), key, 2);
    ++d->_keyCount;
}

void oxMorphSequence::removeKeyFrame(int key)
{
    if (!checkKey("removeKeyFrame", key, std::min(_keyCount, _timeList->getCount())))
        return;
    _timeList->remove(key);
    for (int c = 0; c < _coefList->getCount(); ++c) {
        oxMorphSequenceData* d = _coefList->get(c);
        if (!d || d->_keyCount != 0)
            continue;
        removeGroup(d->_dataList.get(), key, 1);
        removeGroup(d->_interpList.get(), key, 2);
    }
    --_keyCount;
}

void oxMorphSequence::removeKeyFrame(int target, int key)
{
    oxMorphSequenceData* d = getCoefficientData(target);
    if (!d || !checkKey("removeKeyFrame", key, std::min(d->_keyCount, d->_timeList->getCount())))
        return;
    d->_timeList->remove(key);
    removeGroup(d->_dataList.get(), key, 1);
    removeGroup(d->_interpList.get(), key, 2);
    --d->_keyCount;
}

void oxMorphSequence::getKeyPoint(int& k0, int& k1, double& f, const uint32_t* times, int count, uint32_t t) const
{
    k0 = k1 = 0;
    f = 0.0;
    if (count <= 0)
        return;
    int first = 0;
    while (first < count && times[first] < t)
        ++first;
    if (first == count) {
        const int last = count - 1;
        if (_playMode == LOOP) {
            const uint32_t span = _animationDuration - times[last];
            k0 = last;
            k1 = 0;
            f = span ? double(uint32_t(t - times[last])) / double(span) : 0.0;
        } else {
            k0 = k1 = last;
        }
        return;
    }
    k1 = first;
    if (first == 0)
        return;
    k0 = first - 1;
    f = double(uint32_t(t - times[k0])) / double(uint32_t(times[k1] - times[k0]));
}

void oxMorphSequence::holdKey(oxFloatList* weights, bool last) const
{
    const int n = std::min(_coefList->getCount(), weights->getCount());
    for (int c = 0; c < n; ++c) {
        const oxMorphSequenceData* d = _coefList->get(c);
        const int count = d && d->_dataList ? std::min(targetKeyCount(d), d->_dataList->getCount()) : 0;
        if (count > 0)
            weights->set(c, d->_dataList->get(last ? count - 1 : 0));
    }
}

void oxMorphSequence::update(oxFloatList* weights, int64_t time) const
{
    // Owned lists are missing only when a scene file said so; such a sequence drives nothing.
    if (!weights || !_coefList || !_timeList)
        return;
    const int64_t d = time - _keyFrameTimeOffset;
    if (d <= 0)
        return holdKey(weights, false);
    uint64_t t = uint32_t(d >> kTimeShift);
    const uint64_t duration = _animationDuration;
    if (_playMode == CLAMP && t > duration)
        return holdKey(weights, true);
    if (_playMode == BOUNCEONCE && t >= 2 * duration)
        return holdKey(weights, false);
    if (duration == 0)
        return holdKey(weights, false);
    if (_playMode == BOUNCE || _playMode == BOUNCEONCE) {
        t %= 2 * duration;
        if (t > duration)
            t = 2 * duration - t;
    } else {
        t %= duration;
    }
    const uint32_t at = uint32_t(t);
    int m0, m1;
    double mf;
    getKeyPoint(m0, m1, mf, _timeList->data(), std::min(int(_keyCount), _timeList->getCount()), at);

    const int n = std::min(_coefList->getCount(), weights->getCount());
    for (int c = 0; c < n; ++c) {
        const oxMorphSequenceData* data = _coefList->get(c);
        if (!data || !data->_dataList || data->_dataList->getCount() == 0)
            continue;
        int k0 = m0, k1 = m1;
        double fd = mf;
        if (data->_keyCount > 0 && !data->_timeList)
            continue;
        if (data->_keyCount > 0)
            getKeyPoint(k0, k1, fd, data->_timeList->data(), std::min(int(data->_keyCount), data->_timeList->getCount()),
                        at);
        const oxFloatList* w = data->_dataList;
        if (k0 >= w->getCount() || k1 >= w->getCount())
            continue;
        const float f = float(fd);
        const float w0 = w->get(k0), w1 = w->get(k1);
        float value;
        const oxFloatList* ctrl = data->_interpList;
        if (_interpolationMethod == BEZIER && ctrl && ctrl->getCount() >= 2 * k0 + 2) {
            auto lerp = [f](float x, float y) { return (y - x) * f + x; };
            const float c0 = ctrl->get(2 * k0), c1 = ctrl->get(2 * k0 + 1);
            const float a = lerp(w0, c0), b = lerp(c0, c1), e = lerp(c1, w1);
            value = lerp(lerp(a, b), lerp(b, e));
        } else if (_interpolationMethod == NONE) {
            value = w0;
        } else {
            value = w0 + (w1 - w0) * f;
        }
        weights->set(c, value);
    }
}

void oxMorphSequence::update(oxMorphInstance* instance, int64_t time) const
{
    if (instance)
        update(instance->getCoeffList(), time);
}

} // namespace Kel::Sg
