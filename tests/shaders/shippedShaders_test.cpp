// The description files of shaders/ drawn on the OpenGL device against reference images:
// each configures an interpreted shader through the factory its file makes, with the user
// values its interface names, and draws its children at given times.
//
// After a deliberate change, draw the references again with
//   OXSG_UPDATE_GOLDEN=1 ./oxshaders_tests
// and look at tests/data/shaders/*.png before committing them.
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
using Kel::Core::oxRegistry;

namespace {

constexpr int kWidth = 160, kHeight = 120;
constexpr int64_t kMillisecond = 1000000;

// A picture of `size` × `size` texels, top row first.
template <class F>
oxSmartPointer<oxTextureAttr> picture(int size, F&& texel)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const oxVec4f c = texel(x, y);
            for (float v : {c.x, c.y, c.z})
                pixels.push_back(uint8_t(std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255)));
        }
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(pixels.data(), OX_GFX_PIXEL_RGB8, size, size);
    oxSmartPointer<oxTextureAttr> t = oxTextureAttr::_instantiateRef();
    t->setImage(image, 0);
    return t;
}

// A square of side 2 at the origin facing +z (or lying in y = 0 facing up), with normals
// and texture coordinates, lit white.
oxSmartPointer<oxGeometry> square(bool lying)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(1), 4);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, 1);
    g->setPrimitiveLength(0, 4);
    const float xy[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        const float x = xy[i][0], y = xy[i][1];
        g->setPosition(i, lying ? oxVec3f(x * 3, 0, -y * 3) : oxVec3f(x, y, 0));
        g->setNormal(i, lying ? oxVec3f(0, 1, 0) : oxVec3f(0, 0, 1));
        g->setTextureCoord(i, 0, Kel::Math::oxVec2f((x + 1) / 2, (y + 1) / 2));
    }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    oxSmartPointer<oxMaterialAttr> white = oxMaterialAttr::_instantiateRef();
    node->appendAttr(white);
    node->addGeometryAttr(g);
    return node;
}

class ShippedShaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        Kel::Sg::oxArkRegisterForOXBFiles();
        oxRegistry::getGlobal().setValue(oxRegistry::kSectionShaders, "shaderFilePath", OXSG_SHADER_DIR);
        oxIniShaderManager::resolveShaderFolder();
    }

    void SetUp() override
    {
        vc = oxGLVisualContext::create(kWidth, kHeight);
        if (!vc)
            GTEST_SKIP() << "no OpenGL device";
        draw->setVisualContext(vc);
    }

    void TearDown() override { draw->setVisualContext(nullptr); }

    // An interpreted shader of the named description with `user` as its mappings.
    oxSmartPointer<oxInterpretedShader> shader(const char* name,
                                               std::initializer_list<std::pair<const char*, oxObject*>> user = {})
    {
        oxShaderFactory* factory = oxShaderInfo::getSystemShaderInfo()->fetchFactory(name);
        EXPECT_NE(factory, nullptr) << name << ".qsd";
        oxSmartPointer<oxInterpretedShader> s = oxInterpretedShader::_instantiateRef();
        s->getInterpretedShaderData()->setFactory(factory);
        for (const auto& [key, object] : user)
            s->getInterpretedShaderData()->getObjectMappings()->insert(key, object);
        return s;
    }

    // The scene lit by one light from the upper left, seen from `eye`, at `time`.
    oxSmartPointer<oxImage> frame(oxNode* content, const oxVec3f& eye, int64_t time)
    {
        oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
        light->setType(OX_GFX_LIGHT_DIRECTIONAL);
        light->setDirection(oxVec3f(0.4f, -0.6f, -0.7f).normalized());
        light->setDiffuse(oxVec4f(1, 1, 1, 1));
        light->setAmbient(oxVec4f(0.25f, 0.25f, 0.25f, 1));
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
        view.lookAt(eye, oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        draw->setPerspective(-1, 40, float(kWidth) / kHeight, 0.5f, 100);
        vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
        vc->setViewMatrix(view);
        draw->setUserTimeState(true);
        draw->setTimeAsLong(time);
        draw->reset();
        draw->apply(root);
        oxClearValues clear;
        clear.color = oxVec4f(0.2f, 0.2f, 0.25f, 1);
        vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
        draw->getOutput()->apply(vc);
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        EXPECT_TRUE(vc->readPixels(0, 0, kWidth, kHeight, image));
        EXPECT_EQ(vc->takeGLError(), 0u);
        return image;
    }

    ::testing::AssertionResult matches(const oxImage* image, const std::string& name)
    {
        return TestUtil::matchesGolden(image, std::string(OXSG_TEST_DATA_DIR) + "/shaders/" + name + ".png");
    }

    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
};

TEST_F(ShippedShaderTest, GlowAddsItsColourInASecondPass)
{
    oxSmartPointer<oxInterpretedShader> glow = shader("glow");
    glow->appendChild(square(false));
    const oxSmartPointer<oxImage> image = frame(glow, oxVec3f(0.5f, 0.5f, 4), 0);
    EXPECT_TRUE(glow->isConfigured());
    EXPECT_EQ(glow->getShaderData()->getPassCount(), 2);
    EXPECT_TRUE(matches(image, "glow"));
}

// The grid's cell index shows as a colour: 16 cells, each its own.
TEST_F(ShippedShaderTest, FlipbookPlaysItsCellsInTime)
{
    oxSmartPointer<oxTextureAttr> cells = picture(64, [](int x, int y) {
        const int cell = (y / 16) * 4 + x / 16;
        return oxVec4f(float(cell % 4) / 3, float(cell / 4) / 3, (x / 4 + y / 4) % 2 ? 0.9f : 0.3f, 1);
    });
    oxSmartPointer<oxInterpretedShader> book = shader("flipbook", {{"movie", cells}});
    book->appendChild(square(false));
    const oxVec3f eye(0, 0, 3.2f);
    frame(book, eye, 1000 * kMillisecond);
    EXPECT_TRUE(book->isConfigured());
    EXPECT_TRUE(matches(frame(book, eye, 1000 * kMillisecond + 10 * kMillisecond), "flipbook-0"));
    EXPECT_TRUE(matches(frame(book, eye, 1000 * kMillisecond + 1300 * kMillisecond), "flipbook-10"));
}

TEST_F(ShippedShaderTest, SlideIsProjectedOntoTheFloor)
{
    oxSmartPointer<oxTextureAttr> slide = picture(32, [](int x, int y) {
        const bool arrow = std::abs(x - 16) < (32 - y) / 2 && y > 4;
        return arrow ? oxVec4f(1, 0.8f, 0.2f, 1) : oxVec4f(0.2f, 0.3f, 0.8f, 1);
    });
    slide->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    oxSmartPointer<oxInterpretedShader> projector = shader("slide", {{"slide", slide}});
    projector->appendChild(square(true));
    const oxSmartPointer<oxImage> image = frame(projector, oxVec3f(0, 5, 9), 0);
    EXPECT_TRUE(projector->isConfigured());
    EXPECT_TRUE(matches(image, "slide"));
}

// A card turned to face the eye from wherever it looks, about y only.
TEST_F(ShippedShaderTest, SpriteFacesTheEye)
{
    oxSmartPointer<oxInterpretedShader> sprite = shader("sprite");
    sprite->appendChild(square(false));
    const oxSmartPointer<oxImage> side = frame(sprite, oxVec3f(-4, 1, 0.5f), 0);
    EXPECT_TRUE(sprite->isConfigured());
    EXPECT_TRUE(matches(side, "sprite"));
    // Without the shader the card is seen edge on from there: far fewer pixels lit.
    const oxSmartPointer<oxImage> plain = frame(square(false), oxVec3f(-4, 1, 0.5f), 0);
    EXPECT_FALSE(oxCompareImages(*side, *plain).isSlight());
}

} // namespace
