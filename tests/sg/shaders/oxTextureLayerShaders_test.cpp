// Multi-texture layers packed into passes for the device's units, and environment mapping
// through the device's coordinate generation.
#include <gtest/gtest.h>

#include "oxShaderTestSupport.h"

namespace {
using namespace shadertest;
using Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS;

class TextureLayerTest : public ShaderDrawTest {
protected:
    // A layer of one texture and its function, both for unit 0.
    oxSmartPointer<oxAttrList> layer(const std::string& name)
    {
        oxSmartPointer<oxAttrList> l = oxAttrList::_instantiateRef();
        l->append(log.attr<oxTextureBindAttr>(name));
        l->append(log.attr<oxTextureFunctionAttr>(name + "-function"));
        return l;
    }
    int countVisits() const { return int(log.only("visit").size()); }
    // Units of the texture bindings in one pass, in order.
    static std::vector<int> bindingUnits(const oxAttrList* pass)
    {
        std::vector<int> units;
        for (int i = 0; i < pass->getCount(); ++i)
            if (oxTextureBindAttr::dynamicCast(pass->get(i)))
                units.push_back(pass->get(i)->getUnit());
        return units;
    }
};

TEST_F(TextureLayerTest, LayersPackIntoAsFewPassesAsTheUnitsAllow)
{
    oxSmartPointer<oxMultiTextureShader> shader = oxMultiTextureShader::_instantiateRef();
    for (const char* name : {"base", "detail", "light"})
        shader->appendLayer(layer(name));
    shader->appendChild(log.probe("leaf"));
    EXPECT_FALSE(shader->appendLayer(nullptr));

    vc->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 2);
    frame(shader);
    ASSERT_TRUE(shader->isOptimized());
    EXPECT_EQ(shader->getNumTextureStages(), 2);
    const oxAttrListList* passes = shader->getPlatformAttrLists();
    ASSERT_EQ(passes->getCount(), 2);
    EXPECT_EQ(bindingUnits(passes->get(0)), (std::vector<int>{0, 1}));
    EXPECT_EQ(bindingUnits(passes->get(1)), (std::vector<int>{0}));
    EXPECT_EQ(countVisits(), 2);
    // The first pass draws as the scene is; the second multiplies over it.
    EXPECT_EQ(log.only("visit")[0], "leaf [- - - -] in package");
    EXPECT_NE(log.only("visit")[1].find("in package"), std::string::npos);
    EXPECT_EQ(shader->getLayer(1)->get(0)->getUnit(), 0) << "packing copies, the layer stays as written";
    EXPECT_EQ(log.nameOf(passes->get(0)->get(0)), "base");

    // A four-unit device takes every layer in one pass; packing runs again on a change.
    shader->setNumTextureStages(4);
    EXPECT_FALSE(shader->isOptimized());
    shader->optimizePasses();
    EXPECT_EQ(passes->getCount(), 1);
    EXPECT_EQ(bindingUnits(passes->get(0)), (std::vector<int>{0, 1, 2}));
    // One unit: a pass per layer.
    shader->setNumTextureStages(1);
    shader->optimizePasses();
    EXPECT_EQ(passes->getCount(), 3);
    EXPECT_GE(passes->get(2)->getCount(), 6) << "a later pass carries the blend over what is drawn";
}

TEST_F(TextureLayerTest, EnvironmentMapFollowsTheViewAndNeedsATexture)
{
    oxSmartPointer<oxOglEnvironmentMapShader> shader = oxOglEnvironmentMapShader::_instantiateRef();
    shader->appendChild(log.probe("leaf"));
    EXPECT_FALSE(shader->setUnit(-1));
    // Without a texture it is a plain group: nothing is generated.
    std::string trace = frame(shader);
    EXPECT_EQ(countVisits(), 1);
    EXPECT_EQ(trace.find("SPHERE"), std::string::npos);

    shader->setEnvironmentTexture(log.attr<oxTextureBindAttr>("sky"));
    ASSERT_TRUE(shader->setUnit(1));
    shader->setMapping(oxOglEnvironmentMapShader::REFLECTION_MAP);
    oxMatrix44f view;
    view.makeRotation(oxVec3f(0, 1, 0), 0.5f);
    view.setTranslation(oxVec3f(3, 4, 5));
    traversal->setViewMatrix(view);
    frame(shader);
    EXPECT_EQ(countVisits(), 1);
    EXPECT_EQ(shader->getEnvironmentTexture()->getUnit(), 1);
    // The texture matrix undoes the view's turn and nothing of its move.
    oxMatrix44f expected = traversal->getInverseViewMatrix();
    expected.setTranslation(oxVec3f(0, 0, 0));
    EXPECT_EQ(shader->getTextureMatrix(), expected);
    EXPECT_FALSE(shader->getSelfShadowState()) << "the draw turns self-shadowing off";

    shader->setMapping(oxOglEnvironmentMapShader::SPHERE_MAP);
    shader->update(traversal);
    EXPECT_EQ(shader->getTextureMatrix(), oxMatrix44f());
}

} // namespace
