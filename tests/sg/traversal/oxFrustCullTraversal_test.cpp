// Frustum and small-feature culling: the box test's codes, and frames drawn through the
// culling traversal against the same frames drawn by the plain draw traversal.
#include <gtest/gtest.h>

#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "sg/shaders/oxPlanarShadowShader.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxRecordingVisualContext;

namespace {

using Box = oxFrustCullTraversal::BoxTest;

// Eye at the origin looking down -z, 90 degrees both ways: at depth d the view spans -d..d.
oxMatrix44f projection()
{
    oxMatrix44f p;
    p.perspective(90, 1, 1, 100);
    return p;
}

int test(const oxVec3f& min, const oxVec3f& max)
{
    return oxFrustCullTraversal::testBox(min, max, projection());
}

// A point geometry with `vertices` vertices (which tells it apart in a trace) and a box bound.
oxSmartPointer<oxGeometry> geometry(int vertices, const oxVec3f& min, const oxVec3f& max)
{
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
    a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
    g->addGeometryAttr(a);
    oxSmartPointer<oxAABox> box = oxAABox::_instantiateRef();
    box->set(min, max);
    g->setBound(box);
    return g;
}

oxSmartPointer<oxAABox> box(const oxVec3f& min, const oxVec3f& max)
{
    oxSmartPointer<oxAABox> b = oxAABox::_instantiateRef();
    b->set(min, max);
    return b;
}

class FrustCullTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
    void SetUp() override
    {
        vc->setMatrix(Kel::Gfx::OX_GFX_MATRIX_PROJECTION, 0, projection());
        for (oxCommonTraversal* t : {static_cast<oxCommonTraversal*>(cull), plain.get()}) {
            t->setVisualContext(vc);
            t->setUserTimeState(true);
            t->setTimeAsLong(0);
        }
    }
    void TearDown() override { cull->setOuterFrustCullScale(1.0f); }

    std::string frame(oxCommonTraversal* t, oxNode* root)
    {
        t->reset();
        t->apply(root);
        vc->clearTrace();
        t->getOutput()->apply(vc);
        return vc->getTrace();
    }

    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxFrustCullTraversal> cull = oxFrustCullTraversal::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> plain = oxCommonTraversal::_instantiateRef();
};

} // namespace

TEST_F(FrustCullTest, BoxTestCodesAndTheOuterFrustum)
{
    EXPECT_EQ(test({-1, -1, -11}, {1, 1, -9}), Box::kBoxInside);
    // Behind the eye: every w is negative, though x/w and y/w would fall in range.
    EXPECT_EQ(test({-1, -1, 5}, {1, 1, 6}), Box::kBoxCulled);
    EXPECT_EQ(test({-30, -1, -11}, {-25, 1, -9}), Box::kBoxCulled) << "left of the view";
    EXPECT_EQ(test({-1, -1, -300}, {1, 1, -200}), Box::kBoxCulled) << "beyond the far plane";
    EXPECT_EQ(test({-11, -1, -11}, {-9, 1, -9}), Box::kBoxCrossing) << "straddles the left plane";
    // A corner exactly on a plane is outside it: a box touching the view from the left.
    EXPECT_EQ(test({-20, -1, -10}, {-10, 1, -10}), Box::kBoxCulled);

    // Without an outer frustum the crossing box stays crossing; with one 1.5 times as large
    // it lies inside that, a box reaching further does not.
    EXPECT_EQ(cull->getOuterFrustCullScale(), 1.0f);
    EXPECT_FALSE(cull->setOuterFrustCullScale(0.5f));
    EXPECT_FALSE(cull->setOuterFrustCullScale(2.0f)) << "must stay below the scissor window scale";
    EXPECT_EQ(cull->getOuterFrustCullScale(), 1.0f);
    EXPECT_EQ(test({-11, -1, -11}, {-9, 1, -9}), Box::kBoxCrossing);
    EXPECT_TRUE(cull->setOuterFrustCullScale(1.5f));
    EXPECT_EQ(test({-11, -1, -11}, {-9, 1, -9}), Box::kBoxInsideOuter);
    EXPECT_EQ(test({-16, -1, -11}, {-9, 1, -9}), Box::kBoxCrossing);
    EXPECT_EQ(test({-1, -1, -11}, {1, 1, -9}), Box::kBoxInside);

    EXPECT_FALSE(cull->setOuterScissorWindowScale(1.2f)) << "below the outer frustum scale";
    EXPECT_TRUE(cull->setOuterScissorWindowScale(3.0f));
    EXPECT_TRUE(cull->setOuterFrustCullScale(2.5f));
    EXPECT_FALSE(cull->setOuterScissorWindowScale(2.5f));
    EXPECT_TRUE(cull->setOuterFrustCullScale(1.0f));
    EXPECT_EQ(test({-11, -1, -11}, {-9, 1, -9}), Box::kBoxCrossing);
}

TEST_F(FrustCullTest, DrawsWhatThePlainTraversalDrawsOfWhatIsVisible)
{
    EXPECT_EQ(cull->getMode(oxFrustCullTraversal::FRUST_CULL), oxFrustCullTraversal::FRUST_CULL);
    EXPECT_EQ(cull->getMode(oxFrustCullTraversal::SMALL_FEATURE_CULL), 0);
    EXPECT_FALSE(cull->getClippingStateAttr()->getEnabled());

    // Everything in view: the same frame, call for call.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> moved = oxTransform::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(2, 0, -20));
    moved->setMatrix(&m);
    moved->appendChild(geometry(3, {-1, -1, -1}, {1, 1, 1}));
    moved->setBound(box({1, -1, -21}, {3, 1, -19}));
    root->appendChild(moved);
    root->appendChild(geometry(4, {-1, -1, -11}, {1, 1, -9}));
    root->setBound(box({-1, -1, -21}, {3, 1, -9}));
    const std::string all = frame(plain, root);
    ASSERT_NE(all.find("vertices=3"), std::string::npos);
    EXPECT_EQ(frame(cull, root), all);

    // Out of view: a geometry left of the view, a geometry behind the eye and one under the
    // transform (its box in the transform's space) are culled; a geometry without a bound
    // is drawn wherever it is.
    oxSmartPointer<oxGeometry> left = geometry(5, {-30, -1, -11}, {-25, 1, -9});
    oxSmartPointer<oxGeometry> behind = geometry(6, {-1, -1, 5}, {1, 1, 6});
    oxSmartPointer<oxGeometry> underTransform = geometry(7, {40, 0, 0}, {41, 1, 1});
    oxSmartPointer<oxGeometry> unbounded = geometry(8, {}, {});
    unbounded->setBound(nullptr);
    root->setBound(nullptr);
    moved->setBound(nullptr);
    for (oxNode* n : {left.get(), behind.get(), unbounded.get()})
        root->appendChild(n);
    moved->appendChild(underTransform);
    const std::string culled = frame(cull, root);
    for (const char* gone : {"vertices=5", "vertices=6", "vertices=7"})
        EXPECT_EQ(culled.find(gone), std::string::npos) << gone;
    // The plain frame without the culled nodes is the culled frame.
    for (oxNode* n : {left.get(), behind.get()})
        root->removeChild(n);
    moved->removeChild(underTransform.get());
    EXPECT_EQ(culled, frame(plain, root));
    EXPECT_NE(culled.find("vertices=8"), std::string::npos);
}

TEST_F(FrustCullTest, InsideBoundsStopTestingAndCrossingBoundsTestChildren)
{
    // The children's boxes lie out of view, which only a test of the children would see.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> group = oxGroup::_instantiateRef();
    group->appendChild(geometry(3, {-30, -1, -11}, {-25, 1, -9}));
    root->appendChild(group);

    group->setBound(box({-1, -1, -11}, {1, 1, -9}));
    EXPECT_NE(frame(cull, root).find("vertices=3"), std::string::npos) << "inside: children drawn untested";
    EXPECT_EQ(cull->getMode(oxFrustCullTraversal::FRUST_CULL), oxFrustCullTraversal::FRUST_CULL)
        << "the test is back on after the subtree";

    group->setBound(box({-11, -1, -11}, {-9, 1, -9}));
    EXPECT_EQ(frame(cull, root).find("vertices=3"), std::string::npos) << "crossing: children tested";

    // Inside the outer frustum the crossing group is drawn untested as well.
    ASSERT_TRUE(cull->setOuterFrustCullScale(1.5f));
    EXPECT_NE(frame(cull, root).find("vertices=3"), std::string::npos);

    // Frustum culling off: nothing is tested.
    cull->setOuterFrustCullScale(1.0f);
    cull->clearMode(oxFrustCullTraversal::FRUST_CULL);
    EXPECT_NE(frame(cull, root).find("vertices=3"), std::string::npos);

    // A sphere bound is tested through its box.
    cull->setMode(oxFrustCullTraversal::FRUST_CULL);
    oxSmartPointer<oxSphere> sphere = oxSphere::_instantiateRef();
    sphere->set(oxVec3f(-40, 0, -10), 2);
    group->setBound(sphere);
    EXPECT_EQ(frame(cull, root).find("vertices=3"), std::string::npos);
}

TEST_F(FrustCullTest, SmallFeaturesAreSkippedBelowThePixelThreshold)
{
    vc->setViewport(Kel::Gfx::oxViewport{0, 0, 100, 100});
    // At depth 10 the view is 20 units across 100 pixels: 5 pixels are 1 unit.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(geometry(3, {0, 0, -10}, {0.5f, 0.5f, -10}));  // diagonal 0.71: 3.5 pixels
    root->appendChild(geometry(4, {0, 0, -10}, {0.8f, 0.8f, -10}));  // diagonal 1.13: 5.7 pixels
    EXPECT_NE(frame(cull, root).find("vertices=3"), std::string::npos) << "off by default";

    cull->setMode(oxFrustCullTraversal::SMALL_FEATURE_CULL);
    std::string out = frame(cull, root);
    EXPECT_EQ(out.find("vertices=3"), std::string::npos);
    EXPECT_NE(out.find("vertices=4"), std::string::npos);
    cull->setSmallFeatureCullPixelSize(2);
    EXPECT_NE(frame(cull, root).find("vertices=3"), std::string::npos);
    // Small-feature culling alone, the frustum test off: the box out of view is drawn.
    cull->clearMode(oxFrustCullTraversal::FRUST_CULL);
    root->appendChild(geometry(5, {-30, -1, -11}, {-25, 1, -9}));
    EXPECT_NE(frame(cull, root).find("vertices=5"), std::string::npos);
}

TEST_F(FrustCullTest, APlanarShadowIsNeverCulledByItsOwnBound)
{
    // The shader's bound lies behind the eye, its child's in view: the shadow pass and the
    // child are drawn all the same, as by the plain traversal.
    oxSmartPointer<oxPlanarShadowShader> shadow = oxPlanarShadowShader::_instantiateRef();
    shadow->setBound(box({-1, -1, 5}, {1, 1, 6}));
    shadow->appendChild(geometry(7, {-1, -1, -10}, {1, 1, -9}));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(shadow);
    const std::string drawn = frame(cull, root);
    EXPECT_NE(drawn.find("POINTS"), std::string::npos) << drawn;
    EXPECT_EQ(drawn, frame(plain, root));

    // A plain attribute set with the same bound is culled.
    oxSmartPointer<oxAttrSet> set = oxAttrSet::_instantiateRef();
    set->setBound(box({-1, -1, 5}, {1, 1, 6}));
    set->appendChild(geometry(7, {-1, -1, -10}, {1, 1, -9}));
    root->removeAllChildren();
    root->appendChild(set);
    EXPECT_EQ(frame(cull, root).find("POINTS"), std::string::npos);
}
