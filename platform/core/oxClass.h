#pragma once
// The per-class boilerplate of every registered class, in one place.
//
//   class oxGroup : public oxNode {
//       OX_CLASS(oxGroup, oxNode)
//       OX_FIELDS(childList)              // static handle k_childList
//   public:
//       ...
//   protected:
//       oxSmartPointer<oxNodeList> _childList;
//       static void arkRegisterInitialize(oxFields<oxGroup>& f);
//   };
//
//   void oxGroup::arkRegisterInitialize(oxFields<oxGroup>& f)
//   {
//       f.add(OX_FIELD(childList)).constructWithOwner();
//   }
//
// A class registers on first use (getClassTypeSafe, _instantiateFromPool, arkRegister, or
// the registration of a class that derives from it or refers to it).

#include "platform/core/oxMetaEnum.h"
#include "platform/core/oxPreprocessor.h"
#include "platform/core/oxSmartPointer.h"
#include "platform/core/oxTypes.h"

namespace Kel::Core {

template <class C>
class oxFields;

// Registers C (its parent first) once; returns its registered description.
template <class C>
oxMetaObject* oxRegisterClass();
// C's description as an identity, created empty if C was never touched.
template <class C>
oxMetaObject* oxLazyClassType();
template <class C>
C* oxCreateInstance(oxMemoryPool* pool);

inline bool oxIsOfType(const oxObject* object, const oxMetaObject* meta);
// Notice for the deprecated factory forms that take a pool without saying "FromPool".
void oxInstantiateRefDeprecated();

struct oxClassAccess;

} // namespace Kel::Core

#define OX_CLASS_COMMON_(Class, Name)                                                                           \
public:                                                                                                          \
    using oxSelf = Class;                                                                                        \
    static constexpr const char* oxClassName() { return Name; }                                                  \
    static inline ::Kel::Core::oxMetaObject* _classMeta = nullptr;                                                    \
    static void arkRegister() { ::Kel::Core::oxRegisterClass<Class>(); }                                         \
    static ::Kel::Core::oxMetaObject* arkRegisterInternal() { return ::Kel::Core::oxRegisterClass<Class>(); }    \
    static ::Kel::Core::oxMetaObject* getClassType() { return _classMeta; }                                           \
    static ::Kel::Core::oxMetaObject* getClassMeta() { return _classMeta; }                                           \
    static ::Kel::Core::oxMetaObject* getClassTypeSafe() { return ::Kel::Core::oxRegisterClass<Class>(); }       \
    static ::Kel::Core::oxMetaObject* getClassMetaSafe() { return getClassTypeSafe(); }                          \
    static ::Kel::Core::oxMetaObject* getClassTypeLazy() { return ::Kel::Core::oxLazyClassType<Class>(); }       \
    static Class* dynamicCast(::Kel::Core::oxObject* object)                                                     \
    {                                                                                                            \
        return ::Kel::Core::oxIsOfType(object, getClassTypeSafe()) ? static_cast<Class*>(object) : nullptr;     \
    }                                                                                                            \
    static const Class* dynamicCast(const ::Kel::Core::oxObject* object)                                         \
    {                                                                                                            \
        return ::Kel::Core::oxIsOfType(object, getClassTypeSafe()) ? static_cast<const Class*>(object) : nullptr; \
    }                                                                                                            \
    static Class* _instantiateFromPool(::Kel::Core::oxMemoryPool* pool)                                          \
    {                                                                                                            \
        return ::Kel::Core::oxCreateInstance<Class>(pool);                                                       \
    }                                                                                                            \
    static Class* _instantiate() { return _instantiateFromPool(nullptr); }                                       \
    static Class* _instantiate(::Kel::Core::oxMemoryPool* pool)                                                  \
    {                                                                                                            \
        ::Kel::Core::oxInstantiateRefDeprecated();                                                               \
        return _instantiateFromPool(pool);                                                                       \
    }                                                                                                            \
    static ::Kel::Core::oxSmartPointer<Class> _instantiateRef() { return _instantiateFromPool(nullptr); }        \
    static ::Kel::Core::oxSmartPointer<Class> _instantiateRefFromPool(::Kel::Core::oxMemoryPool* pool)           \
    {                                                                                                            \
        return _instantiateFromPool(pool);                                                                       \
    }                                                                                                            \
    static ::Kel::Core::oxSmartPointer<Class> _instantiateRef(::Kel::Core::oxMemoryPool* pool)                  \
    {                                                                                                            \
        ::Kel::Core::oxInstantiateRefDeprecated();                                                               \
        return _instantiateFromPool(pool);                                                                       \
    }                                                                                                            \
    friend struct ::Kel::Core::oxClassAccess;

// A registered class named as in C++, whose registered parent is Parent.
#define OX_CLASS(Class, Parent) OX_CLASS_NAMED(Class, Parent, #Class)

// The same, registered under another name.
#define OX_CLASS_NAMED(Class, Parent, Name)                                                     \
    OX_CLASS_COMMON_(Class, Name)                                                               \
    using oxParentClass = Parent;                                                               \
    ::Kel::Core::oxMetaObject* getMetaObject() const override { return getClassTypeSafe(); }   \
                                                                                                \
private:

// Static field handles, one per declared field: OX_FIELDS(bound, parentList, flags)
// declares k_bound, k_parentList and k_flags.
#define OX_FIELD_HANDLE_(name) static inline ::Kel::Core::oxMetaField* k_##name = nullptr;
#define OX_FIELDS(...)                              \
public:                                             \
    OX_FOR_EACH(OX_FIELD_HANDLE_, __VA_ARGS__)      \
private:

// The three parts of a field declaration for a member _name with handle k_name.
#define OX_FIELD(name) &k_##name, "_" #name, &oxSelf::_##name
