#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/deform/oxDeclaredFields.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;
using Kel::Gfx::oxRecordingVisualContext;
using Kel::Gfx::oxVertexFormat;
using oxbtest::WarningCatcher;

namespace {

class MrmTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
};

// A w by h grid of squares (two triangles each) in the xy plane, lifted by a bumpy height
// when `bumpy`, with normals and one texture set so that attributes travel too.
oxSmartPointer<oxMultiResolutionMeshCore> grid(int w, int h, bool bumpy, int placement)
{
    oxSmartPointer<oxVertexArray> v = oxVertexArray::_instantiateRef();
    v->configure(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(1), (w + 1) * (h + 1));
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x) {
            const int i = y * (w + 1) + x;
            const float z = bumpy ? 0.3f * std::sin(x * 0.9f) * std::cos(y * 0.7f) + 0.05f * float((x * 7 + y * 13) % 5) : 0;
            v->setPosition(i, oxVec3f(float(x), float(y), z));
            v->setNormal(i, oxVec3f(0, 0, 1));
            v->setTexCoord(0, i, oxVec2f(float(x) / float(w), float(y) / float(h)));
        }
    oxSmartPointer<oxIndexArray> idx = oxIndexArray::_instantiateRef();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint16_t a = uint16_t(y * (w + 1) + x), b = uint16_t(a + 1), c = uint16_t(a + w + 1), d = uint16_t(c + 1);
            for (uint16_t k : {a, b, d, a, d, c})
                idx->append(k);
        }
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    core->setVertexArray(v);
    core->setIndexArray(idx);
    core->setPlacementPolicy(placement);
    return core;
}

// What an instance at n triangles must draw, computed from nothing: every corner follows
// proxies down to the highest allowed vertex.
std::vector<uint16_t> expected(oxMultiResolutionMeshCore* core, unsigned n, uint16_t highest)
{
    std::vector<uint16_t> out;
    const oxUnsignedShortList* proxy = core->getProxyArray();
    for (unsigned k = 0; k < n * 3; ++k) {
        uint16_t v = core->getIndexArray()->get(int(k));
        while (v > highest && proxy->get(v) != v)
            v = proxy->get(v);
        out.push_back(v);
    }
    return out;
}

std::vector<uint16_t> drawn(oxMultiResolutionMeshInstance* m)
{
    const oxIndexArray* a = m->getInstanceArray();
    return std::vector<uint16_t>(a->begin(), a->begin() + m->getCurrentPolygonCount() * 3);
}

// The resolution that lands on count n (before the pair rule).
float resolutionFor(oxMultiResolutionMeshCore* core, unsigned n)
{
    const unsigned lo = core->getMinimumPolygonCount(), hi = core->getMaximumPolygonCount();
    return hi == lo ? 1.0f : (float(n - lo) + 0.5f) / float(hi - lo);
}

bool hasVertexAt(const oxVertexArray* v, const oxVec3f& p)
{
    for (int i = 0; i < v->getVertexCount(); ++i)
        if ((v->getPosition(i) - p).length() < 1e-5f)
            return true;
    return false;
}

int vertexAt(const oxVertexArray* v, const oxVec3f& p)
{
    for (int i = 0; i < v->getVertexCount(); ++i)
        if ((v->getPosition(i) - p).length() < 1e-5f)
            return i;
    return -1;
}

TEST_F(MrmTest, HeapSiftsEqualSiblingsLeftAndKeepsEqualKeysInPlace)
{
    oxSmartPointer<oxHeap> heap = oxHeap::_instantiateRef();
    auto make = [] { return oxSmartPointer<oxHeapable>(oxHeapable::_instantiateRef()); };
    oxSmartPointer<oxHeapable> a = make(), b = make(), c = make(), d = make();
    heap->insert(a, 1);
    heap->insert(b, 3);
    heap->insert(c, 3);
    heap->insert(d, 5);
    ASSERT_EQ(heap->get(2), b.get());
    ASSERT_EQ(heap->get(3), c.get());
    // d moves to slot 1; its children are equal, so it goes to the left one.
    EXPECT_EQ(heap->pop().get(), a.get());
    EXPECT_EQ(heap->top(), b.get());
    EXPECT_EQ(heap->get(2), d.get());
    EXPECT_EQ(heap->get(3), c.get());
    EXPECT_EQ(d->getHeapPosition(), 2u);
    EXPECT_EQ(c->getHeapPosition(), 3u);
    EXPECT_EQ(a->getHeapPosition(), 0u);

    // A left child equal to the element does not move it; a smaller right child does.
    oxSmartPointer<oxHeap> h2 = oxHeap::_instantiateRef();
    oxSmartPointer<oxHeapable> p = make(), q = make(), r = make(), s = make();
    h2->insert(p, 1);
    h2->insert(q, 5);
    h2->insert(r, 2);
    h2->insert(s, 5);
    h2->pop();
    EXPECT_EQ(h2->top(), r.get());
    EXPECT_EQ(h2->get(2), q.get());
    EXPECT_EQ(h2->get(3), s.get());
    // An equal key never sinks below an equal child.
    oxSmartPointer<oxHeap> h3 = oxHeap::_instantiateRef();
    oxSmartPointer<oxHeapable> e1 = make(), e2 = make(), e3 = make();
    h3->insert(e1, 4);
    h3->insert(e2, 4);
    h3->insert(e3, 4);
    EXPECT_EQ(h3->top(), e1.get());
    EXPECT_TRUE(h3->update(e1, 4));
    EXPECT_EQ(h3->top(), e1.get());

    EXPECT_FALSE(heap->insert(b, 2)) << "an element sits in one heap once";
    EXPECT_FALSE(h2->update(a, 0)) << "not in that heap";
}

TEST_F(MrmTest, HeapUnderRandomUpdatesAndRemovalsPopsInKeyOrder)
{
    std::mt19937 rng(7);
    oxSmartPointer<oxHeap> heap = oxHeap::_instantiateRef();
    std::vector<oxSmartPointer<oxHeapable>> all;
    for (int i = 0; i < 300; ++i) {
        all.push_back(oxHeapable::_instantiateRef());
        heap->insert(all.back(), float(rng() % 50));
    }
    for (int i = 0; i < 200; ++i) {
        oxHeapable* e = all[rng() % all.size()];
        if (i % 3 == 0)
            heap->remove(e);
        else if (!heap->update(e, float(rng() % 50)))
            heap->insert(e, float(rng() % 50));
        for (int s = 1; s <= heap->getCount(); ++s)
            ASSERT_EQ(heap->get(unsigned(s))->getHeapPosition(), unsigned(s));
    }
    float last = -1;
    while (!heap->isEmpty()) {
        oxSmartPointer<oxHeapable> e = heap->pop();
        EXPECT_GE(e->getHeapKey(), last);
        last = e->getHeapKey();
    }
}

TEST_F(MrmTest, EveryCountBetweenTheMinimumAndTheFullCountDrawsAValidMesh)
{
    for (int placement : {0, 1, 2}) {
        SCOPED_TRACE(placement);
        oxSmartPointer<oxMultiResolutionMeshCore> core = grid(12, 10, true, placement);
        const int sourceVertices = core->getVertexArray()->getVertexCount();
        ASSERT_EQ(core->generate(), kSuccess);
        const unsigned lo = core->getMinimumPolygonCount(), hi = core->getMaximumPolygonCount();
        const int vertices = core->getVertexArray()->getVertexCount();
        const uint16_t survivors = core->getMinimumVertexCount();
        EXPECT_EQ(hi, 240u);
        EXPECT_LE(lo, 1u);
        EXPECT_EQ(core->getMaximumVertexCount(), vertices);
        if (placement == 0)
            EXPECT_EQ(vertices, sourceVertices) << "substitution makes no vertices";
        else
            EXPECT_GT(vertices, sourceVertices) << "one new vertex per collapse";
        ASSERT_EQ(core->getProxyArray()->getCount(), vertices);
        ASSERT_EQ(core->getFolderArray()->getCount(), int(hi));
        ASSERT_EQ(core->getIndexArray()->getCount(), int(hi) * 3);
        // Survivors first and mapped to themselves, every later vertex to an earlier one, so
        // every chain ends at a survivor.
        for (int i = 0; i < vertices; ++i) {
            const uint16_t p = core->getProxyArray()->get(i);
            if (i < survivors)
                EXPECT_EQ(p, i);
            else
                EXPECT_LT(p, i);
        }
        for (int k = 1; k < int(hi); ++k)
            EXPECT_LE(core->getFolderArray()->get(k - 1), core->getFolderArray()->get(k)) << k;

        oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
        m->setMultiResolutionMeshCore(core);
        for (unsigned n = lo; n <= hi; ++n) {
            m->setTargetResolution(resolutionFor(core, n));
            const unsigned drawnCount = m->getCurrentPolygonCount();
            ASSERT_TRUE(drawnCount == n || drawnCount == n + 1) << n;
            const uint16_t highest = m->getCurrentVertexCount();
            const std::vector<uint16_t> got = drawn(m);
            ASSERT_EQ(got, expected(core, drawnCount, highest)) << "count " << n;
            for (uint16_t v : got) {
                ASSERT_LT(int(v), vertices);
                ASSERT_LE(v, highest) << "a collapsed vertex is drawn at count " << n;
            }
            EXPECT_EQ(m->getDrawAttr()->getPrimitiveCount(), int(drawnCount));
        }
        // At full resolution substitution draws the source triangles, only renumbered. With
        // a new vertex per collapse, the faces a collapse removes fold at its first end, so
        // the first collapse's second end (the last vertex) still stands in for its proxy.
        std::vector<uint16_t> full = drawn(m);
        EXPECT_EQ(full.size(), size_t(hi) * 3);
        if (placement == 0) {
            for (size_t k = 0; k < full.size(); ++k)
                EXPECT_EQ(full[k], core->getIndexArray()->get(int(k)));
        } else {
            EXPECT_EQ(m->getCurrentVertexCount(), vertices - 2);
        }
    }
}

TEST_F(MrmTest, ChangesInAnyOrderGiveTheArrayThatSettingTheCountDirectlyGives)
{
    oxSmartPointer<oxMultiResolutionMeshCore> core = grid(14, 9, true, 2);
    ASSERT_EQ(core->generate(), kSuccess);
    oxSmartPointer<oxMultiResolutionMeshInstance> walker = oxMultiResolutionMeshInstance::_instantiateRef();
    walker->setMultiResolutionMeshCore(core);

    walker->setTargetResolution(0.3f);
    const std::vector<uint16_t> at30 = drawn(walker);
    walker->setTargetResolution(0.9f);
    walker->setTargetResolution(0.3f);
    EXPECT_EQ(drawn(walker), at30) << "up then down";
    walker->setTargetResolution(0.05f);
    walker->setTargetResolution(0.3f);
    EXPECT_EQ(drawn(walker), at30) << "down then up";

    std::mt19937 rng(3);
    for (int i = 0; i < 120; ++i) {
        const float r = float(rng() % 1001) / 1000.0f;
        walker->setTargetResolution(r);
        oxSmartPointer<oxMultiResolutionMeshInstance> fresh = oxMultiResolutionMeshInstance::_instantiateRef();
        fresh->setMultiResolutionMeshCore(core);
        fresh->setTargetResolution(r);
        ASSERT_EQ(walker->getCurrentPolygonCount(), fresh->getCurrentPolygonCount()) << r;
        ASSERT_EQ(drawn(walker), drawn(fresh)) << "jump " << i << " to " << r;
    }
    // A copy starts from nothing and draws the same.
    oxSmartPointer<oxMultiResolutionMeshInstance> copy =
        oxMultiResolutionMeshInstance::dynamicCast(walker->createCopyRef(oxObject::kShallowCopy).get());
    ASSERT_TRUE(copy);
    copy->setTargetResolution(0.3f);
    EXPECT_EQ(drawn(copy), at30);
}

TEST_F(MrmTest, AnEdgeWhoseCollapseFlipsAFaceGoesLast)
{
    // Three faces in a plane, every cost zero. Collapsing a-b to its midpoint (0.5, 0) would
    // turn b-p-q over; that edge is made first and would win every tie without the test.
    oxSmartPointer<oxVertexArray> v = oxVertexArray::_instantiateRef();
    v->configure(oxVertexFormat::kPositions, 4);
    const oxVec3f a(0, 0, 0), b(1, 0, 0), p(0.8f, 1, 0), q(0.8f, -1, 0);
    const oxVec3f corners[4] = {a, b, p, q};
    for (int i = 0; i < 4; ++i)
        v->setPosition(i, corners[i]);
    oxSmartPointer<oxIndexArray> idx = oxIndexArray::_instantiateRef();
    for (uint16_t k : {0, 1, 2, 1, 2, 3, 0, 3, 1})
        idx->append(k);
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    core->setVertexArray(v);
    core->setIndexArray(idx);
    core->setPlacementPolicy(oxMultiResolutionMeshCore::PLACEMENT_MIDPOINT);
    core->setMinimumPolygonCount(2);
    ASSERT_EQ(core->generate(), kSuccess);
    EXPECT_TRUE(hasVertexAt(core->getVertexArray(), oxVec3f(0.9f, 0.5f, 0))) << "b-p collapsed first";
    EXPECT_FALSE(hasVertexAt(core->getVertexArray(), oxVec3f(0.5f, 0, 0)));

    // Down to one face, the flipping edge still waits while others remain.
    oxSmartPointer<oxMultiResolutionMeshCore> all = oxMultiResolutionMeshCore::_instantiateRef();
    all->setVertexArray(v);
    all->setIndexArray(idx);
    all->setPlacementPolicy(oxMultiResolutionMeshCore::PLACEMENT_MIDPOINT);
    all->setMinimumPolygonCount(0);
    ASSERT_EQ(all->generate(), kSuccess);
    EXPECT_FALSE(hasVertexAt(all->getVertexArray(), oxVec3f(0.5f, 0, 0)));
}

TEST_F(MrmTest, SubstitutionWithEqualCostsKeepsTheFirstVertex)
{
    // A flat square of two faces: every placement costs zero; the first edge made is a-b.
    oxSmartPointer<oxVertexArray> v = oxVertexArray::_instantiateRef();
    v->configure(oxVertexFormat::kPositions, 4);
    v->setPosition(0, oxVec3f(0, 0, 0));
    v->setPosition(1, oxVec3f(1, 0, 0));
    v->setPosition(2, oxVec3f(1, 1, 0));
    v->setPosition(3, oxVec3f(0, 1, 0));
    oxSmartPointer<oxIndexArray> idx = oxIndexArray::_instantiateRef();
    for (uint16_t k : {0, 1, 2, 0, 2, 3})
        idx->append(k);
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    core->setVertexArray(v);
    core->setIndexArray(idx);
    ASSERT_EQ(core->getPlacementPolicy(), oxMultiResolutionMeshCore::PLACEMENT_SUBSTITUTION);
    ASSERT_EQ(core->generate(), kSuccess);
    const oxVertexArray* out = core->getVertexArray();
    const int ia = vertexAt(out, oxVec3f(0, 0, 0)), ib = vertexAt(out, oxVec3f(1, 0, 0));
    ASSERT_GE(ia, 0);
    ASSERT_GE(ib, 0);
    EXPECT_EQ(out->getVertexCount(), 4);
    EXPECT_EQ(core->getProxyArray()->get(ib), ia) << "b went into a, a stayed";
    EXPECT_EQ(core->getMaximumPolygonCount(), 2u);
    EXPECT_EQ(core->getMinimumPolygonCount(), 1u);
    EXPECT_EQ(core->getMinimumVertexCount(), 3);
    // The removed face comes last and needs b; the kept one needs only survivors.
    EXPECT_EQ(core->getFolderArray()->get(0), 3);
    EXPECT_EQ(core->getFolderArray()->get(1), ib);
}

TEST_F(MrmTest, CoreDefaultsWeightsAndRefusals)
{
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    EXPECT_EQ(core->getAttributeWeight(oxMultiResolutionMeshCore::WEIGHT_POSITION), 1.0f);
    EXPECT_EQ(core->getAttributeWeight(oxMultiResolutionMeshCore::WEIGHT_AREA), 1.0f);
    EXPECT_EQ(core->getAttributeWeight(oxMultiResolutionMeshCore::WEIGHT_NORMAL), 0.0f);
    EXPECT_EQ(core->getMinimumPolygonCount(), 1u);
    EXPECT_EQ(core->getMinimumVertexCount(), 1);
    {
        WarningCatcher w;
        EXPECT_EQ(core->generate(), kFailure);
        EXPECT_EQ(w.count(), 1u);
        core->setAttributeWeight(12, 1);
        core->setPlacementPolicy(7);
        EXPECT_EQ(core->getPlacementPolicy(), 0);
        EXPECT_EQ(w.count(), 3u);
    }
    oxSmartPointer<oxMultiResolutionMeshCore> bad = grid(2, 2, false, 1);
    bad->getIndexArray()->set(4, 200);
    {
        WarningCatcher w;
        EXPECT_EQ(bad->generate(), kFailure);
        EXPECT_EQ(bad->getIndexArray()->get(4), 200) << "nothing changed";
    }
    // An instance of an ungenerated core draws nothing and says why.
    oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
    {
        WarningCatcher w;
        m->setTargetResolution(1);
        m->setMultiResolutionMeshCore(grid(2, 2, false, 0));
        m->setTargetResolution(1);
        EXPECT_EQ(w.count(), 2u);
        EXPECT_EQ(m->getCurrentPolygonCount(), 0u);
    }

    // A geometry attribute without indices gives its triangles in order.
    oxSmartPointer<oxGeometryAttr> attr = oxGeometryAttr::_instantiateRef();
    attr->configureVertexArray(oxVertexFormat::kPositions, 6);
    attr->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 2);
    EXPECT_TRUE(core->setGeometryAttr(attr));
    EXPECT_EQ(core->getMaximumPolygonCount(), 2u);
    EXPECT_EQ(core->getIndexArray()->get(5), 5);
    attr->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_LINES, 2);
    WarningCatcher w;
    EXPECT_FALSE(core->setGeometryAttr(attr));
}

TEST_F(MrmTest, TheDistanceToTheEyeChoosesTheResolution)
{
    oxSmartPointer<oxMultiResolutionMeshCore> core = grid(8, 8, true, 1);
    ASSERT_EQ(core->generate(), kSuccess);
    oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
    m->setMultiResolutionMeshCore(core);
    EXPECT_EQ(m->getNearEvaluationDistance(), 0.1f);
    EXPECT_EQ(m->getFarEvaluationDistance(), 1000.0f);
    m->setFarEvaluationDistance(100);
    oxSmartPointer<oxTransform> place = oxTransform::_instantiateRef();
    place->appendChild(m);
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> t = oxCommonTraversal::_instantiateRef();
    t->setVisualContext(vc);
    auto drawAt = [&](float z) {
        oxMatrix44f at;
        at.makeTranslation(oxVec3f(0, 0, -z));
        place->setMatrix(&at);
        t->reset();
        t->apply(place);
        return m->getCurrentPolygonCount();
    };
    EXPECT_EQ(drawAt(0.05f), core->getMaximumPolygonCount());
    EXPECT_EQ(drawAt(150), core->getMinimumPolygonCount());
    const unsigned middle = drawAt(50.05f);
    EXPECT_GT(middle, core->getMinimumPolygonCount());
    EXPECT_LT(middle, core->getMaximumPolygonCount());
    EXPECT_EQ(m->getDrawAttr()->getPrimitiveCount(), int(middle));

    float r = -1;
    m->setEvaluationPolicy(oxMultiResolutionMeshInstance::EVALUATION_SQUARED);
    ASSERT_TRUE(m->evaluateResolution(50.05f, r));
    EXPECT_NEAR(r, 0.25f, 1e-4f);
    m->setEvaluationPolicy(oxMultiResolutionMeshInstance::EVALUATION_SQUARE_ROOT);
    ASSERT_TRUE(m->evaluateResolution(75.025f, r));
    EXPECT_NEAR(r, 0.5f, 1e-4f);
    m->setEvaluationPolicy(oxMultiResolutionMeshInstance::EVALUATION_NONE);
    EXPECT_EQ(drawAt(500), core->getMaximumPolygonCount());
    // Between the distances an unknown policy keeps what is drawn; beyond far is still 0.
    m->setEvaluationPolicy(9);
    EXPECT_FALSE(m->evaluateResolution(50, r));
    EXPECT_EQ(drawAt(50), core->getMaximumPolygonCount());
    // Invisible instances are left alone.
    m->setEvaluationPolicy(oxMultiResolutionMeshInstance::EVALUATION_LINEAR);
    m->setFlags(oxNode::IS_INVISIBLE, true);
    EXPECT_EQ(drawAt(500), core->getMaximumPolygonCount());
}

TEST_F(MrmTest, TheBoundHoldsEveryVertexOfTheCore)
{
    oxSmartPointer<oxMultiResolutionMeshCore> core = grid(6, 4, true, 2);
    ASSERT_EQ(core->generate(), kSuccess);
    oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
    m->setMultiResolutionMeshCore(core);
    oxBox3f all;
    core->getVertexArray()->extendBox(all);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(m);
    oxBoundingBoxesMaker::_instantiateRef()->apply(root);
    ASSERT_TRUE(m->getBound()) << "even before it drew once";
    const oxBox3f box = m->getBound()->getBox();
    EXPECT_EQ(box.min, all.min);
    EXPECT_EQ(box.max, all.max);
    ASSERT_TRUE(root->getBound());
    m->setTargetResolution(0);
    oxBoundingBoxesMaker::_instantiateRef()->removeAll(root);
    oxBoundingBoxesMaker::_instantiateRef()->apply(root);
    EXPECT_EQ(m->getBound()->getBox().max, all.max) << "the fewest triangles do not shrink it";
}

TEST_F(MrmTest, RecordsRegisterWithTheirDeclaredFields)
{
    const auto names = oxDeclaredFieldNames;
    EXPECT_EQ(names("_vertex"), "position normal colors textures blend_weights blend_indices que neighbor_edges "
                                "neighbor_faces parent_vertex parent_index index final_index ");
    EXPECT_EQ(names("_edge"), "cost vertex face optimal which ");
    EXPECT_EQ(names("_face"), "vertex original_vertex folding_vertex ");
    EXPECT_EQ(names("oxHeapable"), "_heapKey _heapPosition ");
    EXPECT_EQ(names("oxMultiResolutionMeshCore"),
              "_vertexArray _indexArray _proxyArray _folderArray _minimumPolygonCount _maximumPolygonCount "
              "_minimumVertexCount _maximumVertexCount _placementPolicy _weightingPolicy ");
    EXPECT_EQ(names("oxMultiResolutionMeshInstance"),
              "_mrmCore _instanceArray _terminalArray _terminalArrayBits _lastPolygonCount _currentPolygonCount "
              "_lastVertexCount _currentVertexCount _evaluationPolicy _evaluationCenter _nearEvaluationDistance "
              "_farEvaluationDistance ");
    for (const char* list : {"_vertexList", "_edgeList", "_faceList"})
        EXPECT_TRUE(oxMetaObject::findType(list)) << list;
    EXPECT_TRUE(oxMetaObject::findType("_edge")->isDerivedFrom(oxHeapable::getClassTypeSafe()));
}

} // namespace
