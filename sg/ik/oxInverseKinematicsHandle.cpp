#include "sg/ik/oxInverseKinematicsHandle.h"

namespace Kel::Sg {

void oxInverseKinematicsHandle::arkRegisterInitialize(oxFields<oxInverseKinematicsHandle>& f)
{
    f.add(OX_FIELD(firstJoint));
    f.add(OX_FIELD(endJoint));
    f.add(OX_FIELD(ikChain)).constructWithOwner();
    f.add(OX_FIELD(globalTransform));
}

void oxInverseKinematicsHandle::setInverseKinematicsChain(oxInverseKinematicsJoint* first,
                                                          oxInverseKinematicsJoint* end)
{
    _firstJoint = first;
    _endJoint = end;
    if (_ikChain)
        _ikChain->removeAll();
}

int oxInverseKinematicsHandle::getJointCount()
{
    if (!_ikChain)
        return 0;
    if (_ikChain->getCount() == 0 && _endJoint) {
        // Joints are transforms, so a chain joint has at most one parent that matters; a
        // shared joint climbs through its first.
        oxInverseKinematicsJoint* joint = _endJoint;
        while (joint) {
            _ikChain->insert(0, joint);
            if (joint == _firstJoint || joint->getParentCount() == 0)
                break;
            joint = oxInverseKinematicsJoint::dynamicCast(joint->getParent(0));
        }
    }
    return _ikChain->getCount();
}

oxInverseKinematicsJoint* oxInverseKinematicsHandle::getJoint(int index)
{
    if (index < 0 || index >= getJointCount())
        return nullptr;
    return _ikChain->get(index);
}

} // namespace Kel::Sg
