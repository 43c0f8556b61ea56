#pragma once
#include "sg/ik/oxJoint.h"

namespace Kel::Sg {

// A joint of a chain solved by inverse kinematics. Its matrix is not set directly: it is
// its rest matrix turned by the rotation the solver has accumulated for it, recomputed at
// every update, so that each solve only has to add what is still missing.
class oxInverseKinematicsJoint : public oxJoint {
    OX_CLASS(oxInverseKinematicsJoint, oxJoint)
    OX_FIELDS(initialMatrix, ikSolution, exclusiveTransform)
public:
    // The rest matrix.
    const oxMatrix44f& getInitialTransform() const { return _initialMatrix; }
    // The accumulated rotation, applied between the rest rotation and the rest translation.
    const oxMatrix44f& getIKSolution() const { return _ikSolution; }
    void setIKSolution(const oxMatrix44f& m) { _ikSolution = m; }
    // The accumulated matrix above the joint, as the last draw found it.
    const oxMatrix44f& getExclusiveTransformMatrix() const { return _exclusiveTransform; }
    void setExclusiveTransformMatrix(const oxMatrix44f& m) { _exclusiveTransform = m; }

    // A matrix given by hand becomes the rest pose, the solution still applying on top.
    void setMatrix(const oxMatrix44f* m) override;
    // The matrix follows the solution, whatever the time.
    void update(int64_t t) override;
    void ikUpdate();

protected:
    oxInverseKinematicsJoint() = default;
    static void arkRegisterInitialize(oxFields<oxInverseKinematicsJoint>& f);

    oxMatrix44f _initialMatrix;
    oxMatrix44f _ikSolution;
    oxMatrix44f _exclusiveTransform;
};

OX_OBJECT_LIST(oxInverseKinematicsJointList, oxInverseKinematicsJoint)

} // namespace Kel::Sg
