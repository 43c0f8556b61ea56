// Simple shaders: configuration against the device, the base processor's pass loop, the
// pass mask, data pumps, render packages, interpreted shaders and their factories.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;

namespace {

using Names = std::vector<std::string>;

oxSmartPointer<oxAttrList> attrs(std::initializer_list<oxAttr*> list)
{
    oxSmartPointer<oxAttrList> l = oxAttrList::_instantiateRef();
    for (oxAttr* a : list)
        l->append(a);
    return l;
}

// (t, t, t, 1) in seconds.
class SecondsSource : public oxDataPumpInterface {
    OX_CLASS(SecondsSource, oxDataPumpInterface)
public:
    Kel::Core::oxFieldKind getValueKind() const override { return Kel::Core::oxFieldKind::Vec4f; }
    bool produceValue(int64_t time, void* value) override
    {
        const float s = float(time) * 1e-9f;
        *static_cast<oxVec4f*>(value) = oxVec4f(s, s, s, 1);
        return true;
    }

protected:
    SecondsSource() = default;
};

// Counts the cache resets the base behaviour of the caching mode asks for.
class CountingFactory : public oxShaderFactory {
    OX_CLASS(CountingFactory, oxShaderFactory)
public:
    int resets = 0;
    void resetFileCache() override { ++resets; }

protected:
    CountingFactory() = default;
};

class SimpleShaderTest : public ShaderDrawTest {
protected:
    // Two passes over all children: pass 0 pushes blend0, pass 1 depth1.
    oxSmartPointer<oxSimpleShader> twoPasses()
    {
        oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
        oxSmartPointer<oxBlendStateAttr> blend = log.attr<oxBlendStateAttr>("blend0");
        oxSmartPointer<oxDepthStateAttr> depth = log.attr<oxDepthStateAttr>("depth1");
        shader->getShaderData()->appendPass(attrs({blend}), attrs({blend}), nullptr);
        shader->getShaderData()->appendPass(attrs({depth}), attrs({depth}), nullptr);
        return shader;
    }
};

} // namespace

TEST_F(SimpleShaderTest, SwitchedOffPassStillPushesAndPopsAndAStopEndsThePasses)
{
    oxSmartPointer<oxSimpleShader> shader = twoPasses();
    shader->appendChild(log.probe("a"));
    shader->appendChild(log.probe("b"));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(shader);
    root->appendChild(log.probe("after"));

    frame(root);
    ASSERT_TRUE(shader->isConfigured());
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 2u) << "configuring grows the mask to the passes";
    EXPECT_EQ(log.entries, (Names{"visit a [- blend0 - -]", "visit b [- blend0 - -]", "pop blend0",
                                  "visit a [- - depth1 -]", "visit b [- - depth1 -]", "pop depth1",
                                  "visit after [- - - -]"}));

    shader->setPassState(0, false);
    frame(root);
    EXPECT_EQ(log.entries, (Names{"pop blend0", "visit a [- - depth1 -]", "visit b [- - depth1 -]", "pop depth1",
                                  "visit after [- - - -]"}));

    // A stop in pass 0: its pop list still runs, pass 1 does not, and the walk ends.
    shader->setPassState(0, true);
    oxSmartPointer<oxSimpleShader> stopping = twoPasses();
    stopping->appendChild(log.probe("stopper", OX_TRAVERSAL_STOP));
    stopping->appendChild(log.probe("skipped"));
    root->insertChild(0, stopping);
    frame(root);
    EXPECT_EQ(log.entries, (Names{"visit stopper [- blend0 - -]", "pop blend0"}));
}

TEST_F(SimpleShaderTest, PassesCanDrawTheirOwnNodes)
{
    oxSmartPointer<oxSimpleShader> shader = twoPasses();
    oxSmartPointer<Probe> a = log.probe("a"), b = log.probe("b"), own = log.probe("own");
    shader->appendChild(a);
    shader->appendChild(b);
    oxSmartPointer<oxNodeList> list = oxNodeList::_instantiateRef();
    list->append(own);
    list->append(a);
    ASSERT_TRUE(shader->getShaderData()->setChildList(1, list));
    frame(shader);
    EXPECT_EQ(log.only("visit"), (Names{"a [- blend0 - -]", "b [- blend0 - -]", "own [- - depth1 -]",
                                        "a [- - depth1 -]"}));

    // A stop inside a pass's own list skips the rest of that list.
    own->answer = OX_TRAVERSAL_STOP;
    frame(shader);
    EXPECT_EQ(log.only("visit"), (Names{"a [- blend0 - -]", "b [- blend0 - -]", "own [- - depth1 -]"}));
    EXPECT_EQ(log.only("pop"), (Names{"blend0", "depth1"}));
}

TEST_F(SimpleShaderTest, PassMaskGrowsWithNewPassesOn)
{
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    shader->setPassState(1, true);
    ASSERT_EQ(shader->getPassMask()->getBitCount(), 2u);
    shader->setPassState(5, false);
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 6u);
    for (int p = 2; p <= 4; ++p)
        EXPECT_TRUE(shader->getPassMask()->getBit(unsigned(p))) << p;
    EXPECT_FALSE(shader->getPassState(5));
    EXPECT_TRUE(shader->getPassState(9)) << "beyond the mask a pass counts as on";
    EXPECT_FALSE(shader->getPassState(-1));
    shader->setPassState(-1, true);
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 6u);
}

TEST_F(SimpleShaderTest, UnconfigurableShaderDrawsAsAGroupUntilItHasPasses)
{
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    shader->appendChild(log.probe("a"));
    frame(shader);
    EXPECT_FALSE(shader->isConfigured());
    EXPECT_EQ(log.entries, (Names{"visit a [- - - -]"}));

    oxSmartPointer<oxCullFaceAttr> cull = log.attr<oxCullFaceAttr>("cull");
    shader->getShaderData()->appendPass(attrs({cull}), attrs({cull}), nullptr);
    frame(shader);
    EXPECT_TRUE(shader->isConfigured()) << "tried again on the next draw";
    EXPECT_EQ(log.entries, (Names{"visit a [- - - cull]", "pop cull"}));

    // Configured, the shader is not configured again until reset.
    shader->getShaderData()->removeAll();
    frame(shader);
    EXPECT_TRUE(shader->isConfigured());
    EXPECT_TRUE(log.entries.empty()) << "no passes left to draw";
    shader->reset();
    EXPECT_TRUE(shader->configureRequired());
    frame(shader);
    EXPECT_FALSE(shader->isConfigured());
    EXPECT_EQ(log.entries, (Names{"visit a [- - - -]"}));
}

TEST_F(SimpleShaderTest, RenderPackageKeepsTheShadersWorkTogether)
{
    oxSmartPointer<oxSimpleShader> shader = twoPasses();
    shader->appendChild(log.probe("a"));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(shader);
    root->appendChild(log.probe("after"));
    shader->setRenderPackageState(true);
    frame(root);
    EXPECT_EQ(log.only("visit"), (Names{"a [- blend0 - -] in package", "a [- - depth1 -] in package",
                                        "after [- - - -]"}));
    shader->setTransparent(true);
    frame(root);
    EXPECT_EQ(log.only("visit")[0], "a [- blend0 - -] in transparent package");
    EXPECT_EQ(log.only("visit")[2], "after [- - - -]");
}

TEST_F(SimpleShaderTest, DataPumpsRunEveryFrameOnceConfigured)
{
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxVectorConstantAttr> constant = oxVectorConstantAttr::_instantiateRef();
    shader->getShaderData()->appendPass(attrs({constant}), attrs({constant}), nullptr);
    oxSmartPointer<oxDataPump> pump = oxDataPump::_instantiateRef();
    pump->setSource(SecondsSource::_instantiateRef());
    ASSERT_TRUE(pump->setDestByFieldName(constant, "_vector"));
    oxSmartPointer<oxDataPumpInfo> info = oxDataPumpInfo::_instantiateRef();
    shader->getShaderData()->setDataPumps(info);

    frame(shader, 1000000000);
    EXPECT_EQ(shader->getDataPumpManager(), nullptr) << "an info without pumps starts nothing";
    EXPECT_EQ(constant->getVector().x, 0.0f);

    info->appendPump(pump);
    shader->reset();
    frame(shader, 2000000000);
    ASSERT_NE(shader->getDataPumpManager(), nullptr);
    EXPECT_FLOAT_EQ(constant->getVector().x, 2.0f);
    frame(shader, 3500000000);
    EXPECT_FLOAT_EQ(constant->getVector().y, 3.5f);

    shader->getShaderData()->removeAll();
    EXPECT_EQ(shader->getShaderData()->getDataPumps(), nullptr);
}

TEST_F(SimpleShaderTest, InterpretedShaderIsBuiltByItsFactoryAfterEveryReset)
{
    oxShaderInfo* info = oxShaderInfo::getSystemShaderInfo();
    ASSERT_NE(info, nullptr);
    oxSmartPointer<oxInterpretedShader> shader = oxInterpretedShader::_instantiateRef();
    oxInterpretedShaderData* data = shader->getInterpretedShaderData();
    ASSERT_NE(data, nullptr) << "an interpreted shader's data knows its factory";
    ASSERT_NE(oxInterpretedShaderProcessor::dynamicCast(shader->getShaderProcessor()), nullptr);
    shader->appendChild(log.probe("a"));
    shader->setShaderData(oxShaderData::_instantiateRef());
    EXPECT_EQ(shader->getShaderData(), data) << "plain data, which names no factory, is refused";

    // Without a factory there is nothing to build: a plain group.
    frame(shader);
    EXPECT_FALSE(shader->isConfigured());
    EXPECT_EQ(log.only("visit"), (Names{"a [- - - -]"}));

    // The "empty" factory builds one pass over all children, with no state.
    data->setFactory(info->fetchFactory("empty"));
    oxSmartPointer<oxCullFaceAttr> stale = oxCullFaceAttr::_instantiateRef();
    data->appendPass(attrs({stale}), attrs({stale}), nullptr);
    frame(shader);
    EXPECT_TRUE(shader->isConfigured());
    EXPECT_EQ(data->getPassCount(), 1) << "the factory replaced what was there";
    EXPECT_EQ(data->getPushList(0)->getCount(), 0);
    EXPECT_EQ(data->getPushList(0), data->getPopList(0));
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 1u);
    EXPECT_EQ(log.only("visit"), (Names{"a [- - - -]"}));

    shader->reset();
    EXPECT_FALSE(shader->isConfigured());
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 0u);
    frame(shader);
    EXPECT_TRUE(shader->isConfigured());

    // Neither the passes nor the processor are stored.
    EXPECT_FALSE(oxInterpretedShader::k_processor->isPersistent());
    EXPECT_FALSE(oxInterpretedShaderData::k_attrPushLists->isPersistent());
    EXPECT_TRUE(oxShaderData::k_attrPushLists->isPersistent());
}

TEST_F(SimpleShaderTest, FactoriesAreFoundByNameOrMadeFromTheirFiles)
{
    oxShaderInfo* info = oxShaderInfo::getSystemShaderInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::string(info->getName().c_str()), "shaderInfo");
    oxShaderFactory* empty = info->fetchFactory("empty");
    ASSERT_NE(empty, nullptr);
    const int listed = info->getFactoryList()->getCount();

    // The description-file factory installs itself as the maker: set it aside here.
    const oxShaderInfo::FactoryMaker installed = oxShaderInfo::getFactoryMaker();
    EXPECT_NE(installed, nullptr);
    oxShaderInfo::setFactoryMaker(nullptr);
    EXPECT_EQ(info->fetchFactory("glow"), nullptr) << "no maker, no factory";
    EXPECT_EQ(info->fetchFactory(nullptr), nullptr);

    // The maker sees "<name>.qsd"; the file "Glow.qsd" describes "glow" in lower case.
    static std::vector<std::string> asked;
    asked.clear();
    oxShaderInfo::setFactoryMaker([](const char* fileName, oxMemoryPool* pool) -> oxShaderFactory* {
        asked.push_back(fileName);
        oxShaderFactory* f = oxShaderFactory::_instantiateFromPool(pool);
        std::string name(fileName, std::strlen(fileName) - 4);
        if (name == "Glow")
            name = "glow";
        f->setName(name.c_str());
        return f;
    });
    oxShaderFactory* glow = info->fetchFactory("glow");
    ASSERT_NE(glow, nullptr);
    EXPECT_EQ(info->fetchFactory("glow"), glow) << "listed now: the file is not read again";
    EXPECT_EQ(info->fetchFactory("Glow"), nullptr) << "the file's implementation has another name";
    EXPECT_EQ(info->fetchFactory("empty"), empty);
    EXPECT_EQ(asked, (Names{"glow.qsd", "Glow.qsd"}));
    EXPECT_EQ(info->getFactoryList()->getCount(), listed + 1);
    oxShaderInfo::setFactoryMaker(installed);

    // A saved reference by name finds its factory, or the empty one.
    EXPECT_EQ(info->resolve("glow"), glow);
    EXPECT_EQ(info->resolve("missing"), empty);

    // Only listed factories whose files are not kept with them may be referred to by name.
    oxSmartPointer<oxDirectory> directory = oxDirectory::_instantiateRef();
    EXPECT_TRUE(info->attemptResolve(directory, glow));
    glow->setFileCachingMode(oxShaderFactory::PERSISTENT_CACHE);
    EXPECT_FALSE(info->attemptResolve(directory, glow));
    oxSmartPointer<oxShaderFactory> stranger = oxShaderFactory::_instantiateRef();
    EXPECT_FALSE(info->attemptResolve(directory, stranger));
    info->getFactoryList()->removeObject(glow);
}

TEST_F(SimpleShaderTest, FactoryInterfaceAttributesAndCachingMode)
{
    oxSmartPointer<CountingFactory> f = CountingFactory::_instantiateRef();
    EXPECT_EQ(f->getFileCachingMode(), oxShaderFactory::NO_CACHING);
    EXPECT_EQ(f->getInterfaceParameterString("anything"), nullptr);
    f->setFileCachingMode(oxShaderFactory::NO_CACHING);
    EXPECT_EQ(f->resets, 0) << "the same mode changes nothing";
    f->setFileCachingMode(oxShaderFactory::NON_PERSISTENT_CACHE);
    EXPECT_EQ(f->resets, 0);
    f->setFileCachingMode(oxShaderFactory::NO_CACHING);
    EXPECT_EQ(f->resets, 1);

    f->appendAttr("baseMap", "oxTextureAttr");
    f->appendAttr("tint", "oxVectorConstantAttr");
    f->appendAttr("baseMap", "oxTextureCubeAttr");
    ASSERT_EQ(f->getAttrNames()->getCount(), 2);
    ASSERT_EQ(f->getAttrTypes()->getCount(), 2);
    EXPECT_EQ(std::string(f->getAttrNames()->get(0)->getName().c_str()), "baseMap");
    EXPECT_EQ(std::string(f->getAttrTypes()->get(0)->getName().c_str()), "oxTextureCubeAttr");
    EXPECT_EQ(std::string(f->getAttrTypes()->get(1)->getName().c_str()), "oxVectorConstantAttr");
}

TEST_F(SimpleShaderTest, ShaderDataPassesAndReadRepair)
{
    oxSmartPointer<oxShaderData> data = oxShaderData::_instantiateRef();
    data->appendPass(attrs({}), attrs({}), oxNodeList::_instantiateRef());
    data->setPassCount(3);
    EXPECT_EQ(data->getPassCount(), 3);
    EXPECT_NE(data->getChildList(0), nullptr);
    EXPECT_EQ(data->getChildList(1), nullptr) << "new passes draw all children";
    EXPECT_EQ(data->getChildList(2), nullptr);
    EXPECT_FALSE(data->setPushList(3, attrs({})));
    EXPECT_EQ(data->getPopList(-1), nullptr);

    // Child lists that do not match the passes after a read are dropped.
    oxNodeListList* children = static_cast<oxNodeListList*>(oxShaderData::k_childLists->getObject(data));
    children->setCount(1);
    children->set(0, oxNodeList::_instantiateRef());
    data->postFileRead();
    EXPECT_EQ(children->getCount(), 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(data->getChildList(p), nullptr) << p;
}
