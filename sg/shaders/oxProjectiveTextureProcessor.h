#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxTextureAttr.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// Projects a texture from a light like a slide projector: each update gives the texture
// matrix (which a pass pushes, with texture coordinates generated from eye-space positions)
// the transform from eye space into the projector's texture coordinates. The projector
// follows the first active light above the shader when there is one.
class oxProjectiveTextureProcessor : public oxShaderProcessor {
    OX_CLASS(oxProjectiveTextureProcessor, oxShaderProcessor)
    OX_FIELDS(textureMatrix, lightPosition, lightDirection, cutOffAngle, zNear, zFar, upVector, isPerspective, light,
              lightMapTexture)
public:
    // Needs the texture matrix and a texture whose first image the device can project;
    // false (with a warning) otherwise.
    bool configure(oxSimpleShader* shader, oxCapabilityManager* capabilities) override;
    void update(oxSimpleShader* shader, oxCommonTraversal* traversal) override;
    // Eye space to projective texture coordinates for a view whose inverse is given; false,
    // leaving `out` alone, when the projector's settings make no projection.
    bool computeTextureMatrix(oxMatrix44f& out, const oxMatrix44f& inverseView) const;

    Attrs::oxTextureMatrixAttr* getTextureMatrix() const { return _textureMatrix; }
    void setTextureMatrix(Attrs::oxTextureMatrixAttr* attr) { _textureMatrix = attr; }
    const oxVec3f& getLightPosition() const { return _lightPosition; }
    void setLightPosition(const oxVec3f& p) { _lightPosition = p; }
    const oxVec3f& getLightDirection() const { return _lightDirection; }
    void setLightDirection(const oxVec3f& d) { _lightDirection = d; }
    // Half the field of view, in degrees.
    float getCutOffAngle() const { return _cutOffAngle; }
    void setCutOffAngle(float degrees) { _cutOffAngle = degrees; }
    float getZNear() const { return _zNear; }
    void setZNear(float z) { _zNear = z; }
    float getZFar() const { return _zFar; }
    void setZFar(float z) { _zFar = z; }
    const oxVec3f& getUpVector() const { return _upVector; }
    void setUpVector(const oxVec3f& up) { _upVector = up; }
    bool getIsPerspective() const { return _isPerspective; }
    void setIsPerspective(bool on) { _isPerspective = on; }
    Attrs::oxLightAttr* getLight() const { return _light; }
    void setLight(Attrs::oxLightAttr* light) { _light = light; }
    Attrs::oxTextureAttr* getLightMapTexture() const { return _lightMapTexture; }
    void setLightMapTexture(Attrs::oxTextureAttr* texture) { _lightMapTexture = texture; }

protected:
    oxProjectiveTextureProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxProjectiveTextureProcessor>& f);

    oxSmartPointer<Attrs::oxTextureMatrixAttr> _textureMatrix;
    oxVec3f _lightPosition;
    oxVec3f _lightDirection{0, 1, 0};
    float _cutOffAngle = 45;
    float _zNear = 1;
    float _zFar = 1000;
    oxVec3f _upVector{1, 0, 0};
    bool _isPerspective = true;
    oxSmartPointer<Attrs::oxLightAttr> _light;
    oxSmartPointer<Attrs::oxTextureAttr> _lightMapTexture;
};

} // namespace Kel::Sg
