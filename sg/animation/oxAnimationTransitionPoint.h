#pragma once
#include "sg/animation/oxAnimationTransitionParams.h"

namespace Kel::Sg {

// A moment within the cycle of the animation being left at which the entering one may
// start, with the blend to use from there.
class oxAnimationTransitionPoint : public oxObject {
    OX_CLASS(oxAnimationTransitionPoint, oxObject)
    OX_FIELDS(transitionTime, transitionParams)
public:
    void configure(int64_t time, oxAnimationTransitionParams* params);
    // Makes parameters of its own.
    void configure(int64_t time, float startRatio, float endRatio, int64_t duration, int64_t targetStartTime);

    int64_t getTransitionTime() const { return _transitionTime; }
    void setTransitionTime(int64_t t) { _transitionTime = t; }
    oxAnimationTransitionParams* getTransitionParams() const { return _transitionParams; }
    void setTransitionParams(oxAnimationTransitionParams* params) { _transitionParams = params; }

protected:
    oxAnimationTransitionPoint() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationTransitionPoint>& f);

    int64_t _transitionTime = 0;
    oxSmartPointer<oxAnimationTransitionParams> _transitionParams;
};

OX_OBJECT_LIST(oxAnimationTransitionPointList, oxAnimationTransitionPoint)

} // namespace Kel::Sg
