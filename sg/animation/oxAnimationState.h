#pragma once
#include "sg/animation/oxAnimation.h"
#include "sg/core/oxObjectPool.h"

namespace Kel::Sg {

// One animation as the combiner plays it: its own clock (local time = scaled global time +
// bias, in 2^18-ns steps), how it combines with what lies below it, how it eases in or out,
// and the blend ramp it is on. States come from the combiner's pool and go back to it.
class oxAnimationState : public oxObject {
    OX_CLASS(oxAnimationState, oxObject)
    OX_FIELDS(animation, combineMode, transitionMode, status, baseState, new, currentBlendRatio, localTime,
              baseTransitionTime, timeScale, timeBias, blendStartTime, blendStartRatio, blendRatioRange,
              blendDuration, animationStartTime, cachedCycleTime, cachedCycleNumber, cycleMatchTargetState,
              isCycleMatchTarget, cycleMatchDisable, manualCycleMatch, cycleMatchBaseDuration,
              cycleMatchDurationRange, cycleMatchTargetDuration)
public:
    OX_ENUM(Status, kPlaying = 0, kPaused = 1, kAwaitingTransitionPoint = 2, kFinished = 3)
    OX_ENUM(TransitionMode, kEaseIn = 0, kEaseInReplace = 1, kEaseOut = 2, kManual = 3, kNone = 4,
            kEaseInReplaceAll = 5)
    OX_ENUM(CombineMode, kOverride = 0, kBlend = 1, kTween = 2)

    // Marks the state as new: it starts at the combiner's next update.
    void configure(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status);

    // The global time t scaled by s on the 2^18-ns grid.
    static int64_t scaledTime(int64_t t, float s);
    // Sets the bias so that the local time at global time t is `animationTime`.
    void setAnimationTime(int64_t animationTime, int64_t t);
    void updateLocalTime(int64_t t);
    // Changes the speed without a jump of the local time at t.
    void setPlaySpeed(float speed, int64_t t);
    // The local time folded into the animation's cycle; with a zero duration 0, and the
    // cycle number is left alone.
    int64_t getLocalKeyframeTime(uint64_t& cycle, int64_t& duration) const;
    void cacheCycleTime();
    // The animation's duration, 0 without one.
    int64_t getAnimationDuration() const;

    oxAnimation* getAnimation() const { return _animation.get(); }
    void setAnimation(oxAnimation* animation);
    CombineMode getCombineMode() const { return _combineMode; }
    void setCombineMode(CombineMode mode) { _combineMode = mode; }
    TransitionMode getTransitionMode() const { return _transitionMode; }
    void setTransitionMode(TransitionMode mode) { _transitionMode = mode; }
    Status getStatus() const { return _status; }
    void setStatus(Status status) { _status = status; }
    oxAnimationState* getBaseState() const { return _baseState; }
    void setBaseState(oxAnimationState* state) { _baseState = state; }
    bool getNew() const { return _new; }
    void setNew(bool isNew) { _new = isNew; }
    float getCurrentBlendRatio() const { return _currentBlendRatio; }
    void setCurrentBlendRatio(float ratio) { _currentBlendRatio = ratio; }
    int64_t getLocalTime() const { return _localTime; }
    void setLocalTime(int64_t t) { _localTime = t; }
    int64_t getBaseTransitionTime() const { return _baseTransitionTime; }
    void setBaseTransitionTime(int64_t t) { _baseTransitionTime = t; }
    float getTimeScale() const { return _timeScale; }
    void setTimeScale(float scale) { _timeScale = scale; }
    int64_t getTimeBias() const { return _timeBias; }
    void setTimeBias(int64_t bias) { _timeBias = bias; }
    int64_t getBlendStartTime() const { return _blendStartTime; }
    void setBlendStartTime(int64_t t) { _blendStartTime = t; }
    float getBlendStartRatio() const { return _blendStartRatio; }
    void setBlendStartRatio(float ratio) { _blendStartRatio = ratio; }
    float getBlendRatioRange() const { return _blendRatioRange; }
    void setBlendRatioRange(float range) { _blendRatioRange = range; }
    int64_t getBlendDuration() const { return _blendDuration; }
    void setBlendDuration(int64_t d) { _blendDuration = d; }
    int64_t getAnimationStartTime() const { return _animationStartTime; }
    void setAnimationStartTime(int64_t t) { _animationStartTime = t; }
    int64_t getCachedCycleTime() const { return _cachedCycleTime; }
    uint64_t getCachedCycleNumber() const { return _cachedCycleNumber; }
    oxAnimationState* getCycleMatchTargetState() const { return _cycleMatchTargetState; }
    void setCycleMatchTargetState(oxAnimationState* target) { _cycleMatchTargetState = target; }
    bool getIsCycleMatchTarget() const { return _isCycleMatchTarget; }
    void setIsCycleMatchTarget(bool target) { _isCycleMatchTarget = target; }
    bool getCycleMatchDisable() const { return _cycleMatchDisable; }
    void setCycleMatchDisable(bool disable) { _cycleMatchDisable = disable; }
    bool getManualCycleMatch() const { return _manualCycleMatch; }
    void setManualCycleMatch(bool manual) { _manualCycleMatch = manual; }
    int64_t getCycleMatchBaseDuration() const { return _cycleMatchBaseDuration; }
    void setCycleMatchBaseDuration(int64_t d) { _cycleMatchBaseDuration = d; }
    int64_t getCycleMatchDurationRange() const { return _cycleMatchDurationRange; }
    void setCycleMatchDurationRange(int64_t d) { _cycleMatchDurationRange = d; }
    int64_t getCycleMatchTargetDuration() const { return _cycleMatchTargetDuration; }
    void setCycleMatchTargetDuration(int64_t d) { _cycleMatchTargetDuration = d; }

protected:
    oxAnimationState() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationState>& f);

    oxSmartPointer<oxAnimation> _animation;
    CombineMode _combineMode = kOverride;
    TransitionMode _transitionMode = kEaseIn;
    Status _status = kPlaying;
    oxSmartPointer<oxAnimationState> _baseState;
    bool _new = true;
    float _currentBlendRatio = 0;
    int64_t _localTime = 0;
    int64_t _baseTransitionTime = 0;
    float _timeScale = 1.0f;
    int64_t _timeBias = 0;
    int64_t _blendStartTime = 0;
    float _blendStartRatio = 0;
    float _blendRatioRange = 0;
    int64_t _blendDuration = 0;
    int64_t _animationStartTime = 0;
    int64_t _cachedCycleTime = 0;
    uint64_t _cachedCycleNumber = 0;
    oxSmartPointer<oxAnimationState> _cycleMatchTargetState;
    bool _isCycleMatchTarget = false;
    bool _cycleMatchDisable = false;
    bool _manualCycleMatch = false;
    int64_t _cycleMatchBaseDuration = 0;
    int64_t _cycleMatchDurationRange = 0;
    int64_t _cycleMatchTargetDuration = 0;
};

OX_OBJECT_LIST(oxAnimationStateList, oxAnimationState)
OX_OBJECT_POOL(oxAnimationStatePool, oxAnimationState)

} // namespace Kel::Sg
