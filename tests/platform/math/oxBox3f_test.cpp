#include <type_traits>

#include <gtest/gtest.h>

#include "platform/math/oxBox3f.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::near;
using Kel::Math::TestUtil::Random;

static_assert(std::is_trivially_copyable_v<oxBox3f>);

namespace {

oxBox3f cornersBox(const oxBox3f& b, const oxMatrix44f& m)
{
    oxBox3f r;
    for (float x : {b.min.x, b.max.x})
        for (float y : {b.min.y, b.max.y})
            for (float z : {b.min.z, b.max.z})
                r.extendBy(m.transformPoint({x, y, z}));
    return r;
}

} // namespace

TEST(oxBox3f, EmptyBoxContainsAndTouchesNothing)
{
    oxBox3f e;
    EXPECT_TRUE(e.isEmpty());
    EXPECT_FALSE(e.contains(oxVec3f()));
    EXPECT_FALSE(e.intersects(e));
    EXPECT_FALSE(e.intersects(oxBox3f({-1, -1, -1}, {1, 1, 1})));
    EXPECT_FALSE(oxBox3f({-1, -1, -1}, {1, 1, 1}).contains(e));
    EXPECT_EQ(e.getCenter(), oxVec3f());
    EXPECT_EQ(e.getSize(), oxVec3f());

    oxBox3f b({0, 0, 0}, {1, 1, 1});
    b.empty();
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(b, oxBox3f());
    b.transform(oxMatrix44f().makeTranslation({1, 2, 3}));
    EXPECT_EQ(b, oxBox3f());
}

TEST(oxBox3f, ExtendingGrowsToTheTightBound)
{
    oxBox3f b;
    b.extendBy(oxVec3f(1, 2, 3));
    EXPECT_FALSE(b.isEmpty());
    EXPECT_EQ(b, oxBox3f({1, 2, 3}, {1, 2, 3}));
    b.extendBy(oxVec3f(-1, 5, 3));
    EXPECT_EQ(b, oxBox3f({-1, 2, 3}, {1, 5, 3}));
    EXPECT_EQ(b.getCenter(), oxVec3f(0, 3.5f, 3));
    EXPECT_EQ(b.getSize(), oxVec3f(2, 3, 0));

    oxBox3f c;
    c.extendBy(oxBox3f());
    EXPECT_TRUE(c.isEmpty());
    c.extendBy(b);
    EXPECT_EQ(c, b);
    c.extendBy(oxBox3f({0, 0, 0}, {4, 4, 4}));
    EXPECT_EQ(c, oxBox3f({-1, 0, 0}, {4, 5, 4}));
}

TEST(oxBox3f, ContainmentAndOverlapIncludeTheBoundary)
{
    const oxBox3f b({0, 0, 0}, {2, 2, 2});
    EXPECT_TRUE(b.contains(oxVec3f(2, 0, 1)));
    EXPECT_FALSE(b.contains(oxVec3f(2.001f, 1, 1)));
    EXPECT_TRUE(b.contains(oxBox3f({0.5f, 0.5f, 0.5f}, {2, 2, 2})));
    EXPECT_FALSE(b.contains(oxBox3f({0.5f, 0.5f, 0.5f}, {2, 3, 2})));
    EXPECT_TRUE(b.intersects(oxBox3f({2, 2, 2}, {3, 3, 3})));
    EXPECT_TRUE(b.intersects(oxBox3f({-1, 0.5f, 0.5f}, {3, 1, 1})));
    // Overlapping on two axes is not enough.
    EXPECT_FALSE(b.intersects(oxBox3f({0, 0, 2.5f}, {2, 2, 3})));
}

TEST(oxBox3fTransform, MatchesTheBoxOfTheTransformedCorners)
{
    Random rnd;
    for (int i = 0; i < 100; ++i) {
        const oxVec3f a = rnd.vec3(-5, 5), c = rnd.vec3(-5, 5);
        const oxBox3f box(minimize(a, c), maximize(a, c));
        const oxMatrix44f m = rnd.affine();
        oxBox3f t = box;
        t.transform(m);
        const oxBox3f expected = cornersBox(box, m);
        EXPECT_TRUE(near(t.min, expected.min, 1e-5f));
        EXPECT_TRUE(near(t.max, expected.max, 1e-5f));
    }
}

TEST(oxBox3fTransform, ProjectiveMatricesDivideEachCorner)
{
    oxMatrix44f p;
    ASSERT_TRUE(p.perspective(90, 1, 1, 100));
    // A box in front of the camera spanning the whole view at the near plane.
    oxBox3f b({-1, -1, -10}, {1, 1, -1});
    b.transform(p);
    EXPECT_TRUE(near(b.min, oxVec3f(-1, -1, -1)));
    EXPECT_NEAR(b.max.x, 1.0f, 1e-6f);
    EXPECT_NEAR(b.max.y, 1.0f, 1e-6f);
    EXPECT_NEAR(b.max.z, p.transformPoint({0, 0, -10}).z, 1e-6f);
}
