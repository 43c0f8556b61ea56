#pragma once
#include "sg/animation/oxAnimationEnums.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// Splits t into whole periods and what is left: returns t / period and puts the rest in
// `remainder`, both in unsigned 64-bit arithmetic. Several channels of one bone ask the same
// question in a row, so the last answer is kept (per thread) and returned without dividing.
uint32_t getCycleTime(int64_t t, int64_t period, int64_t& remainder);

// The keyframed transform source as older files describe it: key lists for translation,
// rotation and scale, key times in seconds and a start time. Objects of this class are never
// made: its description leads to oxTransformSequence1_5, which converts the older times.
class oxTransformSequence : public oxTransformSource {
    OX_CLASS(oxTransformSequence, oxTransformSource)
    OX_FIELDS(xlateList, quatList, scaleList, timeList, startTime, uniformTimeEnabled, playMode, lastTime,
              centerOfRotation)
public:
    // The vocabulary of every per-bone sequence, under the class's name as well.
    using DRIVEN_CHANNEL = Sg::DRIVEN_CHANNEL;
    using INTERPOLATION_METHOD = Sg::INTERPOLATION_METHOD;
    using PLAY_MODE = Sg::PLAY_MODE;
    using enum Sg::DRIVEN_CHANNEL;
    using enum Sg::INTERPOLATION_METHOD;
    using enum Sg::PLAY_MODE;
    static oxMetaEnum* getDRIVEN_CHANNELMetaEnum() { return Sg::getDRIVEN_CHANNELMetaEnum(); }
    static oxMetaEnum* getINTERPOLATION_METHODMetaEnum() { return Sg::getINTERPOLATION_METHODMetaEnum(); }
    static oxMetaEnum* getPLAY_MODEMetaEnum() { return Sg::getPLAY_MODEMetaEnum(); }

    using oxTransformSource::getMatrix;
    using oxTransformSource::getQuaternion;

    // Key i's matrix, decomposed into the driven channels / built from them unblended.
    virtual void setMatrix(int index, const oxMatrix44f* m) = 0;
    virtual void getMatrix(int index, oxMatrix44f* m) const = 0;
    virtual void removeKeyFrame(int index) = 0;
    virtual void insertKeyFrame(int index) = 0;
    virtual void setKeyFrameCount(int count) = 0;
    virtual int getKeyFrameCount() const = 0;
    virtual void setTranslation(int index, const oxVec3f* v) = 0;
    virtual int getTranslationCount() const = 0;
    virtual oxVec3f* getTranslation(int index) const = 0;
    virtual oxVec3fList* getTranslationList() { return _xlateList; }
    virtual void setQuaternion(int index, const oxQuaternionf* q) = 0;
    virtual oxQuaternionf* getQuaternion(int index) const = 0;
    virtual oxQuaternionfList* getQuaternionList() { return _quatList; }
    // Euler angles in degrees, kept in the rotation list with 0 as the fourth float.
    virtual void setEulerRotation(int index, const oxVec3f* degrees) = 0;
    virtual oxVec3f* getEulerRotation(int index) const = 0;
    virtual void setScale(int index, const oxVec3f* s) = 0;
    virtual oxVec3f* getScale(int index) const = 0;
    virtual oxVec3fList* getScaleList() { return _scaleList; }
    virtual void setUniformTimeState(bool uniform) { _uniformTimeEnabled = uniform; }
    virtual bool getInterpolatedQuaternion(oxQuaternionf& q, int64_t t) { return getQuaternion(q, t); }
    virtual bool getInterpolatedQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
    {
        return getQuaternionAndTranslation(q, v, t);
    }
    virtual void setTimeAsLong(int index, int64_t t) = 0;
    virtual int64_t getTimeAsLong(int index) const = 0;
    virtual void setInterpolationMethod(DRIVEN_CHANNEL channel, INTERPOLATION_METHOD method) = 0;
    virtual void setComponentChannels(unsigned char channels) = 0;
    virtual int getInterpolationMethod(DRIVEN_CHANNEL channel) = 0;
    virtual unsigned char getComponentChannels() const = 0;
    virtual void setInterpolationData(int index, DRIVEN_CHANNEL channel, const oxVec3f& a, const oxVec3f& b) = 0;
    virtual void setKeyFrameTimeOffset(int64_t t) = 0;
    virtual int64_t getKeyFrameTimeOffset() const = 0;
    virtual void setDuration(int64_t t) = 0;
    virtual int64_t getDuration() = 0;
    virtual void validateKeyframes() = 0;
    virtual void removeTranslationChannel() = 0;
    virtual void removeScaleChannel() = 0;
    virtual int getScaleCount() const = 0;

    // Without Bezier data (which a matrix cannot move) only the centre of rotation matters.
    bool isTransformable() const override { return _centerOfRotation == oxVec3f(0, 0, 0); }

    bool getUniformTimeState() const { return _uniformTimeEnabled; }
    PLAY_MODE getPlayMode() const { return _playMode; }
    void setPlayMode(PLAY_MODE mode) { _playMode = mode; }
    const oxVec3f& getCenterOfRotation() const { return _centerOfRotation; }
    void setCenterOfRotation(const oxVec3f& c) { _centerOfRotation = c; }
    int getCursor() const { return _lastTime; }

protected:
    oxTransformSequence() = default;
    static void arkRegisterInitialize(oxFields<oxTransformSequence>& f);

    oxSmartPointer<oxVec3fList> _xlateList;
    oxSmartPointer<oxQuaternionfList> _quatList;
    oxSmartPointer<oxVec3fList> _scaleList;
    oxSmartPointer<oxDoubleList> _timeList;
    double _startTime = -1.0;
    bool _uniformTimeEnabled = false;
    PLAY_MODE _playMode = REPEAT;
    // The key cursor: the right-hand key of the segment found last.
    int _lastTime = 1;
    oxVec3f _centerOfRotation;
};

} // namespace Kel::Sg
