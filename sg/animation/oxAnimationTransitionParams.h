#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// How an entering animation is blended in: its weight ramps from the start ratio to the end
// ratio over the duration, and it starts playing at the target start time of its own.
class oxAnimationTransitionParams : public oxObject {
    OX_CLASS(oxAnimationTransitionParams, oxObject)
    OX_FIELDS(startRatio, endRatio, duration, targetStartTime)
public:
    void configure(float startRatio, float endRatio, int64_t duration, int64_t targetStartTime);

    float getStartRatio() const { return _startRatio; }
    void setStartRatio(float ratio) { _startRatio = ratio; }
    float getEndRatio() const { return _endRatio; }
    void setEndRatio(float ratio) { _endRatio = ratio; }
    int64_t getDuration() const { return _duration; }
    void setDuration(int64_t duration) { _duration = duration; }
    int64_t getTargetStartTime() const { return _targetStartTime; }
    void setTargetStartTime(int64_t t) { _targetStartTime = t; }

protected:
    oxAnimationTransitionParams() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationTransitionParams>& f);

    float _startRatio = 0;
    float _endRatio = 0;
    int64_t _duration = 0;
    int64_t _targetStartTime = 0;
};

} // namespace Kel::Sg
