#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/core/OXCore.h"
#include "platform/core/oxWarningCapture.h"

using namespace Kel::Core;

namespace {
using Strings = std::vector<std::string>;

std::string writeTemp(const char* name, const char* text)
{
    std::string path = ::testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "w");
    if (f) {
        std::fputs(text, f);
        std::fclose(f);
    }
    return path;
}
} // namespace

TEST(Registry, ParsesSectionsKeysAndTypedValues)
{
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    oxWarningCapture warnings;
    ASSERT_EQ(reg->loadFromMemory("; comment\n# another\n[Shaders]\nshaderFilePath = shaders/fx \n"
                                  " implementations = bump, cartoon,,planar\n"
                                  "passes = [ a , \"b, c\" ]\n"
                                  "[Lights]\nmaxLightStateCount=0x10\nsimple = Yes\nbad = 12x\nscale = 0.25\n"
                                  "title = \"  spaced  \"\n[shaders]\nextra = 1\nshaderFilePath = again\n",
                                  "test.ini"),
              kSuccess);
    EXPECT_TRUE(warnings.get().empty());

    ASSERT_EQ(reg->getSectionCount(), 2);
    EXPECT_STREQ(reg->getSectionName(0), "Shaders");
    EXPECT_EQ(reg->getSectionName(2), nullptr);
    EXPECT_EQ(reg->findSection("LIGHTS"), 1);
    EXPECT_EQ(reg->findSection("none"), -1);

    std::string s;
    EXPECT_TRUE(reg->getValue("shaders", "SHADERFILEPATH", s));
    EXPECT_EQ(s, "again");
    Strings list;
    EXPECT_TRUE(reg->getValue(0, "implementations", list));
    EXPECT_EQ(list, (Strings{"bump", "cartoon", "planar"}));
    EXPECT_TRUE(reg->getValue(0, "passes", list));
    EXPECT_EQ(list, (Strings{"a", "b, c"}));
    EXPECT_FALSE(reg->getValue(0, "missing", list));
    EXPECT_TRUE(list.empty());

    int n = 0;
    EXPECT_TRUE(reg->getValue("Lights", "maxLightStateCount", n));
    EXPECT_EQ(n, 16);
    reg->setValue(1, "padded", "010");
    EXPECT_TRUE(reg->getValue(1, "padded", n));
    EXPECT_EQ(n, 10);
    reg->setValue(1, "negative", "-0x1F");
    EXPECT_TRUE(reg->getValue(1, "negative", n));
    EXPECT_EQ(n, -31);
    reg->setValue(1, "huge", "4294967296");
    EXPECT_FALSE(reg->getValue(1, "huge", n, 7));
    EXPECT_EQ(n, 7);
    EXPECT_FALSE(reg->getValue("Lights", "bad", n, 5));
    EXPECT_EQ(n, 5);
    EXPECT_STREQ(reg->getRawValue("Lights", "bad"), "12x");
    float f = 0;
    EXPECT_TRUE(reg->getValue(1, "scale", f));
    EXPECT_FLOAT_EQ(f, 0.25f);
    bool b = false;
    EXPECT_TRUE(reg->getValue("Lights", "simple", b));
    EXPECT_TRUE(b);
    EXPECT_FALSE(reg->getValue("Lights", "scale", b, true));
    EXPECT_TRUE(b);
    EXPECT_TRUE(reg->getValue(1, "title", s));
    EXPECT_EQ(s, "  spaced  ");
    EXPECT_STREQ(reg->getRawValue(1, "title"), "\"  spaced  \"");
    reg->setValue(1, "pair", "\"a\", \"b\"");
    EXPECT_TRUE(reg->getValue(1, "pair", s));
    EXPECT_EQ(s, "\"a\", \"b\"");
    EXPECT_TRUE(reg->getValue(1, "pair", list));
    EXPECT_EQ(list, (Strings{"a", "b"}));
    EXPECT_FALSE(reg->getValue("Nowhere", "x", s, "dflt"));
    EXPECT_EQ(s, "dflt");
    EXPECT_FALSE(reg->getValue(9, "x", n, 3));
    EXPECT_EQ(n, 3);

    // Keys in the order they were first set, across the two headers of one section.
    Strings keys;
    for (int i = 0; i < reg->getKeyCount(0); ++i)
        keys.push_back(reg->getKey(0, i));
    EXPECT_EQ(keys, (Strings{"shaderFilePath", "implementations", "passes", "extra"}));
    EXPECT_EQ(reg->getKey(0, 4), nullptr);
    EXPECT_STREQ(reg->getRawValue(0, 3), "1");

    // What toText writes reads back the same.
    oxSmartPointer<oxRegistry> again = oxRegistry::_instantiateRef();
    EXPECT_EQ(again->loadFromMemory(reg->toText()), kSuccess);
    EXPECT_EQ(again->toText(), reg->toText());
    EXPECT_TRUE(again->isAlikeShallow(reg.get()));
}

TEST(Registry, BadTextWarnsWithLineAndChangesNothing)
{
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    reg->setValue("A", "x", "1");
    const std::string before = reg->toText();
    {
        oxWarningCapture warnings;
        EXPECT_EQ(reg->loadFromMemory("[A]\nx = 2\nnot a key\n[B\ny = 3\n[C]\n= 4\n", "bad.ini"), kFailure);
        EXPECT_EQ(warnings.get(), (Strings{"bad.ini:3: expected 'key = value'",
                                           "bad.ini:4: malformed section header, expected '[name]'",
                                           "bad.ini:7: expected 'key = value'"}));
    }
    EXPECT_EQ(reg->toText(), before);
    {
        oxWarningCapture warnings;
        EXPECT_EQ(reg->loadFromMemory("k = v\n[D]\nz = 1\n", nullptr), kFailure);
        EXPECT_EQ(warnings.get(), (Strings{"text:1: key outside any section"}));
        EXPECT_EQ(reg->loadFromMemory(std::string("[E]\na = b\0c\n", 12), "nul"), kFailure);
        EXPECT_EQ(warnings.get().back(), "nul:2: NUL byte in the line");
    }
    EXPECT_EQ(reg->toText(), before);

    // Keys and values that could not be read back are refused.
    EXPECT_FALSE(reg->setValue(0, "a=b", "1"));
    EXPECT_FALSE(reg->setValue(0, "[a", "1"));
    EXPECT_FALSE(reg->setValue(0, "a", "line\nbreak"));
    EXPECT_FALSE(reg->setValue(4, "a", "1"));
    EXPECT_EQ(reg->findSection("x]y", true), -1);
    EXPECT_EQ(reg->toText(), before);
}

TEST(Registry, MergeKeepsOrReplacesAndCopies)
{
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    oxSmartPointer<oxRegistry> other = oxRegistry::_instantiateRef();
    reg->setValue("Lights", "count", "8");
    reg->setValue("Lights", "mode", "fast");
    other->setValue("lights", "COUNT", "4");
    other->setValue("lights", "extra", "yes");
    other->setValue("New", "k", "v");

    reg->merge(*other, false);
    std::string s;
    int n = 0;
    EXPECT_TRUE(reg->getValue("Lights", "count", n));
    EXPECT_EQ(n, 8);
    EXPECT_TRUE(reg->getValue("Lights", "extra", s));
    EXPECT_TRUE(reg->getValue("New", "k", s));

    reg->merge(*other, true);
    EXPECT_TRUE(reg->getValue("Lights", "count", n));
    EXPECT_EQ(n, 4);
    EXPECT_TRUE(reg->getValue("Lights", "mode", s));
    EXPECT_EQ(s, "fast");

    // A copy is independent of its source.
    oxSmartPointer<oxObject> copy = reg->createCopyRef(oxObject::kDeepCopy);
    auto* r2 = oxRegistry::dynamicCast(copy.get());
    ASSERT_NE(r2, nullptr);
    EXPECT_EQ(r2->toText(), reg->toText());
    EXPECT_TRUE(r2->setIntValue(r2->findSection("Lights"), "count", 2));
    EXPECT_TRUE(reg->getValue("Lights", "count", n));
    EXPECT_EQ(n, 4);
    EXPECT_FALSE(r2->isAlikeShallow(reg.get()));

    EXPECT_TRUE(reg->removeKey("lights", "MODE"));
    EXPECT_FALSE(reg->removeKey("lights", "mode"));
    EXPECT_TRUE(reg->removeSection("new"));
    EXPECT_EQ(reg->getSectionCount(), 1);
}

TEST(Registry, FileLoadLabelsWarningsAndMissingFileFails)
{
    std::string path = writeTemp("oxsg_registry_test.ini", "[A]\nx = 1\n[B]\noops\n");
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    {
        oxWarningCapture warnings;
        EXPECT_EQ(reg->load(path.c_str(), ""), kFailure);
        EXPECT_EQ(warnings.get(), (Strings{path + ":4: expected 'key = value'"}));
        EXPECT_EQ(reg->load(path.c_str(), "shown"), kFailure);
        EXPECT_EQ(warnings.get().back(), "shown:4: expected 'key = value'");
    }
    EXPECT_EQ(reg->getSectionCount(), 0);
    writeTemp("oxsg_registry_test.ini", "[A]\nx = 1\n");
    EXPECT_EQ(reg->load(path.c_str()), kSuccess);
    int x = 0;
    EXPECT_TRUE(reg->getValue("a", "x", x));
    EXPECT_EQ(x, 1);
    std::remove(path.c_str());

    oxWarningCapture warnings;
    EXPECT_EQ(reg->load(path.c_str()), kFailure);
    ASSERT_EQ(warnings.get().size(), 1u);
    EXPECT_NE(warnings.get()[0].find("cannot open"), std::string::npos);
    EXPECT_EQ(reg->load(nullptr), kFailure);
}

TEST(Registry, GlobalHasFixedSectionsAndLoadsFiles)
{
    oxRegistry& global = oxRegistry::getGlobal();
    EXPECT_EQ(&global, &oxRegistry::getGlobal());
    ASSERT_GE(global.getSectionCount(), int(oxRegistry::kPredefinedSectionCount));
    for (int i = 0; i < oxRegistry::kPredefinedSectionCount; ++i)
        EXPECT_STREQ(global.getSectionName(i), oxRegistry::getPredefinedSectionName(i));
    EXPECT_STREQ(global.getSectionName(oxRegistry::kSectionShaders), "Shaders");
    EXPECT_EQ(oxRegistry::getPredefinedSectionName(oxRegistry::kPredefinedSectionCount), nullptr);

    // A file's sections, known or new, keep the predefined ones where they are.
    std::string path = writeTemp("oxsg_global_registry.ini",
                                 "[Zeta]\nz = 1\n[Shaders]\nshaderFilePath = /opt/fx\nimplementations = a.qsd, b.qsd\n"
                                 "autoPopulateShaderFactoryList = yes\n");
    ASSERT_EQ(oxRegistry::loadGlobal(path.c_str()), kSuccess);
    std::remove(path.c_str());
    bool populate = false;
    EXPECT_TRUE(global.getValue(7, "autoPopulateShaderFactoryList", populate));
    EXPECT_TRUE(populate);
    Strings list;
    EXPECT_TRUE(global.getValue("Shaders", "implementations", list));
    EXPECT_EQ(list, (Strings{"a.qsd", "b.qsd"}));
    EXPECT_GE(global.findSection("Zeta"), int(oxRegistry::kPredefinedSectionCount));

    // Predefined sections stay through removal and clearing.
    EXPECT_FALSE(global.removeSection("Shaders"));
    EXPECT_TRUE(global.removeSection("Zeta"));
    global.clear();
    EXPECT_EQ(global.getSectionCount(), int(oxRegistry::kPredefinedSectionCount));
    EXPECT_EQ(global.getKeyCount(oxRegistry::kSectionShaders), 0);
    EXPECT_STREQ(global.getSectionName(7), "Shaders");
}

TEST(Registry, GlobalReadsTheFileNamedByTheEnvironment)
{
    std::string path = writeTemp("oxsg_env_registry.ini", "[Shaders]\nshaderFilePath = from-env\n");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process, whose global registry has not been made yet.
    EXPECT_EXIT(
        {
            setenv(oxRegistry::kGlobalFileVariable, path.c_str(), 1);
            std::string s;
            bool found = oxRegistry::getGlobal().getValue(oxRegistry::kSectionShaders, "shaderFilePath", s);
            std::exit(found && s == "from-env" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::remove(path.c_str());
}

TEST(Registry, SceneFilesKeepItsSections)
{
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    ASSERT_EQ(reg->loadFromMemory("[Interface]\nsection = bump\nattrs = [a, b]\n[configuration]\nfileName = bump.cfg\n"), kSuccess);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(reg.get(), bytes), kSuccess);
    oxSmartPointer<oxObject> back = oxOXBReader::readObject(bytes.data(), bytes.size(), "registry.oxb");
    auto* read = oxRegistry::dynamicCast(back.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->toText(), reg->toText());
    EXPECT_EQ(read->findSection("configuration"), 1);
}
