#include "sg/shaders/oxEnvironmentMapShader2.h"

namespace Kel::Sg {

void oxEnvironmentMapShader2::arkRegisterInitialize(oxFields<oxEnvironmentMapShader2>& f)
{
    f.add(OX_FIELD(envTexture));
    f.add(OX_FIELD(unit)).setDefault(0);
    f.add(OX_FIELD(selfShadowState)).setDefault(true).notPersistent();
}

bool oxEnvironmentMapShader2::setUnit(int unit)
{
    if (unit < 0) {
        oxReportWarning("oxEnvironmentMapShader2::setUnit: no texture unit %d", unit);
        return false;
    }
    _unit = unit;
    return true;
}

} // namespace Kel::Sg
