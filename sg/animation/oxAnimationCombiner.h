#pragma once
#include "sg/animation/oxAnimationCombinerBoneInfo.h"
#include "sg/animation/oxAnimationSystem.h"
#include "sg/animation/oxAnimationTransitionDefinition.h"

namespace Kel::Sg {

class oxAnimation;
class oxAnimationBinding;
class oxAnimationTrack;

// Plays any number of animations on one hierarchy and blends them into one local pose per
// bone. Each bone keeps a stack of entries in ascending priority: the highest overriding
// entry (the bone's base) gives the pose and every entry above it is mixed in with its
// state's blend ratio. States enter through transitions (at once, or at the next
// transition point of the state they replace), ease out, and can keep their cycles in step.
class oxAnimationCombiner : public oxAnimationSystem {
    OX_CLASS(oxAnimationCombiner, oxAnimationSystem)
    OX_FIELDS(boneInfoListList, boneInfoListBase, animationStateList, resultQuaternionArray,
              animationCacheMatrixArray, cacheTime, cacheValid, hierarchyUpdated, boneMatrixArray, blendMatrixArray)
public:
    using CombineMode = oxAnimationState::CombineMode;
    using TransitionMode = oxAnimationState::TransitionMode;
    using Status = oxAnimationState::Status;

    // Takes the hierarchy, with one empty entry stack per bone and fresh pose, bone and
    // blend matrices. Whatever played before is dropped. False for a null hierarchy.
    bool configure(oxAnimationHierarchy* hierarchy);
    bool configured() const override { return !_animationCacheMatrixArray.empty(); }

    // The local pose at the traversal's time; recomputed only for a new time or after the
    // states changed.
    oxMatrix44f* update(oxTraversal* traversal, oxActor* actor) override;
    // The same with the time given directly.
    oxMatrix44f* updateAtTime(int64_t t);
    bool getHierarchyUpdated() const override { return _hierarchyUpdated; }
    void setHierarchyUpdated(bool updated) override { _hierarchyUpdated = updated; }
    oxMatrix44f* getBoneMatrixArray() override { return matrices(_boneMatrixArray); }
    oxMatrix44f* getBoneMatrix(unsigned i) override;
    oxMatrix44f* getBlendMatrixArray() override { return matrices(_blendMatrixArray); }
    oxMatrix44f* getBlendMatrix(unsigned i) override;

    void postFileRead() override;

    // Adding animations. Every form returns false, adding nothing, when the animation has
    // no binding to the hierarchy. `priorities` gives the entries' priorities: one for all
    // bones, or with `perBonePriorities` one per bone that has a track, in bone order.
    bool add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
             const int* priorities, bool perBonePriorities, oxAnimationBinding* binding);
    bool add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
             const int* priorities, bool perBonePriorities);
    bool add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status, int priority);
    // With the animation's own priority.
    bool add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status);
    // The same through the hierarchy's mirrored binding, which must exist.
    bool addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                      const int* priorities, bool perBonePriorities);
    bool addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                      int priority);
    bool addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status);
    // With the blend ramp given instead of found from a transition definition.
    bool addDynamic(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                    float startRatio, float endRatio, int64_t duration, int64_t targetStartTime);
    bool addDynamic(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                    const oxAnimationTransitionParams* params);
    bool addDynamicReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                             Status status, float startRatio, float endRatio, int64_t duration,
                             int64_t targetStartTime);
    bool addDynamicReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                             Status status, const oxAnimationTransitionParams* params);
    // A blending state the caller drives (ratio and time) that takes no part in transitions.
    bool addManual(oxAnimation* animation, Status status, int64_t time);
    bool addManual(oxAnimation* animation, Status status, const int* priorities, bool perBonePriorities,
                   int64_t time);
    bool addManualReflected(oxAnimation* animation, Status status, int64_t time);

    // Removing. False for a state or animation that does not play here; removeAll false
    // when nothing plays.
    bool remove(oxAnimationState* state);
    bool remove(oxAnimation* animation);
    bool removeAll();

    // Cycle matching: the states below the target play at speeds that give them the
    // target's cycle length, which moves from the most different one's towards the
    // target's own as the target blends in.
    bool makeCycleMatchTarget(oxAnimationState* state);
    bool endCycleMatchTarget(oxAnimationState* state);

    // Inserts the entry into the bone's stack after the entries of equal priority.
    void addBoneInfo(oxAnimationCombinerBoneInfo* entry, int bone);
    void recomputeBoneListBases();
    // The state the given one transitions from, and the definition that says how; null
    // when no state below it has a definition.
    oxAnimationState* determineBase(oxAnimationState* state, oxAnimationTransitionDefinition*& definition) const;
    // Advances every state to global time t: clocks, transitions, ramps, cycle matching,
    // removal of finished states. The number of states before it ran.
    int updateAnimStates(int64_t t);
    // Every state below this one in any bone finishes; this one overrides from now on.
    void finishAllBaseStates(oxAnimationState* state);

    oxAnimationState* getAnimationState(const oxAnimation* animation) const;
    int getCurrentAnimationCount() const { return _animationStateList ? _animationStateList->getCount() : 0; }
    oxAnimationStateList* getAnimStateList() const { return _animationStateList; }
    oxAnimationStateList* getAnimationStateList() const { return _animationStateList; }
    // Null for a bone outside the hierarchy.
    oxAnimationCombinerBoneInfoList* getBoneInfoList(int bone) const;
    oxAnimationCombinerBoneInfoListList* getBoneInfoListList() const { return _boneInfoListList; }
    int getBoneListBase(int bone) const;
    void setBoneListBase(int bone, int index);
    oxQuaternionf getResultQuaternion(int bone) const;
    void setResultQuaternion(int bone, const oxQuaternionf& q);
    const oxMatrix44f* getAnimationCacheMatrix(int bone) const;
    void setAnimationCacheMatrix(int bone, const oxMatrix44f& m);
    oxMatrix44f* getAnimationCacheMatrixArray() { return matrices(_animationCacheMatrixArray); }
    int getAnimationCacheMatrixArrayLength() const { return getBoneCount(); }
    int64_t getCacheTime() const { return _cacheTime; }
    void setCacheTime(int64_t t) { _cacheTime = t; }
    bool getCacheValid() const { return _cacheValid; }
    void setCacheValid(bool valid) { _cacheValid = valid; }
    oxAnimationTrack* getAnimationTrack(oxAnimation* animation, int bone) const;

    // The pools every combiner takes its states and entries from.
    static oxAnimationCombinerBoneInfoPool* boneInfoPool();
    static oxAnimationStatePool* statePool();

protected:
    oxAnimationCombiner() = default;
    ~oxAnimationCombiner() override;
    static void arkRegisterInitialize(oxFields<oxAnimationCombiner>& f);
    static void arkRegisterUser();

    static oxMatrix44f* matrices(oxMemoryBlock& block)
    {
        return block.empty() ? nullptr : reinterpret_cast<oxMatrix44f*>(block.data());
    }
    static const oxMatrix44f* matrices(const oxMemoryBlock& block)
    {
        return block.empty() ? nullptr : reinterpret_cast<const oxMatrix44f*>(block.data());
    }
    int matrixCount(const oxMemoryBlock& block) const { return int(block.size() / sizeof(oxMatrix44f)); }
    int quaternionCount() const { return int(_resultQuaternionArray.size() / sizeof(oxQuaternionf)); }
    oxQuaternionf* quaternions() { return reinterpret_cast<oxQuaternionf*>(_resultQuaternionArray.data()); }
    int boneListCount() const { return _boneInfoListList ? _boneInfoListList->getCount() : 0; }
    oxVec3f bindTranslation(int bone) const;
    // Hands every state and entry back to the pools and empties the stacks.
    void releaseAll();
    // Starts the state's ramp now (global time t).
    void startState(oxAnimationState* state, int64_t t);
    // Waits for the next transition point of the base's cycle.
    void awaitTransitionPoint(oxAnimationState* state, oxAnimationState* base,
                              const oxAnimationTransitionDefinition* definition);
    void updateRatio(oxAnimationState* state, int64_t t);
    void blendBones();
    void playSingleState();
    // The state with the newest ramp given as its fields say.
    bool addWithRamp(bool added, float startRatio, float endRatio, int64_t duration, int64_t targetStartTime);

    oxSmartPointer<oxAnimationCombinerBoneInfoListList> _boneInfoListList;
    oxSmartPointer<oxIntList> _boneInfoListBase;
    oxSmartPointer<oxAnimationStateList> _animationStateList;
    oxMemoryBlock _resultQuaternionArray;
    oxMemoryBlock _animationCacheMatrixArray;
    int64_t _cacheTime = 0;
    bool _cacheValid = false;
    bool _hierarchyUpdated = false;
    oxMemoryBlock _boneMatrixArray;
    oxMemoryBlock _blendMatrixArray;
};

OX_OBJECT_LIST(oxAnimationCombinerList, oxAnimationCombiner)

} // namespace Kel::Sg
