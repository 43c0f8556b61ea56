#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sg/OXSg.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using Seq = oxTransformSequence1_5;
using QS = oxCompressedAnimationSequenceQS;

namespace {

constexpr int64_t kSecond = 1000000000;
// One unit of a compressed key time.
constexpr int64_t kUnit = int64_t(1) << 23;

class CompressedSequenceTest : public nodetest::Registered {};

// Keys at the given times turning about Z by 0, 90, 180... degrees and moving along x.
oxSmartPointer<Seq> source(const std::vector<int64_t>& times, int64_t duration, Seq::PLAY_MODE mode)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setComponentChannels(Seq::TRANSLATION | Seq::QUATERNION_ROTATION | Seq::SCALE);
    s->setKeyFrameCount(int(times.size()));
    for (size_t i = 0; i < times.size(); ++i) {
        s->setTimeAsLong(int(i), times[i]);
        const oxVec3f v(float(i) * 2.0f, 1.0f - float(i), 0.5f);
        const oxQuaternionf q = oxQuaternionf::fromAxisAngle(oxVec3f(0, 0, 1), float(i) * 1.5707964f);
        const oxVec3f scale(3, 3, 3);
        s->setTranslation(int(i), &v);
        s->setQuaternion(int(i), &q);
        s->setScale(int(i), &scale);
    }
    s->setDuration(duration);
    s->setPlayMode(mode);
    return s;
}

oxSmartPointer<QS> compressed(Seq* s)
{
    oxSmartPointer<QS> c = QS::_instantiateRef();
    c->configure(s);
    return c;
}

void expectNear(const oxMatrix44f& a, const oxMatrix44f& b, float tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "row " << r << " column " << c;
}

// The source's matrix without its scale, which the compressed form does not keep.
oxMatrix44f unscaled(Seq* s, int64_t t)
{
    oxQuaternionf q;
    oxVec3f v;
    EXPECT_TRUE(s->getQuaternionAndTranslation(q, v, t));
    oxMatrix44f m = q.toMatrix();
    m.setTranslation(v);
    return m;
}

TEST_F(CompressedSequenceTest, KeyTimesEncodeInUnitsOfTwoToTheTwentyThird)
{
    EXPECT_EQ(QS::encodeTime(kSecond), 119);
    EXPECT_EQ(QS::decodeTime(119), 998244352);
    EXPECT_EQ(QS::encodeTime(-kSecond), 0x8077);
    EXPECT_EQ(QS::decodeTime(0x8077), -998244352);
    EXPECT_EQ(QS::encodeTime(0), 0);
    // Beyond the largest magnitude the time is clamped, never folded into the sign bit.
    EXPECT_EQ(QS::encodeTime(int64_t(1) << 40), 0x7fff);
    EXPECT_EQ(QS::encodeTime(-(int64_t(1) << 40)), 0xffff);
    EXPECT_EQ(QS::encodeTime(INT64_MIN), 0xffff);
}

TEST_F(CompressedSequenceTest, ConfigureCopiesTheSourceAndIgnoresScaleAndOffset)
{
    oxSmartPointer<Seq> s = source({0, 2 * kSecond, 4 * kSecond}, 4 * kSecond, Seq::CLAMP);
    s->setKeyFrameTimeOffset(10 * kSecond);
    oxSmartPointer<QS> c = compressed(s);
    EXPECT_EQ(c->getComponentChannels(), Seq::TRANSLATION | Seq::QUATERNION_ROTATION);
    EXPECT_EQ(c->getScaleCount(), 0);
    EXPECT_EQ(c->getScale(0), nullptr);
    EXPECT_EQ(c->getKeyframeTimeOffset(), 0);
    EXPECT_EQ(c->getDuration(), 4 * kSecond);
    EXPECT_EQ(c->getPlayMode(), Seq::CLAMP);
    EXPECT_EQ(c->getTranslationInterpolationMethod(), Seq::LINEAR);
    EXPECT_EQ(c->getOrientationInterpolationMethod(), Seq::SLERP);
    ASSERT_EQ(c->getKeyFrameCount(), 3);
    EXPECT_EQ(c->getCompressedTranslationList()->getCount(), 9);
    EXPECT_EQ(c->getCompressedTranslationList()->getCapacity(), 9);
    EXPECT_EQ(c->getCompressedQuaternionList()->getCount(), 12);
    // Times are the keys' own, not shifted by the source's offset.
    EXPECT_EQ(c->getCompressedTime(1), QS::encodeTime(2 * kSecond));
    for (int i = 0; i < 3; ++i) {
        oxVec3f v;
        c->getTranslation(i, v);
        EXPECT_NEAR(v.x, s->getTranslation(i)->x, 1e-3f);
        EXPECT_NEAR(v.y, s->getTranslation(i)->y, 1e-3f);
        EXPECT_NEAR(c->getTranslation(i)->x, v.x, 0.0f);
    }
    // Every component decodes within half a quantisation step (range / 65535 / 2) of the
    // source; here the components span -1 to 4.
    const float halfStep = 5.0f / 65535.0f / 2.0f + 1e-6f;
    for (int i = 0; i < 3; ++i) {
        oxVec3f v;
        c->getTranslation(i, v);
        for (int k = 0; k < 3; ++k)
            EXPECT_LE(std::fabs((&v.x)[k] - (&s->getTranslation(i)->x)[k]), halfStep) << i << " " << k;
    }
    // Encoding one key back gives what decoding it gave, within one quantisation step.
    oxVec3f before;
    c->getTranslation(1, before);
    c->setTranslation(1, oxVec3f(3, -0.5f, 0.5f));
    oxVec3f after;
    c->getTranslation(1, after);
    EXPECT_NEAR(after.x, 3.0f, 1e-3f);
    EXPECT_NEAR(after.y, -0.5f, 1e-3f);

    c->removeTranslationChannel();
    EXPECT_EQ(c->getComponentChannels(), Seq::QUATERNION_ROTATION);
    EXPECT_EQ(c->getCompressedTranslationList(), nullptr);
}

TEST_F(CompressedSequenceTest, EvaluatesLikeItsSourceInEveryPlayMode)
{
    // Times on whole units so that both forms see the same keys.
    const std::vector<int64_t> times = {0, 64 * kUnit, 192 * kUnit, 256 * kUnit};
    for (Seq::PLAY_MODE mode : {Seq::REPEAT, Seq::CLAMP, Seq::BOUNCE, Seq::LOOP}) {
        SCOPED_TRACE(int(mode));
        oxSmartPointer<Seq> s = source(times, 320 * kUnit, mode);
        oxSmartPointer<QS> c = compressed(s);
        for (int64_t t : {-kUnit, int64_t(0), 10 * kUnit, 64 * kUnit, 100 * kUnit, 256 * kUnit, 290 * kUnit,
                          330 * kUnit, 700 * kUnit, 1000 * kUnit, 40 * kUnit}) {
            SCOPED_TRACE(t / kUnit);
            oxMatrix44f m;
            ASSERT_TRUE(c->getMatrix(m, t));
            expectNear(m, unscaled(s, t), 2e-3f);
        }
    }
}

TEST_F(CompressedSequenceTest, EndsAndDegenerateSegments)
{
    oxSmartPointer<Seq> s = source({kSecond, 2 * kSecond, 3 * kSecond}, 2 * kSecond, Seq::CLAMP);
    oxSmartPointer<QS> c = compressed(s);
    oxQuaternionf q, last;
    oxVec3f v, lastV;
    c->getLastQuaternion(last);
    c->getLastTranslation(lastV);
    ASSERT_TRUE(c->getQuaternionAndTranslation(q, v, 50 * kSecond));
    EXPECT_NEAR(v.x, lastV.x, 0.0f);
    EXPECT_NEAR(q.w, last.w, 0.0f);
    // Before the first key every mode gives key 0.
    for (Seq::PLAY_MODE mode : {Seq::REPEAT, Seq::CLAMP, Seq::BOUNCE, Seq::LOOP}) {
        c->setPlayMode(mode);
        ASSERT_TRUE(c->getQuaternionAndTranslation(q, v, 0));
        EXPECT_NEAR(v.x, 0.0f, 1e-3f);
    }
    // A mode outside the enumeration gives key 0 past the end too.
    c->setPlayMode(Seq::PLAY_MODE(7));
    ASSERT_TRUE(c->getQuaternionAndTranslation(q, v, 50 * kSecond));
    EXPECT_NEAR(v.x, 0.0f, 1e-3f);

    // Two keys that decode to the same time: evaluating at that time, coming from later,
    // lands on a key exactly (fraction 0), never on a blend divided by a zero-length segment.
    oxSmartPointer<Seq> close = source({0, kUnit, kUnit + 1000, 4 * kUnit}, 4 * kUnit, Seq::CLAMP);
    oxSmartPointer<QS> d = compressed(close);
    ASSERT_EQ(d->getTime(1), d->getTime(2));
    oxMatrix44f m;
    ASSERT_TRUE(d->getMatrix(m, 3 * kUnit / 2));
    ASSERT_TRUE(d->getMatrix(m, kUnit));
    oxVec3f k2;
    d->getTranslation(2, k2);
    EXPECT_EQ(m.getTranslation(), k2);

    // All translations equal: the range is 0 and every key decodes to the base.
    oxSmartPointer<Seq> still = source({0, kSecond}, kSecond, Seq::CLAMP);
    const oxVec3f same(5, 5, 5);
    still->setTranslation(0, &same);
    still->setTranslation(1, &same);
    oxSmartPointer<QS> e = compressed(still);
    oxVec3f out;
    e->getTranslation(1, out);
    EXPECT_EQ(out, same);

    // Lists shorter than their keys (a damaged file) evaluate to nothing.
    e->getCompressedQuaternionList()->setCount(3);
    EXPECT_FALSE(e->getMatrix(m, 0));
    oxSmartPointer<QS> empty = QS::_instantiateRef();
    EXPECT_FALSE(empty->getQuaternion(q, 0));
}

TEST_F(CompressedSequenceTest, BezierTranslationsFollowTheirControlPoints)
{
    oxSmartPointer<Seq> s = source({0, 128 * kUnit, 256 * kUnit}, 256 * kUnit, Seq::CLAMP);
    s->setInterpolationMethod(Seq::TRANSLATION, Seq::BEZIER);
    s->setInterpolationData(0, Seq::TRANSLATION, oxVec3f(0, 4, 0), oxVec3f(2, 4, 0));
    s->setInterpolationData(1, Seq::TRANSLATION, oxVec3f(2, -4, 1), oxVec3f(4, -4, 1));
    oxSmartPointer<oxCompressedBezierAnimationSequenceQS> c = oxCompressedBezierAnimationSequenceQS::_instantiateRef();
    c->configure(s);
    ASSERT_EQ(c->getCompressedBezierTranslationData()->getCount(), 18);
    oxVec3f p;
    c->getInterpolationDataTranslation(2, p);
    EXPECT_NEAR(p.y, -4.0f, 1e-3f);
    for (int64_t t : {32 * kUnit, 64 * kUnit, 200 * kUnit}) {
        oxQuaternionf q, sq;
        oxVec3f v, sv;
        ASSERT_TRUE(c->getQuaternionAndTranslation(q, v, t));
        ASSERT_TRUE(s->getQuaternionAndTranslation(sq, sv, t));
        EXPECT_NEAR(v.x, sv.x, 2e-3f);
        EXPECT_NEAR(v.y, sv.y, 2e-3f);
    }
    // The plain compressed form draws the same path as a straight line.
    oxSmartPointer<QS> straight = compressed(s);
    oxQuaternionf q;
    oxVec3f v;
    ASSERT_TRUE(straight->getQuaternionAndTranslation(q, v, 64 * kUnit));
    EXPECT_NEAR(v.y, 0.5f, 2e-3f);
}

TEST_F(CompressedSequenceTest, TheCursorNeverChangesTheAnswer)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> gap(1, 200);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        oxSmartPointer<Seq> s = Seq::_instantiateRef();
        s->setComponentChannels(Seq::TRANSLATION | Seq::QUATERNION_ROTATION);
        const int keys = 2 + round % 9;
        s->setKeyFrameCount(keys);
        int64_t t = 0;
        for (int i = 0; i < keys; ++i) {
            s->setTimeAsLong(i, t);
            t += gap(random) * kUnit;
            const oxVec3f v(unit(random), unit(random), unit(random));
            const oxQuaternionf q =
                oxQuaternionf::fromAxisAngle(oxVec3f(unit(random), unit(random), 1).normalized(), unit(random));
            s->setTranslation(i, &v);
            s->setQuaternion(i, &q);
        }
        s->setDuration(t);
        s->setPlayMode(Seq::PLAY_MODE(round % 4));
        oxSmartPointer<QS> c = compressed(s);
        std::uniform_int_distribution<int64_t> when(-t, 3 * t);
        for (int i = 0; i < 40; ++i) {
            const int64_t at = when(random);
            oxMatrix44f walked, fresh;
            ASSERT_TRUE(c->getMatrix(walked, at));
            oxSmartPointer<QS> again = compressed(s);
            ASSERT_TRUE(again->getMatrix(fresh, at));
            expectNear(walked, fresh, 1e-6f);
        }
    }
}

} // namespace
