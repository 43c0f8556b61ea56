#pragma once
#include "sg/animation/oxAnimationHierarchy.h"

namespace Kel::Sg {

// One bone of a skeleton, named as the bone. A bone's parent always has a lower index, so
// that a walk in index order meets every parent before its children.
class oxSkeletonBoneInfo : public oxNamedObject {
    OX_CLASS(oxSkeletonBoneInfo, oxNamedObject)
    OX_FIELDS(parentIdx, bmIdx, flags)
public:
    int getParentIdx() const { return _parentIdx; }
    void setParentIdx(int parent) { _parentIdx = parent; }
    // Index of the bone's blend matrix; -1 for a bone that drives no skin vertex.
    int getBmIdx() const { return _bmIdx; }
    void setBmIdx(int index) { _bmIdx = index; }
    bool isJoint() const { return _bmIdx != -1; }
    int getFlags() const { return _flags; }
    void setFlags(int flags) { _flags = flags; }

protected:
    oxSkeletonBoneInfo() = default;
    static void arkRegisterInitialize(oxFields<oxSkeletonBoneInfo>& f);

    int _parentIdx = 0;
    int _bmIdx = -1;
    int _flags = 0;
};

OX_OBJECT_LIST(oxSkeletonBoneInfoList, oxSkeletonBoneInfo)

// The bone hierarchy of a character: bones in index order (bone 0 is the root, placed by
// the actor), bind translations, and the inverse bind matrices of the joints, the bones
// that skin vertices follow.
class oxSkeleton : public oxAnimationHierarchy {
    OX_CLASS(oxSkeleton, oxAnimationHierarchy)
    OX_FIELDS(boneInfoList, invJointArray, jointCount)
public:
    // Bone b's matrix is its local pose (after modifiers) when its parent is bone 0, else the
    // pose times its parent's matrix; bone 0's matrix is left as the caller set it. Each
    // joint's blend matrix is its inverse bind matrix times its bone matrix.
    void update(oxTraversal* traversal, oxActor* actor, const oxMatrix44f* local, oxMatrix44f* boneMatrices,
                oxMatrix44f* blendMatrices, oxAnimationModifierList* modifiers) override;
    int getBoneCount() const override { return _boneInfoList ? _boneInfoList->getCount() : 0; }
    int getJointCount() const override { return _jointCount; }
    const char* getBoneName(int bone) const override;
    // Ignores case; the first bone of that name, or -1.
    int findBoneIndex(const char* name) const override;
    // -1 for a bone that does not exist.
    int getParent(int bone) const override;
    int getChild(int parent, int& cursor) const override;
    int getChildCount(int parent) const override;
    int getSpecifiedChild(int parent, int k) const override;

    oxSkeletonBoneInfo* getBoneInfo(int bone) const;
    oxSkeletonBoneInfoList* getBoneInfoList() const { return _boneInfoList; }
    void setBoneInfoList(oxSkeletonBoneInfoList* list) { _boneInfoList = list; }

    // Inverse bind matrices, one per joint in the bone order of the joints.
    int getInverseJointCount() const { return int(_invJointArray.size() / sizeof(oxMatrix44f)); }
    const oxMatrix44f* getInvJointArray() const { return inverseJoints(); }
    // Null for a joint outside the block.
    const oxMatrix44f* getInverseJointMatrix(int joint) const;
    bool setInverseJointMatrix(int joint, const oxMatrix44f& m);
    // Copies `count` matrices and makes the joint count follow; null with a count is refused.
    bool setInvJointArray(const oxMatrix44f* matrices, int count);
    bool setInverseJointArray(const oxMatrix44f* matrices, int count) { return setInvJointArray(matrices, count); }
    void setJointCount(int count) { _jointCount = count; }

    // Blocks of n entries in their default state (zero translations, identity matrices).
    void allocateBoneTranslationArray(int n);
    void allocateInverseJointArray(int n);

    // Appends a bone under `parent` (-1 or an existing bone); its index, or -1 when the
    // parent does not exist yet.
    int insertBone(const char* name, int parent, const oxVec3f& translation);
    // Children of the removed bone move up to its parent; later bones shift down by one.
    bool removeBone(int bone);
    bool removeBone(const char* name);

protected:
    oxSkeleton() = default;
    static void arkRegisterInitialize(oxFields<oxSkeleton>& f);

    oxMatrix44f* inverseJoints() { return reinterpret_cast<oxMatrix44f*>(_invJointArray.data()); }
    const oxMatrix44f* inverseJoints() const { return reinterpret_cast<const oxMatrix44f*>(_invJointArray.data()); }

    oxSmartPointer<oxSkeletonBoneInfoList> _boneInfoList;
    oxMemoryBlock _invJointArray;
    int _jointCount = 0;
};

OX_OBJECT_LIST(oxSkeletonList, oxSkeleton)

} // namespace Kel::Sg
