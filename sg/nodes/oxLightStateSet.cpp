#include "sg/nodes/oxLightStateSet.h"

namespace Kel::Sg {

void oxLightStateSet::arkRegisterInitialize(oxFields<oxLightStateSet>& f)
{
    f.add(OX_FIELD(lightEnables)).constructWithOwner();
}

void oxLightStateSet::reset()
{
    for (int i = 0; i < getLightStateAttrCount(); ++i)
        if (oxLightStateAttr* attr = getLightStateAttr(i))
            attr->reset();
}

oxLightAttr* oxLightStateSet::findFirstActiveLight(oxNode* node)
{
    while (node) {
        if (const oxLightStateSet* set = dynamicCast(node))
            for (int i = 0; i < set->getLightStateAttrCount(); ++i) {
                const oxLightStateAttr* state = set->getLightStateAttr(i);
                if (state && state->getEnabled() && state->getLight())
                    return state->getLight();
            }
        node = node->getParentCount() > 0 ? node->getParent(0) : nullptr;
    }
    return nullptr;
}

} // namespace Kel::Sg
