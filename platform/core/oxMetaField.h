#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxFieldTraits.h"
#include "platform/core/oxStringRef.h"
#include "platform/core/oxTypes.h"

namespace Kel::Core {

// Reaches a field's member inside an object. Made from a pointer-to-member by oxFields,
// so the binding is checked by the compiler rather than computed by hand.
class oxFieldAccess {
public:
    virtual ~oxFieldAccess() = default;
    virtual void* address(const oxObject* object) const = 0;
    // Object kinds: the i-th reference the member holds.
    virtual oxObject* getObject(const oxObject*, int) const { return nullptr; }
    virtual void setObject(oxObject*, int, oxObject*) const {}
    virtual std::unique_ptr<oxFieldAccess> clone() const = 0;
};

// One declared field of a class: name, kind, default, binding and properties. Fields are
// shared between a class and the classes derived from it, which list the inherited
// fields first.
class oxMetaField {
public:
    using ChangeNotification = void (*)(oxObject* object, const oxMetaField* field);
    using RegisterFunction = void (*)();

    oxMetaField(const char* name, oxFieldKind kind, int count, size_t size, std::unique_ptr<oxFieldAccess> access);
    // A copy for redeclaring an inherited field with another default.
    oxMetaField(const oxMetaField& other);
    oxMetaField& operator=(const oxMetaField&) = delete;

    const char* getName() const { return _name.c_str(); }
    oxFieldKind getKind() const { return _kind; }
    // Scalars, characters or references the member holds (3 for a vector, 16 for a matrix).
    int getCount() const { return _count; }
    // Bytes of the member for plain kinds.
    size_t getSize() const { return _size; }
    oxMetaObject* getOwner() const { return _owner; }
    oxMetaObject* getReferencedClass() const { return _referencedClass; }
    oxMetaEnum* getMetaEnum() const;
    bool isConstructWithOwner() const { return _constructWithOwner; }
    bool isPersistent() const { return !_notPersistent; }
    ChangeNotification getChangeNotification() const { return _changeNotification; }

    void* address(oxObject* object) const { return _access->address(object); }
    const void* address(const oxObject* object) const { return _access->address(object); }

    // Object kinds only; `index` selects an entry of a reference array.
    oxObject* getObject(const oxObject* object, int index = 0) const;
    // Refuses (false) a value that is not of the referenced class, an index out of range or
    // a field that holds no objects. Runs the change notification when asked.
    bool setObject(oxObject* object, oxObject* value, int index = 0, bool notify = true) const;

    // Typed access for plain kinds and strings; false when T does not match the field.
    template <class T>
    bool get(const oxObject* object, T& out) const;
    template <class T>
    bool set(oxObject* object, const T& value) const;

    // Text forms: numbers, "true"/"false", enumeration item names, space-separated tuples.
    // Object kinds have no text form: setFromText refuses them.
    std::string toText(const oxObject* object) const;
    bool setFromText(oxObject* object, std::string_view text) const;

    // Sets the member to the declared default (references: released, except owned ones,
    // which are reset in place).
    void applyDefault(oxObject* object) const;
    // Whether the member holds the declared default (owned objects: whether they exist).
    // References that are not owned have no default to compare with and count as default.
    bool hasDefaultValue(const oxObject* object) const;
    // Shallow equality: plain values and strings by value, references by identity,
    // owned objects by their own shallow comparison.
    bool isAlike(const oxObject* a, const oxObject* b) const;
    // Shallow copy of the value (references shared).
    void copyValue(oxObject* destination, const oxObject* source) const;

    // Declaration-time properties, set through oxFields.
    void setOwner(oxMetaObject* owner) { _owner = owner; }
    void setDefaultBytes(const void* bytes, size_t size);
    void setDefaultString(const oxStringRef& text) { _defaultString = text; }
    void setReferencedClass(oxMetaObject* meta, RegisterFunction registerFunction);
    void setMetaEnumGetter(oxMetaEnum* (*getter)()) { _enumGetter = getter; }
    void setConstructWithOwner(bool on) { _constructWithOwner = on; }
    void setNotPersistent(bool on) { _notPersistent = on; }
    // Room for an owned member in place of its class's; -1 for the class's.
    void setInlineRoom(int bytes) { _inlineRoom = bytes; }
    int getInlineRoom() const { return _inlineRoom; }
    void setChangeNotification(ChangeNotification fn) { _changeNotification = fn; }
    RegisterFunction getReferencedRegisterFunction() const { return _registerReferenced; }

    void notifyChanged(oxObject* object) const
    {
        if (_changeNotification)
            _changeNotification(object, this);
    }

private:
    // Builds owned members, whose class it has just chosen, without the check setObject makes.
    friend class oxMetaObject;

    template <class T>
    bool matches() const;

    std::string _name;
    oxFieldKind _kind;
    int _count;
    size_t _size;
    std::unique_ptr<oxFieldAccess> _access;
    oxMetaObject* _owner = nullptr;
    oxMetaObject* _referencedClass = nullptr;
    RegisterFunction _registerReferenced = nullptr;
    oxMetaEnum* (*_enumGetter)() = nullptr;
    std::vector<uint8_t> _default;
    oxStringRef _defaultString;
    ChangeNotification _changeNotification = nullptr;
    bool _constructWithOwner = false;
    bool _notPersistent = false;
    int _inlineRoom = -1;
};

template <class T>
bool oxMetaField::matches() const
{
    if constexpr (std::is_same_v<T, oxStringRef>)
        return _kind == oxFieldKind::String;
    else if constexpr (std::is_trivially_copyable_v<T>) {
        if (!oxIsPlainKind(_kind) || sizeof(T) != _size)
            return false;
        if constexpr (std::is_integral_v<T> && sizeof(T) == 4)
            return _kind == oxFieldTraits<T>::kind || _kind == oxFieldKind::Enum;
        else if constexpr (requires { oxFieldTraits<T>::kind; })
            return _kind == oxFieldTraits<T>::kind;
        return true;
    } else
        return false;
}

template <class T>
bool oxMetaField::get(const oxObject* object, T& out) const
{
    if (!object || !matches<T>())
        return false;
    if constexpr (std::is_same_v<T, oxStringRef>)
        out = *static_cast<const oxStringRef*>(address(object));
    else
        std::memcpy(&out, address(object), sizeof(T));
    return true;
}

template <class T>
bool oxMetaField::set(oxObject* object, const T& value) const
{
    if (!object || !matches<T>())
        return false;
    if constexpr (std::is_same_v<T, oxStringRef>)
        *static_cast<oxStringRef*>(address(object)) = value;
    else
        std::memcpy(address(object), &value, sizeof(T));
    notifyChanged(object);
    return true;
}

} // namespace Kel::Core
