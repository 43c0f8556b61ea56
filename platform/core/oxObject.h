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
    static inline oxMetaObject* _classMeta = nullptr;
    static void arkRegister();
    static oxMetaObject* arkRegisterInternal();
    static oxMetaObject* getClassType() { return _classMeta; }
    static oxMetaObject* getClassMeta() { return _classMeta; }
    static oxMetaObject* getClassTypeSafe();
    static oxMetaObject* getClassMetaSafe() { return getClassTypeSafe(); }
    static oxMetaObject* getClassTypeLazy();
    static oxObject* dynamicCast(oxObject* object) { return object; }
    static const oxObject* dynamicCast(const oxObject* object) { return object; }
    friend struct oxClassAccess;

    enum CopyMethod { kShallowCopy = 0, kDeepCopy = 1 };

    virtual oxMetaObject* getMetaObject() const;
    // The same without a virtual call, for per-node hot paths such as traversal dispatch:
    // objects made through their class remember its index.
    oxMetaObject* getMetaObjectFast() const;

    void ref() const { ++_refCount; }
    void release() const;
    int getRefCount() const { return _refCount; }
    oxMemoryPool* getMemoryPool() const { return oxMemoryPool::poolOf(getBlock()); }
    // Whether an object pool built the object and holds it for the pool's life: lists that
    // live no longer than the pool's current use may refer to it without a reference.
    bool isPoolOwned() const { return _place & kPoolOwned; }
    void setPoolOwned(bool on) { _place = on ? (_place | kPoolOwned) : (_place & ~kPoolOwned); }

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
    // Runs first, before any other hook, when the class gives its objects room of their own
    // (oxInlineRoom): `room` is `bytes` long, 8-byte aligned and lives as long as the object.
    virtual void userInlineRoom(void* room, size_t bytes)
    {
        (void)room;
        (void)bytes;
    }
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
    // Classes that keep a faster form of some declared fields while they run (render
    // packages) bring the fields up to date here; copies and comparisons call it first.
    virtual void syncDeclaredFields() const {}
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
    // Asks the memory system for what writeContents reads outside the object (a list's
    // entries), for a writer that comes to the object a little later. The default asks for
    // nothing.
    virtual void prefetchContents() const {}

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
    // The memory block the object lives in: its own, or the one of the object that keeps it
    // as a member, or a batch of pooled objects.
    void* getBlock() const
    {
        return const_cast<char*>(reinterpret_cast<const char*>(this)) - size_t(_place >> kOffsetShift) * 8;
    }

    // The header is two words: the virtual table and this one, so that a node's own fields
    // and the first entries of its lists share its first cache lines.
    enum : uint32_t {
        kCounted = 1,      // created through its class description, which counts it
        kHasLayout = 2,    // its class's member slots and room follow it
        kInlineMember = 4, // lives in a slot of the object that owns it
        kPoolOwned = 8,
        kClassShift = 4,   // 12 bits: the class's registration index, 0 when unknown
        kClassMask = 0xfff,
        kOffsetShift = 16, // 16 bits: distance back to the block's start, in 8-byte units
    };

    mutable int32_t _refCount = 0;
    uint32_t _place = 0;
};

} // namespace Kel::Core

#include "platform/core/oxMetaObject.h"
