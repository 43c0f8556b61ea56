// How oxsg looks at a scene and draws the demonstration scene: the view with and without a
// camera, and whole demo frames through the OpenGL device against a reference image.
//
// After a deliberate change to the demo, draw the reference again with
//   OXSG_UPDATE_GOLDEN=1 ./oxsg_tool_tests
// and look at tests/data/tools/demo.png before committing it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "platform/gfxgl/oxGLVisualContext.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/sceneView.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using Kel::Attrs::oxGeometryAttr;
using Kel::Attrs::oxLightingStateAttr;

namespace {

constexpr int64_t kSecond = 1000000000;

class SceneViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        Kel::Sg::oxArkRegisterForOXBFiles();
    }

    // Where a point of the scene lands in normalised device coordinates.
    oxVec3f project(const oxVec3f& p) const
    {
        const oxVec4f clip = oxVec4f(p.x, p.y, p.z, 1) * (draw->getViewMatrix() * draw->getProjectionMatrix());
        return oxVec3f(clip.x / clip.w, clip.y / clip.w, clip.z / clip.w);
    }

    // A device for the frame tests, or a skip with the reason there is none.
    oxSmartPointer<oxGLVisualContext> device(int width, int height)
    {
        TestUtil::WarningCatcher warnings;
        oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(width, height);
        for (const std::string& w : warnings.get())
            _noDevice += w + "; ";
        return vc;
    }

    oxSmartPointer<oxImage> frame(oxNode* root, oxGLVisualContext* vc, int64_t time)
    {
        oxsg::viewScene(root, float(vc->getWidth()) / float(vc->getHeight()), draw);
        draw->setVisualContext(vc);
        oxsg::drawFrame(root, draw, vc, time);
        EXPECT_EQ(vc->takeGLError(), 0u);
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        EXPECT_TRUE(vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), image));
        return image;
    }

    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    std::string _noDevice;
};

oxSmartPointer<oxGeometry> box(const oxVec3f& min, const oxVec3f& max)
{
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, 2);
    a->setPosition(0, min);
    a->setPosition(1, max);
    a->configurePrimitive(OX_GFX_DRAW_LINES, 1);
    g->addGeometryAttr(a);
    return g;
}

TEST_F(SceneViewTest, WithoutACameraTheViewHoldsEveryGeometryWhereverTransformsPutIt)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> moved = oxTransform::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(100, 0, -40));
    moved->setMatrix(&m);
    moved->appendChild(box(oxVec3f(-1, 0, -1), oxVec3f(1, 3, 1)));
    root->appendChild(moved);
    // A second geometry under a switch that shows nothing still counts.
    oxSmartPointer<oxSwitch> hidden = oxSwitch::_instantiateRef();
    hidden->appendChild(box(oxVec3f(96, 0, -44), oxVec3f(97, 1, -43)));
    hidden->deactivateAllChildren();
    root->appendChild(hidden);

    oxsg::viewScene(root, 2.0f, draw);
    for (int corner = 0; corner < 8; ++corner) {
        const oxVec3f p(corner & 1 ? 101 : 96, corner & 2 ? 3 : 0, corner & 4 ? -39 : -44);
        const oxVec3f ndc = project(p);
        EXPECT_LT(std::fabs(ndc.x), 1) << "corner " << corner;
        EXPECT_LT(std::fabs(ndc.y), 1) << "corner " << corner;
        EXPECT_LT(std::fabs(ndc.z), 1) << "corner " << corner << " lies between the near and far planes";
    }
    EXPECT_NEAR(project(oxVec3f(98.5f, 1.5f, -41.5f)).x, 0, 0.05f) << "the scene is centred across";
}

TEST_F(SceneViewTest, ACameraGivesTheViewFromWhereItsTransformsPutIt)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(box(oxVec3f(-1, -1, -1), oxVec3f(1, 1, 1)));
    oxSmartPointer<oxTransform> mount = oxTransform::_instantiateRef();
    oxMatrix44f m;
    m.makeRotationY(0.5f);
    m.postTranslate(oxVec3f(3, 2, 10));
    mount->setMatrix(&m);
    oxSmartPointer<oxCamera> camera = oxCamera::_instantiateRef();
    camera->setHorizontalFieldOfView(70);
    camera->setNearPlane(0.25f);
    camera->setFarPlane(50);
    mount->appendChild(camera);
    root->appendChild(mount);

    oxsg::viewScene(root, 1.5f, draw);
    const oxMatrix44f product = m * draw->getViewMatrix();
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(product.m[i][j], i == j ? 1 : 0, 1e-5f) << "the view undoes the camera's placement";
    oxMatrix44f projection;
    ASSERT_TRUE(camera->computeProjection(projection, 1.5f));
    EXPECT_EQ(0, std::memcmp(&projection, &draw->getProjectionMatrix(), sizeof projection));

    // A camera that makes no projection is passed over for the framing view.
    camera->setNearPlane(0);
    oxsg::viewScene(root, 1.5f, draw);
    EXPECT_NEAR(project(oxVec3f(0, 0, 0)).x, 0, 1e-4f);
    EXPECT_LT(std::fabs(project(oxVec3f(1, 1, 1)).y), 1);
}

TEST_F(SceneViewTest, TheDemoMovesWithTime)
{
    // Without a device: the frame's display list through the recording device.
    oxSmartPointer<oxGroup> demo = oxsg::buildDemoScene();
    oxSmartPointer<oxRecordingVisualContext> recorder = oxRecordingVisualContext::_instantiateRef();
    draw->setVisualContext(recorder);
    draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxsg::viewScene(demo, 4.0f / 3, draw);
    std::vector<std::string> traces;
    for (int64_t t : {int64_t(0), kSecond / 2, 4 * kSecond}) {
        recorder->clearTrace();
        oxsg::drawFrame(demo, draw, recorder, t);
        traces.push_back(recorder->getTrace());
    }
    EXPECT_NE(traces[0], traces[1]) << "half a second on, the torus, the crate and the ball have moved";
    // Lights first; both lights on; every shown gem, pane and pearl drawn.
    EXPECT_EQ(traces[0].find("setLight"), traces[0].find("setLight light#")) << traces[0];
    size_t draws = 0;
    for (size_t p = traces[0].find("drawGeometry"); p != std::string::npos; p = traces[0].find("drawGeometry", p + 1))
        ++draws;
    // ground, torus, crate, the figure's three cloths, ball, rock, blob, two gems, two pearls,
    // cut ball, tree, three panes; the figure's cloths again as shadow casters and the blur
    // quads; the flattened torus and ball; the bumped wall in two passes; three snowballs
    EXPECT_EQ(draws, 29u) << traces[0];
    EXPECT_NE(traces[0].find("setClipPlane 0 (0.3000 -1.0000 0.2000 0.0000)"), std::string::npos);
    EXPECT_NE(traces[0].find("setSwitch BLEND on"), std::string::npos);
}

TEST_F(SceneViewTest, TheDemoDrawsAsItsReferenceImageAndTheSameFromItsFile)
{
    oxSmartPointer<oxGLVisualContext> vc = device(256, 192);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device: " << _noDevice;
    oxSmartPointer<oxGroup> demo = oxsg::buildDemoScene();
    // Stored before it is drawn, so that both copies have the same history behind the frame
    // (inverse kinematics solves incrementally from the frames before).
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(demo, bytes), kSuccess);
    draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxSmartPointer<oxImage> built = frame(demo, vc, kSecond);
    const std::string path = std::string(OXSG_TEST_DATA_DIR) + "/tools/demo.png";
    bool updated = false;
    EXPECT_TRUE(TestUtil::matchesGolden(built, path, &updated));
    const uint32_t sky = built->getColor(128, 2);
    EXPECT_EQ(sky & 0xFF, uint32_t(oxsg::kSky.x * 255 + 0.5f)) << "the top of the frame is sky";

    // Every field the draw uses survives the scene file.
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "demo"), kSuccess) << reader.getError();
    oxNode* read = oxNode::dynamicCast(reader.getRoot());
    ASSERT_TRUE(read);
    oxSmartPointer<oxCommonTraversal> fresh = oxCommonTraversal::_instantiateRef();
    draw = fresh;
    draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxSmartPointer<oxImage> fromFile = frame(read, vc, kSecond);
    EXPECT_EQ(0, std::memcmp(built->getPixels(), fromFile->getPixels(), built->getPixelBytes()));
    if (updated)
        GTEST_SKIP() << "wrote " << path;
}

// Culling with the bounds the maker computes draws the same pixels, in the whole view and
// in a view three times closer that leaves part of the demo outside: there it draws less.
TEST_F(SceneViewTest, TheDemoDrawsTheSameThroughTheCullingTraversal)
{
    oxSmartPointer<oxGLVisualContext> vc = device(256, 192);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device: " << _noDevice;
    // What moves keeps no bound, nor does anything above it: the root is walked untested and
    // the still parts are culled by their own bounds. Each traversal draws a demo of its
    // own: the figure's reaching arm depends on the frames drawn before.
    oxSmartPointer<oxGroup> demos[2] = {oxsg::buildDemoScene(), oxsg::buildDemoScene()};
    for (oxGroup* demo : demos) {
        ASSERT_TRUE(oxBoundingBoxesMaker::_instantiateRef()->apply(demo));
        EXPECT_FALSE(demo->getBound());
    }
    oxSmartPointer<oxFrustCullTraversal> cull = oxFrustCullTraversal::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> plain = draw;
    for (float zoom : {1.0f, 3.0f}) {
        SCOPED_TRACE(zoom);
        size_t packages[2] = {};
        oxSmartPointer<oxImage> images[2];
        for (int i = 0; i < 2; ++i) {
            draw = i ? static_cast<oxCommonTraversal*>(cull) : plain.get();
            draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
            draw->setVisualContext(vc);
            oxGroup* demo = demos[i];
            oxsg::viewScene(demo, float(vc->getWidth()) / float(vc->getHeight()), draw);
            oxMatrix44f closer;
            closer.makeScale(oxVec3f(zoom, zoom, 1));
            draw->setProjectionMatrix(draw->getProjectionMatrix() * closer);
            oxsg::drawFrame(demo, draw, vc, kSecond);
            packages[i] = draw->getSorter()->getOpaqueRenderPackages()->getCount() +
                          draw->getSorter()->getTransparentRenderPackages()->getCount();
            images[i] = oxImage::_instantiateRef();
            ASSERT_TRUE(vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), images[i]));
        }
        EXPECT_EQ(0, std::memcmp(images[0]->getPixels(), images[1]->getPixels(), images[0]->getPixelBytes()));
        if (zoom == 1.0f)
            EXPECT_EQ(packages[1], packages[0]) << "everything is in view";
        else
            EXPECT_LT(packages[1], packages[0]);
    }
}


// The skinned figure close up as it walks, eases into its wave and reaches for the passing
// crate: the same pictures whether the device blends its vertices in a vertex program or
// on the host.
TEST_F(SceneViewTest, TheFigureDrawsItsReferenceImagesWithVerticesBlendedOnTheGpuOrTheHost)
{
    const int64_t times[] = {kSecond / 2, 3 * kSecond + kSecond / 5, 5 * kSecond + kSecond / 3};
    bool updated = false;
    for (bool gpu : {true, false}) {
        SCOPED_TRACE(gpu ? "GPU" : "host");
        oxSmartPointer<oxGLVisualContext> vc = device(160, 200);
        if (!vc)
            GTEST_SKIP() << "no OpenGL device: " << _noDevice;
        vc->setGpuVertexBlending(gpu);
        // A fresh figure and traversal each time: blends and reaching depend on the frames
        // before, which the traversal goes through from time 0.
        oxSmartPointer<oxGroup> demo = oxsg::buildDemoScene();
        draw = oxCommonTraversal::_instantiateRef();
        draw->setVisualContext(vc);
        draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
        oxMatrix44f view;
        view.lookAt(oxVec3f(-1.3f, 1.9f, 9.4f), oxVec3f(-2.9f, 0.85f, 3.5f), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        draw->setPerspective(-1, 32, 160.0f / 200.0f, 0.5f, 60);
        for (int64_t t : times) {
            oxsg::drawFrame(demo, draw, vc, t);
            EXPECT_EQ(vc->takeGLError(), 0u);
            oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
            ASSERT_TRUE(vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), image));
            const std::string path =
                std::string(OXSG_TEST_DATA_DIR) + "/tools/figure-" + std::to_string(t / (kSecond / 10)) + ".png";
            if (gpu || !updated) {
                EXPECT_TRUE(TestUtil::matchesGolden(image, path, &updated)) << "at " << t << " ns";
            }
        }
        EXPECT_EQ(vc->hasVertexBlendProgram(), gpu) << "the path drawn was the one asked for";
    }
    if (updated)
        GTEST_SKIP() << "wrote the figure's reference images";
}


// The rock drawn to the same size in the picture from three distances: the farther the eye,
// the fewer its triangles, and the coarser the outline the reference pictures hold.
TEST_F(SceneViewTest, TheRockLosesTrianglesWithDistance)
{
    oxSmartPointer<oxGLVisualContext> vc = device(160, 160);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device: " << _noDevice;
    oxSmartPointer<oxMultiResolutionMeshInstance> rock = oxsg::buildProgressiveRock();
    oxSmartPointer<oxLightAttr> sun = oxLightAttr::_instantiateRef();
    sun->setType(OX_GFX_LIGHT_DIRECTIONAL);
    sun->setDirection(oxVec3f(-0.5f, -0.8f, -0.6f).normalized());
    oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
    lights->appendLightAttr(sun);
    oxSmartPointer<oxLightStateSet> lit = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
    on->setLight(sun);
    lit->appendLightStateAttr(on);
    oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
    lighting->setEnabled(true);
    oxSmartPointer<oxAttrSet> world = oxAttrSet::_instantiateRef();
    world->appendAttr(lighting);
    world->appendChild(lit);
    lit->appendChild(rock);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(lights);
    root->appendChild(world);

    draw->setVisualContext(vc);
    unsigned last = ~0u;
    bool updated = false;
    for (float distance : {6.0f, 20.0f, 34.0f}) {
        SCOPED_TRACE(distance);
        oxMatrix44f view;
        view.lookAt(oxVec3f(0, 0.4f, distance), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        const float fov = 2.0f * std::atan(1.4f / distance) * 180.0f / 3.14159265f;
        draw->setPerspective(-1, fov, 1.0f, distance * 0.5f, distance * 2.0f);
        oxsg::drawFrame(root, draw, vc, 0);
        EXPECT_EQ(vc->takeGLError(), 0u);
        EXPECT_LT(rock->getCurrentPolygonCount(), last) << "farther, fewer triangles";
        last = rock->getCurrentPolygonCount();
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        ASSERT_TRUE(vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), image));
        const std::string path =
            std::string(OXSG_TEST_DATA_DIR) + "/tools/rock-" + std::to_string(int(distance)) + ".png";
        EXPECT_TRUE(TestUtil::matchesGolden(image, path, &updated));
    }
    EXPECT_GT(last, 60u) << "34 units away is not yet the far distance";
    if (updated)
        GTEST_SKIP() << "wrote the rock's reference images";
}

} // namespace
