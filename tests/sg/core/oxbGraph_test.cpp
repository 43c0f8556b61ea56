// Scene files: what a graph looks like after a write and a read, directories and resources,
// and the classes that change between versions.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <unistd.h>

#include "tests/sg/core/oxbTestSupport.h"

using namespace oxbtest;

namespace {

class OXBGraph : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerAll(); }

    // Writes and reads back through memory; null on any failure.
    static oxSmartPointer<oxObject> roundTrip(oxObject* root)
    {
        std::vector<uint8_t> bytes;
        if (oxOXBWriter::writeMemory(root, bytes) != kSuccess)
            return nullptr;
        return oxOXBReader::readObject(bytes.data(), bytes.size(), "roundtrip.oxb");
    }

    static std::string tempPath(const char* name)
    {
        return std::string(::testing::TempDir()) + "/" + std::to_string(getpid()) + "_" + name;
    }
};

TEST_F(OXBGraph, AFileStoredByAnEarlierBuildStillReads)
{
    // Written once and kept: a change to the layout that would strand existing files
    // fails here.
    oxSmartPointer<oxGroup> root =
        oxGroup::dynamicCast(oxOXBReader::readObject(OXSG_TEST_DATA_DIR "/oxb/instanced.oxb").get());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->getChildCount(), 2);
    EXPECT_EQ(root->getChild(0), root->getChild(1));
    EXPECT_EQ(root->getChild(0)->getParentCount(), 2);
    EXPECT_TRUE(root->getName().isNull());
}

TEST_F(OXBGraph, StoredFilesWriteBackByteForByte)
{
    // The layout, the numbering of objects and strings and the order of the tables are
    // those of the build that stored these files.
    for (const char* name : {"/oxb/instanced.oxb", "/oxb/geometry.oxb"}) {
        std::string path = std::string(OXSG_TEST_DATA_DIR) + name;
        std::vector<uint8_t> stored, written;
        ASSERT_EQ(oxOXBReader::loadFile(path.c_str(), stored), kSuccess);
        oxSmartPointer<oxObject> root = oxOXBReader::readObject(stored.data(), stored.size(), name);
        ASSERT_TRUE(root) << name;
        ASSERT_EQ(oxOXBWriter::writeMemory(root, written), kSuccess);
        EXPECT_EQ(written, stored) << name;
    }
}

TEST_F(OXBGraph, ManyObjectsKeepTheirNamesTheirSharesAndTheirOrder)
{
    // Objects spread over many pages of memory, names repeating and unique, boxes shared
    // between a group and some of its children: the numbering of a write must give every
    // object once and every text once, whatever its address.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    std::vector<oxGroup*> groups{root.get()};
    std::vector<oxSmartPointer<oxAABox>> boxes;
    for (int i = 1; i < 20000; ++i) {
        oxGroup* parent = groups[size_t(i - 1) / 8];
        oxSmartPointer<oxNode> node;
        if (i % 3 == 0) {
            oxGroup* g = oxGroup::_instantiate();
            groups.push_back(g);
            node = g;
        } else
            node = oxNode::_instantiate();
        node->setName(i % 5 ? ("n" + std::to_string(i)).c_str() : "shared name");
        if (i % 7 == 0 && parent->getBound())
            node->setBound(parent->getBound());
        else if (i % 3 == 0) {
            boxes.push_back(oxAABox::_instantiate());
            boxes.back()->set(oxVec3f(float(i), 0, 0), oxVec3f(float(i), 1, 1));
            node->setBound(boxes.back());
        }
        parent->appendChild(node);
    }
    std::vector<uint8_t> bytes, again;
    ASSERT_EQ(oxOXBWriter::writeMemory(root, bytes), kSuccess);
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "many.oxb"), kSuccess);
    auto* read = oxGroup::dynamicCast(reader.getRoot());
    ASSERT_TRUE(read);

    // Walk both graphs side by side.
    std::vector<std::pair<oxNode*, oxNode*>> queue{{root.get(), read}};
    size_t nodes = 0, shares = 0;
    for (size_t k = 0; k < queue.size(); ++k) {
        auto [a, b] = queue[k];
        ++nodes;
        ASSERT_EQ(a->getMetaObject(), b->getMetaObject());
        ASSERT_EQ(a->getName(), b->getName()) << "texts are pooled again on reading";
        ASSERT_EQ(!a->getBound(), !b->getBound());
        if (auto* ga = oxGroup::dynamicCast(a)) {
            auto* gb = oxGroup::dynamicCast(b);
            ASSERT_EQ(ga->getChildCount(), gb->getChildCount());
            for (int c = 0; c < ga->getChildCount(); ++c) {
                bool shared = ga->getBound() && ga->getChild(c)->getBound() == ga->getBound();
                ASSERT_EQ(shared, gb->getBound() && gb->getChild(c)->getBound() == gb->getBound());
                shares += shared;
                queue.push_back({ga->getChild(c), gb->getChild(c)});
            }
        }
    }
    EXPECT_EQ(nodes, 20000u);
    EXPECT_GT(shares, 200u);
    // Every object once: the nodes, a child list per group, each box once.
    EXPECT_EQ(reader.getObjectCount(), nodes + groups.size() + boxes.size());
    ASSERT_EQ(oxOXBWriter::writeMemory(read, again), kSuccess);
    EXPECT_EQ(again, bytes) << "the read graph is stored as the original was";
}

// The smallest object there is: a batch packs them 16 bytes apart.
class PackedSpeck : public oxObject {
    OX_CLASS(PackedSpeck, oxObject)
protected:
    PackedSpeck() = default;
};

TEST_F(OXBGraph, ObjectsPackedTightlyAreNumberedOnceEach)
{
    // More objects to a stretch of memory than the writer's numbering keeps side by side:
    // the rest are kept elsewhere, and every one must be told from its neighbours and found
    // again when it is named a second time.
    constexpr int kCount = 4000;
    std::vector<oxObject*> made(kCount);
    ASSERT_EQ(PackedSpeck::getClassTypeSafe()->createInstances(nullptr, kCount, made.data()), kCount);
    ASSERT_EQ(reinterpret_cast<char*>(made[1]) - reinterpret_cast<char*>(made[0]), 16);
    oxSmartPointer<oxObjectList> list = oxObjectList::_instantiateRef();
    for (oxObject* o : made)
        list->appendObject(o);
    // Each once more, in another order (7 and 4000 have no common factor).
    for (int i = 0; i < kCount; ++i)
        list->appendObject(made[size_t(i * 7 % kCount)]);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(list, bytes), kSuccess);
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "packed.oxb"), kSuccess);
    EXPECT_EQ(reader.getObjectCount(), uint32_t(kCount) + 1);
    auto* back = oxObjectList::dynamicCast(reader.getRoot());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->getCount(), 2 * kCount);
    std::set<oxObject*> distinct;
    for (int i = 0; i < kCount; ++i)
        distinct.insert(back->getObject(i));
    EXPECT_EQ(distinct.size(), size_t(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(back->getObject(kCount + i), back->getObject(i * 7 % kCount)) << "entry " << kCount + i;
}

TEST_F(OXBGraph, TextsTakenByFieldsAndContainersComeBackAndGoAgain)
{
    // One text named by fields of two objects, by a container's entries and by a container
    // that keeps plain text: the read gives its own reference on each text to the last that
    // takes it and every other taker holds one of its own, so the texts come back whole and
    // leave the pool with the last object that holds them.
    const size_t before = oxStringRef::getPoolSize();
    std::vector<uint8_t> bytes;
    {
        oxSmartPointer<AllKinds> holder = AllKinds::_instantiateRef();
        oxSmartPointer<AllKinds> other = AllKinds::_instantiateRef();
        oxSmartPointer<oxStringRefList> list = oxStringRefList::_instantiateRef();
        oxSmartPointer<oxStringObj> text = oxStringObj::_instantiateRef();
        holder->setName("take shared");
        holder->_str = "take only listed";
        holder->_ref = other;
        holder->_refs[0] = list;
        holder->_refs[1] = text;
        other->setName("take shared");
        other->_str = "take shared";
        for (const char* entry : {"take shared", "take only listed", static_cast<const char*>(nullptr), "take shared"})
            list->append(oxStringRef(entry));
        text->set("take shared");
        ASSERT_EQ(oxOXBWriter::writeMemory(holder, bytes), kSuccess);
    }
    ASSERT_EQ(oxStringRef::getPoolSize(), before) << "the stored graph is gone";
    {
        oxSmartPointer<AllKinds> holder =
            AllKinds::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "texts.oxb").get());
        ASSERT_TRUE(holder);
        auto* other = AllKinds::dynamicCast(holder->_ref.get());
        auto* list = oxStringRefList::dynamicCast(holder->_refs[0].get());
        auto* text = oxStringObj::dynamicCast(holder->_refs[1].get());
        ASSERT_TRUE(other && list && text);
        EXPECT_EQ(holder->getName(), oxStringRef("take shared"));
        EXPECT_EQ(other->getName(), holder->getName()) << "one pool entry";
        EXPECT_EQ(other->_str, holder->getName());
        EXPECT_EQ(holder->_str, oxStringRef("take only listed"));
        ASSERT_EQ(list->getCount(), 4);
        EXPECT_EQ(list->get(0), holder->getName());
        EXPECT_EQ(list->get(1), holder->_str);
        EXPECT_TRUE(list->get(2).isNull());
        EXPECT_EQ(list->get(3), holder->getName());
        EXPECT_STREQ(text->get(), "take shared");
        EXPECT_EQ(oxStringRef::getPoolSize(), before + 2);
    }
    EXPECT_EQ(oxStringRef::getPoolSize(), before) << "no reference on a text outlives its holders";
}

TEST_F(OXBGraph, SharedObjectsAreStoredOnceAndStayShared)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    oxSmartPointer<oxGroup> a = oxGroup::_instantiate();
    oxSmartPointer<oxGroup> b = oxGroup::_instantiate();
    oxSmartPointer<oxNode> leaf = oxNode::_instantiate();
    oxSmartPointer<oxAABox> box = oxAABox::_instantiate();
    box->set(oxVec3f(-1, -2, -3), oxVec3f(4, 5, 6));
    leaf->setName("leaf");
    a->setBound(box);
    b->setBound(box);
    a->appendChild(leaf);
    b->appendChild(leaf);
    root->appendChild(a);
    root->appendChild(b);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(root, bytes), kSuccess);
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "dag.oxb"), kSuccess);
    // Root, two groups, a leaf, a box, and four node lists (three child lists and no more:
    // parent lists are not stored).
    EXPECT_EQ(reader.getObjectCount(), 8u);

    auto* r = oxGroup::dynamicCast(reader.getRoot());
    ASSERT_TRUE(r);
    auto* ra = oxGroup::dynamicCast(r->getChild(0));
    auto* rb = oxGroup::dynamicCast(r->getChild(1));
    ASSERT_TRUE(ra && rb);
    EXPECT_NE(ra, rb);
    EXPECT_EQ(ra->getBound(), rb->getBound());
    EXPECT_EQ(ra->getChild(0), rb->getChild(0));
    oxNode* readLeaf = ra->getChild(0);
    EXPECT_STREQ(readLeaf->getName().c_str(), "leaf");
    ASSERT_EQ(readLeaf->getParentCount(), 2);
    EXPECT_EQ(readLeaf->getParent(0), ra);
    EXPECT_EQ(readLeaf->getParent(1), rb);
    auto* readBox = oxAABox::dynamicCast(ra->getBound());
    ASSERT_TRUE(readBox);
    EXPECT_EQ(readBox->getMin(), oxVec3f(-1, -2, -3));
    EXPECT_EQ(readBox->getMax(), oxVec3f(4, 5, 6));
}

TEST_F(OXBGraph, PlainPointerCyclesAreStoredButHoldingCyclesAreRefused)
{
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    oxSmartPointer<AllKinds> a = AllKinds::_instantiate();
    oxSmartPointer<AllKinds> b = AllKinds::_instantiate();
    a->_raw = b;
    b->_raw = a;
    dir->addObject(a);
    EXPECT_EQ(dir->getSharedCount(), 2);

    oxOXBReader reader;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(dir, bytes), kSuccess);
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "plain-cycle.oxb"), kSuccess);
    auto* readDir = oxDirectory::dynamicCast(reader.getRoot());
    ASSERT_TRUE(readDir);
    auto* ra = AllKinds::dynamicCast(readDir->getShared(0));
    auto* rb = AllKinds::dynamicCast(readDir->getShared(1));
    ASSERT_TRUE(ra && rb);
    EXPECT_EQ(ra->_raw, rb);
    EXPECT_EQ(rb->_raw, ra);

    a->_ref = b.get();
    b->_ref = a.get();
    {
        WarningCatcher warnings;
        EXPECT_EQ(oxOXBWriter::writeMemory(a, bytes), kFailure);
        ASSERT_EQ(warnings.count(), 1u);
        EXPECT_TRUE(warnings.contains("cycle of holding references")) << warnings.all();
    }
    b->_ref = nullptr; // the cycle would outlive the test otherwise
}

TEST_F(OXBGraph, PlainPointerToAnObjectNothingHoldsIsRefused)
{
    oxSmartPointer<AllKinds> a = AllKinds::_instantiate();
    oxSmartPointer<oxNamedObject> elsewhere = oxNamedObject::_instantiate();
    a->_raw = elsewhere;
    std::vector<uint8_t> bytes;
    {
        WarningCatcher warnings;
        EXPECT_EQ(oxOXBWriter::writeMemory(a, bytes), kFailure);
        EXPECT_TRUE(warnings.contains("without holding it")) << warnings.all();
    }
    // Listed in a directory, the object is held by the file's root.
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    dir->addObject(a);
    EXPECT_EQ(oxOXBWriter::writeMemory(dir, bytes), kSuccess);
    a->_raw = nullptr;
}

TEST_F(OXBGraph, ContainersOutsideTheCoreStoreThroughTheirHooks)
{
    oxSmartPointer<WeightTable> table = WeightTable::_instantiate();
    table->_names = {"alpha", "", "gamma"};
    table->_weights = {0.5, -1.0, 1e300};
    oxSmartPointer<WeightTable> read = WeightTable::dynamicCast(roundTrip(table).get());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->_names, table->_names);
    EXPECT_EQ(read->_weights, table->_weights);

    // The hook's own refusal fails the read, naming the object.
    table->_weights.pop_back();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(table, bytes), kSuccess);
    WarningCatcher warnings;
    EXPECT_FALSE(oxOXBReader::readObject(bytes.data(), bytes.size(), "weights.oxb"));
    ASSERT_EQ(warnings.count(), 1u);
    EXPECT_TRUE(warnings.contains("object 1 (class WeightTable): as many weights as names")) << warnings.all();
}

TEST_F(OXBGraph, TextsKeepEmbeddedNuls)
{
    oxSmartPointer<oxStringObj> text = oxStringObj::_instantiate();
    text->set(std::string_view("with\0nul", 8));
    oxSmartPointer<oxStringObj> read = oxStringObj::dynamicCast(roundTrip(text).get());
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string_view(read->get(), read->length()), std::string_view("with\0nul", 8));
}

TEST_F(OXBGraph, OlderClassIsReadUnderItsDescriptionAndMadeConcrete)
{
    oxSmartPointer<OldTimer> old = OldTimer::_instantiate();
    old->_seconds = 1.25;
    old->_label = "lap";
    oxSmartPointer<AllKinds> holder = AllKinds::_instantiate();
    holder->_refs[0] = old.get();
    holder->_refs[1] = old.get();
    int calls = NewTimer::concreteCalls;
    int olds = OldTimer::getClassTypeSafe()->getInstanceCount();

    oxSmartPointer<AllKinds> read = AllKinds::dynamicCast(roundTrip(holder).get());
    ASSERT_TRUE(read);
    auto* timer = NewTimer::dynamicCast(read->_refs[0].get());
    ASSERT_TRUE(timer) << "references to the older object find the newer one";
    EXPECT_EQ(read->_refs[1].get(), timer);
    EXPECT_EQ(timer->_nanoseconds, 1250000000);
    EXPECT_STREQ(timer->_label.c_str(), "lap");
    EXPECT_EQ(NewTimer::concreteCalls, calls + 1);
    EXPECT_EQ(OldTimer::getClassTypeSafe()->getInstanceCount(), olds) << "the older object is not kept";
}

TEST_F(OXBGraph, AbstractOlderClassIsReadIntoTheNewerClassThatDerivesFromIt)
{
    FileBuilder file;
    uint32_t cls = file.addClass("AbstractOld", {{"_seconds", oxFieldKind::Double}});
    FileBuilder::Record record;
    record.f64(0.5);
    file.addObject(cls, record);
    std::vector<uint8_t> bytes = file.bytes();
    oxSmartPointer<DerivedNew> read =
        DerivedNew::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "abstract.oxb").get());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->nanoseconds(), 500000000);
    EXPECT_EQ(read->_seconds, 0.0);
}

TEST_F(OXBGraph, AbstractRedirectedClassInstantiatesAsTheNewerClass)
{
    oxSmartPointer<oxObject> made = AbstractOld::getClassTypeSafe()->createInstance();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->getMetaObject(), DerivedNew::getClassTypeSafe());
    oxObject* batch[2] = {};
    EXPECT_EQ(AbstractOld::getClassTypeSafe()->createInstances(nullptr, 2, batch), 2);
    for (oxObject* o : batch) {
        ASSERT_TRUE(o);
        EXPECT_EQ(o->getMetaObject(), DerivedNew::getClassTypeSafe());
        oxSmartPointer<oxObject> release(o);
    }
    // A class that can be made itself is made as itself, redirected or not.
    oxSmartPointer<oxObject> old = OldTimer::getClassTypeSafe()->createInstance();
    ASSERT_TRUE(old);
    EXPECT_EQ(old->getMetaObject(), OldTimer::getClassTypeSafe());
}

TEST_F(OXBGraph, DirectoryListsObjectsOnceAndFindsInfosByTypeAndName)
{
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    oxSmartPointer<oxInfo> first = oxInfo::_instantiate();
    oxSmartPointer<oxInfo> second = oxInfo::_instantiate();
    first->setName("scene");
    second->setName("other");
    oxSmartPointer<oxGroup> graph = oxGroup::_instantiate();
    graph->appendChild(oxNode::_instantiate());

    EXPECT_EQ(dir->appendInfo(first), 0);
    EXPECT_EQ(dir->appendInfo(second), 1);
    EXPECT_EQ(dir->appendInfo(first), 0) << "an info is listed once";
    EXPECT_EQ(dir->addObject(graph), 2);
    EXPECT_EQ(dir->addObject(graph), 2);
    // Two infos, the group, its child list, the child.
    EXPECT_EQ(dir->getSharedCount(), 5);
    EXPECT_EQ(dir->getInfoCount(), 2);
    EXPECT_EQ(dir->addObject(dir), -1);
    EXPECT_EQ(dir->addObject(nullptr), -1);
    EXPECT_EQ(dir->addObject(oxGroup::getClassTypeSafe()), -1) << "class descriptions are not listed";

    EXPECT_EQ(dir->getInfoByType(oxInfo::getClassTypeSafe(), nullptr, 1), second.get());
    EXPECT_EQ(dir->getInfoByType(nullptr, "scene", 0), first.get());
    EXPECT_EQ(dir->getInfoByType(nullptr, "scene", 1), nullptr);
    EXPECT_EQ(dir->getInfoByType(oxDirectory::getClassTypeSafe(), nullptr, 0), nullptr);
    EXPECT_EQ(dir->getInfoByType(nullptr, nullptr, -1), nullptr);

    oxSmartPointer<oxDirectory> read = oxDirectory::dynamicCast(roundTrip(dir).get());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->getInfoCount(), 2);
    ASSERT_EQ(read->getSharedCount(), 5);
    EXPECT_STREQ(read->getInfo(0)->getName().c_str(), "scene");
    EXPECT_EQ(read->getShared(0), read->getInfo(0));
    auto* readGraph = oxGroup::dynamicCast(read->getShared(2));
    ASSERT_TRUE(readGraph);
    EXPECT_EQ(read->findShared(readGraph->getChild(0)), 4);

    EXPECT_EQ(dir->removeInfo(first), kSuccess);
    EXPECT_EQ(dir->removeInfo(first), kFailure);
    EXPECT_EQ(dir->getInfoCount(), 1);
    EXPECT_EQ(dir->findShared(first), 0) << "a removed info stays shared";
}

TEST_F(OXBGraph, TheOneCallReadKeepsWhatTheRootHoldsAndReleasesTheRest)
{
    // A group (1) whose list (2) holds two nodes (3, 4), and beside them an object (5) that
    // nothing holds, which points at node 3 and holds node 6.
    FileBuilder file;
    uint32_t group = file.addClass("oxGroup", {{"_childList", oxFieldKind::ObjectRef}});
    uint32_t list = file.addClass("oxNodeList");
    uint32_t node = file.addClass("oxNode", {{"_flags", oxFieldKind::Int}});
    uint32_t kinds = file.addClass("AllKinds", {{"_ref", oxFieldKind::ObjectRef}, {"_raw", oxFieldKind::RawRef}});
    file.addObject(group, FileBuilder::Record().u32(2));
    file.addObject(list, FileBuilder::Record().array(oxFieldKind::ObjectRef, 1, 2).u32(3).u32(4));
    file.addObject(node, FileBuilder::Record().i32(1));
    file.addObject(node, FileBuilder::Record().i32(2));
    file.addObject(kinds, FileBuilder::Record().u32(6).u32(3));
    file.addObject(node, FileBuilder::Record().i32(6));
    std::vector<uint8_t> bytes = file.bytes();

    int nodes = oxNode::getClassTypeSafe()->getInstanceCount();
    int others = AllKinds::getClassTypeSafe()->getInstanceCount();
    {
        oxOXBReader reader;
        ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "beside.oxb"), kSuccess);
        EXPECT_EQ(AllKinds::getClassTypeSafe()->getInstanceCount(), others + 1) << "the reader keeps every object";
        EXPECT_EQ(static_cast<AllKinds*>(reader.getObject(5))->_raw, reader.getObject(3));
    }
    oxSmartPointer<oxGroup> root = oxGroup::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "beside.oxb").get());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->getChildCount(), 2);
    EXPECT_EQ(root->getChild(0)->getFlags(), 1);
    EXPECT_EQ(root->getChild(1)->getParentCount(), 1);
    EXPECT_EQ(root->getChild(0)->getRefCount(), 1) << "the read holds nothing any more";
    EXPECT_EQ(AllKinds::getClassTypeSafe()->getInstanceCount(), others) << "what the root does not hold is gone";
    EXPECT_EQ(oxNode::getClassTypeSafe()->getInstanceCount(), nodes + 2) << "node 6 went with its holder";
    root = nullptr;
    EXPECT_EQ(oxNode::getClassTypeSafe()->getInstanceCount(), nodes);
}

TEST_F(OXBGraph, FilesAreWrittenWholeAndResourcesReadThemOnce)
{
    std::string path = tempPath("resource.oxb");
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    oxSmartPointer<oxInfo> info = oxInfo::_instantiate();
    info->setName("scene");
    dir->appendInfo(info);
    ASSERT_EQ(oxOXBWriter::writeFile(path.c_str(), dir), kSuccess);
    EXPECT_NE(access((path + ".tmp").c_str(), F_OK), 0) << "the temporary file is renamed into place";

    oxDirectory* loaded = oxResource::getDirectory(path.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(oxResource::getDirectory(path.c_str()), loaded) << "read once, then kept";
    oxInfo* found = oxResource::getInfoByType(oxInfo::getClassTypeSafe(), path.c_str(), 0);
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->getName().c_str(), "scene");
    EXPECT_EQ(oxResource::getInfoByType(oxInfo::getClassTypeSafe(), path.c_str(), 1), nullptr);
    EXPECT_EQ(oxResource::releaseDirectory(path.c_str()), kSuccess);
    EXPECT_EQ(oxResource::releaseDirectory(path.c_str()), kFailure);

    // A file whose root is not a directory comes wrapped in one.
    oxSmartPointer<oxGroup> group = oxGroup::_instantiate();
    ASSERT_EQ(oxOXBWriter::writeFile(path.c_str(), group), kSuccess);
    oxSmartPointer<oxDirectory> wrapped = oxOXBReader::readDirectory(path.c_str());
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->getInfoCount(), 0);
    EXPECT_EQ(wrapped->getSharedCount(), 2);
    EXPECT_TRUE(oxGroup::dynamicCast(wrapped->getShared(0)));

    {
        WarningCatcher warnings;
        std::string missing = tempPath("missing.oxb");
        EXPECT_EQ(oxResource::getDirectory(missing.c_str()), nullptr);
        EXPECT_EQ(oxResource::getDirectoryCount(), 0) << "a failed read is not kept";
        EXPECT_EQ(oxOXBWriter::writeFile((tempPath("no-such-dir") + "/x.oxb").c_str(), group), kFailure);
        EXPECT_EQ(warnings.count(), 2u) << warnings.all();
    }
    // A failed write leaves the earlier file as it was.
    oxSmartPointer<AllKinds> unstorable = AllKinds::_instantiate();
    unstorable->_ref = unstorable.get();
    {
        WarningCatcher warnings;
        EXPECT_EQ(oxOXBWriter::writeFile(path.c_str(), unstorable), kFailure);
    }
    unstorable->_ref = nullptr;
    EXPECT_TRUE(oxGroup::dynamicCast(oxOXBReader::readObject(path.c_str()).get()));
    std::remove(path.c_str());
    oxResource::releaseAll();
}

} // namespace
