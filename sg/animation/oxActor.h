#pragma once
#include "sg/animation/oxAnimationCombiner.h"
#include "sg/animation/oxAnimationDatabase.h"
#include "sg/animation/oxAnimationModifier.h"
#include "sg/nodes/oxAppearance.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A character in the graph: an animation system poses its skeleton at the draw
// traversal's time, the skeleton turns the pose into bone and blend matrices, and the
// appearance is drawn with them as the skinning palettes. Actors sharing one animation
// system share its matrices; an actor with modifiers (or forced to) keeps its own.
class oxActor : public oxGroup {
    OX_CLASS(oxActor, oxGroup)
    OX_FIELDS(animationSystem, boneMatrixCacheArray, blendMatrixCacheArray, appearance, animationDatabase,
              modifierList, transform, forceActorCacheUse, actorCacheUsed, mvmWhenTraversed,
              inverseViewWhenTraversed, update, render)
public:
    // A new combiner on the database's skeleton of that exact name becomes the animation
    // system; false (nothing changed) when the database has no such skeleton.
    bool configure(const char* skeletonName);
    bool configure(const char* skeletonName, oxAnimationDatabase* database);
    void configure(oxAnimationSystem* system);
    void configure(oxAnimationSystem* system, oxAnimationDatabase* database);

    // Holds the system and sizes the actor's own matrix arrays to its hierarchy.
    void setAnimationSystem(oxAnimationSystem* system);
    oxAnimationSystem* getAnimationSystem() const { return _animationSystem; }
    // The system when it is a combiner.
    oxAnimationCombiner* getCombiner() const;
    oxSkeleton* getSkeleton() const;
    bool setSkeleton(const char* name);
    bool setSkeletonByReference(oxSkeleton* skeleton);

    // Plays the animation alone, from now on.
    bool setAnimation(oxAnimation* animation);
    bool setAnimation(const char* name);
    bool setAnimationReflected(oxAnimation* animation);
    // Blends towards the animation, replacing what plays once it is in; with nothing playing
    // the animation just starts and the result is false.
    bool blendToAnimation(oxAnimation* animation);
    bool blendToAnimation(const char* name);
    bool blendToAnimation(oxAnimation* animation, float startRatio, float endRatio, int64_t duration,
                          int64_t targetStartTime);
    bool blendToAnimationReflected(oxAnimation* animation);
    bool blendToAnimationReflected(oxAnimation* animation, float startRatio, float endRatio, int64_t duration,
                                   int64_t targetStartTime);
    oxAnimation* getAnimation(const char* name) const;

    bool setAppearanceByName(const char* name);
    void setAppearance(oxAppearance* appearance) { _appearance = appearance; }
    oxAppearance* getAppearance() const { return _appearance; }
    void setAnimationDatabase(oxAnimationDatabase* database);
    oxAnimationDatabase* getAnimationDatabase() const { return _animationDatabase.get(); }
    oxAABox* getSkinBound() const;

    int getBoneCount() const { return _animationSystem ? _animationSystem->getBoneCount() : 0; }
    int getJointCount() const { return _animationSystem ? _animationSystem->getJointCount() : 0; }
    const oxMatrix44f& getTransform() const { return _transform; }
    void setTransform(const oxMatrix44f& m) { _transform = m; }

    void addModifier(oxAnimationModifier* modifier);
    bool removeModifier(oxAnimationModifier* modifier);
    void removeAllModifiers();
    oxAnimationModifierList* getModifierList() const { return _modifierList; }
    void setModifierList(oxAnimationModifierList* list) { _modifierList = list; }

    bool getUpdate() const { return _update; }
    void setUpdate(bool update) { _update = update; }
    bool getRender() const { return _render; }
    void setRender(bool render) { _render = render; }
    bool getForceActorCacheUse() const { return _forceActorCacheUse; }
    void setForceActorCacheUse(bool force) { _forceActorCacheUse = force; }
    bool getActorCacheUsed() const { return _actorCacheUsed; }
    void setActorCacheUsed(bool used) { _actorCacheUsed = used; }
    const oxMatrix44f& getMvmWhenTraversed() const { return _mvmWhenTraversed; }
    void setMvmWhenTraversed(const oxMatrix44f& m) { _mvmWhenTraversed = m; }
    const oxMatrix44f& getInverseViewWhenTraversed() const { return _inverseViewWhenTraversed; }
    void setInverseViewWhenTraversed(const oxMatrix44f& m) { _inverseViewWhenTraversed = m; }

    // The matrix arrays in use: the actor's own when it uses its cache, else the system's.
    oxMatrix44f* getBoneMatrixCacheArray();
    oxMatrix44f* getBlendMatrixCacheArray();
    // Null past the end of the array in use.
    const oxMatrix44f* getBoneMatrix(int i);
    const oxMatrix44f* getBlendMatrix(int i);
    bool getBoneMatrixInViewSpace(int i, oxMatrix44f& out);
    bool getBoneMatrixInWorldSpace(int i, oxMatrix44f& out);

    bool isTransformable() const override { return false; }

    // The draw traversal's entry points.
    OX_TRAVERSAL_RETURN traverse(oxTraversal* traversal);
    void updateAnimation(oxTraversal* traversal);
    oxMatrix44f* updateAnimationSystem(oxTraversal* traversal);
    void updateAnimationHierarchy(oxTraversal* traversal, const oxMatrix44f* local);
    OX_TRAVERSAL_RETURN render(oxTraversal* traversal);
    void pushMatrixPalettes(oxTraversal* traversal);
    void popMatrixPalettes(oxTraversal* traversal);

protected:
    oxActor() = default;
    static void arkRegisterInitialize(oxFields<oxActor>& f);

    static oxMatrix44f* matrices(oxMemoryBlock& block)
    {
        return block.empty() ? nullptr : reinterpret_cast<oxMatrix44f*>(block.data());
    }
    int matrixCount(const oxMemoryBlock& block) const { return int(block.size() / sizeof(oxMatrix44f)); }
    int boneArrayLength() const;
    int blendArrayLength() const;

    oxSmartPointer<oxAnimationSystem> _animationSystem;
    oxMemoryBlock _boneMatrixCacheArray;
    oxMemoryBlock _blendMatrixCacheArray;
    oxSmartPointer<oxAppearance> _appearance;
    oxSmartPointer<oxAnimationDatabase> _animationDatabase;
    oxSmartPointer<oxAnimationModifierList> _modifierList;
    oxMatrix44f _transform;
    bool _forceActorCacheUse = false;
    bool _actorCacheUsed = false;
    oxMatrix44f _mvmWhenTraversed;
    oxMatrix44f _inverseViewWhenTraversed;
    bool _update = true;
    bool _render = true;
};

OX_OBJECT_LIST(oxActorList, oxActor)

// The objects of one actor file.
class oxActorInfo : public oxInfo {
    OX_CLASS(oxActorInfo, oxInfo)
    OX_FIELDS(actor, actorList, animationDatabase, combinerList, appearanceList)
public:
    oxActor* getActor() const { return _actor; }
    void setActor(oxActor* actor) { _actor = actor; }
    oxActorList* getActorList() const { return _actorList; }
    void setActorList(oxActorList* list) { _actorList = list; }
    oxAnimationDatabase* getAnimationDatabase() const { return _animationDatabase.get(); }
    void setAnimationDatabase(oxAnimationDatabase* database);
    oxAnimationCombinerList* getCombinerList() const { return _combinerList; }
    void setCombinerList(oxAnimationCombinerList* list) { _combinerList = list; }
    oxAppearanceList* getAppearanceList() const { return _appearanceList; }
    void setAppearanceList(oxAppearanceList* list) { _appearanceList = list; }

protected:
    oxActorInfo() = default;
    static void arkRegisterInitialize(oxFields<oxActorInfo>& f);

    oxSmartPointer<oxActor> _actor;
    oxSmartPointer<oxActorList> _actorList;
    oxSmartPointer<oxAnimationDatabase> _animationDatabase;
    oxSmartPointer<oxAnimationCombinerList> _combinerList;
    oxSmartPointer<oxAppearanceList> _appearanceList;
};

OX_OBJECT_LIST(oxActorInfoList, oxActorInfo)

} // namespace Kel::Sg
