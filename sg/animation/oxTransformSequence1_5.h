#pragma once
#include "sg/animation/oxCompressedTransformSequence1_5Data.h"
#include "sg/animation/oxTransformSequence.h"

namespace Kel::Sg {

// The keyframed transform source: key i has a time (nanoseconds, ascending) and, per driven
// channel, a translation, a rotation (quaternion or Euler degrees) and a scale. Evaluation at
// a time blends the two keys around it by each channel's method and builds
//   scale first, then the rotation about the centre of rotation, then the translation.
// Past the end of a cycle the play mode decides: repeat, hold the last key, run backwards,
// or (loop) blend from the last key back to the first.
//
// Times are not checked: indices, key counts and channel presence are the caller's. An
// empty sequence evaluates to nothing (the evaluation returns false).
class oxTransformSequence1_5 : public oxTransformSequence {
    OX_CLASS(oxTransformSequence1_5, oxTransformSequence)
    OX_FIELDS(timeListLong, interpolationDataTranslation, interpolationDataRotation, interpolationDataScale,
              drivenChannels, interpolationMethod, keyframeTimeOffset, animationDuration, compressedDataObject)
public:
    using oxTransformSequence::getMatrix;
    using oxTransformSequence::getQuaternion;

    // ---- evaluation (the transform source interface)
    // The matrix at time t, found from the sequence's own cursor; the caller's cursor and
    // parameters are not used.
    bool getMatrix(oxMatrix44f& m, int64_t t) override;
    bool getMatrix(oxMatrix44f& m, int64_t t, int& cursor, oxTransformSourceParameters* params) override;
    // The rotation entry at t (Euler degrees when the Euler channel is driven).
    bool getQuaternion(oxQuaternionf& q, int64_t t) override;
    bool getQuaternion(oxQuaternionf& q, int64_t t, int& cursor, oxTransformSourceParameters* params) override;
    bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t) override;
    bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t, int& cursor,
                                     oxTransformSourceParameters* params) override;
    bool isTransformable() const override;
    // Every key's matrix becomes key matrix × m.
    void transform(const oxMatrix44f& m) override;
    int64_t getFirstFrameTime() override;
    int64_t getLastFrameTime() override;
    void reset() override { _lastTime = 1; }

    // ---- keys
    void setMatrix(int index, const oxMatrix44f* m) override;
    void getMatrix(int index, oxMatrix44f* m) const override;
    void removeKeyFrame(int index) override;
    void insertKeyFrame(int index) override;
    void setKeyFrameCount(int count) override;
    int getKeyFrameCount() const override { return _timeListLong ? _timeListLong->getCount() : 0; }
    void setTranslation(int index, const oxVec3f* v) override { _xlateList->set(index, *v); }
    int getTranslationCount() const override { return _xlateList ? _xlateList->getCount() : 0; }
    oxVec3f* getTranslation(int index) const override { return &(*_xlateList)[index]; }
    void setQuaternion(int index, const oxQuaternionf* q) override { _quatList->set(index, *q); }
    oxQuaternionf* getQuaternion(int index) const override { return &(*_quatList)[index]; }
    void setEulerRotation(int index, const oxVec3f* degrees) override;
    oxVec3f* getEulerRotation(int index) const override;
    void setScale(int index, const oxVec3f* s) override { _scaleList->set(index, *s); }
    oxVec3f* getScale(int index) const override { return &(*_scaleList)[index]; }
    int getScaleCount() const override { return _scaleList ? _scaleList->getCount() : 0; }
    void setTimeAsLong(int index, int64_t t) override { _timeListLong->set(index, t); }
    int64_t getTimeAsLong(int index) const override { return _timeListLong->get(index); }
    oxLongList* getTimeList() const { return _timeListLong; }
    void setTimeList(oxLongList* times) { _timeListLong = times; }
    // Bring every rotation key onto the same hemisphere as its predecessor where the two are
    // almost opposite, so that blending between them does not turn the long way round.
    void validateKeyframes() override;

    // ---- channels and methods
    void setComponentChannels(unsigned char channels) override;
    unsigned char getComponentChannels() const override { return _drivenChannels; }
    void addTranslationChannel();
    void removeTranslationChannel() override;
    void removeScaleChannel() override;
    void setInterpolationMethod(DRIVEN_CHANNEL channel, INTERPOLATION_METHOD method) override;
    // -1 for a value that is not a channel.
    int getInterpolationMethod(DRIVEN_CHANNEL channel) override;
    void setInterpolationData(int index, DRIVEN_CHANNEL channel, const oxVec3f& a, const oxVec3f& b) override;
    oxVec3fList* getInterpolationDataTranslation() const { return _interpolationDataTranslation; }
    oxVec3fList* getInterpolationDataRotation() const { return _interpolationDataRotation; }
    oxVec3fList* getInterpolationDataScale() const { return _interpolationDataScale; }

    // ---- time
    void setKeyFrameTimeOffset(int64_t t) override { _keyframeTimeOffset = t; }
    int64_t getKeyFrameTimeOffset() const override { return _keyframeTimeOffset; }
    // The length of one cycle; -1 until set or derived from the keys on load.
    void setDuration(int64_t t) override { _animationDuration = t; }
    int64_t getDuration() override { return _animationDuration; }

    // ---- comparisons, for tools that merge identical data
    bool compareKeyFrames(int i, int j, float translationTolerance, double quaternionTolerance,
                          float eulerTolerance, float scaleTolerance) const;
    static bool compareTimes(int64_t a, int64_t b, int64_t tolerance);
    static bool compareTranslations(const oxVec3f& a, const oxVec3f& b, float tolerance);
    static bool compareQuaternions(const oxQuaternionf& a, const oxQuaternionf& b, double tolerance);
    bool compareTimeLists(const oxTransformSequence1_5* other, int64_t tolerance) const;
    bool compareTranslationLists(const oxTransformSequence1_5* other, float tolerance) const;
    bool compareQuaternionLists(const oxTransformSequence1_5* other, double tolerance) const;

    // ---- compressed copy of the key lists
    // False when compressed data already exists; `release` drops the float lists after.
    bool compress(bool release);
    // False without compressed data; `release` drops the compressed data after.
    bool uncompress(bool release);
    bool compressed() const { return _compressedDataObject != nullptr; }
    void releaseCompressedData();
    // Empties the translation, rotation and scale lists (memory included); times stay.
    void releaseUncompressedData();
    oxCompressedTransformSequence1_5Data* getCompressedDataObject() const { return _compressedDataObject; }

    // Objects stored as the older class carry times in seconds: they become nanoseconds here.
    oxResult makeConcrete(const oxObject* older) override;
    // A stored sequence without a duration lasts from its first key to its last.
    void postFileRead() override;
    static void arkRegisterUser();

protected:
    oxTransformSequence1_5() = default;
    static void arkRegisterInitialize(oxFields<oxTransformSequence1_5>& f);

    // Where a time falls: between keys k0 and k1 at fraction f, or on key k0 alone (k1 < 0).
    struct Span {
        int k0;
        int k1;
        float f;
    };
    bool findSpan(int64_t time, int& cursor, Span& span) const;
    int evaluationKeyCount() const;
    bool keysCover(int n) const;
    oxVec3f blendVec3(const oxVec3f& a, const oxVec3f& b, const oxVec3fList* controls, int method,
                      const Span& s) const;
    oxVec3f blendChannel(const oxVec3fList* keys, const oxVec3fList* controls, int method, const Span& s) const;
    oxQuaternionf blendRotation(const Span& s) const;
    oxMatrix44f buildMatrix(const oxVec3f* translation, const oxQuaternionf* rotation, const oxVec3f* scale) const;
    void releaseInterpolationData();

    oxSmartPointer<oxLongList> _timeListLong;
    oxSmartPointer<oxVec3fList> _interpolationDataTranslation;
    oxSmartPointer<oxVec3fList> _interpolationDataRotation;
    oxSmartPointer<oxVec3fList> _interpolationDataScale;
    unsigned char _drivenChannels = TRANSLATION | QUATERNION_ROTATION | SCALE;
    uint8_t _interpolationMethod[3] = {LINEAR, SLERP, LINEAR};
    int64_t _keyframeTimeOffset = 0;
    int64_t _animationDuration = -1;
    oxSmartPointer<oxCompressedTransformSequence1_5Data> _compressedDataObject;
};

} // namespace Kel::Sg
