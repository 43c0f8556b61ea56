// Joint hierarchies and scene-graph chains drawn by the common traversal: the joints take
// their matrices during the walk, the handle records the goal, the solver bends the chain.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;

namespace {

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

void expectNear(const oxVec3f& actual, const oxVec3f& expected, float tolerance, const std::string& what = "")
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

oxSmartPointer<oxInverseKinematicsJoint> ikJoint(const oxMatrix44f& rest)
{
    oxSmartPointer<oxInverseKinematicsJoint> j = oxInverseKinematicsJoint::_instantiateRef();
    j->setMatrix(&rest);
    return j;
}

// Where a chain joint stands in the space of the walk's model-view matrices.
oxVec3f position(const oxInverseKinematicsJoint* joint)
{
    return (*joint->getMatrix() * joint->getExclusiveTransformMatrix()).getTranslation();
}

class InverseKinematicsNodes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxbtest::registerAll(); }

    void SetUp() override
    {
        traversal->setVisualContext(nullptr);
        traversal->setUserTimeState(true);
        traversal->setTimeAsLong(0);
    }

    void frame(oxNode* root)
    {
        traversal->reset();
        traversal->apply(root);
    }

    // root ─ frameTransform ─ j0 ─ j1 ─ j2, the handle at the goal and the solver after them.
    struct Scene {
        oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
        oxSmartPointer<oxTransform> frame = oxTransform::_instantiateRef();
        oxSmartPointer<oxInverseKinematicsJoint> j0, j1, j2;
        oxSmartPointer<oxInverseKinematicsHandle> handle = oxInverseKinematicsHandle::_instantiateRef();
        oxSmartPointer<oxInverseKinematicsSolver> solver = oxInverseKinematicsSolver::_instantiateRef();
    };

    static Scene chainScene(const oxMatrix44f& above, const oxMatrix44f& goal)
    {
        Scene s;
        s.frame->setMatrix(&above);
        s.j0 = ikJoint(translation(0.5f, 0, 0));
        oxMatrix44f bentElbow;
        bentElbow.makeRotationZ(0.3f);
        bentElbow.setTranslation(oxVec3f(1, 0, 0));
        s.j1 = ikJoint(bentElbow);
        s.j2 = ikJoint(translation(1, 0, 0));
        s.root->appendChild(s.frame);
        s.frame->appendChild(s.j0);
        s.j0->appendChild(s.j1);
        s.j1->appendChild(s.j2);
        s.handle->setMatrix(&goal);
        s.root->appendChild(s.handle);
        s.handle->setInverseKinematicsChain(s.j0, s.j2);
        s.solver->appendHandle(s.handle);
        s.root->appendChild(s.solver);
        return s;
    }

    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
};

TEST_F(InverseKinematicsNodes, HandleFindsItsChainFromTheEndJointUp)
{
    Scene s = chainScene(oxMatrix44f(), translation(1, 1, 0));
    ASSERT_EQ(s.handle->getJointCount(), 3);
    EXPECT_EQ(s.handle->getJoint(0), s.j0.get());
    EXPECT_EQ(s.handle->getJoint(1), s.j1.get());
    EXPECT_EQ(s.handle->getJoint(2), s.j2.get());
    EXPECT_EQ(s.handle->getJoint(3), nullptr);
    EXPECT_EQ(s.handle->getJoint(-1), nullptr);
    EXPECT_EQ(s.solver->getTopJoint(0), s.j0.get());
    EXPECT_EQ(s.solver->getTopJoint(1), nullptr);

    // New ends empty the chain, which is found again: here it stops at the top chain joint
    // because the named first joint is not above the end joint.
    oxSmartPointer<oxInverseKinematicsJoint> stranger = ikJoint(oxMatrix44f());
    s.handle->setInverseKinematicsChain(stranger, s.j1);
    EXPECT_EQ(s.handle->getChain()->getCount(), 0);
    ASSERT_EQ(s.handle->getJointCount(), 2);
    EXPECT_EQ(s.handle->getJoint(0), s.j0.get());
    s.handle->setInverseKinematicsChain(nullptr, nullptr);
    EXPECT_EQ(s.handle->getJointCount(), 0);
}

TEST_F(InverseKinematicsNodes, JointMatrixIsTheRestPoseTurnedByTheSolution)
{
    oxMatrix44f rest;
    rest.makeRotationX(0.4f);
    rest.setTranslation(oxVec3f(2, 3, 4));
    oxSmartPointer<oxInverseKinematicsJoint> j = ikJoint(rest);
    EXPECT_TRUE(oxIsEqual(*j->getMatrix(), rest, 1e-6f));
    EXPECT_TRUE(oxIsEqual(j->getInitialTransform(), rest, 0.0f));
    oxMatrix44f turn;
    turn.makeRotationY(0.7f);
    j->setIKSolution(turn);
    j->update(12345);
    oxMatrix44f expected;
    expected.makeRotationX(0.4f);
    expected.postMultiply(turn);
    expected.setTranslation(oxVec3f(2, 3, 4));
    EXPECT_TRUE(oxIsEqual(*j->getMatrix(), expected, 1e-6f));
    // The rest translation is not turned: the joint pivots where it stands.
    EXPECT_EQ(j->getMatrix()->getTranslation(), oxVec3f(2, 3, 4));
}

TEST_F(InverseKinematicsNodes, ChainReachesAReachableGoalOverFrames)
{
    oxMatrix44f above;
    above.makeRotationY(0.6f);
    above.setTranslation(oxVec3f(-2, 1, 3));
    oxMatrix44f view;
    view.makeRotationX(-0.25f);
    view.setTranslation(oxVec3f(0, -1, -10));
    traversal->setViewMatrix(view);
    // A goal 1.6 from the root, which the two unit bones reach by bending.
    const oxVec3f rootWorld = above.transformPoint(oxVec3f(0.5f, 0, 0));
    const oxVec3f goalWorld = rootWorld + oxVec3f(0.4f, 1.2f, -0.9f).normalized() * 1.6f;
    Scene s = chainScene(above, translation(goalWorld.x, goalWorld.y, goalWorld.z));
    const oxVec3f goalEye = view.transformPoint(goalWorld);

    float distance = 1e9f;
    for (int n = 0; n < 5; ++n) {
        frame(s.root);
        EXPECT_TRUE(oxIsEqual(s.handle->getGlobalTransformMatrix(), translation(goalWorld.x, goalWorld.y, goalWorld.z) * view,
                              1e-5f));
        distance = (position(s.j2) - goalEye).length();
    }
    EXPECT_LT(distance, 1e-4f);
    // Bones keep their lengths and the root stays where it was.
    expectNear(position(s.j0), view.transformPoint(rootWorld), 1e-5f, "root");
    EXPECT_NEAR((position(s.j1) - position(s.j0)).length(), 1.0f, 1e-4f);
    EXPECT_NEAR((position(s.j2) - position(s.j1)).length(), 1.0f, 1e-4f);
    // Only the first two joints carry a solution.
    EXPECT_FALSE(oxIsEqual(s.j0->getIKSolution(), oxMatrix44f(), 1e-3f));
    EXPECT_FALSE(oxIsEqual(s.j1->getIKSolution(), oxMatrix44f(), 1e-3f));
    EXPECT_TRUE(oxIsEqual(s.j2->getIKSolution(), oxMatrix44f(), 0.0f));

    // The goal moves; the chain follows.
    const oxVec3f moved = rootWorld + oxVec3f(-1, 0.3f, 0.2f).normalized() * 1.1f;
    const oxMatrix44f movedGoal = translation(moved.x, moved.y, moved.z);
    s.handle->setMatrix(&movedGoal);
    for (int n = 0; n < 5; ++n)
        frame(s.root);
    EXPECT_LT((position(s.j2) - view.transformPoint(moved)).length(), 1e-4f);
}

TEST_F(InverseKinematicsNodes, ChainPointsStraightAtAGoalOutOfReach)
{
    const oxVec3f goal(4, 5, -3);
    Scene s = chainScene(oxMatrix44f(), translation(goal.x, goal.y, goal.z));
    for (int n = 0; n < 4; ++n)
        frame(s.root);
    const oxVec3f root(0.5f, 0, 0);
    const oxVec3f toward = (goal - root).normalized();
    expectNear(position(s.j1), root + toward, 1e-4f, "middle joint");
    expectNear(position(s.j2), root + toward * 2.0f, 1e-4f, "end joint");
}

TEST_F(InverseKinematicsNodes, TheScenegraphChainBendsTowardPlusZ)
{
    // The scene-graph solver's pole is +Z of the chain's parent frame.
    const oxVec3f goal(0.5f, 1.4f, 0.0f);
    Scene s = chainScene(oxMatrix44f(), translation(goal.x, goal.y, goal.z));
    for (int n = 0; n < 4; ++n)
        frame(s.root);
    EXPECT_LT((position(s.j2) - goal).length(), 1e-4f);
    EXPECT_GT(position(s.j1).z, 0.5f);
    EXPECT_NEAR(position(s.j1).x, 0.5f, 1e-4f);
}

TEST_F(InverseKinematicsNodes, ShortChainsAreRefusedWithAWarning)
{
    oxbtest::WarningCatcher warnings;
    Scene s = chainScene(oxMatrix44f(), translation(1, 1, 0));
    s.handle->setInverseKinematicsChain(s.j1, s.j2);
    frame(s.root);
    EXPECT_TRUE(warnings.contains("two bones need three")) << warnings.all();
    EXPECT_TRUE(oxIsEqual(s.j1->getIKSolution(), oxMatrix44f(), 0.0f));
    // A solver whose handle list holds a null entry skips it.
    s.solver->getHandles()->append(nullptr);
    s.solver->solve();
}

TEST_F(InverseKinematicsNodes, JointHierarchyComputesBlendingMatricesAndPlacesWhatHangsBelow)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> placed = oxTransform::_instantiateRef();
    const oxMatrix44f place = translation(0, 0, -5);
    placed->setMatrix(&place);
    oxSmartPointer<oxJoint> hip = oxJoint::_instantiateRef();
    oxSmartPointer<oxJoint> knee = oxJoint::_instantiateRef();
    oxMatrix44f hipMatrix;
    hipMatrix.makeRotationZ(0.5f);
    hipMatrix.setTranslation(oxVec3f(0, 1, 0));
    hip->setMatrix(&hipMatrix);
    const oxMatrix44f kneeMatrix = translation(0, -0.5f, 0);
    knee->setMatrix(&kneeMatrix);
    hip->setInverseTransform(translation(0, -1, 0));
    knee->setInverseTransform(translation(0, -0.5f, 0));
    oxSmartPointer<oxMatrixObject> hipBlend = oxMatrixObject::_instantiateRef();
    oxSmartPointer<oxMatrixObject> kneeBlend = oxMatrixObject::_instantiateRef();
    hip->setBlendingMatrix(hipBlend);
    knee->setBlendingMatrix(kneeBlend);
    oxSmartPointer<oxTransformRecorder> atKnee = oxTransformRecorder::_instantiateRef();
    root->appendChild(placed);
    placed->appendChild(hip);
    hip->appendChild(knee);
    knee->appendChild(atKnee);
    frame(root);

    const oxMatrix44f hipWorld = hipMatrix * place;
    const oxMatrix44f kneeWorld = kneeMatrix * hipWorld;
    EXPECT_TRUE(oxIsEqual(hipBlend->getMatrix(), translation(0, -1, 0) * hipWorld, 1e-6f));
    EXPECT_TRUE(oxIsEqual(kneeBlend->getMatrix(), translation(0, -0.5f, 0) * kneeWorld, 1e-6f));
    // A child that is no joint is drawn under the joint's accumulated matrix.
    EXPECT_TRUE(oxIsEqual(*atKnee->getMvm(), kneeWorld, 1e-6f));
    // Joints have no pushed matrix of their own once the walk has left them.
    EXPECT_EQ(traversal->getAttrStackManager()->getTop(oxModelViewMatrixAttr::getClassTypeSafe(), 0), nullptr);
    // Without a blending matrix object the joint only passes its matrix on.
    knee->setBlendingMatrix(nullptr);
    knee->computeBlendingMatrix(oxMatrix44f());
    frame(root);
    EXPECT_TRUE(oxIsEqual(*atKnee->getMvm(), kneeWorld, 1e-6f));
}

TEST_F(InverseKinematicsNodes, ChainsComeBackFromAFile)
{
    Scene s = chainScene(oxMatrix44f(), translation(0.5f, 1.4f, 0));
    for (int n = 0; n < 2; ++n)
        frame(s.root);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(s.root, bytes), kSuccess);
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "chain");
    auto* root = oxGroup::dynamicCast(read.get());
    ASSERT_TRUE(root);
    auto* solver = oxInverseKinematicsSolver::dynamicCast(root->getChild(2));
    ASSERT_TRUE(solver);
    auto* handle = solver->getHandles()->get(0);
    ASSERT_EQ(handle, root->getChild(1));
    ASSERT_EQ(handle->getJointCount(), 3);
    EXPECT_TRUE(oxIsEqual(handle->getJoint(1)->getIKSolution(), s.j1->getIKSolution(), 0.0f));
    // The loaded chain stands where the original did.
    frame(root);
    EXPECT_LT((position(handle->getJoint(2)) - oxVec3f(0.5f, 1.4f, 0)).length(), 1e-4f);
}

} // namespace
