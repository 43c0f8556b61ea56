// Sequences and time transforms inside graphs: the draw traversal, graph paths and the
// scene's animation span.
#include <gtest/gtest.h>

#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using Seq = oxTransformSequence1_5;
using nodetest::translation;

namespace {

constexpr int64_t kSecond = 1000000000;

class SequenceInGraphTest : public nodetest::Registered {
protected:
    // x runs from 0 to 10 over the first second and holds there.
    static oxSmartPointer<oxTransform> walking()
    {
        oxSmartPointer<Seq> keys = Seq::_instantiateRef();
        keys->setComponentChannels(Seq::TRANSLATION);
        keys->setKeyFrameCount(2);
        keys->setTimeAsLong(1, kSecond);
        const oxVec3f end(10, 0, 0);
        keys->setTranslation(1, &end);
        keys->setDuration(kSecond);
        keys->setPlayMode(Seq::CLAMP);
        oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
        t->setTransformSource(keys);
        return t;
    }

    // What the walking sequence gives at time t, from its own formula.
    static float expectedX(int64_t t)
    {
        if (t >= kSecond)
            return 10;
        return 10 * (float(uint32_t(t >> 18)) / float(uint32_t(kSecond >> 18)));
    }
};

TEST_F(SequenceInGraphTest, TimeTransformGivesItsSubtreeItsClockDuringADraw)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTimeTransform1_5> clock = oxTimeTransform1_5::_instantiateRef();
    clock->setScaleAsFloat(2.0f);
    oxSmartPointer<oxTransform> fast = walking(), normal = walking();
    clock->appendChild(fast);
    root->appendChild(clock);
    root->appendChild(normal); // after the clock: the traversal's own time again
    oxSmartPointer<oxTransformRecorder> recorder = oxTransformRecorder::_instantiateRef();
    normal->appendChild(recorder);

    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    draw->setVisualContext(Kel::Gfx::oxRecordingVisualContext::_instantiateRef());
    draw->setUserTimeState(true);
    const int64_t now = kSecond / 4;
    draw->setTimeAsLong(now);
    draw->setViewMatrix(translation(0, 0, -10));
    draw->reset();
    draw->apply(root);

    const int64_t fastTime = clock->getTransformedTime(now);
    EXPECT_NE(fastTime, now);
    EXPECT_FLOAT_EQ(fast->getMatrix()->getTranslation().x, expectedX(fastTime));
    EXPECT_FLOAT_EQ(normal->getMatrix()->getTranslation().x, expectedX(now));
    EXPECT_GT(fast->getMatrix()->getTranslation().x, normal->getMatrix()->getTranslation().x);
    EXPECT_EQ(draw->getTimeStack()->getCount(), 0) << "the clock's time is popped after its subtree";
    EXPECT_EQ(draw->getTimeAsLong(), now);

    // The recorder below the normal walker: its world matrix and its model-view matrix.
    const float x = expectedX(now);
    EXPECT_TRUE(oxIsEqual(*recorder->getMatrix(), translation(x, 0, 0), 1e-5f));
    EXPECT_TRUE(oxIsEqual(*recorder->getMvm(), translation(x, 0, -10), 1e-5f));
}

TEST_F(SequenceInGraphTest, GraphPathsEvaluateBelowATimeTransformOnItsClock)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> a = oxTransform::_instantiateRef();
    const oxMatrix44f one = translation(1, 0, 0);
    a->setMatrix(&one);
    oxSmartPointer<oxTimeTransform1_5> clock = oxTimeTransform1_5::_instantiateRef();
    clock->setScaleAsFloat(2.0f);
    oxSmartPointer<oxTransform> b = walking();
    root->appendChild(a);
    a->appendChild(clock);
    clock->appendChild(b);

    oxSmartPointer<oxGraphPath> path = oxGraphPath::_instantiateRef();
    path->configure(root);
    ASSERT_TRUE(path->pushNode(0) && path->pushNode(0) && path->pushNode(0));
    const int64_t now = kSecond / 4;
    oxMatrix44f m;
    path->getTransformMatrixInclusive(&m, now);
    EXPECT_FLOAT_EQ(m.getTranslation().x, 1 + expectedX(clock->getTransformedTime(now)));
    path->getTransformMatrixExclusive(&m, now);
    EXPECT_EQ(m, one);
}

TEST_F(SequenceInGraphTest, AnimationSpanReachesTheEndOfASequenceCycle)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> t = walking();
    auto* keys = Seq::dynamicCast(t->getTransformSource());
    ASSERT_TRUE(keys);
    keys->setKeyFrameTimeOffset(2 * kSecond);
    keys->setDuration(3 * kSecond);
    root->appendChild(t);
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    info->setSceneGraph(root);
    info->updateAnimationTime();
    EXPECT_EQ(info->getAnimationBegin(), 0);
    EXPECT_EQ(info->getAnimationEnd(), 5 * kSecond);
}

} // namespace
