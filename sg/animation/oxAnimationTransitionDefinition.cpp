#include "sg/animation/oxAnimationTransitionDefinition.h"

#include "sg/animation/oxAnimation.h"

namespace Kel::Sg {

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

oxAnimationTransitionPoint* oxAnimationTransitionDefinition::getNextTransitionPoint(int64_t position,
                                                                                 bool& nextCycle) const
{
    oxAnimationTransitionPoint* next = nullptr;
    oxAnimationTransitionPoint* earliest = nullptr;
    for (int i = 0; i < getTransitionPointCount(); ++i) {
        oxAnimationTransitionPoint* point = _transitionPointList->get(i);
        if (!point)
            continue;
        const int64_t time = point->getTransitionTime();
        if (time >= position && (!next || time < next->getTransitionTime()))
            next = point;
        if (!earliest || time < earliest->getTransitionTime())
            earliest = point;
    }
    nextCycle = !next && earliest;
    return next ? next : earliest;
}

} // namespace Kel::Sg
