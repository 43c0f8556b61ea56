// Scene files and the members an object keeps in its own block: a read group's child list is
// the one the group made, and lists that cannot be (shared, of a derived class, met before
// their owner) are built on their own and still read as they were written.
#include <gtest/gtest.h>

#include <string>

#include "tests/sg/core/oxbTestSupport.h"

using namespace oxbtest;

namespace {

class SortedNodeList : public oxNodeList {
    OX_CLASS(SortedNodeList, oxNodeList)
protected:
    SortedNodeList() = default;
};

class OXBOwnedMembers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registerAll();
        SortedNodeList::arkRegister();
    }

    static const oxMetaField* childListField() { return oxGroup::getClassTypeSafe()->getMetaField("_childList"); }

    static bool insideBlock(const oxObject* owner, const oxObject* member)
    {
        const char* start = reinterpret_cast<const char*>(owner);
        const char* at = reinterpret_cast<const char*>(member);
        return at > start && at < start + owner->getMetaObject()->getBlockSize();
    }

    // Root, two groups under it, each with `leaves` leaves and a group with one leaf of its
    // own: 3 + 2 * (leaves + 2) nodes, 5 of them groups.
    static oxSmartPointer<oxGroup> buildScene(int leaves)
    {
        oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
        root->setName("root");
        for (int g = 0; g < 2; ++g) {
            oxGroup* group = oxGroup::_instantiate();
            group->setName(("group" + std::to_string(g)).c_str());
            root->appendChild(group);
            for (int i = 0; i < leaves; ++i) {
                oxNode* leaf = oxNode::_instantiate();
                leaf->setName(("leaf" + std::to_string(g) + "." + std::to_string(i)).c_str());
                group->appendChild(leaf);
            }
            oxGroup* inner = oxGroup::_instantiate();
            inner->appendChild(oxNode::_instantiate());
            group->appendChild(inner);
        }
        return root;
    }

    static std::vector<uint8_t> write(oxObject* root)
    {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(oxOXBWriter::writeMemory(root, bytes), kSuccess);
        return bytes;
    }

    // Every group reached from `node`, depth first.
    static void collectGroups(oxNode* node, std::vector<oxGroup*>& groups)
    {
        if (auto* g = oxGroup::dynamicCast(node)) {
            groups.push_back(g);
            for (int i = 0; i < g->getChildCount(); ++i)
                collectGroups(g->getChild(i), groups);
        }
    }
};

TEST_F(OXBOwnedMembers, ReadGroupsHoldTheirChildListsInsideTheirBlocks)
{
    // Five children fit no list's own room: the entries move to the heap, the list stays.
    oxSmartPointer<oxGroup> scene = buildScene(5);
    const std::vector<uint8_t> bytes = write(scene);
    oxMemoryPool pool("read");
    {
        oxSmartPointer<oxGroup> root =
            oxGroup::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "owned.oxb", &pool).get());
        ASSERT_TRUE(root);
        std::vector<oxGroup*> groups;
        collectGroups(root, groups);
        ASSERT_EQ(groups.size(), 5u);
        for (oxGroup* g : groups) {
            ASSERT_TRUE(g->getChildList());
            EXPECT_TRUE(insideBlock(g, g->getChildList())) << g->getName().c_str();
            EXPECT_EQ(g->getChildList()->getRefCount(), 1) << "held by its group alone";
        }
        // One block per node: no list came on its own.
        EXPECT_EQ(pool.getBlocksInUse(), size_t(3 + 2 * (5 + 2)));
        EXPECT_EQ(write(root), bytes) << "the read graph is stored as the original was";
        EXPECT_EQ(groups[1]->getChild(2)->getParent(0), groups[1]) << "parents are rebuilt as before";
    }
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
}

TEST_F(OXBOwnedMembers, AReadChildListLivesOnWhileHeldAndCanBeReplaced)
{
    const std::vector<uint8_t> bytes = write(buildScene(4));
    oxMemoryPool pool("read");
    oxSmartPointer<oxNodeList> kept;
    {
        oxOXBReader reader(&pool);
        ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "owned.oxb"), kSuccess);
        auto* root = oxGroup::dynamicCast(reader.getRoot());
        ASSERT_TRUE(root);
        auto* first = oxGroup::dynamicCast(root->getChild(0));
        auto* second = oxGroup::dynamicCast(root->getChild(1));
        ASSERT_TRUE(first && second);
        ASSERT_TRUE(insideBlock(first, first->getChildList()));
        ASSERT_TRUE(insideBlock(second, second->getChildList()));
        kept = first->getChildList();

        // The second group takes a list of its own: the one in its block goes, the group
        // goes on with the new one.
        oxSmartPointer<oxNodeList> replacement = oxNodeList::_instantiateRef(&pool);
        oxSmartPointer<oxNode> leaf = oxNode::_instantiate(&pool);
        replacement->append(leaf);
        ASSERT_TRUE(childListField()->setObject(second, replacement));
        EXPECT_EQ(second->getChildList(), replacement.get());
        EXPECT_EQ(second->getChild(0), leaf.get());
        EXPECT_EQ(write(root).size() > 0, true);
    }
    // The reader and the graph are gone; the list held here is not, nor its block.
    ASSERT_EQ(kept->getCount(), 5);
    EXPECT_EQ(kept->get(0)->getName(), oxStringRef("leaf0.0"));
    EXPECT_GT(pool.getBlocksInUse(), 0u);
    kept = nullptr;
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
}

TEST_F(OXBOwnedMembers, AListSharedByTwoOwnersIsBuiltOnItsOwn)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    oxSmartPointer<oxGroup> a = oxGroup::_instantiate();
    oxSmartPointer<oxGroup> b = oxGroup::_instantiate();
    root->appendChild(a);
    root->appendChild(b);
    a->appendChild(oxNode::_instantiate());
    a->appendChild(oxNode::_instantiate());
    ASSERT_TRUE(childListField()->setObject(b, a->getChildList()));
    const std::vector<uint8_t> bytes = write(root);

    oxMemoryPool pool("read");
    {
        oxSmartPointer<oxGroup> read =
            oxGroup::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "shared.oxb", &pool).get());
        ASSERT_TRUE(read);
        auto* ra = oxGroup::dynamicCast(read->getChild(0));
        auto* rb = oxGroup::dynamicCast(read->getChild(1));
        ASSERT_TRUE(ra && rb);
        ASSERT_EQ(ra->getChildList(), rb->getChildList()) << "still one list";
        EXPECT_FALSE(insideBlock(ra, ra->getChildList()));
        EXPECT_FALSE(insideBlock(rb, rb->getChildList()));
        EXPECT_TRUE(insideBlock(read, read->getChildList())) << "the root's own list is still its member";
        EXPECT_EQ(ra->getChildList()->getRefCount(), 2);
        EXPECT_EQ(ra->getChild(0)->getParentCount(), 2) << "a child of both groups";
        EXPECT_EQ(write(read), bytes);
    }
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
}

TEST_F(OXBOwnedMembers, AListOfADerivedClassIsBuiltOnItsOwn)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    oxSmartPointer<oxGroup> g = oxGroup::_instantiate();
    root->appendChild(g);
    oxSmartPointer<oxNodeList> sorted = SortedNodeList::_instantiateRef();
    ASSERT_TRUE(childListField()->setObject(g, sorted));
    for (int i = 0; i < 2; ++i) {
        oxSmartPointer<oxNode> leaf = oxNode::_instantiate();
        leaf->setName(("s" + std::to_string(i)).c_str());
        g->appendChild(leaf);
    }
    const std::vector<uint8_t> bytes = write(root);

    oxMemoryPool pool("read");
    {
        oxSmartPointer<oxGroup> read =
            oxGroup::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "derived.oxb", &pool).get());
        ASSERT_TRUE(read);
        auto* rg = oxGroup::dynamicCast(read->getChild(0));
        ASSERT_TRUE(rg);
        ASSERT_EQ(rg->getChildList()->getMetaObject(), SortedNodeList::getClassTypeSafe());
        EXPECT_FALSE(insideBlock(rg, rg->getChildList()));
        ASSERT_EQ(rg->getChildCount(), 2);
        EXPECT_EQ(rg->getChild(1)->getName(), oxStringRef("s1"));
        EXPECT_EQ(write(read), bytes);
    }
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
}

TEST_F(OXBOwnedMembers, AListMetBeforeItsOwnerIsBuiltOnItsOwn)
{
    // The writer never numbers a member before its owner; a hand-made file may.
    FileBuilder file;
    const uint32_t group = file.addClass("oxGroup", {{"_childList", oxFieldKind::ObjectRef}});
    const uint32_t list = file.addClass("oxNodeList");
    const uint32_t node = file.addClass("oxNode");
    FileBuilder::Record rootRecord, earlyList, lateGroup, rootList, leaf;
    rootRecord.u32(4);
    earlyList.array(oxFieldKind::ObjectRef, 1, 1).u32(5);
    lateGroup.u32(2);
    rootList.array(oxFieldKind::ObjectRef, 1, 1).u32(3);
    file.addObject(group, rootRecord);
    file.addObject(list, earlyList);
    file.addObject(group, lateGroup);
    file.addObject(list, rootList);
    file.addObject(node, leaf);
    const std::vector<uint8_t> bytes = file.bytes();

    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "early.oxb"), kSuccess) << reader.getError();
    auto* root = oxGroup::dynamicCast(reader.getRoot());
    ASSERT_TRUE(root);
    auto* late = oxGroup::dynamicCast(root->getChild(0));
    ASSERT_TRUE(late);
    EXPECT_TRUE(insideBlock(root, root->getChildList()));
    EXPECT_EQ(late->getChildList(), reader.getObject(2));
    EXPECT_FALSE(insideBlock(late, late->getChildList()));
    ASSERT_EQ(late->getChildCount(), 1);
    EXPECT_EQ(late->getChild(0), reader.getObject(5));
}

} // namespace
