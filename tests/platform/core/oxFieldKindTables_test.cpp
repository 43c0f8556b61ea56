// Two hand-kept tables run in the order of oxFieldKind: the scene files' kind codes and the
// kinds' names. A kind inserted anywhere but at the end would shift both without a word, and
// shifted codes would read every stored file wrongly. Each entry is pinned here, the codes
// as docs/FILE-FORMAT.md gives them (the pointer kind has a code but is never stored).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/core/oxFieldTraits.h"
#include "platform/core/oxOXBFile.h"

using namespace Kel::Core;

namespace {

struct KindEntry {
    oxFieldKind kind;
    int code;
    const char* name;
};

const std::vector<KindEntry> kKinds = {
    {oxFieldKind::Int, 0, "int"},
    {oxFieldKind::UnsignedInt, 1, "unsigned int"},
    {oxFieldKind::Short, 2, "short"},
    {oxFieldKind::UnsignedShort, 3, "unsigned short"},
    {oxFieldKind::UnsignedChar, 4, "unsigned char"},
    {oxFieldKind::Long, 5, "long"},
    {oxFieldKind::UnsignedLong, 6, "unsigned long"},
    {oxFieldKind::Bool, 7, "bool"},
    {oxFieldKind::Float, 8, "float"},
    {oxFieldKind::Double, 9, "double"},
    {oxFieldKind::Enum, 10, "enum"},
    {oxFieldKind::String, 11, "string"},
    {oxFieldKind::ObjectRef, 12, "object"},
    {oxFieldKind::RawRef, 13, "raw object"},
    {oxFieldKind::MemoryRef, 14, "memory"},
    {oxFieldKind::CharArray, 15, "char array"},
    {oxFieldKind::UnsignedCharArray, 16, "unsigned char array"},
    {oxFieldKind::FloatArray, 17, "float array"},
    {oxFieldKind::ObjectRefArray, 18, "object array"},
    {oxFieldKind::Vec2f, 19, "vec2f"},
    {oxFieldKind::Vec3f, 20, "vec3f"},
    {oxFieldKind::Vec4f, 21, "vec4f"},
    {oxFieldKind::Matrix44f, 22, "matrix44f"},
    {oxFieldKind::Quaternionf, 23, "quaternionf"},
    {oxFieldKind::Pointer, 24, "pointer"},
};

TEST(FieldKindTables, EveryStoredKindKeepsItsCodeBothWays)
{
    for (const KindEntry& e : kKinds) {
        EXPECT_EQ(int(oxOXBFile::kindCode(e.kind)), e.code) << e.name;
        oxFieldKind back = oxFieldKind::Pointer;
        ASSERT_TRUE(oxOXBFile::kindFromCode(uint8_t(e.code), back)) << e.code;
        EXPECT_EQ(back, e.kind) << "code " << e.code;
    }
    oxFieldKind none;
    EXPECT_FALSE(oxOXBFile::kindFromCode(uint8_t(kKinds.size()), none)) << "a kind this test does not pin";
}

TEST(FieldKindTables, EveryKindIsNamedAsMessagesAndDumpsShowIt)
{
    for (const KindEntry& e : kKinds)
        EXPECT_EQ(std::string(oxFieldKindName(e.kind)), e.name) << "kind " << int(e.kind);
}

} // namespace
