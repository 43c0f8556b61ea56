#pragma once
#include "sg/animation/oxAnimationTransitionPoint.h"

namespace Kel::Sg {

class oxAnimation;

// How to enter an animation from another one, the base: at once with the given blend, or at
// the next of the listed points of the base's cycle. The entered animation lists these; the
// combiner acts on them.
class oxAnimationTransitionDefinition : public oxObject {
    OX_CLASS(oxAnimationTransitionDefinition, oxObject)
    OX_FIELDS(baseAnimation, transitionPointList, params)
public:
    void configure(oxAnimation* base, oxAnimationTransitionParams* params);
    void configure(oxAnimation* base);
    // The point's index; -1 for a null point.
    int addTransitionPoint(oxAnimationTransitionPoint* point);
    // Removes the first entry that is `point`; false when it is not listed.
    bool removeTransitionPoint(oxAnimationTransitionPoint* point);
    bool removeTransitionPoint(int index);

    oxAnimation* getBaseAnimation() const { return _baseAnimation.get(); }
    void setBaseAnimation(oxAnimation* base);
    oxAnimationTransitionPointList* getTransitionPointList() const { return _transitionPointList; }
    int getTransitionPointCount() const { return _transitionPointList ? _transitionPointList->getCount() : 0; }
    // Null for an index out of range.
    oxAnimationTransitionPoint* getTransitionPoint(int index) const;
    oxAnimationTransitionParams* getParams() const { return _params; }
    // The point at or after `position` (a time in the base's cycle) nearest to it; when none
    // lies there, the earliest point, and `nextCycle` says so. Null without points.
    oxAnimationTransitionPoint* getNextTransitionPoint(int64_t position, bool& nextCycle) const;
    void setParams(oxAnimationTransitionParams* params) { _params = params; }

protected:
    oxAnimationTransitionDefinition() = default;
    // Out of line: the base animation's class is complete only there.
    ~oxAnimationTransitionDefinition() override;
    static void arkRegisterInitialize(oxFields<oxAnimationTransitionDefinition>& f);

    oxSmartPointer<oxAnimation> _baseAnimation;
    oxSmartPointer<oxAnimationTransitionPointList> _transitionPointList;
    oxSmartPointer<oxAnimationTransitionParams> _params;
};

OX_OBJECT_LIST(oxAnimationTransitionDefinitionList, oxAnimationTransitionDefinition)

} // namespace Kel::Sg
