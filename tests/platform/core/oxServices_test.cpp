#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/OXCore.h"

using namespace Kel::Core;

namespace {
std::vector<std::string> g_warnings;
void collect(const char* message)
{
    g_warnings.push_back(message);
}
} // namespace

TEST(Registry, ParsesSectionsKeysAndTypedValues)
{
    oxRegistry reg;
    g_warnings.clear();
    oxWarningHandler old = oxSetWarningHandler(&collect);
    oxResult r = reg.loadFromText("; comment\n[Shaders]\nshaderFilePath = shaders/fx \n implementations = bump, cartoon,,planar\n"
                                  "[Lights]\nmaxLightStateCount=0x10\nsimple = Yes\nbad = 12x\nnot a key\n[]\n",
                                  "test.ini");
    oxSetWarningHandler(old);
    EXPECT_EQ(r, kFailure);
    ASSERT_EQ(g_warnings.size(), 2u);
    EXPECT_EQ(g_warnings[0], "test.ini:9: expected 'key = value'");
    EXPECT_EQ(g_warnings[1], "test.ini:10: malformed section header");

    std::string s;
    EXPECT_TRUE(reg.getValue("shaders", "SHADERFILEPATH", s));
    EXPECT_EQ(s, "shaders/fx");
    std::vector<std::string> list;
    EXPECT_TRUE(reg.getValue("Shaders", "implementations", list));
    EXPECT_EQ(list, (std::vector<std::string>{"bump", "cartoon", "planar"}));
    int n = 0;
    EXPECT_TRUE(reg.getValue("Lights", "maxLightStateCount", n));
    EXPECT_EQ(n, 16);
    EXPECT_FALSE(reg.getValue("Lights", "bad", n, 5));
    EXPECT_EQ(n, 5);
    bool b = false;
    EXPECT_TRUE(reg.getValue("Lights", "simple", b));
    EXPECT_TRUE(b);
    EXPECT_FALSE(reg.getValue("Lights", "missing", b, false));
    EXPECT_FALSE(reg.getValue("Nowhere", "x", s, "dflt"));
    EXPECT_EQ(s, "dflt");

    oxRegistry other;
    other.setValue("Lights", "maxLightStateCount", "4");
    other.setValue("New", "k", "v");
    reg.merge(other);
    EXPECT_TRUE(reg.getValue("Lights", "maxLightStateCount", n));
    EXPECT_EQ(n, 4);
    EXPECT_TRUE(reg.getValue("New", "k", s));

    // What toText writes, load reads back.
    oxRegistry again;
    EXPECT_EQ(again.loadFromText(reg.toText()), kSuccess);
    EXPECT_EQ(again.toText(), reg.toText());
}

TEST(Registry, FileLoadAndMissingFile)
{
    std::string path = ::testing::TempDir() + "oxsg_registry_test.ini";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("[A]\nx = 1\n", f);
    std::fclose(f);
    oxRegistry reg;
    EXPECT_EQ(reg.load(path.c_str()), kSuccess);
    int x = 0;
    EXPECT_TRUE(reg.getValue("a", "x", x));
    EXPECT_EQ(x, 1);
    std::remove(path.c_str());

    g_warnings.clear();
    oxWarningHandler old = oxSetWarningHandler(&collect);
    EXPECT_EQ(reg.load(path.c_str()), kFailure);
    oxSetWarningHandler(old);
    ASSERT_EQ(g_warnings.size(), 1u);
    EXPECT_NE(g_warnings[0].find("cannot open"), std::string::npos);
}

TEST(Services, ClockAndOutputCanBeReplaced)
{
    oxTimer::Clock old = oxTimer::setClock([] { return int64_t(1500000000); });
    EXPECT_EQ(oxTimer::getGlobalTimeAsLong(), 1500000000);
    EXPECT_DOUBLE_EQ(oxTimer::getGlobalTimeAsSeconds(), 1.5);
    oxTimer::setClock(old);
    int64_t a = oxTimer::getGlobalTimeAsLong(), b = oxTimer::getGlobalTimeAsLong();
    EXPECT_LE(a, b);

    static std::string captured;
    captured.clear();
    auto prev = oxOutput::setStandardOutHandler([](const char* t) { captured += t; });
    oxOutput::toStandardOut("one ");
    oxOutput::toStandardOut(nullptr);
    oxOutput::toStandardOut("two");
    oxOutput::setStandardOutHandler(prev);
    EXPECT_EQ(captured, "one two");
}

TEST(MetaEnum, FromDeclarationKeepsDuplicatesAndImplicitValues)
{
    oxMetaEnum* cache = nullptr;
    oxMetaEnum* e = oxMetaEnum::fromDeclaration(cache, "E", "A = 1, B = 1, C, D = 0x10, E = -2, F");
    EXPECT_EQ(oxMetaEnum::fromDeclaration(cache, "E", "ignored"), e);
    ASSERT_EQ(e->getItemCount(), 6);
    int v = 0;
    EXPECT_TRUE(e->getEnumValue("C", v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(e->getEnumValue("D", v));
    EXPECT_EQ(v, 16);
    EXPECT_TRUE(e->getEnumValue("F", v));
    EXPECT_EQ(v, -1);
    EXPECT_STREQ(e->getEnumName(1), "A");
    EXPECT_EQ(e->getEnumName(3), nullptr);
    EXPECT_FALSE(e->getEnumValue("G", v));
}
