// Compiled graphs against the draw traversal: the same children drawn either way give the
// same device calls, frame after frame, with animated transforms and joints following their
// sources. Device traces are compared after dropping calls that set what is already set, as
// a compiled list restores state the walk would have left alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/animation/oxCharacterTestSupport.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxRecordingVisualContext;
using chartest::kSecond;
using chartest::SpinSource;

namespace {

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

oxSmartPointer<oxGeometry> geometry(int vertices)
{
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
    a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
    g->addGeometryAttr(a);
    return g;
}

oxSmartPointer<oxTransform> transform(const char* name, const oxMatrix44f& m, oxNode* child)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    t->setName(name);
    t->setMatrix(&m);
    t->appendChild(child);
    return t;
}

oxSmartPointer<oxAttrSet> withMaterial(float red, oxNode* child)
{
    oxSmartPointer<oxMaterialAttr> material = oxMaterialAttr::_instantiateRef();
    material->setDiffuse(oxVec4f(red, 0, 0, 1));
    oxSmartPointer<oxAttrSet> set = oxAttrSet::_instantiateRef();
    set->appendAttr(material);
    set->appendChild(child);
    return set;
}

// The device state in force at each draw and at the end of the frame: between two draws only
// the last setting of each kind (call and unit) counts, and only when it changes what the
// device holds. A compiled list restores state that a walk leaves for later, so the calls
// between draws differ while every draw sees the same state.
std::string effective(const std::string& trace)
{
    std::istringstream in(trace);
    std::map<std::string, std::string> pending, held;
    std::string line, out;
    auto flush = [&] {
        for (const auto& [key, value] : pending)
            if (held[key] != value)
                out += (held[key] = value) + "\n";
        pending.clear();
    };
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string call, unit;
        words >> call >> unit;
        if (const size_t at = line.find("vertices="); call == "drawGeometry" && at != std::string::npos) {
            int vertices = 0;
            std::sscanf(line.c_str() + at, "vertices=%d", &vertices);
            flush();
            out += "draw v" + std::to_string(vertices) + "\n";
        } else
            pending[call == "setMaterial" || call == "setTime" || call == "clear" ? call : call + " " + unit] = line;
    }
    flush();
    return out;
}

class CompiledGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxArkRegisterForOXBFiles(); }
    void SetUp() override
    {
        traversal->setVisualContext(vc);
        traversal->setUserTimeState(true);
        traversal->setViewMatrix(translation(0, 0, -10));
    }

    std::string frame(oxNode* root, int64_t time = 0)
    {
        traversal->setTimeAsLong(time);
        traversal->reset();
        traversal->apply(root);
        vc->clearTrace();
        traversal->getOutput()->apply(vc);
        return effective(vc->getTrace());
    }
    // The same children under a plain group and under a compiled graph; both frames.
    static oxSmartPointer<oxGroup> plain(const std::vector<oxNode*>& children)
    {
        oxSmartPointer<oxGroup> g = oxGroup::_instantiateRef();
        for (oxNode* c : children)
            g->appendChild(c);
        return g;
    }
    static oxSmartPointer<oxCompiledGraph> compiled(const std::vector<oxNode*>& children)
    {
        oxSmartPointer<oxCompiledGraph> g = oxCompiledGraph::_instantiateRef();
        for (oxNode* c : children)
            g->appendChild(c);
        return g;
    }
    static int recordNamed(const oxCompiledGraph* g, const char* name)
    {
        for (int k = 0; k < g->getXformInfoList()->getCount(); ++k)
            if (std::string(g->getXformInfoList()->get(k)->getName()) == name)
                return k;
        return -1;
    }

    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
};

TEST_F(CompiledGraphTest, ResultCodesAndTheFallbackForShaders)
{
    oxSmartPointer<oxCompiledGraph> empty = oxCompiledGraph::_instantiateRef();
    EXPECT_EQ(empty->compile(vc), oxCompiledGraph::kNothingToCompile);
    EXPECT_FALSE(empty->compiled());
    empty->appendChild(geometry(3));
    // The failed compile is kept: nothing is drawn until reset.
    EXPECT_EQ(frame(plain({empty})).find("draw"), std::string::npos);
    EXPECT_EQ(empty->getLastCompileResult(), oxCompiledGraph::kNothingToCompile);
    empty->reset();
    EXPECT_NE(frame(plain({empty})).find("draw v3"), std::string::npos);
    EXPECT_EQ(empty->getLastCompileResult(), oxCompiledGraph::kNone);
    EXPECT_TRUE(empty->compiled());

    // A multi-pass shader cannot be flattened: its graph is drawn as a group would be.
    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    shader->appendChild(geometry(4));
    oxSmartPointer<oxGeometry> before = geometry(5);
    const std::string expected = frame(plain({before, shader}));
    oxSmartPointer<oxCompiledGraph> withShader = compiled({before, shader});
    EXPECT_EQ(frame(plain({withShader})), expected);
    EXPECT_EQ(withShader->getLastCompileResult(), oxCompiledGraph::kShaderEncountered);
    EXPECT_FALSE(withShader->compiled());
    EXPECT_EQ(withShader->traverse(traversal), oxCompiledGraph::kShaderEncountered);
}

TEST_F(CompiledGraphTest, DrawsWhatTheWalkDrawsWithTransformsFollowingTheirSources)
{
    oxSmartPointer<oxTransform> fixed = transform("fixed", translation(1, 0, 0), withMaterial(0.5f, geometry(3)));
    oxSmartPointer<oxTransform> spun = transform("spun", oxMatrix44f(), geometry(4));
    spun->setTransformSource(SpinSource::_instantiateRef());
    oxSmartPointer<oxTransform> inner = transform("inner", translation(0, 2, 0), geometry(6));
    fixed->appendChild(inner);
    oxSmartPointer<oxGeometry> last = geometry(5);
    const std::vector<oxNode*> children = {fixed, spun, last};
    oxSmartPointer<oxGroup> walked = plain(children);
    std::vector<std::string> expected;
    for (int64_t t : {int64_t(0), kSecond / 2, kSecond})
        expected.push_back(frame(walked, t));
    walked->removeAllChildren();

    oxSmartPointer<oxCompiledGraph> graph = compiled(children);
    oxSmartPointer<oxGroup> root = plain({graph});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frame(root, int64_t(i) * kSecond / 2), expected[size_t(i)]) << "frame " << i;
    EXPECT_NE(expected[0], expected[1]) << "the spinning transform moves";
    ASSERT_TRUE(graph->compiled());
    EXPECT_TRUE(graph->getBound()) << "a compile gives a graph without a bound its geometry's";

    const int spunIndex = recordNamed(graph, "spun"), fixedIndex = recordNamed(graph, "fixed");
    ASSERT_GT(spunIndex, 0);
    ASSERT_GT(fixedIndex, 0);
    EXPECT_EQ(graph->getXformInfoList()->get(recordNamed(graph, "inner"))->getParentIdx(), fixedIndex);
    oxMatrix44f m;
    EXPECT_FALSE(graph->setTransform(spunIndex, translation(9, 9, 9)));
    EXPECT_FALSE(graph->getTransform(spunIndex, m));
    EXPECT_FALSE(graph->setTransform(graph->getTransformCount(), m));
    ASSERT_TRUE(graph->getTransform(fixedIndex, m));
    EXPECT_EQ(m, translation(1, 0, 0));
    // A static matrix set on the compiled record moves what lies below it, children included.
    ASSERT_TRUE(graph->setTransform(fixedIndex, translation(3, 0, 0)));
    const std::string moved = frame(root, kSecond);
    EXPECT_NE(moved, expected[2]);
    const oxMatrix44f at3 = translation(3, 0, 0);
    fixed->setMatrix(&at3);
    graph->removeAllChildren();
    EXPECT_EQ(moved, frame(plain(children), kSecond));
}

TEST_F(CompiledGraphTest, PriorStateIsRestoredKeptOrIgnored)
{
    // Inside: a red geometry, then one under no material (the class default). Outside: a
    // blue material over the graph.
    auto build = [&](oxCompiledGraph::PriorStateUsage usage, oxSmartPointer<oxCompiledGraph>& graph) {
        graph = compiled({withMaterial(1, geometry(3)), geometry(4)});
        graph->setPriorStateUsage(usage);
        oxSmartPointer<oxAttrSet> outside = withMaterial(0.25f, graph);
        return plain({outside});
    };
    oxSmartPointer<oxCompiledGraph> restored, used, ignored;
    oxSmartPointer<oxGroup> a = build(oxCompiledGraph::kUsedAndRestored, restored);
    const std::string out = frame(a);
    // The default the list put back before v4 is, at draw time, the blue around the graph.
    const size_t v4 = out.find("draw v4");
    ASSERT_NE(v4, std::string::npos);
    const size_t lastMaterial = out.rfind("setMaterial", v4);
    ASSERT_NE(lastMaterial, std::string::npos);
    EXPECT_NE(out.substr(lastMaterial, v4 - lastMaterial).find("0.2500"), std::string::npos) << out;

    oxSmartPointer<oxGroup> b = build(oxCompiledGraph::kUsed, used);
    frame(b);
    oxSmartPointer<oxGroup> c = build(oxCompiledGraph::kNotUsed, ignored);
    frame(c);
    const oxNonRefCountedAttrList* restoredList = restored->getCompiledList();
    const oxNonRefCountedAttrList* usedList = used->getCompiledList();
    const oxNonRefCountedAttrList* ignoredList = ignored->getCompiledList();
    // kUsed drops the trailing clean-up: the list ends at its last geometry.
    EXPECT_TRUE(oxGeometryAttr::dynamicCast(usedList->get(usedList->getCount() - 1)));
    EXPECT_FALSE(oxGeometryAttr::dynamicCast(restoredList->get(restoredList->getCount() - 1)));
    EXPECT_LT(usedList->getCount(), restoredList->getCount());
    // kNotUsed keeps no class default at all: v4 is drawn under whatever came before.
    EXPECT_LT(ignoredList->getCount(), usedList->getCount());
    int materials = 0;
    for (int i = 0; i < ignoredList->getCount(); ++i)
        materials += oxMaterialAttr::dynamicCast(ignoredList->get(i)) ? 1 : 0;
    EXPECT_EQ(materials, 1);
}

TEST_F(CompiledGraphTest, NestedGraphsCompileIntoTheirParentAndSteadyFramesAllocateNothing)
{
    oxSmartPointer<oxCompiledGraph> inner = compiled({transform("in", translation(0, 1, 0), geometry(7))});
    oxSmartPointer<oxTransform> spun = transform("spun", oxMatrix44f(), inner);
    spun->setTransformSource(SpinSource::_instantiateRef());
    oxSmartPointer<oxGroup> walked = plain({geometry(3), spun});
    const std::string t0 = frame(walked, 0), t1 = frame(walked, kSecond);
    // The inner graph alone compiled first: the outer compile resets it and takes its children.
    EXPECT_EQ(inner->compile(vc), oxCompiledGraph::kNone);
    walked->removeAllChildren();
    oxSmartPointer<oxCompiledGraph> outer = compiled({geometry(3), spun});
    oxSmartPointer<oxGroup> root = plain({outer});
    EXPECT_EQ(frame(root, 0), t0);
    EXPECT_FALSE(inner->compiled());
    EXPECT_EQ(frame(root, kSecond), t1);

    if (!sortertest::AllocationCounter::available())
        GTEST_SKIP() << "no allocation counter in this build";
    frame(root, 2 * kSecond);
    sortertest::AllocationCounter::start();
    traversal->setTimeAsLong(3 * kSecond);
    traversal->reset();
    traversal->apply(root);
    traversal->getOutput();
    EXPECT_EQ(sortertest::AllocationCounter::stop(), 0);
}

TEST_F(CompiledGraphTest, SkinnedSubgraphBlendsWithTheJointsOfTheFrame)
{
    // Two joints, the second animated, and a geometry blended by their matrices.
    oxSmartPointer<oxJoint> hip = oxJoint::_instantiateRef();
    oxSmartPointer<oxJoint> knee = oxJoint::_instantiateRef();
    hip->setName("hip");
    knee->setName("knee");
    const oxMatrix44f hipAt = translation(0, 1, 0), kneeAt = translation(0, -1, 0);
    hip->setMatrix(&hipAt);
    knee->setMatrix(&kneeAt);
    knee->setTransformSource(SpinSource::_instantiateRef());
    hip->setInverseTransform(translation(0, -1, 0));
    knee->setInverseTransform(oxMatrix44f());
    hip->setBlendingMatrix(oxMatrixObject::_instantiateRef());
    knee->setBlendingMatrix(oxMatrixObject::_instantiateRef());
    hip->appendChild(knee);
    oxSmartPointer<oxVertexBlendMatrixListAttr> list = oxVertexBlendMatrixListAttr::_instantiateRef();
    list->setMatrixCount(2);
    list->setMatrixPointer(0, hip->getBlendingMatrix());
    list->setMatrixPointer(1, knee->getBlendingMatrix());
    oxSmartPointer<oxAttrSet> skinned = oxAttrSet::_instantiateRef();
    skinned->appendAttr(list);
    skinned->appendChild(geometry(9));

    oxSmartPointer<oxGroup> walked = plain({hip, skinned});
    const std::string t0 = frame(walked, 0), t1 = frame(walked, kSecond);
    ASSERT_NE(t0.find("setBlendMatrices"), std::string::npos) << t0;
    ASSERT_NE(t0, t1);
    walked->removeAllChildren();
    oxSmartPointer<oxCompiledGraph> graph = compiled({hip, skinned});
    oxSmartPointer<oxGroup> root = plain({graph});
    EXPECT_EQ(frame(root, 0), t0);
    EXPECT_EQ(frame(root, kSecond), t1);
    EXPECT_TRUE(graph->getXformInfoList()->get(recordNamed(graph, "hip"))->getIsJointChainStart());
    EXPECT_FALSE(graph->getXformInfoList()->get(recordNamed(graph, "knee"))->getIsJointChainStart());

    // A list whose matrices no compiled joint fills is refused: drawn as a group instead.
    oxSmartPointer<oxCompiledGraph> orphan = compiled({skinned});
    EXPECT_EQ(orphan->compile(vc), oxCompiledGraph::kVertexBlendMatrixListUnknownMatrixObject);
    EXPECT_FALSE(orphan->compiled());
}

TEST_F(CompiledGraphTest, SceneFileKeepsChildrenAndSettingAndCompilesAgain)
{
    oxSmartPointer<oxCompiledGraph> graph =
        compiled({transform("t", translation(1, 2, 3), withMaterial(0.5f, geometry(3))), geometry(4)});
    graph->setPriorStateUsage(oxCompiledGraph::kUsed);
    const std::string drawn = frame(plain({graph}));
    ASSERT_TRUE(graph->compiled());
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(graph, bytes), kSuccess);
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "compiled.oxb");
    oxSmartPointer<oxCompiledGraph> back = oxCompiledGraph::dynamicCast(read.get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getChildCount(), 2);
    EXPECT_EQ(back->getPriorStateUsage(), oxCompiledGraph::kUsed);
    EXPECT_FALSE(back->compiled());
    EXPECT_EQ(frame(plain({back})), drawn);
    EXPECT_TRUE(back->compiled());
}

} // namespace

namespace {

// Every effect node refuses the compile; an environment map compiles and keeps following
// the view from frame to frame.
TEST_F(CompiledGraphTest, EffectShadersRefuseTheCompileAndEnvironmentMapsFollowTheView)
{
    const std::vector<oxSmartPointer<oxGroup>> effects = {
        oxProjectiveShadowShader::_instantiateRef(), oxSelfShadowShader::_instantiateRef(),
        oxCartoonShader::_instantiateRef(), oxBumpMapShader::_instantiateRef(),
        oxPlanarShadowShader::_instantiateRef(), oxMultiTextureShader::_instantiateRef()};
    for (const oxSmartPointer<oxGroup>& effect : effects) {
        effect->appendChild(geometry(3));
        oxSmartPointer<oxCompiledGraph> graph = compiled({effect});
        frame(plain({graph}));
        EXPECT_EQ(graph->getLastCompileResult(), oxCompiledGraph::kShaderEncountered)
            << effect->getMetaObject()->getName();
    }

    oxSmartPointer<oxOglEnvironmentMapShader> chrome = oxOglEnvironmentMapShader::_instantiateRef();
    chrome->setMapping(oxOglEnvironmentMapShader::REFLECTION_MAP);
    chrome->setEnvironmentTexture(oxTextureBindAttr::_instantiateRef());
    chrome->appendChild(geometry(3));
    oxSmartPointer<oxCompiledGraph> graph = compiled({chrome});
    const std::string first = frame(plain({graph}));
    ASSERT_EQ(graph->getLastCompileResult(), oxCompiledGraph::kNone);
    EXPECT_NE(first.find("draw v3"), std::string::npos);
    ASSERT_EQ(graph->getEnvironmentShader2List()->getCount(), 1);
    oxMatrix44f turned;
    turned.makeRotationY(1.0f);
    traversal->setViewMatrix(turned);
    frame(plain({graph}));
    oxMatrix44f expected = traversal->getInverseViewMatrix();
    expected.setTranslation(oxVec3f(0, 0, 0));
    EXPECT_EQ(chrome->getTextureMatrix(), expected) << "refreshed by the compiled graph's frame";
}

} // namespace
