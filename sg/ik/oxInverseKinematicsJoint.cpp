#include "sg/ik/oxInverseKinematicsJoint.h"

#include "sg/ik/oxTwoBoneSolver.h"

namespace Kel::Sg {

void oxInverseKinematicsJoint::arkRegisterInitialize(oxFields<oxInverseKinematicsJoint>& f)
{
    f.add(OX_FIELD(initialMatrix));
    f.add(OX_FIELD(ikSolution));
    f.add(OX_FIELD(exclusiveTransform));
}

void oxInverseKinematicsJoint::setMatrix(const oxMatrix44f* m)
{
    if (!m)
        return;
    _initialMatrix = *m;
    ikUpdate();
}

void oxInverseKinematicsJoint::update(int64_t)
{
    ikUpdate();
}

void oxInverseKinematicsJoint::ikUpdate()
{
    _m = oxIKPose(_initialMatrix, _ikSolution);
}

} // namespace Kel::Sg
