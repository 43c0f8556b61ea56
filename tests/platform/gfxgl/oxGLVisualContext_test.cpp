// The OpenGL device against reference images. Every scene is drawn by applying attributes
// to the device, read back and compared with tests/data/gfx/NAME.png. The software
// rasteriser is forced so that the pixels are the same on every machine.
//
// To draw the reference images again (after a deliberate change), run
//   OXSG_UPDATE_GOLDEN=1 ./oxgfxgl_tests --gtest_filter='oxGLVisualContext*'
// and look at every image before committing it. Updating tests are reported as skipped.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"
#include "platform/gfxgl/oxGLPrivate.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;
using Kel::Gfx::TestUtil::matchesGolden;
using Kel::Gfx::TestUtil::WarningCatcher;
using Kel::Math::oxVec2f;

namespace {
constexpr int kSize = 128;
constexpr uint32_t kColorAndDepth = OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH;

template <class T>
oxSmartPointer<T> make()
{
    return T::_instantiateRef();
}

struct Rgba {
    int r, g, b, a;
};

Rgba pixel(const oxImage* image, int x, int y)
{
    uint32_t c = image->getColor(x, y);
    return {int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF), int(c >> 24)};
}

// Each channel within `tolerance` of the expected 0..255 values.
::testing::AssertionResult near(const oxImage* image, int x, int y, Rgba want, int tolerance = 3)
{
    Rgba got = pixel(image, x, y);
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance && std::abs(got.a - want.a) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << got.r << ", " << got.g << ", "
                                         << got.b << ", " << got.a << "), expected (" << want.r << ", " << want.g
                                         << ", " << want.b << ", " << want.a << ")";
}

// Pixels as bytes, compared exactly.
std::vector<uint8_t> bytesOf(const oxImage* image)
{
    return {image->getPixels(), image->getPixels() + image->getPixelBytes()};
}

// A geometry over an interleaved array; the caller fills the components.
oxSmartPointer<oxGeometryAttr> geometry(oxVertexFormat format, OX_GFX_DRAW type, int primitives,
                                        const std::vector<oxVec3f>& positions)
{
    oxSmartPointer<oxGeometryAttr> g = make<oxGeometryAttr>();
    g->configureVertexArray(format, int(positions.size()));
    for (size_t i = 0; i < positions.size(); ++i)
        g->setPosition(int(i), positions[i]);
    g->configurePrimitive(type, primitives);
    return g;
}

// A rectangle as a strip from (x0, y0) to (x1, y1) at depth z; texture coordinates run 0..1
// from its bottom-left corner when the format has them.
oxSmartPointer<oxGeometryAttr> rectangle(float x0, float y0, float x1, float y1, float z = 0.0f,
                                         oxVertexFormat extra = oxVertexFormat())
{
    oxSmartPointer<oxGeometryAttr> g = geometry(oxVertexFormat::kPositions | extra, OX_GFX_DRAW_TRIANGLE_STRIPS, 1,
                                                {{x0, y0, z}, {x1, y0, z}, {x0, y1, z}, {x1, y1, z}});
    if (extra.getTexCoordSetCount())
        for (int i = 0; i < 4; ++i)
            g->setTextureCoord(i, 0, oxVec2f(float(i & 1), float(i >> 1)));
    return g;
}

oxSmartPointer<oxImage> image(int width, int height, int format, const std::vector<uint8_t>& pixels)
{
    oxSmartPointer<oxImage> i = make<oxImage>();
    i->loadBuffer(pixels.data(), format, width, height);
    return i;
}

// Four texels: red, green on the top row; blue, white below.
oxSmartPointer<oxTextureAttr> quadrantTexture()
{
    oxSmartPointer<oxTextureAttr> t = make<oxTextureAttr>();
    t->setImage(image(2, 2, OX_GFX_PIXEL_RGB8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}), 0);
    t->setFilters(OX_GFX_FILTER_NEAREST, OX_GFX_FILTER_NEAREST);
    return t;
}

// A sphere of radius 1 as indexed triangles with normals.
oxSmartPointer<oxGeometryAttr> sphere(int slices, int stacks)
{
    oxSmartPointer<oxGeometryAttr> g = make<oxGeometryAttr>();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, (slices + 1) * (stacks + 1));
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            float theta = float(M_PI) * float(j) / float(stacks), phi = 2.0f * float(M_PI) * float(i) / float(slices);
            oxVec3f n(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
            g->setPosition(j * (slices + 1) + i, n);
            g->setNormal(j * (slices + 1) + i, n);
        }
    oxIndexArray* indices = g->configureIndexArray(slices * stacks * 6);
    int k = 0;
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            uint16_t a = uint16_t(j * (slices + 1) + i), b = uint16_t(a + slices + 1);
            for (uint16_t index : {a, uint16_t(a + 1), b, b, uint16_t(a + 1), uint16_t(b + 1)})
                indices->set(k++, index);
        }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, slices * stacks * 2);
    return g;
}
} // namespace

class oxGLVisualContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The software rasteriser, whatever the machine has: the reference images are its.
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        Kel::libOXAttrs_arkRegister();
    }

    void SetUp() override
    {
        WarningCatcher warnings;
        vc = oxGLVisualContext::create(kSize, kSize);
        if (!vc) {
            std::string reason;
            for (const std::string& w : warnings.get())
                reason += w + "; ";
            GTEST_SKIP() << "no OpenGL device: " << reason;
        }
        oxMatrix44f projection;
        projection.ortho(-1, 1, -1, 1, -1, 1);
        set<oxProjectionMatrixAttr>(projection);
        clear({0.1f, 0.1f, 0.2f, 1});
    }

    void draw(oxAttr* attr) { attr->apply(vc); }

    template <class T>
    void set(const oxMatrix44f& m, int unit = 0)
    {
        oxSmartPointer<T> attr = make<T>();
        attr->setUnit(unit);
        attr->setMatrix(m);
        draw(attr);
    }

    template <class T>
    void turn(bool on, int unit = 0)
    {
        oxSmartPointer<T> attr = make<T>();
        attr->setUnit(unit);
        attr->setEnabled(on);
        draw(attr);
    }

    void clear(const oxVec4f& color, uint32_t buffers = kColorAndDepth)
    {
        oxSmartPointer<oxClearAttr> c = make<oxClearAttr>();
        c->setColor(color);
        c->setBuffers(buffers);
        draw(c);
    }

    void color(const oxVec4f& c)
    {
        oxSmartPointer<oxColorAttr> attr = make<oxColorAttr>();
        attr->setColor(c);
        draw(attr);
    }

    void viewport(int x, int y, int width, int height)
    {
        oxSmartPointer<oxViewportAttr> v = make<oxViewportAttr>();
        v->setViewport(x, y, width, height);
        draw(v);
    }

    void bind(oxTextureAttr* texture, int unit = 0)
    {
        oxSmartPointer<oxTextureBindAttr> b = make<oxTextureBindAttr>();
        b->setUnit(unit);
        b->setTexture(texture);
        draw(b);
        turn<oxTextureStateAttr>(texture != nullptr, unit);
    }

    oxSmartPointer<oxImage> read(int x = 0, int y = 0, int width = kSize, int height = kSize)
    {
        oxSmartPointer<oxImage> image = make<oxImage>();
        EXPECT_TRUE(vc->readPixels(x, y, width, height, image));
        return image;
    }

    // Compares the frame with tests/data/gfx/NAME.png and returns it for checks of its own.
    oxSmartPointer<oxImage> expectGolden(const char* name)
    {
        EXPECT_EQ(vc->takeGLError(), 0u) << "OpenGL flagged an error drawing " << name;
        oxSmartPointer<oxImage> frame = read();
        EXPECT_EQ(frame->getWidth(), kSize);
        bool updated = false;
        const std::string path = std::string(OXSG_TEST_DATA_DIR) + "/gfx/" + name + ".png";
        EXPECT_TRUE(matchesGolden(frame, path, &updated)) << name;
        if (updated)
            _updated += path + " ";
        return frame;
    }

    void TearDown() override
    {
        if (!_updated.empty())
            GTEST_SKIP() << "wrote " << _updated;
    }

    oxSmartPointer<oxGLVisualContext> vc;

private:
    std::string _updated;
};

TEST_F(oxGLVisualContextTest, ClearsAndDrawsIntoTheViewport)
{
    EXPECT_EQ(vc->getViewport().width, kSize);
    EXPECT_GT(vc->getCapability(OX_GFX_CAP_TEXTURE_UNITS), 1);
    EXPECT_GE(vc->getCapability(OX_GFX_CAP_MAX_LIGHTS), 8);
    EXPECT_EQ(vc->getCapability(OX_GFX_CAP_DISPLAY_LISTS), 1);

    // Left half orange, top-right quarter green; the whole-viewport rectangle fills each.
    viewport(0, 0, kSize / 2, kSize);
    color({1, 0.5f, 0, 1});
    draw(rectangle(-1, -1, 1, 1));
    viewport(kSize / 2, kSize / 2, kSize / 2, kSize / 2);
    color({0, 0.8f, 0.2f, 1});
    draw(rectangle(-1, -1, 1, 1));
    EXPECT_EQ(vc->getViewport().x, kSize / 2);

    // Clear values without buffers are only set.
    clear({1, 1, 1, 1}, 0);
    EXPECT_EQ(vc->getClearValues().color, oxVec4f(1, 1, 1, 1));

    oxSmartPointer<oxImage> frame = expectGolden("clear_viewport");
    EXPECT_TRUE(near(frame, 10, 100, {255, 128, 0, 255}));
    EXPECT_TRUE(near(frame, 100, 20, {0, 204, 51, 255}));
    EXPECT_TRUE(near(frame, 100, 100, {26, 26, 51, 255}));
}

TEST_F(oxGLVisualContextTest, LightsAMaterialColouredMesh)
{
    oxMatrix44f projection, view;
    projection.perspective(40.0f, 1.0f, 0.5f, 10.0f);
    view.lookAt({0, 0, 3.5f}, {0, 0, 0}, {0, 1, 0});
    set<oxProjectionMatrixAttr>(projection);
    vc->setViewMatrix(view);
    set<oxModelViewMatrixAttr>(view);

    oxSmartPointer<oxLightAttr> light = make<oxLightAttr>();
    light->setDirection(oxVec3f(-1, -1, -1).normalized());
    light->setAmbient({0.15f, 0.15f, 0.15f, 1});
    draw(light);
    oxSmartPointer<oxLightStateAttr> lightOn = make<oxLightStateAttr>();
    lightOn->setLight(light);
    draw(lightOn);
    turn<oxLightingStateAttr>(true);
    oxSmartPointer<oxMaterialAttr> material = make<oxMaterialAttr>();
    material->setAmbient({0.6f, 0.1f, 0.05f, 1});
    material->setDiffuse({0.85f, 0.15f, 0.1f, 1});
    material->setSpecular({1, 1, 1, 1});
    material->setShininess(40.0f);
    draw(material);
    draw(sphere(32, 16));

    oxSmartPointer<oxImage> frame = expectGolden("lit_mesh");
    Rgba centre = pixel(frame, 64, 64), lit = pixel(frame, 80, 48), shaded = pixel(frame, 45, 85);
    EXPECT_GT(centre.r, 2 * centre.g) << "the material is red";
    EXPECT_GT(lit.r, shaded.r + 60) << "the light comes from the upper right";
    EXPECT_TRUE(near(frame, 2, 2, {26, 26, 51, 255}));
}

TEST_F(oxGLVisualContextTest, TexturesUnitsWithFunctionsAndGeneratedCoordinates)
{
    oxSmartPointer<oxTextureAttr> quadrants = quadrantTexture();

    // Top left: the texture modulated by a grey colour, image top row at the top.
    bind(quadrants);
    color({0.8f, 0.8f, 0.8f, 1});
    draw(rectangle(-0.95f, 0.05f, -0.05f, 0.95f, 0, oxVertexFormat::texCoords(1)));

    // Top right: coordinates generated from positions, repeated twice by the texture matrix.
    oxMatrix44f planes, repeat;
    planes.makeScale(oxVec3f(1 / 0.9f, 1 / 0.9f, 1));
    planes.postTranslate({-0.05f / 0.9f, -0.05f / 0.9f, 0});
    repeat.makeScale(oxVec3f(2, 2, 1));
    oxSmartPointer<oxTextureCoordSourceAttr> source = make<oxTextureCoordSourceAttr>();
    source->setSource(OX_GFX_TEXCOORD_OBJECT_LINEAR);
    draw(source);
    set<oxTexGenMatrixAttr>(planes);
    set<oxTextureMatrixAttr>(repeat);
    turn<oxTextureMatrixStateAttr>(true);
    color({1, 1, 1, 1});
    draw(rectangle(0.05f, 0.05f, 0.95f, 0.95f));
    turn<oxTextureMatrixStateAttr>(false);
    source->setTextureCoordSet(0);
    draw(source);

    // Bottom: unit 0 replaces, unit 1 mixes a dark-to-yellow ramp in by a constant's alpha.
    oxSmartPointer<oxTextureFunctionAttr> replace = make<oxTextureFunctionAttr>();
    replace->setFunction(OX_GFX_TEXFUNC_REPLACE);
    draw(replace);
    oxSmartPointer<oxTextureAttr> ramp = make<oxTextureAttr>();
    ramp->setImage(image(2, 1, OX_GFX_PIXEL_RGBA8, {0, 0, 40, 255, 255, 230, 0, 255}), 0);
    ramp->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    bind(ramp, 1);
    oxSmartPointer<oxTextureFunctionAttr> mix = make<oxTextureFunctionAttr>();
    mix->setUnit(1);
    mix->setFunction(OX_GFX_TEXFUNC_INTERPOLATE);
    mix->setArgument(0, OX_GFX_TEXARG_TEXTURE);
    mix->setArgument(1, OX_GFX_TEXARG_PREVIOUS);
    mix->setArgument(2, OX_GFX_TEXARG_CONSTANT);
    draw(mix);
    oxSmartPointer<oxVectorConstantAttr> half = make<oxVectorConstantAttr>();
    half->setUnit(1);
    half->setVector({0, 0, 0, 0.5f});
    draw(half);
    oxSmartPointer<oxTextureCoordSourceAttr> shared = make<oxTextureCoordSourceAttr>();
    shared->setUnit(1);
    shared->setTextureCoordSet(0);
    draw(shared);
    draw(rectangle(-0.95f, -0.95f, 0.95f, -0.05f, 0, oxVertexFormat::texCoords(1)));

    oxSmartPointer<oxImage> frame = expectGolden("textured");
    EXPECT_TRUE(near(frame, 20, 20, {204, 0, 0, 255})) << "the image's top-left texel is red";
    EXPECT_TRUE(near(frame, 20, 50, {0, 0, 204, 255}));
    EXPECT_TRUE(near(frame, 74, 10, {255, 0, 0, 255})) << "four repeats start with red at the top left";
    EXPECT_TRUE(near(frame, 104, 10, {255, 0, 0, 255}));
    EXPECT_TRUE(near(frame, 89, 10, {0, 255, 0, 255}));
    EXPECT_TRUE(near(frame, 120, 70, {128, 242, 0, 255})) << "a green texel and the ramp's yellow end, half each";
}

TEST_F(oxGLVisualContextTest, BlendsAndTestsAlpha)
{
    color({1, 0, 0, 1});
    draw(rectangle(-0.9f, -0.9f, 0.3f, 0.9f));
    turn<oxBlendStateAttr>(true);
    color({0, 1, 0, 0.5f});
    draw(rectangle(-0.3f, -0.9f, 0.9f, 0.3f));

    oxSmartPointer<oxAlphaFunctionAttr> alpha = make<oxAlphaFunctionAttr>();
    alpha->setFunction(OX_GFX_COMPARE_GREATER);
    alpha->setReference(0.5f);
    draw(alpha);
    turn<oxAlphaStateAttr>(true);
    color({0, 0, 1, 0.25f});
    draw(rectangle(-0.9f, 0.5f, 0.9f, 0.9f));
    color({0, 0, 1, 0.75f});
    draw(rectangle(0.5f, -0.9f, 0.9f, 0.9f));
    turn<oxAlphaStateAttr>(false);

    // Additive, then a reverse subtraction that darkens.
    oxSmartPointer<oxBlendFunctionAttr> add = make<oxBlendFunctionAttr>();
    add->setFactors(OX_GFX_BLEND_ONE, OX_GFX_BLEND_ONE);
    draw(add);
    color({0, 0, 0.5f, 1});
    draw(rectangle(-0.9f, -0.9f, -0.5f, -0.5f));

    oxSmartPointer<oxImage> frame = expectGolden("blend_alpha");
    // Alpha blends as well: a half over an opaque pixel leaves three quarters.
    EXPECT_TRUE(near(frame, 60, 80, {128, 128, 0, 191})) << "green at half over red";
    EXPECT_TRUE(near(frame, 30, 20, {255, 0, 0, 255})) << "alpha 0.25 fails the test";
    Rgba passed = pixel(frame, 120, 20);
    EXPECT_GT(passed.b, 150) << "alpha 0.75 passes and blends";
    EXPECT_TRUE(near(frame, 10, 120, {255, 0, 128, 255})) << "added blue";
}

TEST_F(oxGLVisualContextTest, TestsAndWritesDepth)
{
    // Near red first, far blue second: the depth test keeps red, no test lets blue over it,
    // and red drawn without writing depth does not hold blue back.
    auto pair = [&](float x0, float x1) {
        color({1, 0, 0, 1});
        draw(rectangle(x0, -0.9f, x1, 0.4f, 0.5f));
        color({0, 0, 1, 1});
        draw(rectangle(x0, -0.4f, x1, 0.9f, -0.5f));
    };
    pair(-0.95f, -0.4f);
    turn<oxDepthStateAttr>(false);
    pair(-0.3f, 0.3f);
    turn<oxDepthStateAttr>(true);
    turn<oxDepthWriteStateAttr>(false);
    color({1, 0, 0, 1});
    draw(rectangle(0.4f, -0.9f, 0.95f, 0.4f, 0.5f));
    turn<oxDepthWriteStateAttr>(true);
    color({0, 0, 1, 1});
    draw(rectangle(0.4f, -0.4f, 0.95f, 0.9f, -0.5f));

    oxSmartPointer<oxImage> frame = expectGolden("depth");
    EXPECT_TRUE(near(frame, 20, 64, {255, 0, 0, 255}));
    EXPECT_TRUE(near(frame, 64, 64, {0, 0, 255, 255}));
    EXPECT_TRUE(near(frame, 110, 64, {0, 0, 255, 255}));
}

TEST_F(oxGLVisualContextTest, ClipsWithAPlaneInItsOwnSpace)
{
    // Keeps x >= 0 of a space turned 45 degrees: a diagonal cut through the left rectangle.
    oxMatrix44f turned;
    turned.makeRotationZ(float(M_PI) / 4);
    oxSmartPointer<oxClipPlaneAttr> plane = make<oxClipPlaneAttr>();
    plane->setPlane({1, 0, 0, 0});
    plane->setModelView(turned);
    draw(plane);
    color({0.9f, 0.7f, 0.1f, 1});
    draw(rectangle(-0.9f, -0.9f, -0.05f, 0.9f));
    // With clipping off the same plane cuts nothing.
    turn<oxClippingStateAttr>(false);
    draw(rectangle(0.05f, -0.9f, 0.9f, 0.9f));
    turn<oxClippingStateAttr>(true);

    oxSmartPointer<oxImage> frame = expectGolden("clip_plane");
    EXPECT_TRUE(near(frame, 50, 10, {230, 179, 26, 255})) << "upper right of the cut is kept";
    EXPECT_TRUE(near(frame, 10, 118, {26, 26, 51, 255})) << "lower left of the cut is gone";
    EXPECT_TRUE(near(frame, 75, 118, {230, 179, 26, 255}));

    // The zero plane switches the unit off.
    plane->setPlane({});
    draw(plane);
    clear({0.1f, 0.1f, 0.2f, 1});
    draw(rectangle(-0.9f, -0.9f, -0.05f, 0.9f));
    EXPECT_TRUE(near(read(), 10, 118, {230, 179, 26, 255}));
}

TEST_F(oxGLVisualContextTest, CullsFacesByWinding)
{
    auto triangles = [&] {
        color({0.2f, 0.8f, 1, 1});
        draw(geometry(oxVertexFormat::kPositions, OX_GFX_DRAW_TRIANGLES, 1, {{-0.9f, -0.8f, 0}, {-0.1f, -0.8f, 0}, {-0.5f, 0.8f, 0}}));
        color({1, 0.4f, 0.8f, 1});
        draw(geometry(oxVertexFormat::kPositions, OX_GFX_DRAW_TRIANGLES, 1, {{0.1f, -0.8f, 0}, {0.5f, 0.8f, 0}, {0.9f, -0.8f, 0}}));
    };
    oxSmartPointer<oxCullFaceAttr> cull = make<oxCullFaceAttr>();
    cull->setEnabled(true);
    draw(cull);
    viewport(0, kSize / 2, kSize, kSize / 2);
    triangles();
    cull->setFace(OX_GFX_CULL_FRONT);
    draw(cull);
    viewport(0, 0, kSize, kSize / 2);
    triangles();

    oxSmartPointer<oxImage> frame = expectGolden("cull_face");
    EXPECT_TRUE(near(frame, 32, 40, {51, 204, 255, 255})) << "the counter-clockwise one faces front";
    EXPECT_TRUE(near(frame, 96, 40, {26, 26, 51, 255}));
    EXPECT_TRUE(near(frame, 32, 104, {26, 26, 51, 255}));
    EXPECT_TRUE(near(frame, 96, 104, {255, 102, 204, 255}));
}

TEST_F(oxGLVisualContextTest, DrawsEveryKindOfGeometry)
{
    const oxVertexFormat colored = oxVertexFormat::kPositions | oxVertexFormat::kColors;
    // Lines and a line strip in the top band.
    oxSmartPointer<oxGeometryAttr> lines = geometry(colored, OX_GFX_DRAW_LINES, 2,
                                                    {{-0.9f, 0.9f, 0}, {-0.1f, 0.6f, 0}, {-0.9f, 0.6f, 0}, {-0.1f, 0.9f, 0}});
    for (int i = 0; i < 4; ++i)
        lines->setColor(i, {1, 1, float(i & 1), 1});
    draw(lines);
    oxSmartPointer<oxGeometryAttr> strips =
        geometry(oxVertexFormat::kPositions, OX_GFX_DRAW_LINE_STRIPS, 2,
                 {{0.1f, 0.9f, 0}, {0.3f, 0.6f, 0}, {0.5f, 0.9f, 0}, {0.6f, 0.6f, 0}, {0.9f, 0.9f, 0}});
    strips->setPrimitiveLength(0, 3);
    strips->setPrimitiveLength(1, 2);
    color({0.5f, 1, 0.5f, 1});
    draw(strips);

    // Two indexed strips of two triangles each, with vertex colours.
    std::vector<oxVec3f> grid;
    for (int i = 0; i < 6; ++i)
        grid.push_back({-0.9f + 0.16f * float(i), 0.1f + 0.35f * float(i % 2), 0});
    oxSmartPointer<oxGeometryAttr> indexed = geometry(colored, OX_GFX_DRAW_TRIANGLE_STRIPS, 2, grid);
    for (int i = 0; i < 6; ++i)
        indexed->setColor(i, {float(i) / 5, 0.3f, 1 - float(i) / 5, 1});
    indexed->setIndexArray(TestUtil::makeIndices({0, 1, 2, 3, 2, 3, 4, 5}));
    indexed->setPrimitiveLength(0, 4);
    indexed->setPrimitiveLength(1, 4);
    draw(indexed);

    // A fan over separate component arrays, from its second vertex on.
    oxSmartPointer<oxGeometryAttr2> fan = make<oxGeometryAttr2>();
    oxVertexArray2* v = fan->configureVertexArray(7);
    oxVertexData* p = v->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 2);
    oxVertexData* c = v->addVertexData(OX_GFX_COMPONENT_COLOR, 0, OX_GFX_SCALAR_FLOAT, 3);
    float* xy = reinterpret_cast<float*>(p->getData());
    float* rgb = reinterpret_cast<float*>(c->getData());
    for (int i = 1; i < 7; ++i) {
        float a = float(i - 2) * float(M_PI) / 4;
        xy[2 * i] = i == 1 ? 0.5f : 0.5f + 0.4f * std::cos(a);
        xy[2 * i + 1] = i == 1 ? 0.3f : 0.3f + 0.4f * std::sin(a) * 0.6f;
        rgb[3 * i] = 1, rgb[3 * i + 1] = float(i) / 7, rgb[3 * i + 2] = 0;
    }
    fan->configurePrimitive(OX_GFX_DRAW_TRIANGLE_FANS, 1, 1);
    draw(fan);

    // Points, and colours masked away so that the current colour shows.
    oxSmartPointer<oxGeometryAttr> points = geometry(colored, OX_GFX_DRAW_POINTS, 3, {{-0.8f, -0.2f, 0}, {-0.7f, -0.2f, 0}, {-0.6f, -0.2f, 0}});
    for (int i = 0; i < 3; ++i)
        points->setColor(i, {1, 1, 1, 1});
    draw(points);
    oxSmartPointer<oxGeometryMaskAttr> noColors = make<oxGeometryMaskAttr>();
    noColors->setMask(~oxVertexFormat::kColors);
    draw(noColors);
    color({1, 0.3f, 0.1f, 1});
    oxSmartPointer<oxGeometryAttr> masked = geometry(colored, OX_GFX_DRAW_TRIANGLES, 1, {{-0.4f, -0.4f, 0}, {-0.1f, -0.4f, 0}, {-0.25f, -0.1f, 0}});
    for (int i = 0; i < 3; ++i)
        masked->setColor(i, {0, 1, 0, 1});
    draw(masked);
    draw(make<oxGeometryMaskAttr>());

    // A skinned rectangle: the right edge follows matrix 1, which lifts it.
    oxSmartPointer<oxGeometryAttr> skin = rectangle(0.1f, -0.9f, 0.9f, -0.5f, 0, oxVertexFormat::blendWeights(2));
    for (int i = 0; i < 4; ++i) {
        skin->getVertexArray()->setBlendWeight(i, 0, (i & 1) ? 0.0f : 1.0f);
        skin->getVertexArray()->setBlendWeight(i, 1, (i & 1) ? 1.0f : 0.0f);
    }
    oxSmartPointer<oxBlendMatricesAttr> bones = make<oxBlendMatricesAttr>();
    bones->configure(2);
    oxMatrix44f lift;
    lift.makeTranslation({0, 0.3f, 0});
    bones->setMatrix(1, lift);
    draw(bones);
    turn<oxVertexBlendStateAttr>(true);
    color({0.7f, 0.5f, 1, 1});
    draw(skin);
    turn<oxVertexBlendStateAttr>(false);

    oxSmartPointer<oxImage> frame = expectGolden("primitives");
    EXPECT_TRUE(near(frame, 34, 104, {26, 26, 51, 255}));
    EXPECT_TRUE(near(frame, 48, 85, {255, 77, 26, 255})) << "masked colours give the current one";
    EXPECT_TRUE(near(frame, 75, 118, {179, 128, 255, 255}));
    EXPECT_TRUE(near(frame, 118, 85, {179, 128, 255, 255})) << "the right edge is lifted";
    EXPECT_TRUE(near(frame, 118, 118, {26, 26, 51, 255})) << "and is no longer where it was";
}

TEST_F(oxGLVisualContextTest, MasksColoursAndTestsStencil)
{
    // A stencil of 1 in the middle, written with colours masked off.
    turn<oxStencilStateAttr>(true);
    oxSmartPointer<oxStencilFunctionAttr> write = make<oxStencilFunctionAttr>();
    write->setFunction(OX_GFX_COMPARE_ALWAYS, 1, 0xFF);
    write->setOperations(OX_GFX_STENCIL_KEEP, OX_GFX_STENCIL_KEEP, OX_GFX_STENCIL_REPLACE);
    draw(write);
    oxSmartPointer<oxColorMaskAttr> mask = make<oxColorMaskAttr>();
    mask->setMask(false, false, false, false);
    draw(mask);
    color({1, 1, 1, 1});
    draw(rectangle(-0.5f, -0.5f, 0.5f, 0.5f));
    // Green only where the stencil is 1, and only the green channel written.
    oxSmartPointer<oxStencilFunctionAttr> test = make<oxStencilFunctionAttr>();
    test->setFunction(OX_GFX_COMPARE_EQUAL, 1, 0xFF);
    draw(test);
    mask->setMask(false, true, false, true);
    draw(mask);
    color({1, 0.9f, 1, 1});
    draw(rectangle(-0.9f, -0.9f, 0.9f, 0.9f));
    turn<oxStencilStateAttr>(false);
    draw(make<oxColorMaskAttr>());

    oxSmartPointer<oxImage> frame = expectGolden("stencil_colormask");
    EXPECT_TRUE(near(frame, 64, 64, {26, 230, 51, 255}));
    EXPECT_TRUE(near(frame, 10, 10, {26, 26, 51, 255}));
}

TEST_F(oxGLVisualContextTest, LightsOfEveryKindAndACubeMap)
{
    // Top: a tessellated plane under a spot light and a positional light with attenuation.
    viewport(0, kSize / 2, kSize, kSize / 2);
    oxMatrix44f wide;
    wide.ortho(-2, 2, -1, 1, -2, 2);
    set<oxProjectionMatrixAttr>(wide);
    const int n = 48;
    oxSmartPointer<oxGeometryAttr> plane = make<oxGeometryAttr>();
    plane->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, n * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            plane->setPosition(j * n + i, {-2 + 4 * float(i) / (n - 1), -1 + 2 * float(j) / (n - 1), 0});
            plane->setNormal(j * n + i, {0, 0, 1});
        }
    plane->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, n - 1);
    oxIndexArray* rows = plane->configureIndexArray((n - 1) * 2 * n);
    for (int j = 0, k = 0; j < n - 1; ++j) {
        for (int i = 0; i < n; ++i) {
            rows->set(k++, uint16_t((j + 1) * n + i));
            rows->set(k++, uint16_t(j * n + i));
        }
        plane->setPrimitiveLength(j, 2 * n);
    }
    oxSmartPointer<oxLightAttr> spot = make<oxLightAttr>();
    spot->setType(OX_GFX_LIGHT_SPOT);
    spot->setPosition({-0.9f, 0.1f, 1});
    spot->setDirection({0, 0, -1});
    spot->setCutoff(35);
    spot->setExponent(4);
    spot->setDiffuse({1, 0.6f, 0.2f, 1});
    oxSmartPointer<oxLightAttr> lamp = make<oxLightAttr>();
    lamp->setType(OX_GFX_LIGHT_POSITIONAL);
    lamp->setPosition({1.1f, -0.2f, 0.4f});
    lamp->setDiffuse({0.3f, 0.5f, 1, 1});
    lamp->setAttenuation({0.2f, 1.5f, 0});
    turn<oxLightingStateAttr>(true);
    for (oxLightAttr* light : {spot.get(), lamp.get()}) {
        draw(light);
        oxSmartPointer<oxLightStateAttr> on = make<oxLightStateAttr>();
        on->setLight(light);
        draw(on);
    }
    draw(plane);
    turn<oxLightingStateAttr>(false);

    // Bottom: a sphere reflecting a cube map of one colour per face.
    viewport(0, 0, kSize, kSize / 2);
    oxMatrix44f projection, view;
    projection.perspective(30, 2, 0.5f, 10);
    view.lookAt({0, 0, 4}, {0, 0, 0}, {0, 1, 0});
    set<oxProjectionMatrixAttr>(projection);
    set<oxModelViewMatrixAttr>(view);
    oxSmartPointer<oxTextureCubeAttr> cube = make<oxTextureCubeAttr>();
    const uint8_t faces[6][3] = {{230, 40, 40}, {40, 200, 40}, {40, 80, 230}, {230, 210, 40}, {250, 250, 250}, {200, 40, 200}};
    for (int f = 0; f < 6; ++f)
        cube->setImage(image(1, 1, OX_GFX_PIXEL_RGB8, {faces[f][0], faces[f][1], faces[f][2]}), f, 0);
    cube->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    bind(cube);
    oxSmartPointer<oxTextureCoordSourceAttr> reflect = make<oxTextureCoordSourceAttr>();
    reflect->setSource(OX_GFX_TEXCOORD_REFLECTION_MAP);
    draw(reflect);
    draw(sphere(32, 16));

    oxSmartPointer<oxImage> frame = expectGolden("lights_cube_map");
    Rgba inSpot = pixel(frame, 35, 28), outside = pixel(frame, 2, 2), nearLamp = pixel(frame, 100, 35);
    EXPECT_GT(inSpot.r, 200) << "inside the cone";
    EXPECT_LT(outside.r + outside.g + outside.b, 60) << "outside both lights";
    EXPECT_GT(nearLamp.b, nearLamp.r + 40) << "the blue lamp";
    EXPECT_TRUE(near(frame, 64, 96, {250, 250, 250, 255})) << "the middle reflects what is behind the viewer";
    EXPECT_TRUE(near(frame, 64, 76, {40, 80, 230, 255}, 40)) << "the top reflects the sky face";
}

TEST_F(oxGLVisualContextTest, MipmapsAndLevelOfDetail)
{
    // One-texel black and white checks, drawn about eight times smaller: mipmaps average
    // them, the first level alone gives black and white pixels.
    std::vector<uint8_t> checks(64 * 64);
    for (int i = 0; i < 64 * 64; ++i)
        checks[size_t(i)] = (i % 64 + i / 64) % 2 ? 255 : 0;
    oxSmartPointer<oxTextureAttr> fine = make<oxTextureAttr>();
    fine->setImage(image(64, 64, OX_GFX_PIXEL_L8, checks), 0);
    fine->setFilters(OX_GFX_FILTER_NEAREST_MIPMAP_NEAREST, OX_GFX_FILTER_NEAREST);
    bind(fine);
    color({1, 1, 1, 1});
    auto spread = [&](float x) {
        draw(rectangle(x, -0.06f, x + 0.117f, 0.06f, 0, oxVertexFormat::texCoords(1)));
        oxSmartPointer<oxImage> patch = read(int((x + 1) * kSize / 2) + 1, kSize / 2 - 3, 6, 6);
        int lowest = 255, highest = 0;
        for (int y = 0; y < 6; ++y)
            for (int x2 = 0; x2 < 6; ++x2) {
                lowest = std::min(lowest, pixel(patch, x2, y).r);
                highest = std::max(highest, pixel(patch, x2, y).r);
            }
        return std::pair(lowest, highest);
    };
    auto [low, high] = spread(-0.8f);
    EXPECT_NEAR(low, 128, 3);
    EXPECT_NEAR(high, 128, 3);

    // Held at the first level by a level range, and by a bias: the checks come back.
    oxSmartPointer<oxMipMapAttr> lod = make<oxMipMapAttr>();
    lod->setLodRange(0, 0);
    draw(lod);
    std::tie(low, high) = spread(-0.4f);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 255);
    lod->setLodRange(-1000, 1000);
    lod->setBias(-4);
    draw(lod);
    std::tie(low, high) = spread(0);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 255);
    draw(make<oxMipMapAttr>());
    std::tie(low, high) = spread(0.4f);
    EXPECT_NEAR(high - low, 0, 3) << "the defaults give the mipmaps back";
    EXPECT_EQ(vc->takeGLError(), 0u);
}

TEST_F(oxGLVisualContextTest, TwoDevicesKeepTheirOwnFrames)
{
    oxSmartPointer<oxGLVisualContext> other = oxGLVisualContext::create(16, 8);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->getViewport().width, 16);
    vc->clear(OX_GFX_CLEAR_COLOR, {{1, 0, 0, 1}, 1, 0});
    other->clear(OX_GFX_CLEAR_COLOR, {{0, 0, 1, 1}, 1, 0});
    int list = other->createDisplayList();
    ASSERT_TRUE(other->beginDisplayList(list));
    other->clear(OX_GFX_CLEAR_COLOR, {{0, 1, 0, 1}, 1, 0});
    EXPECT_TRUE(other->endDisplayList());

    EXPECT_TRUE(near(read(0, 0, 4, 4), 1, 1, {255, 0, 0, 255}, 0));
    oxSmartPointer<oxImage> small = make<oxImage>();
    ASSERT_TRUE(other->readPixels(0, 0, 16, 8, small));
    EXPECT_TRUE(near(small, 15, 7, {0, 0, 255, 255}, 0));
    EXPECT_FALSE(vc->callDisplayList(list)) << "lists belong to the device that made them";
    EXPECT_TRUE(other->callDisplayList(list));
    ASSERT_TRUE(other->readPixels(0, 0, 16, 8, small));
    EXPECT_TRUE(near(small, 15, 7, {0, 255, 0, 255}, 0));
    EXPECT_TRUE(near(read(0, 0, 4, 4), 1, 1, {255, 0, 0, 255}, 0));
}

TEST_F(oxGLVisualContextTest, ChangesSizeKeepingItsResources)
{
    const oxSmartPointer<oxImage> image = make<oxImage>();
    ASSERT_TRUE(vc->setSize(40, 24));
    EXPECT_EQ(vc->getViewport().width, 40);
    EXPECT_EQ(vc->getViewport().height, 24);
    vc->clear(OX_GFX_CLEAR_COLOR, {{0, 1, 0, 1}, 1, 0});
    EXPECT_TRUE(near(read(0, 0, 40, 24), 39, 23, {0, 255, 0, 255}, 0));
    WarningCatcher warnings;
    EXPECT_FALSE(vc->readPixels(0, 0, kSize, kSize, image)) << "the old size is gone";
    EXPECT_FALSE(vc->setSize(0, 24));
    EXPECT_FALSE(vc->setSize(40, 1 << 20));
    EXPECT_EQ(vc->getWidth(), 40) << "a refused size keeps the frame it had";
    const int list = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(list));
    EXPECT_FALSE(vc->setSize(8, 8)) << "not while a list is recorded";
    EXPECT_TRUE(vc->endDisplayList());
    EXPECT_TRUE(warnings.contains("while a list is recorded"));
    EXPECT_TRUE(vc->callDisplayList(list)) << "lists outlive a change of size";
    EXPECT_EQ(vc->takeGLError(), 0u);
}

// A device in a context made elsewhere (as a window system makes one): it draws into it,
// leaves it current and alive when released, and refuses when no context is current.
TEST_F(oxGLVisualContextTest, DrawsInAContextMadeElsewhere)
{
    EGLDisplay display = eglGetCurrentDisplay();
    ASSERT_NE(display, EGL_NO_DISPLAY);
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 4, EGL_CONTEXT_MINOR_VERSION, 5,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                 EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    ASSERT_NE(context, EGL_NO_CONTEXT);
    {
        WarningCatcher warnings;
        ASSERT_TRUE(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT));
        EXPECT_EQ(oxGLVisualContext::createInCurrentContext(16, 16), nullptr);
        EXPECT_TRUE(warnings.contains("no OpenGL context is current"));
    }
    ASSERT_TRUE(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context));
    {
        oxSmartPointer<oxGLVisualContext> adopted = oxGLVisualContext::createInCurrentContext(24, 16);
        ASSERT_TRUE(adopted);
        EXPECT_GT(adopted->getCapability(OX_GFX_CAP_TEXTURE_UNITS), 1);
        adopted->clear(OX_GFX_CLEAR_COLOR, {{1, 0, 1, 1}, 1, 0});
        oxSmartPointer<oxImage> image = make<oxImage>();
        ASSERT_TRUE(adopted->readPixels(0, 0, 24, 16, image));
        EXPECT_TRUE(near(image, 23, 15, {255, 0, 255, 255}, 0));
        EXPECT_EQ(eglGetCurrentContext(), context) << "the device never takes the thread from its context";
    }
    EXPECT_EQ(eglGetCurrentContext(), context);
    EXPECT_NE(glGetString(GL_VERSION), nullptr) << "the context outlives the device";
    EXPECT_TRUE(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT));
    EXPECT_TRUE(eglDestroyContext(display, context));
    vc->clear(OX_GFX_CLEAR_COLOR, {{0, 0, 1, 1}, 1, 0});
    EXPECT_TRUE(near(read(0, 0, 4, 4), 1, 1, {0, 0, 255, 255}, 0)) << "the fixture's device takes the thread back";
}

TEST_F(oxGLVisualContextTest, ReplaysADisplayListAsDrawnDirectly)
{
    oxSmartPointer<oxTextureAttr> quadrants = quadrantTexture();
    oxMatrix44f tilted;
    tilted.makeRotationZ(0.3f);
    oxSmartPointer<oxModelViewMatrixAttr> modelView = make<oxModelViewMatrixAttr>();
    modelView->setMatrix(tilted);
    oxSmartPointer<oxTextureBindAttr> bind = make<oxTextureBindAttr>();
    bind->setTexture(quadrants);
    oxSmartPointer<oxTextureStateAttr> texturing = make<oxTextureStateAttr>();
    texturing->setEnabled(true);
    oxSmartPointer<oxColorAttr> yellow = make<oxColorAttr>();
    yellow->setColor({1, 1, 0, 1});
    oxSmartPointer<oxProjectionMatrixAttr> zoomed = make<oxProjectionMatrixAttr>();
    oxMatrix44f projection;
    projection.ortho(-1.2f, 1.2f, -1.2f, 1.2f, -1, 1);
    zoomed->setMatrix(projection);

    oxSmartPointer<oxAttrList> scene = make<oxAttrList>();
    scene->append(zoomed);
    scene->append(modelView);
    scene->append(bind);
    scene->append(texturing);
    scene->append(rectangle(-0.8f, -0.2f, 0.8f, 0.8f, 0, oxVertexFormat::texCoords(1)));
    oxSmartPointer<oxTextureStateAttr> noTexturing = make<oxTextureStateAttr>();
    scene->append(noTexturing);
    scene->append(yellow);
    scene->append(geometry(oxVertexFormat::kPositions, OX_GFX_DRAW_TRIANGLES, 1, {{-0.6f, -0.9f, 0}, {0.6f, -0.9f, 0}, {0, -0.3f, 0}}));

    for (int i = 0; i < scene->getCount(); ++i)
        draw(scene->get(i));
    std::vector<uint8_t> direct = bytesOf(expectGolden("display_list"));
    EXPECT_EQ(vc->getProjectionMatrix(), projection);

    // Back to the state before the scene, then the same through a recorded list.
    oxMatrix44f original;
    original.ortho(-1, 1, -1, 1, -1, 1);
    set<oxProjectionMatrixAttr>(original);
    set<oxModelViewMatrixAttr>(oxMatrix44f());
    color({1, 1, 1, 1});
    clear({0.1f, 0.1f, 0.2f, 1});
    // Given back, the texture is loaded again while the list is recorded.
    oxSmartPointer<oxTextureUnloadAttr> unload = make<oxTextureUnloadAttr>();
    unload->setTexture(quadrants);
    draw(unload);
    oxSmartPointer<oxRenderListAttr> list = make<oxRenderListAttr>();
    ASSERT_TRUE(list->record(vc, scene));
    EXPECT_EQ(vc->getProjectionMatrix(), original) << "recording runs nothing";
    EXPECT_TRUE(near(read(), 64, 64, {26, 26, 51, 255}));
    draw(list);
    EXPECT_EQ(vc->getProjectionMatrix(), projection) << "calling runs the list's changes";
    EXPECT_EQ(bytesOf(read()), direct);
    EXPECT_EQ(vc->takeGLError(), 0u);

    int handle = list->getHandle();
    EXPECT_FALSE(vc->beginDisplayList(handle + 1000)) << "not a list of this device";
    EXPECT_FALSE(vc->endDisplayList()) << "nothing is being recorded";
    list->deleteList();
    EXPECT_FALSE(vc->callDisplayList(handle));
}

TEST_F(oxGLVisualContextTest, DrawsIntoATextureAndSamplesIt)
{
    oxSmartPointer<oxTextureAttr> canvas = make<oxTextureAttr>();
    oxSmartPointer<oxRenderDestinationAttr> destination = make<oxRenderDestinationAttr>();
    destination->setTexture(canvas);
    destination->setSize(64, 32);
    draw(destination);
    oxSmartPointer<oxSetRenderDestinationAttr> select = make<oxSetRenderDestinationAttr>();
    select->setDestination(destination);
    draw(select);

    // Into the texture: yellow, a blue triangle pointing up, a red bar along the bottom.
    viewport(0, 0, 64, 32);
    clear({1, 0.9f, 0.1f, 1});
    color({0.1f, 0.2f, 0.9f, 1});
    draw(geometry(oxVertexFormat::kPositions, OX_GFX_DRAW_TRIANGLES, 1, {{-0.6f, -0.6f, 0}, {0.6f, -0.6f, 0}, {0, 0.9f, 0}}));
    color({0.9f, 0.1f, 0.1f, 1});
    draw(rectangle(-1, -1, 1, -0.8f));
    oxSmartPointer<oxImage> inside = make<oxImage>();
    oxSmartPointer<oxCopyRenderDestinationAttr> copy = make<oxCopyRenderDestinationAttr>();
    copy->setImage(inside);
    draw(copy);
    ASSERT_EQ(inside->getWidth(), 64);
    ASSERT_EQ(inside->getHeight(), 32);
    EXPECT_TRUE(near(inside, 32, 31, {230, 26, 26, 255})) << "the bottom row of the target is the image's last";
    EXPECT_TRUE(near(inside, 32, 16, {26, 51, 230, 255}));
    WarningCatcher warnings;
    EXPECT_FALSE(vc->readPixels(0, 0, kSize, kSize, make<oxImage>())) << "the target is smaller than the frame";
    EXPECT_TRUE(warnings.contains("cannot read"));

    // Back in the frame buffer: the texture on a rectangle, the same way up.
    draw(make<oxSetRenderDestinationAttr>());
    viewport(0, 0, kSize, kSize);
    clear({0.1f, 0.1f, 0.2f, 1});
    bind(canvas);
    color({1, 1, 1, 1});
    draw(rectangle(-0.9f, -0.5f, 0.9f, 0.5f, 0, oxVertexFormat::texCoords(1)));

    oxSmartPointer<oxImage> frame = expectGolden("render_to_texture");
    EXPECT_TRUE(near(frame, 64, 94, {230, 26, 26, 255}, 4)) << "the red bar stays at the bottom";
    EXPECT_TRUE(near(frame, 64, 64, {26, 51, 230, 255}, 4));
    EXPECT_TRUE(near(frame, 20, 40, {255, 230, 26, 255}, 4));
}

TEST_F(oxGLVisualContextTest, ReadsPixelsTopRowFirst)
{
    color({1, 0, 0, 1});
    draw(rectangle(-1, 0, 1, 1));
    color({0, 0, 1, 1});
    draw(rectangle(-1, -1, 1, 0));

    oxSmartPointer<oxImage> part = read(10, 60, 4, 8);
    ASSERT_EQ(part->getFormat(), OX_GFX_PIXEL_RGBA8);
    ASSERT_EQ(part->getWidth(), 4);
    ASSERT_EQ(part->getHeight(), 8);
    EXPECT_TRUE(near(part, 0, 0, {255, 0, 0, 255}, 0));
    EXPECT_TRUE(near(part, 3, 3, {255, 0, 0, 255}, 0));
    EXPECT_TRUE(near(part, 0, 4, {0, 0, 255, 255}, 0));
    EXPECT_TRUE(near(part, 3, 7, {0, 0, 255, 255}, 0));

    WarningCatcher warnings;
    oxSmartPointer<oxImage> untouched = make<oxImage>();
    EXPECT_FALSE(vc->readPixels(kSize - 2, 0, 4, 4, untouched));
    EXPECT_FALSE(vc->readPixels(-1, 0, 4, 4, untouched));
    EXPECT_FALSE(vc->readPixels(0, 0, 0, 4, untouched));
    EXPECT_FALSE(vc->readPixels(0, 0, 4, 4, nullptr));
    EXPECT_FALSE(untouched->hasImageMemory());
    EXPECT_GE(warnings.count(), 3u);
}

TEST(oxGLVisualContext, RefusesWhatItCannotMakeWithoutCrashing)
{
    WarningCatcher warnings;
    EXPECT_EQ(oxGLVisualContext::create(0, 64), nullptr);
    EXPECT_EQ(oxGLVisualContext::create(64, 1 << 20), nullptr);
    EXPECT_TRUE(warnings.contains("no frame buffer"));

    // Made by its class alone it has no context: it draws nothing and says so by its results.
    oxSmartPointer<oxGLVisualContext> closed = oxGLVisualContext::_instantiateRef();
    EXPECT_FALSE(closed->isOpen());
    EXPECT_EQ(closed->getCapability(OX_GFX_CAP_TEXTURE_UNITS), 0);
    EXPECT_EQ(closed->createDisplayList(), -1);
    EXPECT_FALSE(closed->beginDisplayList(1));
    closed->setSwitch(OX_GFX_BLEND, 0, true);
    closed->clear(OX_GFX_CLEAR_COLOR, {});
    EXPECT_FALSE(closed->readPixels(0, 0, 1, 1, oxImage::_instantiateRef()));
    EXPECT_EQ(closed->takeGLError(), 0u);
}

namespace {
// A tube of radius 0.22 along x from -0.8 to 0.8, bent by three bones: the first holds the
// left end, the second turns the middle about x = -0.1 and the third the right end about
// x = 0.45. With `palette`, two weights a vertex name their bones by index (the bones sit at
// palette entries kBones) and the vertices carry colours; without, three weights go with
// blend matrices 0, 1 and 2, and the vertices carry texture coordinates.
constexpr int kBones[3] = {5, 9, 2};

float ramp(float x, float from, float to)
{
    return std::clamp((x - from) / (to - from), 0.0f, 1.0f);
}

oxSmartPointer<oxGeometryAttr> skinnedTube(bool palette, int rings = 40, int sides = 20)
{
    oxVertexFormat format = oxVertexFormat::kPositions | oxVertexFormat::kNormals |
                            (palette ? oxVertexFormat::blendWeights(2) | oxVertexFormat::blendIndices(2) |
                                           oxVertexFormat::kColors
                                     : oxVertexFormat::blendWeights(3) | oxVertexFormat::texCoords(1));
    oxSmartPointer<oxGeometryAttr> g = make<oxGeometryAttr>();
    g->configureVertexArray(format, rings * sides);
    oxVertexArray* v = g->getVertexArray();
    for (int r = 0; r < rings; ++r)
        for (int a = 0; a < sides; ++a) {
            const int i = r * sides + a;
            const float t = float(r) / float(rings - 1), x = -0.8f + 1.6f * t;
            const float angle = 2.0f * float(M_PI) * float(a) / float(sides);
            const oxVec3f n(0, std::cos(angle), std::sin(angle));
            g->setPosition(i, oxVec3f(x, 0, 0) + n * 0.22f);
            g->setNormal(i, n);
            const float middle = ramp(x, -0.35f, 0.15f), end = ramp(x, 0.3f, 0.6f);
            if (palette) {
                const bool second = x > 0.2f;
                v->setBlendIndex(i, 0, kBones[second ? 1 : 0]);
                v->setBlendIndex(i, 1, kBones[second ? 2 : 1]);
                v->setBlendWeight(i, 0, second ? 1 - end : 1 - middle);
                v->setBlendWeight(i, 1, second ? end : middle);
                g->setColor(i, {0.3f + 0.7f * t, 0.8f - 0.6f * t, 0.4f, 1});
            } else {
                v->setBlendWeight(i, 0, 1 - middle);
                v->setBlendWeight(i, 1, middle * (1 - end));
                v->setBlendWeight(i, 2, middle * end);
                g->setTextureCoord(i, 0, oxVec2f(t, float(a) / float(sides)));
            }
        }
    oxIndexArray* indices = g->configureIndexArray((rings - 1) * sides * 6);
    int k = 0;
    for (int r = 0; r + 1 < rings; ++r)
        for (int a = 0; a < sides; ++a) {
            const uint16_t p = uint16_t(r * sides + a), q = uint16_t(r * sides + (a + 1) % sides);
            for (uint16_t index : {p, uint16_t(p + sides), q, q, uint16_t(p + sides), uint16_t(q + sides)})
                indices->set(k++, index);
        }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, (rings - 1) * sides * 2);
    return g;
}

// Turning by `radians` about the z axis through (x, 0, 0).
oxMatrix44f turnAbout(float x, float radians)
{
    oxMatrix44f to, turn, back;
    to.makeTranslation({-x, 0, 0});
    turn.makeRotationZ(radians);
    back.makeTranslation({x, 0, 0});
    return to * turn * back;
}

// The three bones' matrices: the middle turns by `middle`, the end by `end` more.
std::array<oxMatrix44f, 3> bones(float middle, float end)
{
    const oxMatrix44f second = turnAbout(-0.1f, middle);
    return {oxMatrix44f(), second, turnAbout(0.45f, end) * second};
}

// A palette of kGLPaletteSize-like length where only the bones' entries matter; the others
// are far off, so that a wrong index shows.
std::vector<oxMatrix44f> palette(float middle, float end)
{
    oxMatrix44f away;
    away.makeTranslation({0, 5, 0});
    std::vector<oxMatrix44f> p(12, away);
    const std::array<oxMatrix44f, 3> b = bones(middle, end);
    for (int i = 0; i < 3; ++i)
        p[size_t(kBones[i])] = b[size_t(i)];
    return p;
}

// Pixels whose channels differ by more than `tolerance`.
int differingPixels(const oxImage* a, const oxImage* b, int tolerance = 2)
{
    int n = 0;
    for (int y = 0; y < a->getHeight(); ++y)
        for (int x = 0; x < a->getWidth(); ++x) {
            const uint32_t p = a->getColor(x, y), q = b->getColor(x, y);
            for (int shift = 0; shift < 32; shift += 8)
                if (std::abs(int(p >> shift & 0xFF) - int(q >> shift & 0xFF)) > tolerance) {
                    ++n;
                    break;
                }
        }
    return n;
}
} // namespace

class oxGLVertexBlendTest : public oxGLVisualContextTest {
protected:
    void lightUp()
    {
        vc->setViewMatrix(oxMatrix44f());
        turn<oxLightingStateAttr>(true);
        _sun = make<oxLightAttr>();
        _sun->setDirection(oxVec3f(-0.5f, -0.6f, -1).normalized());
        _sun->setAmbient({0.2f, 0.2f, 0.2f, 1});
        _sun->setDiffuse({0.8f, 0.8f, 0.75f, 1});
        _lamp = make<oxLightAttr>();
        _lamp->setType(OX_GFX_LIGHT_SPOT);
        _lamp->setPosition({0.5f, -0.2f, 1.2f});
        _lamp->setDirection(oxVec3f(-0.2f, 0, -1).normalized());
        _lamp->setCutoff(30);
        _lamp->setExponent(3);
        _lamp->setAttenuation({0.5f, 0.4f, 0.1f});
        _lamp->setDiffuse({0.2f, 0.4f, 1, 1});
        for (oxLightAttr* light : {_sun.get(), _lamp.get()}) {
            draw(light);
            oxSmartPointer<oxLightStateAttr> on = make<oxLightStateAttr>();
            on->setLight(light);
            draw(on);
        }
    }

    void lightsOff()
    {
        turn<oxLightingStateAttr>(false);
        for (oxLightAttr* light : {_sun.get(), _lamp.get()})
            vc->setLightState(light, false);
    }

    // Top: the palette tube, vertex colours as ambient and diffuse, a white highlight.
    void drawPaletteTube(oxGeometryAttr* tube, float middle = 0.6f, float end = 0.5f, bool setMatrices = true)
    {
        oxMatrix44f place;
        place.makeTranslation({0, 0.45f, 0});
        set<oxModelViewMatrixAttr>(place);
        oxSmartPointer<oxMaterialAttr> material = make<oxMaterialAttr>();
        material->setSpecular({1, 1, 1, 1});
        material->setShininess(30);
        material->setColorMaterial(OX_GFX_COLOR_MATERIAL_AMBIENT_AND_DIFFUSE);
        draw(material);
        if (setMatrices) {
            const std::vector<oxMatrix44f> p = palette(middle, end);
            vc->setBlendMatrices(p.data(), int(p.size()));
        }
        draw(tube);
    }

    // Bottom: the weighted tube, textured through a texture matrix, normals renormalised,
    // its right end cut by a clip plane.
    void drawWeightedTube(oxGeometryAttr* tube)
    {
        oxMatrix44f place;
        place.makeTranslation({0, -0.45f, 0});
        set<oxModelViewMatrixAttr>(place);
        oxSmartPointer<oxMaterialAttr> material = make<oxMaterialAttr>();
        material->setDiffuse({0.9f, 0.9f, 0.9f, 1});
        material->setAmbient({0.5f, 0.5f, 0.5f, 1});
        draw(material);
        turn<oxNormalizeNormalsStateAttr>(true);
        _texture = quadrantTexture();
        bind(_texture);
        oxMatrix44f stretch;
        stretch.makeScale({3, 1, 1});
        set<oxTextureMatrixAttr>(stretch);
        turn<oxTextureMatrixStateAttr>(true);
        oxSmartPointer<oxClipPlaneAttr> plane = make<oxClipPlaneAttr>();
        plane->setPlane({-1, 0, 0, 0.6f});
        plane->setModelView(place);
        draw(plane);
        const std::array<oxMatrix44f, 3> b = bones(-0.5f, -0.7f);
        for (int i = 0; i < 3; ++i)
            vc->setMatrix(OX_GFX_MATRIX_VERTEX_BLEND, i, b[size_t(i)]);
        draw(tube);
        plane->setPlane({});
        draw(plane);
        turn<oxTextureMatrixStateAttr>(false);
        bind(nullptr);
        turn<oxNormalizeNormalsStateAttr>(false);
    }

    void drawScene()
    {
        clear({0.1f, 0.1f, 0.2f, 1});
        lightUp();
        turn<oxVertexBlendStateAttr>(true);
        drawPaletteTube(skinnedTube(true));
        drawWeightedTube(skinnedTube(false));
        turn<oxVertexBlendStateAttr>(false);
        lightsOff();
        set<oxModelViewMatrixAttr>(oxMatrix44f());
    }

    oxSmartPointer<oxLightAttr> _sun, _lamp;
    oxSmartPointer<oxTextureAttr> _texture;
};

TEST_F(oxGLVertexBlendTest, BlendsOnTheGpuAsOnTheHost)
{
    EXPECT_EQ(vc->getCapability(OX_GFX_CAP_MAX_PALETTE_MATRICES), 256);
    EXPECT_EQ(vc->getCapability(OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES), 4);
    EXPECT_TRUE(vc->getGpuVertexBlending()) << "on by default";

    vc->setGpuVertexBlending(false);
    drawScene();
    EXPECT_FALSE(vc->hasVertexBlendProgram()) << "switched off, no draw asks for the program";
    oxSmartPointer<oxImage> host = expectGolden("skinned");

    // The reference image is the GPU's: drawn last, it is what OXSG_UPDATE_GOLDEN keeps.
    vc->setGpuVertexBlending(true);
    WarningCatcher warnings;
    drawScene();
    EXPECT_TRUE(vc->hasVertexBlendProgram());
    EXPECT_TRUE(warnings.get().empty());
    oxSmartPointer<oxImage> gpu = expectGolden("skinned");
    EXPECT_LE(differingPixels(host, gpu), kSize * kSize / 100);

    // Bent: the top tube's right end rises out of the straight tube's place, the bottom's
    // goes down; the highlight is white over the vertex colours, the spot light blue.
    EXPECT_TRUE(near(gpu, 120, 35, {26, 26, 51, 255})) << "the straight tube's right end is not drawn";
    Rgba bentUp = pixel(gpu, 105, 8);
    EXPECT_GT(bentUp.r + bentUp.g + bentUp.b, 150) << "the top tube's end turned up";
    Rgba bentDown = pixel(gpu, 95, 122);
    EXPECT_GT(bentDown.r + bentDown.g + bentDown.b, 150) << "the bottom tube's end turned down";
    EXPECT_TRUE(near(gpu, 124, 118, {26, 26, 51, 255})) << "cut by the clip plane";
}

TEST_F(oxGLVertexBlendTest, ADisplayListBlendsWithTheMatricesInForceWhenCalled)
{
    lightUp();
    turn<oxVertexBlendStateAttr>(true);
    oxSmartPointer<oxGeometryAttr> tube = skinnedTube(true);
    // Recorded bent one way, called bent two others: the list holds the vertices as they
    // come, not as they were blended.
    const std::vector<oxMatrix44f> recorded = palette(-0.8f, 0.2f);
    vc->setBlendMatrices(recorded.data(), int(recorded.size()));
    int list = vc->createDisplayList();
    ASSERT_GT(list, 0);
    ASSERT_TRUE(vc->beginDisplayList(list));
    drawPaletteTube(tube, 0, 0, false);
    ASSERT_TRUE(vc->endDisplayList());
    EXPECT_TRUE(vc->hasVertexBlendProgram());

    auto direct = [&](float middle, float end) {
        clear({0.1f, 0.1f, 0.2f, 1});
        drawPaletteTube(tube, middle, end);
        return read();
    };
    auto called = [&](int handle, float middle, float end) {
        clear({0.1f, 0.1f, 0.2f, 1});
        const std::vector<oxMatrix44f> p = palette(middle, end);
        vc->setBlendMatrices(p.data(), int(p.size()));
        EXPECT_TRUE(vc->callDisplayList(handle));
        return read();
    };
    oxSmartPointer<oxImage> up = called(list, 0.6f, 0.5f), down = called(list, -0.4f, -0.6f);
    EXPECT_EQ(differingPixels(up, direct(0.6f, 0.5f)), 0);
    EXPECT_EQ(differingPixels(down, direct(-0.4f, -0.6f)), 0);
    EXPECT_GT(differingPixels(up, down), 300) << "the two calls bend differently";
    EXPECT_GT(differingPixels(up, direct(-0.8f, 0.2f)), 300) << "nothing of the recording's bend is kept";

    // A list that sets matrices of its own brings them; the palette entries it leaves alone
    // are the caller's. Calling it leaves its matrices in force, as running it directly does.
    const std::vector<oxMatrix44f> own = palette(0.3f, -0.9f), callers = palette(-0.6f, 0.9f);
    int ownList = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(ownList));
    vc->setMatrix(OX_GFX_MATRIX_VERTEX_BLEND, kBones[2], own[size_t(kBones[2])]);
    drawPaletteTube(tube, 0, 0, false);
    ASSERT_TRUE(vc->endDisplayList());
    std::vector<oxMatrix44f> mixed = callers;
    mixed[size_t(kBones[2])] = own[size_t(kBones[2])];
    clear({0.1f, 0.1f, 0.2f, 1});
    vc->setBlendMatrices(callers.data(), int(callers.size()));
    EXPECT_TRUE(vc->callDisplayList(ownList));
    oxSmartPointer<oxImage> fromList = read();
    clear({0.1f, 0.1f, 0.2f, 1});
    vc->setBlendMatrices(mixed.data(), int(mixed.size()));
    drawPaletteTube(tube, 0, 0, false);
    EXPECT_EQ(differingPixels(fromList, read()), 0);
    clear({0.1f, 0.1f, 0.2f, 1});
    vc->setBlendMatrices(callers.data(), int(callers.size()));
    EXPECT_TRUE(vc->callDisplayList(ownList));
    drawPaletteTube(tube, 0, 0, false);
    EXPECT_EQ(differingPixels(fromList, read()), 0) << "the list's matrix stays in force after the call";

    // A list calling that list takes the caller's palette through both.
    int outer = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(outer));
    EXPECT_TRUE(vc->callDisplayList(ownList));
    ASSERT_TRUE(vc->endDisplayList());
    clear({0.1f, 0.1f, 0.2f, 1});
    vc->setBlendMatrices(callers.data(), int(callers.size()));
    EXPECT_TRUE(vc->callDisplayList(outer));
    EXPECT_EQ(differingPixels(fromList, read()), 0);

    // Blended on the host, a recorded draw keeps the vertices it was recorded with.
    vc->setGpuVertexBlending(false);
    vc->setBlendMatrices(recorded.data(), int(recorded.size()));
    int baked = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(baked));
    drawPaletteTube(tube, 0, 0, false);
    ASSERT_TRUE(vc->endDisplayList());
    EXPECT_EQ(differingPixels(called(baked, 0.6f, 0.5f), direct(-0.8f, 0.2f)), 0);
    EXPECT_EQ(vc->takeGLError(), 0u);
    for (int handle : {list, ownList, outer, baked})
        EXPECT_TRUE(vc->deleteDisplayList(handle));
}

TEST_F(oxGLVertexBlendTest, FallsBackToTheHostWhenTheProgramFailsOrCannotDrawIt)
{
    vc->setGpuVertexBlending(false);
    drawScene();
    oxSmartPointer<oxImage> host = read();
    vc->setGpuVertexBlending(true);

    // Generated texture coordinates are the host's: the draw does not even make the program.
    lightUp();
    turn<oxVertexBlendStateAttr>(true);
    oxSmartPointer<oxTextureAttr> texture = quadrantTexture();
    bind(texture);
    oxSmartPointer<oxTextureCoordSourceAttr> generated = make<oxTextureCoordSourceAttr>();
    generated->setSource(OX_GFX_TEXCOORD_OBJECT_LINEAR);
    draw(generated);
    draw(skinnedTube(false));
    EXPECT_FALSE(vc->hasVertexBlendProgram());
    oxSmartPointer<oxTextureCoordSourceAttr> fromVertices = make<oxTextureCoordSourceAttr>();
    draw(fromVertices);
    bind(nullptr);
    turn<oxVertexBlendStateAttr>(false);
    lightsOff();

    // A program that does not compile: one warning, and every draw is blended on the host.
    struct Restore {
        ~Restore() { oxGLBlendProgramSourceOverride = nullptr; }
    } restore;
    oxGLBlendProgramSourceOverride = "#version 130\nvoid main() { gl_Position = nowhere; }\n";
    WarningCatcher warnings;
    drawScene();
    EXPECT_FALSE(vc->hasVertexBlendProgram());
    ASSERT_EQ(warnings.get().size(), 1u);
    EXPECT_TRUE(warnings.contains("vertex blending program does not compile")) << warnings.get()[0];
    EXPECT_EQ(differingPixels(read(), host), 0);
    drawScene();
    EXPECT_EQ(warnings.get().size(), 1u) << "warned once";
    EXPECT_EQ(differingPixels(read(), host), 0);
    EXPECT_EQ(vc->takeGLError(), 0u);
}

namespace {
// A lit sheet of 32 by 32 squares facing the eye, with morph targets: positions pinched
// towards the middle, the top edge raised and swung right, and normals tilted outwards.
constexpr int kSheet = 33;

oxVec3f sheetPoint(int i)
{
    return {-0.7f + 1.4f * float(i % kSheet) / float(kSheet - 1), -0.7f + 1.4f * float(i / kSheet) / float(kSheet - 1), 0};
}

void fillTarget(oxVertexData* target, oxVec3f (*displacement)(const oxVec3f&))
{
    for (int i = 0; i < target->getCount(); ++i) {
        const oxVec3f d = displacement(sheetPoint(i));
        std::memcpy(target->getData() + size_t(i) * 12, &d, sizeof d);
    }
}

oxSmartPointer<oxMorphedGeometryAttr> morphedSheet()
{
    oxSmartPointer<oxMorphedGeometryAttr> g = make<oxMorphedGeometryAttr>();
    oxVertexArray2* v = g->configureVertexArray(kSheet * kSheet);
    oxVertexData* p = v->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    oxVertexData* n = v->addVertexData(OX_GFX_COMPONENT_NORMAL, 0, OX_GFX_SCALAR_FLOAT, 3);
    fillTarget(p, [](const oxVec3f& q) { return q; });
    fillTarget(n, [](const oxVec3f&) { return oxVec3f(0, 0, 1); });
    oxIndexArray* indices = g->configureIndexArray((kSheet - 1) * (kSheet - 1) * 6);
    int k = 0;
    for (int y = 0; y + 1 < kSheet; ++y)
        for (int x = 0; x + 1 < kSheet; ++x) {
            const uint16_t a = uint16_t(y * kSheet + x), b = uint16_t(a + 1), c = uint16_t(a + kSheet),
                           d = uint16_t(c + 1);
            for (uint16_t index : {a, b, c, c, b, d})
                indices->set(k++, index);
        }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, (kSheet - 1) * (kSheet - 1) * 2);

    oxMorphEntry* positions = g->appendMorphEntry(OX_GFX_COMPONENT_POSITION);
    fillTarget(positions->addTarget(kSheet * kSheet), [](const oxVec3f& q) {
        return q * (-0.5f * std::exp(-q.lengthSquared() / 0.2f));
    });
    fillTarget(positions->addTarget(kSheet * kSheet), [](const oxVec3f& q) {
        const float top = std::max(q.y, 0.0f);
        return oxVec3f(0.3f * top * top, 0.4f * top * top, 0);
    });
    oxMorphEntry* normals = g->appendMorphEntry(OX_GFX_COMPONENT_NORMAL);
    fillTarget(normals->addTarget(kSheet * kSheet), [](const oxVec3f& q) { return oxVec3f(q.x, q.y, 0) * 1.2f; });
    return g;
}

// Weights of the sheet's slots, positions then normals; a slot naming target 7 names none.
void weigh(oxMorphedGeometryAttr* g, std::vector<std::pair<float, int>> positions, float normals)
{
    oxMorphEntry* p = g->getMorphList()->get(0);
    p->setActiveCount(int(positions.size()));
    for (int j = 0; j < int(positions.size()); ++j) {
        p->setWeight(j, positions[size_t(j)].first);
        p->setTargetIndex(j, positions[size_t(j)].second);
    }
    oxMorphEntry* n = g->getMorphList()->get(1);
    n->setActiveCount(1);
    n->setWeight(0, normals);
}
} // namespace

TEST_F(oxGLVertexBlendTest, MorphsOnTheGpuAsOnTheHostAndFollowsTouchedTargets)
{
    oxSmartPointer<oxMorphedGeometryAttr> sheet = morphedSheet();
    // The lit sheet, drawn by `drawSheet`.
    auto lit = [&](const auto& drawSheet) {
        clear({0.1f, 0.1f, 0.2f, 1});
        lightUp();
        oxSmartPointer<oxMaterialAttr> material = make<oxMaterialAttr>();
        material->setDiffuse({0.9f, 0.7f, 0.4f, 1});
        material->setSpecular({1, 1, 1, 1});
        material->setShininess(20);
        draw(material);
        drawSheet();
        lightsOff();
        EXPECT_EQ(vc->takeGLError(), 0u);
        return read();
    };
    auto frame = [&](const std::vector<std::pair<float, int>>& positions, float normals) {
        return lit([&] {
            weigh(sheet, positions, normals);
            draw(sheet);
        });
    };
    const std::vector<std::pair<float, int>> a = {{0.7f, 0}, {0.0f, 1}, {0.5f, 7}},
                                             b = {{1.0f, 1}, {-0.4f, 0}};

    vc->setGpuVertexBlending(false);
    oxSmartPointer<oxImage> hostA = frame(a, 0.9f), hostB = frame(b, 0.0f);
    EXPECT_FALSE(vc->hasMorphProgram());

    vc->setGpuVertexBlending(true);
    WarningCatcher warnings;
    frame(a, 0.9f);
    oxSmartPointer<oxImage> gpuA = expectGolden("morph_a");
    frame(b, 0.0f);
    oxSmartPointer<oxImage> gpuB = expectGolden("morph_b");
    EXPECT_TRUE(vc->hasMorphProgram());
    EXPECT_FALSE(vc->hasVertexBlendProgram()) << "the skinning program is another";
    EXPECT_TRUE(warnings.get().empty());
    EXPECT_LE(differingPixels(hostA, gpuA), kSize * kSize / 100);
    EXPECT_LE(differingPixels(hostB, gpuB), kSize * kSize / 100);
    EXPECT_GT(differingPixels(gpuA, gpuB), kSize * kSize / 10) << "the two weightings look alike";
    // Raised and swung right, the top edge covers the top right corner.
    EXPECT_FALSE(near(gpuB, 100, 10, {26, 26, 51, 255}));
    EXPECT_TRUE(near(gpuA, 100, 10, {26, 26, 51, 255}));

    // Targets moved in place (and touched by transform) are copied again.
    oxMatrix44f flip;
    flip.makeRotationZ(float(M_PI));
    ASSERT_TRUE(sheet->transform(flip));
    oxSmartPointer<oxImage> gpuFlipped = frame(b, 0.0f);
    vc->setGpuVertexBlending(false);
    oxSmartPointer<oxImage> hostFlipped = frame(b, 0.0f);
    EXPECT_LE(differingPixels(hostFlipped, gpuFlipped), kSize * kSize / 100);
    EXPECT_GT(differingPixels(gpuFlipped, gpuB), kSize * kSize / 10);

    // More active slots than the program takes, and a list being recorded: the host blends.
    std::vector<std::pair<float, int>> many(kGLMorphSlots + 1, {1.0f / float(kGLMorphSlots + 1), 1});
    oxSmartPointer<oxImage> hostMany = frame(many, 0.0f);
    vc->setGpuVertexBlending(true);
    EXPECT_EQ(differingPixels(frame(many, 0.0f), hostMany), 0);
    const int list = vc->createDisplayList();
    weigh(sheet, b, 0.0f);
    ASSERT_TRUE(vc->beginDisplayList(list));
    draw(sheet);
    ASSERT_TRUE(vc->endDisplayList());
    EXPECT_EQ(differingPixels(lit([&] { EXPECT_TRUE(vc->callDisplayList(list)); }), hostFlipped), 0);
}
