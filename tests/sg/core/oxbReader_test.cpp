// Scene files the writer would never produce: older and newer field sets, which the reader
// tolerates, and broken or hostile files, which it refuses with one warning that names
// the file, the byte offset and the reason, keeping nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/sg/core/oxbTestSupport.h"

using namespace oxbtest;
using Record = FileBuilder::Record;

namespace {

class OXBReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerAll(); }

    // Reads `bytes` expecting a refusal whose single warning contains `reason` and, when
    // given, names byte `offset`.
    static void expectRefused(const std::vector<uint8_t>& bytes, const char* reason, long offset = -1)
    {
        int groups = oxGroup::getClassTypeSafe()->getInstanceCount();
        int lists = oxNodeList::getClassTypeSafe()->getInstanceCount();
        WarningCatcher warnings;
        oxOXBReader reader;
        EXPECT_EQ(reader.read(bytes.data(), bytes.size(), "hostile.oxb"), kFailure);
        EXPECT_EQ(reader.getRoot(), nullptr);
        EXPECT_EQ(reader.getObjectCount(), 0u);
        ASSERT_EQ(warnings.count(), 1u) << warnings.all();
        const std::string& message = WarningCatcher::messages()[0];
        EXPECT_EQ(message, reader.getError());
        EXPECT_EQ(message.rfind("hostile.oxb: byte ", 0), 0u) << message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        if (offset >= 0) {
            EXPECT_NE(message.find("byte " + std::to_string(offset) + ":"), std::string::npos) << message;
        }
        EXPECT_EQ(oxGroup::getClassTypeSafe()->getInstanceCount(), groups) << "nothing half-built is kept";
        EXPECT_EQ(oxNodeList::getClassTypeSafe()->getInstanceCount(), lists);
    }

    // A group (object 1) with a child list (object 2) naming `children`, and nodes after.
    static FileBuilder groupFile(std::vector<uint32_t> children, int nodes)
    {
        FileBuilder file;
        uint32_t group = file.addClass("oxGroup", {{"_childList", oxFieldKind::ObjectRef}});
        uint32_t list = file.addClass("oxNodeList");
        uint32_t node = file.addClass("oxNode", {{"_flags", oxFieldKind::Int}});
        file.addObject(group, Record().u32(2));
        Record contents;
        contents.array(oxFieldKind::ObjectRef, 1, uint32_t(children.size()));
        for (uint32_t c : children)
            contents.u32(c);
        file.addObject(list, contents);
        for (int i = 0; i < nodes; ++i)
            file.addObject(node, Record().i32(i));
        return file;
    }

    // Size of the header and of a string table holding `strings`.
    static size_t headerSize() { return sizeof oxOXBFile::kMagic + 4; }
};

TEST_F(OXBReader, HandMadeFileBuildsTheGraphItDescribes)
{
    std::vector<uint8_t> bytes = groupFile({3, 4, 3}, 2).bytes();
    oxSmartPointer<oxGroup> root =
        oxGroup::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "group.oxb").get());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->getChildCount(), 3);
    EXPECT_EQ(root->getChild(0), root->getChild(2));
    EXPECT_EQ(root->getChild(1)->getFlags(), 1);
    EXPECT_EQ(root->getChild(0)->getParentCount(), 2);
}

TEST_F(OXBReader, StoredFieldsTheClassLacksAreSkippedWithOneWarningEach)
{
    FileBuilder file;
    uint32_t cls = file.addClass("AllKinds", {{"_gone", oxFieldKind::Vec3f, 3},
                                              {"_i", oxFieldKind::Int},
                                              {"_u", oxFieldKind::Float},
                                              {"_scratch", oxFieldKind::Int},
                                              {"_str", oxFieldKind::String}});
    uint32_t text = file.string("stored text");
    for (int k = 0; k < 3; ++k)
        file.addObject(cls, Record().f32(1).f32(2).f32(3).i32(41 + k).f32(2.5f).i32(7).u32(text));
    uint32_t list = file.addClass("AllKindsList");
    file.addObject(list, Record().array(oxFieldKind::ObjectRef, 1, 3).u32(1).u32(2).u32(3));
    file.setRoot(4);
    std::vector<uint8_t> bytes = file.bytes();

    WarningCatcher warnings;
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "older.oxb"), kSuccess) << warnings.all();
    EXPECT_EQ(warnings.count(), 3u) << "one per class and field, however many objects: " << warnings.all();
    EXPECT_TRUE(warnings.contains("older.oxb: class AllKinds: stored field _gone (vec3f) is skipped: the class has "
                                  "no such field"))
        << warnings.all();
    EXPECT_TRUE(warnings.contains("stored field _u (float) is skipped: the class declares it as unsigned int"));
    EXPECT_TRUE(warnings.contains("stored field _scratch (int) is skipped: the class no longer stores it"));
    for (uint32_t n = 1; n <= 3; ++n) {
        auto* o = AllKinds::dynamicCast(reader.getObject(n));
        ASSERT_TRUE(o);
        EXPECT_EQ(o->_i, 40 + int(n));
        EXPECT_EQ(o->_u, 5u) << "a skipped field keeps its default";
        EXPECT_EQ(o->_scratch, 99);
        EXPECT_STREQ(o->_str.c_str(), "stored text");
        EXPECT_EQ(o->_v3, oxVec3f(1, 2, 3)) << "a field the file lacks keeps its default";
        EXPECT_EQ(o->_d, 2.25);
        EXPECT_EQ(o->_e, AllKinds::kOn);
    }
}

TEST_F(OXBReader, RefusesFilesThatAreNotSceneFilesOrOfAnotherVersion)
{
    std::vector<uint8_t> valid = groupFile({3}, 1).bytes();
    expectRefused({}, "too short for a scene file (0 bytes)", 0);
    expectRefused(std::vector<uint8_t>(valid.begin(), valid.begin() + 5), "too short", 0);
    std::vector<uint8_t> bytes = valid;
    bytes[1] = 'Q';
    expectRefused(bytes, "not a scene file (bad magic number)", 0);
    bytes = valid;
    bytes[8] = 2;
    expectRefused(bytes, "unknown version 2 (this reader knows version 1)", 8);
    bytes = valid;
    bytes.push_back(0);
    expectRefused(bytes, "1 bytes follow the last record", long(valid.size()));
}

TEST_F(OXBReader, RefusesBrokenStringTables)
{
    Record r;
    r.raw(oxOXBFile::kMagic, 8).u32(1).u32(0xffffffffu);
    expectRefused(r.bytes, "4294967295 strings cannot fit in the 0 bytes left", long(headerSize()));

    Record unterminated;
    unterminated.raw(oxOXBFile::kMagic, 8).u32(1).u32(1).u32(3).raw("abcd", 4);
    expectRefused(unterminated.bytes, "string 1 is not terminated", long(headerSize() + 8 + 3));

    Record past;
    past.raw(oxOXBFile::kMagic, 8).u32(1).u32(1).u32(200).raw("ab\0", 3).u32(0).u32(0);
    expectRefused(past.bytes, "string 1 (200 bytes) runs past the end of the file", long(headerSize() + 4));

    FileBuilder file = groupFile({3}, 1);
    std::vector<uint8_t> bytes = file.bytes();
    // The first class's name number sits after the string table; make it point nowhere.
    size_t classTable = headerSize() + 4;
    for (const char* s : {"oxGroup", "_childList", "oxNodeList", "oxNode", "_flags"})
        classTable += 4 + std::strlen(s) + 1;
    uint32_t bad = 77;
    std::memcpy(&bytes[classTable + 4], &bad, 4);
    expectRefused(bytes, "string number 77 is out of range (the file has 5 strings)", long(classTable + 4));
}

TEST_F(OXBReader, RefusesBrokenClassTables)
{
    {
        FileBuilder file;
        file.addObject(file.addClass("NoSuchClass"));
        expectRefused(file.bytes(), "class NoSuchClass is not registered");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxVolume"));
        expectRefused(file.bytes(), "class oxVolume cannot be instantiated");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxNode", {{"_flags", oxFieldKind::Int}, {"_flags", oxFieldKind::Int}}),
                       Record().i32(1).i32(2));
        expectRefused(file.bytes(), "field _flags of class oxNode is listed twice");
    }
    {
        FileBuilder file;
        file.addClass("oxNode");
        file.addObject(file.addClass("oxNode"));
        expectRefused(file.bytes(), "class oxNode is listed twice");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxNode", {{"_flags", oxFieldKind::Vec3f, 4}}));
        expectRefused(file.bytes(), "field _flags of class oxNode cannot be 4 vec3f values wide");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxNode", {{"_flags", oxFieldKind::Int}}), Record().i32(0));
        std::vector<uint8_t> bytes = file.bytes();
        // The kind code follows the field's name number.
        size_t kindAt = headerSize() + 4 + (4 + 7) + (4 + 7) + 4 + 4 + 4 + 4;
        ASSERT_EQ(bytes[kindAt], oxOXBFile::kindCode(oxFieldKind::Int));
        bytes[kindAt] = 200;
        expectRefused(bytes, "has an unknown kind 200");
    }
    {
        // Class descriptions store no fields.
        FileBuilder file;
        uint32_t meta = file.addClass("oxMetaObject", {{"_x", oxFieldKind::Int}});
        file.addObject(file.addClass("oxNode"));
        file.addObject(meta, Record().i32(0));
        expectRefused(file.bytes(), "class descriptions are stored without fields");
    }
}

TEST_F(OXBReader, RefusesObjectTablesAndRootsOutOfRange)
{
    {
        FileBuilder file;
        file.addClass("oxNode");
        file.addObject(3);
        expectRefused(file.bytes(), "class number 3 is out of range (the file has 1 classes)");
    }
    {
        FileBuilder file = groupFile({3}, 1);
        file.setRoot(9);
        expectRefused(file.bytes(), "object number 9 is out of range (the file has 3 objects)");
    }
    {
        FileBuilder file = groupFile({3}, 1);
        file.setRoot(0);
        expectRefused(file.bytes(), "the file has no root object");
    }
    {
        Record r;
        r.raw(oxOXBFile::kMagic, 8).u32(1).u32(0).u32(0).u32(0x40000000u);
        expectRefused(r.bytes, "1073741824 objects cannot fit in the 0 bytes left", long(headerSize() + 8));
    }
    {
        FileBuilder file;
        uint32_t meta = file.addClass("oxMetaObject");
        file.addObject(meta, Record().u32(file.string("oxNode")));
        expectRefused(file.bytes(), "the root is a class description, not an object");
    }
}

TEST_F(OXBReader, RefusesRecordsThatAreCutShortOrHoldImpossibleValues)
{
    {
        FileBuilder file;
        file.addObject(file.addClass("oxNode", {{"_flags", oxFieldKind::Int}}), Record().u8(1).u8(2));
        expectRefused(file.bytes(), "one int value needs 4 bytes, 2 are left (the data is cut short)", 75);
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("AllKinds", {{"_b", oxFieldKind::Bool}}), Record().u8(2));
        expectRefused(file.bytes(), "a boolean holds 2");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("AllKinds", {{"_mem", oxFieldKind::MemoryRef}}), Record().u32(1000).u32(0));
        expectRefused(file.bytes(), "a memory block of 1000 bytes runs past its record (4 bytes left)");
    }
    {
        std::vector<uint8_t> bytes = groupFile({3}, 1).bytes();
        // The last record's size field: make it larger than what is left.
        uint32_t huge = 0x7fffffff;
        std::memcpy(&bytes[bytes.size() - 8], &huge, 4);
        expectRefused(bytes, "the record of object 3 (2147483647 bytes) runs past the end of the file",
                      long(bytes.size() - 8));
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxFloatList"), Record().array(oxFieldKind::Float, 1, 0xfffffff0u));
        expectRefused(file.bytes(), "an array of 4294967280 float elements cannot fit in the 0 bytes left");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxFloatList"), Record().array(oxFieldKind::Float, 0, 1).f32(1));
        expectRefused(file.bytes(), "cannot be 0 float values wide");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxFloatList"), Record().array(oxFieldKind::Int, 1, 1).i32(1));
        expectRefused(file.bytes(), "object 1 (class oxFloatList) expects an array of float, but the file stores int");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxFloatList"),
                       Record().array(oxFieldKind::Float, 1, 1).f32(1).array(oxFieldKind::Float, 1, 0));
        expectRefused(file.bytes(), "object 1 (class oxFloatList) left 9 bytes of its contents unread");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("oxStringObj"), Record().array(oxFieldKind::String, 1, 2).u32(0).u32(0));
        expectRefused(file.bytes(), "object 1 (class oxStringObj): a string object holds exactly one text");
    }
}

TEST_F(OXBReader, RefusesReferencesOutOfRangeOrToObjectsOfTheWrongClass)
{
    {
        std::vector<uint8_t> bytes = groupFile({3, 12}, 1).bytes();
        expectRefused(bytes, "object number 12 is out of range (the file has 3 objects)");
    }
    {
        // A child list that is not a node list.
        FileBuilder file;
        file.addObject(file.addClass("oxGroup", {{"_childList", oxFieldKind::ObjectRef}}), Record().u32(2));
        file.addObject(file.addClass("oxAABox"));
        expectRefused(file.bytes(),
                      "field _childList of object 1 (class oxGroup) refers to object 2 of class oxAABox, which is not "
                      "a oxNodeList");
    }
    {
        // A node list holding a box.
        FileBuilder file = groupFile({3}, 0);
        file.addObject(file.addClass("oxAABox"));
        expectRefused(file.bytes(), "object 2 (class oxNodeList) holds object 3 of class oxAABox where a oxNode belongs");
    }
    {
        FileBuilder file;
        uint32_t meta = file.addClass("oxMetaObject");
        file.addObject(file.addClass("oxObjectPool", {{"_objectMeta", oxFieldKind::ObjectRef}}), Record().u32(2));
        file.addObject(meta, Record().u32(file.string("NoSuchClass")));
        expectRefused(file.bytes(), "object 2 describes the class NoSuchClass, which is not registered");
    }
}

TEST_F(OXBReader, RefusesGraphsThatReferenceCountingCannotLiveWith)
{
    // A group among its own children: group -> child list -> group.
    expectRefused(groupFile({1}, 0).bytes(), "object 1 (class oxGroup) is on a cycle of holding references");
    {
        FileBuilder file;
        uint32_t cls = file.addClass("AllKinds", {{"_raw", oxFieldKind::RawRef}});
        file.addObject(cls, Record().u32(2));
        file.addObject(cls, Record().u32(0));
        expectRefused(file.bytes(), "object 1 (class AllKinds) points at object 2 (class AllKinds) without holding it");
    }
    {
        // The same plain pointer is fine when the root holds its target.
        FileBuilder file;
        uint32_t cls = file.addClass("AllKinds", {{"_ref", oxFieldKind::ObjectRef}, {"_raw", oxFieldKind::RawRef}});
        file.addObject(cls, Record().u32(2).u32(2));
        file.addObject(cls, Record().u32(0).u32(1));
        std::vector<uint8_t> bytes = file.bytes();
        oxSmartPointer<oxObject> root = oxOXBReader::readObject(bytes.data(), bytes.size(), "held.oxb");
        ASSERT_TRUE(root);
        auto* a = AllKinds::dynamicCast(root.get());
        EXPECT_EQ(a->_raw, a->_ref.get());
        EXPECT_EQ(AllKinds::dynamicCast(a->_ref.get())->_raw, a);
    }
}

} // namespace
