#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace Kel::Core {

// A named enumeration known to the class metadata: item names with integer values, in
// declaration order. Several items may share a value; the first one names it.
class oxMetaEnum {
public:
    static oxMetaEnum* createMetaEnum(const char* name, const char* const* itemNames, const int* itemValues,
                                      int itemCount);
    // Builds (once) from an enumerator list as written in C++, "A = 1, B = 2, C": used by
    // OX_ENUM so that the C++ enumeration and its description cannot drift apart.
    static oxMetaEnum* fromDeclaration(oxMetaEnum*& cache, const char* name, const char* enumerators);

    const char* getName() const { return _name.c_str(); }
    int getItemCount() const { return int(_items.size()); }
    const char* getItemName(int i) const { return _items[i].name.c_str(); }
    int getItemValue(int i) const { return _items[i].value; }

    bool getEnumValue(std::string_view itemName, int& value) const;
    // Null when no item has the value.
    const char* getEnumName(int value) const;

private:
    struct Item {
        std::string name;
        int value;
    };
    std::string _name;
    std::vector<Item> _items;
};

} // namespace Kel::Core

namespace Kel {
// The generic enumeration: fields attached to it take any integer.
Core::oxMetaEnum* getoxEnumMetaEnum();
} // namespace Kel

// Declares a C++ enumeration inside a class together with its cached description and its
// getter, get<Name>MetaEnum(). The storage is a fixed 32-bit integer, so any value a file
// or a caller puts in a field is a valid value of the type, named or not.
#define OX_ENUM(Name, ...)                                                                    \
    enum Name : int32_t { __VA_ARGS__ };                                                      \
    static inline ::Kel::Core::oxMetaEnum* Name##_Meta = nullptr;                             \
    static ::Kel::Core::oxMetaEnum* get##Name##MetaEnum()                                     \
    {                                                                                         \
        return Name##_Meta ? Name##_Meta                                                      \
                           : ::Kel::Core::oxMetaEnum::fromDeclaration(Name##_Meta, #Name, #__VA_ARGS__); \
    }

// The same at namespace scope.
#define OX_NAMESPACE_ENUM(Name, ...)                                                          \
    enum Name : int32_t { __VA_ARGS__ };                                                      \
    inline ::Kel::Core::oxMetaEnum* Name##_Meta = nullptr;                                    \
    inline ::Kel::Core::oxMetaEnum* get##Name##MetaEnum()                                     \
    {                                                                                         \
        return Name##_Meta ? Name##_Meta                                                      \
                           : ::Kel::Core::oxMetaEnum::fromDeclaration(Name##_Meta, #Name, #__VA_ARGS__); \
    }
