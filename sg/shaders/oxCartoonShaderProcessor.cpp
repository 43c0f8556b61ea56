#include "sg/shaders/oxCartoonShaderProcessor.h"

namespace Kel::Sg {

void oxCartoonShaderProcessor::arkRegisterInitialize(oxFields<oxCartoonShaderProcessor>& f)
{
    f.add(OX_FIELD(cartoonTextureMatrix));
    f.add(OX_FIELD(cartoonTexture));
    f.add(OX_FIELD(lightDirection)).setDefault(oxVec3f(0, 0, -1));
    f.add(OX_FIELD(light));
    f.add(OX_FIELD(eyeDirection)).setDefault(oxVec3f(0, 0, -1));
}

} // namespace Kel::Sg
