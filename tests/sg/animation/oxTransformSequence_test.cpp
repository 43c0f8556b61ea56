#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using Seq = oxTransformSequence1_5;

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr float kPi = 3.14159265f;

class TransformSequenceTest : public nodetest::Registered {};

// Translation keys (x, 0, 0) at the given times.
oxSmartPointer<Seq> xSequence(const std::vector<int64_t>& times, const std::vector<float>& xs,
                              int64_t duration = -1)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setComponentChannels(Seq::TRANSLATION);
    s->setKeyFrameCount(int(times.size()));
    for (size_t i = 0; i < times.size(); ++i) {
        s->setTimeAsLong(int(i), times[i]);
        const oxVec3f v(xs[i], 0, 0);
        s->setTranslation(int(i), &v);
    }
    s->setDuration(duration);
    return s;
}

float xAt(Seq* s, int64_t t)
{
    oxMatrix44f m;
    EXPECT_TRUE(s->getMatrix(m, t));
    return m.getTranslation().x;
}

oxMatrix44f rotationZ(float radians)
{
    oxMatrix44f m;
    m.makeRotationZ(radians);
    return m;
}

TEST_F(TransformSequenceTest, ClassDescriptionsAndDefaults)
{
    int value = 0;
    EXPECT_TRUE(oxTransformSequence::getDRIVEN_CHANNELMetaEnum()->getEnumValue("EULER_ROTATION", value));
    EXPECT_EQ(value, 4);
    EXPECT_TRUE(oxTransformSequence::getINTERPOLATION_METHODMetaEnum()->getEnumValue("SLERP", value));
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(oxTransformSequence::getPLAY_MODEMetaEnum()->getEnumValue("LOOP", value));
    EXPECT_EQ(value, 3);

    // The older classes' descriptions make objects of the newer ones.
    oxSmartPointer<oxObject> made = oxTransformSequence::getClassTypeSafe()->createInstance();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->getMetaObject(), Seq::getClassTypeSafe());
    oxSmartPointer<oxObject> clock = oxMetaObject::findType("oxTimeTransform")->createInstance();
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->getMetaObject(), oxTimeTransform1_5::getClassTypeSafe());

    const oxMetaObject* meta = Seq::getClassTypeSafe();
    const char* expected[] = {"_xlateList", "_quatList", "_scaleList", "_timeList", "_startTime",
                              "_uniformTimeEnabled", "_playMode", "_lastTime", "_centerOfRotation", "_timeListLong",
                              "_interpolationDataTranslation", "_interpolationDataRotation",
                              "_interpolationDataScale", "_drivenChannels", "_interpolationMethod",
                              "_keyframeTimeOffset", "_animationDuration", "_compressedDataObject"};
    for (int i = 0; i < int(std::size(expected)); ++i)
        EXPECT_STREQ(meta->getIndexedMetaField(meta->getMetaFieldCount() - int(std::size(expected)) + i)->getName(),
                     expected[i]);

    // The older class creates its seconds list with the object; this one only reads it.
    EXPECT_TRUE(oxTransformSequence::getClassTypeSafe()->getMetaField("_timeList")->isConstructWithOwner());
    EXPECT_FALSE(meta->getMetaField("_timeList")->isConstructWithOwner());
    EXPECT_TRUE(meta->getMetaField("_timeListLong")->isConstructWithOwner());

    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    EXPECT_EQ(s->getComponentChannels(), Seq::TRANSLATION | Seq::QUATERNION_ROTATION | Seq::SCALE);
    EXPECT_EQ(s->getInterpolationMethod(Seq::TRANSLATION), Seq::LINEAR);
    EXPECT_EQ(s->getInterpolationMethod(Seq::QUATERNION_ROTATION), Seq::SLERP);
    EXPECT_EQ(s->getInterpolationMethod(Seq::SCALE), Seq::LINEAR);
    EXPECT_EQ(s->getInterpolationMethod(Seq::DRIVEN_CHANNEL(16)), -1);
    EXPECT_EQ(s->getDuration(), -1);
    EXPECT_EQ(s->getCursor(), 1);
    EXPECT_TRUE(s->getTimeList());
    EXPECT_TRUE(s->getTranslationList() && s->getQuaternionList() && s->getScaleList());

    // Nothing to evaluate: no matrix, and no crash.
    oxMatrix44f m = nodetest::translation(1, 2, 3);
    EXPECT_FALSE(s->getMatrix(m, 5));
    EXPECT_TRUE(m.isIdentity());
    // Nor from a channel with fewer values than keys.
    s->setKeyFrameCount(3);
    s->getTranslationList()->setCount(2);
    m = nodetest::translation(1, 2, 3);
    EXPECT_FALSE(s->getMatrix(m, 5));
    EXPECT_TRUE(m.isIdentity());
    m = nodetest::translation(1, 2, 3);
    s->getMatrix(2, &m);
    EXPECT_TRUE(m.isIdentity());
    oxQuaternionf q;
    oxVec3f v;
    EXPECT_FALSE(s->getQuaternionAndTranslation(q, v, 5));
}

TEST_F(TransformSequenceTest, KeysAndSegmentsBetweenThem)
{
    oxSmartPointer<Seq> s = xSequence({0, kSecond, 2 * kSecond}, {0, 10, 20}, 3 * kSecond);
    EXPECT_FLOAT_EQ(xAt(s, 0), 0);
    EXPECT_FLOAT_EQ(xAt(s, kSecond), 10);
    EXPECT_FLOAT_EQ(xAt(s, 2 * kSecond), 20);
    EXPECT_FLOAT_EQ(xAt(s, kSecond / 2), 5);
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond / 2), 15);
    EXPECT_EQ(s->getCursor(), 2);
    // The fraction is formed on times in units of 2^18 ns.
    const float a = float((kSecond / 4) >> 18), b = float(kSecond >> 18);
    EXPECT_FLOAT_EQ(xAt(s, kSecond / 4), 10 * (a / b));
    // Going back moves the cursor back.
    EXPECT_FLOAT_EQ(xAt(s, kSecond / 2), 5);
    EXPECT_EQ(s->getCursor(), 1);
    s->setKeyFrameTimeOffset(kSecond);
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond / 2), 5);
    EXPECT_EQ(s->getFirstFrameTime(), kSecond);
    EXPECT_EQ(s->getLastFrameTime(), 4 * kSecond);

    // Keys closer than one unit of 2^18 ns blend with fraction 0.
    oxSmartPointer<Seq> close = xSequence({0, 200000}, {1, 9}, 200000);
    EXPECT_FLOAT_EQ(xAt(close, 150000), 1);
}

TEST_F(TransformSequenceTest, PlayModesBeforeAndAfterTheKeys)
{
    oxSmartPointer<Seq> s = xSequence({0, kSecond, 2 * kSecond}, {0, 10, 20}, 3 * kSecond);
    s->setKeyFrameTimeOffset(kSecond);
    for (int mode : {0, 1, 2, 3, 7}) {
        s->setPlayMode(Seq::PLAY_MODE(mode));
        EXPECT_FLOAT_EQ(xAt(s, kSecond / 2), 0) << "before key 0, mode " << mode;
    }
    s->setKeyFrameTimeOffset(0);

    s->setPlayMode(Seq::REPEAT);
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 2), 20) << "the tail holds the last key";
    EXPECT_FLOAT_EQ(xAt(s, 7 * kSecond / 2), 5);
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond), 20) << "the end of the cycle itself does not wrap";
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond + kSecond), 10);

    s->setPlayMode(Seq::LOOP);
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 2), 10) << "half way from the last key back to the first";
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond + 5 * kSecond / 2), 10);
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond + kSecond / 2), 5);

    s->setPlayMode(Seq::CLAMP);
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 2), 20);
    EXPECT_FLOAT_EQ(xAt(s, 50 * kSecond), 20);

    s->setPlayMode(Seq::BOUNCE);
    EXPECT_FLOAT_EQ(xAt(s, 4 * kSecond), 20) << "odd cycle: end - remainder = 2 s";
    EXPECT_FLOAT_EQ(xAt(s, 9 * kSecond / 2), 15);
    EXPECT_FLOAT_EQ(xAt(s, 13 * kSecond / 2), 5) << "even cycle runs forward again";

    s->setPlayMode(Seq::PLAY_MODE(7));
    EXPECT_FLOAT_EQ(xAt(s, 50 * kSecond), 0) << "an unknown mode gives key 0 past the end";
    EXPECT_FLOAT_EQ(xAt(s, kSecond / 2), 5);

    // A cycle of no length cannot wrap: the last key holds.
    oxSmartPointer<Seq> single = xSequence({kSecond}, {4}, 0);
    EXPECT_FLOAT_EQ(xAt(single, 10 * kSecond), 4);
    EXPECT_FLOAT_EQ(xAt(single, kSecond), 4);
}

TEST_F(TransformSequenceTest, CycleTimeRemembersItsLastAnswer)
{
    int64_t r = 0;
    EXPECT_EQ(getCycleTime(10, 3, r), 3u);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(getCycleTime(10, 3, r), 3u);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(getCycleTime(7 * kSecond + 5, kSecond, r), 7u);
    EXPECT_EQ(r, 5);
    // Unsigned arithmetic: a negative time reads as a huge one.
    EXPECT_EQ(getCycleTime(-1, int64_t(1) << 40, r), uint32_t((~uint64_t(0)) / (uint64_t(1) << 40)));
}

TEST_F(TransformSequenceTest, UniformSpacing)
{
    oxSmartPointer<Seq> s = xSequence({kSecond, 0, 0}, {0, 10, 20}, 3 * kSecond);
    s->setUniformTimeState(true);
    EXPECT_FLOAT_EQ(xAt(s, kSecond / 2), 5);
    const float unit = float(kSecond >> 18);
    const float f = std::fmod(float((5 * kSecond / 4) >> 18), unit) / unit;
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 4), 10 + 10 * f);
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 2), 20);
    s->setPlayMode(Seq::LOOP);
    const float g = std::fmod(float((5 * kSecond / 2) >> 18), unit) / unit;
    EXPECT_FLOAT_EQ(xAt(s, 5 * kSecond / 2), 20 * (1 - g));
    EXPECT_FLOAT_EQ(xAt(s, 3 * kSecond + kSecond / 2), 5);
}

TEST_F(TransformSequenceTest, RotationChannelsAndTheMatrixOrder)
{
    // Euler degrees, blended as angles.
    oxSmartPointer<Seq> euler = Seq::_instantiateRef();
    euler->setComponentChannels(Seq::EULER_ROTATION);
    EXPECT_EQ(euler->getInterpolationMethod(Seq::EULER_ROTATION), Seq::LINEAR);
    euler->setKeyFrameCount(2);
    euler->setTimeAsLong(1, kSecond);
    const oxVec3f a(0, 0, 0), b(0, 0, 90);
    euler->setEulerRotation(0, &a);
    euler->setEulerRotation(1, &b);
    euler->setDuration(kSecond);
    EXPECT_EQ(euler->getQuaternion(1)->w, 0.0f);
    EXPECT_EQ(euler->getEulerRotation(1)->z, 90.0f);
    oxMatrix44f m;
    euler->getMatrix(m, kSecond / 2);
    EXPECT_TRUE(oxIsEqual(m, rotationZ(kPi / 4), 1e-5f));
    oxQuaternionf angles;
    euler->getQuaternion(angles, kSecond / 2);
    EXPECT_FLOAT_EQ(angles.z, 45);
    euler->setInterpolationMethod(Seq::EULER_ROTATION, Seq::NONE);
    euler->getMatrix(m, kSecond / 2);
    EXPECT_TRUE(m.isIdentity());

    // Quaternions: spherical blend, or none.
    oxSmartPointer<Seq> q = Seq::_instantiateRef();
    q->setComponentChannels(Seq::QUATERNION_ROTATION | Seq::TRANSLATION);
    q->setKeyFrameCount(2);
    q->setTimeAsLong(1, kSecond);
    const oxQuaternionf q0, q1 = oxQuaternionf::fromAxisAngle(oxVec3f(0, 0, 1), kPi / 2);
    q->setQuaternion(0, &q0);
    q->setQuaternion(1, &q1);
    const oxVec3f t0(0, 0, 0), t1(4, 0, 0);
    q->setTranslation(0, &t0);
    q->setTranslation(1, &t1);
    q->setDuration(kSecond);
    oxQuaternionf half;
    oxVec3f at;
    int cursor = 1;
    EXPECT_TRUE(q->getQuaternionAndTranslation(half, at, kSecond / 2, cursor, nullptr));
    EXPECT_TRUE(oxIsEqual(half, oxQuaternionf::fromAxisAngle(oxVec3f(0, 0, 1), kPi / 4), 1e-5f));
    EXPECT_EQ(at, oxVec3f(2, 0, 0));
    q->setInterpolationMethod(Seq::QUATERNION_ROTATION, Seq::NONE);
    q->getQuaternion(half, kSecond / 2);
    EXPECT_EQ(half, q0);
    // Past the end with CLAMP: the last key's rotation and translation.
    q->setPlayMode(Seq::CLAMP);
    q->getQuaternionAndTranslation(half, at, 9 * kSecond);
    EXPECT_EQ(half, q1);
    EXPECT_EQ(at, t1);

    // Scale first, then the rotation about the centre, then the translation.
    oxSmartPointer<Seq> all = Seq::_instantiateRef();
    all->setKeyFrameCount(1);
    const oxVec3f scale(2, 2, 2), move(0, 0, 5);
    all->setQuaternion(0, &q1);
    all->setScale(0, &scale);
    all->setTranslation(0, &move);
    all->setDuration(0);
    all->getMatrix(m, 0);
    EXPECT_TRUE(oxIsEqual(m.transformPoint(oxVec3f(1, 0, 0)), oxVec3f(0, 2, 5), 1e-5f));
    all->setCenterOfRotation(oxVec3f(1, 0, 0));
    EXPECT_FALSE(all->isTransformable());
    all->getMatrix(m, 0);
    // (1, 0, 0) scales to (2, 0, 0), which turns about (1, 0, 0) to (1, 1, 0).
    EXPECT_TRUE(oxIsEqual(m.transformPoint(oxVec3f(1, 0, 0)), oxVec3f(1, 1, 5), 1e-5f));
    oxMatrix44f key;
    all->getMatrix(0, &key);
    EXPECT_TRUE(oxIsEqual(key, m, 1e-6f));
    // Without a rotation channel the centre does nothing.
    all->setComponentChannels(Seq::TRANSLATION);
    all->setTranslation(0, &move);
    all->getMatrix(m, 0);
    EXPECT_EQ(m.transformPoint(oxVec3f(1, 0, 0)), oxVec3f(1, 0, 5));
}

TEST_F(TransformSequenceTest, BezierChannels)
{
    oxSmartPointer<Seq> s = xSequence({0, kSecond}, {0, 8}, kSecond);
    s->setInterpolationMethod(Seq::TRANSLATION, Seq::BEZIER);
    ASSERT_TRUE(s->getInterpolationDataTranslation());
    EXPECT_EQ(s->getInterpolationDataTranslation()->getCount(), 4);
    s->setInterpolationData(0, Seq::TRANSLATION, oxVec3f(0, 4, 0), oxVec3f(8, 4, 0));
    oxMatrix44f m;
    s->getMatrix(m, kSecond / 2);
    // (p0 + 3 c0 + 3 c1 + p1) / 8 at the middle.
    EXPECT_TRUE(oxIsEqual(m.getTranslation(), oxVec3f(4, 3, 0), 1e-5f));
    EXPECT_FALSE(s->isTransformable());

    oxSmartPointer<Seq> e = Seq::_instantiateRef();
    e->setComponentChannels(Seq::EULER_ROTATION);
    e->setKeyFrameCount(2);
    e->setTimeAsLong(1, kSecond);
    const oxVec3f b(0, 0, 80);
    e->setEulerRotation(1, &b);
    e->setDuration(kSecond);
    e->setInterpolationMethod(Seq::EULER_ROTATION, Seq::BEZIER);
    e->setInterpolationData(0, Seq::EULER_ROTATION, oxVec3f(0, 0, 80), oxVec3f(0, 0, 80));
    oxQuaternionf angles;
    e->getQuaternion(angles, kSecond / 2);
    EXPECT_FLOAT_EQ(angles.z, 70); // (0 + 240 + 240 + 80) / 8
}

TEST_F(TransformSequenceTest, SetMatrixDecomposesAndGetMatrixRebuilds)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setKeyFrameCount(2);
    oxMatrix44f mirror;
    mirror.makeScale(oxVec3f(-1, 2, 3));
    oxMatrix44f turn;
    turn.makeRotationY(0.5f);
    oxMatrix44f m = mirror * turn * nodetest::translation(1, 2, 3);
    ASSERT_LT(m.determinant(), 0);
    s->setMatrix(0, &m);
    EXPECT_TRUE(oxIsEqual(*s->getScale(0), oxVec3f(-1, -2, -3), 1e-5f)) << "the mirror goes into the scale";
    EXPECT_TRUE(oxIsEqual(*s->getTranslation(0), oxVec3f(1, 2, 3), 1e-5f));
    EXPECT_NEAR(s->getQuaternion(0)->length(), 1, 1e-5f);
    EXPECT_GT(s->getQuaternion(0)->toMatrix().determinant(), 0);
    oxMatrix44f back;
    s->getMatrix(0, &back);
    EXPECT_TRUE(oxIsEqual(back, m, 1e-5f));

    // Euler keys: degrees, rebuilt to the same matrix, also at the gimbal.
    oxSmartPointer<Seq> e = Seq::_instantiateRef();
    e->setComponentChannels(Seq::EULER_ROTATION | Seq::TRANSLATION);
    e->setKeyFrameCount(1);
    for (const oxVec3f& r : {oxVec3f(0.3f, -0.5f, 1.1f), oxVec3f(-2.0f, 0.4f, 2.9f), oxVec3f(0.7f, kPi / 2, 0.2f)}) {
        oxMatrix44f k = oxQuaternionf::fromEuler(r.x, r.y, r.z).toMatrix();
        k.setTranslation(oxVec3f(4, 5, 6));
        e->setMatrix(0, &k);
        EXPECT_EQ(e->getQuaternion(0)->w, 0.0f);
        e->getMatrix(0, &back);
        EXPECT_TRUE(oxIsEqual(back, k, 1e-4f)) << r.x << " " << r.y << " " << r.z;
    }
    const oxMatrix44f quarter = rotationZ(kPi / 2);
    e->setMatrix(0, &quarter);
    EXPECT_TRUE(oxIsEqual(*e->getEulerRotation(0), oxVec3f(0, 0, 90), 1e-3f));

    // transform() bakes a matrix into every key.
    oxSmartPointer<Seq> t = xSequence({0, kSecond}, {1, 2});
    ASSERT_TRUE(t->isTransformable());
    t->transform(nodetest::translation(0, 5, 0));
    EXPECT_EQ(*t->getTranslation(0), oxVec3f(1, 5, 0));
    EXPECT_EQ(*t->getTranslation(1), oxVec3f(2, 5, 0));
}

TEST_F(TransformSequenceTest, ValidateKeyframesFlipsOnlyNearlyOppositeNeighbours)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setComponentChannels(Seq::QUATERNION_ROTATION);
    s->setKeyFrameCount(4);
    const oxQuaternionf identity, opposite(0, 0, 0, -1), obtuse(0, 0, std::sin(1.5f), -std::cos(1.5f)),
        nearlyOpposite(0, 0, std::sin(0.001f), std::cos(0.001f));
    s->setQuaternion(0, &identity);
    s->setQuaternion(1, &opposite);
    s->setQuaternion(2, &obtuse);
    const oxQuaternionf farSide = -nearlyOpposite;
    s->setQuaternion(3, &farSide);
    s->validateKeyframes();
    EXPECT_EQ(*s->getQuaternion(1), identity);
    EXPECT_EQ(*s->getQuaternion(2), obtuse) << "a negative dot product above -0.99999 stays";
    // Key 3 against key 2 (as it stands): dot = -(cos 1.5 sin .001 ... ) is far from -1.
    EXPECT_EQ(*s->getQuaternion(3), farSide);

    s->setQuaternion(2, &identity);
    s->validateKeyframes();
    EXPECT_EQ(*s->getQuaternion(3), nearlyOpposite) << "negated against the identity before it";

    // Euler keys are not quaternions and are left alone.
    oxSmartPointer<Seq> e = Seq::_instantiateRef();
    e->setComponentChannels(Seq::EULER_ROTATION);
    e->setKeyFrameCount(2);
    e->getQuaternionList()->set(0, identity);
    e->getQuaternionList()->set(1, opposite);
    e->validateKeyframes();
    EXPECT_EQ(*e->getQuaternion(1), opposite);
}

TEST_F(TransformSequenceTest, KeyEditingAndChannels)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setKeyFrameCount(3);
    EXPECT_EQ(s->getKeyFrameCount(), 3);
    EXPECT_EQ(s->getTranslationCount(), 3);
    EXPECT_EQ(s->getQuaternionList()->getCount(), 3);
    EXPECT_EQ(s->getScaleCount(), 3);
    for (int i = 0; i < 3; ++i) {
        s->setTimeAsLong(i, i * kSecond);
        const oxVec3f v(float(i), 0, 0);
        s->setTranslation(i, &v);
    }
    s->setInterpolationMethod(Seq::TRANSLATION, Seq::BEZIER);
    for (int i = 0; i < 3; ++i)
        s->setInterpolationData(i, Seq::TRANSLATION, oxVec3f(float(10 * i), 0, 0), oxVec3f(float(10 * i + 1), 0, 0));
    s->insertKeyFrame(1);
    EXPECT_EQ(s->getKeyFrameCount(), 4);
    EXPECT_EQ(s->getTimeAsLong(1), kSecond);
    EXPECT_EQ(s->getTimeAsLong(2), kSecond);
    EXPECT_EQ(s->getTranslation(1)->x, 1);
    EXPECT_EQ(s->getScaleCount(), 4);
    oxVec3fList* controls = s->getInterpolationDataTranslation();
    ASSERT_EQ(controls->getCount(), 8);
    EXPECT_EQ(controls->get(2).x, 10);
    EXPECT_EQ(controls->get(3).x, 11);
    EXPECT_EQ(controls->get(4).x, 10);
    s->removeKeyFrame(0);
    EXPECT_EQ(s->getKeyFrameCount(), 3);
    EXPECT_EQ(s->getTranslation(0)->x, 1);
    EXPECT_EQ(controls->getCount(), 8) << "control points are left as they are";

    // Five keys and Bezier: ten control points; back to a line releases them.
    s->setKeyFrameCount(5);
    s->setInterpolationMethod(Seq::SCALE, Seq::BEZIER);
    ASSERT_TRUE(s->getInterpolationDataScale());
    EXPECT_EQ(s->getInterpolationDataScale()->getCount(), 10);
    s->setInterpolationMethod(Seq::SCALE, Seq::LINEAR);
    EXPECT_FALSE(s->getInterpolationDataScale());
    s->setInterpolationMethod(Seq::QUATERNION_ROTATION, Seq::LINEAR);
    EXPECT_EQ(s->getInterpolationMethod(Seq::EULER_ROTATION), Seq::LINEAR);

    s->setComponentChannels(Seq::TRANSLATION | Seq::EULER_ROTATION);
    EXPECT_FALSE(s->getScaleList());
    EXPECT_FALSE(s->getInterpolationDataTranslation());
    EXPECT_EQ(s->getTranslation(0)->x, 1) << "a channel driven before keeps its keys";
    EXPECT_EQ(s->getInterpolationMethod(Seq::EULER_ROTATION), Seq::LINEAR);
    s->setKeyFrameCount(6);
    EXPECT_EQ(s->getTranslationCount(), 6);
    EXPECT_EQ(s->getQuaternionList()->getCount(), 6);
    s->removeTranslationChannel();
    EXPECT_FALSE(s->getTranslationList());
    EXPECT_EQ(s->getComponentChannels(), Seq::EULER_ROTATION);
    s->addTranslationChannel();
    EXPECT_EQ(s->getTranslationCount(), 6);
    s->removeScaleChannel();
    EXPECT_EQ(s->getComponentChannels(), Seq::EULER_ROTATION | Seq::TRANSLATION);
    s->setComponentChannels(Seq::SCALE);
    EXPECT_FALSE(s->getQuaternionList());
    EXPECT_FALSE(s->getTranslationList());
    EXPECT_EQ(s->getScaleCount(), 6);
}

TEST_F(TransformSequenceTest, Comparisons)
{
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    s->setKeyFrameCount(2);
    const oxVec3f a(1, 2, 3), b(1.1f, 2, 3);
    s->setTranslation(0, &a);
    s->setTranslation(1, &b);
    const oxQuaternionf q;
    s->setQuaternion(0, &q);
    s->setQuaternion(1, &q);
    const oxVec3f one(1, 1, 1);
    s->setScale(0, &one);
    s->setScale(1, &one);
    EXPECT_TRUE(s->compareKeyFrames(0, 1, 0.11f, 0.0, 0, 0));
    EXPECT_FALSE(s->compareKeyFrames(0, 1, 0.05f, 0.0, 0, 0));
    const oxQuaternionf turned = oxQuaternionf::fromAxisAngle(oxVec3f(0, 1, 0), 0.1f);
    EXPECT_TRUE(Seq::compareQuaternions(q, turned, 0.002));
    EXPECT_FALSE(Seq::compareQuaternions(q, turned, 0.001));
    EXPECT_FALSE(Seq::compareQuaternions(q, -q, 10)) << "opposite signs never match";
    EXPECT_TRUE(Seq::compareTimes(100, 110, 10));
    EXPECT_FALSE(Seq::compareTimes(100, 111, 10));

    oxSmartPointer<Seq> other = xSequence({0, 5}, {1, 1.1f});
    s->setTimeAsLong(1, 3);
    EXPECT_TRUE(s->compareTimeLists(other, 2));
    EXPECT_FALSE(s->compareTimeLists(other, 1));
    EXPECT_FALSE(s->compareTimeLists(s, 100)) << "a sequence against itself is not a match";
    other->setTimeList(s->getTimeList());
    EXPECT_FALSE(s->compareTimeLists(other, 100)) << "nor one that shares the list";
    EXPECT_FALSE(s->compareTranslationLists(other, 1)) << "(1, 2, 3) against (1, 0, 0)";
    EXPECT_TRUE(s->compareTranslationLists(other, 3.5f));
    EXPECT_FALSE(s->compareQuaternionLists(other, 1)) << "the other has no rotation list";
}

TEST_F(TransformSequenceTest, CompressAndUncompressWithinQuantisation)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-50, 50);
    oxSmartPointer<Seq> s = Seq::_instantiateRef();
    const int n = 9;
    s->setKeyFrameCount(n);
    std::vector<oxVec3f> ts, ss;
    std::vector<oxQuaternionf> qs;
    for (int i = 0; i < n; ++i) {
        s->setTimeAsLong(i, i * kSecond);
        ts.emplace_back(value(random), value(random), value(random));
        ss.emplace_back(value(random) / 10, value(random) / 10, value(random) / 10);
        qs.push_back(oxQuaternionf(value(random), value(random), value(random), value(random)).normalized());
        s->setTranslation(i, &ts.back());
        s->setScale(i, &ss.back());
        s->setQuaternion(i, &qs.back());
    }
    EXPECT_FALSE(s->uncompress(false)) << "nothing to uncompress yet";
    EXPECT_TRUE(s->compress(true));
    EXPECT_TRUE(s->compressed());
    EXPECT_FALSE(s->compress(true)) << "already compressed";
    oxSmartPointer<oxCompressedTransformSequence1_5Data> data = s->getCompressedDataObject();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->getCompressedTranslationList()->getCount(), 3 * n);
    EXPECT_EQ(data->getCompressedQuatList()->getCount(), 4 * n);
    EXPECT_EQ(data->getCompressedScaleList()->getCount(), 3 * n);
    EXPECT_EQ(data->getCompressedTranslationList()->getCapacity(), 3 * n);
    EXPECT_EQ(s->getTranslationCount(), 0);
    EXPECT_EQ(s->getTranslationList()->getCapacity(), 0);
    EXPECT_EQ(s->getQuaternionList()->getCount(), 0);
    EXPECT_EQ(s->getScaleCount(), 0);
    EXPECT_EQ(s->getKeyFrameCount(), n) << "times are kept";

    EXPECT_TRUE(s->uncompress(false));
    EXPECT_TRUE(s->compressed());
    const float tError = data->getTranslationRange() / 65535 + 1e-5f;
    const float qError = data->getQuatRange() / 65535 + 1e-6f;
    const float sError = data->getScaleRange() / 65535 + 1e-6f;
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(oxIsEqual(*s->getTranslation(i), ts[size_t(i)], tError)) << i;
        EXPECT_TRUE(oxIsEqual(*s->getScale(i), ss[size_t(i)], sError)) << i;
        EXPECT_TRUE(oxIsEqual(*s->getQuaternion(i), qs[size_t(i)], qError)) << i;
    }
    EXPECT_TRUE(s->uncompress(true));
    EXPECT_FALSE(s->compressed());
    EXPECT_EQ(data->getCompressedTranslationList()->getCount(), 0) << "the data object emptied its lists";
    EXPECT_EQ(s->getTranslationCount(), n);

    // Only driven channels are compressed.
    oxSmartPointer<Seq> x = xSequence({0, kSecond}, {1, 2});
    EXPECT_TRUE(x->compress(false));
    EXPECT_TRUE(x->getCompressedDataObject()->getCompressedTranslationList());
    EXPECT_FALSE(x->getCompressedDataObject()->getCompressedQuatList());
    EXPECT_EQ(x->getTranslationCount(), 2);
    x->releaseCompressedData();
    EXPECT_FALSE(x->compressed());
}

TEST_F(TransformSequenceTest, OlderFilesConvertSecondsAndLoadingDerivesTheDuration)
{
    using oxbtest::FileBuilder;
    FileBuilder file;
    const uint32_t seqClass = file.addClass(
        "oxTransformSequence", {{"_timeList", Kel::Core::oxFieldKind::ObjectRef}, {"_startTime", Kel::Core::oxFieldKind::Double}});
    const uint32_t listClass = file.addClass("oxDoubleList");
    file.addObject(seqClass, FileBuilder::Record().u32(2).f64(2.0));
    file.addObject(listClass, FileBuilder::Record().array(Kel::Core::oxFieldKind::Double, 1, 2).f64(0.5).f64(1.25));
    file.setRoot(1);
    const std::vector<uint8_t> bytes = file.bytes();
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "older sequence");
    oxSmartPointer<Seq> s = Seq::dynamicCast(read.get());
    ASSERT_TRUE(s);
    ASSERT_EQ(s->getKeyFrameCount(), 2);
    EXPECT_EQ(s->getTimeAsLong(0), 500000000);
    EXPECT_EQ(s->getTimeAsLong(1), 1250000000);
    EXPECT_EQ(s->getKeyFrameTimeOffset(), 2 * kSecond);
    EXPECT_EQ(s->getDuration(), 750000000);
    EXPECT_EQ(s->getInterpolationMethod(Seq::QUATERNION_ROTATION), Seq::SLERP);

    // A sequence of this class keeps its own duration, or gets one from its keys.
    oxSmartPointer<Seq> keys = xSequence({0, kSecond, 2 * kSecond}, {0, 1, 2});
    oxSmartPointer<Seq> back = Seq::dynamicCast(nodetest::throughFile(keys).get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getDuration(), 2 * kSecond);
    keys->setDuration(5);
    back = Seq::dynamicCast(nodetest::throughFile(keys).get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getDuration(), 5);
    EXPECT_EQ(back->getTimeAsLong(2), 2 * kSecond);
    EXPECT_EQ(back->getTranslation(2)->x, 2);
}

TEST_F(TransformSequenceTest, TimeTransforms)
{
    oxSmartPointer<oxTimeTransform1_5> clock = oxTimeTransform1_5::_instantiateRef();
    const int64_t t = kSecond + 12345;
    EXPECT_EQ(clock->getTransformedTime(t), (t >> 18) << 18);
    clock->setScale(2.0f);
    clock->setBias(5);
    EXPECT_EQ(clock->getScaleAsFloat(), 2.0f);
    EXPECT_EQ(clock->getBias(), 5);
    EXPECT_EQ(clock->getTransformedTime(t), ((t >> 18) * 2 << 18) + 5);
    clock->setScaleAsFloat(0.5f);
    EXPECT_EQ(clock->getTransformedTime(3 << 18), (1 << 18) + 5) << "1.5 units truncate to 1";

    using oxbtest::FileBuilder;
    FileBuilder file;
    const uint32_t cls = file.addClass("oxTimeTransform", {{"_scale", Kel::Core::oxFieldKind::Double},
                                                           {"_bias", Kel::Core::oxFieldKind::Double}});
    file.addObject(cls, FileBuilder::Record().f64(3.0).f64(1.5));
    file.setRoot(1);
    const std::vector<uint8_t> bytes = file.bytes();
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "older time transform");
    auto* converted = oxTimeTransform1_5::dynamicCast(read.get());
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->getScaleAsFloat(), 3.0f);
    EXPECT_EQ(converted->getBiasAsLong(), 1500000000);
}

// Evaluation from wherever the cursor was left gives what a fresh evaluation gives, for any
// channels, methods, play modes and times in any order.
TEST_F(TransformSequenceTest, RandomTimesInRandomOrderMatchFreshEvaluation)
{
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> value(-10, 10);
    const unsigned char channelSets[] = {Seq::TRANSLATION, Seq::TRANSLATION | Seq::QUATERNION_ROTATION | Seq::SCALE,
                                         Seq::EULER_ROTATION | Seq::SCALE, Seq::QUATERNION_ROTATION};
    for (int trial = 0; trial < 200; ++trial) {
        oxSmartPointer<Seq> s = Seq::_instantiateRef();
        const unsigned char channels = channelSets[random() % 4];
        s->setComponentChannels(channels);
        const int n = 1 + int(random() % 8);
        s->setKeyFrameCount(n);
        int64_t time = int64_t(random() % 3) * kSecond - kSecond;
        for (int i = 0; i < n; ++i) {
            s->setTimeAsLong(i, time);
            time += 1000 + int64_t(random() % uint32_t(kSecond));
            const oxVec3f v(value(random), value(random), value(random));
            const oxQuaternionf q = oxQuaternionf(value(random), value(random), value(random), value(random)).normalized();
            if (channels & Seq::TRANSLATION)
                s->setTranslation(i, &v);
            if (channels & Seq::QUATERNION_ROTATION)
                s->setQuaternion(i, &q);
            if (channels & Seq::EULER_ROTATION)
                s->setEulerRotation(i, &v);
            if (channels & Seq::SCALE)
                s->setScale(i, &v);
        }
        const int64_t span = s->getTimeAsLong(n - 1) - s->getTimeAsLong(0);
        s->setDuration(span + int64_t(random() % uint32_t(kSecond)));
        s->setPlayMode(Seq::PLAY_MODE(random() % 5));
        s->setKeyFrameTimeOffset(int64_t(random() % 1000000) - 500000);
        if (random() % 2)
            s->setInterpolationMethod(Seq::TRANSLATION, Seq::INTERPOLATION_METHOD(random() % 3));
        if (random() % 2)
            s->setInterpolationMethod((channels & Seq::EULER_ROTATION) ? Seq::EULER_ROTATION : Seq::QUATERNION_ROTATION,
                                      Seq::INTERPOLATION_METHOD(random() % 4));
        for (int i = 0; i < n; ++i) {
            s->setInterpolationData(i, Seq::TRANSLATION, oxVec3f(value(random), 0, 1), oxVec3f(0, value(random), 2));
            s->setInterpolationData(i, Seq::EULER_ROTATION, oxVec3f(value(random), 0, 1), oxVec3f(0, 1, value(random)));
        }
        oxSmartPointer<Seq> fresh = Seq::_instantiateRef();
        ASSERT_EQ(fresh->copyDeep(s), kSuccess);
        const int64_t cycle = s->getDuration() + 1;
        int cursor = 1;
        for (int k = 0; k < 40; ++k) {
            const int64_t t = s->getFirstFrameTime() - cycle / 2 + int64_t(random() % uint64_t(5 * cycle));
            oxMatrix44f walked, direct;
            ASSERT_TRUE(s->getMatrix(walked, t));
            fresh->reset();
            ASSERT_TRUE(fresh->getMatrix(direct, t));
            ASSERT_TRUE(oxIsEqual(walked, direct, 1e-5f)) << "trial " << trial << " time " << t;
            if (channels & (Seq::QUATERNION_ROTATION | Seq::EULER_ROTATION)) {
                oxQuaternionf a, b;
                int freshCursor = 1;
                ASSERT_TRUE(s->getQuaternion(a, t, cursor, nullptr));
                ASSERT_TRUE(fresh->getQuaternion(b, t, freshCursor, nullptr));
                ASSERT_TRUE(oxIsEqual(a, b, 1e-5f)) << "trial " << trial << " time " << t;
            }
        }
    }
}

} // namespace
