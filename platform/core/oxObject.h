#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/core/oxClass.h"
#include "platform/core/oxMemoryPool.h"
#include "platform/core/oxSmartPointer.h"
#include "platform/core/oxTypes.h"

namespace Kel::Core {

class oxContentWriter;
class oxContentReader;

// Root of every registered class: an intrusive reference count, the memory pool the
// object came from, and the hooks through which the class metadata builds, resets, copies,
// compares, stores and releases objects.
//
// Reference counting: a new object has no references. Every holder (a smart pointer, an
// object-reference field, a reference-holding list) takes one; the last release destroys
// the object. Counting uses plain increments: one thread at a time uses a graph.
class oxObject {
public:
    using oxSelf = oxObject;
    static constexpr const char* oxClassName() { return "oxObject"; }
    static inline oxMetaObject* _Meta = nullptr;
    static void arkRegister();
    static oxMetaObject* arkRegisterInternal();
    static oxMetaObject* getClassType() { return _Meta; }
    static oxMetaObject* getClassMeta() { return _Meta; }
    static oxMetaObject* getClassTypeSafe();
    static oxMetaObject* getClassMetaSafe() { return getClassTypeSafe(); }
    static oxMetaObject* getClassTypeLazy();
    static oxObject* dynamicCast(oxObject* object) { return object; }
    static const oxObject* dynamicCast(const oxObject* object) { return object; }
    friend struct oxClassAccess;

    enum CopyMethod { kShallowCopy = 0, kDeepCopy = 1 };

    virtual oxMetaObject* getMetaObject() const;
    // The same without a virtual call, for per-node hot paths such as traversal dispatch:
    // objects made through their class remember it.
    oxMetaObject* getMetaObjectFast() const { return _meta ? _meta : getMetaObject(); }

    void ref() const { ++_refCount; }
    void release() const;
    int getRefCount() const { return _refCount; }
    oxMemoryPool* getMemoryPool() const { return _memoryPool ? _memoryPool : oxMemoryPool::getDefault(); }

    bool isOfType(const oxMetaObject* meta) const;
    template <class T>
    bool isOfType() const
    {
        return isOfType(T::getClassTypeSafe());
    }

    // A new object of the same class: its fields copied shallowly (references shared, owned
    // members copied) or deeply (referenced objects copied too). Null when the class cannot
    // be instantiated.
    oxObject* createCopy(CopyMethod method = kShallowCopy) const;
    oxSmartPointer<oxObject> createCopyRef(CopyMethod method = kShallowCopy) const { return createCopy(method); }
    // Copies the fields of source, which must be of this object's class or derived from it.
    oxResult copy(const oxObject* source, CopyMethod method = kShallowCopy);
    oxResult copyDeep(const oxObject* source) { return copy(source, kDeepCopy); }
    // Same class and equal declared fields (references by identity, owned members alike).
    bool isAlikeShallow(const oxObject* other) const;

    // Hooks. The defaults do the work the metadata describes; classes extend them and call
    // the base.
    //
    // Runs once when the object is created through its class: defaults and owned members.
    // `forFileRead` is true when the file reader creates the object and will set its fields.
    virtual void userInstantiate(bool forFileRead);
    virtual void userConstruct() {}
    // Creates the owned (construct-with-owner) members that are still missing.
    virtual void userAllocateFields(bool forFileRead);
    // Puts every field back to its default; owned members are reset in place.
    virtual void userResetFields(bool forFileRead);
    // Runs when the last reference goes, before the object is destroyed.
    virtual void userRelease() {}
    // Extra copy and comparison work beyond the declared fields (list contents, links).
    virtual void userCopyShallow(const oxObject* source);
    virtual void userCopyDeep(const oxObject* source);
    virtual bool userIsAlikeShallow(const oxObject* other) const;
    virtual void preWrite() {}
    virtual void postFileRead() {}
    // Called on a new object of a redirected (newer) class with the object that was read
    // under the older description. The default copies the fields both classes share by
    // name and kind.
    virtual oxResult makeConcrete(const oxObject* older);
    // Containers store what they hold beyond their declared fields (list elements, map
    // entries, text) through these, as typed arrays (oxContentStream.h). The defaults store
    // nothing. readContents runs only when the stored object has contents.
    virtual void writeContents(oxContentWriter&) const {}
    virtual bool readContents(oxContentReader&) { return true; }

    static void* operator new(size_t size);
    static void* operator new(size_t size, oxMemoryPool* pool);
    static void operator delete(void* block);
    static void operator delete(void* block, oxMemoryPool* pool);

protected:
    oxObject() = default;
    oxObject(const oxObject&) : oxObject() {}
    oxObject& operator=(const oxObject&) { return *this; }
    virtual ~oxObject();

private:
    friend class oxMetaObject;
    void destroy();

    mutable int32_t _refCount = 0;
    // Set when the object was created through its class description, which counts it.
    bool _counted = false;
    oxMemoryPool* _memoryPool = nullptr;
    oxMetaObject* _meta = nullptr;
};

} // namespace Kel::Core

#include "platform/core/oxMetaObject.h"
