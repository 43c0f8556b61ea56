#pragma once
#include "sg/ik/oxInverseKinematicsJoint.h"

namespace Kel::Sg {

// Where a chain ends and where it should reach: the chain runs from the first joint down
// to the end joint, and the goal is this transform's own place in the graph, recorded by
// the draw.
class oxInverseKinematicsHandle : public oxTransform {
    OX_CLASS(oxInverseKinematicsHandle, oxTransform)
    OX_FIELDS(firstJoint, endJoint, ikChain, globalTransform)
public:
    // Sets both ends; the chain between them is found again on demand.
    void setInverseKinematicsChain(oxInverseKinematicsJoint* first, oxInverseKinematicsJoint* end);
    oxInverseKinematicsJoint* getFirstJoint() const { return _firstJoint; }
    oxInverseKinematicsJoint* getEndJoint() const { return _endJoint; }
    // The joints from the first to the end joint, found by climbing from the end joint
    // through parents that are chain joints when the chain is not known yet. A climb that
    // never meets the first joint stops at the last chain joint it reached.
    int getJointCount();
    // Null out of range.
    oxInverseKinematicsJoint* getJoint(int index);
    oxInverseKinematicsJointList* getChain() const { return _ikChain; }
    // The goal: the accumulated matrix at the handle in the last draw.
    const oxMatrix44f& getGlobalTransformMatrix() const { return _globalTransform; }
    void setGlobalTransformMatrix(const oxMatrix44f& m) { _globalTransform = m; }

protected:
    oxInverseKinematicsHandle() = default;
    static void arkRegisterInitialize(oxFields<oxInverseKinematicsHandle>& f);

    oxSmartPointer<oxInverseKinematicsJoint> _firstJoint;
    oxSmartPointer<oxInverseKinematicsJoint> _endJoint;
    oxSmartPointer<oxInverseKinematicsJointList> _ikChain;
    oxMatrix44f _globalTransform;
};

OX_OBJECT_LIST(oxInverseKinematicsHandleList, oxInverseKinematicsHandle)

} // namespace Kel::Sg
