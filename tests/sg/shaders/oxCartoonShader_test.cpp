// Cartoon-shaded nodes: the light and view cosines written per vertex, the passes on one and
// on two texture units, the light they follow, and nodes missing a texture.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

oxSmartPointer<oxTextureBindAttr> ramp()
{
    const uint8_t texels[4 * 3] = {0, 0, 0, 80, 80, 80, 160, 160, 160, 255, 255, 255};
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(texels, OX_GFX_PIXEL_RGB8, 4, 1);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);
    return bind;
}

// Three vertices at the origin: facing +z (towards the light and the eye), facing -z, and
// facing +x (edge-on to the eye).
oxSmartPointer<oxGeometry> probeVertices()
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(2), 3);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 1);
    const oxVec3f normals[3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        g->setPosition(i, oxVec3f(0, 0, 0));
        g->setNormal(i, normals[i]);
        g->setTextureCoord(i, 0, Kel::Math::oxVec2f(7, 7));
        g->setTextureCoord(i, 1, Kel::Math::oxVec2f(7, 7));
    }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

class CartoonShaderTest : public ShaderDrawTest {
protected:
    void SetUp() override
    {
        ShaderDrawTest::SetUp();
        traversal->setCapabilityManager(caps);
        oxMatrix44f view;
        view.lookAt(oxVec3f(0, 0, 5), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        traversal->setViewMatrix(view);
        cartoon->setShadingTexture(ramp());
        cartoon->setOutlineTexture(ramp());
        cartoon->setShadingTextureCoordIndex(0);
        cartoon->setOutlineTextureCoordIndex(1);
        cartoon->setLightPosition(oxVec4f(0, 0, 10, 1));
        cartoon->appendChild(geometry);
    }

    oxVec4f coordinate(int set, int vertex) const
    {
        return static_cast<oxGeometryAttr*>(geometry->getGeometryAttr(0))->getVertexArray()->getTexCoord(set, vertex);
    }

    oxSmartPointer<oxGenericCapabilityManager> caps = oxGenericCapabilityManager::_instantiateRef();
    oxSmartPointer<oxCartoonShader> cartoon = oxCartoonShader::_instantiateRef();
    oxSmartPointer<oxGeometry> geometry = probeVertices();
};

TEST_F(CartoonShaderTest, LightAndViewCosinesPerVertex)
{
    frame(cartoon);
    EXPECT_NEAR(coordinate(0, 0).x, 1, 1e-5f);
    EXPECT_NEAR(coordinate(0, 1).x, -1, 1e-5f);
    EXPECT_NEAR(coordinate(1, 0).x, 1, 1e-5f);
    EXPECT_NEAR(coordinate(1, 2).x, 0, 1e-5f);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(coordinate(0, v).y, 0.0f) << v;
        EXPECT_EQ(coordinate(1, v).y, 0.0f) << v;
    }
    // A direction: the light shines along it, whatever the vertex's place.
    cartoon->setLightPosition(oxVec4f(0, 0, 1, 0));
    frame(cartoon);
    EXPECT_NEAR(coordinate(0, 0).x, -1, 1e-5f);
    EXPECT_NEAR(coordinate(0, 1).x, 1, 1e-5f);

    // Moved away by a transform above the shader, the cosines follow the world positions.
    oxSmartPointer<oxTransform> move = oxTransform::_instantiateRef();
    oxMatrix44f right;
    right.makeTranslation(oxVec3f(5, 0, 0));
    move->setMatrix(&right);
    move->appendChild(cartoon);
    cartoon->setLightPosition(oxVec4f(5, 0, 10, 1));
    frame(move);
    EXPECT_NEAR(coordinate(0, 0).x, 1, 1e-5f);
    // The eye at (0, 0, 5) sees the vertex at (5, 0, 0) at 45 degrees.
    EXPECT_NEAR(coordinate(1, 0).x, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(coordinate(1, 2).x, -std::sqrt(0.5f), 1e-5f);
}

TEST_F(CartoonShaderTest, OneUnitDrawsTwiceTwoUnitsOnce)
{
    caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 1);
    std::string trace = frame(cartoon);
    EXPECT_EQ(count(trace, "drawGeometry"), 2) << trace;
    EXPECT_NE(trace.find("setBlendFunction ZERO SRC_COLOR"), std::string::npos) << trace;
    EXPECT_EQ(count(trace, "bindTexture 1 texture"), 0) << trace;

    caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 2);
    trace = frame(cartoon);
    EXPECT_EQ(count(trace, "drawGeometry"), 1) << trace;
    EXPECT_EQ(count(trace, "bindTexture 1 texture"), 1) << trace;
    EXPECT_NE(trace.find("setTextureFunction 1 MODULATE"), std::string::npos) << trace;
    EXPECT_EQ(cartoon->getOutlineTexture()->getUnit(), 1);

    // Back on one unit, the outline texture and its coordinates are on the first unit again.
    caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 1);
    trace = frame(cartoon);
    EXPECT_EQ(count(trace, "drawGeometry"), 2);
    EXPECT_EQ(count(trace, "bindTexture 1 texture"), 0) << trace;
    EXPECT_EQ(cartoon->getOutlineTexture()->getUnit(), 0);
    EXPECT_EQ(traversal->getAttrStackManager()->getTop(oxTextureBindAttr::getClassTypeSafe()), nullptr);

    // Either texture missing: the subtree is not drawn.
    cartoon->setOutlineTexture(nullptr);
    EXPECT_EQ(count(frame(cartoon), "drawGeometry"), 0);
    cartoon->setOutlineTexture(ramp());
    cartoon->setShadingTexture(nullptr);
    EXPECT_EQ(count(frame(cartoon), "drawGeometry"), 0);
}

TEST_F(CartoonShaderTest, TheLightIsFollowedWhileItIsOn)
{
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    light->setType(OX_GFX_LIGHT_POSITIONAL);
    light->setPosition(oxVec3f(0, 0, -10));
    cartoon->setLight(light);
    // Not on anywhere: the last position stays.
    frame(cartoon);
    EXPECT_EQ(cartoon->getLightPosition().z, 10.0f);
    EXPECT_NEAR(coordinate(0, 0).x, 1, 1e-5f);

    oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
    lights->appendLightAttr(light);
    oxSmartPointer<oxLightStateSet> lit = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
    on->setLight(light);
    on->setEnabled(true);
    lit->appendLightStateAttr(on);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(lights);
    root->appendChild(lit);
    lit->appendChild(cartoon);
    frame(root);
    EXPECT_EQ(cartoon->getLightPosition(), oxVec4f(0, 0, -10, 1));
    EXPECT_NEAR(coordinate(0, 0).x, -1, 1e-5f);

    // A directional light gives its direction with w = 0.
    light->setType(OX_GFX_LIGHT_DIRECTIONAL);
    light->setDirection(oxVec3f(0, 1, 0));
    cartoon->updateLight();
    EXPECT_EQ(cartoon->getLightPosition(), oxVec4f(0, 1, 0, 0));
}

} // namespace
