#include "platform/attrs/oxSurfaceAttrs.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxColorAttr::arkRegisterInitialize(oxFields<oxColorAttr>& f)
{
    f.add(OX_FIELD(color)).setDefault(oxVec4f(1, 1, 1, 1));
}

void oxMaterialAttr::arkRegisterInitialize(oxFields<oxMaterialAttr>& f)
{
    f.add(OX_FIELD(ambient)).setDefault(oxVec4f(0.2f, 0.2f, 0.2f, 1));
    f.add(OX_FIELD(diffuse)).setDefault(oxVec4f(0.8f, 0.8f, 0.8f, 1));
    f.add(OX_FIELD(specular)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(emission)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(shininess));
    f.add(OX_FIELD(colorMaterial)).enumeration(&getOX_GFX_COLOR_MATERIALMetaEnum);
}

void oxMaterialAttr::applyTo(oxVisualContext& vc)
{
    oxMaterialParameters m;
    m.ambient = _ambient;
    m.diffuse = _diffuse;
    m.specular = _specular;
    m.emission = _emission;
    m.shininess = _shininess;
    m.colorMaterial = _colorMaterial;
    vc.setMaterial(m);
}

void oxGeometryMaskAttr::arkRegisterInitialize(oxFields<oxGeometryMaskAttr>& f)
{
    f.add(OX_FIELD(mask)).setDefault(0xFFFFFFFFu);
}

void oxTimeAttr::arkRegisterInitialize(oxFields<oxTimeAttr>& f)
{
    f.add(OX_FIELD(time));
}

} // namespace Kel::Attrs
