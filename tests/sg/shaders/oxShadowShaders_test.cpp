// The projective and planar shadow shaders on the recording device: which passes run, under
// which state, with which matrices; and both shaders through a scene file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sg/shaders/oxPlanarShadowProcessor.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"
#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {

// What a probe saw of the state the shaders set.
struct Visit {
    std::string name;
    oxTextureAttr* unit0 = nullptr;
    oxTextureAttr* unit1 = nullptr;
    bool blend = false;
    bool lighting = true;
    const oxRenderDestinationAttr* target = nullptr;
    oxVec4f color;
    oxMatrix44f projection;
    oxBlendFunctionAttr* blendFunction = nullptr;
};

std::vector<Visit> g_visits;

class ShadowTest : public ShaderDrawTest {
protected:
    void SetUp() override
    {
        ShaderDrawTest::SetUp();
        g_visits.clear();
        traversal->setFunction(Probe::getClassTypeSafe(), &see);
    }

    template <class A>
    static A* top(oxAttrStackManager* m, int unit = 0)
    {
        return static_cast<A*>(m->getTopOrDefault(A::getClassTypeSafe(), unit));
    }
    static oxTextureAttr* bound(oxAttrStackManager* m, int unit)
    {
        auto* b = top<oxTextureBindAttr>(m, unit);
        auto* on = top<oxTextureStateAttr>(m, unit);
        return b && on && on->getEnabled() ? b->getTexture() : nullptr;
    }
    static OX_TRAVERSAL_RETURN see(oxTraversal* t, oxObject* node)
    {
        auto* ct = static_cast<oxCommonTraversal*>(t);
        oxAttrStackManager* m = ct->getAttrStackManager();
        auto* l = static_cast<ShaderLog*>(m->getPopFunctionData());
        Visit v;
        v.name = l->nameOf(node);
        v.unit0 = bound(m, 0);
        v.unit1 = bound(m, 1);
        v.blend = top<oxBlendStateAttr>(m)->getEnabled();
        v.lighting = top<oxLightingStateAttr>(m)->getEnabled();
        v.target = top<oxSetRenderDestinationAttr>(m)->getDestination();
        v.color = top<oxColorAttr>(m)->getColor();
        v.projection = top<oxProjectionMatrixAttr>(m)->getMatrix();
        v.blendFunction = top<oxBlendFunctionAttr>(m);
        g_visits.push_back(v);
        return OX_TRAVERSAL_CONTINUE;
    }
    // One frame with a fresh record of the visits.
    std::string shot(oxNode* root)
    {
        g_visits.clear();
        return frame(root);
    }
    static std::vector<std::string> names()
    {
        std::vector<std::string> n;
        for (const Visit& v : g_visits)
            n.push_back(v.name);
        return n;
    }
    static int count(const std::string& trace, const std::string& what)
    {
        int n = 0;
        for (size_t at = trace.find(what); at != std::string::npos; at = trace.find(what, at + 1))
            ++n;
        return n;
    }

    oxSmartPointer<oxProjectiveShadowShader> projective()
    {
        oxSmartPointer<oxProjectiveShadowShader> s = oxProjectiveShadowShader::_instantiateRef();
        s->appendShadowReceiver(log.probe("ground"));
        return s;
    }
    void useOneTextureUnit()
    {
        vc->setCapability(Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS, 1);
        oxSmartPointer<oxVisualContextCapabilityManager> caps = oxVisualContextCapabilityManager::_instantiateRef();
        caps->setVisualContext(vc);
        traversal->setup(traversal->getDefaultManager(), caps);
    }
};

oxVec4f mapped(const oxMatrix44f& m, const oxVec3f& p)
{
    return m.transform(oxVec4f(p, 1));
}

} // namespace

TEST_F(ShadowTest, ProjectiveSetUpSizesTheTargetsAndBlurQuads)
{
    oxSmartPointer<oxProjectiveShadowShader> s = projective();
    EXPECT_EQ(oxProjectiveShadowShader::getBlurBorder(), 7);
    {
        WarningCatcher warnings;
        EXPECT_FALSE(s->setShadowTextureWidth(14));
        EXPECT_TRUE(warnings.contains("blur border"));
        EXPECT_EQ(s->getShadowTextureWidth(), 128);
    }
    shot(s);
    const Kel::Gfx::oxViewport inner = s->getShadowInnerViewport()->getViewport();
    EXPECT_EQ(inner.x, 7);
    EXPECT_EQ(inner.y, 7);
    EXPECT_EQ(inner.width, 114);
    EXPECT_EQ(inner.height, 114);
    EXPECT_EQ(s->getShadowViewport()->getViewport().width, 128);
    auto* quads = static_cast<oxGeometryAttr*>(s->getBlurQuads()->getGeometryAttr(0));
    ASSERT_TRUE(quads);
    EXPECT_EQ(quads->getVertexArray()->getVertexCount(), 48);
    EXPECT_EQ(quads->getPrimitiveCount(), 16);

    // The light straight above the origin sees the origin at the texture's centre; a point
    // along the light's up vector (+x) lands above it.
    ASSERT_TRUE(s->updateMatrices(oxMatrix44f()));
    const oxMatrix44f& m = s->getViewToProjectedLightTextureMatrix()->getMatrix();
    oxVec4f c = mapped(m, oxVec3f(0, 0, 0));
    EXPECT_NEAR(c.x / c.w, 0.5f, 1e-5f);
    EXPECT_NEAR(c.y / c.w, 0.5f, 1e-5f);
    c = mapped(m, oxVec3f(1, 0, 0));
    EXPECT_GT(c.y / c.w, 0.5f);
    EXPECT_NEAR(c.x / c.w, 0.5f, 1e-5f);

    WarningCatcher warnings;
    s->setUpVector(oxVec3f(0, -1, 0));
    EXPECT_FALSE(s->updateMatrices(oxMatrix44f())) << "up along the light";
    EXPECT_TRUE(warnings.contains("no view"));
}

TEST_F(ShadowTest, ProjectiveRendersClearsCastsBlursThenProjectsTheBlurredTexture)
{
    oxSmartPointer<oxProjectiveShadowShader> s = projective();
    const std::string noCasters = shot(s);
    // Without casters the shadow texture is still cleared to white, and blurred.
    EXPECT_EQ(count(noCasters, "clear COLOR color=(1.0000 1.0000 1.0000 1.0000)"), 1) << noCasters;
    EXPECT_EQ(count(noCasters, "setRenderDestination destination"), 2);
    ASSERT_EQ(names(), std::vector<std::string>{"ground"});
    EXPECT_EQ(g_visits[0].unit1, s->getBlurTextureBind()->getTexture()) << "one pass, the shadow on unit 1";
    EXPECT_EQ(g_visits[0].target, nullptr);

    s->appendShadowCaster(log.probe("crate"));
    EXPECT_FALSE(s->appendShadowCaster(nullptr));
    shot(s);
    ASSERT_EQ(names(), (std::vector<std::string>{"crate", "ground"}));
    const Visit& caster = g_visits[0];
    ASSERT_NE(caster.target, nullptr);
    EXPECT_EQ(caster.target->getTexture(), s->getShadowTextureBind()->getTexture()) << "drawn into the shadow texture";
    EXPECT_FALSE(caster.lighting);
    EXPECT_EQ(caster.unit0, nullptr);
    EXPECT_EQ(caster.color, oxVec4f(0.3f, 0.3f, 0.3f, 1));
    EXPECT_EQ(caster.projection, s->getLightProjectionAttr()->getMatrix());

    // Unblurred, the receivers take the shadow texture itself.
    s->setBlurState(false);
    const std::string sharp = shot(s);
    EXPECT_EQ(count(sharp, "setRenderDestination destination"), 1);
    EXPECT_EQ(g_visits.back().unit1, s->getShadowTextureBind()->getTexture());

    // A shadow that is not updated renders nothing and projects what it rendered last.
    s->setUpdateShadowMap(false);
    const std::string kept = shot(s);
    EXPECT_EQ(kept.find("RenderDestination"), std::string::npos) << kept;
    EXPECT_EQ(names(), std::vector<std::string>{"ground"});
    EXPECT_EQ(g_visits.back().unit1, s->getShadowTextureBind()->getTexture());

    // Releasing the targets after the draw unloads both textures.
    s->setUpdateShadowMap(true);
    s->setReleaseRenderDestinationAfterDraw(true);
    EXPECT_EQ(count(shot(s), "unloadTexture"), 2);
}

TEST_F(ShadowTest, ProjectiveFallsBackToABlendedSecondPass)
{
    // Without drawing the receivers themselves only the multiplying pass draws them.
    oxSmartPointer<oxProjectiveShadowShader> s = projective();
    s->setDrawReceiver(false);
    shot(s);
    ASSERT_EQ(names(), std::vector<std::string>{"ground"});
    EXPECT_TRUE(g_visits[0].blend);
    EXPECT_EQ(g_visits[0].unit0, s->getBlurTextureBind()->getTexture());
    EXPECT_EQ(g_visits[0].unit1, nullptr);
    EXPECT_EQ(g_visits[0].blendFunction->getSource(), Kel::Gfx::OX_GFX_BLEND_DST_COLOR);

    // One texture unit: the receivers as they are, then the shadow pass.
    s->setDrawReceiver(true);
    useOneTextureUnit();
    shot(s);
    ASSERT_EQ(names(), (std::vector<std::string>{"ground", "ground"}));
    EXPECT_FALSE(g_visits[0].blend);
    EXPECT_EQ(g_visits[0].unit0, nullptr);
    EXPECT_TRUE(g_visits[1].blend);
    EXPECT_EQ(g_visits[1].unit0, s->getBlurTextureBind()->getTexture());
}

TEST_F(ShadowTest, ProjectiveFollowsItsLightAndComesBackFromAFile)
{
    oxSmartPointer<oxProjectiveShadowShader> s = projective();
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    light->setType(Kel::Gfx::OX_GFX_LIGHT_SPOT);
    light->setPosition(oxVec3f(1, 5, 2));
    light->setDirection(oxVec3f(0, -1, 0));
    light->setCutoff(20);
    s->setLight(light);
    shot(s);
    EXPECT_EQ(s->getLightPosition(), oxVec3f(1, 5, 2));
    EXPECT_EQ(s->getCutoffAngle(), 20.0f);

    s->setLight(nullptr);
    s->appendShadowCaster(oxGroup::_instantiateRef());
    s->setShadowFactor(0.6f);
    s->setBlurState(false);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(s, bytes), kSuccess);
    oxSmartPointer<oxProjectiveShadowShader> back =
        oxProjectiveShadowShader::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "shadow.oxb").get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getShadowFactor(), 0.6f);
    EXPECT_FALSE(back->getBlurState());
    EXPECT_EQ(back->getLightPosition(), oxVec3f(1, 5, 2));
    EXPECT_EQ(back->getShadowCasters()->getCount(), 1);
    EXPECT_EQ(back->getChildCount(), 1);

    // Receivers stored apart, as older files hold them, become children.
    oxSmartPointer<oxNodeList> receivers = oxNodeList::_instantiateRef();
    receivers->append(oxNode::_instantiateRef());
    receivers->append(oxNode::_instantiateRef());
    ASSERT_TRUE(oxProjectiveShadowShader::k_shadowReceivers->setObject(s.get(), receivers.get()));
    bytes.clear();
    ASSERT_EQ(oxOXBWriter::writeMemory(s, bytes), kSuccess);
    back = oxProjectiveShadowShader::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "old.oxb").get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getChildCount(), 3);
    EXPECT_EQ(oxProjectiveShadowShader::k_shadowReceivers->getObject(back.get()), nullptr);
    shot(back);
    EXPECT_EQ(back->getShadowInnerViewport()->getViewport().width, 114) << "set up again after the read";
}

TEST_F(ShadowTest, PlanarShadowMatricesAndPlanes)
{
    oxSmartPointer<oxPlanarShadowShader> s = oxPlanarShadowShader::_instantiateRef();
    // Straight down onto y = 0: (x, y, z) -> (x, 0, z).
    const oxMatrix44f down = oxPlanarShadowShader::computeShadowMatrix(oxVec4f(0, 1, 0, 0), oxVec4f(0, 1, 0, 0));
    const oxVec4f p = mapped(down, oxVec3f(3, 7, -2));
    EXPECT_EQ(oxVec3f(p.x, p.y, p.z) / p.w, oxVec3f(3, 0, -2));
    // From a point light at (0, 4, 0), a point at (1, 2, 0) falls on y = 0 at x = 2.
    const oxVec4f q = mapped(oxPlanarShadowShader::computeShadowMatrix(oxVec4f(0, 1, 0, 0), oxVec4f(0, 4, 0, 1)),
                             oxVec3f(1, 2, 0));
    EXPECT_NEAR(q.x / q.w, 2, 1e-5f);
    EXPECT_NEAR(q.y / q.w, 0, 1e-5f);

    s->setShadowPlane(oxVec3f(0, 2, 0), 3);
    EXPECT_EQ(s->getShadowPlane(), oxVec4f(0, 2, 0, -12));
    s->setShadowPlane(oxVec4f(1, 2, 3, 4));
    EXPECT_EQ(s->getShadowPlane(), oxVec4f(1, 2, 3, 4));

    WarningCatcher warnings;
    EXPECT_FALSE(s->addLight(nullptr));
    EXPECT_TRUE(warnings.contains("null light"));
    EXPECT_EQ(s->getLights()->getCount(), 0);
    EXPECT_EQ(s->getMvmList()->getCount(), 0);

    s->appendGeometry(oxGeometry::_instantiateRef(), oxModelViewMatrixAttr::_instantiateRef(), nullptr);
    EXPECT_EQ(s->getGeometries()->getCount(), 1);
    s->reset();
    EXPECT_EQ(s->getGeometries()->getCount(), 0);
}

TEST_F(ShadowTest, PlanarShadowDrawsOnePassPerLightThatIsOn)
{
    oxSmartPointer<oxPlanarShadowShader> s = oxPlanarShadowShader::_instantiateRef();
    s->appendChild(log.probe("crate"));
    oxSmartPointer<oxLightStateSet> lit = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxAttrSet> lighting = oxAttrSet::_instantiateRef();
    oxSmartPointer<oxLightingStateAttr> on = oxLightingStateAttr::_instantiateRef();
    on->setEnabled(true);
    lighting->appendAttr(on);
    lighting->appendChild(s);
    lit->appendChild(lighting);

    // No light: the overrides come and go, and the children draw once, normally.
    shot(lit);
    ASSERT_EQ(names(), std::vector<std::string>{"crate"});
    EXPECT_FALSE(g_visits[0].blend);
    EXPECT_TRUE(g_visits[0].lighting);
    EXPECT_EQ(g_visits[0].color, oxVec4f(1, 1, 1, 1));

    oxSmartPointer<oxLightAttr> down = oxLightAttr::_instantiateRef();
    down->setDirection(oxVec3f(0, -1, 0));
    oxSmartPointer<oxLightAttr> off = oxLightAttr::_instantiateRef();
    off->setType(Kel::Gfx::OX_GFX_LIGHT_POSITIONAL);
    off->setPosition(oxVec3f(0, 4, 0));
    ASSERT_TRUE(s->addLight(off));
    ASSERT_TRUE(s->addLight(down));
    for (auto [light, on] : {std::pair{down, true}, std::pair{off, false}}) {
        oxSmartPointer<oxLightStateAttr> state = oxLightStateAttr::_instantiateRef();
        state->setLight(light);
        state->setEnabled(on);
        lit->appendLightStateAttr(state);
    }
    s->setShadowColor(oxVec4f(0.1f, 0.2f, 0.3f, 0.5f));
    shot(lit);
    ASSERT_EQ(names(), (std::vector<std::string>{"crate", "crate"})) << "the light that is off casts nothing";
    const Visit& shadow = g_visits[0];
    EXPECT_TRUE(shadow.blend);
    EXPECT_FALSE(shadow.lighting);
    EXPECT_EQ(shadow.unit0, nullptr);
    EXPECT_EQ(shadow.color, oxVec4f(0.1f, 0.2f, 0.3f, 0.5f));
    EXPECT_EQ(shadow.blendFunction->getSource(), Kel::Gfx::OX_GFX_BLEND_ONE) << "opaque";
    EXPECT_EQ(shadow.blendFunction->getDestination(), Kel::Gfx::OX_GFX_BLEND_ZERO);
    // The view is the identity: the pass's projection is the flattening times the device's.
    const oxVec4f p = mapped(shadow.projection, oxVec3f(3, 7, -2));
    EXPECT_EQ(oxVec3f(p.x, p.y, p.z) / p.w, oxVec3f(3, 0, -2));
    EXPECT_FALSE(g_visits[1].blend) << "the normal pass under the set's own state";
    EXPECT_TRUE(g_visits[1].lighting);
    // Both matrices are computed, the one of the light that is off too.
    const oxVec4f q = mapped(s->getMvmList()->get(0)->getMatrix(), oxVec3f(1, 2, 0));
    EXPECT_NEAR(q.x / q.w, 2, 1e-5f);

    s->setShadowUseBlend(true);
    shot(lit);
    EXPECT_EQ(g_visits[0].blendFunction->getSource(), Kel::Gfx::OX_GFX_BLEND_SRC_ALPHA) << "mixed by alpha";
    EXPECT_EQ(g_visits[0].blendFunction->getDestination(), Kel::Gfx::OX_GFX_BLEND_ONE_MINUS_SRC_ALPHA);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(s, bytes), kSuccess);
    oxSmartPointer<oxPlanarShadowShader> back =
        oxPlanarShadowShader::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "planar.oxb").get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getLights()->getCount(), 2);
    EXPECT_EQ(back->getMvmList()->getCount(), 2);
    EXPECT_EQ(back->getShadowColor(), oxVec4f(0.1f, 0.2f, 0.3f, 0.5f));
    EXPECT_TRUE(back->getShadowUseBlend());
    EXPECT_EQ(back->getLight(1)->getDirection(), oxVec3f(0, -1, 0));
}

TEST_F(ShadowTest, PlanarShadowProcessorFlattensTheMatricesItDrives)
{
    oxSmartPointer<oxPlanarShadowProcessor> p = oxPlanarShadowProcessor::_instantiateRef();
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    {
        WarningCatcher warnings;
        EXPECT_FALSE(p->configure(shader, nullptr));
        EXPECT_TRUE(warnings.contains("matrix attribute"));
    }
    oxSmartPointer<oxModelViewMatrixAttr> mv = oxModelViewMatrixAttr::_instantiateRef();
    oxSmartPointer<oxProjectionMatrixAttr> proj = oxProjectionMatrixAttr::_instantiateRef();
    p->setModelViewMatrix(mv);
    p->setProjectionMatrix(proj);

    // Under a light-state set with a positional light, configuring takes that light.
    oxSmartPointer<oxLightStateSet> lit = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightAttr> lamp = oxLightAttr::_instantiateRef();
    lamp->setType(Kel::Gfx::OX_GFX_LIGHT_POSITIONAL);
    lamp->setPosition(oxVec3f(0, 4, 0));
    oxSmartPointer<oxLightStateAttr> state = oxLightStateAttr::_instantiateRef();
    state->setLight(lamp);
    lit->appendLightStateAttr(state);
    lit->appendChild(shader);
    ASSERT_TRUE(p->configure(shader, nullptr));
    EXPECT_EQ(p->getLight(), lamp.get());

    traversal->reset();
    p->update(shader, traversal);
    EXPECT_TRUE(p->getIsPerspective());
    const oxVec4f q = mapped(mv->getMatrix(), oxVec3f(1, 2, 0));
    EXPECT_NEAR(q.x / q.w, 2, 1e-5f);
    EXPECT_NEAR(q.y / q.w, 0, 1e-5f);
    EXPECT_EQ(proj->getMatrix(), mv->getMatrix()) << "identity view and projection";

    // Without a light, a direction straight down.
    p->setLight(nullptr);
    p->setIsPerspective(false);
    p->setLightDirection(oxVec3f(0, -1, 0));
    p->update(shader, traversal);
    const oxVec4f r = mapped(proj->getMatrix(), oxVec3f(3, 7, -2));
    EXPECT_EQ(oxVec3f(r.x, r.y, r.z) / r.w, oxVec3f(3, 0, -2));
}

// The subtree shadows itself: each child is drawn as a caster into the texture, then as a
// receiver under it; turned off, it is a plain group.
TEST_F(ShadowTest, SelfShadowCastsAndReceivesItsOwnChildren)
{
    oxSmartPointer<oxSelfShadowShader> s = oxSelfShadowShader::_instantiateRef();
    s->appendChild(log.probe("arm"));
    s->appendChild(log.probe("body"));
    shot(s);
    ASSERT_EQ(names(), (std::vector<std::string>{"arm", "body", "arm", "body"}));
    EXPECT_NE(g_visits[0].target, nullptr) << "first as casters, into the shadow texture";
    EXPECT_EQ(g_visits[2].target, nullptr);
    EXPECT_EQ(g_visits[2].unit1, s->getBlurTextureBind()->getTexture());
    EXPECT_EQ(s->getShadowCasters()->getCount(), 2);

    // A child taken away stops casting too.
    s->removeChild(1);
    shot(s);
    EXPECT_EQ(names(), (std::vector<std::string>{"arm", "arm"}));

    s->setSelfShadowState(false);
    EXPECT_EQ(shot(s).find("RenderDestination"), std::string::npos);
    EXPECT_EQ(names(), std::vector<std::string>{"arm"});
}
