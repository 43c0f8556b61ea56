#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/math/oxTriangleBVH.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::Random;

namespace {

using Hits = std::vector<oxTriangleBVH::Hit>;

// Every triangle tested one by one, as the tree must answer.
Hits bruteForce(const std::vector<oxVec3f>& corners, const oxVec3f& origin, const oxVec3f& dir, float length,
                ISET_SIDES sides)
{
    Hits hits;
    for (size_t i = 0; i < corners.size() / 3; ++i) {
        float t;
        const oxVec3f* c = &corners[3 * i];
        if (oxIntersectRayTriangle(origin, dir, c[0], c[1], c[2], sides, &t, nullptr, nullptr) && t <= length)
            hits.push_back({uint64_t(i), t, (c[1] - c[0]).cross(c[2] - c[0]).normalized()});
    }
    return hits;
}

// Triangle i of the soup: corners 3i, 3i + 1, 3i + 2, key i.
bool build(oxTriangleBVH& tree, const std::vector<oxVec3f>& corners)
{
    std::vector<oxTriangleBVH::Triangle> triangles;
    for (int32_t i = 0; i < int32_t(corners.size() / 3); ++i)
        triangles.push_back({{3 * i, 3 * i + 1, 3 * i + 2}, uint64_t(i)});
    return tree.build(corners.data(), sizeof(oxVec3f), int(corners.size()), triangles);
}

Hits query(const oxTriangleBVH& tree, const oxVec3f& origin, const oxVec3f& dir, float length, ISET_SIDES sides)
{
    Hits hits;
    tree.intersectRay(origin, dir, length, sides, hits);
    std::sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    return hits;
}

// Same triangles, same t and normal to the last bit.
::testing::AssertionResult same(const Hits& expected, const Hits& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << expected.size() << " hits expected, " << actual.size() << " found";
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i].key != actual[i].key || expected[i].t != actual[i].t ||
            expected[i].normal != actual[i].normal)
            return ::testing::AssertionFailure() << "hit " << i << ": triangle " << expected[i].key << " at "
                                                 << expected[i].t << " expected, " << actual[i].key << " at "
                                                 << actual[i].t << " found";
    return ::testing::AssertionSuccess();
}

// A grid of n × n squares, two triangles each, on z = 0 between 0 and n.
std::vector<oxVec3f> grid(int n)
{
    std::vector<oxVec3f> c;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const oxVec3f a(float(x), float(y), 0), b(float(x + 1), float(y), 0), d(float(x), float(y + 1), 0),
                e(float(x + 1), float(y + 1), 0);
            c.insert(c.end(), {a, b, e, a, e, d});
        }
    return c;
}

TEST(oxTriangleBVH, FindsExactlyWhatTestingEveryTriangleFinds)
{
    Random rnd(77);
    std::vector<oxVec3f> corners;
    for (int i = 0; i < 3000; ++i) {
        // Mostly small triangles, some long slivers across the scene.
        const oxVec3f centre = rnd.vec3(-10, 10);
        const float size = i % 50 ? rnd.uniform(0.05f, 1.0f) : 15.0f;
        for (int c = 0; c < 3; ++c)
            corners.push_back(centre + rnd.vec3(-size, size));
    }
    oxTriangleBVH tree;
    ASSERT_TRUE(build(tree, corners));
    EXPECT_EQ(tree.getTriangleCount(), 3000);
    EXPECT_LT(tree.getDepth(), 100);
    EXPECT_GT(tree.getMemoryUsage(), 3000 * sizeof(oxTriangleBVH::Triangle));
    int total = 0;
    for (int r = 0; r < 600; ++r) {
        SCOPED_TRACE(r);
        oxVec3f origin = rnd.vec3(-20, 20), dir;
        if (r % 3 == 0) {
            // At a triangle's corner or the middle of an edge, where neighbours meet.
            const size_t t = size_t(rnd.uniform(0, 2999.99f));
            const oxVec3f& a = corners[3 * t];
            const oxVec3f& b = corners[3 * t + 1];
            dir = (r % 2 ? a : (a + b) * 0.5f) - origin;
        } else if (r % 3 == 1) {
            // Along an axis, from inside the scene half the time.
            dir = oxVec3f(0, 0, 0);
            dir[r % 3 == 1 ? (r / 3) % 3 : 0] = r % 2 ? 1.0f : -1.0f;
            origin = rnd.vec3(-10, 10);
        } else {
            dir = rnd.unitVec3();
        }
        const float length = r % 4 ? 1e30f : rnd.uniform(1, 30);
        const ISET_SIDES sides = ISET_SIDES(1 + r % 3);
        const Hits expected = bruteForce(corners, origin, dir, length, sides);
        EXPECT_TRUE(same(expected, query(tree, origin, dir, length, sides)));
        total += int(expected.size());
    }
    EXPECT_GT(total, 600) << "the rays meet enough triangles to compare";
}

TEST(oxTriangleBVH, RaysThroughSharedEdgesAndCornersOfAGrid)
{
    const std::vector<oxVec3f> corners = grid(30);
    oxTriangleBVH tree;
    ASSERT_TRUE(build(tree, corners));
    int total = 0;
    for (int y = 0; y <= 30; y += 3)
        for (int x = 0; x <= 30; x += 2)
            for (const oxVec3f& dir : {oxVec3f(0, 0, -1), oxVec3f(0.3f, -0.2f, -1), oxVec3f(1, 0, 0)}) {
                // On grid lines, through corners and diagonals, grazing the plane along x.
                for (const oxVec3f& origin : {oxVec3f(float(x), float(y), 5), oxVec3f(x + 0.5f, y + 0.5f, 5),
                                              oxVec3f(float(x), y + 0.25f, 5), oxVec3f(-1, float(y), 0)}) {
                    const Hits expected = bruteForce(corners, origin, dir, 1e30f, ISET_BOTH);
                    EXPECT_TRUE(same(expected, query(tree, origin, dir, 1e30f, ISET_BOTH)))
                        << origin.x << " " << origin.y << " " << origin.z;
                    total += int(expected.size());
                }
            }
    EXPECT_GT(total, 500);
}

TEST(oxTriangleBVH, SmallTrianglesFarFromTheOrigin)
{
    std::vector<oxVec3f> corners = grid(40);
    for (oxVec3f& c : corners)
        c = c * 0.001f + oxVec3f(12000, -8000, 3000);
    oxTriangleBVH tree;
    ASSERT_TRUE(build(tree, corners));
    Random rnd(5);
    int total = 0;
    for (int r = 0; r < 300; ++r) {
        const oxVec3f target = oxVec3f(12000, -8000, 3000) + oxVec3f(rnd.uniform(0, 0.04f), rnd.uniform(0, 0.04f), 0);
        const oxVec3f origin = r % 2 ? target + rnd.unitVec3() * 5000.0f : target + oxVec3f(0, 0, 0.01f);
        const Hits expected = bruteForce(corners, origin, target - origin, 1e30f, ISET_BOTH);
        EXPECT_TRUE(same(expected, query(tree, origin, target - origin, 1e30f, ISET_BOTH)));
        total += int(expected.size());
    }
    EXPECT_GT(total, 100);
}

TEST(oxTriangleBVH, DegenerateInputsBuildAndAnswer)
{
    oxTriangleBVH tree;
    EXPECT_TRUE(tree.build(nullptr, 12, 0, {}));
    EXPECT_TRUE(tree.isEmpty());
    Hits hits;
    tree.intersectRay({0, 0, 1}, {0, 0, -1}, 10, ISET_BOTH, hits);
    EXPECT_TRUE(hits.empty());
    const std::vector<oxVec3f> one = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_FALSE(tree.build(nullptr, 12, 3, {{{0, 1, 2}, 0}}));
    EXPECT_FALSE(tree.build(one.data(), 12, 3, {{{0, 1, 3}, 0}})) << "a vertex number beyond the vertices";
    EXPECT_FALSE(tree.build(one.data(), 12, 3, {{{0, -1, 2}, 0}}));
    EXPECT_TRUE(tree.isEmpty());

    // Vertices shared between triangles, read where they lie, among other data.
    struct Vertex {
        float normal[3];
        oxVec3f position;
        float uv[2];
    };
    std::vector<Vertex> interleaved(4);
    const oxVec3f square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i)
        interleaved[size_t(i)].position = square[i];
    ASSERT_TRUE(tree.build(&interleaved[0].position, sizeof(Vertex), 4, {{{0, 1, 2}, 7}, {{0, 2, 3}, 9}}));
    hits.clear();
    tree.intersectRay({0.2f, 0.7f, 1}, {0, 0, -1}, 10, ISET_FRONT, hits);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].key, 9u);
    EXPECT_EQ(hits[0].normal, oxVec3f(0, 0, 1));

    // A thousand copies of one triangle: no split separates them, halving does.
    std::vector<oxVec3f> same1000;
    for (int i = 0; i < 1000; ++i)
        same1000.insert(same1000.end(), {oxVec3f(0, 0, 0), oxVec3f(1, 0, 0), oxVec3f(0, 1, 0)});
    ASSERT_TRUE(build(tree, same1000));
    EXPECT_LE(tree.getDepth(), 12);
    hits.clear();
    tree.intersectRay({0.2f, 0.2f, 1}, {0, 0, -1}, 10, ISET_BOTH, hits);
    EXPECT_EQ(hits.size(), 1000u);

    // Centres spread ever wider apart: the heuristic peels one off per level until the
    // depth limit makes it halve.
    std::vector<oxVec3f> spread;
    for (int i = 0; i < 2000; ++i) {
        const float x = std::ldexp(1.0f, i % 120 - 60);
        spread.insert(spread.end(), {oxVec3f(x, 0, 0), oxVec3f(x, 1, 0), oxVec3f(x, 0, 1)});
    }
    ASSERT_TRUE(build(tree, spread));
    EXPECT_LT(tree.getDepth(), 100);
    for (float x : {1.0f, 0.25f, 1024.0f}) {
        const oxVec3f origin(x - 1, 0.2f, 0.2f), dir(1, 0, 0);
        EXPECT_TRUE(same(bruteForce(spread, origin, dir, 1e30f, ISET_BOTH), query(tree, origin, dir, 1e30f, ISET_BOTH)));
    }
}

} // namespace
