#include "sg/nodes/oxCamera.h"

#include <cmath>

namespace Kel::Sg {

namespace {
// The shader is told the vertical angle follows from the horizontal one.
constexpr float kDerivedFieldOfView = -1.0f;
constexpr float kDisplayAspectRatio = 4.0f / 3.0f;
} // namespace

void oxCamera::arkRegisterInitialize(oxFields<oxCamera>& f)
{
    f.add(OX_FIELD(cameraType)).enumeration(&getCameraTypeMetaEnum).setDefault(CameraPoint);
    f.add(OX_FIELD(horizontalFieldOfView)).setDefault(45.0f);
    f.add(OX_FIELD(nearPlane)).setDefault(0.0f);
    f.add(OX_FIELD(farPlane)).setDefault(0.0f);
    f.add(OX_FIELD(deadfield1)).setDefault(false);
    f.add(OX_FIELD(deadfield2)).setDefault(0.0f);
    f.add(OX_FIELD(deadfield3)).setDefault(0.0f);
}

bool oxCamera::computeProjection(oxMatrix44f& out, float aspectRatio) const
{
    if (!(_nearPlane > 0) || !(_farPlane > _nearPlane) || !(aspectRatio > 0) || !(_horizontalFieldOfView > 0) ||
        !(_horizontalFieldOfView < 180))
        return false;
    const float halfWidth = _nearPlane * std::tan(oxDegToRad(_horizontalFieldOfView) * 0.5f);
    const float halfHeight = halfWidth / aspectRatio;
    return out.frustum(-halfWidth, halfWidth, -halfHeight, halfHeight, _nearPlane, _farPlane);
}

void oxDOFCamera::arkRegisterInitialize(oxFields<oxDOFCamera>& f)
{
    f.add(OX_FIELD(focusDistance)).setDefault(5.0f);
    f.add(OX_FIELD(blurriness)).setDefault(2.0f);
    f.add(OX_FIELD(shader));
}

void oxDOFCamera::activate()
{
    if (!_shader)
        return;
    _shader->setState(true);
    _shader->setBlurriness(_blurriness);
    _shader->setFocusRange(_focusDistance);
    _shader->setFieldOfView(_horizontalFieldOfView, kDerivedFieldOfView);
    _shader->setNearFarClip(_nearPlane, _farPlane);
    _shader->setAspectRatio(kDisplayAspectRatio);
}

void oxDOFCamera::deactivate()
{
    if (_shader)
        _shader->setState(false);
}

} // namespace Kel::Sg
