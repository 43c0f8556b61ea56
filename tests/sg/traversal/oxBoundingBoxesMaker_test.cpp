// Bounds computed over graphs: what is stored, what is left without a bound, and why.
#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"
#include "sg/shaders/oxPlanarShadowShader.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxVertexFormat;

namespace {

// A triangle geometry over the given corners; `skinned` adds blend weights to its format.
oxSmartPointer<oxGeometry> geometry(const oxVec3f& a, const oxVec3f& b, bool skinned = false)
{
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> attr = oxGeometryAttr::_instantiateRef();
    oxVertexFormat format = oxVertexFormat::kPositions;
    if (skinned)
        format = format | oxVertexFormat::blendWeights(2);
    EXPECT_TRUE(attr->configureVertexArray(format, 3));
    attr->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);
    attr->setPosition(0, a);
    attr->setPosition(1, b);
    attr->setPosition(2, (a + b) * 0.5f);
    g->addGeometryAttr(attr);
    return g;
}

oxBox3f boundOf(const oxNode* node)
{
    return node->getBound() ? node->getBound()->getBox() : oxBox3f();
}

oxSmartPointer<oxTransform> translated(const oxVec3f& t)
{
    oxSmartPointer<oxTransform> transform = oxTransform::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation(t);
    transform->setMatrix(&m);
    return transform;
}

// A source that moves its transform 5 units along x at time 1 and stays put before.
class StepSource : public oxTransformSource {
    OX_CLASS(StepSource, oxTransformSource)
public:
    bool getMatrix(oxMatrix44f& m, int64_t t) override
    {
        m.makeTranslation(oxVec3f(t >= 1 ? 5.0f : 0.0f, 0, 0));
        return true;
    }

protected:
    StepSource() = default;
};

class BoundsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
    oxSmartPointer<oxBoundingBoxesMaker> maker = oxBoundingBoxesMaker::_instantiateRef();
};


TEST_F(BoundsTest, StaticGeometryAndTransformsGetBoundsUpToTheRoot)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGeometry> a = geometry({0, 0, 0}, {1, 2, 3});
    oxSmartPointer<oxGeometry> b = geometry({-1, -1, -1}, {0, 0, 0});
    oxSmartPointer<oxTransform> moved = translated({10, 0, 0});
    moved->appendChild(b);
    root->appendChild(a);
    root->appendChild(moved);

    EXPECT_FALSE(maker->apply(nullptr));
    ASSERT_TRUE(maker->apply(root));
    EXPECT_EQ(boundOf(a), oxBox3f({0, 0, 0}, {1, 2, 3}));
    EXPECT_EQ(boundOf(b), oxBox3f({-1, -1, -1}, {0, 0, 0}));
    EXPECT_EQ(boundOf(moved), oxBox3f({9, -1, -1}, {10, 0, 0})) << "in the parent's space";
    EXPECT_EQ(boundOf(root), oxBox3f({0, -1, -1}, {10, 2, 3}));
    EXPECT_TRUE(maker->getSkinnedBox()->isEmpty());

    // Nodes with a bound are taken at their word: a wrong bound below stays wrong above
    // until removeAll clears the graph.
    oxSmartPointer<oxAABox> wrong = oxAABox::_instantiateRef();
    wrong->set({100, 100, 100}, {101, 101, 101});
    a->setBound(wrong);
    EXPECT_EQ(maker->getBoundingBox(root)->getBox(), oxBox3f({0, -1, -1}, {10, 2, 3})) << "the root's own bound";
    EXPECT_EQ(maker->getBoundingBox(a)->getBox(), wrong->getBox());
    ASSERT_TRUE(maker->removeAll(root));
    EXPECT_FALSE(a->getBound() || b->getBound() || moved->getBound() || root->getBound());
    EXPECT_EQ(maker->getBoundingBox(root)->getBox(), oxBox3f({0, -1, -1}, {10, 2, 3}));
    EXPECT_FALSE(root->getBound()) << "asking stores nothing";

    // Light sets keep their bounds through removeAll.
    oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
    lights->setBound(wrong);
    root->appendChild(lights);
    maker->removeAll(root);
    EXPECT_EQ(lights->getBound(), wrong.get());
    EXPECT_FALSE(maker->removeAll(nullptr));
}

TEST_F(BoundsTest, DynamicDrivenAndSkinnedSubtreesLeaveTheirAncestorsUnbounded)
{
    // A dynamic group: its static child is bounded, the group and the root are not.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> dynamic = oxGroup::_instantiateRef();
    dynamic->setFlags(oxNode::IS_DYNAMIC);
    oxSmartPointer<oxGeometry> still = geometry({0, 0, 0}, {1, 1, 1});
    dynamic->appendChild(still);
    root->appendChild(dynamic);
    maker->apply(root);
    EXPECT_TRUE(still->getBound());
    EXPECT_FALSE(dynamic->getBound());
    EXPECT_FALSE(root->getBound());
    EXPECT_EQ(maker->getBoundingBox(root)->getBox(), oxBox3f({0, 0, 0}, {1, 1, 1})) << "the extent is still known";

    // Skinned geometry: no bound on it or above it; its extent only in the skinned box.
    maker->removeAll(root);
    oxSmartPointer<oxGroup> character = oxGroup::_instantiateRef();
    oxSmartPointer<oxGeometry> skin = geometry({-2, 0, 0}, {2, 4, 1}, true);
    character->appendChild(skin);
    maker->apply(character);
    EXPECT_FALSE(skin->getBound());
    EXPECT_FALSE(character->getBound());
    EXPECT_EQ(maker->getSkinnedBox()->getBox(), oxBox3f({-2, 0, 0}, {2, 4, 1}));

    // Geometry with an attribute that is not vertex geometry counts as unknown.
    oxSmartPointer<oxGeometry> odd = geometry({0, 0, 0}, {1, 1, 1});
    odd->addGeometryAttr(oxBlendStateAttr::_instantiateRef());
    maker->apply(odd);
    EXPECT_FALSE(odd->getBound());

    // A transform whose matrix comes from a source: not stored, neither above it.
    oxSmartPointer<oxGroup> top = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> driven = oxTransform::_instantiateRef();
    driven->setTransformSource(StepSource::_instantiateRef());
    oxSmartPointer<oxGeometry> inside = geometry({0, 0, 0}, {1, 1, 1});
    driven->appendChild(inside);
    top->appendChild(driven);
    maker->apply(top);
    EXPECT_TRUE(inside->getBound());
    EXPECT_FALSE(driven->getBound());
    EXPECT_FALSE(top->getBound());
    // At a given time the extent follows the source's matrix then; over the whole animation
    // a source that is not a sequence of keys says nothing, and the extent stays in the
    // transform's own space.
    maker->setTime(1);
    EXPECT_EQ(maker->getBoundingBox(top)->getBox(), oxBox3f({5, 0, 0}, {6, 1, 1}));
    maker->setTime(0);
    EXPECT_EQ(maker->getBoundingBox(top)->getBox(), oxBox3f({0, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(driven->getBound());
}

TEST_F(BoundsTest, OptimizeDropsBoundsASingleChildRepeats)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> single = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> pair = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> shared = oxGroup::_instantiateRef();
    oxSmartPointer<oxGeometry> leaf = geometry({0, 0, 0}, {1, 1, 1});
    single->appendChild(leaf);
    pair->appendChild(geometry({0, 0, 0}, {1, 1, 1}));
    pair->appendChild(geometry({2, 2, 2}, {3, 3, 3}));
    shared->appendChild(geometry({5, 5, 5}, {6, 6, 6}));
    root->appendChild(single);
    root->appendChild(pair);
    root->appendChild(shared);
    pair->appendChild(shared); // two parents
    maker->apply(root);
    for (oxNode* n : std::initializer_list<oxNode*>{root, single, pair, shared, leaf})
        ASSERT_TRUE(n->getBound());

    maker->optimize(nullptr);
    maker->optimize(root);
    EXPECT_TRUE(root->getBound()) << "no parent";
    EXPECT_FALSE(single->getBound()) << "one parent, one child";
    EXPECT_TRUE(leaf->getBound()) << "geometry keeps its bound";
    EXPECT_TRUE(pair->getBound()) << "three children";
    EXPECT_TRUE(shared->getBound()) << "two parents";
}

TEST_F(BoundsTest, ASequenceDrivenTransformEnclosesItsChildUnderEveryKey)
{
    oxSmartPointer<oxGroup> top = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> driven = oxTransform::_instantiateRef();
    oxSmartPointer<oxTransformSequence1_5> keys = oxTransformSequence1_5::_instantiateRef();
    keys->setComponentChannels(oxTransformSequence::TRANSLATION | oxTransformSequence::SCALE);
    keys->setKeyFrameCount(3);
    const oxVec3f at[3] = {{0, 0, 0}, {10, 0, 0}, {0, -4, 0}}, scale[3] = {{1, 1, 1}, {1, 1, 1}, {2, 2, 2}};
    for (int i = 0; i < 3; ++i) {
        keys->setTimeAsLong(i, i * 1000000000LL);
        keys->setTranslation(i, &at[i]);
        keys->setScale(i, &scale[i]);
    }
    keys->setDuration(2000000000);
    driven->setTransformSource(keys);
    oxSmartPointer<oxGeometry> inside = geometry({0, 0, 0}, {1, 1, 1});
    driven->appendChild(inside);
    top->appendChild(driven);

    maker->setUseWholeAnimation();
    ASSERT_TRUE(maker->apply(top));
    EXPECT_EQ(boundOf(inside), oxBox3f({0, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(driven->getBound()) << "a driven transform moves: its box is not stored";
    EXPECT_FALSE(top->getBound());
    EXPECT_EQ(maker->getBoundingBox(top)->getBox(), oxBox3f({0, -4, 0}, {11, 1, 2}));
}

// An actor is bounded by its skin's graph placed by the actor's transform, when that
// transform is one the box can follow; joints are posed by skeletons and never bounded.
TEST_F(BoundsTest, ActorsAreBoundedByTheirSkinAndJointsNever)
{
    oxSmartPointer<oxSkin> skin = oxSkin::_instantiateRef();
    skin->setSkinnedGraph(geometry(oxVec3f(-1, 0, -1), oxVec3f(1, 2, 1), true));
    oxSmartPointer<oxAppearance> look = oxAppearance::_instantiateRef();
    look->setSkin(skin);
    const auto actor = [&](float w) {
        oxSmartPointer<oxActor> a = oxActor::_instantiateRef();
        a->setAppearance(look);
        oxMatrix44f place;
        place.makeTranslation(oxVec3f(10, 0, 0));
        place.m[3][3] = w;
        a->setTransform(place);
        return a;
    };
    oxSmartPointer<oxBoundingBoxesMaker> maker = oxBoundingBoxesMaker::_instantiateRef();

    oxSmartPointer<oxActor> placed = actor(1.0f);
    ASSERT_TRUE(maker->apply(placed));
    EXPECT_EQ(boundOf(placed), oxBox3f(oxVec3f(9, 0, -1), oxVec3f(11, 2, 1)));
    EXPECT_EQ(skin->getSkinnedGraph()->getBound(), nullptr) << "nothing is stored inside a skin";
    EXPECT_EQ(maker->getSkinnedBox()->getBox(), oxBox3f(oxVec3f(-1, 0, -1), oxVec3f(1, 2, 1)));

    // A scale in (0, 1) through w may change: nothing above the actor is kept.
    oxSmartPointer<oxGroup> above = oxGroup::_instantiateRef();
    above->appendChild(actor(0.5f));
    maker->apply(above);
    EXPECT_EQ(above->getBound(), nullptr);
    EXPECT_EQ(above->getChild(0)->getBound(), nullptr);
    // Other odd values leave the box as measured and kept.
    oxSmartPointer<oxActor> odd = actor(2.0f);
    maker->apply(odd);
    EXPECT_EQ(boundOf(odd), oxBox3f(oxVec3f(-1, 0, -1), oxVec3f(1, 2, 1)));
    // No skin, no extent, no bound.
    oxSmartPointer<oxActor> bare = oxActor::_instantiateRef();
    maker->apply(bare);
    EXPECT_EQ(bare->getBound(), nullptr);

    oxSmartPointer<oxJoint> joint = oxJoint::_instantiateRef();
    oxMatrix44f bend;
    bend.makeTranslation(oxVec3f(0, 3, 0));
    joint->setMatrix(&bend);
    joint->appendChild(geometry(oxVec3f(0, 0, 0), oxVec3f(1, 1, 1)));
    oxSmartPointer<oxGroup> rig = oxGroup::_instantiateRef();
    rig->appendChild(joint);
    maker->apply(rig);
    EXPECT_EQ(joint->getBound(), nullptr);
    EXPECT_EQ(rig->getBound(), nullptr);
    EXPECT_EQ(boundOf(joint->getChild(0)), oxBox3f(oxVec3f(0, 0, 0), oxVec3f(1, 1, 1)));
    maker->setTime(0);
    EXPECT_EQ(maker->getBoundingBox(joint)->getBox(), oxBox3f(oxVec3f(0, 0, 0), oxVec3f(1, 1, 1)))
        << "a joint's box stays in its own space";

    // removeAll leaves a joint's bound alone and reaches into an actor's skin.
    oxSmartPointer<oxAABox> kept = oxAABox::_instantiateRef();
    joint->setBound(kept);
    skin->getSkinnedGraph()->setBound(oxAABox::_instantiateRef());
    maker->removeAll(rig);
    maker->removeAll(placed);
    EXPECT_EQ(joint->getBound(), kept.get());
    EXPECT_EQ(placed->getBound(), nullptr);
    EXPECT_EQ(skin->getSkinnedGraph()->getBound(), nullptr);
}

} // namespace

// Nodes that move their subtree at draw time: a billboard may turn it any way about its
// origin, a multi-pass shader draws it again under each pass's matrix.
TEST_F(BoundsTest, BillboardsAndShaderPassesBoundWhereverTheyDraw)
{
    oxSmartPointer<oxBillboard> billboard = oxBillboard::_instantiateRef();
    billboard->setOrigin(oxVec3f(5, 0, 0));
    billboard->appendChild(geometry(oxVec3f(-3, 0, 0), oxVec3f(0, 4, 0)));
    ASSERT_TRUE(maker->apply(billboard));
    // The farthest point (3, 4, 0) is 5 from the pivot.
    EXPECT_EQ(boundOf(billboard), oxBox3f(oxVec3f(0, -5, -5), oxVec3f(10, 5, 5)));

    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    shader->setPassCount(3);
    shader->appendChild(geometry(oxVec3f(0, 0, 0), oxVec3f(1, 1, 1)));
    oxMatrix44f up, aside;
    up.makeTranslation(oxVec3f(0, 10, 0));
    aside.makeTranslation(oxVec3f(-20, 0, 0));
    shader->setMatrix(1, &up);
    shader->setMatrix(2, &aside);
    shader->setPassState(2, false);
    maker->apply(shader);
    EXPECT_EQ(boundOf(shader), oxBox3f(oxVec3f(0, 0, 0), oxVec3f(1, 11, 1))) << "passes that are off draw nothing";
}

TEST_F(BoundsTest, APlanarShadowKeepsItsCastersExtentButBoundsNoAncestor)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxPlanarShadowShader> shadow = oxPlanarShadowShader::_instantiateRef();
    oxSmartPointer<oxGeometry> caster = geometry({0, 1, 0}, {1, 2, 1});
    oxSmartPointer<oxGeometry> ground = geometry({-5, 0, -5}, {5, 0, 5});
    shadow->appendChild(caster);
    root->appendChild(shadow);
    root->appendChild(ground);

    ASSERT_TRUE(maker->apply(root));
    EXPECT_EQ(boundOf(caster), oxBox3f({0, 1, 0}, {1, 2, 1}));
    EXPECT_EQ(boundOf(shadow), oxBox3f({0, 1, 0}, {1, 2, 1})) << "its subtree's extent";
    EXPECT_FALSE(root->getBound()) << "the shadow falls outside, so nothing above may cull it";
    EXPECT_TRUE(ground->getBound());

    // Once bounded, the shader adds nothing to what encloses it.
    EXPECT_EQ(maker->getBoundingBox(root)->getBox(), oxBox3f({-5, 0, -5}, {5, 0, 5}));
}
