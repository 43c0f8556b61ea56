#include "platform/attrs/oxStateAttrs.h"

namespace Kel::Attrs {

void oxStateAttr::arkRegisterInitialize(oxFields<oxStateAttr>& f)
{
    f.add(OX_FIELD(enabled));
}

void oxStateAttr::applyTo(oxVisualContext& vc)
{
    vc.setSwitch(getSwitch(), _unit, _enabled);
}

void oxCullFaceAttr::arkRegisterInitialize(oxFields<oxCullFaceAttr>& f)
{
    f.add(OX_FIELD(face)).enumeration(&Gfx::getOX_GFX_CULLMetaEnum).setDefault(Gfx::OX_GFX_CULL_BACK);
}

void oxCullFaceAttr::applyTo(oxVisualContext& vc)
{
    vc.setCullFace(_face);
    oxStateAttr::applyTo(vc);
}

} // namespace Kel::Attrs
