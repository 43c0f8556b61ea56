// Scene files the writer would never produce: older and newer field sets, which the reader
// tolerates, and broken or hostile files, which it refuses with one warning that names
// the file, the byte offset and the reason, keeping nothing. The reader needs nothing above
// the core: the files here hold the core's own classes and the core tests' classes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/OXCore.h"
#include "tests/platform/core/oxbFileBuilder.h"
#include "tests/platform/core/testClasses.h"

using namespace coretest;
using namespace oxbfile;
using Record = FileBuilder::Record;

namespace {

// Names a class (as a stored class description).
class ClassNamer : public oxObject {
    OX_CLASS(ClassNamer, oxObject)
    OX_FIELDS(described)
public:
    oxSmartPointer<oxMetaObject> _described;

protected:
    ClassNamer() = default;
    static void arkRegisterInitialize(oxFields<ClassNamer>& f) { f.add(OX_FIELD(described)); }
};

// Points at an object holding it, and at one without.
class Pointing : public oxObject {
    OX_CLASS(Pointing, oxObject)
    OX_FIELDS(ref, raw)
public:
    oxSmartPointer<oxObject> _ref;
    oxObject* _raw = nullptr;

protected:
    Pointing() = default;
    static void arkRegisterInitialize(oxFields<Pointing>& f)
    {
        f.add(OX_FIELD(ref));
        f.add(OX_FIELD(raw));
    }
};

class OXBReader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Kel::libOXCore_arkRegister();
        for (oxMetaObject* (*cls)() : {&Leaf::getClassTypeSafe, &LeafList::getClassTypeSafe, &Holder::getClassTypeSafe,
                                       &Shape::getClassTypeSafe, &ClassNamer::getClassTypeSafe,
                                       &Pointing::getClassTypeSafe})
            cls();
    }

    // Reads `bytes` expecting a refusal whose single warning contains `reason` and, when
    // given, names byte `offset`.
    static void expectRefused(const std::vector<uint8_t>& bytes, const char* reason, long offset = -1)
    {
        int holders = Holder::getClassTypeSafe()->getInstanceCount();
        int leaves = Leaf::getClassTypeSafe()->getInstanceCount();
        int lists = LeafList::getClassTypeSafe()->getInstanceCount();
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
        EXPECT_EQ(Holder::getClassTypeSafe()->getInstanceCount(), holders) << "nothing half-built is kept";
        EXPECT_EQ(Leaf::getClassTypeSafe()->getInstanceCount(), leaves);
        EXPECT_EQ(LeafList::getClassTypeSafe()->getInstanceCount(), lists);
    }

    // A holder (object 1) with a leaf list (object 2) naming `children`, and leaves after.
    static FileBuilder holderFile(std::vector<uint32_t> children, int leaves)
    {
        FileBuilder file;
        uint32_t holder = file.addClass("Holder", {{"_leaves", oxFieldKind::ObjectRef}});
        uint32_t list = file.addClass("LeafList");
        uint32_t leaf = file.addClass("Leaf", {{"_count", oxFieldKind::Int}});
        file.addObject(holder, Record().u32(2));
        Record contents;
        contents.array(oxFieldKind::ObjectRef, 1, uint32_t(children.size()));
        for (uint32_t c : children)
            contents.u32(c);
        file.addObject(list, contents);
        for (int i = 0; i < leaves; ++i)
            file.addObject(leaf, Record().i32(i));
        return file;
    }

    // Size of the header and of a string table holding `strings`.
    static size_t headerSize() { return sizeof oxOXBFile::kMagic + 4; }
};

TEST_F(OXBReader, HandMadeFileBuildsTheObjectsItDescribes)
{
    std::vector<uint8_t> bytes = holderFile({3, 4, 3}, 2).bytes();
    oxSmartPointer<Holder> root =
        Holder::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "holder.oxb").get());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->_leaves->getCount(), 3);
    EXPECT_EQ(root->_leaves->get(0), root->_leaves->get(2));
    EXPECT_EQ(root->_leaves->get(1)->_count, 1);
    EXPECT_EQ(root->_leaves->get(0)->_count, 0);
    EXPECT_EQ(root->_leaves->get(0)->getRefCount(), 2) << "held once by each place in the list";
}

TEST_F(OXBReader, StoredFieldsTheClassLacksAreSkippedWithOneWarningEach)
{
    FileBuilder file;
    uint32_t cls = file.addClass("Holder", {{"_gone", oxFieldKind::Vec3f, 3},
                                            {"_count", oxFieldKind::Int},
                                            {"_scale", oxFieldKind::Float},
                                            {"_scratch", oxFieldKind::ObjectRef},
                                            {"_label", oxFieldKind::String}});
    uint32_t text = file.string("stored text");
    for (int k = 0; k < 3; ++k)
        file.addObject(cls, Record().f32(1).f32(2).f32(3).i32(41 + k).f32(0.5f).u32(0).u32(text));
    uint32_t list = file.addClass("LeafList");
    file.addObject(list, Record().array(oxFieldKind::ObjectRef, 1, 3).u32(1).u32(2).u32(3));
    file.setRoot(4);
    std::vector<uint8_t> bytes = file.bytes();

    WarningCatcher warnings;
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "older.oxb"), kSuccess) << warnings.all();
    EXPECT_EQ(warnings.count(), 3u) << "one per class and field, however many objects: " << warnings.all();
    EXPECT_TRUE(warnings.contains("older.oxb: class Holder: stored field _gone (vec3f) is skipped: the class has "
                                  "no such field"))
        << warnings.all();
    EXPECT_TRUE(warnings.contains("stored field _scale (float) is skipped: the class declares it as double"))
        << warnings.all();
    EXPECT_TRUE(warnings.contains("stored field _scratch (object) is skipped: the class no longer stores it"))
        << warnings.all();
    for (uint32_t n = 1; n <= 3; ++n) {
        auto* o = Holder::dynamicCast(reader.getObject(n));
        ASSERT_TRUE(o);
        EXPECT_EQ(o->_count, 40 + int(n));
        EXPECT_EQ(o->_scale, 2.5) << "a skipped field keeps its default";
        EXPECT_TRUE(o->_scratch) << "and a field no longer stored keeps what construction gave it";
        EXPECT_STREQ(o->_label.c_str(), "stored text");
        EXPECT_EQ(o->_mode, Leaf::kSlow) << "a field the file lacks keeps its default";
        EXPECT_EQ(o->_big, uint64_t(1) << 40);
    }
}

TEST_F(OXBReader, RefusesFilesThatAreNotSceneFilesOrOfAnotherVersion)
{
    std::vector<uint8_t> valid = holderFile({3}, 1).bytes();
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

    FileBuilder file = holderFile({3}, 1);
    std::vector<uint8_t> bytes = file.bytes();
    // The first class's name number sits after the string table; make it point nowhere.
    size_t classTable = headerSize() + 4;
    for (const char* s : {"Holder", "_leaves", "LeafList", "Leaf", "_count"})
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
        file.addObject(file.addClass("Shape"));
        expectRefused(file.bytes(), "class Shape cannot be instantiated");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_count", oxFieldKind::Int}, {"_count", oxFieldKind::Int}}),
                       Record().i32(1).i32(2));
        expectRefused(file.bytes(), "field _count of class Leaf is listed twice");
    }
    {
        FileBuilder file;
        file.addClass("Leaf");
        file.addObject(file.addClass("Leaf"));
        expectRefused(file.bytes(), "class Leaf is listed twice");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_count", oxFieldKind::Vec3f, 4}}));
        expectRefused(file.bytes(), "field _count of class Leaf cannot be 4 vec3f values wide");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_count", oxFieldKind::Int}}), Record().i32(0));
        std::vector<uint8_t> bytes = file.bytes();
        // The kind code follows the field's name number.
        size_t kindAt = headerSize() + 4 + (4 + std::strlen("Leaf") + 1) + (4 + std::strlen("_count") + 1) + 4 + 4 + 4 + 4;
        ASSERT_EQ(bytes[kindAt], oxOXBFile::kindCode(oxFieldKind::Int));
        bytes[kindAt] = 200;
        expectRefused(bytes, "has an unknown kind 200");
    }
    {
        // Class descriptions store no fields.
        FileBuilder file;
        uint32_t meta = file.addClass("oxMetaObject", {{"_x", oxFieldKind::Int}});
        file.addObject(file.addClass("Leaf"));
        file.addObject(meta, Record().i32(0));
        expectRefused(file.bytes(), "class descriptions are stored without fields");
    }
}

TEST_F(OXBReader, RefusesObjectTablesAndRootsOutOfRange)
{
    {
        FileBuilder file;
        file.addClass("Leaf");
        file.addObject(3);
        expectRefused(file.bytes(), "class number 3 is out of range (the file has 1 classes)");
    }
    {
        FileBuilder file = holderFile({3}, 1);
        file.setRoot(9);
        expectRefused(file.bytes(), "object number 9 is out of range (the file has 3 objects)");
    }
    {
        FileBuilder file = holderFile({3}, 1);
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
        file.addObject(meta, Record().u32(file.string("Leaf")));
        expectRefused(file.bytes(), "the root is a class description, not an object");
    }
}

TEST_F(OXBReader, RefusesRecordsThatAreCutShortOrHoldImpossibleValues)
{
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_count", oxFieldKind::Int}}), Record().u8(1).u8(2));
        std::vector<uint8_t> bytes = file.bytes();
        expectRefused(bytes, "one int value needs 4 bytes, 2 are left (the data is cut short)", long(bytes.size() - 2));
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_on", oxFieldKind::Bool}}), Record().u8(2));
        expectRefused(file.bytes(), "a boolean holds 2");
    }
    {
        FileBuilder file;
        file.addObject(file.addClass("Leaf", {{"_bytes", oxFieldKind::MemoryRef}}), Record().u32(1000).u32(0));
        expectRefused(file.bytes(), "a memory block of 1000 bytes runs past its record (4 bytes left)");
    }
    {
        std::vector<uint8_t> bytes = holderFile({3}, 1).bytes();
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
        std::vector<uint8_t> bytes = holderFile({3, 12}, 1).bytes();
        expectRefused(bytes, "object number 12 is out of range (the file has 3 objects)");
    }
    {
        // A leaf list that is not one.
        FileBuilder file;
        file.addObject(file.addClass("Holder", {{"_leaves", oxFieldKind::ObjectRef}}), Record().u32(2));
        file.addObject(file.addClass("Leaf"));
        expectRefused(file.bytes(),
                      "field _leaves of object 1 (class Holder) refers to object 2 of class Leaf, which is not a "
                      "LeafList");
    }
    {
        // A leaf list holding what is not a leaf.
        FileBuilder file = holderFile({3}, 0);
        file.addObject(file.addClass("Pointing"));
        expectRefused(file.bytes(), "object 2 (class LeafList) holds object 3 of class Pointing where a Leaf belongs");
    }
    {
        FileBuilder file;
        uint32_t meta = file.addClass("oxMetaObject");
        file.addObject(file.addClass("ClassNamer", {{"_described", oxFieldKind::ObjectRef}}), Record().u32(2));
        file.addObject(meta, Record().u32(file.string("NoSuchClass")));
        expectRefused(file.bytes(), "object 2 describes the class NoSuchClass, which is not registered");
    }
}

TEST_F(OXBReader, RefusesGraphsThatReferenceCountingCannotLiveWith)
{
    // A holder among its own leaves: holder -> leaf list -> holder.
    expectRefused(holderFile({1}, 0).bytes(), "object 1 (class Holder) is on a cycle of holding references");
    {
        FileBuilder file;
        uint32_t cls = file.addClass("Pointing", {{"_raw", oxFieldKind::RawRef}});
        file.addObject(cls, Record().u32(2));
        file.addObject(cls, Record().u32(0));
        expectRefused(file.bytes(), "object 1 (class Pointing) points at object 2 (class Pointing) without holding it");
    }
    {
        // The same plain pointer is fine when the root holds its target.
        FileBuilder file;
        uint32_t cls = file.addClass("Pointing", {{"_ref", oxFieldKind::ObjectRef}, {"_raw", oxFieldKind::RawRef}});
        file.addObject(cls, Record().u32(2).u32(2));
        file.addObject(cls, Record().u32(0).u32(1));
        std::vector<uint8_t> bytes = file.bytes();
        oxSmartPointer<oxObject> root = oxOXBReader::readObject(bytes.data(), bytes.size(), "held.oxb");
        ASSERT_TRUE(root);
        auto* a = Pointing::dynamicCast(root.get());
        ASSERT_TRUE(a);
        EXPECT_EQ(a->_raw, a->_ref.get());
        EXPECT_EQ(Pointing::dynamicCast(a->_ref.get())->_raw, a);
    }
}

} // namespace
