#pragma once
#include "platform/attrs/oxStateAttrs.h"

namespace Kel::Attrs {

// A light source (glLightfv): type (0 directional, 1 positional, 2 spot), position and
// direction in its own space, colours, attenuation and spot cone. The transformed position
// and direction are where the light is in the world for the current frame: the draw
// traversal writes them, and they are what the device receives. They are not stored;
// setting the position or direction sets them too, and reset() puts them back.
class oxLightAttr : public oxAttr {
    OX_CLASS(oxLightAttr, oxAttr)
    OX_FIELDS(type, position, direction, ambient, diffuse, specular, attenuation, cutoff, exponent,
              transformedPosition, transformedDirection)
public:
    Gfx::OX_GFX_LIGHT_TYPE getType() const { return _type; }
    void setType(Gfx::OX_GFX_LIGHT_TYPE type) { _type = type; }
    const oxVec3f& getPosition() const { return _position; }
    void setPosition(const oxVec3f& p) { _position = _transformedPosition = p; }
    const oxVec3f& getDirection() const { return _direction; }
    void setDirection(const oxVec3f& d) { _direction = _transformedDirection = d; }
    const oxVec4f& getAmbient() const { return _ambient; }
    void setAmbient(const oxVec4f& c) { _ambient = c; }
    const oxVec4f& getDiffuse() const { return _diffuse; }
    void setDiffuse(const oxVec4f& c) { _diffuse = c; }
    const oxVec4f& getSpecular() const { return _specular; }
    void setSpecular(const oxVec4f& c) { _specular = c; }
    // Constant, linear and quadratic attenuation.
    const oxVec3f& getAttenuation() const { return _attenuation; }
    void setAttenuation(const oxVec3f& a) { _attenuation = a; }
    // Half-angle of a spot light's cone, in degrees.
    float getCutoff() const { return _cutoff; }
    void setCutoff(float degrees) { _cutoff = degrees; }
    float getExponent() const { return _exponent; }
    void setExponent(float exponent) { _exponent = exponent; }
    const oxVec3f& getTransformedPosition() const { return _transformedPosition; }
    void setTransformedPosition(const oxVec3f& p) { _transformedPosition = p; }
    const oxVec3f& getTransformedDirection() const { return _transformedDirection; }
    void setTransformedDirection(const oxVec3f& d) { _transformedDirection = d; }
    // Directional and spot lights have a direction; positional and spot lights a position.
    bool hasDirection() const { return _type != Gfx::OX_GFX_LIGHT_POSITIONAL; }

    void reset() override;
    void postFileRead() override;
    // A copy is where the original is this frame.
    void userCopyShallow(const Core::oxObject* source) override;
    void userCopyDeep(const Core::oxObject* source) override { userCopyShallow(source); }

protected:
    oxLightAttr() = default;
    static void arkRegisterInitialize(oxFields<oxLightAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_LIGHT_TYPE _type = Gfx::OX_GFX_LIGHT_DIRECTIONAL;
    oxVec3f _position;
    oxVec3f _direction{0, 0, -1};
    oxVec4f _ambient{0, 0, 0, 1};
    oxVec4f _diffuse{1, 1, 1, 1};
    oxVec4f _specular{1, 1, 1, 1};
    oxVec3f _attenuation{1, 0, 0};
    float _cutoff = 180.0f;
    float _exponent = 0.0f;
    oxVec3f _transformedPosition;
    oxVec3f _transformedDirection{0, 0, -1};
};

// Turns one light on or off (glEnable(GL_LIGHTi) for the slot the device gave the light).
// A state without a light does nothing.
class oxLightStateAttr : public oxStateAttr {
    OX_CLASS(oxLightStateAttr, oxStateAttr)
    OX_FIELDS(light)
public:
    oxLightAttr* getLight() const { return _light; }
    void setLight(oxLightAttr* light) { _light = light; }

protected:
    oxLightStateAttr() { _enabled = true; }
    static void arkRegisterInitialize(oxFields<oxLightStateAttr>& f);
    Gfx::OX_GFX_SWITCH getSwitch() const override { return Gfx::OX_GFX_LIGHTING; }
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxLightAttr> _light;
};

OX_OBJECT_LIST(oxLightList, oxLightAttr)
OX_OBJECT_LIST(oxLightStateAttrList, oxLightStateAttr)

} // namespace Kel::Attrs
