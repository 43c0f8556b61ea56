#include "sg/nodes/oxDOFShader.h"

#include <cmath>

namespace Kel::Sg {

void oxDOFShader::arkRegisterInitialize(oxFields<oxDOFShader>& f)
{
    f.add(OX_FIELD(state)).setDefault(false);
    f.add(OX_FIELD(blurriness)).setDefault(2.0f);
    f.add(OX_FIELD(focusRange)).setDefault(5.0f);
    f.add(OX_FIELD(horizontalFieldOfView)).setDefault(45.0f);
    f.add(OX_FIELD(verticalFieldOfView)).setDefault(-1.0f);
    f.add(OX_FIELD(nearClip)).setDefault(0.0f);
    f.add(OX_FIELD(farClip)).setDefault(0.0f);
    f.add(OX_FIELD(aspectRatio)).setDefault(4.0f / 3.0f);
    f.add(OX_FIELD(parametersChanged)).setDefault(true).notPersistent();
    // Derived from the values above at the next draw, as a read shader's parameters count
    // as changed.
    f.add(OX_FIELD(projection)).notPersistent();
    f.add(OX_FIELD(projectionValid)).notPersistent();
}

bool oxDOFShader::computeProjection(oxMatrix44f& out) const
{
    if (!(_nearClip > 0) || !(_farClip > _nearClip) || !(_aspectRatio > 0))
        return false;
    // A negative angle follows from the other one through the aspect ratio.
    float horizontal = oxDegToRad(_horizontalFieldOfView);
    float vertical = oxDegToRad(_verticalFieldOfView);
    if (_horizontalFieldOfView < 0 && _verticalFieldOfView < 0)
        return false;
    if (_verticalFieldOfView < 0)
        vertical = 2 * std::atan(std::tan(horizontal / 2) / _aspectRatio);
    else if (_horizontalFieldOfView < 0)
        horizontal = 2 * std::atan(std::tan(vertical / 2) * _aspectRatio);
    const float pi = oxDegToRad(180.0f);
    if (!(horizontal > 0) || !(horizontal < pi) || !(vertical > 0) || !(vertical < pi))
        return false;
    const float x = _nearClip * std::tan(horizontal / 2), y = _nearClip * std::tan(vertical / 2);
    return out.frustum(-x, x, -y, y, _nearClip, _farClip);
}

bool oxDOFShader::shade(oxTraversal*)
{
    if (!_state)
        return false;
    if (_parametersChanged) {
        _projectionValid = computeProjection(_projection);
        clearParametersChanged();
    }
    return _projectionValid;
}

void oxDOFShader::setFocusRange(float distance)
{
    _focusRange = distance;
    _parametersChanged = true;
}

void oxDOFShader::setFieldOfView(float horizontal, float vertical)
{
    _horizontalFieldOfView = horizontal;
    _verticalFieldOfView = vertical;
    _parametersChanged = true;
}

void oxDOFShader::setNearFarClip(float nearClip, float farClip)
{
    _nearClip = nearClip;
    _farClip = farClip;
    _parametersChanged = true;
}

void oxDOFShader::setAspectRatio(float ratio)
{
    _aspectRatio = ratio;
    _parametersChanged = true;
}

void oxDOFShader::postFileRead()
{
    oxGroup::postFileRead();
    _parametersChanged = true;
}

} // namespace Kel::Sg
