// Whole frames: graph → draw traversal → sorter → display list → recording device. The
// traces are the device calls of the frame, condensed so that a difference reads at a
// glance: a geometry shows as "draw vN" (every test geometry has its own vertex count), a
// model-view that only translates as "mv (x y z)".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxRecordingVisualContext;

namespace {

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

// One line per device call, shortened where the full text says nothing more.
std::string condense(const std::string& trace)
{
    std::istringstream in(trace);
    std::string line, out;
    while (std::getline(in, line)) {
        float m[16];
        int vertices = 0;
        if (std::sscanf(line.c_str(),
                        "setMatrix MODEL_VIEW 0 (%f %f %f %f | %f %f %f %f | %f %f %f %f | %f %f %f %f)", &m[0],
                        &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7], &m[8], &m[9], &m[10], &m[11], &m[12],
                        &m[13], &m[14], &m[15]) == 16) {
            const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
            bool translationOnly = m[15] == 1;
            for (int i = 0; i < 12; ++i)
                translationOnly = translationOnly && m[i] == identity[i];
            if (translationOnly) {
                char text[96];
                std::snprintf(text, sizeof text, "mv (%g %g %g)", m[12], m[13], m[14]);
                line = text;
            }
        } else if (const size_t at = line.find("vertices="); line.rfind("drawGeometry", 0) == 0 &&
                                                                at != std::string::npos) {
            std::sscanf(line.c_str() + at, "vertices=%d", &vertices);
            line = "draw v" + std::to_string(vertices);
        }
        out += line + "\n";
    }
    return out;
}

class CommonTraversalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }

    void SetUp() override
    {
        traversal->setVisualContext(vc);
        traversal->setUserTimeState(true);
        traversal->setTimeAsLong(7);
    }

    // A geometry of one attribute with `vertices` positions, drawn as points.
    static oxSmartPointer<oxGeometry> geometry(int vertices, const oxVec3f& centre = oxVec3f(0, 0, 0))
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
        a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
        g->addGeometryAttr(a);
        oxSmartPointer<oxSphere> bound = oxSphere::_instantiateRef();
        bound->set(centre, 1);
        g->setBound(bound);
        return g;
    }
    static oxSmartPointer<oxTransform> transform(float x, float y, float z)
    {
        oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
        const oxMatrix44f m = translation(x, y, z);
        t->setMatrix(&m);
        return t;
    }
    template <class A>
    static oxSmartPointer<oxAttrSet> attrSet(A* attr)
    {
        oxSmartPointer<oxAttrSet> s = oxAttrSet::_instantiateRef();
        s->appendAttr(attr);
        return s;
    }

    std::string frame(oxNode* root)
    {
        traversal->reset();
        traversal->apply(root);
        oxDisplayListAttr* out = traversal->getOutput();
        vc->clearTrace();
        out->apply(vc);
        return condense(vc->getTrace());
    }

    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
};

const char* const kFrameEnd = "mv (0 0 0)\nsetTime 0\nclear none color=(0.0000 0.0000 0.0000 0.0000) depth=1.0000 stencil=0\n";

TEST_F(CommonTraversalTest, ImmediateModeDrawsInTraversalOrderWithMinimalState)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> moved = transform(1, 2, 3);
    root->appendChild(moved);
    moved->appendChild(geometry(3));
    moved->appendChild(geometry(4)); // same state: no state change between the two
    root->appendChild(geometry(5));  // back under the view matrix
    // A texture-matrix transform at the top: its own matrix, not the class default times it.
    oxSmartPointer<oxTransform> texture = transform(0, 0, 9);
    texture->setTarget(oxTransform::TEXTURE_MATRIX_1);
    texture->appendChild(geometry(6));
    root->appendChild(texture);

    const std::string expected = "mv (1 2 3)\nsetTime 7\ndraw v3\ndraw v4\nmv (0 0 0)\ndraw v5\n"
                                 "setMatrix TEXTURE 1 (1.0000 0.0000 0.0000 0.0000 | 0.0000 1.0000 0.0000 0.0000 | "
                                 "0.0000 0.0000 1.0000 0.0000 | 0.0000 0.0000 9.0000 1.0000)\ndraw v6\n"
                                 "setMatrix TEXTURE 1 (1.0000 0.0000 0.0000 0.0000 | 0.0000 1.0000 0.0000 0.0000 | "
                                 "0.0000 0.0000 1.0000 0.0000 | 0.0000 0.0000 0.0000 1.0000)\n";
    EXPECT_EQ(frame(root), expected + kFrameEnd);
    // The next frame reuses everything and draws the same.
    EXPECT_EQ(frame(root), expected + kFrameEnd);
    EXPECT_EQ(*moved->getMatrix(), translation(1, 2, 3));
    ASSERT_TRUE(moved->getCachedAttr());
}

// Switches, levels of detail, time switches, billboards, clip planes and lights in one
// frame, written in traversal order.
class SelectionScene {
public:
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxSwitch> sw = oxSwitch::_instantiateRef();
    oxSmartPointer<oxLod> lod = oxLod::_instantiateRef();
    oxSmartPointer<oxTimeSwitch> flip = oxTimeSwitch::_instantiateRef();
    oxSmartPointer<oxTransform> far = oxTransform::_instantiateRef();
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();

    explicit SelectionScene(CommonTraversalTest*)
    {
        oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
        lights->appendLightAttr(light);
        root->appendChild(lights);

        root->appendChild(sw);
        for (int v : {10, 11, 12})
            sw->appendChild(geometryOf(v));
        sw->activateAllChildren();
        sw->deactivateChild(1);

        // Level of detail at 5 units: child 0 up to 10, child 1 up to 100.
        const oxMatrix44f at5 = translation(0, 0, -5);
        far->setMatrix(&at5);
        root->appendChild(far);
        far->appendChild(lod);
        for (float r : {0.0f, 10.0f, 100.0f})
            lod->appendRange(r);
        lod->appendChild(geometryOf(20));
        lod->appendChild(geometryOf(21));

        // Two frames of a flip-book, one second each, clamped.
        root->appendChild(flip);
        flip->appendChild(geometryOf(30), 1.0);
        flip->appendChild(geometryOf(31), 2.0);
        flip->setPlayMode(oxTimeSwitch::CLAMP);
        flip->setStartTime(0);
    }
    static oxSmartPointer<oxGeometry> geometryOf(int v)
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, v);
        a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, v);
        g->addGeometryAttr(a);
        return g;
    }
};

TEST_F(CommonTraversalTest, SelectionNodesChooseWhatIsDrawn)
{
    SelectionScene scene(this);
    traversal->setTimeAsLong(1500000000); // 1.5 s: the second flip-book frame
    std::string out = frame(scene.root);
    EXPECT_EQ(out.rfind("mv (0 0 0)\nsetLight light#1 DIRECTIONAL", 0), 0u)
        << "lights come first, after the model-view they were found under:\n" << out;
    EXPECT_NE(out.find("draw v10\ndraw v12\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("draw v11"), std::string::npos) << out;
    EXPECT_NE(out.find("mv (0 0 -5)\ndraw v20\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("draw v21"), std::string::npos) << out;
    EXPECT_NE(out.find("draw v31"), std::string::npos) << out;
    EXPECT_EQ(out.find("draw v30"), std::string::npos) << out;

    // Farther than 10: the level of detail switches; the switch's other children show.
    const oxMatrix44f at50 = translation(0, 0, -50);
    scene.far->setMatrix(&at50);
    scene.sw->activateAllChildren();
    scene.sw->deactivateChild(0);
    traversal->setTimeAsLong(500000000);
    out = frame(scene.root);
    EXPECT_NE(out.find("draw v11\ndraw v12\nmv (0 0 -50)\ndraw v21\nmv (0 0 0)\ndraw v30\n"), std::string::npos)
        << out;
}

// Opaque geometry sorted by texture, transparent geometry back to front without depth
// writes: the order and the state between packages are what the device sees.
TEST_F(CommonTraversalTest, SortedFrameGroupsOpaqueByTextureAndDrawsTransparentBackToFront)
{
    oxSmartPointer<oxSorter> sorter = traversal->getSorter();
    sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    sorter->setTransparencyDrawMode(oxSorter::TRANSPARENCY_DRAW_NO_DEPTH_WRITE);

    oxSmartPointer<oxTextureBindAttr> bind[2] = {oxTextureBindAttr::_instantiateRef(),
                                                 oxTextureBindAttr::_instantiateRef()};
    // Texture keys compare as addresses: name them in that order.
    if (bind[1].get() < bind[0].get())
        std::swap(bind[0], bind[1]);
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);

    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    int v = 40;
    for (int k : {1, 0, 1, 0}) { // interleaved textures
        oxSmartPointer<oxAttrSet> textured = attrSet(bind[k].get());
        textured->appendChild(geometry(v++));
        root->appendChild(textured);
    }
    oxSmartPointer<oxAttrSet> glass = attrSet(blend.get());
    root->appendChild(glass);
    for (float z : {-2.0f, -8.0f, -5.0f}) {
        oxSmartPointer<oxTransform> at = transform(0, 0, z);
        at->appendChild(geometry(v++));
        glass->appendChild(at);
    }

    for (int f = 0; f < 3; ++f) { // the third frame starts from the kept opaque order
        const std::string out = frame(root);
        const auto at = [&](const char* s) { return out.find(s); };
        // Opaque: texture 0's geometries (v41, v43), then texture 1's (v40, v42); the sort
        // keeps no order among equal keys. One bind per texture, and one back to none when
        // the untextured transparent work starts.
        EXPECT_LT(std::max(at("draw v41"), at("draw v43")), std::min(at("draw v40"), at("draw v42"))) << out;
        int binds = 0;
        for (size_t p = out.find("bindTexture"); p != std::string::npos; p = out.find("bindTexture", p + 1))
            ++binds;
        EXPECT_EQ(binds, 3) << out;
        // Transparent, farthest first, with depth writes off around them.
        EXPECT_LT(std::max(at("draw v40"), at("draw v42")), at("setSwitch DEPTH_WRITE off")) << out;
        EXPECT_LT(at("setSwitch DEPTH_WRITE off"), at("mv (0 0 -8)\nsetSwitch BLEND on\nbindTexture 0 none\n"
                                                     "draw v45\nmv (0 0 -5)\ndraw v46\nmv (0 0 -2)\ndraw v44\n"
                                                     "setSwitch DEPTH_WRITE on\n"))
            << out;
        EXPECT_EQ(sorter->getOpaqueRenderPackages()->getCount(), 4);
        EXPECT_EQ(sorter->getTransparentRenderPackages()->getCount(), 3);
    }
}

// A scene with every kind of node the draw handles today: transforms, switches, levels of
// detail, billboards, time switches, lights and light states, clip planes, transparent and
// textured geometry.
oxSmartPointer<oxGroup> busyScene()
{
    oxSmartPointer<oxGroup> root = SelectionScene(nullptr).root;
    oxSmartPointer<oxClipPlaneSet> clip = oxClipPlaneSet::_instantiateRef();
    clip->addClipPlane(0, oxVec4f(0, 1, 0, 0));
    root->appendChild(clip);
    oxSmartPointer<oxBillboard> board = oxBillboard::_instantiateRef();
    clip->appendChild(board);
    board->appendChild(SelectionScene::geometryOf(50));
    oxSmartPointer<oxLightStateSet> states = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
    on->setLight(oxLightAttr::_instantiate());
    states->appendLightStateAttr(on);
    clip->appendChild(states);
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);
    oxSmartPointer<oxAttrSet> glass = oxAttrSet::_instantiateRef();
    glass->appendAttr(blend);
    glass->appendAttr(oxTextureBindAttr::_instantiate());
    states->appendChild(glass);
    for (int i = 0; i < 4; ++i) {
        oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
        const oxMatrix44f m = translation(float(i), 0, -float(i));
        t->setMatrix(&m);
        t->appendChild(SelectionScene::geometryOf(60 + i));
        glass->appendChild(t);
    }
    return root;
}

TEST_F(CommonTraversalTest, SteadyFramesAllocateNothing)
{
    if (!sortertest::AllocationCounter::available())
        GTEST_SKIP() << "AddressSanitizer owns malloc and operator new; allocations are counted in the plain build";
    oxSmartPointer<oxGroup> root = busyScene();
    for (int mode : {0, int(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE)}) {
        traversal->getSorter()->clearMode(~0);
        traversal->getSorter()->setMode(mode);
        long allocations = -1;
        for (int f = 1; f <= 10; ++f) {
            traversal->setTimeAsLong(int64_t(f) * 300000000); // the flip-book changes frame
            if (f == 3)
                sortertest::AllocationCounter::start();
            traversal->reset();
            traversal->apply(root);
            ASSERT_GT(traversal->getOutput()->getCount(), 5);
            if (f == 10)
                allocations = sortertest::AllocationCounter::stop();
        }
        EXPECT_EQ(allocations, 0) << "mode " << mode;
    }
}

TEST_F(CommonTraversalTest, BillboardsClipPlanesAndLightStatesReachTheDevice)
{
    oxSmartPointer<oxGroup> root = busyScene();
    traversal->setViewMatrix(translation(0, 0, -10));
    const std::string out = frame(root);
    EXPECT_NE(out.find("setClipPlane 0"), std::string::npos) << out;
    EXPECT_NE(out.find("setLightState"), std::string::npos) << out;
    // The billboard faces the eye: under a view that only translates, its model-view is the
    // view's translation.
    EXPECT_NE(out.find("mv (0 0 -10)\nsetTime 7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("draw v50"), std::string::npos) << out;
    oxBillboard* board = static_cast<oxBillboard*>(
        static_cast<oxGroup*>(root->getChild(root->getChildCount() - 1))->getChild(0));
    ASSERT_TRUE(board->getCachedAttr());
    EXPECT_TRUE(oxIsEqual(board->getCachedAttr()->getMatrix(), translation(0, 0, -10)));
}

TEST_F(CommonTraversalTest, TimeIsSampledOncePerFrameUnlessPushed)
{
    static int64_t clock;
    clock = 100;
    const oxTimer::Clock old = oxTimer::setClock([] { return clock; });
    traversal->setUserTimeState(false);
    traversal->reset();
    EXPECT_EQ(traversal->getTimeAsLong(), 100);
    clock = 200;
    EXPECT_EQ(traversal->getTimeAsLong(), 100);
    traversal->pushTime(5);
    EXPECT_EQ(traversal->getTime(), 5);
    traversal->setTimeAsLong(6);
    EXPECT_EQ(traversal->getTime(), 6);
    traversal->popTime();
    EXPECT_EQ(traversal->getTime(), 100);
    traversal->reset();
    EXPECT_EQ(traversal->getTime(), 200);
    oxTimer::setClock(old);
    EXPECT_DOUBLE_EQ(oxCommonTraversal::toSeconds(2500000000), 2.5);
}

TEST_F(CommonTraversalTest, ProjectionPalettesAndSegmentOverrides)
{
    // A negative horizontal angle follows from the vertical one; otherwise the vertical one
    // is ignored.
    traversal->setPerspective(-1, 90, 2, 1, 100);
    const oxMatrix44f fromVertical = traversal->getProjectionMatrix();
    traversal->setPerspective(2 * std::atan(2.0f) * 57.29578f, 10, 2, 1, 100);
    EXPECT_TRUE(oxIsEqual(traversal->getProjectionMatrix(), fromVertical, 1e-4f));
    oxMatrix44f frustum;
    frustum.frustum(-2, 2, -1, 1, 1, 100);
    EXPECT_TRUE(oxIsEqual(fromVertical, frustum, 1e-4f));

    EXPECT_EQ(traversal->getCurrentBlendMatrixPaletteLength(), -1);
    const oxMatrix44f palette[2];
    traversal->pushBlendMatrixPalette(palette, 2);
    EXPECT_EQ(traversal->getCurrentBlendMatrixPaletteLength(), 2);
    traversal->popBlendMatrixPalette();
    EXPECT_EQ(traversal->getCurrentBlendMatrixPalette(), nullptr);

    // A segment replaced by an override whose graph holds a segment of the same name: the
    // inner one draws its own children.
    oxSmartPointer<oxSegment> outer = oxSegment::_instantiateRef(), inner = oxSegment::_instantiateRef();
    outer->setName("Arm");
    inner->setName("arm");
    outer->appendChild(geometry(70));
    inner->appendChild(geometry(71));
    oxSmartPointer<oxGroup> replacement = oxGroup::_instantiateRef();
    replacement->appendChild(inner);
    oxSmartPointer<oxAppearance> look = oxAppearance::_instantiateRef();
    look->addSegmentOverride("ARM", replacement);
    look->attachGraph(oxModelViewMatrixBoneSelect::_instantiate());
    traversal->pushSegmentOverride("arm", replacement);
    EXPECT_EQ(traversal->getSegmentOverrideCount("ARM"), 1);
    EXPECT_EQ(traversal->getSegmentOverride(""), nullptr);
    std::string out = frame(outer);
    EXPECT_NE(out.find("draw v71"), std::string::npos) << out;
    EXPECT_EQ(out.find("draw v70"), std::string::npos) << out;
    EXPECT_EQ(traversal->popSegmentOverride("arm"), replacement.get());
    EXPECT_EQ(traversal->getSegmentOverrideCount("arm"), 0);
    out = frame(outer);
    EXPECT_NE(out.find("draw v70"), std::string::npos) << out;
    // An appearance puts its overrides in force only while it draws.
    EXPECT_EQ(look->traverse(traversal), OX_TRAVERSAL_CONTINUE);
    EXPECT_EQ(traversal->getSegmentOverrideCount("arm"), 0);
}

TEST_F(CommonTraversalTest, OverrideSetsWinOverStateBelowThemAndTriggersEmitAtOnce)
{
    oxSmartPointer<oxMaterialAttr> red = oxMaterialAttr::_instantiateRef(), green = oxMaterialAttr::_instantiateRef();
    red->setDiffuse(oxVec4f(1, 0, 0, 1));
    green->setDiffuse(oxVec4f(0, 1, 0, 1));
    oxSmartPointer<oxOverrideAttrSet> over = oxOverrideAttrSet::_instantiateRef();
    over->appendAttr(red);
    oxSmartPointer<oxAttrSet> below = attrSet(green.get());
    over->appendChild(below);
    below->appendChild(geometry(80));
    std::string out = frame(over);
    EXPECT_NE(out.find("diffuse=(1.0000 0.0000 0.0000 1.0000)"), std::string::npos) << out;
    EXPECT_EQ(out.find("diffuse=(0.0000 1.0000 0.0000 1.0000)"), std::string::npos) << out;

    // Without the override the material below wins, and the one above, replaced before
    // anything was drawn, never reaches the device. A trigger set emits its state at once,
    // even with nothing drawn under it.
    oxSmartPointer<oxAttrSet> plain = attrSet(red.get());
    plain->appendChild(below);
    out = frame(plain);
    EXPECT_NE(out.find("diffuse=(0.0000 1.0000 0.0000"), std::string::npos) << out;
    EXPECT_EQ(out.find("diffuse=(1.0000 0.0000 0.0000"), std::string::npos) << out;
    below->removeAllChildren();
    out = frame(plain);
    EXPECT_EQ(out.find("diffuse=(1.0000 0.0000 0.0000"), std::string::npos) << out;
    plain->setTriggerState(true);
    out = frame(plain);
    EXPECT_NE(out.find("diffuse=(1.0000 0.0000 0.0000"), std::string::npos) << out;
}

} // namespace
