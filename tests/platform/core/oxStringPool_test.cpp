// The string pool under many texts coming and going, and the per-pass values that let a
// file write number texts without a map of its own.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/core/oxStringRef.h"

using namespace Kel::Core;

TEST(StringPool, StaysOneEntryPerTextThroughGrowthAndRemoval)
{
    size_t before = oxStringRef::getPoolSize();
    std::vector<oxStringRef> held;
    std::vector<std::string> texts;
    for (int i = 0; i < 20000; ++i) {
        texts.push_back("text" + std::to_string(i) + std::string(size_t(i % 23), char('a' + i % 26)));
        held.emplace_back(texts.back());
    }
    // Texts that differ only after a zero byte, or only in length, are different texts.
    held.emplace_back(std::string_view("nul\0a", 5));
    held.emplace_back(std::string_view("nul\0b", 5));
    held.emplace_back(std::string_view("nul", 3));
    EXPECT_EQ(oxStringRef::getPoolSize(), before + 20003);
    EXPECT_NE(held[20000], held[20001]);
    EXPECT_EQ(held[20000].length(), 5u);
    EXPECT_EQ(held[20000], oxStringRef(std::string_view("nul\0a", 5)));

    // Release a random half; every text left is still found as the same entry, and a text
    // released comes back as a new one.
    std::mt19937 random(7);
    std::vector<bool> dropped(20000);
    for (int i = 0; i < 10000; ++i) {
        size_t k = random() % 20000;
        if (!dropped[k]) {
            held[k] = oxStringRef();
            dropped[k] = true;
        }
    }
    size_t left = 0;
    for (size_t k = 0; k < 20000; ++k) {
        oxStringRef again(texts[k]);
        if (!dropped[k]) {
            ++left;
            EXPECT_EQ(again, held[k]) << texts[k];
            EXPECT_EQ(again.get(), held[k].get());
        }
        EXPECT_EQ(again.view(), texts[k]);
    }
    EXPECT_EQ(oxStringRef::getPoolSize(), before + left + 3);
    held.clear();
    EXPECT_EQ(oxStringRef::getPoolSize(), before) << "the pool shrinks back as texts go";
    EXPECT_EQ(oxStringRef(texts[5]).view(), texts[5]);
}

TEST(StringPool, PassValuesBelongToTheLatestPass)
{
    oxStringRef a("pass a"), alsoA("pass a"), b("pass b"), null;
    uint32_t first = oxStringRef::beginPass();
    EXPECT_EQ(a.getPassValue(first), 0u);
    a.setPassValue(first, 7);
    EXPECT_EQ(alsoA.getPassValue(first), 7u) << "the value lives with the text, not the reference";
    EXPECT_EQ(b.getPassValue(first), 0u);
    null.setPassValue(first, 3);
    EXPECT_EQ(null.getPassValue(first), 0u);

    uint32_t second = oxStringRef::beginPass();
    EXPECT_NE(second, first);
    EXPECT_EQ(a.getPassValue(second), 0u) << "a new pass starts from nothing";
    b.setPassValue(second, 9);
    EXPECT_EQ(b.getPassValue(second), 9u);
    EXPECT_EQ(a.getPassValue(first), 7u) << "an older pass keeps what no later pass took over";
    EXPECT_EQ(b.getPassValue(first), 0u);
}

TEST(StringPool, ABatchMakesTheSameReferencesAsOneAtATime)
{
    size_t before = oxStringRef::getPoolSize();
    oxStringRef already("batch 3");
    // Texts repeat within the batch and with the pool; the batch is longer and shorter than
    // the distance at which it looks ahead.
    for (size_t count : {size_t(0), size_t(1), size_t(5), size_t(1000)}) {
        std::vector<std::string> storage;
        for (size_t i = 0; i < count; ++i)
            storage.push_back("batch " + std::to_string(i % 7 == 0 ? 3 : i));
        storage.push_back("");
        std::vector<std::string_view> texts(storage.begin(), storage.end());
        std::vector<oxStringRef> out(texts.size(), oxStringRef("replaced"));
        ASSERT_TRUE(oxStringRef::makeMany(texts.data(), out.data(), texts.size()));
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(out[i], oxStringRef(texts[i])) << i;
            EXPECT_EQ(out[i].view(), texts[i]);
        }
        if (count > 0) {
            EXPECT_EQ(out[0], already);
        }
    }
    already = oxStringRef();
    EXPECT_EQ(oxStringRef::getPoolSize(), before) << "no reference outlives its batch";
}
