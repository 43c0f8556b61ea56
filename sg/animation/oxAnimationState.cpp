#include "sg/animation/oxAnimationState.h"

#include "sg/animation/oxAnimation.h"
#include "sg/animation/oxTransformSequence.h"

namespace Kel::Sg {

void oxAnimationState::arkRegisterInitialize(oxFields<oxAnimationState>& f)
{
    f.add(OX_FIELD(animation));
    f.add(OX_FIELD(combineMode)).enumeration(&getCombineModeMetaEnum).setDefault(kOverride);
    f.add(OX_FIELD(transitionMode)).enumeration(&getTransitionModeMetaEnum).setDefault(kEaseIn);
    f.add(OX_FIELD(status)).enumeration(&getStatusMetaEnum).setDefault(kPlaying);
    f.add(OX_FIELD(baseState));
    f.add(OX_FIELD(new)).setDefault(true);
    f.add(OX_FIELD(currentBlendRatio));
    f.add(OX_FIELD(localTime));
    f.add(OX_FIELD(baseTransitionTime));
    f.add(OX_FIELD(timeScale)).setDefault(1.0f);
    f.add(OX_FIELD(timeBias));
    f.add(OX_FIELD(blendStartTime)).setDefault(int64_t(0));
    f.add(OX_FIELD(blendStartRatio));
    f.add(OX_FIELD(blendRatioRange));
    f.add(OX_FIELD(blendDuration));
    f.add(OX_FIELD(animationStartTime));
    f.add(OX_FIELD(cachedCycleTime)).notPersistent();
    f.add(OX_FIELD(cachedCycleNumber)).notPersistent();
    f.add(OX_FIELD(cycleMatchTargetState));
    f.add(OX_FIELD(isCycleMatchTarget));
    f.add(OX_FIELD(cycleMatchDisable));
    f.add(OX_FIELD(manualCycleMatch));
    f.add(OX_FIELD(cycleMatchBaseDuration));
    f.add(OX_FIELD(cycleMatchDurationRange));
    f.add(OX_FIELD(cycleMatchTargetDuration));
}

void oxAnimationState::configure(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                 Status status)
{
    _animation = animation;
    _combineMode = combine;
    _transitionMode = transition;
    _status = status;
    _new = true;
}

void oxAnimationState::setAnimation(oxAnimation* animation)
{
    _animation = animation;
}

namespace {

// Every state of a frame asks with the same time, most with the same scale.
struct ScaledTimeMemory {
    int64_t t = 0;
    float scale = 0;
    int64_t result = 0;
    bool valid = false;
};

ScaledTimeMemory g_scaledTime;

} // namespace

int64_t oxAnimationState::scaledTime(int64_t t, float s)
{
    ScaledTimeMemory& memory = g_scaledTime;
    if (!memory.valid || memory.t != t || memory.scale != s) {
        const uint32_t units = uint32_t(t >> 18);
        memory = {t, s, int64_t(float(units) * s) * 262144, true};
    }
    return memory.result;
}

void oxAnimationState::setAnimationTime(int64_t animationTime, int64_t t)
{
    _timeBias = animationTime - scaledTime(t, _timeScale);
}

void oxAnimationState::updateLocalTime(int64_t t)
{
    _localTime = scaledTime(t, _timeScale) + _timeBias;
}

void oxAnimationState::setPlaySpeed(float speed, int64_t t)
{
    _timeBias += scaledTime(t, _timeScale);
    _timeScale = speed;
    _timeBias -= scaledTime(t, speed);
}

int64_t oxAnimationState::getAnimationDuration() const
{
    return _animation ? _animation->getDuration() : 0;
}

int64_t oxAnimationState::getLocalKeyframeTime(uint64_t& cycle, int64_t& duration) const
{
    duration = getAnimationDuration();
    if (duration == 0)
        return 0;
    const int64_t start = _animation->getStartTime();
    int64_t r = 0;
    cycle = getCycleTime(_localTime - _animation->getKeyFrameTimeOffset() - start, duration, r);
    return r + start;
}

void oxAnimationState::cacheCycleTime()
{
    int64_t duration = 0;
    _cachedCycleTime = getLocalKeyframeTime(_cachedCycleNumber, duration);
}

} // namespace Kel::Sg
