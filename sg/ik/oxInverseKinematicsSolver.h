#pragma once
#include "sg/ik/oxInverseKinematicsHandle.h"

namespace Kel::Sg {

// Solves the chains of its handles once per draw. It draws nothing itself: where it stands
// in the graph decides when, in the frame, the chains take their new pose.
class oxInverseKinematicsSolver : public oxNode {
    OX_CLASS(oxInverseKinematicsSolver, oxNode)
    OX_FIELDS(ikHandles)
public:
    // Adds to each chain's first two joints the rotation still missing for its end to reach
    // its handle, from the matrices the last draw left on the joints. Chains shorter than
    // three joints are skipped with a warning.
    void solve();
    // Joint 0 of handle i, or null.
    oxInverseKinematicsJoint* getTopJoint(int index) const;
    oxInverseKinematicsHandleList* getHandles() const { return _ikHandles; }
    int appendHandle(oxInverseKinematicsHandle* handle) { return _ikHandles ? _ikHandles->append(handle) : -1; }

    static void twoBoneInverseKinematicSolver(const oxVec3f& a, const oxVec3f& b, const oxVec3f& c, const oxVec3f& goal,
                                              const oxVec3f& pole, float twist, oxQuaternionf& q1, oxQuaternionf& q2);

protected:
    oxInverseKinematicsSolver() = default;
    static void arkRegisterInitialize(oxFields<oxInverseKinematicsSolver>& f);

    oxSmartPointer<oxInverseKinematicsHandleList> _ikHandles;
};

} // namespace Kel::Sg
