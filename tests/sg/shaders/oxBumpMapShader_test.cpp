// Bump-mapped nodes: the technique each device gets and the passes it draws, the per-vertex
// lighting and shifts, the light vectors of the dot-product technique, the normal map, the
// light settings, and what an unusable node does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/core/oxRegistry.h"
#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;
using namespace Kel::Gfx;

namespace {

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

oxSmartPointer<oxTextureBindAttr> heightTexture(int size, uint8_t (*height)(int x, int y))
{
    std::vector<uint8_t> bytes;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            bytes.push_back(height(x, y));
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(bytes.data(), OX_GFX_PIXEL_L8, size, size);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);
    return bind;
}

// A unit square in z = 0 facing +z, u along x and v along y, with the tangent frame; set 0
// holds the height-map coordinates and set 1 is the reserved one.
oxSmartPointer<oxGeometry> wall(bool tangents = true)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors |
                                oxVertexFormat::texCoords(2),
                            6);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2);
    const float xy[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 6; ++i) {
        g->setPosition(i, oxVec3f(xy[i][0], xy[i][1], 0));
        g->setNormal(i, oxVec3f(0, 0, 1));
        g->setTextureCoord(i, 0, Kel::Math::oxVec2f(xy[i][0], xy[i][1]));
    }
    if (tangents) {
        oxSmartPointer<oxVertexArrayHelper> helper = oxVertexArrayHelper::_instantiateRef();
        helper->generateTangentsAndBinormals(g, 0);
    }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

oxVertexArray* vertices(oxGeometry* node)
{
    return static_cast<oxGeometryAttr*>(node->getGeometryAttr(0))->getVertexArray();
}

class BumpMapShaderTest : public ShaderDrawTest {
protected:
    void SetUp() override
    {
        ShaderDrawTest::SetUp();
        traversal->setCapabilityManager(caps);
        bump->setBumpTexture(heightTexture(8, [](int x, int) { return uint8_t(x * 30); }));
        bump->setBumpTextureCoordIndex(0);
        bump->setReservedTextureCoordIndex(1);
        bump->setLightCount(1);
        bump->setLightIntensity(0, 1);
        bump->appendChild(geometry);
        // Looking down -z at the wall from z = 5.
        oxMatrix44f view;
        view.lookAt(oxVec3f(0.5f, 0.5f, 5), oxVec3f(0.5f, 0.5f, 0), oxVec3f(0, 1, 0));
        traversal->setViewMatrix(view);
    }

    void device(int units, bool dot3)
    {
        caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, units);
        caps->setCapability(OX_GFX_CAP_TEXTURE_DOT3, dot3 ? 1 : 0);
    }

    // Runs the collection and the per-vertex work of one draw without drawing.
    void collect()
    {
        traversal->reset();
        traversal->begin(bump);
        bump->collectGeometries(traversal);
        traversal->end(bump);
    }

    oxSmartPointer<oxGenericCapabilityManager> caps = oxGenericCapabilityManager::_instantiateRef();
    oxSmartPointer<oxBumpMapShader> bump = oxBumpMapShader::_instantiateRef();
    oxSmartPointer<oxGeometry> geometry = wall();
};

TEST_F(BumpMapShaderTest, EachDeviceGetsItsTechniqueAndItsPasses)
{
    // One unit: three emboss passes, heights then shifted heights subtracted, then colours.
    device(1, false);
    std::string trace = frame(bump);
    EXPECT_EQ(count(trace, "drawGeometry"), 3) << trace;
    EXPECT_EQ(count(trace, "DOT3"), 0);
    EXPECT_NE(trace.find("SUBTRACT"), std::string::npos) << trace;

    // Two or more units, no dot product: two passes, the height texture on both units.
    for (int units : {2, 4}) {
        device(units, false);
        trace = frame(bump);
        EXPECT_EQ(count(trace, "drawGeometry"), 2) << units << " units\n" << trace;
        EXPECT_NE(trace.find("bindTexture 1 texture"), std::string::npos) << trace;
        EXPECT_EQ(count(trace, "DOT3"), 0);
    }

    // The dot-product combiner: the normal map under DOT3, then the colour pass.
    device(4, true);
    trace = frame(bump);
    EXPECT_EQ(count(trace, "drawGeometry"), 2) << trace;
    EXPECT_NE(trace.find("setTextureFunction 0 DOT3_RGB"), std::string::npos) << trace;
    ASSERT_TRUE(bump->getNormalTexture());
    EXPECT_EQ(bump->getNormalTexture()->getTexture()->getImage(0)->getFormat(), OX_GFX_PIXEL_RGB8);
    // A dot-product combiner beside a single unit still takes the dot-product technique.
    device(1, true);
    EXPECT_EQ(count(frame(bump), "drawGeometry"), 2);

    // Going back to one unit after two puts the shifted coordinates on the first unit again.
    device(2, false);
    frame(bump);
    device(1, false);
    trace = frame(bump);
    EXPECT_EQ(count(trace, "setTextureCoordSource 1"), 0) << trace;

    // The state is undone: nothing of the passes is left on the stacks.
    oxAttrStackManager* m = traversal->getAttrStackManager();
    EXPECT_EQ(m->getTop(oxTextureBindAttr::getClassTypeSafe()), nullptr);
    EXPECT_EQ(m->getTop(oxBlendFunctionAttr::getClassTypeSafe()), nullptr);
    EXPECT_EQ(m->getTop(oxLightingStateAttr::getClassTypeSafe()), nullptr);
}

// The setting is read once per process, with the first attribute stacks: it is made before
// the suite registers anything. ctest runs every test in a process of its own.
class BumpMapShaderSettingTest : public BumpMapShaderTest {
protected:
    static void SetUpTestSuite()
    {
        Kel::Core::oxRegistry::getGlobal().setValue(Kel::Core::oxRegistry::kSectionShaders, "disableBumpDotProduct",
                                                    "1");
        BumpMapShaderTest::SetUpTestSuite();
    }
};

TEST_F(BumpMapShaderSettingTest, TheDotProductSettingTurnsTheCombinerDown)
{
    if (!oxGetDisableBumpDotProduct())
        GTEST_SKIP() << "the setting was read before this suite; run it alone";
    device(4, true);
    std::string trace = frame(bump);
    EXPECT_EQ(count(trace, "drawGeometry"), 2) << trace;
    EXPECT_EQ(count(trace, "DOT3"), 0) << trace;
    device(1, true);
    EXPECT_EQ(count(frame(bump), "drawGeometry"), 3);
}

TEST_F(BumpMapShaderTest, AnUnusableNodeDrawsAsAPlainGroup)
{
    device(4, true);
    // No lights on.
    bump->setLightState(0, false);
    for (int i = 1; i < 8; ++i)
        bump->setLightState(i, false);
    std::string trace = frame(bump);
    EXPECT_EQ(count(trace, "drawGeometry"), 1);
    EXPECT_EQ(count(trace, "DOT3"), 0);
    for (int i = 0; i < 8; ++i)
        bump->setLightState(i, true);
    EXPECT_EQ(count(frame(bump), "drawGeometry"), 2);

    // A colour picture as heights.
    oxSmartPointer<oxImage> colour = oxImage::_instantiateRef();
    colour->allocateImageMemory(4, 4, OX_GFX_PIXEL_RGB8);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(colour, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);
    bump->setBumpTexture(bind);
    EXPECT_FALSE(bump->isValid());
    EXPECT_EQ(count(frame(bump), "drawGeometry"), 1);

    // No height texture at all, and no light positions.
    oxSmartPointer<oxBumpMapShader> bare = oxBumpMapShader::_instantiateRef();
    bare->appendChild(wall());
    EXPECT_FALSE(bare->isValid());
    EXPECT_EQ(count(frame(bare), "drawGeometry"), 1);
    bare->setBumpTexture(heightTexture(4, [](int, int) { return uint8_t(0); }));
    EXPECT_FALSE(bare->isValid());
    bare->setLightCount(1);
    EXPECT_TRUE(bare->isValid());
}

TEST_F(BumpMapShaderTest, EmbossLightingAndShiftsPerVertex)
{
    bump->setAmbient(0.25f);
    bump->setBumpStrength(2);
    // A light straight above vertex 0 at (0, 0, 0): d = 1 there.
    bump->setLightPosition(0, oxVec3f(0, 0, 10));
    bump->setLightIntensity(0, 0.5f);
    bump->setDiffuseMaterial(oxVec3f(1, 0.5f, 0));
    collect();
    ASSERT_EQ(bump->getGeometries()->getCount(), 1);
    ASSERT_EQ(bump->getTextureFlags()->getBitCount(), 1u);
    EXPECT_FALSE(bump->getTextureFlags()->getBit(0));
    bump->computeReservedTextureCoord(traversal);
    oxVertexArray* va = vertices(geometry);
    // Ambient 0.25 truncated to 63/255, plus the material by d × intensity = 0.5.
    const oxVec4f c0 = va->getColor(0);
    EXPECT_NEAR(c0.x, 63 / 255.0f + 0.5f, 1.5f / 255);
    EXPECT_NEAR(c0.y, 63 / 255.0f + 0.25f, 1.5f / 255);
    EXPECT_NEAR(c0.z, 63 / 255.0f, 1.5f / 255);
    EXPECT_EQ(c0.w, 1.0f);
    // Straight above: nothing of the light lies in the surface, no shift.
    EXPECT_NEAR(va->getTexCoord(1, 0).x, 0, 1e-6f);
    EXPECT_NEAR(va->getTexCoord(1, 0).y, 0, 1e-6f);

    // A direction with d = 0.25: the shift factor is 2d = 0.5. L = (sqrt(1 - 1/16), 0, 0.25).
    oxSmartPointer<oxLightAttr> sun = oxLightAttr::_instantiateRef();
    sun->setType(OX_GFX_LIGHT_DIRECTIONAL);
    const float side = std::sqrt(1 - 0.0625f);
    sun->setDirection(oxVec3f(-side, 0, -0.25f));
    bump->appendLightAttr(sun);
    bump->setLightIntensity(0, 1);
    bump->setAmbient(0);
    bump->computeReservedTextureCoord(traversal);
    const float k = 2.0f / 8.0f;
    for (int v : {0, 2}) {
        const oxVec4f uv = va->getTexCoord(1, v), base = va->getTexCoord(0, v);
        EXPECT_NEAR(uv.x - base.x, side * k * 0.5f, 1e-5f) << v;
        EXPECT_NEAR(uv.y - base.y, 0, 1e-5f) << v;
        EXPECT_NEAR(va->getColor(v).x, 0.25f, 1.0f / 255) << v;
    }
    // From d = 0.5 up the factor is 1.
    sun->setDirection(oxVec3f(-std::sqrt(0.75f), 0, -0.5f));
    bump->computeReservedTextureCoord(traversal);
    EXPECT_NEAR(va->getTexCoord(1, 1).x - 1, std::sqrt(0.75f) * k, 1e-5f);

    // A light behind the surface changes nothing; many bright lights clamp at 1.
    sun->setDirection(oxVec3f(0, 0, 1));
    bump->setAmbient(0.5f);
    bump->computeReservedTextureCoord(traversal);
    EXPECT_NEAR(va->getColor(3).x, 127 / 255.0f, 1e-6f);
    EXPECT_NEAR(va->getTexCoord(1, 3).x, va->getTexCoord(0, 3).x, 1e-6f);
    sun->setDirection(oxVec3f(0, 0, -1));
    for (int i = 0; i < 3; ++i)
        bump->appendLightAttr(sun);
    for (int i = 0; i < 4; ++i)
        bump->setLightIntensity(i, 0.9f);
    bump->computeReservedTextureCoord(traversal);
    EXPECT_EQ(va->getPackedColor(4), 0xFF7FFFFFu) << std::hex << va->getPackedColor(4);

    // Without the tangent frame nothing is written, and nothing breaks.
    oxSmartPointer<oxGeometry> flat = wall(false);
    bump->appendChild(flat);
    vertices(flat)->setColor(0, oxVec4f(0, 0, 1, 1));
    collect();
    EXPECT_EQ(bump->getGeometries()->getCount(), 2);
    bump->computeReservedTextureCoord(traversal);
    bump->computeColorForDot3(traversal);
    EXPECT_EQ(vertices(flat)->getColor(0).z, 1.0f);
}

TEST_F(BumpMapShaderTest, DotProductLightVectorsAsColours)
{
    bump->setLightPosition(0, oxVec3f(0, 0, 10));
    collect();
    // One light straight above vertex 0 at intensity 2: (0, 0, 1) halved.
    bump->setLightIntensity(0, 2);
    bump->computeColorForDot3(traversal);
    oxVertexArray* va = vertices(geometry);
    EXPECT_EQ(va->getPackedColor(0), 0xFFBF7F7Fu) << std::hex << va->getPackedColor(0);

    // The only light off: the zero vector, every channel at the middle.
    bump->setLightState(0, false);
    bump->computeColorForDot3(traversal);
    for (int v = 0; v < 6; ++v)
        EXPECT_EQ(va->getPackedColor(v), 0xFF7F7F7Fu) << v;

    // Two lights above, 0.8 and 0.7, both facing: the weighted sum (1.5 × up) over 1.5.
    bump->setLightState(0, true);
    bump->setLightCount(2);
    bump->setLightPosition(0, oxVec3f(0, 0, 10));
    bump->setLightPosition(1, oxVec3f(0, 0, 20));
    bump->setLightIntensity(0, 0.8f);
    bump->setLightIntensity(1, 0.7f);
    bump->computeColorForDot3(traversal);
    EXPECT_EQ(va->getPackedColor(0), 0xFFFF7F7Fu) << std::hex << va->getPackedColor(0);
    // A light from the side along u, the other above: the vector leans towards +u.
    bump->setLightPosition(1, oxVec3f(100, 0, 100));
    bump->computeColorForDot3(traversal);
    const uint32_t c = va->getPackedColor(0);
    EXPECT_GT(c & 0xFF, 0x7Fu) << std::hex << c;
    EXPECT_EQ((c >> 8) & 0xFF, 0x7Fu) << std::hex << c;
}

TEST(BumpMapShaderImages, NormalMapAndDerivedTextures)
{
    oxSmartPointer<oxImage> heights = oxImage::_instantiateRef();
    std::vector<uint8_t> flat(16 * 8, 90);
    heights->loadBuffer(flat.data(), OX_GFX_PIXEL_L8, 16, 8);
    oxSmartPointer<oxImage> normals = oxBumpMapShader::createNormalImage(heights, 1);
    ASSERT_TRUE(normals);
    EXPECT_EQ(normals->getFormat(), OX_GFX_PIXEL_RGB8);
    ASSERT_EQ(normals->getWidth(), 16);
    ASSERT_EQ(normals->getHeight(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(normals->getColor(x, y) & 0xFFFFFF, 0xFF7F7Fu) << x << "," << y;

    // A ramp rising along x leans the normals towards -x; the border copies its neighbours.
    std::vector<uint8_t> ramp;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ramp.push_back(uint8_t(x * 20));
    heights->loadBuffer(ramp.data(), OX_GFX_PIXEL_L8, 8, 8);
    normals = oxBumpMapShader::createNormalImage(heights, 4);
    const uint32_t inside = normals->getColor(3, 3);
    EXPECT_LT(inside & 0xFF, 0x7Fu);
    EXPECT_EQ((inside >> 8) & 0xFF, 0x7Fu);
    EXPECT_EQ(normals->getColor(0, 0), normals->getColor(1, 1));
    EXPECT_EQ(normals->getColor(7, 7), normals->getColor(6, 6));
    // A stronger bump leans further.
    EXPECT_LT(normals->getColor(3, 3) & 0xFF, oxBumpMapShader::createNormalImage(heights, 1)->getColor(3, 3) & 0xFF);

    EXPECT_FALSE(oxBumpMapShader::createNormalImage(nullptr, 1));
    oxSmartPointer<oxImage> colour = oxImage::_instantiateRef();
    colour->allocateImageMemory(4, 4, OX_GFX_PIXEL_RGB8);
    EXPECT_FALSE(oxBumpMapShader::createNormalImage(colour, 1));

    // The inverted heights, and the heights halved once they exist.
    oxSmartPointer<oxBumpMapShader> bump = oxBumpMapShader::_instantiateRef();
    const uint8_t bytes[4] = {0, 100, 128, 200};
    oxSmartPointer<oxImage> small = oxImage::_instantiateRef();
    small->loadBuffer(bytes, OX_GFX_PIXEL_L8, 2, 2);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(small, 0);
    texture->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_REPEAT);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);
    bump->setBumpTexture(bind);
    bump->createInverseTexture();
    ASSERT_TRUE(bump->getInverseBumpTexture());
    const oxTextureAttr* inverse = bump->getInverseBumpTexture()->getTexture();
    EXPECT_EQ(inverse->getWrapS(), OX_GFX_WRAP_CLAMP);
    const uint8_t* inv = inverse->getImage(0)->getPixels();
    EXPECT_EQ(std::vector<int>(inv, inv + 4), (std::vector<int>{64, 14, 0, 0}));
    EXPECT_EQ(std::vector<int>(small->getPixels(), small->getPixels() + 4), (std::vector<int>{0, 50, 64, 100}));
    // Made once: a second call changes nothing.
    bump->createInverseTexture();
    EXPECT_EQ(small->getPixels()[1], 50);

    // The material texture: one texel of the colour, made again after the colour changes.
    bump->setDiffuseMaterial(oxVec3f(1, 0.5f, 0));
    bump->createMaterialTexture();
    ASSERT_TRUE(bump->getMaterialTexture());
    EXPECT_EQ(bump->getMaterialTexture()->getTexture()->getImage(0)->getColor(0, 0) & 0xFFFFFF, 0x007FFFu);
    bump->setDiffuseMaterial(oxVec3f(0, 0, 1));
    EXPECT_FALSE(bump->getMaterialTexture());
}

TEST(BumpMapShaderSettings, LightsAndMaterial)
{
    oxSmartPointer<oxBumpMapShader> bump = oxBumpMapShader::_instantiateRef();
    bump->setLightCount(3);
    bump->setLightCount(9);
    EXPECT_EQ(bump->getLightCount(), 3);
    // Light attributes size the intensities to their own count.
    bump->appendLightAttr(oxLightAttr::_instantiateRef());
    EXPECT_EQ(bump->getLightCount(), 3);
    EXPECT_EQ(bump->getLightIntensities(1), 0.0f);

    bump->setLightState(2, false);
    bump->setLightState(8, false);
    EXPECT_EQ(bump->getLightStates(), 0xFB);
    EXPECT_FALSE(bump->getLightState(8));

    bump->setAmbient(0.5f);
    EXPECT_NEAR(bump->getAmbient(), 127 / 255.0f, 1e-6f);
    bump->setAmbient(7);
    EXPECT_EQ(bump->getAmbient(), 1.0f);
}

} // namespace
