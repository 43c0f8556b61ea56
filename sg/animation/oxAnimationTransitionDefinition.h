#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxAnimation;

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
