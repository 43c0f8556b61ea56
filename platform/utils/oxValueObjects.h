#pragma once
#include "platform/core/oxMetaObject.h"
#include "platform/core/oxObject.h"

namespace Kel::Utils {

// A reference-counted single value that others can share and drive: user parameters of
// shaders, values that data pumps animate. The value is the declared field "_value", so that
// code that knows only the metadata can read it and copy it into fields of the same kind.
template <class T>
class oxTValueObject : public Core::oxObject {
public:
    using ValueType = T;
    T getValue() const { return _value; }
    void setValue(T value) { _value = value; }

protected:
    oxTValueObject() = default;
    T _value{};
};

// One registered value class over oxTValueObject<Type>.
#define OX_VALUE_OBJECT(Name, Type)                                                                 \
    class Name : public ::Kel::Utils::oxTValueObject<Type> {                                       \
        OX_CLASS(Name, ::Kel::Core::oxObject)                                                      \
        OX_FIELDS(value)                                                                           \
    protected:                                                                                     \
        Name() = default;                                                                          \
        static void arkRegisterInitialize(::Kel::Core::oxFields<Name>& f)                          \
        {                                                                                          \
            f.add(&k_value, "_value", static_cast<Type Name::*>(&Name::_value));                   \
        }                                                                                          \
    };

OX_VALUE_OBJECT(oxIntObject, int32_t)
OX_VALUE_OBJECT(oxFloatObject, float)
OX_VALUE_OBJECT(oxBoolObject, bool)

} // namespace Kel::Utils
