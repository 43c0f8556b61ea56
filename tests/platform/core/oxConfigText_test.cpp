#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/OXCore.h"
#include "platform/core/oxWarningCapture.h"

using namespace Kel::Core;

namespace {
// Texts made of the pieces both syntaxes are built from, in random order: most are wrong in
// some way, many are right. Fixed seed, so a failure repeats.
class TextMaker {
public:
    std::string make()
    {
        static const char* const kPieces[] = {
            "[", "]", "=", " = ", "a", "b.file", "Shaders", " ", "\"", ",", ";", "#", "\n", "\n", "\n",
            "" /* a NUL byte, added below */, "\r", "when ", "end", "else", "else when ", "default ", "(", ")",
            "==", "<", ">=", "!=", " and ", " or ", "not ", "1", "2.5", "-3", "x", "true", "[S]\n", "k = v\n",
            "when x > 1\n", "end\n",
        };
        constexpr size_t kCount = sizeof kPieces / sizeof kPieces[0];
        std::string text;
        size_t n = next() % 40;
        for (size_t i = 0; i < n; ++i) {
            size_t p = next() % kCount;
            if (p == 15)
                text.push_back('\0');
            else
                text += kPieces[p];
        }
        return text;
    }

private:
    uint32_t next()
    {
        _state = _state * 1664525u + 1013904223u;
        return _state >> 8;
    }
    uint32_t _state = 12345;
};
} // namespace

TEST(ConfigText, RegistryLoadsAllOrNothingAndWhatItHoldsReadsBack)
{
    TextMaker maker;
    int loaded = 0, refused = 0;
    oxSmartPointer<oxRegistry> reg = oxRegistry::_instantiateRef();
    for (int i = 0; i < 3000; ++i) {
        std::string text = maker.make();
        const std::string before = reg->toText();
        oxWarningCapture warnings;
        if (reg->loadFromMemory(text, "t") == kSuccess) {
            ++loaded;
            EXPECT_TRUE(warnings.get().empty()) << text;
            oxSmartPointer<oxRegistry> again = oxRegistry::_instantiateRef();
            EXPECT_EQ(again->loadFromMemory(reg->toText(), "again"), kSuccess) << text;
            EXPECT_EQ(again->toText(), reg->toText()) << text;
        } else {
            ++refused;
            EXPECT_FALSE(warnings.get().empty()) << text;
            EXPECT_EQ(reg->toText(), before) << text;
        }
        if (reg->getSectionCount() > 20)
            reg->clear();
    }
    // The texts exercise both outcomes.
    EXPECT_GT(loaded, 100);
    EXPECT_GT(refused, 100);
}

TEST(ConfigText, DriverDatabaseLoadsAllOrNothing)
{
    TextMaker maker;
    int loaded = 0, refused = 0;
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    db->setIntProperty("x", 2);
    for (int i = 0; i < 3000; ++i) {
        std::string text = maker.make();
        const size_t entries = db->getTokenStream().size();
        const int properties = db->getPropertyCount();
        const auto settings = db->evaluate();
        oxWarningCapture warnings;
        if (db->loadFromMemory(text, "t")) {
            ++loaded;
            EXPECT_TRUE(warnings.get().empty()) << text;
            oxSmartPointer<oxDriverDatabase> copy = oxDriverDatabase::_instantiateRef();
            ASSERT_EQ(copy->copyDeep(db.get()), kSuccess);
            EXPECT_EQ(copy->evaluate(), db->evaluate()) << text;
        } else {
            ++refused;
            EXPECT_FALSE(warnings.get().empty()) << text;
            EXPECT_EQ(db->getTokenStream().size(), entries) << text;
            EXPECT_EQ(db->getPropertyCount(), properties) << text;
            EXPECT_EQ(db->evaluate(), settings) << text;
        }
        if (db->getTokenStream().size() > 50) {
            db->removeAll();
            db->setIntProperty("x", 2);
        }
    }
    EXPECT_GT(loaded, 100);
    EXPECT_GT(refused, 100);
}
