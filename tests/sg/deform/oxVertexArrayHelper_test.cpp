#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLES;
using Kel::Gfx::oxVertexFormat;

namespace {

class HelperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
    oxSmartPointer<oxVertexArrayHelper> helper = oxVertexArrayHelper::_instantiateRef();
};

// A triangle as its three positions, rotated so that the smallest comes first: the same
// triangle drawn from another corner compares equal, the reversed one does not.
using Tri = std::array<std::array<float, 3>, 3>;

std::vector<Tri> triangles(const oxGeometryAttr* a)
{
    std::vector<int> corners;
    auto element = [a](int e) {
        return (a->getIndexArray() ? int(a->getIndexArray()->get(e)) : e) + a->getFirstVertex();
    };
    if (a->getPrimitiveType() == OX_GFX_DRAW_TRIANGLES) {
        for (int e = 0; e < a->getPrimitiveCount() * 3; ++e)
            corners.push_back(element(e));
    } else {
        int first = 0;
        for (int s = 0; s < a->getPrimitiveCount(); ++s) {
            const int n = int(a->getPrimitiveLength(s));
            for (int i = 0; i + 2 < n; ++i) {
                const int v0 = element(first + i), v1 = element(first + i + 1), v2 = element(first + i + 2);
                corners.insert(corners.end(), i % 2 ? std::initializer_list<int>{v1, v0, v2}
                                                    : std::initializer_list<int>{v0, v1, v2});
            }
            first += n;
        }
    }
    std::vector<Tri> out;
    for (size_t k = 0; k + 2 < corners.size(); k += 3) {
        Tri t;
        for (int c = 0; c < 3; ++c) {
            const oxVec3f p = a->getVertexArray()->getPosition(corners[k + size_t(c)]);
            t[size_t(c)] = {p.x, p.y, p.z};
        }
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Tri> merged(std::vector<Tri> a, const std::vector<Tri>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end());
    return a;
}

// A strip set of strips with the given lengths, non-indexed, positions on a zigzag so that
// every triangle is distinct.
oxSmartPointer<oxGeometryAttr> strips(std::initializer_list<int> lengths)
{
    int total = 0;
    for (int n : lengths)
        total += n;
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, total);
    int v = 0, s = 0;
    for (int n : lengths) {
        for (int i = 0; i < n; ++i, ++v)
            a->setPosition(v, oxVec3f(float(i / 2) + 10.0f * float(s), float(i % 2), float(s)));
        a->setPrimitiveLength(s++, unsigned(n));
    }
    a->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, int(lengths.size()));
    return a;
}

oxSmartPointer<oxGeometryAttr> list(int count)
{
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, count * 3);
    for (int t = 0; t < count; ++t) {
        a->setPosition(3 * t, oxVec3f(float(t), 0, 0));
        a->setPosition(3 * t + 1, oxVec3f(float(t) + 1, 0, 0));
        a->setPosition(3 * t + 2, oxVec3f(float(t), 1, 0));
    }
    a->configurePrimitive(OX_GFX_DRAW_TRIANGLES, count);
    return a;
}

oxSmartPointer<oxUnsignedIntList> indices(std::initializer_list<uint32_t> values)
{
    oxSmartPointer<oxUnsignedIntList> l = oxUnsignedIntList::_instantiateRef();
    for (uint32_t v : values)
        l->append(v);
    return l;
}

TEST_F(HelperTest, StripsOfFewTrianglesBecomeOneTriangleListDrawingTheSameTriangles)
{
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> source = strips({3, 5, 4});
    const std::vector<Tri> before = triangles(source);
    ASSERT_EQ(before.size(), 6u);
    node->addGeometryAttr(source);
    helper->unStripGeometry(node, 3);
    ASSERT_EQ(node->getGeometryAttrCount(), 2);
    EXPECT_EQ(node->getGeometryAttr(0), source.get());
    EXPECT_EQ(source->getPrimitiveCount(), 1);
    EXPECT_EQ(source->getPrimitiveLength(0), 5u);
    auto* made = oxGeometryAttr::dynamicCast(node->getGeometryAttr(1));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->getPrimitiveType(), OX_GFX_DRAW_TRIANGLES);
    EXPECT_EQ(made->getPrimitiveCount(), 3);
    EXPECT_EQ(merged(triangles(source), triangles(made)), before) << "same triangles, same winding";

    // Without a limit every strip moves and the emptied source goes.
    oxSmartPointer<oxGeometry> all = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> s2 = strips({4, 6, 3, 7});
    const std::vector<Tri> expected = triangles(s2);
    all->addGeometryAttr(s2);
    helper->unStripGeometry(all);
    ASSERT_EQ(all->getGeometryAttrCount(), 1);
    auto* only = oxGeometryAttr::dynamicCast(all->getGeometryAttr(0));
    EXPECT_EQ(only->getPrimitiveType(), OX_GFX_DRAW_TRIANGLES);
    EXPECT_EQ(only->getPrimitiveCount(), 12);
    EXPECT_EQ(triangles(only), expected);
}

TEST_F(HelperTest, StripMakingAndStitchingKeepTheTriangles)
{
    // A grid of triangles in strip order: the strips the helper makes join neighbours.
    oxSmartPointer<oxGeometryAttr> grid = oxGeometryAttr::_instantiateRef();
    const int w = 5;
    grid->configureVertexArray(oxVertexFormat::kPositions, 2 * (w + 1));
    for (int i = 0; i <= w; ++i) {
        grid->setPosition(2 * i, oxVec3f(float(i), 0, 0));
        grid->setPosition(2 * i + 1, oxVec3f(float(i), 1, 0));
    }
    oxIndexArray* idx = grid->configureIndexArray(0);
    for (int i = 0; i < w; ++i)
        for (int k : {2 * i, 2 * i + 2, 2 * i + 1, 2 * i + 1, 2 * i + 2, 2 * i + 3})
            idx->append(uint16_t(k));
    grid->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * w);
    oxSmartPointer<oxGeometryAttr> stripped;
    helper->strip(grid, stripped);
    ASSERT_TRUE(stripped);
    EXPECT_EQ(stripped->getPrimitiveType(), OX_GFX_DRAW_TRIANGLE_STRIPS);
    EXPECT_LT(stripped->getPrimitiveCount(), 2 * w) << "neighbours share strips";
    EXPECT_EQ(triangles(stripped), triangles(grid));

    oxSmartPointer<oxGeometryAttr> several = strips({3, 5, 4, 6});
    oxSmartPointer<oxGeometryAttr> one;
    helper->stitchStrips(several, one);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->getPrimitiveCount(), 1);
    EXPECT_EQ(triangles(one), triangles(several)) << "joins add only degenerate triangles";
}

TEST_F(HelperTest, DeletingCopyingAndAppendingTriangles)
{
    oxSmartPointer<oxGeometryAttr> a = list(4);
    const std::vector<Tri> all = triangles(a);
    helper->deleteTriangles(a, indices({0, 2}));
    EXPECT_EQ(a->getPrimitiveCount(), 2);
    EXPECT_EQ(a->getVertexCount(), 6);
    EXPECT_EQ(a->getVertexArray()->getPosition(0), oxVec3f(1, 0, 0)) << "triangle 1 first";
    EXPECT_EQ(a->getVertexArray()->getPosition(3), oxVec3f(3, 0, 0)) << "then triangle 3";
    helper->deleteTriangles(nullptr, indices({0}));
    helper->deleteTriangles(a, nullptr);
    EXPECT_EQ(a->getPrimitiveCount(), 2);

    oxSmartPointer<oxGeometryAttr> source = list(4), target = oxGeometryAttr::_instantiateRef();
    target->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 0);
    helper->copyTriangles(source, target, indices({0, 2}));
    helper->copyTriangles(source, target, indices({3}));
    EXPECT_EQ(target->getPrimitiveCount(), 3);
    std::vector<Tri> want = {all[0], all[2], all[3]};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(triangles(target), want);

    helper->appendTriangle(target, 2);
    EXPECT_EQ(target->getPrimitiveCount(), 5);
    EXPECT_EQ(target->getVertexCount(), 15);
    EXPECT_EQ(triangles(target), want) << "the new triangles are zero-sized";

    // Splitting a triangle at its centre: three triangles, the point where the weights say.
    oxSmartPointer<oxGeometryAttr> one = list(1);
    helper->splitTriangle(one, 0, 1, 1, 1);
    ASSERT_EQ(one->getPrimitiveCount(), 3);
    const oxVec3f centre(1.0f / 3, 1.0f / 3, 0);
    float area = 0;
    for (int t = 0; t < 3; ++t) {
        const oxVec3f p0 = one->getVertexArray()->getPosition(3 * t), p1 = one->getVertexArray()->getPosition(3 * t + 1),
                      p2 = one->getVertexArray()->getPosition(3 * t + 2);
        EXPECT_LT((p2 - centre).length(), 1e-6f);
        const float z = (p1 - p0).cross(p2 - p0).z;
        EXPECT_GT(z, 0) << "winding kept";
        area += 0.5f * z;
    }
    EXPECT_NEAR(area, 0.5f, 1e-6f);
}

TEST_F(HelperTest, IndexingDegenerateTrianglesAndFormats)
{
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, 8);
    for (int i = 0; i < 8; ++i)
        a->setPosition(i, oxVec3f(float(i), float(i * i % 5), 0));
    oxIndexArray* idx = a->configureIndexArray(0);
    for (uint16_t k : {0, 1, 2, 3, 3, 4, 5, 6, 7})
        idx->append(k);
    a->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 3);
    helper->removeDegenerate(a.get());
    EXPECT_EQ(a->getPrimitiveCount(), 2);
    ASSERT_EQ(idx->getCount(), 6);
    const uint16_t want[6] = {0, 1, 2, 5, 6, 7};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(idx->get(i), want[i]);

    // De-indexing then re-indexing draws the same triangles from shared vertices again.
    const std::vector<Tri> before = triangles(a);
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(a);
    helper->deindex(node.get());
    EXPECT_FALSE(a->getIndexArray());
    EXPECT_EQ(a->getVertexCount(), 6);
    EXPECT_EQ(triangles(a), before);
    helper->reindex(node);
    ASSERT_TRUE(a->getIndexArray());
    EXPECT_EQ(a->getVertexCount(), 6) << "no vertex repeats here";
    EXPECT_EQ(triangles(a), before);
    oxSmartPointer<oxGeometryAttr> shared = list(2);
    shared->getVertexArray()->setPosition(3, oxVec3f(0, 0, 0));
    shared->getVertexArray()->setPosition(4, oxVec3f(1, 0, 0));
    const std::vector<Tri> sharedBefore = triangles(shared);
    oxSmartPointer<oxGeometry> n2 = oxGeometry::_instantiateRef();
    n2->addGeometryAttr(shared);
    helper->reindex(n2);
    EXPECT_EQ(shared->getVertexCount(), 4);
    EXPECT_EQ(triangles(shared), sharedBefore);

    // Flat normals.
    oxSmartPointer<oxGeometryAttr> tri = oxGeometryAttr::_instantiateRef();
    tri->configureVertexArray(oxVertexFormat::kPositions, 3);
    tri->setPosition(1, oxVec3f(1, 0, 0));
    tri->setPosition(2, oxVec3f(0, 1, 0));
    tri->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 1);
    helper->createNormals(tri);
    ASSERT_TRUE(tri->getVertexFormat().hasNormals());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tri->getVertexArray()->getNormal(i), oxVec3f(0, 0, 1));
    EXPECT_EQ(tri->getVertexArray()->getPosition(2), oxVec3f(0, 1, 0));

    const oxVertexFormat plain = oxVertexFormat::kPositions;
    const oxVertexFormat rich = oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(2);
    EXPECT_FALSE(helper->isCompatible(rich, plain));
    EXPECT_TRUE(helper->isCompatible(plain, rich));
    EXPECT_TRUE(helper->isCompatible(rich, rich));
    EXPECT_FALSE(helper->isCompatible(oxVertexFormat::texCoords(3), oxVertexFormat::texCoords(2)));
    EXPECT_FALSE(helper->isCompatible(oxVertexFormat::texCoords(1, 3), oxVertexFormat::texCoords(1, 2)));

    helper->forceFormat(tri, plain | oxVertexFormat::kColors, plain);
    EXPECT_EQ(tri->getVertexFormat(), plain | oxVertexFormat::kColors);
    EXPECT_EQ(tri->getVertexArray()->getPosition(1), oxVec3f(1, 0, 0));
}

TEST_F(HelperTest, TangentsAreUnitVectorsAlongUAndBinormalsAlongV)
{
    // A tilted quad whose u runs along (1, 0, 1) and v along y, and a second mapping that
    // turns u onto y.
    for (bool turned : {false, true}) {
        oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::texCoords(2), 4);
        const oxVec3f p[4] = {{0, 0, 0}, {2, 0, 2}, {2, 3, 2}, {0, 3, 0}};
        const oxVec2f uv[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int i = 0; i < 4; ++i) {
            a->setPosition(i, p[i]);
            a->setTextureCoord(i, 1, turned ? oxVec2f(uv[i].y, uv[i].x) : uv[i]);
        }
        oxIndexArray* idx = a->configureIndexArray(0);
        for (uint16_t k : {0, 1, 2, 0, 2, 3})
            idx->append(k);
        a->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2);
        helper->generateTangentsAndBinormals(a, 1);
        const oxVertexFormat f = a->getVertexFormat();
        ASSERT_TRUE(f.getBits() & (1u << 22));
        ASSERT_TRUE(f.getBits() & (1u << 23));
        const oxVec3f u = oxVec3f(1, 0, 1).normalized(), v(0, 1, 0);
        for (int i = 0; i < 4; ++i) {
            const oxVec3f t = a->getVertexArray()->getTangent(i), b = a->getVertexArray()->getBinormal(i);
            EXPECT_NEAR(t.length(), 1, 1e-5f);
            EXPECT_NEAR(b.length(), 1, 1e-5f);
            EXPECT_NEAR(t.dot(turned ? v : u), 1, 1e-5f) << i;
            EXPECT_NEAR(b.dot(turned ? u : v), 1, 1e-5f) << i;
            EXPECT_EQ(a->getVertexArray()->getPosition(i), p[i]);
        }
    }
    oxbtest::WarningCatcher w;
    helper->generateTangentsAndBinormals(list(1), 0);
    EXPECT_EQ(w.count(), 1u) << "no texture set to follow";
}

TEST_F(HelperTest, EdgesSplittingAndCompaction)
{
    // Two faces folded at a right angle, and one flat pair.
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, 6);
    const oxVec3f p[6] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 6; ++i)
        a->setPosition(i, p[i]);
    a->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2);
    oxSmartPointer<oxGeometryAttr> creases = helper->extractEdges(a, 45, 135);
    ASSERT_TRUE(creases);
    EXPECT_EQ(creases->getPrimitiveCount(), 1) << "the fold";
    oxSmartPointer<oxGeometryAttr> rims = helper->extractEdges(a, 136, 180);
    EXPECT_EQ(rims->getPrimitiveCount(), 4) << "edges of one face";

    // Too many vertices for 16-bit indices: pieces that fit, the same triangles.
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> big = list(22000);
    const size_t count = triangles(big).size();
    node->addGeometryAttr(big);
    helper->split(node);
    ASSERT_EQ(node->getGeometryAttrCount(), 2);
    size_t total = 0;
    for (int i = 0; i < 2; ++i) {
        auto* piece = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        EXPECT_LE(piece->getVertexCount(), 65536);
        total += triangles(piece).size();
    }
    EXPECT_EQ(total, count);

    // Compaction drops empty attributes and the vertices before an offset.
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> offset = list(3);
    offset->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2, 3);
    const std::vector<Tri> kept = triangles(offset);
    oxSmartPointer<oxGeometryAttr> empty = list(1);
    empty->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 0);
    g->addGeometryAttr(empty);
    g->addGeometryAttr(offset);
    helper->compactGeometryAttr(g);
    ASSERT_EQ(g->getGeometryAttrCount(), 1);
    EXPECT_EQ(offset->getFirstVertex(), 0);
    EXPECT_EQ(offset->getVertexCount(), 6);
    EXPECT_EQ(triangles(offset), kept);
}

} // namespace
