#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxTextureAttr.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// The processor that cartoon shading descriptions name: the shading texture, the matrix
// that looks it up, and the light and eye directions it is looked up by. It keeps these for
// the description's passes; it does not animate them (configuring succeeds as the base
// processor's does, and updating changes nothing).
class oxCartoonShaderProcessor : public oxShaderProcessor {
    OX_CLASS(oxCartoonShaderProcessor, oxShaderProcessor)
    OX_FIELDS(cartoonTextureMatrix, cartoonTexture, lightDirection, light, eyeDirection)
public:
    Attrs::oxTextureMatrixAttr* getCartoonTextureMatrix() const { return _cartoonTextureMatrix; }
    void setCartoonTextureMatrix(Attrs::oxTextureMatrixAttr* attr) { _cartoonTextureMatrix = attr; }
    Attrs::oxTextureAttr* getCartoonTexture() const { return _cartoonTexture; }
    void setCartoonTexture(Attrs::oxTextureAttr* texture) { _cartoonTexture = texture; }
    const oxVec3f& getLightDirection() const { return _lightDirection; }
    void setLightDirection(const oxVec3f& d) { _lightDirection = d; }
    Attrs::oxLightAttr* getLight() const { return _light; }
    void setLight(Attrs::oxLightAttr* light) { _light = light; }
    const oxVec3f& getEyeDirection() const { return _eyeDirection; }
    void setEyeDirection(const oxVec3f& d) { _eyeDirection = d; }

protected:
    oxCartoonShaderProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxCartoonShaderProcessor>& f);

    oxSmartPointer<Attrs::oxTextureMatrixAttr> _cartoonTextureMatrix;
    oxSmartPointer<Attrs::oxTextureAttr> _cartoonTexture;
    oxVec3f _lightDirection{0, 0, -1};
    oxSmartPointer<Attrs::oxLightAttr> _light;
    oxVec3f _eyeDirection{0, 0, -1};
};

} // namespace Kel::Sg
