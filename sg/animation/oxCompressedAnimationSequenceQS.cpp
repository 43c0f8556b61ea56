#include "sg/animation/oxCompressedAnimationSequenceQS.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/utils/oxCompression.h"
#include "sg/animation/oxQuantisedList.h"
#include "sg/animation/oxKeyTime.h"
#include "sg/animation/oxTransformSequence.h"
#include "sg/animation/oxTransformSequence1_5.h"

namespace Kel::Sg {

using namespace Utils::oxCompression;

void oxCompressedAnimationSequenceQS::arkRegisterInitialize(oxFields<oxCompressedAnimationSequenceQS>& f)
{
    f.add(OX_FIELD(compressedTranslationList));
    f.add(OX_FIELD(compressedQuaternionList));
    f.add(OX_FIELD(compressedTimeList));
    f.add(OX_FIELD(translationBase));
    f.add(OX_FIELD(translationRangeOverMaxUShort));
    f.add(OX_FIELD(quaternionBase));
    f.add(OX_FIELD(quaternionRangeOverMaxUShort));
    f.add(OX_FIELD(animationDuration)).setDefault(~uint64_t(0));
    f.add(OX_FIELD(playMode)).setDefault(REPEAT);
    f.add(OX_FIELD(lastTime)).setDefault(1);
    f.add(OX_FIELD(channels)).setDefault(static_cast<unsigned char>(0));
    f.add(OX_FIELD(interpolationMethod));
}

void oxCompressedBezierAnimationSequenceQS::arkRegisterInitialize(
    oxFields<oxCompressedBezierAnimationSequenceQS>& f)
{
    f.add(OX_FIELD(compressedBezierTranslationData));
    f.add(OX_FIELD(bezierTranslationBase));
    f.add(OX_FIELD(bezierTranslationRangeOverMaxUShort));
}

namespace {

// value = u × range / 65535 + base, per component. Local, so that evaluation inlines it.
inline void decode(const uint16_t* u, int components, float base, float rangeOverMax, float* out)
{
    for (int c = 0; c < components; ++c)
        out[c] = float(u[c]) * rangeOverMax + base;
}

bool holds(const oxUnsignedShortList* list, int values)
{
    return list && list->getCount() >= values;
}

// (value - base) / rangeOverMax truncated toward zero, kept to its low 16 bits. A flat list
// (range 0) has every value at its base.
uint16_t quantise(float value, float base, float rangeOverMax)
{
    if (rangeOverMax == 0.0f)
        return 0;
    const double q = double(value - base) / double(rangeOverMax);
    if (!std::isfinite(q) || std::fabs(q) > 2147483647.0)
        return 0;
    return uint16_t(int64_t(q) & 0xffff);
}

} // namespace

// ---- key times -----------------------------------------------------------------------------

uint16_t oxCompressedAnimationSequenceQS::encodeTime(int64_t t)
{
    uint16_t sign = 0;
    if (t < 0) {
        sign = 0x8000;
        t = t == INT64_MIN ? INT64_MAX : -t;
    }
    if (t > kLargestTime)
        t = kLargestTime;
    return uint16_t(sign | ((uint64_t(t) >> 23) & 0xffff));
}

void oxCompressedAnimationSequenceQS::setTime(int key, int64_t t)
{
    _compressedTimeList->set(key, encodeTime(t));
}

// ---- single keys ---------------------------------------------------------------------------

void oxCompressedAnimationSequenceQS::getTranslation(int key, oxVec3f& out) const
{
    decode(_compressedTranslationList->data() + 3 * key, 3, _translationBase, _translationRangeOverMaxUShort,
           &out.x);
}

const oxVec3f* oxCompressedAnimationSequenceQS::getTranslation(int key) const
{
    static thread_local oxVec3f shared;
    getTranslation(key, shared);
    return &shared;
}

void oxCompressedAnimationSequenceQS::getQuaternion(int key, oxQuaternionf& out) const
{
    float v[4];
    decode(_compressedQuaternionList->data() + 4 * key, 4, _quaternionBase, _quaternionRangeOverMaxUShort, v);
    out = oxQuaternionf(v[0], v[1], v[2], v[3]);
}

void oxCompressedAnimationSequenceQS::setTranslation(int key, const oxVec3f& v)
{
    uint16_t* u = _compressedTranslationList->data() + 3 * key;
    const float* c = &v.x;
    for (int i = 0; i < 3; ++i)
        u[i] = quantise(c[i], _translationBase, _translationRangeOverMaxUShort);
}

void oxCompressedAnimationSequenceQS::setQuaternion(int key, const oxQuaternionf& q)
{
    uint16_t* u = _compressedQuaternionList->data() + 4 * key;
    const float c[4] = {q.x, q.y, q.z, q.w};
    for (int i = 0; i < 4; ++i)
        u[i] = quantise(c[i], _quaternionBase, _quaternionRangeOverMaxUShort);
}

void oxCompressedAnimationSequenceQS::removeTranslationChannel()
{
    _channels &= static_cast<unsigned char>(~TRANSLATION);
    _compressedTranslationList = nullptr;
}

// ---- whole lists ---------------------------------------------------------------------------

void oxCompressedAnimationSequenceQS::compressTimeList(const oxLongList* times)
{
    const int n = times ? times->getCount() : 0;
    oxSizeExactly(_compressedTimeList, n);
    for (int i = 0; i < n; ++i)
        setTime(i, times->get(i));
}

void oxCompressedAnimationSequenceQS::compressTranslationList(const oxVec3fList* translations)
{
    const int n = translations ? translations->getCount() : 0;
    float range = 0;
    oxCompressVec3fList(n ? translations->data() : nullptr, n, oxSizeExactly(_compressedTranslationList, 3 * n)->data(),
                        _translationBase, range);
    _translationRangeOverMaxUShort = range * kOverMaxUShort;
}

void oxCompressedAnimationSequenceQS::compressQuaternionList(const oxQuaternionfList* quaternions)
{
    const int n = quaternions ? quaternions->getCount() : 0;
    std::vector<oxVec4f> values(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const oxQuaternionf& q = quaternions->get(i);
        values[size_t(i)] = oxVec4f(q.x, q.y, q.z, q.w);
    }
    float range = 0;
    oxCompressVec4fList(values.data(), n, oxSizeExactly(_compressedQuaternionList, 4 * n)->data(), _quaternionBase,
                        range);
    _quaternionRangeOverMaxUShort = range * kOverMaxUShort;
}

void oxCompressedAnimationSequenceQS::configure(oxTransformSequence1_5* sequence)
{
    if (!sequence)
        return;
    const int n = sequence->getKeyFrameCount();
    // Only rotation and translation survive: the scale channel has nowhere to go.
    _channels = sequence->getComponentChannels() & (TRANSLATION | QUATERNION_ROTATION);
    _animationDuration = uint64_t(sequence->getDuration());
    _playMode = sequence->getPlayMode();
    if (_channels & TRANSLATION) {
        _interpolationMethod[0] = uint8_t(sequence->getInterpolationMethod(TRANSLATION));
        const oxVec3fList* keys = sequence->getTranslationList();
        const int count = keys ? std::min(n, keys->getCount()) : 0;
        float range = 0;
        oxCompressVec3fList(count ? keys->data() : nullptr, count,
                            oxSizeExactly(_compressedTranslationList, 3 * count)->data(), _translationBase, range);
        _translationRangeOverMaxUShort = range * kOverMaxUShort;
    }
    if (_channels & QUATERNION_ROTATION) {
        _interpolationMethod[1] = uint8_t(sequence->getInterpolationMethod(QUATERNION_ROTATION));
        compressQuaternionList(sequence->getQuaternionList());
        _compressedQuaternionList->setCount(std::min(_compressedQuaternionList->getCount(), 4 * n));
    }
    oxSizeExactly(_compressedTimeList, n);
    bool clamped = false;
    for (int i = 0; i < n; ++i) {
        const int64_t t = sequence->getTimeAsLong(i);
        clamped |= t > kLargestTime || t < -kLargestTime;
        setTime(i, t);
    }
    if (clamped)
        oxReportWarning("compressed sequence: key times beyond %.1f s were clamped to it",
                        double(kLargestTime) * 1e-9);
}

// ---- evaluation ----------------------------------------------------------------------------

void oxCompressedAnimationSequenceQS::findKeyframe(int64_t t, Span& span)
{
    const int n = getTimeCount();
    int c = _lastTime;
    if (c < 1 || c >= n)
        c = 1;
    c = std::clamp(oxSeekKey(c, n, t, [this](int k) { return getTime(k); }), 1, n - 1);
    _lastTime = c;
    const int64_t t0 = getTime(c - 1);
    span = {c - 1, c, oxSegmentFraction(oxCoarseTime(t - t0), oxCoarseTime(getTime(c) - t0))};
}

bool oxCompressedAnimationSequenceQS::computeKeyframe(int64_t t, Span& span)
{
    const int n = getTimeCount();
    // Evaluation needs the rotations of every key, and the translations when driven; lists
    // that came short from a file evaluate to nothing rather than past their end.
    if (n <= 0 || !holds(_compressedQuaternionList, 4 * n) ||
        ((_channels & TRANSLATION) && !holds(_compressedTranslationList, 3 * n)))
        return false;
    const auto hold = [&span](int key) {
        span = {key, -1, 0};
        return true;
    };
    if (n == 1)
        return hold(0);
    const int64_t first = getTime(0);
    const int64_t last = getTime(n - 1);
    // A sequence whose duration was never set lasts from its first key to its last.
    const int64_t duration = _animationDuration == ~uint64_t(0) ? last - first : int64_t(_animationDuration);
    const int64_t end = first + duration;
    // Without a cycle length there is nothing to wrap into: past the end holds, as clamping does.
    const PLAY_MODE mode = duration <= 0 && _playMode != CLAMP ? CLAMP : _playMode;
    if (t > end) {
        int64_t r = 0;
        switch (mode) {
        case CLAMP:
            return hold(n - 1);
        case BOUNCE:
            t = (getCycleTime(t - first, duration, r) & 1) ? end - r : first + r;
            break;
        case REPEAT:
        case LOOP:
            getCycleTime(t - first, duration, r);
            t = first + r;
            if (_lastTime != 1 && _lastTime >= 1 && _lastTime < n && t < getTime(_lastTime - 1))
                _lastTime = 1;
            break;
        default:
            return hold(0);
        }
    } else if (t < first) {
        return hold(0);
    }
    if (t <= last) {
        findKeyframe(t, span);
        return true;
    }
    if (mode != LOOP)
        return hold(n - 1);
    span = {n - 1, 0, oxSegmentFraction(oxCoarseTime(t - last), oxCoarseTime(end - last))};
    return true;
}

void oxCompressedAnimationSequenceQS::constructInterpolatedQuaternion(oxQuaternionf& out, int k0, int k1,
                                                                      float f) const
{
    getQuaternion(k0, out);
    if (_interpolationMethod[1] == NONE)
        return;
    oxQuaternionf b;
    getQuaternion(k1, b);
    out = _interpolationMethod[1] == SLERP ? slerp(out, b, f) : lerp(out, b, f);
}

void oxCompressedAnimationSequenceQS::constructInterpolatedTranslation(oxVec3f& out, int k0, int k1,
                                                                       float f) const
{
    getTranslation(k0, out);
    if (_interpolationMethod[0] == NONE)
        return;
    oxVec3f b;
    getTranslation(k1, b);
    out = lerp(out, b, f);
}

bool oxCompressedAnimationSequenceQS::getQuaternion(oxQuaternionf& q, int64_t t)
{
    Span s;
    if (!computeKeyframe(t, s))
        return false;
    if (s.k1 < 0)
        getQuaternion(s.k0, q);
    else
        constructInterpolatedQuaternion(q, s.k0, s.k1, s.f);
    return true;
}

bool oxCompressedAnimationSequenceQS::getQuaternion(oxQuaternionf& q, int64_t t, int&, oxTransformSourceParameters*)
{
    return getQuaternion(q, t);
}

bool oxCompressedAnimationSequenceQS::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
{
    Span s;
    if (!computeKeyframe(t, s) || !holds(_compressedTranslationList, 3 * getTimeCount()))
        return false;
    if (s.k1 < 0) {
        getTranslation(s.k0, v);
        getQuaternion(s.k0, q);
    } else {
        constructInterpolatedTranslation(v, s.k0, s.k1, s.f);
        constructInterpolatedQuaternion(q, s.k0, s.k1, s.f);
    }
    return true;
}

bool oxCompressedAnimationSequenceQS::getMatrix(oxMatrix44f& m, int64_t t)
{
    Span s;
    if (!computeKeyframe(t, s)) {
        m.makeIdentity();
        return false;
    }
    oxQuaternionf q;
    oxVec3f v;
    if (s.k1 < 0)
        getQuaternion(s.k0, q);
    else
        constructInterpolatedQuaternion(q, s.k0, s.k1, s.f);
    m = q.toMatrix();
    if (_channels & TRANSLATION) {
        if (s.k1 < 0)
            getTranslation(s.k0, v);
        else
            constructInterpolatedTranslation(v, s.k0, s.k1, s.f);
        m.setTranslation(v);
    }
    return true;
}

// ---- Bezier translations -------------------------------------------------------------------

void oxCompressedBezierAnimationSequenceQS::configure(oxTransformSequence1_5* sequence)
{
    oxCompressedAnimationSequenceQS::configure(sequence);
    if (!sequence || !(_channels & TRANSLATION) || sequence->getInterpolationMethod(TRANSLATION) != BEZIER)
        return;
    const oxVec3fList* controls = sequence->getInterpolationDataTranslation();
    const int points = controls ? std::min(controls->getCount(), 2 * sequence->getKeyFrameCount()) : 0;
    float range = 0;
    oxCompressVec3fList(points ? controls->data() : nullptr, points,
                        oxSizeExactly(_compressedBezierTranslationData, 3 * points)->data(), _bezierTranslationBase,
                        range);
    _bezierTranslationRangeOverMaxUShort = range * kOverMaxUShort;
}

void oxCompressedBezierAnimationSequenceQS::getInterpolationDataTranslation(int j, oxVec3f& out) const
{
    decode(_compressedBezierTranslationData->data() + 3 * j, 3, _bezierTranslationBase,
           _bezierTranslationRangeOverMaxUShort, &out.x);
}

void oxCompressedBezierAnimationSequenceQS::constructInterpolatedTranslation(oxVec3f& out, int k0, int k1,
                                                                             float f) const
{
    const int method = _interpolationMethod[0];
    // Without the segment's control points (cut short in a file) a curve falls back to a line.
    if (method == NONE || method == LINEAR || !holds(_compressedBezierTranslationData, 6 * k0 + 6)) {
        oxCompressedAnimationSequenceQS::constructInterpolatedTranslation(out, k0, k1, f);
        return;
    }
    oxVec3f a, b, c0, c1;
    getTranslation(k0, a);
    getTranslation(k1, b);
    getInterpolationDataTranslation(2 * k0, c0);
    getInterpolationDataTranslation(2 * k0 + 1, c1);
    out = bezier(a, c0, c1, b, f);
}

} // namespace Kel::Sg
