#include <gtest/gtest.h>

#include "platform/math/oxIntersect.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::near;
using Kel::Math::TestUtil::Random;

namespace {

// Counter-clockwise seen from +Z, so its front faces a ray coming from above.
const oxVec3f kV0(0, 0, 0), kV1(4, 0, 0), kV2(0, 4, 0);
const oxVec3f kDown(0, 0, -1);

} // namespace

TEST(oxIntersectRayTriangle, HitReportsDistanceAndBarycentrics)
{
    float t = -1, u = -1, v = -1;
    ASSERT_TRUE(oxIntersectRayTriangle({1, 2, 5}, {0, 0, -2}, kV0, kV1, kV2, ISET_FRONT, &t, &u, &v));
    EXPECT_FLOAT_EQ(t, 2.5f); // in units of the unnormalised direction
    EXPECT_FLOAT_EQ(u, 0.25f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    EXPECT_TRUE(oxIntersectRayTriangle({1, 2, 5}, kDown, kV0, kV1, kV2, ISET_FRONT, nullptr, nullptr, nullptr));
}

TEST(oxIntersectRayTriangle, RandomHitsReconstructTheHitPoint)
{
    Random rnd;
    for (int i = 0; i < 200; ++i) {
        const oxVec3f a = rnd.vec3(-3, 3), b = rnd.vec3(-3, 3), c = rnd.vec3(-3, 3);
        const float bu = rnd.uniform(0.05f, 0.45f), bv = rnd.uniform(0.05f, 0.45f);
        const oxVec3f target = a + (b - a) * bu + (c - a) * bv;
        const oxVec3f origin = rnd.vec3(-10, 10);
        float t, u, v;
        ASSERT_TRUE(oxIntersectRayTriangle(origin, target - origin, a, b, c, ISET_BOTH, &t, &u, &v));
        EXPECT_NEAR(t, 1.0f, 1e-3f);
        EXPECT_NEAR(u, bu, 1e-3f);
        EXPECT_NEAR(v, bv, 1e-3f);
    }
}

TEST(oxIntersectRayTriangle, MissesOutsideTheEdges)
{
    for (const oxVec3f& o : {oxVec3f(-0.1f, 1, 1), oxVec3f(1, -0.1f, 1), oxVec3f(2.1f, 2, 1), oxVec3f(9, 9, 1)})
        EXPECT_FALSE(oxIntersectRayTriangle(o, kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    // Edges and corners belong to the triangle.
    EXPECT_TRUE(oxIntersectRayTriangle({2, 2, 1}, kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    EXPECT_TRUE(oxIntersectRayTriangle({0, 0, 1}, kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
}

TEST(oxIntersectRayTriangle, SideSelectsByWindingSeenFromTheOrigin)
{
    const oxVec3f above(1, 1, 3), below(1, 1, -3);
    // From above, v0 v1 v2 run counter-clockwise: the front.
    EXPECT_TRUE(oxIntersectRayTriangle(above, kDown, kV0, kV1, kV2, ISET_FRONT, nullptr, nullptr, nullptr));
    EXPECT_FALSE(oxIntersectRayTriangle(above, kDown, kV0, kV1, kV2, ISET_BACK, nullptr, nullptr, nullptr));
    EXPECT_TRUE(oxIntersectRayTriangle(above, kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    // From below they run clockwise: the back.
    EXPECT_FALSE(oxIntersectRayTriangle(below, -kDown, kV0, kV1, kV2, ISET_FRONT, nullptr, nullptr, nullptr));
    EXPECT_TRUE(oxIntersectRayTriangle(below, -kDown, kV0, kV1, kV2, ISET_BACK, nullptr, nullptr, nullptr));
    EXPECT_TRUE(oxIntersectRayTriangle(below, -kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    // Reversing the winding swaps the sides.
    EXPECT_TRUE(oxIntersectRayTriangle(below, -kDown, kV0, kV2, kV1, ISET_FRONT, nullptr, nullptr, nullptr));
}

TEST(oxIntersectRayTriangle, IgnoresTrianglesBehindTheOriginAndParallelRays)
{
    EXPECT_FALSE(oxIntersectRayTriangle({1, 1, -1}, kDown, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    EXPECT_FALSE(oxIntersectRayTriangle({-1, 1, 0}, {1, 0, 0}, kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    EXPECT_FALSE(oxIntersectRayTriangle({1, 1, 1}, kDown, kV0, kV1, kV1, ISET_BOTH, nullptr, nullptr, nullptr));
    EXPECT_FALSE(oxIntersectRayTriangle({1, 1, 1}, oxVec3f(), kV0, kV1, kV2, ISET_BOTH, nullptr, nullptr, nullptr));
    // A ray starting on the triangle hits it at t = 0.
    float t = -1;
    EXPECT_TRUE(oxIntersectRayTriangle({1, 1, 0}, kDown, kV0, kV1, kV2, ISET_BOTH, &t, nullptr, nullptr));
    EXPECT_EQ(t, 0.0f);
}

TEST(oxIntersectRayTriangle, WorksAtAnyScale)
{
    for (float s : {1e-4f, 1e4f}) {
        float t;
        ASSERT_TRUE(oxIntersectRayTriangle(oxVec3f(1, 1, 2) * s, kDown * s, kV0 * s, kV1 * s, kV2 * s, ISET_FRONT, &t,
                                           nullptr, nullptr));
        EXPECT_FLOAT_EQ(t, 2.0f);
        // A slope of 1e-3 against the plane is well clear of the parallel cut-off.
        EXPECT_TRUE(oxIntersectRayTriangle(oxVec3f(-1, 1, 2e-3f) * s, oxVec3f(1, 0, -1e-3f) * s, kV0 * s, kV1 * s,
                                           kV2 * s, ISET_BOTH, nullptr, nullptr, nullptr));
    }
}

TEST(oxIntersectRayBox, ReportsEntryAndExit)
{
    const oxBox3f box({-1, -1, -1}, {1, 1, 1});
    float t0, t1;
    ASSERT_TRUE(oxIntersectRayBox({-5, 0.5f, 0}, {2, 0, 0}, box, &t0, &t1));
    EXPECT_FLOAT_EQ(t0, 2.0f);
    EXPECT_FLOAT_EQ(t1, 3.0f);
    // Diagonal through the corner region, entering through x, leaving through y.
    ASSERT_TRUE(oxIntersectRayBox({-2, -1.5f, 0}, {1, 1, 0}, box, &t0, &t1));
    EXPECT_FLOAT_EQ(t0, 1.0f);
    EXPECT_FLOAT_EQ(t1, 2.5f);
    // From inside, the entry is the origin itself.
    ASSERT_TRUE(oxIntersectRayBox({0, 0, 0}, {0, 0, -1}, oxBox3f({-1, -1, -1}, {1, 1, 4}), &t0, &t1));
    EXPECT_EQ(t0, 0.0f);
    EXPECT_EQ(t1, 1.0f);
}

TEST(oxIntersectRayBox, Misses)
{
    const oxBox3f box({-1, -1, -1}, {1, 1, 1});
    EXPECT_FALSE(oxIntersectRayBox({-5, 2, 0}, {1, 0, 0}, box, nullptr, nullptr));
    EXPECT_FALSE(oxIntersectRayBox({5, 0, 0}, {1, 0, 0}, box, nullptr, nullptr)); // behind
    EXPECT_FALSE(oxIntersectRayBox({-3, 0, 0}, {1, 3, 0}, box, nullptr, nullptr)); // passes above
    EXPECT_FALSE(oxIntersectRayBox({0, 0, 0}, {1, 0, 0}, oxBox3f(), nullptr, nullptr));
}

TEST(oxIntersectRayBox, AxisParallelRaysOnTheBoundaryHit)
{
    const oxBox3f box({-1, -1, -1}, {1, 1, 1});
    float t0, t1;
    ASSERT_TRUE(oxIntersectRayBox({-5, 1, -1}, {1, 0, 0}, box, &t0, &t1));
    EXPECT_FLOAT_EQ(t0, 4.0f);
    EXPECT_FLOAT_EQ(t1, 6.0f);
    EXPECT_FALSE(oxIntersectRayBox({-5, 1.001f, 0}, {1, 0, 0}, box, nullptr, nullptr));
}
