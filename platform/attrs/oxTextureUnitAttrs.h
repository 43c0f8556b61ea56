#pragma once
#include "platform/attrs/oxTextureAttr.h"

namespace Kel::Attrs {

// The state of one texture unit, each class on its own stack per unit.

// The texture a unit samples; none by default.
class oxTextureBindAttr : public oxAttr {
    OX_CLASS(oxTextureBindAttr, oxAttr)
    OX_FIELDS(texture)
public:
    oxTextureAttr* getTexture() const { return _texture; }
    void setTexture(oxTextureAttr* texture) { _texture = texture; }
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    oxTextureBindAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTextureBindAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxTextureAttr> _texture;
};

// How a unit combines its texture with what came before: a function and up to three
// arguments (combiner sources). The default, MODULATE of the texture and the previous unit,
// is the device's own default.
class oxTextureFunctionAttr : public oxAttr {
    OX_CLASS(oxTextureFunctionAttr, oxAttr)
    OX_FIELDS(function, argument0, argument1, argument2)
public:
    Gfx::OX_GFX_TEXFUNC getFunction() const { return _function; }
    void setFunction(Gfx::OX_GFX_TEXFUNC function) { _function = function; }
    // Argument 0..2 (an OX_GFX_TEXARG value); false for anything else.
    bool setArgument(int index, int argument);
    int getArgument(int index) const;
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    oxTextureFunctionAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTextureFunctionAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_TEXFUNC _function = Gfx::OX_GFX_TEXFUNC_MODULATE;
    Gfx::OX_GFX_TEXARG _argument0 = Gfx::OX_GFX_TEXARG_TEXTURE;
    Gfx::OX_GFX_TEXARG _argument1 = Gfx::OX_GFX_TEXARG_PREVIOUS;
    Gfx::OX_GFX_TEXARG _argument2 = Gfx::OX_GFX_TEXARG_CONSTANT;

private:
    Gfx::OX_GFX_TEXARG* argument(int index);
};

// Where a unit's coordinates come from: a texture-coordinate set of the vertices (-1, the
// default, is the set numbered as the unit) or generation from positions or normals (with
// the planes of oxTexGenMatrixAttr for the linear kinds).
class oxTextureCoordSourceAttr : public oxAttr {
    OX_CLASS(oxTextureCoordSourceAttr, oxAttr)
    OX_FIELDS(source, set)
public:
    Gfx::OX_GFX_TEXCOORD_SOURCE getSource() const { return _source; }
    void setSource(Gfx::OX_GFX_TEXCOORD_SOURCE source) { _source = source; }
    int getTextureCoordSet() const { return _set; }
    // Takes set `set` of the vertices.
    void setTextureCoordSet(int set)
    {
        _source = Gfx::OX_GFX_TEXCOORD_SET;
        _set = set;
    }
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    oxTextureCoordSourceAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTextureCoordSourceAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_TEXCOORD_SOURCE _source = Gfx::OX_GFX_TEXCOORD_SET;
    int32_t _set = -1;
};

// Mip-level selection of a unit: a level-of-detail bias and the range of levels used.
class oxMipMapAttr : public oxAttr {
    OX_CLASS(oxMipMapAttr, oxAttr)
    OX_FIELDS(bias, minLod, maxLod)
public:
    float getBias() const { return _bias; }
    void setBias(float bias) { _bias = bias; }
    float getMinLod() const { return _minLod; }
    float getMaxLod() const { return _maxLod; }
    void setLodRange(float minLod, float maxLod)
    {
        _minLod = minLod;
        _maxLod = maxLod;
    }
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    oxMipMapAttr() = default;
    static void arkRegisterInitialize(oxFields<oxMipMapAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setTextureLod(_unit, _bias, _minLod, _maxLod); }

    float _bias = 0.0f;
    float _minLod = -1000.0f;
    float _maxLod = 1000.0f;
};

// The constant colour of a unit's combiner (the CONSTANT argument), for blends whose factor
// changes over time.
class oxVectorConstantAttr : public oxAttr {
    OX_CLASS(oxVectorConstantAttr, oxAttr)
    OX_FIELDS(vector)
public:
    const oxVec4f& getVector() const { return _vector; }
    void setVector(const oxVec4f& v) { _vector = v; }
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    oxVectorConstantAttr() = default;
    static void arkRegisterInitialize(oxFields<oxVectorConstantAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setTextureConstant(_unit, _vector); }

    oxVec4f _vector;
};

// Gives the device's copy of a texture back (the texture itself stays and loads again when
// used). Drawn as an action, not kept as state.
class oxTextureUnloadAttr : public oxAttr {
    OX_CLASS(oxTextureUnloadAttr, oxAttr)
    OX_FIELDS(texture)
public:
    oxTextureAttr* getTexture() const { return _texture; }
    void setTexture(oxTextureAttr* texture) { _texture = texture; }

protected:
    oxTextureUnloadAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTextureUnloadAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxTextureAttr> _texture;
};

} // namespace Kel::Attrs
