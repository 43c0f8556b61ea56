#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// The current colour (glColor4fv), which geometry without vertex colours takes.
class oxColorAttr : public oxAttr {
    OX_CLASS(oxColorAttr, oxAttr)
    OX_FIELDS(color)
public:
    const oxVec4f& getColor() const { return _color; }
    void setColor(const oxVec4f& c) { _color = c; }

protected:
    oxColorAttr() = default;
    static void arkRegisterInitialize(oxFields<oxColorAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setColor(_color); }

    oxVec4f _color{1, 1, 1, 1};
};

// Surface material under lighting (glMaterialfv for both faces, glColorMaterial).
class oxMaterialAttr : public oxAttr {
    OX_CLASS(oxMaterialAttr, oxAttr)
    OX_FIELDS(ambient, diffuse, specular, emission, shininess, colorMaterial)
public:
    const oxVec4f& getAmbient() const { return _ambient; }
    void setAmbient(const oxVec4f& c) { _ambient = c; }
    const oxVec4f& getDiffuse() const { return _diffuse; }
    void setDiffuse(const oxVec4f& c) { _diffuse = c; }
    const oxVec4f& getSpecular() const { return _specular; }
    void setSpecular(const oxVec4f& c) { _specular = c; }
    const oxVec4f& getEmission() const { return _emission; }
    void setEmission(const oxVec4f& c) { _emission = c; }
    float getShininess() const { return _shininess; }
    void setShininess(float s) { _shininess = s; }
    Gfx::OX_GFX_COLOR_MATERIAL getColorMaterial() const { return _colorMaterial; }
    void setColorMaterial(Gfx::OX_GFX_COLOR_MATERIAL mode) { _colorMaterial = mode; }

protected:
    oxMaterialAttr() = default;
    static void arkRegisterInitialize(oxFields<oxMaterialAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxVec4f _ambient{0.2f, 0.2f, 0.2f, 1};
    oxVec4f _diffuse{0.8f, 0.8f, 0.8f, 1};
    oxVec4f _specular{0, 0, 0, 1};
    oxVec4f _emission{0, 0, 0, 1};
    float _shininess = 0.0f;
    Gfx::OX_GFX_COLOR_MATERIAL _colorMaterial = Gfx::OX_GFX_COLOR_MATERIAL_NONE;
};

// Which vertex components the device uses (oxVertexFormat bits): masking out colours,
// normals and texture coordinates draws geometry flat in the current colour, as a shadow.
class oxGeometryMaskAttr : public oxAttr {
    OX_CLASS(oxGeometryMaskAttr, oxAttr)
    OX_FIELDS(mask)
public:
    uint32_t getMask() const { return _mask; }
    void setMask(uint32_t mask) { _mask = mask; }

protected:
    oxGeometryMaskAttr() = default;
    static void arkRegisterInitialize(oxFields<oxGeometryMaskAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setGeometryMask(_mask); }

    uint32_t _mask = 0xFFFFFFFFu;
};

// The frame time (nanoseconds) carried into the state, for devices and effects that animate.
class oxTimeAttr : public oxAttr {
    OX_CLASS(oxTimeAttr, oxAttr)
    OX_FIELDS(time)
public:
    int64_t getTimeAsLong() const { return _time; }
    void setTimeAsLong(int64_t time) { _time = time; }

protected:
    oxTimeAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTimeAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setTime(_time); }

    int64_t _time = 0;
};

} // namespace Kel::Attrs
