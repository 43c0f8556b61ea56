#include <gtest/gtest.h>

#include "tests/platform/core/testClasses.h"

using namespace Kel::Core;
using namespace coretest;

namespace {
class Unused : public oxObject {
    OX_CLASS(Unused, oxObject)
};
} // namespace

TEST(MetaObject, LazyThenRegisteredOnFirstUse)
{
    EXPECT_EQ(Unused::getClassType(), nullptr);
    oxMetaObject* lazy = Unused::getClassTypeLazy();
    ASSERT_NE(lazy, nullptr);
    EXPECT_FALSE(lazy->isRegistered());
    EXPECT_EQ(oxMetaObject::findType("Unused"), nullptr);
    EXPECT_EQ(Unused::getClassTypeSafe(), lazy);
    EXPECT_TRUE(lazy->isRegistered());
    EXPECT_EQ(oxMetaObject::findType("Unused"), lazy);
}

TEST(MetaObject, FieldsInheritedFirstAndHooksRunOncePerClass)
{
    oxMetaObject* plain = Plain::getClassTypeSafe();
    oxMetaObject* holder = Holder::getClassTypeSafe();
    oxMetaObject* leaf = Leaf::getClassTypeSafe();
    EXPECT_EQ(plain->getParent(), holder);
    EXPECT_EQ(holder->getParent(), leaf);
    EXPECT_EQ(leaf->getParent(), oxNamedObject::getClassTypeSafe());
    ASSERT_EQ(leaf->getMetaFieldCount(), 11);
    EXPECT_EQ(holder->getMetaFieldCount(), 15);
    EXPECT_EQ(plain->getMetaFieldCount(), 15);
    EXPECT_STREQ(holder->getIndexedMetaField(0)->getName(), "_name");
    EXPECT_STREQ(holder->getIndexedMetaField(11)->getName(), "_leaves");
    EXPECT_EQ(Leaf::k_count, leaf->getMetaField("_count"));
    // The redeclared default lives in a copy that only Holder and below see.
    EXPECT_NE(holder->getMetaField("_count"), leaf->getMetaField("_count"));
    EXPECT_EQ(plain->getMetaField("_count"), holder->getMetaField("_count"));
    EXPECT_EQ(Holder::userRegistered, 1);
    // The element class of a typed list registers with the list.
    EXPECT_TRUE(LeafList::getClassTypeSafe()->isRegistered());

    EXPECT_TRUE(plain->isDerivedFrom(leaf));
    EXPECT_FALSE(leaf->isDerivedFrom(plain));
    EXPECT_TRUE(Shape::getClassTypeSafe()->isAbstract());
    EXPECT_FALSE(Shape::getClassTypeSafe()->canInstantiate());
    EXPECT_EQ(Shape::getClassTypeSafe()->createInstance(), nullptr);
}

TEST(MetaObject, InstantiationAppliesDefaultsAndCreatesOwnedMembers)
{
    oxSmartPointer<Holder> h = Holder::_instantiateRef();
    EXPECT_EQ(h->_count, 42);
    EXPECT_EQ(h->_scale, 2.5);
    EXPECT_EQ(h->_mode, Leaf::kSlow);
    EXPECT_STREQ(h->_label.c_str(), "unnamed");
    EXPECT_EQ(h->_tiny, -3);
    EXPECT_EQ(h->_big, uint64_t(1) << 40);
    EXPECT_TRUE(h->_on);
    ASSERT_TRUE(h->_leaves);
    ASSERT_TRUE(h->_numbers);
    EXPECT_EQ(h->_other, nullptr);
    EXPECT_TRUE(h->getName().isNull());

    oxSmartPointer<Leaf> l = Leaf::_instantiateRef();
    EXPECT_EQ(l->_count, 7);

    oxObject* byName = oxMetaObject::findType("Holder")->createInstance();
    ASSERT_NE(byName, nullptr);
    EXPECT_NE(Holder::dynamicCast(byName), nullptr);
    EXPECT_EQ(Plain::dynamicCast(byName), nullptr);
    EXPECT_EQ(Holder::dynamicCast(static_cast<oxObject*>(nullptr)), nullptr);
    byName->release();
}

TEST(MetaObject, InstanceCountsAndReferences)
{
    oxMetaObject* meta = Leaf::getClassTypeSafe();
    int before = meta->getInstanceCount();
    {
        oxSmartPointer<Holder> h = Holder::_instantiateRef();
        oxSmartPointer<Leaf> a = Leaf::_instantiateRef();
        h->_leaves->append(a);
        h->_leaves->append(a);
        h->_other = a;
        EXPECT_EQ(a->getRefCount(), 4);
        EXPECT_EQ(meta->getInstanceCount(), before + 1);
        h->_leaves->remove(0);
        EXPECT_EQ(a->getRefCount(), 3);
    }
    EXPECT_EQ(meta->getInstanceCount(), before);
    EXPECT_EQ(Holder::getClassTypeSafe()->getInstanceCount(), 0);
    EXPECT_EQ(LeafList::getClassTypeSafe()->getInstanceCount(), 0);
}

TEST(MetaObject, MemoryPoolsAccountForEveryObject)
{
    oxMemoryPool pool("test");
    {
        oxSmartPointer<Holder> h = Holder::_instantiateRefFromPool(&pool);
        EXPECT_EQ(h->getMemoryPool(), &pool);
        // Owned members come from their owner's pool, inside the owner's own block.
        EXPECT_EQ(h->_leaves->getMemoryPool(), &pool);
        EXPECT_EQ(pool.getBlocksInUse(), 1u);
    }
    EXPECT_EQ(pool.getBlocksInUse(), 0u);
    EXPECT_EQ(pool.getBytesInUse(), 0u);
}

TEST(MetaField, TextFormsParseValidateAndNotify)
{
    oxSmartPointer<Leaf> l = Leaf::_instantiateRef();
    oxMetaObject* meta = Leaf::getClassTypeSafe();
    int changes = Leaf::changes;
    EXPECT_TRUE(meta->setFieldFromText(l, "_count", "-12"));
    EXPECT_EQ(l->_count, -12);
    EXPECT_EQ(Leaf::changes, changes + 1);
    EXPECT_FALSE(meta->setFieldFromText(l, "_count", "12abc"));
    EXPECT_FALSE(meta->setFieldFromText(l, "_count", "99999999999"));
    EXPECT_FALSE(meta->setFieldFromText(l, "_tiny", "40000"));
    EXPECT_EQ(l->_count, -12);
    EXPECT_EQ(Leaf::changes, changes + 1);

    EXPECT_TRUE(meta->setFieldFromText(l, "_mode", "kFastest"));
    EXPECT_EQ(l->_mode, 5);
    EXPECT_EQ(Leaf::k_mode->toText(l), "kFastest");
    EXPECT_TRUE(meta->setFieldFromText(l, "_mode", "4"));
    EXPECT_EQ(Leaf::k_mode->toText(l), "kFast");
    EXPECT_FALSE(meta->setFieldFromText(l, "_mode", "kMedium"));

    EXPECT_TRUE(meta->setFieldFromText(l, "_weights", "1.5, 2 -3"));
    EXPECT_EQ(l->_weights[2], -3.0f);
    EXPECT_FALSE(meta->setFieldFromText(l, "_weights", "1 2"));
    EXPECT_FALSE(meta->setFieldFromText(l, "_weights", "1 2 3 4"));
    EXPECT_EQ(Leaf::k_weights->toText(l), "1.5 2 -3");

    EXPECT_TRUE(meta->setFieldFromText(l, "_tag", "abcdefg"));
    EXPECT_FALSE(meta->setFieldFromText(l, "_tag", "abcdefgh"));
    EXPECT_EQ(Leaf::k_tag->toText(l), "abcdefg");
    EXPECT_TRUE(meta->setFieldFromText(l, "_on", "false"));
    EXPECT_FALSE(l->_on);
    EXPECT_FALSE(meta->setFieldFromText(l, "_on", "maybe"));
    EXPECT_TRUE(meta->setFieldFromText(l, "_big", "18446744073709551615"));
    EXPECT_EQ(l->_big, UINT64_MAX);
    EXPECT_FALSE(meta->setFieldFromText(l, "_big", "-1"));
    EXPECT_FALSE(meta->setFieldFromText(l, "_nosuchfield", "1"));

    double d = 0;
    EXPECT_TRUE(Leaf::k_scale->set(l.get(), 0.1));
    EXPECT_TRUE(Leaf::k_scale->get(l.get(), d));
    EXPECT_EQ(d, 0.1);
    EXPECT_EQ(std::stod(Leaf::k_scale->toText(l)), 0.1);
    float wrong = 0;
    EXPECT_FALSE(Leaf::k_scale->get(l.get(), wrong));
}

TEST(MetaField, ObjectReferencesAreTypeChecked)
{
    oxSmartPointer<Holder> h = Holder::_instantiateRef();
    oxSmartPointer<Leaf> leaf = Leaf::_instantiateRef();
    oxSmartPointer<oxIntList> notALeaf = oxIntList::_instantiateRef();
    EXPECT_TRUE(Holder::k_other->setObject(h, leaf));
    EXPECT_EQ(h->_other, leaf);
    EXPECT_FALSE(Holder::k_other->setObject(h, notALeaf));
    EXPECT_EQ(h->_other, leaf);
    EXPECT_FALSE(Holder::k_other->setObject(h, leaf, 1));
    EXPECT_FALSE(Holder::k_other->setFromText(h, "Leaf"));
    EXPECT_EQ(Holder::k_other->getReferencedClass(), Leaf::getClassTypeSafe());
}

TEST(Object, CopyAndCompare)
{
    oxSmartPointer<Holder> h = Holder::_instantiateRef();
    oxSmartPointer<Leaf> shared = Leaf::_instantiateRef();
    h->setName("root");
    h->_count = 3;
    h->_other = shared;
    h->_leaves->append(shared);
    h->_leaves->append(shared);
    h->_numbers->append(1.5f);
    h->_bytes.assign("xyz", 3);

    oxSmartPointer<Holder> s = static_cast<Holder*>(h->createCopy(oxObject::kShallowCopy));
    EXPECT_TRUE(s->isAlikeShallow(h));
    EXPECT_EQ(s->_other, shared);
    EXPECT_NE(s->_leaves, h->_leaves); // owned members are copied, not shared
    EXPECT_EQ(s->_leaves->get(1), shared);
    s->_numbers->set(0, 2.0f);
    EXPECT_FALSE(s->isAlikeShallow(h));

    oxSmartPointer<Holder> d = static_cast<Holder*>(h->createCopy(oxObject::kDeepCopy));
    EXPECT_NE(d->_other, shared);
    // Sharing inside the original survives the deep copy.
    EXPECT_EQ(d->_other, d->_leaves->get(0));
    EXPECT_EQ(d->_leaves->get(0), d->_leaves->get(1));
    EXPECT_TRUE(d->_other->isAlikeShallow(shared));
    EXPECT_EQ(d->_bytes, h->_bytes);
    EXPECT_STREQ(d->getName().c_str(), "root");

    // A cycle ends.
    oxSmartPointer<Holder> a = Holder::_instantiateRef();
    oxSmartPointer<Holder> b = Holder::_instantiateRef();
    a->_other = b;
    b->_other = a;
    oxSmartPointer<Holder> ac = static_cast<Holder*>(a->createCopy(oxObject::kDeepCopy));
    EXPECT_EQ(Holder::dynamicCast(ac->_other.get())->_other, ac.get());
    b->_other = nullptr;
    ac->_other.reset();

    oxSmartPointer<Leaf> leaf = Leaf::_instantiateRef();
    EXPECT_EQ(h->copy(leaf), kFailure); // a Leaf is not a Holder
    EXPECT_EQ(leaf->copy(h), kSuccess); // a Holder is a Leaf
    EXPECT_EQ(leaf->_count, 3);
}
