// Which function a traversal table gives each node class, and the draw traversal's choices
// that depend on it: a class takes the function of its nearest ancestor that has a row,
// however the rows are ordered.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxImage;

namespace {

// Functions that differ in their code, so that no linker folds two of them into one address.
int g_marked = 0;
template <int N>
OX_TRAVERSAL_RETURN mark(oxTraversal*, oxObject*)
{
    g_marked = N;
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN stop(oxTraversal*, oxObject*)
{
    return OX_TRAVERSAL_STOP;
}

// Classes registered after every traversal class, derived from classes the draw traversal
// has rows for.
class ThickGeometry : public oxGeometry {
    OX_CLASS(ThickGeometry, oxGeometry)
protected:
    ThickGeometry() = default;
};

class StickyOverrideSet : public oxOverrideAttrSet {
    OX_CLASS(StickyOverrideSet, oxOverrideAttrSet)
protected:
    StickyOverrideSet() = default;
};

class TiltShiftShader : public oxDOFShader {
    OX_CLASS(TiltShiftShader, oxDOFShader)
protected:
    TiltShiftShader() = default;
};

// A leaf that ends the walk, through a table of its test's own.
class StopNode : public oxNode {
    OX_CLASS(StopNode, oxNode)
protected:
    StopNode() = default;
};

class WarningCatcher {
public:
    WarningCatcher() : _old(Kel::Core::oxSetWarningHandler(&collect)) { messages().clear(); }
    ~WarningCatcher() { Kel::Core::oxSetWarningHandler(_old); }
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> list;
        return list;
    }

private:
    static void collect(const char* message) { messages().push_back(message); }
    Kel::Core::oxWarningHandler _old;
};

class TraversalFunctionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
};

TEST_F(TraversalFunctionsTest, NearestRowWinsWhateverTheOrderOfTheRows)
{
    std::array<oxTraversalFunctionRow, 6> rows = {{
        {&oxNode::getClassTypeSafe, &mark<1>},
        {&oxGroup::getClassTypeSafe, &mark<2>},
        {&oxAttrSet::getClassTypeSafe, &mark<3>},
        {&oxGeometry::getClassTypeSafe, &mark<4>},
        {&oxOverrideAttrSet::getClassTypeSafe, &mark<5>},
        {&oxTransform::getClassTypeSafe, &mark<6>},
    }};
    const std::vector<std::pair<oxMetaObject*, oxTraversalFunction>> expected = {
        {oxNode::getClassTypeSafe(), &mark<1>},
        {oxLightSet::getClassTypeSafe(), &mark<1>},
        {oxCamera::getClassTypeSafe(), &mark<1>},
        {oxGroup::getClassTypeSafe(), &mark<2>},
        {oxSwitch::getClassTypeSafe(), &mark<2>},
        {oxLod::getClassTypeSafe(), &mark<2>},
        {oxAttrSet::getClassTypeSafe(), &mark<3>},
        {oxBlendMatrixSelect::getClassTypeSafe(), &mark<3>},
        {oxGeometry::getClassTypeSafe(), &mark<4>},
        {ThickGeometry::getClassTypeSafe(), &mark<4>},
        {oxOverrideAttrSet::getClassTypeSafe(), &mark<5>},
        {StickyOverrideSet::getClassTypeSafe(), &mark<5>},
        {oxTransform::getClassTypeSafe(), &mark<6>},
        {oxImage::getClassTypeSafe(), nullptr},
    };
    std::array<int, 6> order = {0, 1, 2, 3, 4, 5};
    int orders = 0;
    do {
        std::array<oxTraversalFunctionRow, 6> shuffled;
        for (int i = 0; i < 6; ++i)
            shuffled[i] = rows[order[i]];
        for (const auto& [cls, fn] : expected)
            ASSERT_EQ(oxTraversal::_findNearestFunction(shuffled, cls), fn)
                << cls->getName() << " with rows in order " << order[0] << order[1] << order[2] << order[3]
                << order[4] << order[5];
        ++orders;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(orders, 720);
}

TEST_F(TraversalFunctionsTest, AClassListedTwiceWithDifferentFunctionsIsReported)
{
    const oxTraversalFunctionRow same[] = {{&oxGroup::getClassTypeSafe, &mark<1>},
                                           {&oxGroup::getClassTypeSafe, &mark<1>}};
    const oxTraversalFunctionRow clash[] = {{&oxNode::getClassTypeSafe, &mark<1>},
                                            {&oxGroup::getClassTypeSafe, &mark<2>},
                                            {&oxGroup::getClassTypeSafe, &mark<3>}};
    WarningCatcher warnings;
    EXPECT_EQ(oxTraversal::_findNearestFunction(same, oxSwitch::getClassTypeSafe()), &mark<1>);
    EXPECT_TRUE(warnings.messages().empty());
    oxTraversal::_findNearestFunction(clash, oxSwitch::getClassTypeSafe());
    ASSERT_EQ(warnings.messages().size(), 1u);
    EXPECT_NE(warnings.messages()[0].find("oxGroup"), std::string::npos) << warnings.messages()[0];
}

TEST_F(TraversalFunctionsTest, DrawTraversalGivesEveryClassItsOwnFunctionOrItsNearestAncestors)
{
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    const std::vector<std::pair<oxMetaObject*, oxTraversalFunction>> expected = {
        {oxNode::getClassTypeSafe(), &oxTraverseNode},
        {oxCamera::getClassTypeSafe(), &oxTraverseNode},
        {oxGroup::getClassTypeSafe(), &oxTraverseGroup},
        {oxSegment::getClassTypeSafe(), &oxCommonTraverseSegment},
        {oxLod::getClassTypeSafe(), &oxCommonTraverseLod},
        {oxSwitch::getClassTypeSafe(), &oxCommonTraverseSwitch},
        {oxTimeSwitch::getClassTypeSafe(), &oxCommonTraverseTimeSwitch},
        {oxLightStateSet::getClassTypeSafe(), &oxCommonTraverseLightStateSet},
        {oxLightSet::getClassTypeSafe(), &oxCommonTraverseLightSet},
        {oxAttrSet::getClassTypeSafe(), &oxCommonTraverseAttributeSet},
        {oxOverrideAttrSet::getClassTypeSafe(), &oxCommonTraverseOverrideAttributeSet},
        {StickyOverrideSet::getClassTypeSafe(), &oxCommonTraverseOverrideAttributeSet},
        {oxBlendMatrixSelect::getClassTypeSafe(), &oxCommonTraverseBlendMatrixSelect},
        {oxGeometry::getClassTypeSafe(), &oxCommonTraverseGeometry},
        {ThickGeometry::getClassTypeSafe(), &oxCommonTraverseGeometry},
        {oxTransform::getClassTypeSafe(), &oxCommonTraverseTransform},
        {oxBillboard::getClassTypeSafe(), &oxCommonTraverseBillboard},
        {oxModelViewMatrixBoneSelect::getClassTypeSafe(), &oxCommonTraverseModelViewMatrixBoneSelect},
        {oxClipPlaneSet::getClassTypeSafe(), &oxCommonTraverseClipPlaneSet},
        {oxDOFShader::getClassTypeSafe(), &oxCommonTraverseDOFShader},
        {TiltShiftShader::getClassTypeSafe(), &oxCommonTraverseDOFShader},
    };
    for (const auto& [cls, fn] : expected)
        EXPECT_EQ(draw->getFunction(cls), fn) << cls->getName();
}

// A frame through the recording device, for what reached the output.
class DrawFrameTest : public TraversalFunctionsTest {
protected:
    void SetUp() override
    {
        traversal->setVisualContext(vc);
        traversal->setUserTimeState(true);
        traversal->setTimeAsLong(0);
    }

    static oxSmartPointer<oxGeometry> points(int vertices)
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
        a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
        g->addGeometryAttr(a);
        return g;
    }
    static oxSmartPointer<oxTransform> translate(const oxVec3f& by)
    {
        oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
        oxMatrix44f m;
        m.makeTranslation(by);
        t->setMatrix(&m);
        return t;
    }

    std::string frame(oxNode* root)
    {
        traversal->reset();
        traversal->apply(root);
        vc->clearTrace();
        traversal->getOutput()->apply(vc);
        return vc->getTrace();
    }

    oxSmartPointer<Kel::Gfx::oxRecordingVisualContext> vc = Kel::Gfx::oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
};

bool sameWithin(const oxVec3f& a, const oxVec3f& b)
{
    return std::abs(a.x - b.x) < 1e-4f && std::abs(a.y - b.y) < 1e-4f && std::abs(a.z - b.z) < 1e-4f;
}

std::string text(const oxVec3f& v)
{
    return "(" + std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z) + ")";
}

// root ─ override set (model-view: +10 x) ─ transform (+5 y) ─ light set (held)
//      └ transform (+5 y) ─ light set (free)
// Under the override the model-view in force stays the override's: the transform below it
// does not move the light.
TEST_F(DrawFrameTest, LightsUnderAnOverrideModelViewGoWhereTheOverridePutsThem)
{
    oxMatrix44f view;
    view.makeTranslation(oxVec3f(0, 0, -20));
    traversal->setViewMatrix(view);

    oxSmartPointer<oxLightAttr> held = oxLightAttr::_instantiateRef();
    held->setType(Kel::Gfx::OX_GFX_LIGHT_POSITIONAL);
    held->setPosition(oxVec3f(1, 2, 3));
    oxSmartPointer<oxLightAttr> free = oxLightAttr::_instantiateRef();
    free->setType(Kel::Gfx::OX_GFX_LIGHT_POSITIONAL);
    free->setPosition(oxVec3f(1, 2, 3));

    oxSmartPointer<oxModelViewMatrixAttr> pinned = oxModelViewMatrixAttr::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(10, 0, 0));
    pinned->setMatrix(m * view);
    oxSmartPointer<oxOverrideAttrSet> over = oxOverrideAttrSet::_instantiateRef();
    over->appendAttr(pinned);
    oxSmartPointer<oxTransform> lifted = translate(oxVec3f(0, 5, 0));
    oxSmartPointer<oxLightSet> heldSet = oxLightSet::_instantiateRef();
    heldSet->appendLightAttr(held);
    lifted->appendChild(heldSet);
    over->appendChild(lifted);

    oxSmartPointer<oxTransform> alsoLifted = translate(oxVec3f(0, 5, 0));
    oxSmartPointer<oxLightSet> freeSet = oxLightSet::_instantiateRef();
    freeSet->appendLightAttr(free);
    alsoLifted->appendChild(freeSet);

    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(over);
    root->appendChild(alsoLifted);
    frame(root);

    EXPECT_TRUE(sameWithin(held->getTransformedPosition(), oxVec3f(11, 2, 3))) << text(held->getTransformedPosition());
    EXPECT_TRUE(sameWithin(free->getTransformedPosition(), oxVec3f(1, 7, 3))) << text(free->getTransformedPosition());
}

// root ─ shader ─ points(3), stopper, points(4)
//      └ points(5)
TEST_F(DrawFrameTest, DepthOfFieldShaderShadesWalksItsChildrenAndLetsItsSiblingsDraw)
{
    StopNode::getClassTypeSafe();
    oxSmartPointer<oxTraversalFunctionList> own = oxTraversalFunctionList::_instantiateRef();
    const oxTraversalFunctionList* shared = traversal->getTraversalFunctions();
    own->setCount(shared->getCount());
    for (int i = 0; i < shared->getCount(); ++i)
        own->set(i, shared->get(i));
    traversal->setTraversalFunctions(own);
    traversal->setFunction(StopNode::getClassTypeSafe(), &stop);

    oxSmartPointer<oxDOFShader> shader = oxDOFShader::_instantiateRef();
    shader->setState(true);
    shader->setFieldOfView(90, -1);
    shader->setAspectRatio(2);
    shader->setNearFarClip(1, 100);
    shader->appendChild(points(3));
    shader->appendChild(StopNode::_instantiateRef());
    shader->appendChild(points(4));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(shader);
    root->appendChild(points(5));

    const std::string trace = frame(root);
    EXPECT_NE(trace.find("vertices=3"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("vertices=4"), std::string::npos) << "the stop ends the shader's children\n" << trace;
    EXPECT_NE(trace.find("vertices=5"), std::string::npos) << "but not the walk of its siblings\n" << trace;

    EXPECT_FALSE(shader->getParametersChanged()) << "the frame took the parameters over";
    ASSERT_TRUE(shader->hasProjection());
    oxMatrix44f expected;
    ASSERT_TRUE(expected.frustum(-1, 1, -0.5f, 0.5f, 1, 100));
    EXPECT_EQ(shader->getProjection(), expected);

    // Off, the shader keeps what changed for a later frame, and its subtree still draws.
    shader->setState(false);
    shader->setNearFarClip(2, 50);
    const std::string off = frame(root);
    EXPECT_TRUE(shader->getParametersChanged());
    EXPECT_NE(off.find("vertices=3"), std::string::npos) << off;
    EXPECT_EQ(shader->getProjection(), expected);
}

TEST(DOFShader, ValuesThatMakeNoProjectionLeaveNone)
{
    oxSmartPointer<oxDOFShader> shader = oxDOFShader::_instantiateRef();
    shader->setState(true);
    EXPECT_FALSE(shader->shade(nullptr)) << "no clip distances yet";
    EXPECT_FALSE(shader->hasProjection());
    EXPECT_FALSE(shader->getParametersChanged());

    shader->setNearFarClip(1, 10);
    EXPECT_TRUE(shader->shade(nullptr));
    shader->setFieldOfView(-1, -1);
    EXPECT_FALSE(shader->shade(nullptr)) << "no angle to derive the other from";
    shader->setFieldOfView(-1, 60);
    EXPECT_TRUE(shader->shade(nullptr)) << "the horizontal angle follows from the vertical";
    shader->setFieldOfView(180, -1);
    EXPECT_FALSE(shader->shade(nullptr));
    shader->setFieldOfView(45, -1);
    shader->setAspectRatio(0);
    EXPECT_FALSE(shader->shade(nullptr));
}

} // namespace
