#include <gtest/gtest.h>

#include <string>

#include "platform/core/OXCore.h"
#include "platform/utils/OXUtils.h"

using namespace Kel::Core;
using namespace Kel::Utils;

namespace {
// The checks a caller that knows only the metadata relies on: one field "_value" of the
// value's kind, reachable by name, set and copied through the metadata.
template <class C, class T>
void checkValueClass(const char* className, oxFieldKind kind, T value, const char* text)
{
    SCOPED_TRACE(className);
    oxMetaObject* meta = C::getClassTypeSafe();
    ASSERT_EQ(meta, oxMetaObject::findType(className));
    EXPECT_TRUE(meta->isDerivedFrom(oxObject::getClassTypeSafe()));
    ASSERT_EQ(meta->getMetaFieldCount(), 1);
    oxMetaField* field = meta->getMetaField("_value");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field, C::k_value);
    EXPECT_EQ(field->getKind(), kind);

    oxSmartPointer<C> a = C::_instantiateRef();
    EXPECT_EQ(a->getValue(), T{});
    EXPECT_TRUE(field->hasDefaultValue(a.get()));
    a->setValue(value);
    T read{};
    ASSERT_TRUE(field->get(a.get(), read));
    EXPECT_EQ(read, value);
    EXPECT_EQ(field->toText(a.get()), text);

    oxSmartPointer<oxObject> made = meta->createInstanceRef(nullptr);
    ASSERT_NE(C::dynamicCast(made.get()), nullptr);
    EXPECT_FALSE(made->isAlikeShallow(a.get()));
    field->copyValue(made.get(), a.get());
    EXPECT_EQ(C::dynamicCast(made.get())->getValue(), value);
    EXPECT_TRUE(made->isAlikeShallow(a.get()));
    EXPECT_TRUE(field->setFromText(made.get(), std::string(field->toText(a.get()))));
    EXPECT_EQ(C::dynamicCast(made.get())->getValue(), value);
}
} // namespace

TEST(ValueObjects, OneValueFieldOfTheValuesKind)
{
    Kel::libOXUtils_arkRegister();
    checkValueClass<oxIntObject, int32_t>("oxIntObject", oxFieldKind::Int, -42, "-42");
    checkValueClass<oxFloatObject, float>("oxFloatObject", oxFieldKind::Float, 2.5f, "2.5");
    checkValueClass<oxBoolObject, bool>("oxBoolObject", oxFieldKind::Bool, true, "true");

    // The three are unrelated classes: a caller tells them apart by type.
    oxSmartPointer<oxIntObject> i = oxIntObject::_instantiateRef();
    EXPECT_EQ(oxFloatObject::dynamicCast(i.get()), nullptr);
    EXPECT_EQ(oxBoolObject::dynamicCast(i.get()), nullptr);
    EXPECT_NE(oxIntObject::k_value, oxFloatObject::k_value);
}
