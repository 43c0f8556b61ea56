#include <gtest/gtest.h>

#include <vector>

#include "sg/OXSg.h"

using namespace Kel::Sg;

TEST(ObjectPool, GrowsHandsOutAndTakesBack)
{
    oxSmartPointer<oxMatrixObjectPool> pool = oxMatrixObjectPool::_instantiateRef();
    EXPECT_EQ(pool->getObjectMeta(), oxMatrixObject::getClassTypeSafe());
    int before = oxMatrixObject::getClassTypeSafe()->getInstanceCount();

    std::vector<oxMatrixObject*> got;
    for (int i = 0; i < 5; ++i)
        got.push_back(pool->allocate());
    EXPECT_EQ(pool->getCount(), 50);
    EXPECT_EQ(got[0], pool->get(0));
    EXPECT_EQ(pool->getFreeIndex(), 5);

    // The third of five swaps with the fifth and comes back first, reset.
    got[2]->setMatrix(oxMatrix44f().makeTranslation(oxVec3f(1, 2, 3)));
    pool->deallocate(got[2]);
    EXPECT_EQ(pool->get(2), got[4]);
    EXPECT_EQ(pool->get(4), got[2]);
    EXPECT_EQ(pool->getFreeIndex(), 4);
    oxMatrixObject* again = pool->allocate();
    EXPECT_EQ(again, got[2]);
    EXPECT_TRUE(again->getMatrix().isIdentity());

    // Freeing something already free, or foreign, leaves the handed-out region alone.
    pool->deallocate(pool->get(30));
    oxSmartPointer<oxMatrixObject> foreign = oxMatrixObject::_instantiateRef();
    pool->deallocate(foreign);
    EXPECT_EQ(pool->getFreeIndex(), 5);

    for (int i = 5; i < 51; ++i)
        pool->allocate();
    EXPECT_EQ(pool->getCount(), 100);

    // Reset frees everything at once; objects keep their values.
    pool->get(0)->setMatrix(oxMatrix44f().makeScale(oxVec3f(2, 2, 2)));
    pool->reset();
    oxMatrixObject* first = pool->allocate();
    EXPECT_EQ(first, pool->get(0));
    EXPECT_FALSE(first->getMatrix().isIdentity());

    EXPECT_EQ(pool->allocateTo(60), 60);
    EXPECT_EQ(pool->getFreeIndex(), 61);
    EXPECT_EQ(pool->getCount(), 100);
    EXPECT_EQ(pool->allocateTo(39), 39);
    EXPECT_EQ(pool->getCount(), 150); // 61 + 39 reached the count: it grows past it
    pool.reset();
    EXPECT_EQ(oxMatrixObject::getClassTypeSafe()->getInstanceCount(), before + 1); // only `foreign`
}

TEST(ObjectPool, UnbuildableClassGivesNull)
{
    oxSmartPointer<oxObjectPool> pool = oxObjectPool::_instantiateRef();
    EXPECT_EQ(pool->allocate(), nullptr);
    pool->setObjectMeta(oxPropertyKey::getClassTypeSafe());
    EXPECT_EQ(pool->allocate(), nullptr);
    EXPECT_EQ(pool->allocateTo(3), 0);
    pool->setObjectMeta(oxStringKey::getClassTypeSafe());
    pool->setCapabilityIncrease(0);
    EXPECT_NE(pool->allocate(), nullptr);
    EXPECT_EQ(pool->getCount(), 1);
}

TEST(BitMask, WordsGrowClearedAndBitsMove)
{
    oxSmartPointer<oxBitMask> m = oxBitMask::_instantiateRef();
    m->setBitCount(33);
    EXPECT_EQ(m->getCount(), 2);
    m->setAll(true);
    EXPECT_EQ(m->get(1), 0xffffffffu); // unused high bits too
    m->setBitCount(40);
    for (unsigned i = 0; i < 33; ++i)
        EXPECT_TRUE(m->getBit(i)) << i;
    for (unsigned i = 33; i < 40; ++i)
        EXPECT_FALSE(m->getBit(i)) << i;
    m->setBitCount(64);
    m->setBitCount(65);
    EXPECT_EQ(m->getCount(), 3);
    EXPECT_EQ(m->get(2), 0u);

    oxSmartPointer<oxBitMask> r = oxBitMask::_instantiateRef();
    r->addBit(true);
    r->addBit(false);
    r->addBit(true);
    r->removeBit(0);
    EXPECT_EQ(r->getBitCount(), 2u);
    EXPECT_FALSE(r->isOn(0));
    EXPECT_TRUE(r->isOn(1));
    r->toggleBit(0);
    r->clearBit(1);
    EXPECT_TRUE(r->getBit(0));
    EXPECT_FALSE(r->getBit(1));

    // Shrinking only lowers the count; regrowing clears what was above it.
    r->setBit(1);
    r->setBitCount(1);
    r->setBitCount(2);
    EXPECT_FALSE(r->getBit(1));
    r->clearAll();
    EXPECT_EQ(r->get(0), 0u);
}

namespace {
oxSmartPointer<oxStringKey> key(const char* text)
{
    oxSmartPointer<oxStringKey> k = oxStringKey::_instantiateRef();
    k->setValue(text);
    return k;
}

const char* valueOf(oxProperty* p)
{
    return p ? static_cast<oxStringValue*>(p->getValue())->getValue().c_str() : nullptr;
}
} // namespace

TEST(UserInfo, SimpleKeepsOrderAndDuplicates)
{
    oxSmartPointer<oxSimpleUserInfo> info = oxSimpleUserInfo::_instantiateRef();
    EXPECT_EQ(info->insertProperty(oxProperty::makeText("b", "1")), kSuccess);
    EXPECT_EQ(info->insertProperty(oxProperty::makeText("a", "2")), kSuccess);
    EXPECT_EQ(info->insertProperty(oxProperty::makeText("b", "3")), kSuccess);
    EXPECT_EQ(info->insertProperty(0, oxProperty::makeText("c", "4")), kSuccess);
    EXPECT_EQ(info->insertProperty(nullptr), kFailure);
    EXPECT_EQ(info->getPropertyCount(), 4);
    EXPECT_STREQ(valueOf(info->getProperty(key("b"))), "1");
    EXPECT_EQ(info->getProperty(key("z")), nullptr);
    EXPECT_EQ(info->removeProperty(key("b")), kSuccess);
    EXPECT_STREQ(valueOf(info->getProperty(key("b"))), "3");
    EXPECT_EQ(info->removeProperty(0), kSuccess);
    EXPECT_EQ(info->removeProperty(7), kFailure);
    EXPECT_EQ(info->getProperty(key("c")), nullptr);
}

TEST(UserInfo, HashedKeepsOneSortedPropertyPerKey)
{
    oxSmartPointer<oxHashedUserInfo> info = oxHashedUserInfo::_instantiateRef();
    for (const char* k : {"m", "c", "x", "a", "q"})
        EXPECT_EQ(info->insertProperty(oxProperty::makeText(k, k)), kSuccess);
    EXPECT_EQ(info->insertProperty(oxProperty::makeText("c", "again")), kFailure);
    ASSERT_EQ(info->getPropertyCount(), 5);
    std::string order;
    for (int i = 0; i < 5; ++i)
        order += static_cast<oxStringKey*>(info->getPropertyList()->get(i)->getKey())->getValue().c_str();
    EXPECT_EQ(order, "acmqx");
    EXPECT_STREQ(valueOf(info->getProperty(key("c"))), "c");
    EXPECT_EQ(info->getProperty(key("b")), nullptr);
    oxSmartPointer<oxStringKey> probe = key("q");
    EXPECT_EQ(info->removeProperty(probe), kSuccess);
    EXPECT_EQ(probe->getRefCount(), 1); // the lookup probe does not keep keys alive
    EXPECT_EQ(info->removeProperty(key("q")), kFailure);
    EXPECT_EQ(info->getPropertyCount(), 4);
}
