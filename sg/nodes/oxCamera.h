#pragma once
#include "sg/core/oxSgEnums.h"
#include "sg/nodes/oxDOFShader.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

// A viewpoint in the graph: where it stands comes from the transforms above it (a graph
// path to it accumulates them), what it sees from its projection values here.
class oxCamera : public oxNode {
    OX_CLASS(oxCamera, oxNode)
    OX_FIELDS(cameraType, horizontalFieldOfView, nearPlane, farPlane, deadfield1, deadfield2, deadfield3)
public:
    CameraType getCameraType() const { return _cameraType; }
    void setCameraType(CameraType type) { _cameraType = type; }
    // Degrees.
    float getHorizontalFieldOfView() const { return _horizontalFieldOfView; }
    void setHorizontalFieldOfView(float degrees) { _horizontalFieldOfView = degrees; }
    float getNearPlane() const { return _nearPlane; }
    void setNearPlane(float distance) { _nearPlane = distance; }
    float getFarPlane() const { return _farPlane; }
    void setFarPlane(float distance) { _farPlane = distance; }

    // The perspective projection of the camera for a viewport of the given width / height,
    // the horizontal field of view kept. False, leaving `out` alone, when the values do not
    // make a projection (a near plane that is not positive, a far plane not beyond it, an
    // angle outside 0..180 degrees, an aspect ratio that is not positive).
    bool computeProjection(oxMatrix44f& out, float aspectRatio) const;

    // Called when the application starts and stops viewing through this camera.
    virtual void activate() {}
    virtual void deactivate() {}

    // Moving a camera is the transforms' business, so that its paths stay true.
    bool isTransformable() const override { return false; }

protected:
    oxCamera() = default;
    static void arkRegisterInitialize(oxFields<oxCamera>& f);

    CameraType _cameraType = CameraPoint;
    float _horizontalFieldOfView = 45.0f;
    float _nearPlane = 0.0f;
    float _farPlane = 0.0f;
    // Kept so that stored cameras keep their layout; they mean nothing.
    bool _deadfield1 = false;
    float _deadfield2 = 0.0f;
    float _deadfield3 = 0.0f;
};

// A camera that drives a depth-of-field shader: activating it hands the shader the
// camera's focus, blur and projection values. Values set on the camera reach the shader
// only at the next activation.
class oxDOFCamera : public oxCamera {
    OX_CLASS(oxDOFCamera, oxCamera)
    OX_FIELDS(focusDistance, blurriness, shader)
public:
    float getFocusDistance() const { return _focusDistance; }
    void setFocusDistance(float distance) { _focusDistance = distance; }
    float getBlurriness() const { return _blurriness; }
    void setBlurriness(float blurriness) { _blurriness = blurriness; }
    oxDOFShader* getShader() const { return _shader; }
    void setShader(oxDOFShader* shader) { _shader = shader; }

    // Both do nothing without a shader.
    void activate() override;
    void deactivate() override;

protected:
    oxDOFCamera() = default;
    static void arkRegisterInitialize(oxFields<oxDOFCamera>& f);

    float _focusDistance = 5.0f;
    float _blurriness = 2.0f;
    oxSmartPointer<oxDOFShader> _shader;
};

} // namespace Kel::Sg
