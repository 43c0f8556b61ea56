#include "sg/traversal/oxCompiledTransform.h"

namespace Kel::Sg {

void oxCompiledTransform::arkRegisterInitialize(oxFields<oxCompiledTransform>& f)
{
    f.add(OX_FIELD(parentIdx));
    f.add(OX_FIELD(source));
    f.add(OX_FIELD(moIdx)).setDefault(-1);
    f.add(OX_FIELD(invJoint));
    f.add(OX_FIELD(name)).constructWithOwner();
    f.add(OX_FIELD(isNode)).setDefault(true);
    f.add(OX_FIELD(isJointChainStart));
    f.add(OX_FIELD(boneIndex));
}

} // namespace Kel::Sg
