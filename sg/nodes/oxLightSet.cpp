#include "sg/nodes/oxLightSet.h"

namespace Kel::Sg {

void oxLightSet::arkRegisterInitialize(oxFields<oxLightSet>& f)
{
    f.add(OX_FIELD(lights)).constructWithOwner();
}

void oxLightSet::userInstantiate(bool forFileRead)
{
    oxNode::userInstantiate(forFileRead);
    if (!forFileRead)
        setFlags(HAS_LIGHT, true);
}

void oxLightSet::transform(const oxMatrix44f& m)
{
    for (int i = 0; i < getLightCount(); ++i)
        if (oxLightAttr* light = getLight(i)) {
            light->setPosition(m.transformPoint(light->getPosition()));
            light->setDirection(m.transformVector(light->getDirection()));
        }
}

void oxLightSet::reset()
{
    for (int i = 0; i < getLightCount(); ++i)
        if (oxLightAttr* light = getLight(i))
            light->reset();
}

} // namespace Kel::Sg
