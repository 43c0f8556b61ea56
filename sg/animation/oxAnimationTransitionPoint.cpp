#include "sg/animation/oxAnimationTransitionPoint.h"

namespace Kel::Sg {

void oxAnimationTransitionPoint::arkRegisterInitialize(oxFields<oxAnimationTransitionPoint>& f)
{
    f.add(OX_FIELD(transitionTime));
    f.add(OX_FIELD(transitionParams));
}

void oxAnimationTransitionPoint::configure(int64_t time, oxAnimationTransitionParams* params)
{
    _transitionTime = time;
    _transitionParams = params;
}

void oxAnimationTransitionPoint::configure(int64_t time, float startRatio, float endRatio, int64_t duration,
                                           int64_t targetStartTime)
{
    oxSmartPointer<oxAnimationTransitionParams> params =
        oxAnimationTransitionParams::_instantiateRefFromPool(getMemoryPool());
    params->configure(startRatio, endRatio, duration, targetStartTime);
    configure(time, params);
}

} // namespace Kel::Sg
