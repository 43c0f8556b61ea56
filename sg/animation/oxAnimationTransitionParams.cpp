#include "sg/animation/oxAnimationTransitionParams.h"

namespace Kel::Sg {

void oxAnimationTransitionParams::arkRegisterInitialize(oxFields<oxAnimationTransitionParams>& f)
{
    f.add(OX_FIELD(startRatio));
    f.add(OX_FIELD(endRatio));
    f.add(OX_FIELD(duration));
    f.add(OX_FIELD(targetStartTime));
}

void oxAnimationTransitionParams::configure(float startRatio, float endRatio, int64_t duration,
                                            int64_t targetStartTime)
{
    _startRatio = startRatio;
    _endRatio = endRatio;
    _duration = duration;
    _targetStartTime = targetStartTime;
}

} // namespace Kel::Sg
