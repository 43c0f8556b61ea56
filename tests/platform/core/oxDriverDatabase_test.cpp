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
using Settings = std::vector<std::pair<std::string, std::string>>;

const char* const kRules = R"(; rules for the test
default quality = 2
useBump = false
passes = plain
when textureUnits >= 4 and not slowCard
    useBump = true
    passes = bump0, bump1
    when quality > 1 and scale <= 0.5
        detail.file = detail.txt
    end
else when renderer == "OXRECORDINGVISUALCONTEXT" or (maxLights < 2 and quality != 0)
    passes = recorded
else
    passes = minimal
end
when unknownProperty == 1 or unknownProperty != 1
    never = true
end
)";

std::string valueOf(const Settings& s, const char* key)
{
    for (auto& [k, v] : s)
        if (k == key)
            return v;
    return "(none)";
}

void walkFiles(const std::vector<oxDriverEntry>& entries, Strings& out)
{
    for (const oxDriverEntry& e : entries) {
        if (e.kind == oxDriverEntry::kSetting && e.key.size() > 5 && e.key.compare(e.key.size() - 5, 5, ".file") == 0)
            out.push_back(e.value);
        walkFiles(e.children, out);
    }
}
} // namespace

TEST(DriverDatabase, PropertiesCheckTheirKinds)
{
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    EXPECT_TRUE(db->setProperty("textureUnits", oxDriverDatabase::kInt, "8"));
    EXPECT_TRUE(db->setFloatProperty("scale", 0.5f));
    EXPECT_TRUE(db->setProperty("slowCard", 13, "Yes"));
    EXPECT_TRUE(db->setStringProperty("renderer", "generic"));
    {
        oxWarningCapture warnings;
        EXPECT_FALSE(db->setProperty("textureUnits", 11, "eight"));
        EXPECT_FALSE(db->setProperty("scale", 12, "fast"));
        EXPECT_FALSE(db->setProperty("flag", 13, "maybe"));
        EXPECT_FALSE(db->setProperty("odd", 99, "1"));
        EXPECT_FALSE(db->setProperty("", 10, "x"));
        EXPECT_EQ(warnings.get().size(), 5u);
    }
    ASSERT_EQ(db->getPropertyCount(), 4);
    int i = db->findProperty("TEXTUREUNITS");
    ASSERT_EQ(i, 0);
    EXPECT_EQ(db->getPropertyKind(i), 11);
    EXPECT_STREQ(db->getPropertyValue(i), "8");
    i = db->findProperty("scale");
    EXPECT_EQ(db->getPropertyKind(i), 12);
    EXPECT_STREQ(db->getPropertyValue(i), "0.500000");
    i = db->findProperty("slowCard");
    EXPECT_STREQ(db->getPropertyValue(i), "true");
    EXPECT_EQ(db->getPropertyKind(9), -1);
    EXPECT_EQ(db->getPropertyName(9), nullptr);
    EXPECT_TRUE(db->removeProperty("renderer"));
    EXPECT_FALSE(db->removeProperty("renderer"));
    EXPECT_EQ(db->findProperty("renderer"), -1);
}

TEST(DriverDatabase, RulesPickSettingsForTheProperties)
{
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    ASSERT_TRUE(db->loadFromMemory(kRules, "rules.cfg"));
    // The default came in as an int property.
    int q = db->findProperty("quality");
    ASSERT_GE(q, 0);
    EXPECT_EQ(db->getPropertyKind(q), oxDriverDatabase::kInt);

    // Nothing known of the device: the last branch, and comparisons with unset properties fail.
    Settings s = db->evaluate();
    EXPECT_EQ(valueOf(s, "useBump"), "false");
    EXPECT_EQ(valueOf(s, "passes"), "minimal");
    EXPECT_EQ(valueOf(s, "never"), "(none)");

    db->setIntProperty("textureUnits", 4);
    db->setBoolProperty("slowCard", false);
    db->setFloatProperty("scale", 0.5f);
    s = db->evaluate();
    EXPECT_EQ(valueOf(s, "useBump"), "true");
    EXPECT_EQ(valueOf(s, "passes"), "bump0, bump1");
    EXPECT_EQ(valueOf(s, "detail.file"), "detail.txt");
    // One entry per key, with its last value.
    EXPECT_EQ(s.size(), 3u);

    db->setFloatProperty("scale", 0.75f);
    EXPECT_EQ(valueOf(db->evaluate(), "detail.file"), "(none)");
    db->setIntProperty("quality", 1);
    db->setFloatProperty("scale", 0.5f);
    EXPECT_EQ(valueOf(db->evaluate(), "detail.file"), "(none)");

    // Texts compare without regard to case; numbers as numbers.
    db->setBoolProperty("slowCard", true);
    db->setStringProperty("renderer", "oxRecordingVisualContext");
    EXPECT_EQ(valueOf(db->evaluate(), "passes"), "recorded");
    db->setStringProperty("renderer", "gl");
    db->setIntProperty("maxLights", 1);
    EXPECT_EQ(valueOf(db->evaluate(), "passes"), "recorded");
    db->setIntProperty("quality", 0);
    EXPECT_EQ(valueOf(db->evaluate(), "passes"), "minimal");
    db->setIntProperty("maxLights", 10);
    db->setIntProperty("quality", 3);
    EXPECT_EQ(valueOf(db->evaluate(), "passes"), "minimal");

    // Every setting is reachable in the token stream, in every branch.
    Strings files;
    walkFiles(db->getTokenStream(), files);
    EXPECT_EQ(files, (Strings{"detail.txt"}));
    ASSERT_EQ(db->getTokenStream().size(), 4u);
    const oxDriverEntry& choice = db->getTokenStream()[2];
    EXPECT_EQ(choice.kind, oxDriverEntry::kChoice);
    ASSERT_EQ(choice.children.size(), 3u);
    EXPECT_EQ(choice.children[0].key, "textureUnits >= 4 and not slowCard");
    EXPECT_EQ(choice.children[2].condition, nullptr);
    EXPECT_EQ(choice.children[1].line, 11);
}

TEST(DriverDatabase, AppliesSettingsToARegistrySection)
{
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    ASSERT_EQ(reg->loadFromMemory("[Interface]\nsection = x\n[configuration]\nimplementation = base\npasses = old\n"), kSuccess);
    int section = reg->findSection("configuration");

    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    ASSERT_TRUE(db->loadFromMemory("implementation = generic\n"
                                   "when textureUnits > 2\n implementation = fancy\n useRenderPackage = true\nend\n",
                                   "driver"));
    db->setIntProperty("textureUnits", 2);

    EXPECT_TRUE(db->applySettings(reg.get(), section, false));
    std::string s;
    reg->getValue(section, "implementation", s);
    EXPECT_EQ(s, "base");

    db->setIntProperty("textureUnits", 3);
    EXPECT_TRUE(db->applySettings(reg.get(), section, false));
    reg->getValue(section, "implementation", s);
    EXPECT_EQ(s, "base");
    bool b = false;
    EXPECT_TRUE(reg->getValue(section, "useRenderPackage", b));
    EXPECT_TRUE(b);

    EXPECT_TRUE(db->applySettings(reg.get(), section, true));
    reg->getValue(section, "implementation", s);
    EXPECT_EQ(s, "fancy");
    // Other sections and keys stay.
    EXPECT_TRUE(reg->getValue(section, "passes", s));
    EXPECT_EQ(s, "old");
    EXPECT_EQ(reg->getKeyCount(0), 1);

    oxWarningCapture warnings;
    EXPECT_FALSE(db->applySettings(reg.get(), 5, true));
    EXPECT_FALSE(db->applySettings(nullptr, 0, true));
    EXPECT_EQ(warnings.get().size(), 2u);
}

TEST(DriverDatabase, BadTextWarnsWithLineAndChangesNothing)
{
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    ASSERT_TRUE(db->loadFromMemory("a = 1\n", "first"));
    struct Case {
        const char* text;
        const char* warning;
    } cases[] = {
        {"when x >= \nend\n", "bad:1: the condition ends where a property or a value was expected"},
        {"when x = 1\nend\n", "bad:1: unknown operator '=' (comparisons are ==, !=, <, <=, >, >=)"},
        {"b = 2\nwhen (x < 1\nend\n", "bad:2: missing ')' in the condition"},
        {"when x < 1 y\nend\n", "bad:1: unexpected 'y' in the condition"},
        {"when name == \"open\nend\n", "bad:1: unterminated string in the condition"},
        {"when and\nend\n", "bad:1: expected a property or a value before 'and'"},
        {"when x ~ 2\nend\n", "bad:1: unexpected '~' in the condition"},
        {"b = 2\n\nend\n", "bad:3: 'end' without 'when'"},
        {"else\n", "bad:1: 'else' without 'when'"},
        {"when x\nelse\nelse\nend\n", "bad:3: 'else' after the block's 'else'"},
        {"c = 1\nwhen x\n d = 2\n", "bad:2: 'when' without 'end'"},
        {"just words\n", "bad:1: expected 'key = value', 'when', 'else', 'end' or 'default'"},
        {"when x\ndefault q = 1\nend\n", "bad:2: 'default' inside a 'when' block"},
        {"default 9q = 1\n", "bad:1: expected 'default NAME = VALUE' with a property name of letters, digits, '_' and '.'"},
        {"when x\nend now\nend\n", "bad:2: 'end' takes nothing after it"},
        {"when 1.2.3 > 1\nend\n", "bad:1: '1.2.3' is not a number"},
    };
    for (const Case& c : cases) {
        oxWarningCapture warnings;
        EXPECT_FALSE(db->loadFromMemory(c.text, "bad")) << c.text;
        ASSERT_FALSE(warnings.get().empty()) << c.text;
        EXPECT_EQ(warnings.get()[0], c.warning) << c.text;
    }
    {
        oxWarningCapture warnings;
        EXPECT_FALSE(db->loadFromMemory(std::string("q = 1\nr = \0\n", 11), "nul"));
        EXPECT_EQ(warnings.get(), (Strings{"nul:2: NUL byte in the line"}));
        // Every bad line is reported, not only the first.
        EXPECT_FALSE(db->loadFromMemory("when (\nend\nx\n", "two"));
        EXPECT_EQ(warnings.get().size(), 3u);
    }
    // Deep nesting is refused, not recursed into.
    std::string deep = "when " + std::string(200, '(') + "x" + std::string(200, ')') + "\nend\n";
    {
        oxWarningCapture warnings;
        EXPECT_FALSE(db->loadFromMemory(deep, "deep"));
        EXPECT_EQ(warnings.get(), (Strings{"deep:1: the condition nests too deeply"}));
    }
    std::string longChain = "when x";
    for (int i = 0; i < 5000; ++i)
        longChain += " and x";
    {
        oxWarningCapture warnings;
        EXPECT_FALSE(db->loadFromMemory(longChain + "\nend\n", "long"));
        EXPECT_EQ(warnings.get(), (Strings{"long:1: the condition has too many terms"}));
    }
    EXPECT_EQ(db->getTokenStream().size(), 1u);
    EXPECT_EQ(db->getPropertyCount(), 0);
    EXPECT_EQ(db->evaluate(), (Settings{{"a", "1"}}));
}

TEST(DriverDatabase, CopyDeepThenLoadAppendsRulesAndKeepsSetProperties)
{
    oxSmartPointer<oxDriverDatabase> base = oxDriverDatabase::_instantiateRef();
    ASSERT_TRUE(base->loadFromMemory("mode = base\nlevel = 1\n", "base"));
    base->setIntProperty("maxLights", 8);

    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    ASSERT_EQ(db->copyDeep(base.get()), kSuccess);
    ASSERT_TRUE(db->loadFromMemory("default maxLights = 2\nwhen maxLights >= 8\n mode = file\nend\n", "file"));
    EXPECT_EQ(db->evaluate(), (Settings{{"mode", "file"}, {"level", "1"}}));
    // A default gives way to a property already set.
    EXPECT_STREQ(db->getPropertyValue(db->findProperty("maxLights")), "8");
    // The source is untouched.
    EXPECT_EQ(base->getTokenStream().size(), 2u);
    EXPECT_EQ(base->evaluate(), (Settings{{"mode", "base"}, {"level", "1"}}));

    db->removeAll();
    EXPECT_TRUE(db->evaluate().empty());
    EXPECT_EQ(db->getPropertyCount(), 0);
}

TEST(DriverDatabase, GlobalLoadsTheFileNamedByTheEnvironment)
{
    std::string path = ::testing::TempDir() + "oxsg_driver_env.cfg";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("default vendor = \"acme\"\nwhen vendor == \"ACME\"\n fast = yes\nend\n", f);
    std::fclose(f);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv(oxDriverDatabase::kGlobalFileVariable, path.c_str(), 1);
            oxDriverDatabase& global = oxDriverDatabase::getGlobal();
            auto settings = global.evaluate();
            bool ok = &global == &oxDriverDatabase::getGlobal() && settings.size() == 1 && settings[0].first == "fast" &&
                      global.getPropertyKind(global.findProperty("vendor")) == oxDriverDatabase::kString;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::remove(path.c_str());
}

TEST(DriverDatabase, SceneFilesKeepRulesAndProperties)
{
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    ASSERT_TRUE(db->loadFromMemory(kRules, "rules.cfg"));
    ASSERT_TRUE(db->loadFromMemory("extra = 1\n", "second"));
    db->setIntProperty("textureUnits", 4);
    db->setBoolProperty("slowCard", false);
    db->setFloatProperty("scale", 0.25f);
    db->setIntProperty("quality", 5);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(db.get(), bytes), kSuccess);
    oxSmartPointer<oxObject> back = oxOXBReader::readObject(bytes.data(), bytes.size(), "db.oxb");
    auto* read = oxDriverDatabase::dynamicCast(back.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->evaluate(), db->evaluate());
    EXPECT_EQ(valueOf(read->evaluate(), "detail.file"), "detail.txt");
    ASSERT_EQ(read->getPropertyCount(), db->getPropertyCount());
    for (int i = 0; i < db->getPropertyCount(); ++i) {
        int j = read->findProperty(db->getPropertyName(i));
        ASSERT_GE(j, 0);
        EXPECT_EQ(read->getPropertyKind(j), db->getPropertyKind(i));
        EXPECT_STREQ(read->getPropertyValue(j), db->getPropertyValue(i));
    }
    EXPECT_EQ(read->getTokenStream().size(), db->getTokenStream().size());
}
