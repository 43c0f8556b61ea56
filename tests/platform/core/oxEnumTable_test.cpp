#include <gtest/gtest.h>

#include "platform/core/oxEnumTable.h"

using namespace Kel::Core;

namespace {

enum Colour { kRed = 0, kGreen = 1, kBlue = 2 };

constexpr auto kInOrder = oxMakeEnumTable<Colour, const char*>({
    {kRed, "red"},
    {kGreen, "green"},
    {kBlue, "blue"},
});
constexpr auto kShuffled = oxMakeEnumTable<Colour, const char*>({
    {kBlue, "blue"},
    {kRed, "red"},
    {kGreen, "green"},
});

TEST(EnumTable, RowsFindTheirKeysWhateverTheirOrder)
{
    static_assert(kInOrder.size() == 3);
    for (int key : {kRed, kGreen, kBlue})
        EXPECT_STREQ(kShuffled.get(key, "?"), kInOrder.get(key, "?")) << key;
    EXPECT_STREQ(kShuffled.get(kGreen, "?"), "green");
}

TEST(EnumTable, KeysOutsideTheTableGiveTheFallback)
{
    EXPECT_STREQ(kShuffled.get(-1, "?"), "?");
    EXPECT_STREQ(kShuffled.get(3, "?"), "?");
    EXPECT_STREQ(kShuffled.get(1LL << 40, "?"), "?");
}

} // namespace
