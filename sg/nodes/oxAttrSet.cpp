#include "sg/nodes/oxAttrSet.h"

namespace Kel::Sg {

void oxAttrSet::arkRegisterInitialize(oxFields<oxAttrSet>& f)
{
    f.add(OX_FIELD(attributes)).constructWithOwner();
    f.add(OX_FIELD(trigger));
}

void oxAttrSet::reset()
{
    for (int i = 0; i < getAttrCount(); ++i)
        if (oxAttr* attr = getAttr(i))
            attr->reset();
}

} // namespace Kel::Sg
