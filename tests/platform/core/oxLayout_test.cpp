// Where objects live: owned members inside their owner's block, lists' first entries in
// room after them, pooled batches side by side, and the lifetimes all of that must keep.
#include <gtest/gtest.h>

#include "tests/platform/core/testClasses.h"

using namespace coretest;

namespace {

bool inside(const void* p, const void* begin, size_t size)
{
    return static_cast<const char*>(p) >= static_cast<const char*>(begin) &&
           static_cast<const char*>(p) < static_cast<const char*>(begin) + size;
}

// Owns two lists, one with more room than its class gives, and a leaf.
class Roomy : public oxObject {
    OX_CLASS(Roomy, oxObject)
    OX_FIELDS(wide, narrow, leaf)
public:
    oxSmartPointer<oxIntList> _wide;
    oxSmartPointer<LeafList> _narrow;
    oxSmartPointer<Leaf> _leaf;

protected:
    Roomy() = default;
    static void arkRegisterInitialize(oxFields<Roomy>& f)
    {
        f.add(OX_FIELD(wide)).constructWithOwner().inlineRoom(40 * sizeof(int32_t));
        f.add(OX_FIELD(narrow)).constructWithOwner();
        f.add(OX_FIELD(leaf)).constructWithOwner();
    }
};

} // namespace

TEST(Layout, OwnedMembersLiveInTheirOwnersBlockListsFirst)
{
    oxMemoryPool pool("layout");
    {
        oxSmartPointer<Roomy> r = Roomy::_instantiateRefFromPool(&pool);
        const size_t block = Roomy::getClassTypeSafe()->getBlockSize();
        EXPECT_EQ(pool.getBlocksInUse(), 1u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(r.get()) % 64, 0u) << "an object with members starts a cache line";
        for (const oxObject* member : {static_cast<oxObject*>(r->_wide), static_cast<oxObject*>(r->_narrow),
                                       static_cast<oxObject*>(r->_leaf)}) {
            EXPECT_TRUE(inside(member, r.get(), block));
            EXPECT_EQ(member->getMemoryPool(), &pool);
            EXPECT_EQ(member->getMetaObjectFast(), member->getMetaObject());
        }
        // Lists before other members, the last declared first; the object right after its fields.
        EXPECT_LT(static_cast<void*>(r->_narrow), static_cast<void*>(r->_wide));
        EXPECT_LT(static_cast<void*>(r->_wide), static_cast<void*>(r->_leaf));
        EXPECT_LT(reinterpret_cast<char*>(r->_narrow.get()) - reinterpret_cast<char*>(r.get()), 64 + 8);

        // The room a field asks for, else the class's.
        EXPECT_EQ(r->_wide->getCapacity(), 40);
        EXPECT_EQ(r->_narrow->getCapacity(), 3);
        EXPECT_EQ(oxIntList::_instantiateRef()->getCapacity(), 4);
    }
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
    EXPECT_EQ(pool.getBytesInUse(), 0u);
}

TEST(Layout, AMemberHeldElsewhereOutlivesItsOwnerAndAnEmptySlotIsReused)
{
    oxMemoryPool pool("layout");
    const int leaves = Leaf::getClassTypeSafe()->getInstanceCount();
    oxSmartPointer<LeafList> kept;
    {
        oxSmartPointer<Roomy> r = Roomy::_instantiateRefFromPool(&pool);
        oxSmartPointer<Leaf> leaf = Leaf::_instantiateRef();
        r->_narrow->append(leaf);
        kept = r->_narrow;

        // A field given another object lets its member go; allocating the owned fields
        // again puts a new member in the same slot.
        oxObject* slot = r->_leaf;
        r->_leaf = Leaf::_instantiateRef();
        EXPECT_FALSE(inside(r->_leaf, r.get(), Roomy::getClassTypeSafe()->getBlockSize()));
        r->_leaf = nullptr;
        r->userAllocateFields(false);
        EXPECT_EQ(static_cast<oxObject*>(r->_leaf), slot);
        EXPECT_EQ(pool.getBlocksInUse(), 1u);
    }
    // The owner is gone; its block stays while the list lives, and the list still works.
    EXPECT_EQ(pool.getBlocksInUse(), 1u);
    EXPECT_EQ(kept->getCount(), 1);
    for (int i = 0; i < 10; ++i)
        kept->append(Leaf::_instantiateRef());
    EXPECT_EQ(kept->getCount(), 11);
    kept = nullptr;
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
    EXPECT_EQ(Leaf::getClassTypeSafe()->getInstanceCount(), leaves);
}

TEST(Layout, ListsMoveFromTheirRoomToTheHeapAndKeepTheirEntries)
{
    oxSmartPointer<LeafList> list = LeafList::_instantiateRef();
    std::vector<oxSmartPointer<Leaf>> leaves;
    for (int i = 0; i < 40; ++i) {
        leaves.push_back(Leaf::_instantiateRef());
        leaves.back()->_count = i;
        ASSERT_EQ(list->append(leaves.back()), i);
        ASSERT_EQ(leaves.back()->getRefCount(), 2);
    }
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(list->get(i)->_count, i);
    EXPECT_TRUE(list->insert(1, leaves[39]));
    EXPECT_EQ(list->get(1), leaves[39].get());
    EXPECT_EQ(list->get(2), leaves[1].get());
    list->removeAll();
    EXPECT_GE(list->getCapacity(), 41);
    EXPECT_EQ(leaves[0]->getRefCount(), 1);

    oxSmartPointer<oxDoubleList> numbers = oxDoubleList::_instantiateRef();
    EXPECT_EQ(numbers->getCapacity(), 2);
    for (int i = 0; i < 9; ++i)
        numbers->append(i * 0.5);
    EXPECT_EQ(numbers->getCount(), 9);
    EXPECT_DOUBLE_EQ(numbers->get(8), 4.0);
    numbers->setCapacity(0);
    EXPECT_EQ(numbers->getCapacity(), 9);
}

TEST(Layout, EntriesHeldWithoutAReferenceAreNeverReleased)
{
    oxSmartPointer<LeafList> list = LeafList::_instantiateRef();
    oxSmartPointer<Leaf> held = Leaf::_instantiateRef();
    oxSmartPointer<Leaf> unheld = Leaf::_instantiateRef();
    list->append(held);
    list->appendWithoutReference(unheld);
    list->append(held);
    EXPECT_EQ(held->getRefCount(), 3);
    EXPECT_EQ(unheld->getRefCount(), 1);
    EXPECT_EQ(list->get(1), unheld.get());
    EXPECT_EQ(list->find(unheld), 1);

    // A copy holds all it copies.
    oxSmartPointer<LeafList> copy = static_cast<LeafList*>(list->createCopy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(unheld->getRefCount(), 2);
    EXPECT_TRUE(copy->isAlikeShallow(list));
    copy = nullptr;

    EXPECT_TRUE(list->set(1, held));
    EXPECT_EQ(unheld->getRefCount(), 1);
    list->appendWithoutReference(unheld);
    list->removeAll();
    EXPECT_EQ(held->getRefCount(), 1);
    EXPECT_EQ(unheld->getRefCount(), 1);
}

TEST(Layout, BatchesLieSideBySideAndGoBackOneByOne)
{
    oxMemoryPool pool("batch");
    oxMetaObject* meta = Holder::getClassTypeSafe();
    const int before = meta->getInstanceCount();
    std::vector<oxObject*> made(300);
    ASSERT_EQ(meta->createInstances(&pool, 300, made.data()), 300);
    const size_t stride = size_t(reinterpret_cast<char*>(made[1]) - reinterpret_cast<char*>(made[0]));
    EXPECT_GE(stride, meta->getBlockSize());
    EXPECT_EQ(stride % 64, 0u);
    ASSERT_EQ(pool.getBlocksInUse(), 1u);
    for (int i = 1; i < 300; ++i)
        EXPECT_EQ(reinterpret_cast<char*>(made[size_t(i)]) - reinterpret_cast<char*>(made[0]), ptrdiff_t(stride) * i);
    EXPECT_EQ(meta->getInstanceCount(), before + 300);
    for (oxObject* o : made) {
        o->ref();
        EXPECT_EQ(o->getMemoryPool(), &pool);
        EXPECT_EQ(static_cast<Holder*>(o)->_count, 42);
        EXPECT_EQ(static_cast<Holder*>(o)->_leaves->getMemoryPool(), &pool);
    }
    // Released in any order; the memory goes back with the last object of a block.
    for (size_t i = 0; i < made.size(); i += 2)
        made[i]->release();
    EXPECT_GT(pool.getBlocksInUse(), 0u);
    for (size_t i = 1; i < made.size(); i += 2)
        made[i]->release();
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
    EXPECT_EQ(meta->getInstanceCount(), before);
}

TEST(Layout, MemoryPoolAlignsSharesAndRefusesAbsurdSizes)
{
    oxMemoryPool pool("raw");
    void* line = pool.allocate(100, 64);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(line) % 64, 0u);
    EXPECT_EQ(oxMemoryPool::sizeOf(line), 100u);
    EXPECT_EQ(oxMemoryPool::poolOf(line), &pool);
    oxMemoryPool::addUser(line);
    oxMemoryPool::releaseUser(line);
    EXPECT_EQ(pool.getBlocksInUse(), 1u);
    oxMemoryPool::releaseUser(line);
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
    EXPECT_EQ(pool.allocate(size_t(1) << 40), nullptr);
    EXPECT_EQ(pool.allocate(8, 3), nullptr);
    EXPECT_EQ(pool.getBytesInUse(), 0u);
}
