#include "platform/attrs/oxFragmentAttrs.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxAlphaFunctionAttr::arkRegisterInitialize(oxFields<oxAlphaFunctionAttr>& f)
{
    f.add(OX_FIELD(function)).enumeration(&getOX_GFX_COMPAREMetaEnum).setDefault(OX_GFX_COMPARE_ALWAYS);
    f.add(OX_FIELD(reference));
}

void oxAlphaFunctionAttr::applyTo(oxVisualContext& vc)
{
    vc.setAlphaFunction(_function, _reference);
}

void oxBlendFunctionAttr::arkRegisterInitialize(oxFields<oxBlendFunctionAttr>& f)
{
    f.add(OX_FIELD(source)).enumeration(&getOX_GFX_BLEND_FACTORMetaEnum).setDefault(OX_GFX_BLEND_SRC_ALPHA);
    f.add(OX_FIELD(destination))
        .enumeration(&getOX_GFX_BLEND_FACTORMetaEnum)
        .setDefault(OX_GFX_BLEND_ONE_MINUS_SRC_ALPHA);
    f.add(OX_FIELD(equation)).enumeration(&getOX_GFX_BLEND_EQUATIONMetaEnum).setDefault(OX_GFX_BLEND_ADD);
}

void oxBlendFunctionAttr::applyTo(oxVisualContext& vc)
{
    vc.setBlendFunction(_source, _destination, _equation);
}

void oxDepthFunctionAttr::arkRegisterInitialize(oxFields<oxDepthFunctionAttr>& f)
{
    f.add(OX_FIELD(function)).enumeration(&getOX_GFX_COMPAREMetaEnum).setDefault(OX_GFX_COMPARE_LESS_EQUAL);
}

void oxDepthFunctionAttr::applyTo(oxVisualContext& vc)
{
    vc.setDepthFunction(_function);
}

void oxStencilFunctionAttr::arkRegisterInitialize(oxFields<oxStencilFunctionAttr>& f)
{
    f.add(OX_FIELD(function)).enumeration(&getOX_GFX_COMPAREMetaEnum).setDefault(OX_GFX_COMPARE_ALWAYS);
    f.add(OX_FIELD(reference));
    f.add(OX_FIELD(mask)).setDefault(0xFFFFFFFFu);
    f.add(OX_FIELD(fail)).enumeration(&getOX_GFX_STENCIL_OPMetaEnum);
    f.add(OX_FIELD(depthFail)).enumeration(&getOX_GFX_STENCIL_OPMetaEnum);
    f.add(OX_FIELD(pass)).enumeration(&getOX_GFX_STENCIL_OPMetaEnum);
    f.add(OX_FIELD(writeMask)).setDefault(0xFFFFFFFFu);
}

void oxStencilFunctionAttr::applyTo(oxVisualContext& vc)
{
    vc.setStencilFunction(_function, _reference, _mask);
    vc.setStencilOperation(_fail, _depthFail, _pass, _writeMask);
}

void oxColorMaskAttr::arkRegisterInitialize(oxFields<oxColorMaskAttr>& f)
{
    f.add(OX_FIELD(red)).setDefault(true);
    f.add(OX_FIELD(green)).setDefault(true);
    f.add(OX_FIELD(blue)).setDefault(true);
    f.add(OX_FIELD(alpha)).setDefault(true);
}

void oxColorMaskAttr::applyTo(oxVisualContext& vc)
{
    vc.setColorMask(_red, _green, _blue, _alpha);
}

} // namespace Kel::Attrs
