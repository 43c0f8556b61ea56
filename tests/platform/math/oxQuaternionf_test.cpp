#include <type_traits>

#include <gtest/gtest.h>

#include "platform/math/oxQuaternionf.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::near;
using Kel::Math::TestUtil::Random;
using Kel::Math::TestUtil::sameRotation;

static_assert(std::is_trivially_copyable_v<oxQuaternionf> && sizeof(oxQuaternionf) == 4 * sizeof(float));

namespace {

// Angle of the rotation taking a to b.
float angleBetween(const oxQuaternionf& a, const oxQuaternionf& b)
{
    return 2.0f * std::acos(std::min(1.0f, std::fabs(dot(a, b))));
}

} // namespace

TEST(oxQuaternionfMatrix, RotatingAVectorEqualsMultiplyingByTheMatrix)
{
    Random rnd;
    for (int i = 0; i < 100; ++i) {
        const oxQuaternionf q = rnd.rotation();
        const oxVec3f v = rnd.vec3(-5, 5);
        EXPECT_TRUE(near(q.rotate(v), q.toMatrix().transformVector(v), 1e-5f));
    }
}

TEST(oxQuaternionfMatrix, AxisAngleAgreesWithMatrixRotation)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const oxVec3f axis = rnd.vec3();
        const float angle = rnd.uniform(-6.0f, 6.0f);
        EXPECT_TRUE(near(oxQuaternionf::fromAxisAngle(axis, angle).toMatrix(), oxMatrix44f().makeRotation(axis, angle)));
    }
    EXPECT_EQ(oxQuaternionf::fromAxisAngle({0, 0, 0}, 1.0f), oxQuaternionf());
}

TEST(oxQuaternionfMatrix, FromMatrixRoundTripsThroughEveryDominantComponent)
{
    Random rnd;
    for (int i = 0; i < 200; ++i) {
        const oxQuaternionf q = rnd.rotation();
        EXPECT_TRUE(sameRotation(oxQuaternionf::fromMatrix(q.toMatrix()), q));
    }
    // Half turns have zero trace and exercise the branches keyed on x, y and z.
    const oxVec3f axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {-1, 2, 3}};
    for (const oxVec3f& axis : axes)
        for (float angle : {kPi, 0.999f * kPi, 2.5f, 0.1f}) {
            const oxQuaternionf q = oxQuaternionf::fromAxisAngle(axis, angle);
            EXPECT_TRUE(sameRotation(oxQuaternionf::fromMatrix(q.toMatrix()), q, 1e-5f));
        }
}

TEST(oxQuaternionfMatrix, ScaleTranslationAndLengthDoNotChangeTheRotation)
{
    const oxQuaternionf q = oxQuaternionf::fromAxisAngle({1, 2, -1}, 0.8f);
    oxMatrix44f m = q.toMatrix();
    m.preScale({2, 0.5f, 7});
    m.setTranslation({10, 20, 30});
    EXPECT_TRUE(sameRotation(oxQuaternionf::fromMatrix(m), q));
    const oxQuaternionf scaled(3 * q.x, 3 * q.y, 3 * q.z, 3 * q.w);
    EXPECT_TRUE(near(scaled.toMatrix(), q.toMatrix()));
}

TEST(oxQuaternionfProduct, ComposesLeftToRightLikeMatrices)
{
    Random rnd;
    for (int i = 0; i < 100; ++i) {
        const oxQuaternionf a = rnd.rotation(), b = rnd.rotation();
        EXPECT_TRUE(near((a * b).toMatrix(), a.toMatrix() * b.toMatrix()));
        const oxVec3f v = rnd.vec3();
        EXPECT_TRUE(near((a * b).rotate(v), b.rotate(a.rotate(v))));
        oxQuaternionf c = a;
        c *= b;
        EXPECT_EQ(c, a * b);
    }
}

TEST(oxQuaternionfProduct, InverseUndoesTheRotation)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const oxQuaternionf q = rnd.rotation();
        EXPECT_TRUE(sameRotation(q * q.inverse(), oxQuaternionf()));
        EXPECT_TRUE(sameRotation(q.conjugated(), q.inverse()));
    }
    // Dividing by the squared length makes non-unit quaternions invert too.
    const oxQuaternionf s(0, 2, 0, 2);
    EXPECT_TRUE(oxIsEqual(s * s.inverse(), oxQuaternionf()));
    oxQuaternionf z(0, 0, 0, 0);
    EXPECT_FALSE(z.invert());
    EXPECT_EQ(z, oxQuaternionf(0, 0, 0, 0));
}

TEST(oxQuaternionfEuler, AppliesXThenYThenZ)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const float rx = rnd.uniform(-kPi, kPi), ry = rnd.uniform(-kPi, kPi), rz = rnd.uniform(-kPi, kPi);
        oxMatrix44f mx, my, mz;
        mx.makeRotationX(rx);
        my.makeRotationY(ry);
        mz.makeRotationZ(rz);
        EXPECT_TRUE(near(oxQuaternionf::fromEuler(rx, ry, rz).toMatrix(), mx * my * mz));
    }
    // A quarter turn about X then about Y: +Y goes to +Z, then to +X.
    EXPECT_TRUE(near(oxQuaternionf::fromEuler(kHalfPi, kHalfPi, 0).rotate({0, 1, 0}), oxVec3f(1, 0, 0)));
}

TEST(oxQuaternionfAxisAngle, RoundTripsWithAngleInZeroToPi)
{
    const oxVec3f axis = oxVec3f(1, -2, 2).normalized();
    for (float angle : {0.5f, 2.0f, 3.1f}) {
        oxVec3f a;
        float r;
        oxQuaternionf::fromAxisAngle(axis, angle).getAxisAngle(a, r);
        EXPECT_TRUE(near(a, axis));
        EXPECT_NEAR(r, angle, 1e-5f);
        // The same rotation the other way round reports the flipped axis.
        oxQuaternionf::fromAxisAngle(axis, -angle).getAxisAngle(a, r);
        EXPECT_TRUE(near(a, -axis));
        EXPECT_NEAR(r, angle, 1e-5f);
    }
    oxVec3f a(5, 5, 5);
    float r = 1;
    oxQuaternionf().getAxisAngle(a, r);
    EXPECT_EQ(r, 0.0f);
    EXPECT_FLOAT_EQ(a.length(), 1.0f);
}

TEST(oxQuaternionfNormalize, ScalesToUnitAndTurnsZeroIntoIdentity)
{
    oxQuaternionf q(0, 3, 0, 4);
    EXPECT_FLOAT_EQ(q.normalize(), 5.0f);
    EXPECT_TRUE(oxIsEqual(q, oxQuaternionf(0, 0.6f, 0, 0.8f)));
    oxQuaternionf z(0, 0, 0, 0);
    EXPECT_EQ(z.normalize(), 0.0f);
    EXPECT_EQ(z, oxQuaternionf());
}

TEST(oxQuaternionfInterpolation, SlerpHitsEndpointsAndBisectsTheAngle)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const oxQuaternionf a = rnd.rotation(), b = rnd.rotation();
        EXPECT_TRUE(sameRotation(slerp(a, b, 0.0f), a));
        EXPECT_TRUE(sameRotation(slerp(a, b, 1.0f), b));
        const oxQuaternionf mid = slerp(a, b, 0.5f);
        EXPECT_NEAR(mid.length(), 1.0f, 1e-5f);
        EXPECT_NEAR(angleBetween(a, mid), angleBetween(mid, b), 2e-3f);
        EXPECT_NEAR(angleBetween(a, mid) + angleBetween(mid, b), angleBetween(a, b), 2e-3f);
    }
}

TEST(oxQuaternionfInterpolation, SlerpMovesAtConstantAngularSpeed)
{
    const oxQuaternionf a = oxQuaternionf::fromAxisAngle({0, 0, 1}, 0.0f);
    const oxQuaternionf b = oxQuaternionf::fromAxisAngle({0, 0, 1}, 2.0f);
    for (float t : {0.1f, 0.3f, 0.75f})
        EXPECT_TRUE(sameRotation(slerp(a, b, t), oxQuaternionf::fromAxisAngle({0, 0, 1}, 2.0f * t)));
    // The normalised blend follows the same arc but not at constant speed.
    const oxQuaternionf n = lerp(a, b, 0.25f);
    EXPECT_NEAR(n.length(), 1.0f, 1e-6f);
    EXPECT_NEAR(n.x, 0.0f, 1e-6f);
    EXPECT_GT(std::fabs(angleBetween(a, n) - 0.5f), 1e-3f);
}

TEST(oxQuaternionfInterpolation, BothTakeTheShortestPath)
{
    // 170 and -170 degrees about Z are 20 degrees apart through 180.
    const oxQuaternionf a = oxQuaternionf::fromAxisAngle({0, 0, 1}, oxDegToRad(170));
    const oxQuaternionf b = oxQuaternionf::fromAxisAngle({0, 0, 1}, oxDegToRad(-170));
    const oxQuaternionf half = oxQuaternionf::fromAxisAngle({0, 0, 1}, kPi);
    EXPECT_TRUE(sameRotation(slerp(a, b, 0.5f), half));
    EXPECT_TRUE(sameRotation(lerp(a, b, 0.5f), half));
    // The sign of either input does not change the path.
    EXPECT_TRUE(sameRotation(slerp(a, -b, 0.25f), slerp(a, b, 0.25f)));
}

TEST(oxQuaternionfInterpolation, SlerpOfNearlyEqualRotationsStaysFinite)
{
    const oxQuaternionf a = oxQuaternionf::fromAxisAngle({1, 1, 0}, 0.5f);
    const oxQuaternionf b = oxQuaternionf::fromAxisAngle({1, 1, 0}, 0.5f + 1e-6f);
    for (const oxQuaternionf& q : {slerp(a, a, 0.3f), slerp(a, b, 0.7f), slerp(a, -a, 0.5f)}) {
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w));
        EXPECT_TRUE(sameRotation(q, a, 1e-5f));
    }
}
