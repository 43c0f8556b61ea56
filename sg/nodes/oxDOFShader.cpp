#include "sg/nodes/oxDOFShader.h"

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
