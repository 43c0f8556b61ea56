// Shader description files written into a folder of their own, read by factories, built
// into interpreted shaders and drawn through the recording device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/platform/core/oxWarningCapture.h"

namespace initest {

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxRecordingVisualContext;

// A processor with one field of each kind the description forms reach.
class oxTestShaderProcessor : public oxShaderProcessor {
    OX_CLASS(oxTestShaderProcessor, oxShaderProcessor)
    OX_FIELDS(tint, note, level, weights)
public:
    oxSmartPointer<oxColorAttr> _tint;
    oxStringRef _note;
    float _level = 0;
    oxSmartPointer<oxFloatList> _weights;

protected:
    oxTestShaderProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxTestShaderProcessor>& f)
    {
        f.add(OX_FIELD(tint));
        f.add(OX_FIELD(note));
        f.add(OX_FIELD(level));
        f.add(OX_FIELD(weights));
    }
};

// Seconds since time zero, as a float.
class oxTestRamp : public oxDataPumpInterface {
    OX_CLASS(oxTestRamp, oxDataPumpInterface)
public:
    oxFieldKind getValueKind() const override { return oxFieldKind::Float; }
    bool produceValue(int64_t time, void* value) override
    {
        const float seconds = float(time) / 1e9f;
        std::memcpy(value, &seconds, sizeof seconds);
        return true;
    }

protected:
    oxTestRamp() = default;
};

class oxTestRampFunction : public oxShaderFunction {
    OX_CLASS(oxTestRampFunction, oxShaderFunction)
public:
    oxSmartPointer<oxObject> evaluate() override { return oxTestRamp::_instantiateRef(); }

protected:
    oxTestRampFunction() = default;
};

bool anyMentions(const std::vector<std::string>& warnings, const std::string& a, const std::string& b = "")
{
    for (const std::string& w : warnings)
        if (w.find(a) != std::string::npos && w.find(b) != std::string::npos)
            return true;
    return false;
}

int countOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Two passes: the first pushes and pops one list, the second pushes blending and red and
// draws the shader's own children by name.
const char* const kTwoPasses = R"(
[Interface]
section = twoPasses
[twoPasses]
attrs = tint, ghost
tint.type = oxColorAttr
flavour = "sweet and sour"
[configuration]
implementation = impl
useRenderPackage = true
[impl]
passes = p0, p1
[p0]
attrs = [green]
[p1]
pushAttrs = [blendOn, red]
popAttrs = [blendOn, red]
childNodes.userValue = shader_childList
[red]
type = oxColorAttr
fields = _color
_color.value = "1 0 0 1"
[green]
type = oxColorAttr
fields = color
color.value = "0 1 0 1"
[blendOn]
type = oxBlendStateAttr
fields = enabled
enabled.value = true
)";

class IniShaderFactoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Kel::libOXAttrs_arkRegister();
        Kel::libOXSg_arkRegister();
        oxTestShaderProcessor::arkRegister();
        oxTestRamp::arkRegister();
        oxTestRampFunction::arkRegister();
    }

    void SetUp() override
    {
        char pattern[] = "/tmp/oxIniShaderXXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        folder = pattern;
        oxRegistry::getGlobal().setValue(oxRegistry::kSectionShaders, "shaderFilePath", folder);
        oxIniShaderManager::resolveShaderFolder();
        traversal->setVisualContext(vc);
    }

    void TearDown() override
    {
        oxRegistry::getGlobal().removeKey(oxRegistry::kSectionShaders, "shaderFilePath");
        oxRegistry::getGlobal().removeKey(oxRegistry::kSectionShaders, "implementations");
        oxIniShaderManager::resolveShaderFolder();
        std::filesystem::remove_all(folder);
    }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(folder + "/" + name, std::ios::binary) << text;
    }

    static oxSmartPointer<oxIniShaderFactory> factoryOf(const char* file)
    {
        oxSmartPointer<oxIniShaderFactory> f = oxIniShaderFactory::_instantiateRef();
        EXPECT_TRUE(f->setImplementationName(file)) << file;
        return f;
    }

    static oxSmartPointer<oxInterpretedShader> shaderOf(oxShaderFactory* factory, int children = 1)
    {
        oxSmartPointer<oxInterpretedShader> s = oxInterpretedShader::_instantiateRef();
        s->getInterpretedShaderData()->setFactory(factory);
        for (int i = 0; i < children; ++i)
            s->appendChild(geometry(3 + i));
        return s;
    }

    static oxSmartPointer<oxGeometry> geometry(int vertices)
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
        a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
        g->addGeometryAttr(a);
        return g;
    }

    std::string frame(oxNode* root)
    {
        traversal->reset();
        traversal->apply(root);
        vc->clearTrace();
        traversal->getOutput()->apply(vc);
        return vc->getTrace();
    }

    std::string folder;
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
    oxSmartPointer<oxGenericCapabilityManager> device = oxGenericCapabilityManager::_instantiateRef();
};

TEST_F(IniShaderFactoryTest, InterfaceComesFromTheFileItselfOrTheFileItNames)
{
    write("two.qsd", kTwoPasses);
    oxWarningCapture warnings;
    oxSmartPointer<oxIniShaderFactory> own = factoryOf("two.qsd");
    EXPECT_EQ(own->getName(), "twoPasses");
    EXPECT_EQ(own->getInterface(), own->getImplementation());
    ASSERT_EQ(own->getAttrNames()->getCount(), 1) << "the attribute without a type is skipped";
    EXPECT_EQ(own->getAttrNames()->get(0)->getName(), "tint");
    EXPECT_EQ(own->getAttrTypes()->get(0)->getName(), "oxColorAttr");
    EXPECT_TRUE(anyMentions(warnings.get(), "attr \"ghost\" has no type.  Ignoring."));
    oxSmartPointer<oxStringObj> flavour = own->getInterfaceParameterString("flavour");
    ASSERT_TRUE(flavour);
    EXPECT_STREQ(flavour->get(), "sweet and sour");
    EXPECT_FALSE(own->getInterfaceParameterString("bitterness"));

    write("faces.ini", "[first]\nattrs = a\na.type = oxColorAttr\n[second]\nattrs = b, c\nb.type = oxAttr\n"
                       "c.type = oxTextureAttr\n");
    write("split.qsd", "[Interface]\nfileName = faces.ini\nsection = second\n[configuration]\nimplementation = x\n");
    oxSmartPointer<oxIniShaderFactory> split = factoryOf("split.qsd");
    EXPECT_EQ(split->getName(), "second");
    EXPECT_NE(split->getInterface(), split->getImplementation());
    EXPECT_STREQ(split->getInterfaceFileName(), "faces.ini");
    EXPECT_EQ(split->getAttrNames()->getCount(), 2);

    // What fails names the file and what is missing in it.
    struct Case {
        const char* file;
        const char* text;
        const char* mentions;
    } cases[] = {
        {"nointerface.qsd", "[configuration]\nimplementation = x\n", "Interface"},
        {"nosection.qsd", "[Interface]\nfileName = faces.ini\n", "section"},
        {"nofile.qsd", "[Interface]\nfileName = gone.ini\nsection = s\n", "gone.ini"},
        {"wrongsection.qsd", "[Interface]\nfileName = faces.ini\nsection = third\n", "third"},
        {"noattrs.qsd", "[Interface]\nsection = me\n[me]\nother = 1\n", "attrs"},
        {"broken.qsd", "[Interface]\nsection = me\nthis line is no key\n", "broken.qsd"},
    };
    for (const Case& c : cases) {
        write(c.file, c.text);
        warnings.messages().clear();
        oxSmartPointer<oxIniShaderFactory> f = oxIniShaderFactory::_instantiateRef();
        EXPECT_FALSE(f->setImplementationName(c.file)) << c.file;
        EXPECT_TRUE(anyMentions(warnings.get(), c.file, c.mentions)) << c.file;
    }
    warnings.messages().clear();
    oxSmartPointer<oxIniShaderFactory> absent = oxIniShaderFactory::_instantiateRef();
    EXPECT_FALSE(absent->setImplementationName("absent.qsd"));
    EXPECT_TRUE(anyMentions(warnings.get(), "absent.qsd", "not found"));
}

TEST_F(IniShaderFactoryTest, FactoriesAreFoundByNameAndTheLaterFileWins)
{
    oxShaderInfo* info = oxShaderInfo::getSystemShaderInfo();
    ASSERT_TRUE(info);
    write("fetchMe.qsd", "[Interface]\nsection = fetchMe\n[fetchMe]\nattrs = x\nx.type = oxColorAttr\n");
    write("Wrongcase.qsd", "[Interface]\nsection = wrongcase\n[wrongcase]\nattrs = x\nx.type = oxColorAttr\n");
    oxShaderFactory* fetched = info->fetchFactory("fetchMe");
    ASSERT_TRUE(oxIniShaderFactory::dynamicCast(fetched));
    EXPECT_STREQ(oxIniShaderFactory::dynamicCast(fetched)->getImplementationName(), "fetchMe.qsd");
    // Listed now: found again without the file.
    std::filesystem::remove(folder + "/fetchMe.qsd");
    EXPECT_EQ(info->fetchFactory("fetchMe"), fetched);
    {
        oxWarningCapture quiet;
        EXPECT_FALSE(info->fetchFactory("Wrongcase"));
        EXPECT_FALSE(info->fetchFactory("nothingOfThatName"));
    }

    const char* shared = "[Interface]\nsection = dupFace\n[dupFace]\nattrs = x\nx.type = oxColorAttr\n";
    write("one.qsd", shared);
    write("two.qsd", shared);
    write("ignored.qsd", "[Interface]\nsection = ignoredFace\n[ignoredFace]\nattrs = x\nx.type = oxColorAttr\n");
    auto listed = [&](const char* name) {
        int n = 0;
        for (int i = 0; i < info->getFactoryList()->getCount(); ++i)
            n += info->getFactoryList()->get(i)->getName() == name;
        return n;
    };
    auto implementationOf = [&](const char* name) -> std::string {
        for (int i = 0; i < info->getFactoryList()->getCount(); ++i)
            if (info->getFactoryList()->get(i)->getName() == name)
                return oxIniShaderFactory::dynamicCast(info->getFactoryList()->get(i))->getImplementationName();
        return "";
    };
    oxRegistry::getGlobal().setValue(oxRegistry::kSectionShaders, "implementations", "one.qsd, two.qsd");
    oxIniShaderManager::fullyPopulateFactoryList();
    EXPECT_EQ(listed("dupFace"), 1);
    EXPECT_EQ(implementationOf("dupFace"), "two.qsd");
    EXPECT_EQ(listed("ignoredFace"), 0) << "only the registry's list is read";
    oxRegistry::getGlobal().setValue(oxRegistry::kSectionShaders, "implementations", "two.qsd, one.qsd");
    oxIniShaderManager::fullyPopulateFactoryList();
    EXPECT_EQ(listed("dupFace"), 1);
    EXPECT_EQ(implementationOf("dupFace"), "one.qsd");
    // Without the list, every description file of the folder.
    oxRegistry::getGlobal().removeKey(oxRegistry::kSectionShaders, "implementations");
    oxIniShaderManager::fullyPopulateFactoryList();
    EXPECT_EQ(listed("ignoredFace"), 1);
    EXPECT_EQ(listed("dupFace"), 1);
}

TEST_F(IniShaderFactoryTest, ShaderFolderIsTheRegistrysOrAFolderNamedShaders)
{
    ASSERT_TRUE(oxIniShaderManager::getShaderFolder());
    EXPECT_EQ(std::string(oxIniShaderManager::getShaderFolder()->getFolderName()), folder);
    write("here.qsd", "x");
    EXPECT_EQ(oxIniShaderManager::getShaderFilePath("here.qsd"), folder + "/here.qsd");
    EXPECT_EQ(oxIniShaderManager::getShaderFilePath("there.qsd"), "");
    EXPECT_EQ(oxIniShaderManager::getShaderFilePath(nullptr), "");

    std::filesystem::create_directory(folder + "/ShaDers");
    EXPECT_EQ(oxIniShaderManager::findShaderPath(folder.c_str()), folder + "/ShaDers");
    EXPECT_EQ(oxIniShaderManager::findShaderPath(nullptr), "");
    EXPECT_EQ(oxIniShaderManager::findShaderPath((folder + "/ShaDers").c_str()), "");
}

TEST_F(IniShaderFactoryTest, PassesAreBuiltAndDrawn)
{
    write("two.qsd", kTwoPasses);
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("two.qsd");
    oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory, 2);
    ASSERT_TRUE(shader->configure(device));
    oxShaderData* data = shader->getShaderData();
    ASSERT_EQ(data->getPassCount(), 2);
    EXPECT_TRUE(shader->getRenderPackageState());
    // An "attrs" pass pops what it pushed.
    EXPECT_EQ(data->getPushList(0), data->getPopList(0));
    ASSERT_EQ(data->getPushList(0)->getCount(), 1);
    auto* green = oxColorAttr::dynamicCast(data->getPushList(0)->get(0));
    ASSERT_TRUE(green);
    EXPECT_EQ(green->getColor(), oxVec4f(0, 1, 0, 1));
    EXPECT_FALSE(data->getChildList(0)) << "no childNodes: all children";
    ASSERT_EQ(data->getPushList(1)->getCount(), 2);
    auto* blend = oxBlendStateAttr::dynamicCast(data->getPushList(1)->get(0));
    ASSERT_TRUE(blend);
    EXPECT_TRUE(blend->getEnabled());
    EXPECT_EQ(data->getChildList(1), shader->getChildList()) << "shader_childList is the shader's own";
    EXPECT_EQ(shader->getInterpretedShaderData()->getObjectMappings()->find("shader_childList"),
              shader->getChildList());
    EXPECT_TRUE(shader->getPassState(0) && shader->getPassState(1));

    // Drawn: every child in each pass, under green and then red.
    oxSmartPointer<oxInterpretedShader> drawn = shaderOf(factory, 2);
    const std::string trace = frame(drawn);
    EXPECT_TRUE(drawn->isConfigured());
    EXPECT_EQ(countOf(trace, "drawGeometry"), 4) << trace;
    const size_t greenAt = trace.find("setColor (0.0000 1.0000 0.0000 1.0000)");
    const size_t redAt = trace.find("setColor (1.0000 0.0000 0.0000 1.0000)");
    ASSERT_NE(greenAt, std::string::npos) << trace;
    ASSERT_NE(redAt, std::string::npos) << trace;
    EXPECT_LT(greenAt, redAt) << trace;
    EXPECT_EQ(countOf(trace.substr(greenAt, redAt - greenAt), "drawGeometry"), 2) << trace;
    EXPECT_EQ(countOf(trace.substr(redAt), "drawGeometry"), 2) << trace;
}

TEST_F(IniShaderFactoryTest, FaultyDescriptionsFailAndTheShaderIsDrawnAsAGroup)
{
    const std::string head = "[Interface]\nsection = faulty\n[faulty]\nattrs = t\nt.type = oxColorAttr\n"
                             "[configuration]\nimplementation = impl\n[impl]\npasses = p0\n"
                             "[red]\ntype = oxColorAttr\nfields = _color\n_color.value = \"1 0 0 1\"\n"
                             "";
    write("note.txt", "hello");
    struct Case {
        const char* name;
        const char* text;
        const char* mentions;
    } cases[] = {
        {"pushOnly", "[p0]\npushAttrs = red\n", "popAttrs"},
        {"noAttrs", "[p0]\nchildNodes.userValue = shader_childList\n", "attrs"},
        {"twoForms", "[p0]\nattrs = bad\n[bad]\ntype = oxColorAttr\nfields = _color\n_color.value = \"1 1 1 1\"\n"
                     "_color.file = note.txt\n",
         "_color"},
        {"noForm", "[p0]\nattrs = bad\n[bad]\ntype = oxColorAttr\nfields = _color\n", "_color"},
        {"unknownClass", "[p0]\nattrs = bad\n[bad]\ntype = oxNoSuchClass\n", "oxNoSuchClass"},
        {"unknownField", "[p0]\nattrs = bad\n[bad]\ntype = oxColorAttr\nfields = _hue\n_hue.value = 1\n", "_hue"},
        {"wrongType", "[p0]\nattrs = bad\n[bad]\ntype = oxGroup\n", "bad"},
        {"badValue", "[p0]\nattrs = bad\n[bad]\ntype = oxColorAttr\nfields = _color\n_color.value = purple\n",
         "purple"},
        {"fileForObject", "[p0]\nattrs.file = note.txt\n", "attrs"},
        {"missingPass", "[p1]\nattrs = red\n", "p0"},
        {"missingUser", "[p0]\nattrs.userValue = nobody\n", "nobody"},
        {"notAProcessor", "[p0]\nattrs = red\n[impl]\nprocessor = red\n", "processor"},
    };
    for (const Case& c : cases) {
        const std::string file = std::string(c.name) + ".qsd";
        write(file, head + c.text);
        oxSmartPointer<oxIniShaderFactory> factory = factoryOf(file.c_str());
        oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory, 2);
        oxWarningCapture warnings;
        const std::string trace = frame(shader);
        EXPECT_FALSE(shader->isConfigured()) << c.name;
        EXPECT_EQ(countOf(trace, "drawGeometry"), 2) << c.name << ": drawn once, as a group\n" << trace;
        EXPECT_EQ(countOf(trace, "setColor"), 0) << c.name << trace;
        EXPECT_TRUE(anyMentions(warnings.get(), file, c.mentions)) << c.name;
        // The fallback: one pass of no state over all children.
        ASSERT_EQ(shader->getShaderData()->getPassCount(), 1) << c.name;
        EXPECT_EQ(shader->getShaderData()->getPushList(0)->getCount(), 0) << c.name;
        EXPECT_FALSE(shader->getShaderData()->getChildList(0)) << c.name;
    }
}

TEST_F(IniShaderFactoryTest, ObjectsThatDoNotVaryAreSharedBetweenShaders)
{
    write("shared.qsd", R"(
[Interface]
section = sharing
[sharing]
attrs = t
t.type = oxColorAttr
[configuration]
implementation = impl
[impl]
passes = p0
[p0]
attrs = [red, blue, blend]
[red]
type = oxColorAttr
fields = _color
_color.value = "1 0 0 1"
[blue]
type = oxColorAttr
const = false
fields = _color
_color.value = "0 0 1 1"
[blend]
type = oxBlendStateAttr
)");
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("shared.qsd");
    oxSmartPointer<oxInterpretedShader> a = shaderOf(factory), b = shaderOf(factory);
    ASSERT_TRUE(a->configure(device));
    ASSERT_TRUE(b->configure(device));
    oxAttrList* first = a->getShaderData()->getPushList(0);
    oxAttrList* second = b->getShaderData()->getPushList(0);
    ASSERT_EQ(first->getCount(), 3);
    ASSERT_EQ(second->getCount(), 3);
    EXPECT_NE(first, second) << "the list is the pass's own";
    EXPECT_EQ(first->get(0), second->get(0)) << "red is shared";
    EXPECT_NE(first->get(1), second->get(1)) << "blue says it is not constant";
    EXPECT_EQ(first->get(2), second->get(2));
    EXPECT_EQ(factory->getCachedObjects("red")->find("red"), first->get(0));

    // A cached object that no longer matches what the file makes is not handed out.
    oxColorAttr::dynamicCast(first->get(0))->setColor(oxVec4f(0.5f, 0.5f, 0.5f, 1));
    oxSmartPointer<oxInterpretedShader> c = shaderOf(factory);
    ASSERT_TRUE(c->configure(device));
    EXPECT_NE(c->getShaderData()->getPushList(0)->get(0), first->get(0));
    EXPECT_EQ(oxColorAttr::dynamicCast(c->getShaderData()->getPushList(0)->get(0))->getColor(), oxVec4f(1, 0, 0, 1));
}

TEST_F(IniShaderFactoryTest, CachingDecidesWhetherEditedFilesAreSeen)
{
    auto description = [](const char* colour) {
        return std::string("[Interface]\nsection = edited\n[edited]\nattrs = t\nt.type = oxColorAttr\n"
                           "[configuration]\nimplementation = impl\n[impl]\npasses = p0\n[p0]\nattrs = c\n"
                           "[c]\ntype = oxColorAttr\nconst = false\nfields = _color\n_color.value = \"") +
               colour + "\"\n";
    };
    auto colourOf = [](oxInterpretedShader* s) {
        return oxColorAttr::dynamicCast(s->getShaderData()->getPushList(0)->get(0))->getColor();
    };
    write("edited.qsd", description("1 0 0 1"));
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("edited.qsd");
    ASSERT_EQ(factory->getFileCachingMode(), oxShaderFactory::NO_CACHING);
    oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory);
    ASSERT_TRUE(shader->configure(device));
    EXPECT_EQ(colourOf(shader), oxVec4f(1, 0, 0, 1));
    write("edited.qsd", description("0 1 0 1"));
    shader->reset();
    ASSERT_TRUE(shader->configure(device));
    EXPECT_EQ(colourOf(shader), oxVec4f(0, 1, 0, 1)) << "without a cache the edit is read";

    factory->setFileCachingMode(oxShaderFactory::NON_PERSISTENT_CACHE);
    shader->reset();
    ASSERT_TRUE(shader->configure(device));
    EXPECT_EQ(factory->getFileCache()->getCount(), 1);
    write("edited.qsd", description("0 0 1 1"));
    shader->reset();
    ASSERT_TRUE(shader->configure(device));
    EXPECT_EQ(colourOf(shader), oxVec4f(0, 1, 0, 1)) << "the cached text stands";
    EXPECT_EQ(factory->getFileCache()->getCount(), 1);
    auto* cached = oxRegistry::dynamicCast(factory->getFileCache()->find("edited.qsd"));
    ASSERT_TRUE(cached);
    EXPECT_NE(cached, factory->getImplementation()) << "configuration works on a copy";

    // Saving a factory whose cache is not persistent drops the cache.
    factory->preWrite();
    EXPECT_EQ(factory->getFileCache()->getCount(), 0);
    shader->reset();
    ASSERT_TRUE(shader->configure(device));
    EXPECT_EQ(colourOf(shader), oxVec4f(0, 0, 1, 1));

    factory->setFileCachingMode(oxShaderFactory::PERSISTENT_CACHE);
    factory->preWrite();
    EXPECT_EQ(factory->getFileCache()->getCount(), 1) << "a persistent cache is kept";
    factory->setFileCachingMode(oxShaderFactory::NO_CACHING);
    EXPECT_EQ(factory->getFileCache()->getCount(), 0);
}

TEST_F(IniShaderFactoryTest, PreloadingCachesEveryFileTheDescriptionNames)
{
    write("note.txt", "from a file");
    write("other.txt", "chosen by a rule");
    write("rules.drv", "when textureUnits > 100\n    tune.file = other.txt\nend\n");
    write("preload.qsd", R"(
[Interface]
section = preload
[preload]
attrs = t
t.type = oxColorAttr
[configuration]
fileName = rules.drv
implementation = impl
[impl]
passes = p0
processor = proc
[p0]
attrs = []
[proc]
type = oxTestShaderProcessor
fields = note
note.file = note.txt
)");
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("preload.qsd");
    factory->setFileCachingMode(oxShaderFactory::NON_PERSISTENT_CACHE);
    factory->preloadFileCache();
    for (const char* name : {"preload.qsd", "rules.drv", "note.txt", "other.txt"})
        EXPECT_TRUE(factory->getFileCache()->find(name)) << name;
}

TEST_F(IniShaderFactoryTest, ProcessorFieldsPointAtWhatThePassesPush)
{
    write("note.txt", "text of a file");
    write("proc.qsd", R"(
[Interface]
section = withProcessor
[withProcessor]
attrs = t
t.type = oxColorAttr
[configuration]
implementation = impl
[impl]
passes = p0, p1
processor = proc
[p0]
attrs = [blend, red, alpha]
[p1]
pushAttrs = red
popAttrs = red
[proc]
type = oxTestShaderProcessor
fields = _tint, _note, _level, weights
_tint.value = red
_note.file = note.txt
_level.function = ramp
weights.value = 0.5, 1.5, 2
[alpha]
type = oxAlphaFunctionAttr
fields = _function, _reference
_function.value = OX_GFX_COMPARE_GREATER
_reference.value = 0.75
[ramp]
type = oxTestRampFunction
[red]
type = oxColorAttr
const = false
fields = _color
_color.value = "1 0 0 1"
[blend]
type = oxBlendStateAttr
)");
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("proc.qsd");
    oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory);
    ASSERT_TRUE(shader->configure(device));
    auto* processor = oxTestShaderProcessor::dynamicCast(shader->getShaderProcessor());
    ASSERT_TRUE(processor);
    EXPECT_STREQ(processor->_note.c_str(), "text of a file");
    ASSERT_TRUE(processor->_weights);
    ASSERT_EQ(processor->_weights->getCount(), 3);
    EXPECT_FLOAT_EQ(processor->_weights->get(1), 1.5f);
    EXPECT_FLOAT_EQ(processor->_weights->get(2), 2.0f);
    ASSERT_TRUE(processor->_tint);
    // "red" is made anew for every value that names it; the processor ends up with the
    // one the last pass pushes.
    oxShaderData* data = shader->getShaderData();
    EXPECT_NE(data->getPushList(0)->get(1), data->getPushList(1)->get(0));
    EXPECT_EQ(processor->_tint.get(), data->getPopList(1)->get(0));
    // Enumerations are read by item name.
    auto* alpha = oxAlphaFunctionAttr::dynamicCast(data->getPushList(0)->get(2));
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->getFunction(), Kel::Gfx::OX_GFX_COMPARE_GREATER);
    EXPECT_FLOAT_EQ(alpha->getReference(), 0.75f);

    // The function's product drives the field every frame.
    ASSERT_TRUE(data->getDataPumps());
    ASSERT_EQ(data->getDataPumps()->getPumpCount(), 1);
    ASSERT_TRUE(shader->getDataPumpManager());
    traversal->setUserTimeState(true);
    traversal->setTimeAsLong(3000000000);
    frame(shader);
    EXPECT_FLOAT_EQ(processor->_level, 3.0f);

    // A processor shared between shaders would tie their passes: it is never cached.
    oxSmartPointer<oxInterpretedShader> other = shaderOf(factory);
    ASSERT_TRUE(other->configure(device));
    EXPECT_NE(other->getShaderProcessor(), shader->getShaderProcessor());
}

TEST_F(IniShaderFactoryTest, UserValuesComeFromTheObjectMappings)
{
    write("user.qsd", R"(
[Interface]
section = user
[user]
attrs = level
level.type = oxFloatObject
[configuration]
implementation = impl
[impl]
passes = p0
processor = proc
[p0]
attrs.userValue = myAttrs
[proc]
type = oxTestShaderProcessor
fields = _level, _tint
_level.userValue = level
_tint.userValue = tint
)");
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("user.qsd");
    oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory);
    oxObjectStringMap* mappings = shader->getInterpretedShaderData()->getObjectMappings();
    oxSmartPointer<oxFloatObject> level = oxFloatObject::_instantiateRef();
    level->setValue(0.25f);
    oxSmartPointer<oxColorAttr> tint = oxColorAttr::_instantiateRef();
    oxSmartPointer<oxAttrList> myAttrs = oxAttrList::_instantiateRef();
    myAttrs->append(tint);
    mappings->insert("level", level);
    mappings->insert("tint", tint);
    mappings->insert("myAttrs", myAttrs);
    ASSERT_TRUE(shader->configure(device));
    auto* processor = oxTestShaderProcessor::dynamicCast(shader->getShaderProcessor());
    ASSERT_TRUE(processor);
    EXPECT_FLOAT_EQ(processor->_level, 0.25f);
    EXPECT_EQ(processor->_tint.get(), tint.get());
    EXPECT_EQ(shader->getShaderData()->getPushList(0), myAttrs.get());
    EXPECT_FALSE(shader->getShaderData()->getDataPumps()) << "no pump without a \"_dataPump\" mapping";

    // With a pump named after the value, the field follows it every frame.
    mappings->insert("level_dataPump", oxTestRamp::_instantiateRef());
    shader->reset();
    ASSERT_TRUE(shader->configure(device));
    processor = oxTestShaderProcessor::dynamicCast(shader->getShaderProcessor());
    ASSERT_TRUE(shader->getShaderData()->getDataPumps());
    EXPECT_EQ(shader->getShaderData()->getDataPumps()->getPumpCount(), 1);
    traversal->setUserTimeState(true);
    traversal->setTimeAsLong(1500000000);
    frame(shader);
    EXPECT_FLOAT_EQ(processor->_level, 1.5f);

    // A user value of the wrong kind fails the processor, which leaves the base processor.
    mappings->insert("level", oxIntObject::_instantiateRef());
    shader->reset();
    oxWarningCapture warnings;
    EXPECT_TRUE(shader->configure(device));
    EXPECT_FALSE(oxTestShaderProcessor::dynamicCast(shader->getShaderProcessor()));
    EXPECT_EQ(shader->getShaderProcessor()->getMetaObject(), oxShaderProcessor::getClassTypeSafe());
    EXPECT_TRUE(anyMentions(warnings.get(), "user.qsd", "_level"));
    // So does a user value that is missing; a missing user list fails the pass.
    mappings->remove("level");
    shader->reset();
    EXPECT_TRUE(shader->configure(device));
    EXPECT_TRUE(anyMentions(warnings.get(), "user.qsd", "\"level\""));
    mappings->remove("myAttrs");
    shader->reset();
    EXPECT_FALSE(shader->configure(device));
    EXPECT_TRUE(anyMentions(warnings.get(), "user.qsd", "myAttrs"));
}

TEST_F(IniShaderFactoryTest, ConfigurationFileChoosesByDeviceAndUserParameter)
{
    write("choose.drv", "implementation = plain\n"
                        "when textureUnits >= 4 and quality > 1\n"
                        "    implementation = fancy\n"
                        "end\n");
    write("choose.qsd", R"(
[Interface]
section = choose
[choose]
attrs = quality
quality.type = oxIntObject
[configuration]
fileName = choose.drv
implementation = plain
[plain]
passes = p0
[fancy]
passes = p0, p0
[p0]
attrs = []
)");
    oxSmartPointer<oxIniShaderFactory> factory = factoryOf("choose.qsd");
    auto passesFor = [&](int textureUnits, int quality) {
        device->setCapability(Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS, textureUnits);
        oxSmartPointer<oxInterpretedShader> shader = shaderOf(factory);
        oxSmartPointer<oxIntObject> q = oxIntObject::_instantiateRef();
        q->setValue(quality);
        shader->getInterpretedShaderData()->getObjectMappings()->insert("quality", q);
        EXPECT_TRUE(shader->configure(device));
        return shader->getShaderData()->getPassCount();
    };
    EXPECT_EQ(passesFor(4, 2), 2);
    EXPECT_EQ(passesFor(2, 2), 1);
    EXPECT_EQ(passesFor(8, 1), 1);
    EXPECT_EQ(passesFor(8, 3), 2);
    // The rules rewrote only the configuration's copy of the file.
    std::string chosen;
    factory->loadImplementationFile(true);
    factory->getImplementation()->getValue("configuration", "implementation", chosen);
    EXPECT_EQ(chosen, "plain");

    // A configuration file that does not load leaves the implementation's own settings.
    write("choose.drv", "when (\n");
    oxWarningCapture warnings;
    EXPECT_EQ(passesFor(8, 3), 1);
    EXPECT_TRUE(anyMentions(warnings.get(), "choose.drv"));
}

TEST_F(IniShaderFactoryTest, DescriptionsFromMemory)
{
    write("note.txt", "named by the text");
    const std::string good = std::string(kTwoPasses) + "[impl]\nprocessor = notes\n"
                                                       "[notes]\ntype = oxTestShaderProcessor\n"
                                                       "fields = note\nnote.file = note.txt\n";
    EXPECT_TRUE(oxIniShaderFactory::configureFromText(good));
    EXPECT_TRUE(oxIniShaderFactory::configureFromText(good, device));

    oxWarningCapture warnings;
    const char* bad[] = {
        "",
        "\x01\x02[[[",
        "[Interface]\nsection = s\n[s]\nattrs = a\n",
        "[Interface]\nsection = s\n[s]\nattrs = a\n[configuration]\nimplementation = i\n[i]\npasses = p\n[p]\n"
        "attrs = [x]\n[x]\ntype = oxColorAttr\nfields = _color\n_color.value = x\n",
        // Sections that name each other without end.
        "[Interface]\nsection = s\n[s]\nattrs = a\n[configuration]\nimplementation = i\n[i]\npasses = p\n"
        "[q]\ntype = oxTestShaderProcessor\nfields = tint\ntint.value = q\n[p]\nattrs = [q]\n",
        "[Interface]\nsection = s\n[s]\nattrs = a\n[configuration]\nimplementation = i\n[i]\npasses = p\n[p]\n"
        "attrs = [x]\n[x]\ntype = oxMaterialAttr\nfields = _ambient\n_ambient.value = y\n[y]\ntype = oxColorAttr\n",
    };
    for (const char* text : bad) {
        warnings.messages().clear();
        EXPECT_FALSE(oxIniShaderFactory::configureFromText(text)) << text;
        EXPECT_FALSE(warnings.get().empty()) << text;
    }
}

} // namespace initest
