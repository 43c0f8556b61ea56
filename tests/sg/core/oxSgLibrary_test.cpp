#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>

#include "sg/OXSg.h"

using namespace Kel::Sg;

TEST(Library, RegistersEveryClassOnceWithEnumerations)
{
    Kel::libOXSg_arkRegister();
    EXPECT_TRUE(Kel::_libOXSg_IsInitialized());
    int count = oxMetaObject::getRegisteredCount();
    Kel::libOXSg_arkRegister();
    EXPECT_EQ(oxMetaObject::getRegisteredCount(), count);

    // Parents register before the classes that derive from them.
    oxMetaObject* userInfo = oxUserInfo::getClassTypeSafe();
    EXPECT_TRUE(userInfo->isAbstract());
    EXPECT_TRUE(oxPropertyKey::getClassTypeSafe()->isAbstract());
    EXPECT_TRUE(oxPropertyValue::getClassTypeSafe()->isAbstract());
    EXPECT_FALSE(oxHashedUserInfo::getClassTypeSafe()->isAbstract());

    // Stored flag words and enumerations are read by value.
    int v = 0;
    EXPECT_TRUE(oxNode::getNODE_FLAGSMetaEnum()->getEnumValue("IS_DYNAMIC", v));
    EXPECT_EQ(v, 64);
    EXPECT_TRUE(oxNode::getNODE_FLAGSMetaEnum()->getEnumValue("ENDBIT", v));
    EXPECT_EQ(v, 64);
    EXPECT_STREQ(oxNode::getNODE_FLAGSMetaEnum()->getEnumName(1), "START_BIT");
    EXPECT_TRUE(getOX_TRAVERSAL_SELECT_NODE_RETURNMetaEnum()->getEnumValue("OX_SELECT_NODE_PASS_THROUGH", v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(getCameraTypeMetaEnum()->getEnumValue("CameraTarget", v));
    EXPECT_EQ(v, 1);
}

TEST(Library, CreateLibraryObjectLeavesTheOnlyReference)
{
    // Found by its plain name, as a host that loads the library would.
    using Create = void (*)(oxSmartPointer<oxLibrary>&);
    auto create = reinterpret_cast<Create>(dlsym(RTLD_DEFAULT, "createLibraryObject"));
    ASSERT_NE(create, nullptr);
    oxSmartPointer<oxLibrary> lib;
    create(lib);
    ASSERT_TRUE(lib);
    EXPECT_EQ(lib->getRefCount(), 1);
    EXPECT_EQ(lib->_registerFunction, &Kel::libOXSg_arkRegister);
    oxSmartPointer<oxLibrary> second;
    create(second);
    EXPECT_NE(second.get(), lib.get());
}

// Walks the registry itself, so every class added later is checked too.
TEST(Library, EveryRegisteredClassIsWellFormed)
{
    Kel::Sg::oxArkRegisterForOXBFiles();
    int checked = 0;
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        SCOPED_TRACE(meta->getName());
        EXPECT_EQ(oxMetaObject::findType(meta->getName()), meta);
        EXPECT_TRUE(meta->isRegistered());
        std::set<std::string> names;
        for (int f = 0; f < meta->getMetaFieldCount(); ++f) {
            oxMetaField* field = meta->getIndexedMetaField(f);
            EXPECT_TRUE(names.insert(field->getName()).second) << "duplicate field " << field->getName();
            // The mesh simplifier's working records (class names beginning with '_') name
            // their fields as plain record members.
            if (meta->getName()[0] != '_') {
                EXPECT_EQ(field->getName()[0], '_') << field->getName();
            }
            if (oxIsObjectKind(field->getKind())) {
                EXPECT_NE(field->getReferencedClass(), nullptr) << field->getName();
            }
            if (field->isConstructWithOwner()) {
                EXPECT_TRUE(field->getReferencedClass()->canInstantiate()) << field->getName();
            }
        }
        if (meta->getParent()) {
            // Inherited fields come first, in the parent's order.
            ASSERT_GE(meta->getMetaFieldCount(), meta->getParent()->getMetaFieldCount());
            for (int f = 0; f < meta->getParent()->getMetaFieldCount(); ++f)
                EXPECT_STREQ(meta->getIndexedMetaField(f)->getName(), meta->getParent()->getIndexedMetaField(f)->getName());
        }
        if (!meta->canInstantiate())
            continue;
        int before = meta->getInstanceCount();
        oxObject* object = meta->createInstance();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->getMetaObject(), meta);
        EXPECT_EQ(meta->getInstanceCount(), before + 1);
        oxObject* twin = meta->createInstance();
        for (int f = 0; f < meta->getMetaFieldCount(); ++f) {
            oxMetaField* field = meta->getIndexedMetaField(f);
            bool inherentFlags = field == oxNode::k_flags && object->isOfType<oxNode>() &&
                                 static_cast<oxNode*>(object)->getFlags() == static_cast<oxNode*>(object)->getInherantFlags();
            EXPECT_TRUE(field->hasDefaultValue(object) || inherentFlags)
                << field->getName() << " = " << field->toText(object);
            // Owned members belong to one owner each.
            if (field->isConstructWithOwner()) {
                EXPECT_NE(field->getObject(object), field->getObject(twin)) << field->getName();
            }
        }
        twin->release();
        object->release();
        EXPECT_EQ(meta->getInstanceCount(), before);
        ++checked;
    }
    EXPECT_GT(checked, 20);
}
