#include "sg/ik/oxInverseKinematicsSolver.h"

#include "sg/ik/oxTwoBoneSolver.h"

namespace Kel::Sg {

void oxInverseKinematicsSolver::arkRegisterInitialize(oxFields<oxInverseKinematicsSolver>& f)
{
    f.add(OX_FIELD(ikHandles)).constructWithOwner();
}

void oxInverseKinematicsSolver::twoBoneInverseKinematicSolver(const oxVec3f& a, const oxVec3f& b, const oxVec3f& c,
                                                              const oxVec3f& goal, const oxVec3f& pole, float twist,
                                                              oxQuaternionf& q1, oxQuaternionf& q2)
{
    oxTwoBoneSolve(a, b, c, goal, pole, twist, q1, q2);
}

oxInverseKinematicsJoint* oxInverseKinematicsSolver::getTopJoint(int index) const
{
    if (!_ikHandles || index < 0 || index >= _ikHandles->getCount())
        return nullptr;
    oxInverseKinematicsHandle* handle = _ikHandles->get(index);
    return handle ? handle->getJoint(0) : nullptr;
}

namespace {

oxVec3f jointPosition(const oxInverseKinematicsJoint* joint)
{
    return (*joint->getMatrix() * joint->getExclusiveTransformMatrix()).getTranslation();
}

} // namespace

void oxInverseKinematicsSolver::solve()
{
    const int count = _ikHandles ? _ikHandles->getCount() : 0;
    for (int h = 0; h < count; ++h) {
        oxInverseKinematicsHandle* handle = _ikHandles->get(h);
        if (!handle)
            continue;
        const int joints = handle->getJointCount();
        if (joints < 3) {
            oxReportWarning("oxInverseKinematicsSolver: handle %d has a chain of %d joints; two bones need three", h,
                            joints);
            continue;
        }
        oxInverseKinematicsJoint* first = handle->getJoint(0);
        oxInverseKinematicsJoint* second = handle->getJoint(1);
        oxInverseKinematicsJoint* last = handle->getJoint(joints - 1);

        // Everything in the first joint's parent frame, where its matrix and solution live.
        oxMatrix44f toParent = first->getExclusiveTransformMatrix();
        if (!toParent.invert()) {
            oxReportWarning("oxInverseKinematicsSolver: the frame above the chain of handle %d is singular", h);
            continue;
        }
        const oxVec3f a = toParent.transformPoint(jointPosition(first));
        const oxVec3f b = toParent.transformPoint(jointPosition(second));
        const oxVec3f c = toParent.transformPoint(jointPosition(last));
        const oxVec3f g = toParent.transformPoint(handle->getGlobalTransformMatrix().getTranslation());

        oxQuaternionf q1, q2;
        twoBoneInverseKinematicSolver(a, b, c, g, oxVec3f(0, 0, 1), 0.0f, q1, q2);

        oxMatrix44f rootRotation = *first->getMatrix();
        rootRotation.setTranslation(oxVec3f(0, 0, 0));
        first->setIKSolution(first->getIKSolution() * q1.toMatrix());
        second->setIKSolution(second->getIKSolution() * oxIKMiddleJointCorrection(q2, rootRotation));
    }
}

} // namespace Kel::Sg
