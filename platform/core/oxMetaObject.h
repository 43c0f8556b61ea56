#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/oxMetaField.h"
#include "platform/core/oxObject.h"

namespace Kel::Core {

// What a class hands to the registry when it registers (built by oxRegisterClass).
struct oxClassRecord {
    oxMetaObject** metaSlot = nullptr;
    oxMetaObject* (*registerParent)() = nullptr; // null only for the root class
    const char* name = nullptr;
    size_t instanceSize = 0;
    // Bytes an object gets right after itself (and its members), for lists' first entries.
    size_t inlineRoom = 0;
    bool abstract = false;
    oxObject* (*construct)(void* at) = nullptr; // null: cannot be instantiated
    void (*declareFields)(oxMetaObject* meta) = nullptr;
    void (*userRegister)() = nullptr;
    void (*registerDependencies)() = nullptr;
};

// The run-time description of a class: name, parent, ordered fields (inherited first),
// factory, live instance count, and two per-class integers owned by the scene graph (the
// node handle of the traversal tables and the base handle of the attribute stacks), which
// start at -1.
//
// Memory layout. An object is created in one block together with the members it creates
// itself (its construct-with-owner fields) and the room its class asks for:
//
//   [object][owned member][owned member]...[room]
//
// each part 8-byte aligned, a member laid out the same way in turn. Members whose class
// has room (the lists) come first, most derived class's first, so that the lists a walk
// reads lie right after the fields that point at them and a node's parent list comes last.
// Every object in a block counts as a user of it; the block is freed when the last one goes,
// so a member someone else still holds outlives its owner, and a field set to another
// object simply leaves its member's slot empty (a later allocateOwnedFields reuses it).
// Blocks of objects with members start on a cache line.
class oxMetaObject : public oxObject {
    OX_CLASS(oxMetaObject, oxObject)
public:
    static constexpr bool oxInstantiable = false;
    using RegistrationCallback = void (*)(oxMetaObject* meta);
    using ClassDestructor = void (*)();

    // The registry.
    static oxMetaObject* oxArkRegister(const oxClassRecord& record);
    static oxMetaObject* createLazy(const char* name);
    static oxMetaObject* findType(std::string_view name);
    static int getRegisteredCount();
    // Registration order.
    static oxMetaObject* getRegistered(int index);
    // Runs now for every registered class, then for every class registered later.
    static void registerClassRegistrationCallback(RegistrationCallback callback);
    // Runs at process exit (or at runClassDestructors), latest registered first.
    static void registerClassDestructor(ClassDestructor destructor);
    static void runClassDestructors();

    const char* getName() const { return _name.c_str(); }
    oxMetaObject* getParent() const { return _parent; }
    size_t getInstanceSize() const { return _instanceSize; }
    bool isAbstract() const { return _abstract; }
    bool isRegistered() const { return _registered; }
    bool canInstantiate() const { return _registered && _construct != nullptr; }
    size_t getInlineRoom() const { return _inlineRoom; }
    // Bytes of one object's block with the class's own room (members included).
    size_t getBlockSize();
    int getInstanceCount() const { return _instanceCount; }
    const std::vector<oxMetaObject*>& getDerivedTypes() const { return _derived; }
    // True when this class is `other` or derives from it.
    bool isDerivedFrom(const oxMetaObject* other) const
    {
        return other && other->_depth <= _depth && other->_depth >= 0 && _ancestors[other->_depth] == other;
    }

    // A new object with defaults applied and owned members created; null (with a warning)
    // for classes that cannot be instantiated. An abstract class redirected to a newer one
    // gives an object of that class. A null pool means the default pool.
    oxObject* createInstance(oxMemoryPool* pool = nullptr, bool forFileRead = false);
    oxSmartPointer<oxObject> createInstanceRef(oxMemoryPool* pool = nullptr) { return createInstance(pool); }
    // n new objects laid out one after another in as few blocks as they fit (each on its own
    // cache lines), for pools that hand them out in order. Returns how many were made; the
    // rest of `out` is null.
    int createInstances(oxMemoryPool* pool, int n, oxObject** out);

    int getMetaFieldCount() const { return int(_fields.size()); }
    oxMetaField* getIndexedMetaField(int index) const
    {
        return index >= 0 && index < int(_fields.size()) ? _fields[index] : nullptr;
    }
    oxMetaField* getMetaField(std::string_view name) const;
    int getMetaFieldIndex(std::string_view name) const;
    // Sets a field by name from text, running its change notification.
    bool setFieldFromText(oxObject* object, std::string_view name, std::string_view text) const;

    // The class's index for objects' headers: 1 and up in registration order, 0 beyond the
    // first 4095 classes (their objects then find their class through a virtual call).
    int getIndex() const { return _index; }
    static oxMetaObject* getIndexed(int index) { return _indexed[index]; }
    static constexpr int kMaxIndexed = 4096;

    int getNodeHandle() const { return _nodeHandle; }
    void setNodeHandle(int handle) { _nodeHandle = handle; }
    int getAttrHandle() const { return _attrHandle; }
    void setAttrHandle(int handle) { _attrHandle = handle; }

    // An older class whose stored objects become objects of a newer concrete class.
    void setRedirect(oxMetaObject* newer) { _redirect = newer; }
    oxMetaObject* getRedirect() const { return _redirect; }

    // Field declaration (oxFields).
    oxMetaField* appendField(std::unique_ptr<oxMetaField> field);
    oxMetaField* replaceField(int index, std::unique_ptr<oxMetaField> field);

    // Walks fields for the object hooks.
    void applyDefaults(oxObject* object) const;
    void allocateOwnedFields(oxObject* object) const;

private:
    friend class oxObject;
    oxMetaObject() = default;
    void completeAncestors();

    // One owned member kept in its owner's block.
    struct InlineMember {
        const oxMetaField* field;
        oxMetaObject* cls;
        uint32_t offset; // from the owner
        uint32_t room;
    };
    // Computes the member slots on first use, when every class they name is registered.
    void computeLayout();
    size_t blockSizeWithRoom(size_t room) const { return _membersEnd + ((room + 7) & ~size_t(7)); }
    oxObject* construct(char* at, char* block, uint32_t flags, size_t room, bool forFileRead);
    // Marks every member slot below `object` empty.
    void clearSlots(char* object) const;
    // Runs the destructor and gives the object's share of its block back.
    static void destroyObject(oxObject* object);
    // Blocks with members start on a cache line: the object's own fields fill its first.
    size_t blockAlignment() const { return _members.empty() ? 16 : 64; }
    static constexpr size_t kMaxMemberOffset = size_t(1) << 19;

    std::string _name;
    oxMetaObject* _parent = nullptr;
    size_t _instanceSize = 0;
    bool _abstract = false;
    bool _registered = false;
    bool _registering = false;
    oxObject* (*_construct)(void*) = nullptr;
    int _index = 0;
    static oxMetaObject* _indexed[kMaxIndexed];
    size_t _inlineRoom = 0;
    // Layout: 0 not computed, 1 computing (a class that owns itself gets no slot), 2 done.
    int _layoutState = 0;
    size_t _membersEnd = 0;
    std::vector<InlineMember> _members;
    std::vector<oxMetaField*> _fields;
    std::vector<std::unique_ptr<oxMetaField>> _ownFields;
    std::vector<const oxMetaObject*> _ancestors; // root first, this class last
    int _depth = -1;
    int _instanceCount = 0;
    int _nodeHandle = -1;
    int _attrHandle = -1;
    oxMetaObject* _redirect = nullptr;
    std::vector<oxMetaObject*> _derived;
};

// Binds a field to a member through its pointer-to-member.
template <class C, class M>
class oxMemberAccess final : public oxFieldAccess {
public:
    explicit oxMemberAccess(M C::*member) : _member(member) {}
    void* address(const oxObject* object) const override
    {
        return const_cast<M*>(&(static_cast<const C*>(object)->*_member));
    }
    oxObject* getObject(const oxObject* object, int index) const override
    {
        const M& m = static_cast<const C*>(object)->*_member;
        if constexpr (!kHoldsObjects)
            return nullptr;
        else if constexpr (std::is_array_v<M>)
            return m[index];
        else
            return m;
    }
    void setObject(oxObject* object, int index, oxObject* value) const override
    {
        M& m = static_cast<C*>(object)->*_member;
        if constexpr (kHoldsObjects && std::is_array_v<M>)
            m[index] = static_cast<typename oxFieldTraits<M>::Referenced*>(value);
        else if constexpr (kHoldsObjects)
            m = static_cast<typename oxFieldTraits<M>::Referenced*>(value);
        (void)m;
        (void)index;
        (void)value;
    }
    std::unique_ptr<oxFieldAccess> clone() const override { return std::make_unique<oxMemberAccess>(_member); }

private:
    // Char and float arrays are arrays too, but hold no objects.
    static constexpr bool kHoldsObjects = requires { typename oxFieldTraits<M>::Referenced; };
    M C::*_member;
};

// Properties of one declared field, chained: f.add(OX_FIELD(x)).setDefault(3).notPersistent();
template <class M>
class oxFieldDecl {
public:
    explicit oxFieldDecl(oxMetaField* field) : _field(field) {}

    oxFieldDecl& setDefault(const M& value)
    {
        if constexpr (std::is_same_v<M, oxStringRef>)
            _field->setDefaultString(value);
        else {
            static_assert(std::is_trivially_copyable_v<M>, "only plain fields and strings take defaults");
            _field->setDefaultBytes(&value, sizeof(M));
        }
        return *this;
    }
    // The owner creates the referenced object when it is instantiated and holds it for life.
    oxFieldDecl& constructWithOwner(bool on = true)
    {
        _field->setConstructWithOwner(on);
        return *this;
    }
    // The owned member gets `bytes` of room instead of its class's (a list that usually
    // holds more entries than most).
    oxFieldDecl& inlineRoom(size_t bytes)
    {
        _field->setInlineRoom(int(bytes));
        return *this;
    }
    // Not written to files or copied; rebuilt by the owner.
    oxFieldDecl& notPersistent()
    {
        _field->setNotPersistent(true);
        return *this;
    }
    oxFieldDecl& enumeration(oxMetaEnum* (*getter)())
    {
        _field->setMetaEnumGetter(getter);
        return *this;
    }
    oxFieldDecl& onChange(oxMetaField::ChangeNotification fn)
    {
        _field->setChangeNotification(fn);
        return *this;
    }
    oxMetaField* get() const { return _field; }

private:
    oxMetaField* _field;
};

// Handed to a class's arkRegisterInitialize to declare its own fields in order.
template <class C>
class oxFields {
public:
    explicit oxFields(oxMetaObject* meta) : _meta(meta) {}

    template <class M>
    oxFieldDecl<M> add(oxMetaField** handle, const char* name, M C::*member)
    {
        using Traits = oxFieldTraits<M>;
        auto field = std::make_unique<oxMetaField>(name, Traits::kind, Traits::count, sizeof(M),
                                                   std::make_unique<oxMemberAccess<C, M>>(member));
        if constexpr (requires { typename Traits::Referenced; }) {
            using R = typename Traits::Referenced;
            field->setReferencedClass(R::getClassTypeLazy(), &R::arkRegister);
        }
        if constexpr (Traits::kind == oxFieldKind::Enum)
            field->setMetaEnumGetter(&::Kel::getoxEnumMetaEnum);
        // Until a class says otherwise, a plain field defaults to its type's own default
        // (an identity matrix, a zero vector, zero).
        if constexpr (oxIsPlainKind(Traits::kind) && std::is_default_constructible_v<M>) {
            const M value{};
            field->setDefaultBytes(&value, sizeof(M));
        }
        oxMetaField* f = _meta->appendField(std::move(field));
        if (handle)
            *handle = f;
        return oxFieldDecl<M>(f);
    }

    // Redeclares an inherited field with another default; the derived class sees the copy.
    template <class M>
    oxFieldDecl<M> redeclare(oxMetaField** handle, const char* name, const M& value)
    {
        oxFieldDecl<M> decl = redeclare<M>(handle, name);
        if (decl.get())
            decl.setDefault(value);
        return decl;
    }
    // The same with the inherited properties kept, for the caller to change others (an owned
    // member that the derived class does not create: constructWithOwner(false)).
    template <class M>
    oxFieldDecl<M> redeclare(oxMetaField** handle, const char* name)
    {
        int index = _meta->getMetaFieldIndex(name);
        oxMetaField* inherited = _meta->getIndexedMetaField(index);
        oxMetaField* f = inherited ? _meta->replaceField(index, std::make_unique<oxMetaField>(*inherited)) : nullptr;
        if (handle)
            *handle = f;
        return oxFieldDecl<M>(f);
    }

private:
    oxMetaObject* _meta;
};

// Builds the registration record of a class from the class itself: abstractness from its
// pure virtual operations, fields from its own arkRegisterInitialize, the user hook from
// its own arkRegisterUser, the element class of typed lists as a dependency.
struct oxClassAccess {
    template <class C>
    static oxMetaObject* registerClass()
    {
        oxClassRecord r;
        r.metaSlot = &C::_classMeta;
        if constexpr (!std::is_same_v<C, oxObject>) {
            // Casts to the registered parent must be plain static casts.
            static_assert(std::is_base_of_v<typename C::oxParentClass, C>, "the registered parent must be a base");
            static_assert(alignof(C) <= 8, "objects are laid out on 8-byte boundaries inside their blocks");
            r.registerParent = &C::oxParentClass::arkRegisterInternal;
        }
        r.name = C::oxClassName();
        r.instanceSize = sizeof(C);
        r.abstract = std::is_abstract_v<C>;
        if constexpr (requires { C::oxInlineRoom; })
            r.inlineRoom = C::oxInlineRoom;
        if constexpr (!std::is_abstract_v<C> && instantiable<C>())
            r.construct = [](void* at) -> oxObject* { return ::new (at) C(); };
        if constexpr (requires(oxFields<C>& f) { C::arkRegisterInitialize(f); })
            r.declareFields = [](oxMetaObject* meta) {
                oxFields<C> f(meta);
                C::arkRegisterInitialize(f);
            };
        if constexpr (requires { &C::arkRegisterUser; }) {
            void (*own)() = &C::arkRegisterUser;
            if constexpr (requires { &C::oxParentClass::arkRegisterUser; })
                if (own == static_cast<void (*)()>(&C::oxParentClass::arkRegisterUser))
                    own = nullptr;
            r.userRegister = own;
        }
        if constexpr (requires { typename C::oxElementClass; })
            r.registerDependencies = [] { C::oxElementClass::arkRegister(); };
        return oxMetaObject::oxArkRegister(r);
    }

    template <class C>
    static constexpr bool instantiable()
    {
        if constexpr (requires { C::oxInstantiable; })
            return C::oxInstantiable;
        return true;
    }
};

template <class C>
oxMetaObject* oxRegisterClass()
{
    oxMetaObject* meta = C::_classMeta;
    if (meta && meta->isRegistered()) [[likely]]
        return meta;
    return oxClassAccess::registerClass<C>();
}

template <class C>
oxMetaObject* oxLazyClassType()
{
    if (!C::_classMeta)
        C::_classMeta = oxMetaObject::createLazy(C::oxClassName());
    return C::_classMeta;
}

template <class C>
C* oxCreateInstance(oxMemoryPool* pool)
{
    return static_cast<C*>(oxRegisterClass<C>()->createInstance(pool));
}

inline oxMetaObject* oxObject::getMetaObjectFast() const
{
    const uint32_t index = (_place >> kClassShift) & kClassMask;
    return index ? oxMetaObject::getIndexed(int(index)) : getMetaObject();
}

inline bool oxIsOfType(const oxObject* object, const oxMetaObject* meta)
{
    return object && object->getMetaObject()->isDerivedFrom(meta);
}

} // namespace Kel::Core
