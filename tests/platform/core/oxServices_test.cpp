#include <gtest/gtest.h>

#include <string>

#include "platform/core/OXCore.h"

using namespace Kel::Core;

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
