#pragma once
#include "sg/animation/oxAnimationHierarchy.h"

namespace Kel::Sg {

class oxTraversal;
class oxActor;
class oxSkeleton;

// What animates an actor: given a traversal it produces the local pose of every bone of its
// hierarchy, and it keeps the bone and blend matrices the hierarchy makes from that pose so
// that actors sharing it share them. Its kinds (the combiner) say how.
class oxAnimationSystem : public oxNamedObject {
    OX_CLASS(oxAnimationSystem, oxNamedObject)
    OX_FIELDS(animHierarchy)
public:
    virtual bool configured() const { return _animHierarchy.valid(); }
    // The local pose at the traversal's time, one matrix per bone; null when there is none.
    virtual oxMatrix44f* update(oxTraversal* traversal, oxActor* actor) = 0;
    // Whether the hierarchy has turned the current pose into matrices already.
    virtual bool getHierarchyUpdated() const { return false; }
    virtual void setHierarchyUpdated(bool) {}
    virtual oxMatrix44f* getBoneMatrixArray() { return nullptr; }
    virtual oxMatrix44f* getBoneMatrix(unsigned) { return nullptr; }
    virtual oxMatrix44f* getBlendMatrixArray() { return nullptr; }
    virtual oxMatrix44f* getBlendMatrix(unsigned) { return nullptr; }

    oxAnimationHierarchy* getAnimationHierarchy() const { return _animHierarchy; }
    // The hierarchy when it is a skeleton.
    oxSkeleton* getSkeleton() const;
    int getBoneCount() const { return _animHierarchy ? _animHierarchy->getBoneCount() : 0; }
    int getJointCount() const { return _animHierarchy ? _animHierarchy->getJointCount() : 0; }

protected:
    oxAnimationSystem() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationSystem>& f);

    oxSmartPointer<oxAnimationHierarchy> _animHierarchy;
};

} // namespace Kel::Sg
