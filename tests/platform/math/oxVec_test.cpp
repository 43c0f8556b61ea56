#include <cfloat>
#include <type_traits>

#include <gtest/gtest.h>

#include "platform/math/oxVec2f.h"
#include "platform/math/oxVec3f.h"
#include "platform/math/oxVec4f.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::near;

static_assert(std::is_trivially_copyable_v<oxVec2f> && sizeof(oxVec2f) == 2 * sizeof(float));
static_assert(std::is_trivially_copyable_v<oxVec3f> && sizeof(oxVec3f) == 3 * sizeof(float));
static_assert(std::is_trivially_copyable_v<oxVec4f> && sizeof(oxVec4f) == 4 * sizeof(float));
static_assert(oxVec3f(1, 2, 3)[2] == 3.0f, "indexing works in constant expressions");

TEST(oxMathDefs, AnglesConvertAndIsEqualIsAbsoluteNearZeroAndRelativeAbove)
{
    EXPECT_FLOAT_EQ(oxDegToRad(180.0f), kPi);
    EXPECT_FLOAT_EQ(oxRadToDeg(kHalfPi), 90.0f);
    EXPECT_TRUE(oxIsEqual(0.0f, 5e-7f, 1e-6f));
    EXPECT_FALSE(oxIsEqual(0.0f, 2e-6f, 1e-6f));
    EXPECT_TRUE(oxIsEqual(1e6f, 1e6f + 0.5f, 1e-6f));
    EXPECT_FALSE(oxIsEqual(1e6f, 1e6f + 4.0f, 1e-6f));
    EXPECT_FALSE(oxIsEqual(1.0f, -1.0f, 1e-6f));
}

TEST(oxVec, CrossIsRightHandedAndOrthogonal)
{
    EXPECT_EQ(cross(oxVec3f(1, 0, 0), oxVec3f(0, 1, 0)), oxVec3f(0, 0, 1));
    EXPECT_EQ(cross(oxVec3f(0, 1, 0), oxVec3f(0, 0, 1)), oxVec3f(1, 0, 0));
    EXPECT_EQ(cross(oxVec2f(1, 0), oxVec2f(0, 1)), 1.0f);

    TestUtil::Random rnd;
    for (int i = 0; i < 100; ++i) {
        const oxVec3f a = rnd.vec3(), b = rnd.vec3();
        const oxVec3f c = cross(a, b);
        EXPECT_NEAR(dot(c, a), 0.0f, 1e-6f);
        EXPECT_NEAR(dot(c, b), 0.0f, 1e-6f);
        // Lagrange's identity ties the cross product's length to the dot product.
        EXPECT_NEAR(c.lengthSquared() + dot(a, b) * dot(a, b), a.lengthSquared() * b.lengthSquared(), 1e-5f);
    }
}

TEST(oxVec, NormalizeReturnsOldLengthAndLeavesZeroAlone)
{
    oxVec3f v(3, 0, 4);
    EXPECT_FLOAT_EQ(v.normalize(), 5.0f);
    EXPECT_TRUE(near(v, oxVec3f(0.6f, 0, 0.8f)));
    oxVec4f w(1, 1, 1, 1);
    EXPECT_FLOAT_EQ(w.normalize(), 2.0f);
    EXPECT_FLOAT_EQ(w.length(), 1.0f);
    const oxVec2f u(-6, 8);
    EXPECT_FLOAT_EQ(u.normalized().length(), 1.0f);

    oxVec3f z;
    EXPECT_EQ(z.normalize(), 0.0f);
    EXPECT_EQ(z, oxVec3f());
    EXPECT_EQ(oxVec4f().normalized(), oxVec4f());
    // Its squared length is already denormal; a threshold on the length would refuse it.
    oxVec3f tiny(1e-19f, 0, 0);
    tiny.normalize();
    EXPECT_TRUE(near(tiny, oxVec3f(1, 0, 0)));
}

TEST(oxVec, LerpHitsEndpointsExactly)
{
    const oxVec3f a(0.1f, -7.3f, 1e5f), b(3.3f, 2.2f, -0.7f);
    EXPECT_EQ(lerp(a, b, 0.0f), a);
    EXPECT_EQ(lerp(a, b, 1.0f), b);
    EXPECT_TRUE(near(lerp(a, b, 0.25f), a + (b - a) * 0.25f, 1e-6f));
}

TEST(oxVec, BezierInterpolatesEndpointsAndReproducesLines)
{
    const oxVec3f p0(0, 0, 0), p1(1, 2, 0), p2(3, 2, 1), p3(4, 0, 1);
    EXPECT_EQ(bezier(p0, p1, p2, p3, 0.0f), p0);
    EXPECT_EQ(bezier(p0, p1, p2, p3, 1.0f), p3);
    // Control points evenly spaced on a line make the curve the line at uniform speed.
    const oxVec2f a(-2, 1), b(4, 7);
    for (float t : {0.1f, 0.5f, 0.8f}) {
        EXPECT_TRUE(oxIsEqual(bezier(a, lerp(a, b, 1.0f / 3), lerp(a, b, 2.0f / 3), b, t), lerp(a, b, t), 1e-5f));
    }
    // The midpoint of a symmetric arch is its apex: (p0 + 3 p1 + 3 p2 + p3) / 8.
    EXPECT_TRUE(near(bezier(p0, p1, p2, p3, 0.5f), oxVec3f(2, 1.5f, 0.5f)));
}
