// Attributes searched through their box hierarchy answer exactly as the walk over every
// triangle does, and the hierarchy follows the attribute's changes.
#include <climits>
#include <tuple>
#include <random>

#include "tests/sg/traversal/oxIntersectTestSupport.h"

using namespace isecttest;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS;

namespace {

struct Answer {
    bool found;
    int primitive, position;
    oxVec3f point, normal;
    bool operator==(const Answer& o) const
    {
        return found == o.found && (!found || (primitive == o.primitive && position == o.position &&
                                               point == o.point && normal == o.normal));
    }
};

class IntersectSearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::libOXSg_arkRegister(); }
    void TearDown() override { oxIntersectTraversal::setTriangleSearchThreshold(_threshold); }

    static Answer ask(const oxAttr* attr, const oxRay* ray, int primitive, int position, int sides)
    {
        Answer a{};
        a.found = oxIntersectTraversal::intersectRay(attr, ray, a.point, a.normal, primitive, position, sides, true);
        a.primitive = primitive;
        a.position = position;
        return a;
    }
    // The answer after (primitive, position), walked and searched.
    static std::pair<Answer, Answer> both(const oxAttr* attr, const oxRay* ray, int primitive, int position,
                                          int sides)
    {
        oxIntersectTraversal::setTriangleSearchThreshold(INT_MAX);
        const Answer walked = ask(attr, ray, primitive, position, sides);
        oxIntersectTraversal::setTriangleSearchThreshold(0);
        const Answer searched = ask(attr, ray, primitive, position, sides);
        return {walked, searched};
    }

private:
    int _threshold = oxIntersectTraversal::getTriangleSearchThreshold();
};

// A wavy sheet of n × n quads: rays from above and at a slant cross several folds.
Mesh sheet(int n, bool strips, bool indexed, std::mt19937& rng)
{
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    Mesh m;
    m.firstVertex = 2;
    m.positions = {{99, 99, 99}, {99, 99, 99}};
    auto at = [&](int x, int y) {
        return oxVec3f(float(x) + jitter(rng), float(y) + jitter(rng), std::sin(float(x) * 0.7f) * 2 + jitter(rng));
    };
    std::vector<oxVec3f> grid;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            grid.push_back(at(x, y));
    auto id = [&](int x, int y) { return y * (n + 1) + x; };
    std::vector<int> elements;
    if (strips) {
        // One strip per row, zigzagging between the row and the next.
        m.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
        m.primCount = n;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x <= n; ++x) {
                elements.push_back(id(x, y));
                elements.push_back(id(x, y + 1));
            }
            m.lengths.push_back(unsigned(2 * (n + 1)));
        }
    } else {
        m.primCount = 2 * n * n;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (int k : {id(x, y), id(x + 1, y), id(x + 1, y + 1), id(x, y), id(x + 1, y + 1), id(x, y + 1)})
                    elements.push_back(k);
    }
    if (indexed) {
        m.positions.insert(m.positions.end(), grid.begin(), grid.end());
        for (int e : elements)
            m.indices.push_back(uint16_t(e));
    } else {
        for (int e : elements)
            m.positions.push_back(grid[size_t(e)]);
    }
    return m;
}

TEST_F(IntersectSearchTest, TheSearchAnswersExactlyAsTheWalk)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(-1, 1), across(0, 30);
    std::vector<oxSmartPointer<oxAttr>> attrs;
    for (bool strips : {false, true})
        for (bool indexed : {false, true})
            attrs.push_back(makeAttr(sheet(30, strips, indexed, rng)));
    attrs.push_back(makeAttr2(sheet(20, true, true, rng)));

    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    int hits = 0;
    for (size_t a = 0; a < attrs.size(); ++a) {
        SCOPED_TRACE(a);
        for (int r = 0; r < 150; ++r) {
            SCOPED_TRACE(r);
            const oxVec3f target(across(rng), across(rng), unit(rng) * 2);
            // Straight down, at a slant (through several folds), along the sheet.
            const oxVec3f from = r % 3 == 0   ? oxVec3f(0, 0, 10)
                                 : r % 3 == 1 ? oxVec3f(unit(rng), unit(rng), 0.3f).normalized() * 40.0f
                                              : oxVec3f(-40, unit(rng), 0);
            ray->set(target + from, from * -1.0f, r % 4 ? 1e30f : 40);
            const int sides = 1 + r % 3;
            // Every hit, one after another.
            int primitive = -1, position = -1;
            for (int n = 0; n < 1000; ++n) {
                const auto [walked, searched] = both(attrs[a], ray, primitive, position, sides);
                ASSERT_TRUE(walked == searched) << "after " << primitive << ", " << position << ": walked "
                                                << walked.found << " " << walked.primitive << " "
                                                << walked.position << ", searched " << searched.found << " "
                                                << searched.primitive << " " << searched.position;
                if (!walked.found)
                    break;
                ++hits;
                primitive = walked.primitive;
                position = walked.position;
            }
            // From places that are no hit, and from where the walk starts over.
            std::uniform_int_distribution<int> any(-1, 40);
            for (int n = 0; n < 5; ++n) {
                const int p = any(rng), q = any(rng) * 20;
                const auto [walked, searched] = both(attrs[a], ray, p, q, sides);
                EXPECT_TRUE(walked == searched) << "after " << p << ", " << q;
            }
        }
    }
    EXPECT_GT(hits, 500) << "enough to compare";
}

TEST_F(IntersectSearchTest, TheSearchIsKeptAndFollowsChanges)
{
    std::mt19937 rng(3);
    Mesh m = sheet(12, false, true, rng);
    auto attr = makeAttr(m);
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    const oxVec3f below(6.5f, 6.2f, 0);
    ray->set(below + oxVec3f(0, 0, 10), {0, 0, -1}, 1e30f);
    auto agree = [&] {
        const auto [walked, searched] = both(attr, ray, -1, -1, ISET_BOTH);
        return walked == searched && walked.found;
    };

    oxIntersectTraversal::setTriangleSearchThreshold(0);
    ASSERT_TRUE(agree());
    const Kel::Attrs::oxGeometryCache* cache = attr->getCache();
    ASSERT_NE(cache, nullptr);
    ASSERT_TRUE(agree());
    EXPECT_EQ(attr->getCache(), cache) << "built once";

    // Lift the triangle under the ray: the new answer, not the kept one.
    const Answer before = both(attr, ray, -1, -1, ISET_BOTH).second;
    for (int c = 0; c < 3; ++c) {
        const int v = m.indices[size_t(before.position + c)] + m.firstVertex;
        attr->setPosition(v, m.positions[size_t(v)] + oxVec3f(0, 0, 5));
    }
    ASSERT_TRUE(agree());
    EXPECT_NEAR(both(attr, ray, -1, -1, ISET_BOTH).second.point.z, before.point.z + 5, 1e-3f);

    // Fewer primitives: the triangle under the ray is left out.
    attr->setPrimitiveCount(before.primitive);
    auto [walked, searched] = both(attr, ray, -1, -1, ISET_BOTH);
    EXPECT_FALSE(walked.found);
    EXPECT_FALSE(searched.found);
    attr->setPrimitiveCount(m.primCount);

    // Indices rewritten in place and announced: the first triangle now covers the ray too.
    for (int c = 0; c < 3; ++c)
        attr->getIndexArray()->set(c, m.indices[size_t(before.position + c)]);
    attr->touch();
    std::tie(walked, searched) = both(attr, ray, -1, -1, ISET_BOTH);
    EXPECT_TRUE(walked == searched);
    EXPECT_TRUE(searched.found);
    EXPECT_EQ(searched.position, 0);

    // Small attributes are walked and get no cache.
    oxIntersectTraversal::setTriangleSearchThreshold(1000);
    auto small = makeAttr(sheet(4, false, false, rng));
    ray->set({2, 2, 10}, {0, 0, -1}, 1e30f);
    ask(small, ray, -1, -1, ISET_BOTH);
    EXPECT_EQ(small->getCache(), nullptr);
}

} // namespace
