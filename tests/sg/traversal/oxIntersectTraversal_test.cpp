#include <cmath>
#include <map>

#include "tests/platform/core/oxbFileBuilder.h"
#include "tests/sg/traversal/oxIntersectTestSupport.h"

using namespace isecttest;
using oxbfile::WarningCatcher;
using Kel::Gfx::OX_GFX_DRAW_LINES;
using Kel::Gfx::OX_GFX_DRAW_POINTS;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLE_FANS;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLES;

namespace {

constexpr int kAll = oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_VOLUME |
                     oxIntersectTraversal::RAYS_POLYGON;

::testing::AssertionResult near(const oxVec3f& a, const oxVec3f& b, float eps = 1e-4f)
{
    if ((a - b).length() <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") is not (" << b.x << ", "
                                         << b.y << ", " << b.z << ")";
}

class IntersectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::libOXSg_arkRegister(); }
    void SetUp() override { t->setHitFunction(&Recorder::onHit); }

    // Exactly these mode bits.
    void mode(int bits)
    {
        t->clearMode(~0);
        t->setMode(bits);
    }
    void run(oxNode* root)
    {
        rec.hits.clear();
        t->reset();
        t->apply(root);
    }
    // A ray straight down onto the plane z = 0 at (x, y).
    void rayDown(float x, float y, int sides = ISET_BOTH)
    {
        t->getProbe()->appendRay(oxVec3f(x, y, 10), oxVec3f(0, 0, -1), 100, sides);
    }

    oxSmartPointer<oxIntersectTraversal> t = oxIntersectTraversal::_instantiateRef();
    Recorder rec;
};

TEST_F(IntersectTest, NewTraversalStartsAtTheIdentityWithVolumeAndPolygonTests)
{
    EXPECT_EQ(t->getMode(~0), oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    EXPECT_TRUE(t->getBaseMatrix().isIdentity());
    EXPECT_TRUE(t->getTopMatrix().isIdentity());
    ASSERT_NE(t->getProbe(), nullptr);
    EXPECT_EQ(t->getProbe()->getRayCount(), 0);
    EXPECT_EQ(t->getNodeStack()->getCount(), 0);
    EXPECT_FALSE(t->popMatrix()) << "the base matrix stays";

    t->pushMatrix(translation(1, 0, 0));
    t->pushMatrix(translation(0, 2, 0));
    EXPECT_EQ(t->getTopMatrix().getTranslation(), oxVec3f(1, 2, 0));
    t->getBaseMatrix() = translation(0, 0, 5);
    t->reset();
    EXPECT_TRUE(t->getTopMatrix().isIdentity()) << "reset puts the identity back";
    EXPECT_FALSE(t->popMatrix());

    t->setMode(oxIntersectTraversal::RAYS_VOLUME);
    EXPECT_EQ(t->getMode(oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::VOLUME_VOLUME), 3);
    t->clearMode(oxIntersectTraversal::VOLUME_VOLUME);
    EXPECT_EQ(t->getMode(~0), oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
}

TEST_F(IntersectTest, NodeClassesGetTheFunctionOfTheirNearestKind)
{
    EXPECT_EQ(t->getFunction(oxGeometry::getClassTypeSafe()), &oxIntersectGeometry);
    EXPECT_EQ(t->getFunction(oxTransform::getClassTypeSafe()), &oxIntersectTransform);
    EXPECT_EQ(t->getFunction(oxGroup::getClassTypeSafe()), &oxIntersectGroup);
    EXPECT_EQ(t->getFunction(oxSegment::getClassTypeSafe()), &oxIntersectGroup);
    EXPECT_EQ(t->getFunction(oxLod::getClassTypeSafe()), &oxIntersectGroup);
    EXPECT_EQ(t->getFunction(oxNode::getClassTypeSafe()), &oxIntersectNode);
    EXPECT_EQ(t->getFunction(oxCamera::getClassTypeSafe()), &oxIntersectNode);
    // The draw traversal's table is its own.
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    EXPECT_NE(draw->getFunction(oxGeometry::getClassTypeSafe()), &oxIntersectGeometry);
}

TEST_F(IntersectTest, AGroupWhoseBoundMissesTheProbeVolumeIsPrunedWithItsChildren)
{
    mode(oxIntersectTraversal::VOLUME_VOLUME);
    t->getProbe()->setVolume(sphere({0, 0, 0}, 2));
    auto root = named<oxGroup>("root");
    auto far = named<oxGroup>("far"), here = named<oxGroup>("here");
    root->setBound(box({-100, -100, -100}, {100, 100, 100}));
    far->setBound(box({50, 50, 50}, {60, 60, 60}));
    here->setBound(box({-1, -1, -1}, {1, 1, 1}));
    // Both geometries lie at the origin, where the probe is.
    far->appendChild(geometry("inFar", {makeAttr(triangleAt(0, 0, 0))}));
    here->appendChild(geometry("inHere", {makeAttr(triangleAt(0, 0, 0))}));
    root->appendChild(far);
    root->appendChild(here);
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root", "1:here", "1:inHere"}));
    ASSERT_EQ(rec.hits.size(), 3u);
    EXPECT_EQ(rec.hits[2].path, (Names{"root", "here", "inHere"}));
    EXPECT_EQ(rec.hits[2].ray, -1) << "volume hits carry no ray";

    // A node without a bound is not tested, but its children are.
    here->setBound(nullptr);
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root", "1:inHere"}));
    // Neither is an empty group, bound or not.
    auto empty = named<oxGroup>("empty");
    empty->setBound(box({-1, -1, -1}, {1, 1, 1}));
    run(empty);
    EXPECT_TRUE(rec.hits.empty());
}

TEST_F(IntersectTest, RaysAreComparedWithTheBoundsOfGeometryOnly)
{
    mode(oxIntersectTraversal::RAYS_VOLUME);
    rayDown(0, 0);
    auto root = named<oxGroup>("root");
    root->setBound(box({50, 50, 50}, {60, 60, 60})); // far from the ray: not asked
    auto under = geometry("under", {makeAttr(triangleAt(0, 0, 0))});
    auto aside = geometry("aside", {makeAttr(triangleAt(10, 0, 0))});
    root->appendChild(under);
    root->appendChild(aside);
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"2:under"}));
    EXPECT_EQ(rec.hits[0].ray, 0);

    // A geometry whose bound no ray touches is pruned before its triangles: this one's
    // triangle lies under the ray, its (wrong) bound does not.
    auto misbounded = geometry("misbounded", {makeAttr(triangleAt(0, 0, 0))});
    misbounded->setBound(box({10, 10, -1}, {11, 11, 1}));
    mode(oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    run(misbounded);
    EXPECT_TRUE(rec.hits.empty());
    mode(oxIntersectTraversal::RAYS_POLYGON);
    run(misbounded);
    EXPECT_EQ(rec.summary(), (Names{"4:misbounded"})) << "without the ray-bound test the triangle is found";
}

// A tent along y: triangle 0 slopes up from x = -1 to the ridge at x = 0, z = 1, triangle 1
// down to x = 1. A ray along +x at z = 0.5 goes in through the first and out through the
// second.
Mesh tent()
{
    Mesh m;
    m.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    m.primCount = 1;
    m.positions = {{-1, 0, 0}, {0, -5, 1}, {0, 5, 1}, {1, 0, 0}};
    m.lengths = {4};
    return m;
}

TEST_F(IntersectTest, OneRayThroughTwoTrianglesOfAStripHitsBothInWalkingOrder)
{
    auto attr = makeAttr(tent());
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    ray->set({-5, 0, 0.5f}, {1, 0, 0}, 100);

    int primitive = -1, position = -1;
    oxVec3f point, normal;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));
    EXPECT_EQ(primitive, 0);
    EXPECT_EQ(position, 0);
    EXPECT_TRUE(near(point, {-0.5f, 0, 0.5f}));
    EXPECT_TRUE(near(normal, oxVec3f(-1, 0, 1).normalized())) << "the outside of the tent";
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));
    EXPECT_EQ(primitive, 0);
    EXPECT_EQ(position, 1) << "the second call starts after the first hit";
    EXPECT_TRUE(near(point, {0.5f, 0, 0.5f}));
    EXPECT_TRUE(near(normal, oxVec3f(1, 0, 1).normalized()))
        << "the second triangle is wound as drawn, so its front faces out of the tent too";
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));
    // Not resuming starts over.
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, false));
    EXPECT_EQ(position, 0);
    // The ray leaves through the inside of the second triangle: its back.
    primitive = position = -1;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_FRONT, true));
    EXPECT_EQ(position, 0);
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_FRONT, true));
    primitive = position = -1;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BACK, true));
    EXPECT_EQ(position, 1);
    // A ray ending inside the tent reaches only the first.
    ray->set({-5, 0, 0.5f}, {1, 0, 0}, 5);
    primitive = position = -1;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));

    // Through the traversal: two polygon hits with everything filled in.
    mode(oxIntersectTraversal::RAYS_POLYGON);
    t->getProbe()->appendRay(oxVec3f(-5, 0, 0.5f), oxVec3f(1, 0, 0), 100, ISET_BOTH);
    auto g = geometry("tent", {attr});
    run(g);
    ASSERT_EQ(rec.summary(), (Names{"4:tent", "4:tent"}));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const Hit& h = rec.hits[i];
        EXPECT_EQ(h.ray, 0);
        EXPECT_EQ(h.attribute, 0);
        EXPECT_EQ(h.primitive, 0);
        EXPECT_EQ(h.position, i);
        EXPECT_TRUE(near(h.point, {i ? 0.5f : -0.5f, 0, 0.5f}));
        EXPECT_NEAR(h.distance, i ? 5.5f : 4.5f, 1e-4f);
        EXPECT_EQ(h.path, (Names{"tent"}));
    }
}

TEST_F(IntersectTest, TheHitFunctionPrunesANodeOrStopsTheWalk)
{
    mode(kAll);
    t->getProbe()->setVolume(sphere({0, 0, 0}, 10));
    rayDown(0, 0);
    auto root = named<oxGroup>("root");
    root->setBound(box({-10, -10, -10}, {10, 10, 10}));
    root->appendChild(geometry("g1", {makeAttr(triangleAt(0, 0, 0))}));
    root->appendChild(geometry("g2", {makeAttr(triangleAt(0, 0, 0))}));

    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root", "1:g1", "2:g1", "4:g1", "1:g2", "2:g2", "4:g2"}));

    // PRUNE on a volume hit: no ray tests for that node.
    rec.answerNode = "g1";
    rec.answerType = 1;
    rec.answerAt = OX_TRAVERSAL_PRUNE;
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root", "1:g1", "1:g2", "2:g2", "4:g2"}));
    // ... nor for its children.
    rec.answerNode = "root";
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root"}));

    // STOP ends everything, and the stacks are back where the walk found them.
    rec.answerNode = "g1";
    rec.answerType = 2;
    rec.answerAt = OX_TRAVERSAL_STOP;
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:root", "1:g1", "2:g1"}));
    EXPECT_EQ(t->getNodeStack()->getCount(), 0);
    EXPECT_EQ(t->dispatch(root), OX_TRAVERSAL_STOP);
    rec.answerType = 4;
    EXPECT_EQ(t->dispatch(root), OX_TRAVERSAL_STOP);
    rec.answerAt = OX_TRAVERSAL_PRUNE;
    EXPECT_EQ(t->dispatch(root), OX_TRAVERSAL_CONTINUE) << "a pruned child does not end its siblings";
}

TEST_F(IntersectTest, OnlyTriangleListsAndStripsAreHit)
{
    mode(oxIntersectTraversal::RAYS_POLYGON);
    rayDown(0.25f, -0.5f);
    // A square around the ray in every primitive type: a fan, lines, points.
    Mesh square;
    square.positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    square.primCount = 1;
    square.lengths = {4};
    auto g = named<oxGeometry>("g");
    for (OX_GFX_DRAW type : {OX_GFX_DRAW_TRIANGLE_FANS, OX_GFX_DRAW_LINES, OX_GFX_DRAW_POINTS}) {
        Mesh m = square;
        m.type = type;
        g->addGeometryAttr(makeAttr(m));
    }
    run(g);
    EXPECT_TRUE(rec.hits.empty());
    // As a strip the same vertices are hit.
    Mesh strip = square;
    strip.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    strip.positions = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0}};
    g->addGeometryAttr(makeAttr(strip));
    run(g);
    ASSERT_EQ(rec.summary(), (Names{"4:g"}));
    EXPECT_EQ(rec.hits[0].attribute, 3);
}

// Answers TRAVERSE the first time it sees a node, then `second`: the dispatch asks first,
// the geometry and transform functions ask again.
struct SecondThoughts {
    static inline std::map<std::string, int> asked;
    static inline std::string node;
    static inline OX_TRAVERSAL_SELECT_NODE_RETURN second = OX_SELECT_NODE_TRAVERSE;
    static OX_TRAVERSAL_SELECT_NODE_RETURN select(oxTraversal*, oxNode* n)
    {
        const std::string name = n->getName().c_str();
        if (name != node)
            return OX_SELECT_NODE_TRAVERSE;
        return asked[name]++ % 2 ? second : OX_SELECT_NODE_TRAVERSE;
    }
    static OX_TRAVERSAL_SELECT_NODE_RETURN always(oxTraversal*, oxNode* n)
    {
        return node == n->getName().c_str() ? second : OX_SELECT_NODE_TRAVERSE;
    }
};

TEST_F(IntersectTest, ATransformPassedThroughLeavesItsMatrixOut)
{
    mode(oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    t->getProbe()->setVolume(sphere({0, 0, 0}, 100));
    rayDown(0, 0);
    rayDown(10, 0);
    auto root = named<oxGroup>("root");
    auto xf = named<oxTransform>("xf");
    oxMatrix44f m = translation(10, 0, 0);
    xf->setMatrix(&m);
    xf->setBound(box({9, -1, -1}, {11, 1, 1}));
    xf->appendChild(geometry("g", {makeAttr(triangleAt(0, 0, 0))}));
    root->appendChild(xf);

    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:xf", "1:g", "4:g"}));
    ASSERT_EQ(rec.hits.size(), 3u);
    EXPECT_EQ(rec.hits[2].ray, 1) << "the triangle sits at x = 10";
    EXPECT_TRUE(near(rec.hits[2].point, {10, 0, 0}));
    EXPECT_TRUE(near(rec.hits[2].localPoint, {0, 0, 0}));

    t->setNodeSelectFunctionState(true);
    SecondThoughts::node = "xf";
    SecondThoughts::second = OX_SELECT_NODE_PASS_THROUGH;
    for (auto fn : {&SecondThoughts::always, &SecondThoughts::select}) {
        t->setNodeSelectFunction(fn);
        run(root);
        EXPECT_EQ(rec.summary(), (Names{"1:g", "4:g"})) << "the transform itself is not tested";
        ASSERT_EQ(rec.hits.size(), 2u);
        EXPECT_EQ(rec.hits[1].ray, 0) << "the triangle stays at the origin";
        EXPECT_TRUE(rec.hits[1].matrix.isIdentity());
        EXPECT_EQ(rec.hits[1].path, (Names{"root", "g"})) << "nor is it on the path";
    }
    // Ignored on second thought: nothing below is visited. The geometry asks again too.
    SecondThoughts::second = OX_SELECT_NODE_IGNORE;
    SecondThoughts::asked.clear();
    run(root);
    EXPECT_TRUE(rec.hits.empty());
    SecondThoughts::node = "g";
    run(root);
    EXPECT_EQ(rec.summary(), (Names{"1:xf"}));
}

TEST_F(IntersectTest, TransformsCarryNodeSpaceHitsIntoProbeSpace)
{
    mode(oxIntersectTraversal::RAYS_POLYGON);
    // root ─ outer (translate x 10) ─ inner (scale 2, turn a quarter round z) ─ g
    auto root = named<oxGroup>("root");
    auto outer = named<oxTransform>("outer"), inner = named<oxTransform>("inner");
    oxMatrix44f mo = translation(10, 0, 0), mi, turn;
    mi.makeScale(2);
    turn.makeRotationZ(float(M_PI / 2));
    mi.postMultiply(turn);
    outer->setMatrix(&mo);
    inner->setMatrix(&mi);
    auto g = geometry("g", {makeAttr(triangleAt(1, 0, 0, 0.25f))});
    inner->appendChild(g);
    outer->appendChild(inner);
    root->appendChild(outer);
    // Node-space point (1, 0, 0): scaled to (2, 0, 0), turned to (0, 2, 0), moved to (10, 2, 0).
    t->getProbe()->appendRay(oxVec3f(10, 2, 10), oxVec3f(0, 0, -1), 100, ISET_FRONT);
    run(root);
    ASSERT_EQ(rec.summary(), (Names{"4:g"}));
    const Hit& h = rec.hits[0];
    EXPECT_TRUE(near(h.point, {10, 2, 0}));
    EXPECT_TRUE(near(h.localPoint, {1, 0, 0}));
    EXPECT_TRUE(near(h.normal, {0, 0, 1}));
    EXPECT_NEAR(h.distance, 10, 1e-4f);
    EXPECT_TRUE(near(h.matrix.transformPoint(h.localPoint), h.point));
    EXPECT_EQ(h.path, (Names{"root", "outer", "inner", "g"}));

    // The base matrix places the root in probe space.
    rec.hits.clear();
    t->reset();
    t->getBaseMatrix() = translation(0, 0, -3);
    t->apply(root);
    ASSERT_EQ(rec.summary(), (Names{"4:g"}));
    EXPECT_TRUE(near(rec.hits[0].point, {10, 2, -3}));
    EXPECT_NEAR(rec.hits[0].distance, 13, 1e-4f);

    // A singular matrix flattens the subtree to nothing.
    oxMatrix44f flat;
    flat.makeScale(oxVec3f(1, 1, 0));
    inner->setMatrix(&flat);
    run(root);
    EXPECT_TRUE(rec.hits.empty());
}

TEST_F(IntersectTest, ATransformsBoundIsInItsParentsSpaceAndItsChildrensInTheirs)
{
    mode(oxIntersectTraversal::VOLUME_VOLUME);
    t->getProbe()->setVolume(sphere({0, 0, 0}, 2));
    auto xf = named<oxTransform>("xf");
    oxMatrix44f m = translation(10, 0, 0);
    xf->setMatrix(&m);
    xf->setBound(box({-1, -1, -1}, {1, 1, 1})); // around the origin of the parent's space
    auto child = named<oxGroup>("child");
    child->setBound(box({-1, -1, -1}, {1, 1, 1})); // around x = 10 in probe space
    child->appendChild(named<oxNode>("leaf"));
    xf->appendChild(child);
    run(xf);
    EXPECT_EQ(rec.summary(), (Names{"1:xf"}));
    t->getProbe()->setVolume(box({9, -1, -1}, {11, 1, 1}));
    xf->setBound(box({9, -1, -1}, {11, 1, 1}));
    run(xf);
    EXPECT_EQ(rec.summary(), (Names{"1:xf", "1:child"}));
    // Bounds of another volume class travel into probe space the same way.
    child->setBound(sphere({0, 0, 0}, 0.5f));
    run(xf);
    EXPECT_EQ(rec.summary(), (Names{"1:xf", "1:child"}));
    child->setBound(sphere({-5, 0, 0}, 0.5f));
    run(xf);
    EXPECT_EQ(rec.summary(), (Names{"1:xf"}));
}

TEST_F(IntersectTest, TexturingTransformsDoNotMoveGeometry)
{
    mode(oxIntersectTraversal::RAYS_POLYGON);
    rayDown(0, 0);
    auto xf = named<oxTransform>("xf");
    oxMatrix44f m = translation(10, 0, 0);
    xf->setMatrix(&m);
    xf->appendChild(geometry("g", {makeAttr(triangleAt(0, 0, 0))}));
    run(xf);
    EXPECT_TRUE(rec.hits.empty());
    for (int target : {int(oxTransform::TEXTURE_MATRIX_0), int(oxTransform::VERTEX_BLEND_MATRIX_3)}) {
        xf->setTarget(target);
        run(xf);
        EXPECT_EQ(rec.summary(), (Names{"4:g"})) << target;
    }
}

TEST_F(IntersectTest, GeometryWithoutABoundGetsOneFromItsUnskinnedAttributes)
{
    mode(oxIntersectTraversal::RAYS_POLYGON);
    rayDown(0, 0);
    Mesh skinned = triangleAt(0, 0, 0);
    skinned.format = oxVertexFormat::kPositions | oxVertexFormat::blendWeights(2);
    auto g = geometry("g", {makeAttr(triangleAt(0, 0, 0)), makeAttr(skinned), makeAttr(triangleAt(5, 5, 3, 1))});
    run(g);
    // The skinned attribute lies under the ray as well, but is never tested against it.
    ASSERT_EQ(rec.summary(), (Names{"4:g"}));
    EXPECT_EQ(rec.hits[0].attribute, 0);
    auto* bound = oxAABox::dynamicCast(g->getBound());
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->getMin(), oxVec3f(-1, -1, 0));
    EXPECT_EQ(bound->getMax(), oxVec3f(6, 6, 3)) << "the skinned attribute is left out of the bound";

    // Only skinned attributes: no bound, no test.
    auto onlySkinned = geometry("onlySkinned", {makeAttr(skinned)});
    run(onlySkinned);
    EXPECT_TRUE(rec.hits.empty());
    EXPECT_EQ(onlySkinned->getBound(), nullptr);

    // Second-generation attributes are tested but give no bound; with one set by hand they
    // are found.
    auto second = geometry("second", {makeAttr2(triangleAt(0, 0, 0))});
    run(second);
    EXPECT_TRUE(rec.hits.empty());
    EXPECT_EQ(second->getBound(), nullptr);
    second->setBound(box({-1, -1, -1}, {1, 1, 1}));
    run(second);
    EXPECT_EQ(rec.summary(), (Names{"4:second"}));
}

TEST_F(IntersectTest, SkinnedAttributesOfEitherGenerationAreNeverHit)
{
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    ray->set({0, 0, 10}, {0, 0, -1}, 100);
    int primitive = -1, position = -1;
    oxVec3f point, normal;
    for (oxVertexFormat format : {oxVertexFormat::blendWeights(1), oxVertexFormat::blendIndices(4)}) {
        Mesh m = triangleAt(0, 0, 0);
        m.format = oxVertexFormat::kPositions | format;
        EXPECT_FALSE(oxIntersectTraversal::intersectRay(makeAttr(m), ray, point, normal, primitive, position,
                                                        ISET_BOTH, false));
    }
    for (auto component : {Kel::Gfx::OX_GFX_COMPONENT_BLEND_WEIGHT, Kel::Gfx::OX_GFX_COMPONENT_BLEND_INDEX}) {
        auto attr = makeAttr2(triangleAt(0, 0, 0));
        ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH,
                                                       false));
        attr->getVertexArray()->addVertexData(component, 0, Kel::Gfx::OX_GFX_SCALAR_FLOAT, 2);
        EXPECT_FALSE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH,
                                                        false));
    }
    // Nor is anything that is not a geometry attribute.
    oxSmartPointer<oxAttr> plain = Kel::Attrs::oxColorAttr::_instantiateRef();
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(plain, ray, point, normal, primitive, position, ISET_BOTH, false));
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(nullptr, ray, point, normal, primitive, position, ISET_BOTH, false));
}

TEST_F(IntersectTest, PositionsCountInTheIndexStreamAndFirstVertexShiftsEveryVertex)
{
    // Two triangles by index, after two unused vertices; the second lies under the ray.
    Mesh m;
    m.primCount = 2;
    m.firstVertex = 2;
    m.positions = {{99, 99, 99}, {99, 99, 99}, {5, 5, 0}, {6, 5, 0}, {5, 6, 0},
                   {-1, -1, 0},  {1, -1, 0},   {0, 1, 0}};
    m.indices = {0, 1, 2, 3, 4, 5};
    auto attr = makeAttr(m);
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    ray->set({0, 0, 10}, {0, 0, -1}, 100);
    int primitive = -1, position = -1;
    oxVec3f point, normal;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true));
    EXPECT_EQ(primitive, 1);
    EXPECT_EQ(position, 3);
    EXPECT_TRUE(near(point, {0, 0, 0}));
    EXPECT_TRUE(near(normal, {0, 0, 1}));

    // Strips by length: each strip's elements follow the last one's.
    Mesh strips;
    strips.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    strips.primCount = 2;
    strips.positions = {{5, 5, 0}, {6, 5, 0}, {5, 6, 0}, {-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0}};
    strips.lengths = {3, 4};
    primitive = position = -1;
    ray->set({0.5f, 0.5f, 10}, {0, 0, -1}, 100);
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(makeAttr(strips), ray, point, normal, primitive, position,
                                                   ISET_FRONT, true));
    EXPECT_EQ(primitive, 1);
    EXPECT_EQ(position, 4) << "the second triangle of the second strip";
    EXPECT_TRUE(near(normal, {0, 0, 1})) << "wound as drawn";
}

TEST_F(IntersectTest, StripsWithoutLengthsCountOneTrianglePerPrimitive)
{
    // Four vertices of a strip but one primitive: only the first triangle is searched.
    Mesh m;
    m.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    m.primCount = 1;
    m.positions = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0}};
    oxSmartPointer<oxRay> inSecond = oxRay::_instantiateRef();
    inSecond->set({0.5f, 0.5f, 10}, {0, 0, -1}, 100);
    int primitive = -1, position = -1;
    oxVec3f point, normal;
    EXPECT_FALSE(oxIntersectTraversal::intersectRay(makeAttr(m), inSecond, point, normal, primitive, position,
                                                    ISET_BOTH, true));
    // Two primitives: the second triangle, one element on, wound as the strip's second.
    m.primCount = 2;
    ASSERT_TRUE(oxIntersectTraversal::intersectRay(makeAttr(m), inSecond, point, normal, primitive, position,
                                                   ISET_FRONT, true));
    EXPECT_EQ(primitive, 1);
    EXPECT_EQ(position, 1);
    EXPECT_TRUE(near(normal, {0, 0, 1}));
}

TEST_F(IntersectTest, BrokenGeometryIsPassedOverWithoutHarm)
{
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    ray->set({0, 0, 10}, {0, 0, -1}, 100);
    auto hits = [&](oxAttr* attr) {
        int primitive = -1, position = -1, n = 0;
        oxVec3f point, normal;
        while (n < 100 &&
               oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, true))
            ++n;
        return n;
    };
    // Indices past the vertices: that triangle is skipped, the next one still found.
    Mesh m = triangleAt(0, 0, 0);
    m.positions.push_back({0, 0, 0});
    m.primCount = 2;
    m.indices = {0, 1, 7, 0, 1, 2};
    EXPECT_EQ(hits(makeAttr(m)), 1);
    // More primitives than elements.
    m.primCount = 1000;
    EXPECT_EQ(hits(makeAttr(m)), 1);
    m.indices.clear();
    EXPECT_EQ(hits(makeAttr(m)), 1);
    // Strips: fewer lengths than primitives, lengths beyond the elements, too short to hold a triangle.
    Mesh s = triangleAt(0, 0, 0);
    s.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    s.primCount = 5;
    s.lengths = {1, 0, 3};
    EXPECT_EQ(hits(makeAttr(s)), 0) << "after strips of one and no vertex the third has too few left";
    s.lengths = {3, 4000000000u};
    EXPECT_EQ(hits(makeAttr(s)), 1);
    // No vertex array at all, a vertex array without positions, an empty index array.
    oxSmartPointer<oxGeometryAttr> bare = oxGeometryAttr::_instantiateRef();
    bare->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 3);
    EXPECT_EQ(hits(bare), 0);
    bare->configureVertexArray(oxVertexFormat::kNormals, 3);
    EXPECT_EQ(hits(bare), 0);
    auto emptyIndices = makeAttr(triangleAt(0, 0, 0));
    emptyIndices->configureIndexArray(0);
    EXPECT_EQ(hits(emptyIndices), 0);
}

TEST_F(IntersectTest, EveryRayHasItsOwnSides)
{
    mode(oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    auto g = geometry("g", {makeAttr(triangleAt(0, 0, 0))});
    rayDown(0, 0, ISET_BACK);                                                         // sees the front
    t->getProbe()->appendRay(oxVec3f(0, 0, -10), oxVec3f(0, 0, 1), 100, ISET_BACK); // sees the back
    rayDown(0, 0, ISET_FRONT);
    rayDown(30, 0, ISET_BOTH);                                                        // misses
    run(g);
    EXPECT_EQ(rec.summary(), (Names{"2:g", "2:g", "2:g", "4:g", "4:g"}));
    std::vector<int> rays;
    for (const Hit& h : rec.hits)
        rays.push_back(h.ray);
    EXPECT_EQ(rays, (std::vector<int>{0, 1, 2, 1, 2}));
}

TEST_F(IntersectTest, AWalkWithoutWhatItNeedsIsRefused)
{
    rayDown(0, 0);
    auto g = geometry("g", {makeAttr(triangleAt(0, 0, 0))});
    {
        WarningCatcher warnings;
        run(g);
        EXPECT_TRUE(warnings.contains("probe has no volume")) << warnings.all();
    }
    EXPECT_TRUE(rec.hits.empty());
    mode(oxIntersectTraversal::RAYS_POLYGON);
    {
        WarningCatcher warnings;
        t->apply(nullptr);
        EXPECT_TRUE(warnings.contains("no root")) << warnings.all();
        t->setHitFunction(nullptr);
        run(g);
        EXPECT_TRUE(warnings.contains("no hit function")) << warnings.all();
        t->setHitFunction(&Recorder::onHit);
        t->setProbe(nullptr);
        run(g);
        EXPECT_TRUE(warnings.contains("no probe")) << warnings.all();
        EXPECT_EQ(t->dispatch(g), OX_TRAVERSAL_CONTINUE) << "a walk started by hand finds nothing";
    }
    EXPECT_TRUE(rec.hits.empty());
}

TEST_F(IntersectTest, TheHitFunctionMayChangeTheProbeWhileItIsUsed)
{
    mode(oxIntersectTraversal::RAYS_POLYGON);
    auto g = geometry("g", {makeAttr(triangleAt(0, 0, 0)), makeAttr(triangleAt(0, 0, -1))});
    rayDown(0, 0);
    rayDown(0, 0);
    static int calls;
    calls = 0;
    t->setHitFunction([](oxIntersectTraversal* it, oxNode*, const oxHit& hit) {
        // Drops every ray and the probe itself: the walk holds what it is using.
        ++calls;
        hit.probe->setRayCount(0);
        it->setProbe(nullptr);
        return OX_TRAVERSAL_CONTINUE;
    });
    run(g);
    EXPECT_EQ(t->getProbe(), nullptr);
    EXPECT_EQ(calls, 2) << "the ray in hand meets both attributes; the dropped second ray meets nothing";
}

} // namespace

namespace {

// A square facing +z around the origin, as a strip.
Mesh square(float half)
{
    Mesh m;
    m.type = OX_GFX_DRAW_TRIANGLE_STRIPS;
    m.primCount = 1;
    m.lengths = {4};
    m.positions = {{-half, -half, 0}, {half, -half, 0}, {-half, half, 0}, {half, half, 0}};
    return m;
}

std::vector<std::string> names(const std::vector<oxPickHit>& hits)
{
    std::vector<std::string> out;
    for (const oxPickHit& h : hits)
        out.push_back(h.path->get(h.path->getCount() - 1)->getName().c_str());
    return out;
}

TEST(oxPickRay, FindsEveryTriangleOnTheRayNearestFirst)
{
    Kel::libOXSg_arkRegister();
    // Listed far to near; the middle one is shared by two transforms.
    auto root = named<oxGroup>("root");
    auto shared = geometry("shared", {makeAttr(square(1))});
    for (float z : {-20.0f, -10.0f, -5.0f}) {
        auto xf = named<oxTransform>(z == -20 ? "far" : "near");
        oxMatrix44f m = translation(0, 0, z);
        xf->setMatrix(&m);
        xf->appendChild(z == -20 ? geometry("deep", {makeAttr(square(1))}).get() : shared.get());
        root->appendChild(xf);
    }
    // Under the ray, but behind a bound the ray misses: never entered.
    auto hidden = named<oxGroup>("hidden");
    hidden->setBound(box({5, 5, -30}, {6, 6, 30}));
    hidden->appendChild(geometry("inHidden", {makeAttr(square(1))}));
    root->appendChild(hidden);

    std::vector<oxPickHit> hits;
    ASSERT_TRUE(oxPickRay(root, {0.25f, 0.5f, 10}, {0, 0, -1}, 1e30f, ISET_BOTH, hits));
    ASSERT_EQ(names(hits), (Names{"shared", "shared", "deep"}));
    EXPECT_NEAR(hits[0].distance, 15, 1e-4f);
    EXPECT_NEAR(hits[1].distance, 20, 1e-4f);
    EXPECT_NEAR(hits[2].distance, 30, 1e-4f);
    EXPECT_TRUE(near(hits[2].point, {0.25f, 0.5f, -20}));
    EXPECT_TRUE(near(hits[2].localPoint, {0.25f, 0.5f, 0}));
    EXPECT_TRUE(near(hits[2].normal, {0, 0, 1}));
    EXPECT_EQ(hits[2].path->getCount(), 3);
    EXPECT_EQ(hits[2].path->get(1)->getName(), "far");
    EXPECT_EQ(hits[0].attributeIndex, 0);
    EXPECT_EQ(hits[0].primitiveIndex, 0);
    EXPECT_EQ(hits[0].vertexPosition, 1) << "(0.25, 0.5) lies in the strip's second triangle";

    // Limited, from below (the backs), unlimited, and with the root placed elsewhere.
    ASSERT_TRUE(oxPickRay(root, {0.25f, 0.5f, 10}, {0, 0, -1}, 16, ISET_BOTH, hits));
    EXPECT_EQ(names(hits), (Names{"shared"}));
    ASSERT_TRUE(oxPickRay(root, {0.25f, 0.5f, -30}, {0, 0, 1}, INFINITY, ISET_FRONT, hits));
    EXPECT_TRUE(hits.empty());
    ASSERT_TRUE(oxPickRay(root, {0.25f, 0.5f, -30}, {0, 0, 1}, INFINITY, ISET_BACK, hits));
    EXPECT_EQ(names(hits), (Names{"deep", "shared", "shared"}));
    const oxMatrix44f aside = translation(100, 0, 0);
    ASSERT_TRUE(oxPickRay(root, {100.25f, 0.5f, 10}, {0, 0, -1}, 1e30f, ISET_BOTH, hits, &aside));
    EXPECT_EQ(hits.size(), 3u);
}

TEST(oxPickRay, RefusesWhatIsNoRay)
{
    Kel::libOXSg_arkRegister();
    auto g = geometry("g", {makeAttr(square(1))});
    std::vector<oxPickHit> hits(2);
    WarningCatcher warnings;
    EXPECT_FALSE(oxPickRay(nullptr, {0, 0, 1}, {0, 0, -1}, 10, ISET_BOTH, hits));
    EXPECT_TRUE(hits.empty());
    EXPECT_FALSE(oxPickRay(g, {0, 0, 1}, {0, 0, 0}, 10, ISET_BOTH, hits));
    EXPECT_FALSE(oxPickRay(g, {0, 0, 1}, {0, 0, -1}, -1, ISET_BOTH, hits));
    EXPECT_FALSE(oxPickRay(g, {0, 0, 1}, {0, 0, -1}, NAN, ISET_BOTH, hits));
    EXPECT_FALSE(oxPickRay(g, {0, 0, 1}, {0, 0, -1}, 10, 0, hits));
    EXPECT_EQ(warnings.count(), 5u) << warnings.all();
    EXPECT_TRUE(oxPickRay(g, {0.25f, 0.5f, 1}, {0, 0, -1}, 10, ISET_BOTH, hits));
    EXPECT_EQ(hits.size(), 1u);
}

} // namespace
