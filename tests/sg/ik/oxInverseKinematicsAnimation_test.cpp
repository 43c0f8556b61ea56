// Character chains solved from a skeleton's bone matrices, and the sources that hand the
// solution to the animation's tracks.
#include <gtest/gtest.h>

#include <cmath>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;

namespace {

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

class InverseKinematicsAnimation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxbtest::registerAll(); }

    // A skeleton of five bones: 0 the root, 1-2-3 the arm (shoulder, elbow, hand), 4 a
    // goal bone under the root. Locals are what the combiner would pose them with.
    void SetUp() override
    {
        locals[0] = translation(0, 0, 0);
        locals[0].makeRotationZ(0.4f);
        locals[0].setTranslation(oxVec3f(1, 2, 0));
        locals[1] = translation(0, 1, 0);
        locals[2] = translation(1, 0, 0);
        locals[3] = translation(1, 0, 0);
        locals[4] = translation(1.2f, 1.8f, 0.5f);
        animation = oxInverseKinematicsAnimation::_instantiateRef();
        animation->allocateChain();
        for (int i = 0; i < 3; ++i) {
            animation->setInitialMatrix(i, locals[i + 1]);
            animation->setSkeletonBoneIndex(i, i + 1);
            animation->setSkeletonParentBoneIndex(i, i);
            // What the combiner shows before the first solve: the rest pose.
            animation->setResultMatrix(i, locals[i + 1]);
        }
    }

    // Actor-space bone matrices with the chain posed by the animation's results.
    void pose()
    {
        const int parents[kBones] = {-1, 0, 1, 2, 0};
        for (int b = 0; b < kBones; ++b) {
            const oxMatrix44f local = b >= 1 && b <= 3 ? animation->getResultMatrix(b - 1) : locals[b];
            bones[b] = parents[b] < 0 ? local : local * bones[parents[b]];
        }
    }

    // Poses, solves and poses again `frames` times; the hand's distance to `goal` at the end.
    float run(int frames, const oxVec3f& goal, const oxMatrix44f& worldToActor = oxMatrix44f())
    {
        pose();
        for (int n = 0; n < frames; ++n) {
            EXPECT_TRUE(animation->update(bones, kBones, worldToActor));
            pose();
        }
        return (bones[3].getTranslation() - goal).length();
    }

    static constexpr int kBones = 5;
    oxMatrix44f locals[kBones];
    oxMatrix44f bones[kBones];
    oxSmartPointer<oxInverseKinematicsAnimation> animation;
};

TEST_F(InverseKinematicsAnimation, StartsAtRestWithItsDeclaredDefaults)
{
    oxSmartPointer<oxInverseKinematicsAnimation> fresh = oxInverseKinematicsAnimation::_instantiateRef();
    EXPECT_EQ(fresh->getChainLength(), 3);
    EXPECT_EQ(fresh->getGoalBoneIndex(), -1);
    EXPECT_EQ(fresh->getSolverPoleVector(), oxVec3f(0, 0, 1));
    EXPECT_EQ(fresh->getSolverTwistValue(), 0.0f);
    EXPECT_EQ(fresh->getRecorder(), nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fresh->getSolutionMatrix(i), oxMatrix44f());
        EXPECT_EQ(fresh->getResultMatrix(i), oxMatrix44f());
    }
    // Without a chain nothing is written; entries outside it are neither read nor written.
    fresh->setSolutionMatrix(0, translation(1, 2, 3));
    EXPECT_EQ(fresh->getSolutionMatrix(0), oxMatrix44f());
    fresh->allocateChain();
    fresh->setSolutionMatrix(0, translation(1, 2, 3));
    EXPECT_EQ(fresh->getSolutionMatrix(0), translation(1, 2, 3));
    fresh->setSolutionMatrix(3, translation(1, 2, 3));
    fresh->setSolutionMatrix(-1, translation(1, 2, 3));
    EXPECT_EQ(fresh->getSolutionMatrix(3), oxMatrix44f());
    EXPECT_EQ(fresh->getSkeletonBoneIndex(0), -1) << "no chain configured";
}

TEST_F(InverseKinematicsAnimation, ChainReachesTheGoalMatrixAndTheResultsAreTheBonesLocals)
{
    const oxVec3f shoulder = (locals[1] * locals[0]).getTranslation();
    const oxVec3f goal = shoulder + oxVec3f(0.3f, -1, 1).normalized() * 1.5f;
    animation->setGoalMatrix(translation(goal.x, goal.y, goal.z));
    EXPECT_LT(run(4, goal), 1e-4f);
    // The rest translation of each bone is kept; the hand bone is not rotated by the chain.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(animation->getResultMatrix(i).getTranslation(), locals[i + 1].getTranslation());
    EXPECT_EQ(animation->getSolutionMatrix(2), oxMatrix44f());
    // Out of reach: straight at the goal.
    const oxVec3f far = shoulder + oxVec3f(-1, 2, 0.5f).normalized() * 10.0f;
    animation->setGoalMatrix(translation(far.x, far.y, far.z));
    run(4, far);
    const oxVec3f toward = (far - shoulder).normalized();
    EXPECT_LT((bones[2].getTranslation() - (shoulder + toward)).length(), 1e-4f);
    EXPECT_LT((bones[3].getTranslation() - (shoulder + toward * 2.0f)).length(), 1e-4f);
}

TEST_F(InverseKinematicsAnimation, GoalBoneAndRecorderGoalsAndThePoleAndTwist)
{
    // A goal bone wins over the goal matrix.
    animation->setGoalMatrix(translation(100, 0, 0));
    animation->setGoalBoneIndex(4);
    EXPECT_LT(run(4, (locals[4] * locals[0]).getTranslation()), 1e-4f);

    // A recorder wins over both; its world position is brought into actor space.
    oxSmartPointer<oxTransform> target = oxTransform::_instantiateRef();
    ASSERT_TRUE(animation->assignGoalTransform(target));
    oxSmartPointer<oxTransformRecorder> recorder = animation->getRecorder();
    ASSERT_TRUE(recorder);
    EXPECT_EQ(target->getChild(0), recorder);
    const oxVec3f shoulder = (locals[1] * locals[0]).getTranslation();
    const oxVec3f goal = shoulder + oxVec3f(0, 1.2f, 0.6f);
    const oxMatrix44f worldToActor = translation(-5, 0, 0);
    const oxMatrix44f world = translation(goal.x + 5, goal.y, goal.z);
    recorder->setMatrix(&world);
    EXPECT_LT(run(4, goal, worldToActor), 1e-4f);

    // The pole vector chooses the side the elbow goes to.
    animation->setSolverPoleVector(oxVec3f(0, 0, -1));
    run(3, goal, worldToActor);
    const oxVec3f elbow = bones[2].getTranslation() - shoulder;
    const oxVec3f g = goal - shoulder;
    const oxVec3f normal = g.cross(oxVec3f(0, 0, -1)).normalized();
    EXPECT_NEAR(elbow.dot(normal), 0.0f, 1e-4f);
    EXPECT_LT(elbow.z, -0.1f);

    // A twist turns the elbow a quarter turn about the goal direction; the hand stays.
    const oxVec3f before = elbow;
    animation->setSolverTwistValue(1.5707964f);
    EXPECT_LT(run(1, goal, worldToActor), 1e-4f);
    oxMatrix44f quarter;
    quarter.makeRotation(g, 1.5707964f);
    EXPECT_LT(((bones[2].getTranslation() - shoulder) - quarter.transformVector(before)).length(), 1e-4f);

    animation->removeGoalTransform();
    EXPECT_EQ(animation->getRecorder(), nullptr);
    EXPECT_EQ(target->getChildCount(), 0);
    EXPECT_EQ(*recorder->getMatrix(), oxMatrix44f()) << "released recorders are reset";

    // Finding the goal transform by name.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> inner = oxGroup::_instantiateRef();
    target->setName("palm");
    root->appendChild(inner);
    inner->appendChild(target);
    EXPECT_EQ(oxInverseKinematicsAnimation::assignGoalTransform(root, "palm"), target.get());
    EXPECT_EQ(oxInverseKinematicsAnimation::assignGoalTransform(root, "sole"), nullptr);
    EXPECT_FALSE(animation->assignGoalTransform(nullptr));
}

TEST_F(InverseKinematicsAnimation, BonesOutsideTheSkeletonAreRefused)
{
    oxbtest::WarningCatcher warnings;
    animation->setGoalBoneIndex(7);
    pose();
    EXPECT_FALSE(animation->update(bones, kBones, oxMatrix44f()));
    EXPECT_TRUE(warnings.contains("goal bone 7")) << warnings.all();
    animation->setGoalBoneIndex(-1);
    animation->setSkeletonBoneIndex(2, 5);
    EXPECT_FALSE(animation->update(bones, kBones, oxMatrix44f()));
    EXPECT_FALSE(animation->update(nullptr, 0, oxMatrix44f()));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(animation->getSolutionMatrix(i), oxMatrix44f());
}

TEST_F(InverseKinematicsAnimation, SourceShowsTheRestPoseFirstThenTheResult)
{
    oxSmartPointer<oxInverseKinematicsSource> source = oxInverseKinematicsSource::_instantiateRef();
    source->setInverseKinematicsAnimation(animation);
    source->setBoneIndex(1);
    EXPECT_EQ(source->getComponentChannels(), 3);
    EXPECT_EQ(source->getTranslation(0), nullptr);
    EXPECT_EQ(source->getScale(0), nullptr);
    EXPECT_EQ(source->getDuration(), 0);

    const oxVec3f goal = (locals[1] * locals[0]).getTranslation() + oxVec3f(0.3f, 0.8f, 0.4f);
    animation->setGoalMatrix(translation(goal.x, goal.y, goal.z));
    pose();
    ASSERT_TRUE(animation->update(bones, kBones, oxMatrix44f()));
    oxMatrix44f m;
    EXPECT_FALSE(source->getEvaluated());
    ASSERT_TRUE(source->getMatrix(m, 0));
    EXPECT_TRUE(source->getEvaluated());
    EXPECT_EQ(m, locals[2]) << "first evaluation: the rest pose";
    ASSERT_TRUE(source->getMatrix(m, 0));
    EXPECT_EQ(m, animation->getResultMatrix(1));
    EXPECT_NE(m, locals[2]);
    oxQuaternionf q;
    oxVec3f v;
    ASSERT_TRUE(source->getInterpolatedQuaternionAndTranslation(q, v, 0));
    EXPECT_EQ(v, m.getTranslation());
    EXPECT_TRUE(oxIsEqual(q.toMatrix() * translation(v.x, v.y, v.z), m, 1e-5f));

    oxbtest::WarningCatcher warnings;
    oxSmartPointer<oxInverseKinematicsSource> orphan = oxInverseKinematicsSource::_instantiateRef();
    EXPECT_FALSE(orphan->getMatrix(m, 0));
    EXPECT_FALSE(orphan->getQuaternion(q, 0));
    EXPECT_EQ(warnings.count(), 2u);
}

TEST_F(InverseKinematicsAnimation, LoadingStartsTheSolutionAgain)
{
    animation->setGoalMatrix(translation(2.5f, 3, 1));
    animation->setSolverTwistValue(0.25f);
    run(2, oxVec3f(2.5f, 3, 1));
    ASSERT_NE(animation->getSolutionMatrix(0), oxMatrix44f());
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(animation, bytes), kSuccess);
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "ik animation");
    auto* loaded = oxInverseKinematicsAnimation::dynamicCast(read.get());
    ASSERT_TRUE(loaded);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded->getInitialMatrix(i), locals[i + 1]);
        EXPECT_EQ(loaded->getSkeletonBoneIndex(i), i + 1);
        EXPECT_EQ(loaded->getSolutionMatrix(i), oxMatrix44f());
        EXPECT_EQ(loaded->getResultMatrix(i), oxMatrix44f());
    }
    EXPECT_EQ(loaded->getSolverTwistValue(), 0.25f);
}

} // namespace
