#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxTraversal;
class oxActor;
class oxAnimationModifierList;

// A bone hierarchy that animations bind to by bone name: bones are numbered from 0, each
// has a name, a parent and a bind (rest) translation relative to that parent. A skeleton is
// the one every character uses; the interface leaves room for others.
class oxAnimationHierarchy : public oxNamedObject {
    OX_CLASS(oxAnimationHierarchy, oxNamedObject)
    OX_FIELDS(boneTranslationArray)
public:
    // Turns the local pose (one matrix per bone) into bone matrices and, for the bones that
    // are joints, blend matrices, applying the modifiers on the way.
    virtual void update(oxTraversal* traversal, oxActor* actor, const oxMatrix44f* local, oxMatrix44f* boneMatrices,
                        oxMatrix44f* blendMatrices, oxAnimationModifierList* modifiers) = 0;
    virtual int getBoneCount() const = 0;
    virtual int getJointCount() const = 0;
    // Null for a bone that does not exist.
    virtual const char* getBoneName(int bone) const = 0;
    virtual int findBoneIndex(const char* name) const = 0;
    virtual int getParent(int bone) const = 0;
    // The first child of `parent` at or after bone `cursor`, leaving `cursor` one past it;
    // -1 when none is left.
    virtual int getChild(int parent, int& cursor) const = 0;
    virtual int getChildCount(int parent) const = 0;
    // The k-th child (from 0) of `parent`, or -1.
    virtual int getSpecifiedChild(int parent, int k) const = 0;

    // Bind translations: one per bone in a block of their own, which may be shorter than the
    // bone count (a file may say so); the checked forms give null or false past its end.
    int getBoneTranslationCount() const { return int(_boneTranslationArray.size() / sizeof(oxVec3f)); }
    const oxVec3f* getBoneTranslation(int bone) const;
    bool setBoneTranslation(int bone, const oxVec3f& v);
    const oxVec3f& getBoneTranslationNoCheck(int bone) const { return translations()[bone]; }
    void setBoneTranslationNoCheck(int bone, const oxVec3f& v) { translations()[bone] = v; }
    const oxVec3f* getBoneTranslationArray() const { return translations(); }
    oxVec3f* getBoneTranslationArray() { return translations(); }
    // Copies `count` translations; null with a count above 0 is refused.
    bool setBoneTranslationArray(const oxVec3f* translations, int count);

protected:
    oxAnimationHierarchy() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationHierarchy>& f);

    oxVec3f* translations() { return reinterpret_cast<oxVec3f*>(_boneTranslationArray.data()); }
    const oxVec3f* translations() const { return reinterpret_cast<const oxVec3f*>(_boneTranslationArray.data()); }

    oxMemoryBlock _boneTranslationArray;
};

} // namespace Kel::Sg
