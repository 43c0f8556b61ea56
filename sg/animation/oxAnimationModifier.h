#pragma once
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

// A transform that changes one bone's local pose after the animations have set it: before
// it, after it, in place of it, or in place of its rotation only.
class oxAnimationModifier : public oxObject {
    OX_CLASS(oxAnimationModifier, oxObject)
    OX_FIELDS(boneIndex, transform, type)
public:
    OX_ENUM(ModifierType, kPre = 0, kPost = 1, kOverride = 2, kOverrideOrientation = 3)

    void configure(int bone, oxTransform* transform, ModifierType type);

    int getBoneIndex() const { return _boneIndex; }
    void setBoneIndex(int bone) { _boneIndex = bone; }
    oxTransform* getTransform() const { return _transform; }
    void setTransform(oxTransform* transform) { _transform = transform; }
    ModifierType getType() const { return _type; }
    void setType(ModifierType type) { _type = type; }

    // The pose `m` changed as the modifier says, with its transform at time `t`.
    void apply(oxMatrix44f& m, int64_t t) const;

protected:
    oxAnimationModifier() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationModifier>& f);

    int _boneIndex = -1;
    oxSmartPointer<oxTransform> _transform;
    ModifierType _type = kPre;
};

OX_OBJECT_LIST(oxAnimationModifierList, oxAnimationModifier)

} // namespace Kel::Sg
