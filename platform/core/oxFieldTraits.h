#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/core/oxSmartPointer.h"
#include "platform/core/oxStringRef.h"

namespace Kel::Core {

class oxObject;
class oxMemoryBlock;

// The stored types a class field can have. A field's kind decides how it is defaulted,
// copied, compared, printed, parsed and written to files.
enum class oxFieldKind : uint8_t {
    Int,
    UnsignedInt,
    Short,
    UnsignedShort,
    UnsignedChar,
    Long,
    UnsignedLong,
    Bool,
    Float,
    Double,
    Enum,
    String,
    ObjectRef,      // holds a reference
    RawRef,         // plain pointer to an object, holds nothing
    MemoryRef,      // owned block of raw bytes
    CharArray,      // fixed-size text buffer
    UnsignedCharArray,
    FloatArray,
    ObjectRefArray, // fixed-size array of references
    Vec2f,
    Vec3f,
    Vec4f,
    Matrix44f,
    Quaternionf,
    Pointer,        // plain pointer to data or code (callbacks, user data): run-time only
};

const char* oxFieldKindName(oxFieldKind kind);

// Plain-data kinds live in the object as their bytes; the rest need their own handling.
constexpr bool oxIsPlainKind(oxFieldKind k)
{
    return k != oxFieldKind::String && k != oxFieldKind::ObjectRef && k != oxFieldKind::RawRef &&
           k != oxFieldKind::MemoryRef && k != oxFieldKind::ObjectRefArray;
}

constexpr bool oxIsObjectKind(oxFieldKind k)
{
    return k == oxFieldKind::ObjectRef || k == oxFieldKind::RawRef || k == oxFieldKind::ObjectRefArray;
}

// Maps a member's C++ type to its kind. Types without a specialisation cannot be declared
// as fields: the compiler says so. `count` is the number of scalars (or references) held.
template <class T, class Enable = void>
struct oxFieldTraits;

#define OX_SCALAR_FIELD_TRAITS(Type, Kind)                   \
    template <>                                              \
    struct oxFieldTraits<Type> {                             \
        static constexpr oxFieldKind kind = oxFieldKind::Kind; \
        static constexpr int count = 1;                      \
    };
OX_SCALAR_FIELD_TRAITS(int32_t, Int)
OX_SCALAR_FIELD_TRAITS(uint32_t, UnsignedInt)
OX_SCALAR_FIELD_TRAITS(int16_t, Short)
OX_SCALAR_FIELD_TRAITS(uint16_t, UnsignedShort)
OX_SCALAR_FIELD_TRAITS(uint8_t, UnsignedChar)
OX_SCALAR_FIELD_TRAITS(int64_t, Long)
OX_SCALAR_FIELD_TRAITS(uint64_t, UnsignedLong)
OX_SCALAR_FIELD_TRAITS(bool, Bool)
OX_SCALAR_FIELD_TRAITS(float, Float)
OX_SCALAR_FIELD_TRAITS(double, Double)
OX_SCALAR_FIELD_TRAITS(oxStringRef, String)
OX_SCALAR_FIELD_TRAITS(oxMemoryBlock, MemoryRef)
#undef OX_SCALAR_FIELD_TRAITS

template <class E>
struct oxFieldTraits<E, std::enable_if_t<std::is_enum_v<E>>> {
    static_assert(sizeof(E) == sizeof(int32_t), "enum fields are stored as 32-bit integers");
    static constexpr oxFieldKind kind = oxFieldKind::Enum;
    static constexpr int count = 1;
};

template <class T>
struct oxFieldTraits<oxSmartPointer<T>> {
    static constexpr oxFieldKind kind = oxFieldKind::ObjectRef;
    static constexpr int count = 1;
    using Referenced = T;
};

template <class T>
struct oxFieldTraits<T*, std::enable_if_t<std::is_base_of_v<oxObject, T>>> {
    static constexpr oxFieldKind kind = oxFieldKind::RawRef;
    static constexpr int count = 1;
    using Referenced = T;
};

// Pointers to anything but objects (functions, user data) only make sense in the running
// process: such fields are never stored in files nor parsed from text.
template <class T>
struct oxFieldTraits<T*, std::enable_if_t<!std::is_base_of_v<oxObject, T>>> {
    static constexpr oxFieldKind kind = oxFieldKind::Pointer;
    static constexpr int count = 1;
};

template <size_t N>
struct oxFieldTraits<char[N]> {
    static constexpr oxFieldKind kind = oxFieldKind::CharArray;
    static constexpr int count = N;
};

template <size_t N>
struct oxFieldTraits<uint8_t[N]> {
    static constexpr oxFieldKind kind = oxFieldKind::UnsignedCharArray;
    static constexpr int count = N;
};

template <size_t N>
struct oxFieldTraits<float[N]> {
    static constexpr oxFieldKind kind = oxFieldKind::FloatArray;
    static constexpr int count = N;
};

template <class T, size_t N>
struct oxFieldTraits<oxSmartPointer<T>[N]> {
    static constexpr oxFieldKind kind = oxFieldKind::ObjectRefArray;
    static constexpr int count = N;
    using Referenced = T;
};

// Math value types declare themselves as float tuples with this helper.
#define OX_FLOAT_TUPLE_FIELD_TRAITS(Type, Kind, Count)                       \
    template <>                                                              \
    struct Kel::Core::oxFieldTraits<Type> {                                  \
        static constexpr ::Kel::Core::oxFieldKind kind = ::Kel::Core::oxFieldKind::Kind; \
        static constexpr int count = Count;                                  \
    };

} // namespace Kel::Core
