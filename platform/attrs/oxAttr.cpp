#include "platform/attrs/oxAttr.h"

#include "platform/attrs/oxCapabilityManager.h"
#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

void oxAttr::arkRegisterInitialize(oxFields<oxAttr>& f)
{
    f.add(OX_FIELD(unit));
}

void oxAttr::apply(oxVisualContext* vc)
{
    if (!vc) {
        Core::oxReportWarning("%s: applied without a visual context", getMetaObject()->getName());
        return;
    }
    applyTo(*vc);
}

int oxAttr::getUnitCount(const oxCapabilityManager* capabilities) const
{
    int capability = getUnitCapability();
    return capability < 0 || !capabilities ? 1 : capabilities->getCapability(capability);
}

bool oxAttr::setUnit(int unit)
{
    if (unit < 0 || unit > 0xFFFF || (unit != 0 && getUnitCapability() < 0)) {
        Core::oxReportWarning("%s: unit %d refused", getMetaObject()->getName(), unit);
        return false;
    }
    _unit = uint16_t(unit);
    return true;
}

void oxAttr::refreshFromVisualContext(const oxVisualContext*) {}

bool oxAttr::extendBounds(oxBox3f&) const
{
    return false;
}

void oxAttr::reset() {}

} // namespace Kel::Attrs
