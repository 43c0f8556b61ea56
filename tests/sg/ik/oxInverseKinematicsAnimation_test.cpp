// Character chains solved from a skeleton's bone matrices, and the sources that hand the
// solution to the animation's tracks.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/oxRecordingVisualContext.h"
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

    // A skeleton of six bones: 0 the root (the actor's place in the view, which bones under
    // it do not follow), 1 a turned spine, 2-3-4 the arm (shoulder, elbow, hand), 5 a goal
    // bone on the spine. Locals are what the combiner would pose them with.
    void SetUp() override
    {
        locals[0] = translation(50, 0, 0);
        locals[1].makeRotationZ(0.4f);
        locals[1].setTranslation(oxVec3f(1, 2, 0));
        locals[2] = translation(0, 1, 0);
        locals[3] = translation(1, 0, 0);
        locals[4] = translation(1, 0, 0);
        locals[5] = translation(1.2f, 1.8f, 0.5f);
        animation = oxInverseKinematicsAnimation::_instantiateRef();
        animation->allocateChain();
        for (int i = 0; i < 3; ++i) {
            animation->setInitialMatrix(i, locals[i + 2]);
            animation->setSkeletonBoneIndex(i, i + 2);
            animation->setSkeletonParentBoneIndex(i, i + 1);
            // What the combiner shows before the first solve: the rest pose.
            animation->setResultMatrix(i, locals[i + 2]);
        }
    }

    // Actor-space bone matrices with the chain posed by the animation's results, composed
    // as the skeleton composes them.
    void pose()
    {
        const int parents[kBones] = {-1, 0, 1, 2, 3, 1};
        for (int b = 0; b < kBones; ++b) {
            const oxMatrix44f local = b >= 2 && b <= 4 ? animation->getResultMatrix(b - 2) : locals[b];
            bones[b] = parents[b] <= 0 ? local : local * bones[parents[b]];
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
        return (bones[4].getTranslation() - goal).length();
    }

    static constexpr int kBones = 6;
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
    const oxVec3f shoulder = (locals[2] * locals[1]).getTranslation();
    const oxVec3f goal = shoulder + oxVec3f(0.3f, -1, 1).normalized() * 1.5f;
    animation->setGoalMatrix(translation(goal.x, goal.y, goal.z));
    EXPECT_LT(run(4, goal), 1e-4f);
    // The rest translation of each bone is kept; the hand bone is not rotated by the chain.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(animation->getResultMatrix(i).getTranslation(), locals[i + 2].getTranslation());
    EXPECT_EQ(animation->getSolutionMatrix(2), oxMatrix44f());
    // Out of reach: straight at the goal.
    const oxVec3f far = shoulder + oxVec3f(-1, 2, 0.5f).normalized() * 10.0f;
    animation->setGoalMatrix(translation(far.x, far.y, far.z));
    run(4, far);
    const oxVec3f toward = (far - shoulder).normalized();
    EXPECT_LT((bones[3].getTranslation() - (shoulder + toward)).length(), 1e-4f);
    EXPECT_LT((bones[4].getTranslation() - (shoulder + toward * 2.0f)).length(), 1e-4f);
}

TEST_F(InverseKinematicsAnimation, GoalBoneAndRecorderGoalsAndThePoleAndTwist)
{
    // A goal bone wins over the goal matrix.
    animation->setGoalMatrix(translation(100, 0, 0));
    animation->setGoalBoneIndex(5);
    EXPECT_LT(run(4, (locals[5] * locals[1]).getTranslation()), 1e-4f);

    // A recorder wins over both; its world position is brought into actor space.
    oxSmartPointer<oxTransform> target = oxTransform::_instantiateRef();
    ASSERT_TRUE(animation->assignGoalTransform(target));
    oxSmartPointer<oxTransformRecorder> recorder = animation->getRecorder();
    ASSERT_TRUE(recorder);
    EXPECT_EQ(target->getChild(0), recorder);
    const oxVec3f shoulder = (locals[2] * locals[1]).getTranslation();
    const oxVec3f goal = shoulder + oxVec3f(0, 1.2f, 0.6f);
    const oxMatrix44f worldToActor = translation(-5, 0, 0);
    const oxMatrix44f world = translation(goal.x + 5, goal.y, goal.z);
    recorder->setMatrix(&world);
    EXPECT_LT(run(4, goal, worldToActor), 1e-4f);

    // The pole vector chooses the side the elbow goes to.
    animation->setSolverPoleVector(oxVec3f(0, 0, -1));
    run(3, goal, worldToActor);
    const oxVec3f elbow = bones[3].getTranslation() - shoulder;
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
    EXPECT_LT(((bones[3].getTranslation() - shoulder) - quarter.transformVector(before)).length(), 1e-4f);

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
    animation->setSkeletonBoneIndex(2, 6);
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

    const oxVec3f goal = (locals[2] * locals[1]).getTranslation() + oxVec3f(0.3f, 0.8f, 0.4f);
    animation->setGoalMatrix(translation(goal.x, goal.y, goal.z));
    pose();
    ASSERT_TRUE(animation->update(bones, kBones, oxMatrix44f()));
    oxMatrix44f m;
    EXPECT_FALSE(source->getEvaluated());
    ASSERT_TRUE(source->getMatrix(m, 0));
    EXPECT_TRUE(source->getEvaluated());
    EXPECT_EQ(m, locals[3]) << "first evaluation: the rest pose";
    ASSERT_TRUE(source->getMatrix(m, 0));
    EXPECT_EQ(m, animation->getResultMatrix(1));
    EXPECT_NE(m, locals[3]);
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
        EXPECT_EQ(loaded->getInitialMatrix(i), locals[i + 2]);
        EXPECT_EQ(loaded->getSkeletonBoneIndex(i), i + 2);
        EXPECT_EQ(loaded->getSolutionMatrix(i), oxMatrix44f());
        EXPECT_EQ(loaded->getResultMatrix(i), oxMatrix44f());
    }
    EXPECT_EQ(loaded->getSolverTwistValue(), 0.25f);
}

// The whole loop: an actor's combiner plays the animation, whose sources solve from the bone
// matrices the draw traversal made in the frame before.
TEST(InverseKinematicsOnAnActor, ConfiguredByNameTheArmReachesTheGoalOverFrames)
{
    oxbtest::registerAll();
    oxSmartPointer<oxSkeleton> body = oxSkeleton::_instantiateRef();
    body->setName("body");
    body->insertBone("root", -1, oxVec3f(0, 0, 0));
    body->insertBone("spine", 0, oxVec3f(0, 1, 0));
    body->insertBone("shoulder", 1, oxVec3f(0.5f, 0.5f, 0));
    body->insertBone("elbow", 2, oxVec3f(1, 0, 0));
    body->insertBone("hand", 3, oxVec3f(1, 0, 0));
    oxSmartPointer<oxAnimationDatabase> database = oxAnimationDatabase::_instantiateRef();
    database->getSkeletonList()->append(body);
    oxSmartPointer<oxActor> actor = oxActor::_instantiateRef();
    ASSERT_TRUE(actor->configure("body", database));

    oxSmartPointer<oxInverseKinematicsAnimation> reach = oxInverseKinematicsAnimation::_instantiateRef();
    {
        oxbtest::WarningCatcher warnings;
        EXPECT_FALSE(reach->configure(actor, "knee"));
        EXPECT_FALSE(reach->configure(actor, 3)) << "elbow, hand and nothing";
        EXPECT_FALSE(reach->configure(nullptr, 0));
        EXPECT_EQ(warnings.count(), 3u);
    }
    ASSERT_TRUE(reach->configure(actor, "SHOULDER"));
    EXPECT_EQ(reach->getActor(), actor.get());
    ASSERT_EQ(reach->getTrackList()->getCount(), 3);
    EXPECT_STREQ(reach->getTrackList()->get(1)->getName().c_str(), "elbow");
    EXPECT_EQ(reach->getSkeletonParentBoneIndex(0), 1);
    EXPECT_EQ(reach->getInitialMatrix(1).getTranslation(), oxVec3f(1, 0, 0));
    reach->setDuration(int64_t(1) << 40);
    const oxVec3f goal(1.2f, 2.6f, 0.8f);
    oxMatrix44f goalMatrix;
    goalMatrix.makeTranslation(goal);
    reach->setGoalMatrix(goalMatrix);
    ASSERT_TRUE(actor->setAnimation(reach));

    oxSmartPointer<Kel::Gfx::oxRecordingVisualContext> vc = Kel::Gfx::oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
    traversal->setVisualContext(vc);
    traversal->setUserTimeState(true);
    const auto frame = [&](int n) {
        traversal->reset();
        traversal->setTimeAsLong(int64_t(n) * 16666667);
        traversal->apply(actor);
        return actor->getBoneMatrix(4)->getTranslation();
    };
    const oxVec3f rest = frame(0);
    EXPECT_LT((rest - oxVec3f(2.5f, 1.5f, 0)).length(), 1e-5f) << "the first frame shows the rest pose";
    for (int n = 1; n < 8; ++n)
        frame(n);
    EXPECT_LT((frame(8) - goal).length(), 1e-4f);
    // The chain's upper bones keep their bind lengths.
    EXPECT_NEAR((actor->getBoneMatrix(3)->getTranslation() - actor->getBoneMatrix(2)->getTranslation()).length(),
                1.0f, 1e-4f);
}

} // namespace

