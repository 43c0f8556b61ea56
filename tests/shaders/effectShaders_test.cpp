// The bump-map and cartoon nodes drawn on the OpenGL device against reference images: a
// brick wall bumped with each technique, forced through the capabilities the traversal is
// given, and a ball cartoon-shaded on two texture units and in two passes on one.
//
// After a deliberate change, draw the references again with
//   OXSG_UPDATE_GOLDEN=1 ./oxshaders_tests --gtest_filter='EffectShader*'
// and look at tests/data/shaders/bump-*.png and cartoon-*.png before committing them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/oxGLVisualContext.h"
#include "sg/OXSg.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using namespace Kel::Attrs;

namespace {

constexpr int kWidth = 160, kHeight = 120;

template <class F>
oxSmartPointer<oxTextureBindAttr> texture(int width, int height, int format, F&& texel)
{
    const int channels = oxImage::getBitsPerPixel(format) / 8;
    std::vector<uint8_t> bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const oxVec4f c = texel(x, y);
            const float v[4] = {c.x, c.y, c.z, c.w};
            for (int k = 0; k < channels; ++k)
                bytes.push_back(uint8_t(std::lround(std::fmin(std::fmax(v[k], 0.0f), 1.0f) * 255)));
        }
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(bytes.data(), format, width, height);
    oxSmartPointer<oxTextureAttr> t = oxTextureAttr::_instantiateRef();
    t->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(t);
    return bind;
}

// Bricks: raised blocks with rounded edges and sunken mortar, as 8-bit heights.
oxSmartPointer<oxTextureBindAttr> bricks()
{
    return texture(64, 64, OX_GFX_PIXEL_L8, [](int x, int y) {
        const int row = y / 16, shift = row % 2 ? 16 : 0;
        const int bx = (x + shift) % 32, by = y % 16;
        const int edge = std::min(std::min(bx, 31 - bx), std::min(by, 15 - by));
        const float h = edge < 1 ? 0.1f : std::fmin(1.0f, 0.45f + 0.15f * float(edge));
        return oxVec4f(h, h, h, 1);
    });
}

// A wall of n × n cells, 3 wide, facing +z, with the tangent frame and a second (reserved)
// coordinate set; bricks repeat twice across it.
oxSmartPointer<oxGeometry> wall(int n)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors |
                                oxVertexFormat::texCoords(2),
                            6 * n * n);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * n * n);
    int v = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            for (const auto& c : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 0},
                                  std::pair{1, 1}, std::pair{0, 1}}) {
                const float u = float(i + c.first) / float(n), w = float(j + c.second) / float(n);
                g->setPosition(v, oxVec3f(3 * u - 1.5f, 3 * w - 1.5f, 0));
                g->setNormal(v, oxVec3f(0, 0, 1));
                g->setColor(v, oxVec4f(1, 1, 1, 1));
                g->setTextureCoord(v, 0, Kel::Math::oxVec2f(2 * u, 2 * w));
                ++v;
            }
    oxSmartPointer<oxVertexArrayHelper> helper = oxVertexArrayHelper::_instantiateRef();
    helper->generateTangentsAndBinormals(g, 0);
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

// A ball of radius 1 with normals and two coordinate sets, which the cartoon node fills.
oxSmartPointer<oxGeometry> ball(int rings, int segments)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(2),
                            6 * rings * segments);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * rings * segments);
    const float pi = 3.14159265f;
    auto point = [&](int r, int s) {
        const float theta = pi * float(r) / float(rings), phi = 2 * pi * float(s) / float(segments);
        return oxVec3f(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
    };
    int v = 0;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s)
            for (const auto& c : {std::pair{0, 0}, std::pair{1, 1}, std::pair{1, 0}, std::pair{0, 0},
                                  std::pair{0, 1}, std::pair{1, 1}}) {
                const oxVec3f p = point(r + c.first, s + c.second);
                g->setPosition(v, p);
                g->setNormal(v, p);
                ++v;
            }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

class EffectShaderTest : public ::testing::Test {
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
        draw->setCapabilityManager(caps);
    }

    void TearDown() override { draw->setVisualContext(nullptr); }

    void device(int units, bool dot3)
    {
        caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, units);
        caps->setCapability(OX_GFX_CAP_TEXTURE_DOT3, dot3 ? 1 : 0);
    }

    oxSmartPointer<oxImage> frame(oxNode* root, const oxVec3f& eye)
    {
        oxMatrix44f view;
        view.lookAt(eye, oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        draw->setPerspective(-1, 40, float(kWidth) / kHeight, 0.5f, 100);
        vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
        vc->setViewMatrix(view);
        draw->setUserTimeState(true);
        draw->setTimeAsLong(0);
        draw->reset();
        draw->apply(root);
        oxClearValues clear;
        clear.color = oxVec4f(0.2f, 0.2f, 0.25f, 1);
        vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
        draw->getOutput()->apply(vc);
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        EXPECT_TRUE(vc->readPixels(0, 0, kWidth, kHeight, image));
        EXPECT_EQ(vc->takeGLError(), 0u);
        // The subtracting emboss pass leaves alpha at 0; what shows is the colour.
        EXPECT_TRUE(image->convert(OX_GFX_PIXEL_RGB8, image));
        return image;
    }

    ::testing::AssertionResult matches(const oxImage* image, const std::string& name)
    {
        return TestUtil::matchesGolden(image, std::string(OXSG_TEST_DATA_DIR) + "/shaders/" + name + ".png");
    }

    // A bumped brick wall lit from the upper left, near enough for the light to fall off.
    oxSmartPointer<oxBumpMapShader> bumpedWall()
    {
        oxSmartPointer<oxBumpMapShader> bump = oxBumpMapShader::_instantiateRef();
        bump->setBumpTexture(bricks());
        bump->setBumpTextureCoordIndex(0);
        bump->setReservedTextureCoordIndex(1);
        bump->setBumpStrength(3);
        bump->setAmbient(0.15f);
        bump->setDiffuseMaterial(oxVec3f(0.9f, 0.55f, 0.4f));
        bump->setLightCount(1);
        bump->setLightPosition(0, oxVec3f(-2.5f, 2.5f, 1.5f));
        bump->setLightIntensity(0, 1.0f);
        bump->appendChild(wall(24));
        return bump;
    }

    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    oxSmartPointer<oxGenericCapabilityManager> caps = oxGenericCapabilityManager::_instantiateRef();
};

TEST_F(EffectShaderTest, BumpedWallWithEachTechnique)
{
    const oxVec3f eye(0, 0, 4.5f);
    const oxSmartPointer<oxImage> plain = frame(wall(24), eye);
    device(4, true);
    const oxSmartPointer<oxImage> dot3 = frame(bumpedWall(), eye);
    EXPECT_TRUE(matches(dot3, "bump-dot3"));
    device(2, false);
    const oxSmartPointer<oxImage> twoUnits = frame(bumpedWall(), eye);
    EXPECT_TRUE(matches(twoUnits, "bump-emboss-two-units"));
    device(1, false);
    const oxSmartPointer<oxImage> oneUnit = frame(bumpedWall(), eye);
    EXPECT_TRUE(matches(oneUnit, "bump-emboss-one-unit"));
    // Each technique shows something of its own, and none is the unbumped wall.
    EXPECT_FALSE(oxCompareImages(*dot3, *plain).isSlight());
    EXPECT_FALSE(oxCompareImages(*twoUnits, *plain).isSlight());
    EXPECT_FALSE(oxCompareImages(*oneUnit, *plain).isSlight());
    EXPECT_FALSE(oxCompareImages(*dot3, *oneUnit).isSlight());
}

TEST_F(EffectShaderTest, CartoonBallOnTwoUnitsAndInTwoPasses)
{
    oxSmartPointer<oxCartoonShader> cartoon = oxCartoonShader::_instantiateRef();
    // Three hard bands of orange by the light cosine; dark where the surface turns away from
    // the eye.
    cartoon->setShadingTexture(texture(16, 1, OX_GFX_PIXEL_RGB8, [](int x, int) {
        const float band = x < 8 ? 0.3f : x < 13 ? 0.65f : 1.0f;
        return oxVec4f(band, band * 0.55f, band * 0.15f, 1);
    }));
    cartoon->setOutlineTexture(texture(16, 1, OX_GFX_PIXEL_RGB8, [](int x, int) {
        const float ink = x < 10 ? 0.05f : 1.0f;
        return oxVec4f(ink, ink, ink, 1);
    }));
    cartoon->setShadingTextureCoordIndex(0);
    cartoon->setOutlineTextureCoordIndex(1);
    cartoon->setLightPosition(oxVec4f(-1, -1, -1, 0));
    cartoon->appendChild(ball(16, 32));
    const oxVec3f eye(0, 0.5f, 4);
    device(2, false);
    const oxSmartPointer<oxImage> oneDraw = frame(cartoon, eye);
    EXPECT_TRUE(matches(oneDraw, "cartoon-two-units"));
    device(1, false);
    const oxSmartPointer<oxImage> twoDraws = frame(cartoon, eye);
    EXPECT_TRUE(matches(twoDraws, "cartoon-two-passes"));
    // Multiplying in a second pass comes to what the second unit's combiner does.
    const oxImageDifference d = oxCompareImages(*oneDraw, *twoDraws);
    EXPECT_LT(d.differingPixels, d.pixels / 50);
}

} // namespace
