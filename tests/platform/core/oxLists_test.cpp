#include <gtest/gtest.h>

#include <algorithm>

#include "tests/platform/core/testClasses.h"

using namespace Kel::Core;

TEST(DataList, BehavesAsAnArray)
{
    oxSmartPointer<oxIntList> l = oxIntList::_instantiateRef();
    EXPECT_EQ(l->getCount(), 0);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(l->append(i * 2), i);
    EXPECT_TRUE(l->insert(0, -1));
    EXPECT_FALSE(l->insert(102, 5));
    EXPECT_FALSE(l->insert(-1, 5));
    EXPECT_EQ(l->getCount(), 101);
    EXPECT_EQ(l->get(0), -1);
    EXPECT_EQ(l->get(100), 198);
    EXPECT_EQ(l->find(10), 6);
    EXPECT_EQ(l->find(11), -1);
    EXPECT_TRUE(l->remove(0, 51));
    EXPECT_FALSE(l->remove(40, 20));
    EXPECT_EQ(l->getCount(), 50);
    EXPECT_EQ(l->get(0), 100);
    l->resizeAndSetCount(52);
    EXPECT_EQ(l->get(51), 0); // grown entries are zero
    l->setCapacity(0);        // never below the count
    EXPECT_GE(l->getCapacity(), 52);
}

TEST(DataList, SortedOperationsAndStableSort)
{
    auto cmp = [](const void* a, const void* b) {
        int x = *static_cast<const int*>(a) / 10, y = *static_cast<const int*>(b) / 10;
        return (x > y) - (x < y);
    };
    oxSmartPointer<oxIntList> l = oxIntList::_instantiateRef();
    for (int v : {53, 12, 98, 11, 57, 30})
        l->sortedInsertRaw(&v, cmp);
    std::vector<int> got(l->begin(), l->end());
    EXPECT_EQ(got, (std::vector<int>{12, 11, 30, 53, 57, 98})); // equal keys keep insertion order
    int probe = 35;
    EXPECT_EQ(l->sortedFindRaw(&probe, cmp), 2);
    probe = 40;
    EXPECT_EQ(l->sortedFindRaw(&probe, cmp), -1);

    oxSmartPointer<oxIntList> u = oxIntList::_instantiateRef();
    for (int v : {52, 31, 14, 33, 11, 58, 0, 99, 35})
        u->append(v);
    u->bubbleSort4(cmp);
    std::vector<int> sorted(u->begin(), u->end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 14, 11, 31, 33, 35, 52, 58, 99}));
}

TEST(ObjectList, HoldsReferencesOnlyWhenCounted)
{
    oxSmartPointer<coretest::Leaf> a = coretest::Leaf::_instantiateRef();
    {
        oxSmartPointer<oxObjectList> held = oxObjectList::_instantiateRef();
        oxSmartPointer<oxNonRefCountedObjectList> plain = oxNonRefCountedObjectList::_instantiateRef();
        held->appendObject(a);
        held->appendObject(nullptr);
        plain->appendObject(a);
        EXPECT_EQ(a->getRefCount(), 2);
        EXPECT_TRUE(held->setObject(1, a));
        EXPECT_EQ(a->getRefCount(), 3);
        EXPECT_FALSE(held->setObject(2, a));
        EXPECT_EQ(held->removeObject(a), 0);
        EXPECT_EQ(a->getRefCount(), 2);
        held->setCount(4);
        EXPECT_EQ(held->getCount(), 4);
        EXPECT_EQ(held->getObject(3), nullptr);
        held->setCount(0);
        EXPECT_EQ(a->getRefCount(), 1);
        EXPECT_FALSE(held->remove(0));
    }
    EXPECT_EQ(a->getRefCount(), 1);
}

TEST(Strings, PooledAndNullDistinctFromEmpty)
{
    size_t before = oxStringRef::getPoolSize();
    {
        oxStringRef a("hello"), b(std::string("hel") + "lo"), empty(""), null;
        EXPECT_EQ(a, b);
        EXPECT_EQ(a.get(), b.get());
        EXPECT_EQ(oxStringRef::getPoolSize(), before + 2);
        EXPECT_TRUE(null.isNull());
        EXPECT_FALSE(empty.isNull());
        EXPECT_FALSE(null == empty);
        EXPECT_STREQ(null.c_str(), "");
        EXPECT_EQ(null.get(), nullptr);
        EXPECT_LT(null.compare(empty), 0);
        EXPECT_LT(oxStringRef("abc").compare(oxStringRef("abd")), 0);
        EXPECT_GT(oxStringRef("\xff").compare(oxStringRef("a")), 0); // bytes compare unsigned
    }
    EXPECT_EQ(oxStringRef::getPoolSize(), before);

    oxSmartPointer<oxObjectStringMap> map = oxObjectStringMap::_instantiateRef();
    oxSmartPointer<oxStringObj> s = oxStringObj::_instantiateRef();
    map->insert("b", s);
    map->insert("a", s);
    EXPECT_EQ(s->getRefCount(), 3);
    EXPECT_EQ(map->find("a"), s.get());
    EXPECT_EQ(map->find("c"), nullptr);
    std::string order;
    map->forEach([&](const std::string& name, oxObject*) { order += name; });
    EXPECT_EQ(order, "ab");
    // Alike: the same names for the same objects.
    oxSmartPointer<oxObjectStringMap> other = oxObjectStringMap::_instantiateRef();
    other->insert("a", s);
    EXPECT_FALSE(map->isAlikeShallow(other));
    other->insert("b", s);
    EXPECT_TRUE(map->isAlikeShallow(other));
    other->insert("b", oxStringObj::_instantiateRef());
    EXPECT_FALSE(map->isAlikeShallow(other));
    other->remove("b");
    other->insert("c", s);
    EXPECT_FALSE(map->isAlikeShallow(other));
    other = nullptr;
    EXPECT_TRUE(map->remove("a"));
    EXPECT_FALSE(map->remove("a"));
    EXPECT_EQ(s->getRefCount(), 2);
}
