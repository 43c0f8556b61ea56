#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// The planar shadow for simple shaders: each update folds the flattening onto the plane
// into the model-view matrix attribute and/or the projection matrix attribute that the
// shader's passes push. The light is the first active one above the shader when there is
// one, else the position or direction set here.
class oxPlanarShadowProcessor : public oxShaderProcessor {
    OX_CLASS(oxPlanarShadowProcessor, oxShaderProcessor)
    OX_FIELDS(modelViewMatrix, projectionMatrix, shadowPlane, lightPosition, lightDirection, isPerspective, light)
public:
    // Needs a matrix attribute to drive; false (with a warning) otherwise.
    bool configure(oxSimpleShader* shader, oxCapabilityManager* capabilities) override;
    void update(oxSimpleShader* shader, oxCommonTraversal* traversal) override;

    Attrs::oxModelViewMatrixAttr* getModelViewMatrix() const { return _modelViewMatrix; }
    void setModelViewMatrix(Attrs::oxModelViewMatrixAttr* attr) { _modelViewMatrix = attr; }
    Attrs::oxProjectionMatrixAttr* getProjectionMatrix() const { return _projectionMatrix; }
    void setProjectionMatrix(Attrs::oxProjectionMatrixAttr* attr) { _projectionMatrix = attr; }
    const oxVec4f& getShadowPlane() const { return _shadowPlane; }
    void setShadowPlane(const oxVec4f& plane) { _shadowPlane = plane; }
    const oxVec3f& getLightPosition() const { return _lightPosition; }
    void setLightPosition(const oxVec3f& p) { _lightPosition = p; }
    const oxVec3f& getLightDirection() const { return _lightDirection; }
    void setLightDirection(const oxVec3f& d) { _lightDirection = d; }
    // A light at a position (rays from it) or far away (parallel rays along the direction).
    bool getIsPerspective() const { return _isPerspective; }
    void setIsPerspective(bool on) { _isPerspective = on; }
    Attrs::oxLightAttr* getLight() const { return _light; }
    void setLight(Attrs::oxLightAttr* light) { _light = light; }

protected:
    oxPlanarShadowProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxPlanarShadowProcessor>& f);

    oxSmartPointer<Attrs::oxModelViewMatrixAttr> _modelViewMatrix;
    oxSmartPointer<Attrs::oxProjectionMatrixAttr> _projectionMatrix;
    oxVec4f _shadowPlane{0, 1, 0, 0};
    oxVec3f _lightPosition;
    oxVec3f _lightDirection{0, 1, 0};
    bool _isPerspective = true;
    oxSmartPointer<Attrs::oxLightAttr> _light;
};

} // namespace Kel::Sg
