#include "sg/animation/oxSkeleton.h"

#include <strings.h>

#include <algorithm>

#include "sg/animation/oxAnimationModifier.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

void oxSkeletonBoneInfo::arkRegisterInitialize(oxFields<oxSkeletonBoneInfo>& f)
{
    f.add(OX_FIELD(parentIdx));
    f.add(OX_FIELD(bmIdx)).setDefault(-1);
    f.add(OX_FIELD(flags));
}

void oxSkeleton::arkRegisterInitialize(oxFields<oxSkeleton>& f)
{
    f.add(OX_FIELD(boneInfoList)).constructWithOwner();
    f.add(OX_FIELD(invJointArray));
    f.add(OX_FIELD(jointCount));
}

oxSkeletonBoneInfo* oxSkeleton::getBoneInfo(int bone) const
{
    if (bone < 0 || bone >= getBoneCount())
        return nullptr;
    return _boneInfoList->get(bone);
}

const char* oxSkeleton::getBoneName(int bone) const
{
    const oxSkeletonBoneInfo* info = getBoneInfo(bone);
    return info && !info->getName().isNull() ? info->getName().c_str() : nullptr;
}

int oxSkeleton::findBoneIndex(const char* name) const
{
    if (!name)
        return -1;
    for (int i = 0; i < getBoneCount(); ++i)
        if (const char* bone = getBoneName(i); bone && strcasecmp(bone, name) == 0)
            return i;
    return -1;
}

int oxSkeleton::getParent(int bone) const
{
    const oxSkeletonBoneInfo* info = getBoneInfo(bone);
    return info ? info->getParentIdx() : -1;
}

int oxSkeleton::getChild(int parent, int& cursor) const
{
    for (int i = cursor < 0 ? 0 : cursor; i < getBoneCount(); ++i) {
        const oxSkeletonBoneInfo* info = _boneInfoList->get(i);
        if (info && info->getParentIdx() == parent && i != parent) {
            cursor = i + 1;
            return i;
        }
    }
    cursor = getBoneCount();
    return -1;
}

int oxSkeleton::getChildCount(int parent) const
{
    int cursor = 0, n = 0;
    while (getChild(parent, cursor) >= 0)
        ++n;
    return n;
}

int oxSkeleton::getSpecifiedChild(int parent, int k) const
{
    if (k < 0)
        return -1;
    int cursor = 0;
    for (int child = getChild(parent, cursor); child >= 0; child = getChild(parent, cursor))
        if (k-- == 0)
            return child;
    return -1;
}

const oxMatrix44f* oxSkeleton::getInverseJointMatrix(int joint) const
{
    if (joint < 0 || joint >= getInverseJointCount())
        return nullptr;
    return inverseJoints() + joint;
}

bool oxSkeleton::setInverseJointMatrix(int joint, const oxMatrix44f& m)
{
    if (joint < 0 || joint >= getInverseJointCount())
        return false;
    inverseJoints()[joint] = m;
    return true;
}

bool oxSkeleton::setInvJointArray(const oxMatrix44f* matrices, int count)
{
    if (count < 0 || (count > 0 && !matrices)) {
        oxReportWarning("oxSkeleton::setInvJointArray: no matrices for %d joints", count);
        return false;
    }
    if (count == 0)
        _invJointArray.clear();
    else
        _invJointArray.assign(matrices, size_t(count) * sizeof(oxMatrix44f));
    _jointCount = count;
    return true;
}

void oxSkeleton::allocateBoneTranslationArray(int n)
{
    _boneTranslationArray.clear();
    _boneTranslationArray.resize(size_t(n > 0 ? n : 0) * sizeof(oxVec3f));
    for (int i = 0; i < n; ++i)
        translations()[i] = oxVec3f(0, 0, 0);
}

void oxSkeleton::allocateInverseJointArray(int n)
{
    n = n > 0 ? n : 0;
    _invJointArray.clear();
    _invJointArray.resize(size_t(n) * sizeof(oxMatrix44f));
    for (int i = 0; i < n; ++i)
        inverseJoints()[i] = oxMatrix44f();
    _jointCount = n;
}

int oxSkeleton::insertBone(const char* name, int parent, const oxVec3f& translation)
{
    const int index = getBoneCount();
    if (parent < -1 || parent >= index || !_boneInfoList) {
        oxReportWarning("oxSkeleton::insertBone: bone %s has no parent %d among %d bones", name ? name : "(unnamed)",
                        parent, index);
        return -1;
    }
    oxSmartPointer<oxSkeletonBoneInfo> info = oxSkeletonBoneInfo::_instantiateFromPool(getMemoryPool());
    info->setName(name);
    info->setParentIdx(parent);
    _boneInfoList->append(info);
    // Bones past the end of a short translation block keep no translation of their own.
    if (getBoneTranslationCount() == index) {
        _boneTranslationArray.resize(size_t(index + 1) * sizeof(oxVec3f));
        translations()[index] = translation;
    }
    return index;
}

bool oxSkeleton::removeBone(int bone)
{
    oxSkeletonBoneInfo* removed = getBoneInfo(bone);
    if (!removed)
        return false;
    const int parent = removed->getParentIdx();
    _boneInfoList->remove(bone);
    for (int i = 0; i < getBoneCount(); ++i) {
        oxSkeletonBoneInfo* info = _boneInfoList->get(i);
        if (!info)
            continue;
        int p = info->getParentIdx();
        if (p == bone)
            p = parent;
        if (p > bone)
            --p;
        info->setParentIdx(p);
    }
    const int n = getBoneTranslationCount();
    if (bone < n) {
        uint8_t* bytes = _boneTranslationArray.data();
        std::copy(bytes + size_t(bone + 1) * sizeof(oxVec3f), bytes + size_t(n) * sizeof(oxVec3f),
                  bytes + size_t(bone) * sizeof(oxVec3f));
        _boneTranslationArray.resize(size_t(n - 1) * sizeof(oxVec3f));
    }
    return true;
}

bool oxSkeleton::removeBone(const char* name)
{
    return removeBone(findBoneIndex(name));
}

void oxSkeleton::update(oxTraversal* traversal, oxActor*, const oxMatrix44f* local, oxMatrix44f* boneMatrices,
                        oxMatrix44f* blendMatrices, oxAnimationModifierList* modifiers)
{
    if (!local || !boneMatrices)
        return;
    const int bones = getBoneCount();
    const int64_t t = traversal ? traversal->getTimeAsLong() : 0;
    const bool modified = modifiers && modifiers->getCount() > 0;
    int joint = 0;
    for (int b = 1; b < bones; ++b) {
        oxMatrix44f m = local[b];
        if (modified)
            for (int i = 0; i < modifiers->getCount(); ++i)
                if (const oxAnimationModifier* mod = modifiers->get(i); mod && mod->getBoneIndex() == b)
                    mod->apply(m, t);
        const oxSkeletonBoneInfo* info = _boneInfoList->get(b);
        const int parent = info ? info->getParentIdx() : 0;
        // A parent that does not come before its child (a damaged file) counts as the root.
        if (parent <= 0 || parent >= b)
            boneMatrices[b] = m;
        else
            boneMatrices[b].multiply(m, boneMatrices[parent]);
        if (info && info->isJoint()) {
            const int slot = info->getBmIdx();
            if (blendMatrices && slot >= 0 && slot < _jointCount && joint < getInverseJointCount())
                blendMatrices[slot].multiply(inverseJoints()[joint], boneMatrices[b]);
            ++joint;
        }
    }
}

} // namespace Kel::Sg
