#include "sg/animation/oxSkin.h"

#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

void oxSkin::arkRegisterInitialize(oxFields<oxSkin>& f)
{
    f.add(OX_FIELD(skinnedGraph));
    f.add(OX_FIELD(bound));
}

OX_TRAVERSAL_RETURN oxSkin::traverse(oxTraversal* traversal)
{
    if (!_skinnedGraph || !traversal)
        return OX_TRAVERSAL_CONTINUE;
    return traversal->dispatch(_skinnedGraph);
}

void oxBlendListRecord::arkRegisterInitialize(oxFields<oxBlendListRecord>& f)
{
    f.add(OX_FIELD(attr));
    f.add(OX_FIELD(fwdPtr)).setDefault(-1).notPersistent();
}

} // namespace Kel::Sg
