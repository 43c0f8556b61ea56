#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxMorphInstance;

// The keys of one morph target: a weight per key (and two Bezier control values per key),
// at key times of its own or, while _keyCount is 0, at the sequence's master key times.
class oxMorphSequenceData : public oxObject {
    OX_CLASS(oxMorphSequenceData, oxObject)
    OX_FIELDS(keyCount, timeList, dataList, interpList, lastKey, unifTime)
public:
    int getKeyCount() const { return _keyCount; }
    oxUnsignedIntList* getTimeList() const { return _timeList; }
    oxFloatList* getDataList() const { return _dataList; }
    oxFloatList* getInterpList() const { return _interpList; }

protected:
    friend class oxMorphSequence;
    oxMorphSequenceData() = default;
    static void arkRegisterInitialize(oxFields<oxMorphSequenceData>& f);

    int32_t _keyCount = 0;
    oxSmartPointer<oxUnsignedIntList> _timeList;
    oxSmartPointer<oxFloatList> _dataList;
    oxSmartPointer<oxFloatList> _interpList;
    int32_t _lastKey = -1;
    bool _unifTime = false;
};

OX_OBJECT_LIST(oxMorphSequenceDataList, oxMorphSequenceData)

// Keyframed weights for the targets of a morph. Times are nanoseconds, kept in units of
// 2^18 ns (about a quarter of a millisecond) as 32-bit values, which reach about 13 days.
// The sequence keeps no state between evaluations, so one sequence can drive any number of
// instances at different times.
class oxMorphSequence : public oxObject {
    OX_CLASS(oxMorphSequence, oxObject)
    OX_FIELDS(playMode, interpolationMethod, coefCount, coefList, keyCount, timeList, lastKey, unifTime, startTime,
              keyFrameTimeOffset, animationDuration)
public:
    OX_ENUM(PLAY_MODE, REPEAT = 0, CLAMP = 1, BOUNCE = 2, LOOP = 3, BOUNCEONCE = 4)
    OX_ENUM(INTERPOLATION_METHOD, NONE = 0, LINEAR = 1, BEZIER = 2)

    static constexpr int kTimeShift = 18;
    static uint32_t toUnits(int64_t t) { return uint32_t(t >> kTimeShift); }
    static int64_t fromUnits(uint32_t u) { return int64_t(u) << kTimeShift; }
    static int64_t fromSeconds(double s) { return int64_t(s * 1e9); }

    void setCoefficientCount(int n);
    int getCoefficientCount() const { return _coefCount; }
    oxMorphSequenceDataList* getCoefficientList() const { return _coefList; }
    oxMorphSequenceData* getCoefficientData(int target) const;

    void setKeyFrameCount(int n);
    void setKeyFrameCount(int target, int n);
    int getKeyFrameCount() const { return _keyCount; }
    int getKeyFrameCount(int target) const;
    void useMasterKeyFrames(int target);

    void setTime(int key, float seconds) { setTimeAsLong(key, fromSeconds(seconds)); }
    void setTime(int key, int64_t time) { setTimeAsLong(key, time); }
    void setTimeAsLong(int key, int64_t time);
    void setTime(int target, int key, float seconds) { setTimeAsLong(target, key, fromSeconds(seconds)); }
    void setTime(int target, int key, int64_t time) { setTimeAsLong(target, key, time); }
    void setTimeAsLong(int target, int key, int64_t time);
    float getTime(int key) const { return float(double(getTimeAsLong(key)) / 1e9); }
    float getTime(int target, int key) const { return float(double(getTimeAsLong(target, key)) / 1e9); }
    // 0 for a key out of range.
    int64_t getTimeAsLong(int key) const;
    int64_t getTimeAsLong(int target, int key) const;

    void setKeyCoefficient(int target, int key, float weight);
    void setKeyCoefficient(int target, const float* weights);
    float getKeyCoefficient(int target, int key) const;
    void setInterpolationData(int target, int key, float a, float b);

    // A new key at `key` (0 to the count) that repeats its neighbour's time and weights, so
    // that the curve stays as it was until the key is edited.
    void insertKeyFrame(int key);
    void insertKeyFrame(int target, int key);
    void removeKeyFrame(int key);
    void removeKeyFrame(int target, int key);

    void setDuration(float seconds) { setDuration(fromSeconds(seconds)); }
    void setDuration(int64_t time) { _animationDuration = toUnits(time); }
    int64_t getDuration() const { return fromUnits(_animationDuration); }
    void setKeyFrameTimeOffset(float seconds) { _keyFrameTimeOffset = fromSeconds(seconds); }
    void setKeyFrameTimeOffset(int64_t time) { _keyFrameTimeOffset = time; }
    int64_t getKeyFrameTimeOffset() const { return _keyFrameTimeOffset; }
    void setPlayMode(PLAY_MODE mode) { _playMode = mode; }
    PLAY_MODE getPlayMode() const { return _playMode; }
    void setInterpolationMethod(INTERPOLATION_METHOD method) { _interpolationMethod = method; }
    INTERPOLATION_METHOD getInterpolationMethod() const { return _interpolationMethod; }
    void setUniformTimeState(bool on) { _unifTime = on; }
    bool getUniformTimeState() const { return _unifTime; }

    // Writes the weight of every target that has keys at `time` into entry c of `weights`
    // (entries beyond the list's count are left out). A sequence whose duration is 0 has no
    // cycle to wrap a time into: it holds its first keys (its last ones with CLAMP once the
    // time is past 0).
    void update(oxFloatList* weights, int64_t time) const;
    void update(oxMorphInstance* instance, int64_t time) const;

    // Keys k0 and k1 around time t (units) and the fraction f between them.
    void getKeyPoint(int& k0, int& k1, double& f, const uint32_t* times, int count, uint32_t t) const;

protected:
    oxMorphSequence() = default;
    static void arkRegisterInitialize(oxFields<oxMorphSequence>& f);

    bool checkKey(const char* what, int key, int count) const;
    int targetKeyCount(const oxMorphSequenceData* d) const { return d->_keyCount > 0 ? d->_keyCount : _keyCount; }
    void sizeWeights(oxMorphSequenceData* d, int n) const;
    void holdKey(oxFloatList* weights, bool last) const;

    PLAY_MODE _playMode = REPEAT;
    INTERPOLATION_METHOD _interpolationMethod = LINEAR;
    int32_t _coefCount = 0;
    oxSmartPointer<oxMorphSequenceDataList> _coefList;
    int32_t _keyCount = -1;
    oxSmartPointer<oxUnsignedIntList> _timeList;
    int32_t _lastKey = 0;
    bool _unifTime = false;
    float _startTime = 0.0f;
    int64_t _keyFrameTimeOffset = 0;
    uint32_t _animationDuration = 0;
};

} // namespace Kel::Sg
