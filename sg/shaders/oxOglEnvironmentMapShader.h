#pragma once
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "sg/shaders/oxEnvironmentMapShader2.h"

namespace Kel::Sg {

using Attrs::oxTextureCoordSourceAttr;
using Attrs::oxTextureFunctionAttr;
using Attrs::oxTextureMatrixAttr;
using Attrs::oxTextureMatrixStateAttr;
using Attrs::oxTextureStateAttr;

// Environment mapping with the device's own coordinate generation: a sphere map (one
// picture of the surroundings as seen in a mirrored ball) or a cube map looked up by the
// reflection vector. Generated reflection vectors are in eye space; the texture matrix turns
// them back into world space every frame, so that the surroundings stay put when the camera
// turns. The texture function says how the reflection mixes with the surface: modulate by
// default, add for a glossy sheen, replace for a mirror.
class oxOglEnvironmentMapShader : public oxEnvironmentMapShader2 {
    OX_CLASS(oxOglEnvironmentMapShader, oxEnvironmentMapShader2)
    OX_FIELDS(mapping, function, textureState, coordSource, textureFunction, textureMatrix, textureMatrixState)
public:
    OX_ENUM(MAPPING, SPHERE_MAP = 0, REFLECTION_MAP = 1)

    void setMapping(MAPPING mapping) { _mapping = mapping; }
    MAPPING getMapping() const { return _mapping; }
    void setFunction(Gfx::OX_GFX_TEXFUNC function) { _function = function; }
    Gfx::OX_GFX_TEXFUNC getFunction() const { return _function; }

    void shade(oxCommonTraversal* traversal) override;
    void update(oxTraversal* traversal) override;
    // The texture matrix of the last `update`: the view's rotation back to world space for
    // a reflection map, the identity for a sphere map.
    const oxMatrix44f& getTextureMatrix() const { return _textureMatrix->getMatrix(); }

protected:
    oxOglEnvironmentMapShader() = default;
    static void arkRegisterInitialize(oxFields<oxOglEnvironmentMapShader>& f);

    MAPPING _mapping = SPHERE_MAP;
    Gfx::OX_GFX_TEXFUNC _function = Gfx::OX_GFX_TEXFUNC_MODULATE;
    oxSmartPointer<oxTextureStateAttr> _textureState;
    oxSmartPointer<oxTextureCoordSourceAttr> _coordSource;
    oxSmartPointer<oxTextureFunctionAttr> _textureFunction;
    oxSmartPointer<oxTextureMatrixAttr> _textureMatrix;
    oxSmartPointer<oxTextureMatrixStateAttr> _textureMatrixState;
};

} // namespace Kel::Sg
