#include <gtest/gtest.h>

#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::OX_GFX_DRAW;
using Kel::Gfx::oxRecordingVisualContext;
using Kel::Gfx::oxVertexArrayBase;
using Kel::Gfx::oxVertexFormat;
using oxbtest::WarningCatcher;

namespace {

// An attribute that counts its resets and draws nothing.
class ResetCounter : public oxAttr {
    OX_CLASS(ResetCounter, oxAttr)
public:
    int _resets = 0;
    void reset() override { ++_resets; }

protected:
    ResetCounter() = default;
    void applyTo(Kel::Gfx::oxVisualContext&) override {}
};

oxSmartPointer<oxGeometryAttr> geometryAttr(OX_GFX_DRAW type, int primitives, int vertices,
                                            oxVertexFormat format = oxVertexFormat::kPositions)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(format, vertices);
    g->configurePrimitive(type, primitives);
    for (int i = 0; i < vertices; ++i)
        g->setPosition(i, oxVec3f(float(i), float(i % 3), 1));
    return g;
}

oxSmartPointer<oxGeometryAttr2> geometryAttr2(OX_GFX_DRAW type, int primitives, int vertices)
{
    oxSmartPointer<oxGeometryAttr2> g = oxGeometryAttr2::_instantiateRef();
    g->configureVertexArray(vertices)->addVertexData(Kel::Gfx::OX_GFX_COMPONENT_POSITION, 0,
                                                       Kel::Gfx::OX_GFX_SCALAR_FLOAT, 3);
    g->configurePrimitive(type, primitives);
    return g;
}

oxSmartPointer<oxGeometry> geometryWith(std::initializer_list<oxAttr*> attrs)
{
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    for (oxAttr* a : attrs)
        g->addGeometryAttr(a);
    return g;
}

class GeometryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        oxbtest::registerAll();
        ResetCounter::arkRegister();
    }
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
};

TEST_F(GeometryTest, EachGeometryCarriesItsOwnGeometrySetAsARunTimeField)
{
    oxSmartPointer<oxGeometry> a = oxGeometry::_instantiateRef(), b = oxGeometry::_instantiateRef();
    EXPECT_TRUE(a->getTriggerState());
    EXPECT_FALSE(oxAttrSet::_instantiateRef()->getTriggerState());
    EXPECT_TRUE(a->isChildrenOrdered());
    ASSERT_TRUE(a->getGeoSet());
    EXPECT_NE(a->getGeoSet(), b->getGeoSet());

    // The run-time field comes last, is not stored, and derived classes inherit it.
    oxMetaObject* meta = oxGeometry::getClassTypeSafe();
    ASSERT_TRUE(oxGeometry::k_geoSet);
    EXPECT_EQ(meta->getIndexedMetaField(meta->getMetaFieldCount() - 1), oxGeometry::k_geoSet);
    EXPECT_FALSE(oxGeometry::k_geoSet->isPersistent());
    EXPECT_FALSE(oxGeometry::k_renderList->isPersistent());
    EXPECT_EQ(meta->getMetaField("_trigger"), oxGeometry::k_trigger);
    EXPECT_NE(oxGeometry::k_trigger, oxAttrSet::k_trigger);
}

TEST_F(GeometryTest, RenderListModeFollowsTheFlagsUnlessSkinned)
{
    oxSmartPointer<oxGeometry> g = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)});
    auto mode = [&] { return g->getGeoSet()->getRenderListMode(); };
    g->setFlags(oxNode::USE_RENDER_LIST, true);
    EXPECT_EQ(mode(), 1);
    g->setFlags(oxNode::USE_RENDER_LIST_DELETE_ORIGINAL, true);
    EXPECT_EQ(mode(), 2);
    g->setFlags(oxNode::USE_RENDER_LIST);
    EXPECT_EQ(mode(), 1);
    g->setFlags(oxNode::USE_RENDER_LIST_DELETE_ORIGINAL);
    EXPECT_EQ(mode(), 2);
    g->setFlags(oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL, false);
    EXPECT_EQ(mode(), 0);

    g->addGeometryAttr(geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3,
                                    oxVertexFormat::kPositions | oxVertexFormat::blendWeights(2)));
    g->setFlags(oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL);
    EXPECT_EQ(mode(), 0);
    EXPECT_EQ(g->getFlags(), oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL);
}

TEST_F(GeometryTest, SkinnedMeansBlendWeightsOnFirstOrExactlySecondGenerationAttributes)
{
    auto skinned = [](oxAttr* a) { return geometryWith({a})->hasSkinnedAttr(); };
    EXPECT_FALSE(skinned(geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)));
    EXPECT_TRUE(skinned(geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3,
                                     oxVertexFormat::kPositions | oxVertexFormat::blendWeights(1))));
    // Palette indices alone do not count: only the weights field does.
    EXPECT_FALSE(skinned(geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3,
                                      oxVertexFormat::kPositions | oxVertexFormat::blendIndices(2))));
    EXPECT_FALSE(skinned(oxGeometryAttr::_instantiateRef()));

    oxSmartPointer<oxGeometryAttr2> second = geometryAttr2(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    EXPECT_FALSE(skinned(second));
    second->getVertexArray()->addVertexData(Kel::Gfx::OX_GFX_COMPONENT_BLEND_WEIGHT, 0,
                                            Kel::Gfx::OX_GFX_SCALAR_FLOAT, 2);
    EXPECT_TRUE(skinned(second));
    oxSmartPointer<oxMorphedGeometryAttr> morphed = oxMorphedGeometryAttr::_instantiateRef();
    morphed->configureVertexArray(3)->addVertexData(Kel::Gfx::OX_GFX_COMPONENT_BLEND_WEIGHT, 0,
                                                    Kel::Gfx::OX_GFX_SCALAR_FLOAT, 2);
    EXPECT_FALSE(skinned(morphed));
    EXPECT_FALSE(skinned(oxVertexBlendStateAttr::_instantiateRef()));
}

TEST_F(GeometryTest, RenderListIsRecordedOnceOnTheDeviceAndDeletedThere)
{
    oxSmartPointer<oxGeometry> g = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3),
                                                 geometryAttr(Kel::Gfx::OX_GFX_DRAW_LINES, 1, 2)});
    g->setFlags(oxNode::USE_RENDER_LIST, true);
    ASSERT_TRUE(g->createRenderList(vc));
    EXPECT_EQ(vc->getTrace(), "createDisplayList 1\nbeginDisplayList 1\nendDisplayList 1\n");
    EXPECT_EQ(g->getRenderListHandle(), 1);
    EXPECT_EQ(g->getGeoSet()->getVisualContext(), vc.get());

    // The list holds exactly what drawing the attributes one by one does.
    oxSmartPointer<oxRecordingVisualContext> direct = oxRecordingVisualContext::_instantiateRef();
    for (int i = 0; i < g->getGeometryAttrCount(); ++i)
        g->getGeometryAttr(i)->apply(direct);
    ASSERT_NE(direct->getTrace().find("drawGeometry"), std::string::npos);
    vc->clearTrace();
    g->getGeoSet()->getRenderList()->apply(vc);
    EXPECT_EQ(vc->getTrace(), "callDisplayList 1\n" + direct->getTrace());

    vc->clearTrace();
    EXPECT_TRUE(g->createRenderList(vc));
    EXPECT_EQ(vc->getTrace(), "");
    g->deleteRenderList(vc);
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 1\n");
    EXPECT_EQ(g->getRenderListHandle(), -1);
    g->deleteRenderList(vc);
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 1\n");

    vc->clearTrace();
    ASSERT_TRUE(g->createRenderList(vc));
    EXPECT_EQ(g->getRenderListHandle(), 2);
    // Resetting the geometry gives the list up, and so does releasing it.
    g->reset();
    EXPECT_EQ(g->getRenderListHandle(), -1);
    ASSERT_TRUE(g->createRenderList(vc));
    vc->clearTrace();
    g = nullptr;
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 3\n");
}

TEST_F(GeometryTest, RenderListIsRefusedForSkinnedGeometryAndWhenTheDeviceFails)
{
    oxSmartPointer<oxGeometry> skinned = geometryWith({geometryAttr(
        Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3, oxVertexFormat::kPositions | oxVertexFormat::blendWeights(2))});
    EXPECT_FALSE(skinned->createRenderList(vc));
    EXPECT_EQ(vc->getTrace(), "");

    oxSmartPointer<oxGeometry> g = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)});
    EXPECT_FALSE(g->createRenderList(nullptr));
    vc->setCapability(Kel::Gfx::OX_GFX_CAP_DISPLAY_LISTS, 0);
    EXPECT_FALSE(g->createRenderList(vc));
    EXPECT_EQ(vc->getTrace(), "createDisplayList failed\n");
    EXPECT_EQ(g->getRenderListHandle(), -1);

    // A device busy recording another list cannot record this one; the new list goes again.
    vc->setCapability(Kel::Gfx::OX_GFX_CAP_DISPLAY_LISTS, 1);
    int other = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(other));
    vc->clearTrace();
    EXPECT_FALSE(g->createRenderList(vc));
    EXPECT_EQ(g->getRenderListHandle(), -1);
    EXPECT_EQ(vc->getTrace(), "createDisplayList 2\ndeleteDisplayList 2\n");
    vc->endDisplayList();

    // A list is deleted where it was recorded, even when another device is named.
    ASSERT_TRUE(g->createRenderList(vc));
    oxSmartPointer<oxRecordingVisualContext> elsewhere = oxRecordingVisualContext::_instantiateRef();
    WarningCatcher warnings;
    vc->clearTrace();
    g->deleteRenderList(elsewhere);
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 3\n");
    EXPECT_EQ(elsewhere->getTrace(), "");
    EXPECT_TRUE(warnings.contains("another visual context"));
}

TEST_F(GeometryTest, TrianglesCountListsAndStripsOfBothGenerations)
{
    oxSmartPointer<oxGeometry> g = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 12, 36),
                                                 geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, 3, 20)});
    EXPECT_EQ(g->getTotalTriangles(), 12 + 14);
    for (OX_GFX_DRAW other : {Kel::Gfx::OX_GFX_DRAW_POINTS, Kel::Gfx::OX_GFX_DRAW_LINES,
                              Kel::Gfx::OX_GFX_DRAW_LINE_STRIPS, Kel::Gfx::OX_GFX_DRAW_TRIANGLE_FANS})
        g->addGeometryAttr(geometryAttr(other, 4, 12));
    g->addGeometryAttr(oxBlendStateAttr::_instantiateRef());
    g->addGeometryAttr(nullptr);
    EXPECT_EQ(g->getTotalTriangles(), 26);
    g->addGeometryAttr(geometryAttr2(Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, 2, 10));
    g->addGeometryAttr(geometryAttr2(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 5, 15));
    EXPECT_EQ(g->getTotalTriangles(), 26 + 6 + 5);
    EXPECT_EQ(oxGeometry::_instantiateRef()->getTotalTriangles(), 0);
}

TEST_F(GeometryTest, TransformMovesUnskinnedFirstGenerationVerticesOnly)
{
    oxSmartPointer<oxGeometryAttr> plain = geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    oxSmartPointer<oxGeometryAttr> skinned = geometryAttr(
        Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3, oxVertexFormat::kPositions | oxVertexFormat::blendWeights(1));
    oxSmartPointer<oxGeometryAttr2> second = geometryAttr2(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    float* secondX = reinterpret_cast<float*>(
        second->getVertexArray()->findVertexData(Kel::Gfx::OX_GFX_COMPONENT_POSITION, 0)->getData());
    *secondX = 7.0f;
    oxSmartPointer<oxGeometry> g = geometryWith({plain, skinned, second});
    oxSmartPointer<oxGeometryAttr> childAttr = geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    oxSmartPointer<oxGeometry> child = geometryWith({childAttr});
    g->appendChild(child);

    oxMatrix44f m;
    m.makeTranslation(oxVec3f(10, 20, 30));
    g->transform(m);
    EXPECT_EQ(plain->getVertexArray()->getPosition(2), oxVec3f(12, 22, 31));
    EXPECT_EQ(skinned->getVertexArray()->getPosition(2), oxVec3f(2, 2, 1));
    EXPECT_EQ(*secondX, 7.0f);
    EXPECT_EQ(childAttr->getVertexArray()->getPosition(2), oxVec3f(2, 2, 1));
}

TEST_F(GeometryTest, UsageFlagsAreSetAndClearedOnEveryVertexArray)
{
    oxSmartPointer<oxGeometryAttr> first = geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    oxSmartPointer<oxGeometryAttr2> second = geometryAttr2(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3);
    first->getVertexArray()->setUsageFlags(0x10);
    oxSmartPointer<oxGeometry> g =
        geometryWith({first, nullptr, oxGeometryAttr::_instantiateRef(), oxBlendStateAttr::_instantiateRef(), second});
    g->updateUsageFlags(oxVertexArrayBase::kUsageDynamic | oxVertexArrayBase::kUsageHostRead, true);
    EXPECT_EQ(first->getVertexArray()->getUsageFlags(), 0x15u);
    EXPECT_EQ(second->getVertexArray()->getUsageFlags(), 0x5u);
    g->updateUsageFlags(oxVertexArrayBase::kUsageHostRead | 0x10, false);
    EXPECT_EQ(first->getVertexArray()->getUsageFlags(), 0x4u);
    EXPECT_EQ(second->getVertexArray()->getUsageFlags(), 0x4u);
}

TEST_F(GeometryTest, ResetResetsTheAttributesThenTheGeometrySet)
{
    oxSmartPointer<ResetCounter> counter = ResetCounter::_instantiateRef();
    oxSmartPointer<oxGeometry> g = geometryWith({counter, geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)});
    ASSERT_TRUE(g->createRenderList(vc));
    vc->clearTrace();
    g->reset();
    EXPECT_EQ(counter->_resets, 1);
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 1\n");
}

TEST_F(GeometryTest, ReadingAndCopyingSetTheRenderListModeFromTheFlags)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGeometry> both = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)});
    both->setFlags(oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL);
    oxSmartPointer<oxGeometry> one = geometryWith({geometryAttr(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3)});
    one->setFlags(oxNode::USE_RENDER_LIST);
    oxSmartPointer<oxGeometry> skinned = geometryWith({geometryAttr(
        Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1, 3, oxVertexFormat::kPositions | oxVertexFormat::blendWeights(2))});
    skinned->setFlags(oxNode::USE_RENDER_LIST);
    for (oxGeometry* g : {both.get(), one.get(), skinned.get()})
        root->appendChild(g);
    // A node below a geometry gets its parent entry back, as below any group.
    oxSmartPointer<oxNode> below = oxNode::_instantiateRef();
    one->appendChild(below);

    // Flags are stored, the mode is not: it comes back from the flags alone. A stored flag
    // word bypasses setFlags, so the mode is forced to 0 before writing to prove that.
    for (oxGeometry* g : {both.get(), one.get(), skinned.get()})
        g->getGeoSet()->setRenderListMode(0);
    oxSmartPointer<oxGroup> read = oxGroup::dynamicCast(nodetest::throughFile(root).get());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->getChildCount(), 3);
    int expected[] = {2, 1, 0};
    for (int i = 0; i < 3; ++i) {
        oxGeometry* g = oxGeometry::dynamicCast(read->getChild(i));
        ASSERT_TRUE(g);
        EXPECT_EQ(g->getGeoSet()->getRenderListMode(), expected[i]) << i;
        EXPECT_TRUE(g->getTriggerState());
    }
    oxNode* readBelow = oxGroup::dynamicCast(read->getChild(1))->getChild(0);
    ASSERT_EQ(readBelow->getParentCount(), 1);
    EXPECT_EQ(readBelow->getParent(0), read->getChild(1));

    oxSmartPointer<oxGeometry> copy = oxGeometry::dynamicCast(both->createCopy(oxObject::kShallowCopy));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy->getGeoSet(), both->getGeoSet());
    EXPECT_EQ(copy->getGeoSet()->getRenderListMode(), 2);
}

TEST_F(GeometryTest, BlendMatrixSelectShrinksWithoutLosingCapacityAndRegrowsCleared)
{
    oxSmartPointer<oxBlendMatrixSelect> s = oxBlendMatrixSelect::_instantiateRef();
    const oxMatrix44f *t = nullptr, *inv = nullptr;
    s->getSkeletonTransform(t, inv);
    EXPECT_EQ(*t, oxMatrix44f());
    EXPECT_EQ(*inv, oxMatrix44f());

    s->setBlendMatrixIndexCount(4);
    for (int i = 0; i < 4; ++i)
        s->setBlendMatrixIndex(i, 10 + i);
    int capacity = s->getBlendMatrixIndices()->getCapacity();
    s->setBlendMatrixIndexCount(2);
    EXPECT_EQ(s->getBlendMatrixIndices()->getCapacity(), capacity);
    EXPECT_EQ(s->getBlendMatrixIndex(1), 11);
    s->setBlendMatrixIndexCount(capacity + 5);
    EXPECT_GE(s->getBlendMatrixIndices()->getCapacity(), capacity + 5);
    EXPECT_EQ(s->getBlendMatrixIndex(1), 11);
    EXPECT_EQ(s->getBlendMatrixIndex(capacity + 4), 0);
}

TEST_F(GeometryTest, SegmentIsAGroupThatNeverAbsorbsATransform)
{
    oxSmartPointer<oxSegment> segment = oxSegment::_instantiateRef();
    oxSmartPointer<oxGroup> parent = oxGroup::_instantiateRef();
    parent->appendChild(segment);
    EXPECT_EQ(segment->appendChild(oxNode::_instantiateRef()), 0);
    EXPECT_FALSE(segment->isTransformable());
    EXPECT_FALSE(parent->isTransformable());
}

} // namespace
