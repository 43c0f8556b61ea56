#include "sg/animation/oxAnimationTransitionDefinition.h"

#include "sg/animation/oxAnimation.h"

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

oxAnimationTransitionDefinition::~oxAnimationTransitionDefinition() = default;

void oxAnimationTransitionDefinition::arkRegisterInitialize(oxFields<oxAnimationTransitionDefinition>& f)
{
    f.add(OX_FIELD(baseAnimation));
    f.add(OX_FIELD(transitionPointList)).constructWithOwner();
    f.add(OX_FIELD(params));
}

void oxAnimationTransitionDefinition::configure(oxAnimation* base, oxAnimationTransitionParams* params)
{
    _baseAnimation = base;
    _params = params;
}

void oxAnimationTransitionDefinition::configure(oxAnimation* base)
{
    _baseAnimation = base;
}

void oxAnimationTransitionDefinition::setBaseAnimation(oxAnimation* base)
{
    _baseAnimation = base;
}

int oxAnimationTransitionDefinition::addTransitionPoint(oxAnimationTransitionPoint* point)
{
    if (!point || !_transitionPointList)
        return -1;
    return _transitionPointList->append(point);
}

bool oxAnimationTransitionDefinition::removeTransitionPoint(oxAnimationTransitionPoint* point)
{
    return point && _transitionPointList && _transitionPointList->removeObject(point) >= 0;
}

bool oxAnimationTransitionDefinition::removeTransitionPoint(int index)
{
    return _transitionPointList && _transitionPointList->remove(index);
}

oxAnimationTransitionPoint* oxAnimationTransitionDefinition::getTransitionPoint(int index) const
{
    if (index < 0 || index >= getTransitionPointCount())
        return nullptr;
    return _transitionPointList->get(index);
}

} // namespace Kel::Sg
