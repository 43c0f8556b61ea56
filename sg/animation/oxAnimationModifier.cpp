#include "sg/animation/oxAnimationModifier.h"

namespace Kel::Sg {

void oxAnimationModifier::arkRegisterInitialize(oxFields<oxAnimationModifier>& f)
{
    f.add(OX_FIELD(boneIndex)).setDefault(-1);
    f.add(OX_FIELD(transform));
    f.add(OX_FIELD(type)).enumeration(&getModifierTypeMetaEnum).setDefault(kPre);
}

void oxAnimationModifier::configure(int bone, oxTransform* transform, ModifierType type)
{
    _boneIndex = bone;
    _transform = transform;
    _type = type;
}

void oxAnimationModifier::apply(oxMatrix44f& m, int64_t t) const
{
    if (!_transform)
        return;
    _transform->update(t);
    const oxMatrix44f& tm = *_transform->getMatrix();
    switch (_type) {
    case kOverride:
        m = tm;
        break;
    case kOverrideOrientation: {
        const oxVec3f kept = m.getTranslation();
        m = tm;
        m.setTranslation(kept);
        break;
    }
    case kPre:
        m = tm * m;
        break;
    case kPost:
        m = m * tm;
        break;
    }
}

} // namespace Kel::Sg
