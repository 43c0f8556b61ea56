// The shadow shaders drawn on the OpenGL device against reference images: a crate above a
// floor, lit from above, its shadow cast by projection (blurred and sharp) and flattened onto
// the floor's plane (opaque and blended).
//
// After a deliberate change, draw the references again with
//   OXSG_UPDATE_GOLDEN=1 ./oxshaders_tests --gtest_filter='ShadowShaderTest.*'
// and look at tests/data/shaders/shadow-*.png before committing them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/oxGLVisualContext.h"
#include "sg/OXSg.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using namespace Kel::Attrs;

namespace {

constexpr int kWidth = 160, kHeight = 120;

oxSmartPointer<oxGeometry> withMaterial(oxGeometryAttr* g, const oxVec4f& colour)
{
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    oxSmartPointer<oxMaterialAttr> m = oxMaterialAttr::_instantiateRef();
    m->setDiffuse(colour);
    m->setAmbient(colour);
    node->appendAttr(m);
    node->addGeometryAttr(g);
    return node;
}

// The floor: y = 0, 8 units square, facing up.
oxSmartPointer<oxGeometry> floorGeometry()
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, 4);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, 1);
    g->setPrimitiveLength(0, 4);
    const float xz[4][2] = {{-4, 4}, {4, 4}, {-4, -4}, {4, -4}};
    for (int i = 0; i < 4; ++i) {
        g->setPosition(i, oxVec3f(xz[i][0], 0, xz[i][1]));
        g->setNormal(i, oxVec3f(0, 1, 0));
    }
    return withMaterial(g, oxVec4f(0.9f, 0.9f, 0.85f, 1));
}

// A box from `low` to `high`, faces outward.
oxSmartPointer<oxGeometry> crate(const oxVec3f& low, const oxVec3f& high)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, 36);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 12);
    int v = 0;
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            oxVec3f n(0, 0, 0);
            (&n.x)[axis] = side ? 1.0f : -1.0f;
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            oxVec3f corner[4];
            for (int c = 0; c < 4; ++c) {
                oxVec3f p;
                (&p.x)[axis] = side ? (&high.x)[axis] : (&low.x)[axis];
                (&p.x)[u] = (c == 1 || c == 2) ? (&high.x)[u] : (&low.x)[u];
                (&p.x)[w] = (c >= 2) ? (&high.x)[w] : (&low.x)[w];
                corner[c] = p;
            }
            // Counter-clockwise seen from outside.
            const int order[2][6] = {{0, 3, 2, 0, 2, 1}, {0, 1, 2, 0, 2, 3}};
            for (int k : order[side]) {
                g->setPosition(v, corner[k]);
                g->setNormal(v++, n);
            }
        }
    return withMaterial(g, oxVec4f(0.8f, 0.45f, 0.2f, 1));
}

class ShadowShaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        Kel::Sg::oxArkRegisterForOXBFiles();
    }

    void SetUp() override
    {
        vc = oxGLVisualContext::create(kWidth, kHeight);
        if (!vc)
            GTEST_SKIP() << "no OpenGL device";
        draw->setVisualContext(vc);
        light->setType(OX_GFX_LIGHT_DIRECTIONAL);
        light->setDirection(oxVec3f(0.35f, -1, -0.25f).normalized());
        light->setDiffuse(oxVec4f(0.8f, 0.8f, 0.8f, 1));
        light->setAmbient(oxVec4f(0.3f, 0.3f, 0.3f, 1));
    }

    void TearDown() override { draw->setVisualContext(nullptr); }

    // `content` lit by the light, seen from above and in front.
    oxSmartPointer<oxImage> frame(oxNode* content)
    {
        oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
        oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
        lights->appendLightAttr(light);
        root->appendChild(lights);
        oxSmartPointer<oxLightStateSet> lit = oxLightStateSet::_instantiateRef();
        oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
        on->setLight(light);
        lit->appendLightStateAttr(on);
        oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
        lighting->setEnabled(true);
        oxSmartPointer<oxAttrSet> world = oxAttrSet::_instantiateRef();
        world->appendAttr(lighting);
        root->appendChild(world);
        world->appendChild(lit);
        lit->appendChild(content);

        oxMatrix44f view;
        view.lookAt(oxVec3f(0, 6, 8), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        draw->setPerspective(-1, 45, float(kWidth) / kHeight, 0.5f, 100);
        vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
        vc->setViewMatrix(view);
        draw->reset();
        draw->apply(root);
        oxClearValues clear;
        clear.color = oxVec4f(0.2f, 0.2f, 0.25f, 1);
        vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH | OX_GFX_CLEAR_STENCIL, clear);
        draw->getOutput()->apply(vc);
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        EXPECT_TRUE(vc->readPixels(0, 0, kWidth, kHeight, image));
        EXPECT_EQ(vc->takeGLError(), 0u);
        return image;
    }

    // The floor's pixel under the world point, as the frame's camera sees it.
    static const uint8_t* pixelAt(const oxImage* image, const oxVec3f& world)
    {
        oxMatrix44f view, projection;
        view.lookAt(oxVec3f(0, 6, 8), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        const float y = 0.5f * std::tan(45.0f * 3.14159265f / 360);
        const float x = y * float(kWidth) / kHeight;
        projection.frustum(-x, x, -y, y, 0.5f, 100);
        const oxVec4f c = (view * projection).transform(oxVec4f(world, 1));
        const int px = int((c.x / c.w + 1) / 2 * kWidth), py = int((1 - c.y / c.w) / 2 * kHeight);
        return image->getPixels() + (size_t(py) * size_t(kWidth) + size_t(px)) * 4;
    }

    ::testing::AssertionResult matches(const oxImage* image, const std::string& name)
    {
        return TestUtil::matchesGolden(image, std::string(OXSG_TEST_DATA_DIR) + "/shaders/" + name + ".png");
    }

    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
};

// The crate hangs to the right of the point under the shadow's light, so a shadow mirrored
// in the light's texture would fall to the left.
TEST_F(ShadowShaderTest, ProjectedShadowFallsUnderTheCrateBlurredOrSharp)
{
    oxSmartPointer<oxGroup> scene = oxGroup::_instantiateRef();
    oxSmartPointer<oxGeometry> box = crate(oxVec3f(0.6f, 1.2f, -0.2f), oxVec3f(1.4f, 2.0f, 0.6f));
    oxSmartPointer<oxProjectiveShadowShader> shadow = oxProjectiveShadowShader::_instantiateRef();
    shadow->setLightPosition(oxVec3f(0, 5, 0));
    shadow->setCutoffAngle(40);
    shadow->appendShadowCaster(box);
    shadow->appendShadowReceiver(floorGeometry());
    scene->appendChild(shadow);
    scene->appendChild(box);

    const oxSmartPointer<oxImage> soft = frame(scene);
    // Under the crate, seen along the light from (0, 5, 0): about 1.6 to 2.8 along x.
    const uint8_t* under = pixelAt(soft, oxVec3f(1.6f * 1.25f, 0, 0.3f));
    const uint8_t* mirrored = pixelAt(soft, oxVec3f(-1.6f * 1.25f, 0, 0.3f));
    EXPECT_LT(int(under[0]) + 40, int(mirrored[0])) << "the shadow is on the crate's side";
    EXPECT_TRUE(matches(soft, "shadow-projective-blurred"));

    shadow->setBlurState(false);
    const oxSmartPointer<oxImage> sharp = frame(scene);
    EXPECT_TRUE(matches(sharp, "shadow-projective-sharp"));
    EXPECT_FALSE(oxCompareImages(*soft, *sharp).isSlight()) << "the blur softens the edges";
}

TEST_F(ShadowShaderTest, PlanarShadowLiesOnTheFloorOpaqueOrBlended)
{
    oxSmartPointer<oxGroup> scene = oxGroup::_instantiateRef();
    scene->appendChild(floorGeometry());
    oxSmartPointer<oxPlanarShadowShader> shadow = oxPlanarShadowShader::_instantiateRef();
    shadow->appendChild(crate(oxVec3f(-0.5f, 0.8f, -0.5f), oxVec3f(0.5f, 1.8f, 0.5f)));
    shadow->addLight(light);
    // Just above the floor, so that the two do not fight over depth.
    shadow->setShadowPlane(oxVec3f(0, 1, 0), 0.01f);
    shadow->setShadowColor(oxVec4f(0.15f, 0.15f, 0.2f, 1));
    scene->appendChild(shadow);
    EXPECT_TRUE(matches(frame(scene), "shadow-planar-opaque"));

    shadow->setShadowUseBlend(true);
    shadow->setShadowUseStencil(true);
    shadow->setShadowColor(oxVec4f(0, 0, 0, 0.5f));
    EXPECT_TRUE(matches(frame(scene), "shadow-planar-blended"));
}

} // namespace
