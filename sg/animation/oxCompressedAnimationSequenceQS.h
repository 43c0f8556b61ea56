#pragma once
#include "sg/animation/oxAnimationSequence.h"

namespace Kel::Sg {

class oxTransformSequence1_5;

// A per-bone sequence of rotations and translations kept in 16 bits a component: each list
// is quantised against one base and one range (value = u × range / 65535 + base), and each
// key time in one 16-bit word (bit 15 the sign, bits 0-14 the magnitude in units of 2^23 ns,
// so times up to about 274.9 s). A key costs 6 + 8 + 2 bytes instead of 12 + 16 + 8.
// Filled once from a keyframed sequence (`configure`), then only evaluated. There is no
// scale, no centre of rotation and no time offset.
class oxCompressedAnimationSequenceQS : public oxAnimationSequence {
    OX_CLASS(oxCompressedAnimationSequenceQS, oxAnimationSequence)
    OX_FIELDS(compressedTranslationList, compressedQuaternionList, compressedTimeList, translationBase,
              translationRangeOverMaxUShort, quaternionBase, quaternionRangeOverMaxUShort, animationDuration,
              playMode, lastTime, channels, interpolationMethod)
public:
    using oxTransformSource::getMatrix;
    using oxTransformSource::getQuaternion;
    using oxTransformSource::getQuaternionAndTranslation;

    // 1 / 65535 in single precision: ranges are stored multiplied by it.
    static constexpr float kOverMaxUShort = 1.5259022e-05f;
    // Magnitudes from 2^38 ns on do not fit a key time; they are clamped to the largest one.
    static constexpr int64_t kLargestTime = int64_t(0x7fff) << 23;

    // Copies the channels, duration, play mode and methods of `sequence` and quantises its
    // translations, quaternions and key times. Its time offset, scales, Euler angles and
    // Bezier data are not carried over.
    virtual void configure(oxTransformSequence1_5* sequence);
    virtual void getTranslation(int key, oxVec3f& out) const;
    virtual void setDuration(uint64_t duration) { _animationDuration = duration; }
    virtual void constructInterpolatedTranslation(oxVec3f& out, int k0, int k1, float f) const;
    virtual void constructInterpolatedQuaternion(oxQuaternionf& out, int k0, int k1, float f) const;

    // ---- evaluation, always from the sequence's own cursor
    bool getMatrix(oxMatrix44f& m, int64_t t) override;
    bool getQuaternion(oxQuaternionf& q, int64_t t) override;
    bool getQuaternion(oxQuaternionf& q, int64_t t, int& cursor, oxTransformSourceParameters* params) override;
    bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t) override;
    void reset() override { _lastTime = 1; }

    // ---- the per-bone sequence interface
    unsigned char getComponentChannels() const override { return _channels; }
    int getTranslationCount() const override { return getTimeCount(); }
    // Decoded into one buffer shared by every compressed sequence: valid until the next call.
    const oxVec3f* getTranslation(int key) const override;
    void removeTranslationChannel() override;
    int getScaleCount() const override { return 0; }
    const oxVec3f* getScale(int) const override { return nullptr; }
    void removeScaleChannel() override {}
    int64_t getKeyframeTimeOffset() override { return 0; }
    int64_t getTimeAsLong(int key) const override { return getTime(key); }
    int64_t getDuration() override { return int64_t(_animationDuration); }

    // ---- single keys
    void getQuaternion(int key, oxQuaternionf& out) const;
    void getFirstTranslation(oxVec3f& out) const { getTranslation(0, out); }
    void getLastTranslation(oxVec3f& out) const { getTranslation(getTimeCount() - 1, out); }
    void getFirstQuaternion(oxQuaternionf& out) const { getQuaternion(0, out); }
    void getLastQuaternion(oxQuaternionf& out) const { getQuaternion(getTimeCount() - 1, out); }
    void setTranslation(int key, const oxVec3f& v);
    void setQuaternion(int key, const oxQuaternionf& q);
    void setTime(int key, int64_t t);
    void setTimeAsLong(int key, int64_t t) { setTime(key, t); }
    int64_t getTime(int key) const { return decodeTime(_compressedTimeList->get(key)); }
    uint16_t getCompressedTime(int key) const { return _compressedTimeList->get(key); }
    int64_t getFirstTime() const { return getTime(0); }
    int64_t getLastTime() const { return getTime(getTimeCount() - 1); }
    static uint16_t encodeTime(int64_t t);
    static int64_t decodeTime(uint16_t word)
    {
        const int64_t magnitude = int64_t(word & 0x7fff) << 23;
        return (word & 0x8000) ? -magnitude : magnitude;
    }

    // ---- whole lists (the steps of configure, one list each)
    void compressTimeList(const oxLongList* times);
    void compressTranslationList(const oxVec3fList* translations);
    void compressQuaternionList(const oxQuaternionfList* quaternions);

    // ---- counts: every list has one entry per encoded time
    int getTimeCount() const { return _compressedTimeList ? _compressedTimeList->getCount() : 0; }
    int getKeyframeCount() const { return getTimeCount(); }
    int getKeyFrameCount() const { return getTimeCount(); }
    int getQuaternionCount() const { return getTimeCount(); }

    // ---- accessors
    unsigned char getChannels() const { return _channels; }
    void setChannels(unsigned char channels) { _channels = channels; }
    PLAY_MODE getPlayMode() const { return _playMode; }
    void setPlayMode(PLAY_MODE mode) { _playMode = mode; }
    int getTranslationInterpolationMethod() const { return _interpolationMethod[0]; }
    void setTranslationInterpolationMethod(int method) { _interpolationMethod[0] = uint8_t(method); }
    int getOrientationInterpolationMethod() const { return _interpolationMethod[1]; }
    void setOrientationInterpolationMethod(int method) { _interpolationMethod[1] = uint8_t(method); }
    oxUnsignedShortList* getCompressedTranslationList() const { return _compressedTranslationList; }
    void setCompressedTranslationList(oxUnsignedShortList* list) { _compressedTranslationList = list; }
    oxUnsignedShortList* getCompressedQuaternionList() const { return _compressedQuaternionList; }
    void setCompressedQuaternionList(oxUnsignedShortList* list) { _compressedQuaternionList = list; }
    oxUnsignedShortList* getCompressedTimeList() const { return _compressedTimeList; }
    void setCompressedTimeList(oxUnsignedShortList* list) { _compressedTimeList = list; }
    int getCursor() const { return _lastTime; }

protected:
    oxCompressedAnimationSequenceQS() = default;
    static void arkRegisterInitialize(oxFields<oxCompressedAnimationSequenceQS>& f);

    // Where a time falls: on key `hold` alone (k1 < 0), or between k0 and k1 at fraction f.
    struct Span {
        int k0;
        int k1;
        float f;
    };
    bool computeKeyframe(int64_t t, Span& span);
    void findKeyframe(int64_t t, Span& span);

    oxSmartPointer<oxUnsignedShortList> _compressedTranslationList;
    oxSmartPointer<oxUnsignedShortList> _compressedQuaternionList;
    oxSmartPointer<oxUnsignedShortList> _compressedTimeList;
    float _translationBase = 0;
    float _translationRangeOverMaxUShort = 0;
    float _quaternionBase = 0;
    float _quaternionRangeOverMaxUShort = 0;
    uint64_t _animationDuration = ~uint64_t(0);
    PLAY_MODE _playMode = REPEAT;
    int _lastTime = 1;
    unsigned char _channels = 0;
    // Translation, rotation, and a slot nothing reads.
    uint8_t _interpolationMethod[3] = {NONE, NONE, NONE};
};

// The same with the Bezier control points of the translations kept, also in 16 bits, so
// that curved paths stay curved.
class oxCompressedBezierAnimationSequenceQS : public oxCompressedAnimationSequenceQS {
    OX_CLASS(oxCompressedBezierAnimationSequenceQS, oxCompressedAnimationSequenceQS)
    OX_FIELDS(compressedBezierTranslationData, bezierTranslationBase, bezierTranslationRangeOverMaxUShort)
public:
    void configure(oxTransformSequence1_5* sequence) override;
    void constructInterpolatedTranslation(oxVec3f& out, int k0, int k1, float f) const override;
    // Control point j: the first (2i) and second (2i + 1) inner points of segment i.
    void getInterpolationDataTranslation(int j, oxVec3f& out) const;
    oxUnsignedShortList* getCompressedBezierTranslationData() const { return _compressedBezierTranslationData; }
    void setCompressedBezierTranslationData(oxUnsignedShortList* list) { _compressedBezierTranslationData = list; }

protected:
    oxCompressedBezierAnimationSequenceQS() = default;
    static void arkRegisterInitialize(oxFields<oxCompressedBezierAnimationSequenceQS>& f);

    oxSmartPointer<oxUnsignedShortList> _compressedBezierTranslationData;
    float _bezierTranslationBase = 0;
    float _bezierTranslationRangeOverMaxUShort = 0;
};

} // namespace Kel::Sg
