#include "platform/attrs/oxLightAttr.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxLightAttr::arkRegisterInitialize(oxFields<oxLightAttr>& f)
{
    f.add(OX_FIELD(type)).enumeration(&getOX_GFX_LIGHT_TYPEMetaEnum).setDefault(OX_GFX_LIGHT_DIRECTIONAL);
    f.add(OX_FIELD(position));
    f.add(OX_FIELD(direction)).setDefault(oxVec3f(0, 0, -1));
    f.add(OX_FIELD(ambient)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(diffuse)).setDefault(oxVec4f(1, 1, 1, 1));
    f.add(OX_FIELD(specular)).setDefault(oxVec4f(1, 1, 1, 1));
    f.add(OX_FIELD(attenuation)).setDefault(oxVec3f(1, 0, 0));
    f.add(OX_FIELD(cutoff)).setDefault(180.0f);
    f.add(OX_FIELD(exponent));
    f.add(OX_FIELD(transformedPosition)).notPersistent();
    f.add(OX_FIELD(transformedDirection)).notPersistent().setDefault(oxVec3f(0, 0, -1));
}

void oxLightAttr::reset()
{
    _transformedPosition = _position;
    _transformedDirection = _direction;
}

void oxLightAttr::postFileRead()
{
    oxAttr::postFileRead();
    reset();
}

void oxLightAttr::userCopyShallow(const Core::oxObject* source)
{
    oxAttr::userCopyShallow(source);
    auto* from = static_cast<const oxLightAttr*>(source);
    _transformedPosition = from->_transformedPosition;
    _transformedDirection = from->_transformedDirection;
}

void oxLightAttr::applyTo(oxVisualContext& vc)
{
    oxLightParameters p;
    p.id = this;
    p.type = _type;
    p.position = _transformedPosition;
    p.direction = _transformedDirection;
    p.ambient = _ambient;
    p.diffuse = _diffuse;
    p.specular = _specular;
    p.attenuation = _attenuation;
    p.cutoff = _cutoff;
    p.exponent = _exponent;
    vc.setLight(p);
}

void oxLightStateAttr::arkRegisterInitialize(oxFields<oxLightStateAttr>& f)
{
    f.redeclare(nullptr, "_enabled", true);
    f.add(OX_FIELD(light));
}

void oxLightStateAttr::applyTo(oxVisualContext& vc)
{
    if (_light)
        vc.setLightState(_light.get(), _enabled);
}

} // namespace Kel::Attrs
