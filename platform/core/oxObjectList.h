#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxObject.h"

namespace Kel::Core {

// An ordered array of object pointers. oxObjectList holds a reference to every entry;
// oxNonRefCountedObjectList holds plain pointers (parent lists, per-frame lists of objects
// that others keep alive). Null entries are allowed. Indices behave as for an array: the
// element accessors leave range checks to the caller, the editing operations check.
//
// The first entries live in room right after the list (inside its owner's allocation when
// the list is an owned member): a short list costs no allocation of its own and is read
// from the cache lines of its owner. Longer lists move to the heap. A holding list may also
// keep an entry without a reference (appendWithoutReference) when the caller guarantees the
// entry outlives that use, as the object pools of a frame do for the frame's display list.
template <bool Counted>
class oxBasicObjectList : public oxObject {
public:
    static constexpr bool holdsReferences = Counted;
    // Three entries fill the list's cache line.
    static constexpr size_t oxInlineRoom = 3 * sizeof(void*);

    int getCount() const { return _count; }
    oxObject* getObject(int index) const { return entry(_items[index]); }
    // Where entry `index` is kept, for prefetching a long list read out of order.
    const void* getEntryAddress(int index) const { return _items + index; }
    // The class every entry must be of (lists typed over a class narrow it).
    virtual oxMetaObject* getElementType() const { return oxObject::getClassTypeSafe(); }

    // The index, or -1 when memory for a longer list was refused.
    int appendObject(oxObject* object)
    {
        if (_count == capacity() && !grow(_count + 1))
            return -1;
        hold(object);
        _items[_count] = uintptr_t(object);
        return _count++;
    }
    // Held without a reference; a list that holds none keeps every entry that way anyway.
    int appendWithoutReference(oxObject* object)
    {
        if (_count == capacity() && !grow(_count + 1))
            return -1;
        _items[_count] = uintptr_t(object) | (Counted && object ? kUnheld : 0);
        return _count++;
    }
    bool insertObject(int index, oxObject* object)
    {
        if (index < 0 || index > _count || (_count == capacity() && !grow(_count + 1)))
            return false;
        hold(object);
        std::memmove(_items + index + 1, _items + index, size_t(_count - index) * sizeof(uintptr_t));
        _items[index] = uintptr_t(object);
        ++_count;
        return true;
    }
    bool setObject(int index, oxObject* object)
    {
        if (index < 0 || index >= _count)
            return false;
        hold(object);
        const uintptr_t old = _items[index];
        _items[index] = uintptr_t(object);
        drop(old);
        return true;
    }
    bool remove(int index)
    {
        if (index < 0 || index >= _count)
            return false;
        const uintptr_t old = _items[index];
        std::memmove(_items + index, _items + index + 1, size_t(_count - index - 1) * sizeof(uintptr_t));
        --_count;
        drop(old);
        return true;
    }
    // Removes the first entry that is `object`; its index, or -1.
    int removeObject(const oxObject* object)
    {
        int i = findObject(object);
        if (i >= 0)
            remove(i);
        return i;
    }
    // Keeps the capacity: per-frame lists are emptied and refilled without reallocating.
    void removeAll()
    {
        // Each entry leaves the list before it is released: releasing may run code that
        // looks at this list, which then sees only what is still held.
        for (int n = _count; n && _count; --n)
            drop(_items[--_count]);
    }
    int findObject(const oxObject* object) const
    {
        for (int i = 0; i < _count; ++i)
            if (entry(_items[i]) == object)
                return i;
        return -1;
    }
    // Exchanges two entries; no reference changes hands.
    bool swap(int a, int b)
    {
        if (a < 0 || b < 0 || a >= _count || b >= _count)
            return false;
        std::swap(_items[a], _items[b]);
        return true;
    }
    // Grows with null entries or shrinks, releasing what is cut off. False when memory
    // for the longer list was refused (the list is then unchanged).
    bool setCount(int count)
    {
        if (count < 0)
            count = 0;
        while (_count > count)
            remove(_count - 1);
        if (count > capacity() && !grow(count))
            return false;
        for (; _count < count; ++_count)
            _items[_count] = 0;
        return true;
    }
    int getCapacity() const { return capacity(); }
    // Never below the count; only grows.
    void setCapacity(int capacity)
    {
        if (capacity > this->capacity())
            grow(capacity);
    }

    void userInlineRoom(void* room, size_t bytes) override
    {
        if (_heap || _count)
            return;
        _items = static_cast<uintptr_t*>(room);
        _capacity = int32_t(bytes / sizeof(uintptr_t));
    }
    void userResetFields(bool forFileRead) override
    {
        oxObject::userResetFields(forFileRead);
        removeAll();
    }
    void userCopyShallow(const oxObject* source) override
    {
        auto* from = static_cast<const oxBasicObjectList*>(source);
        removeAll();
        setCapacity(from->_count);
        for (int i = 0; i < from->_count; ++i)
            appendObject(from->getObject(i));
    }
    void userCopyDeep(const oxObject* source) override
    {
        if (!Counted)
            return userCopyShallow(source);
        auto* from = static_cast<const oxBasicObjectList*>(source);
        removeAll();
        setCapacity(from->_count);
        for (int i = 0; i < from->_count; ++i) {
            oxObject* o = from->getObject(i);
            oxSmartPointer<oxObject> copy = o ? o->createCopy(kDeepCopy) : nullptr;
            appendObject(copy);
        }
    }
    bool userIsAlikeShallow(const oxObject* other) const override
    {
        auto* o = static_cast<const oxBasicObjectList*>(other);
        if (o->_count != _count)
            return false;
        for (int i = 0; i < _count; ++i)
            if (getObject(i) != o->getObject(i))
                return false;
        return true;
    }
    void prefetchContents() const override
    {
        // A list's entries past its own room were allocated apart from it, wherever the
        // heap had room when the list last grew.
        if (_count) {
            __builtin_prefetch(_items);
            __builtin_prefetch(_items + _count - 1);
        }
    }
    // One array of references, checked against the element type on reading.
    void writeContents(oxContentWriter& out) const override
    {
        out.beginArray(kContentKind, 1, uint32_t(_count));
        for (int i = 0; i < _count; ++i)
            out.writeObject(getObject(i));
    }
    bool readContents(oxContentReader& in) override
    {
        uint32_t n = 0;
        if (!in.beginArray(kContentKind, 1, n))
            return false;
        // Grown once to its size (which beginArray has checked against the bytes left)
        // rather than by half at a time: reallocating a group's children four times over
        // cost a scene-file read more than filling the list.
        setCapacity(int(std::min<uint32_t>(n, uint32_t(kMaxEntries))));
        removeAll();
        const oxMetaObject* type = getElementType();
        for (uint32_t i = 0; i < n; ++i) {
            oxObject* o = nullptr;
            if (!in.readObject(o, type) || appendObject(o) < 0)
                return false;
        }
        return true;
    }

protected:
    oxBasicObjectList() = default;
    ~oxBasicObjectList() override
    {
        removeAll();
        if (_heap)
            std::free(_items);
    }

private:
    static constexpr oxFieldKind kContentKind = Counted ? oxFieldKind::ObjectRef : oxFieldKind::RawRef;
    // Marks an entry of a holding list that holds no reference (objects are 8-byte aligned).
    static constexpr uintptr_t kUnheld = 1;

    static oxObject* entry(uintptr_t e) { return reinterpret_cast<oxObject*>(e & ~kUnheld); }
    int capacity() const { return _capacity; }
    // Room for at least `needed` entries, growing by half at least; false when refused.
    bool grow(int needed)
    {
        if (needed > kMaxEntries)
            return false;
        const int64_t half = int64_t(_capacity) + _capacity / 2;
        const int target = int(half > needed ? std::min<int64_t>(half, kMaxEntries) : needed);
        const size_t bytes = size_t(target) * sizeof(uintptr_t);
        auto* grown = static_cast<uintptr_t*>(_heap ? std::realloc(_items, bytes) : std::malloc(bytes));
        if (!grown)
            return false;
        if (!_heap)
            for (int i = 0; i < _count; ++i)
                grown[i] = _items[i];
        _items = grown;
        _capacity = target;
        _heap = true;
        return true;
    }
    static void hold(oxObject* o)
    {
        if (Counted && o)
            o->ref();
    }
    static void drop(uintptr_t e)
    {
        if (Counted && e && !(e & kUnheld))
            entry(e)->release();
    }

    static constexpr int kMaxEntries = (1 << 28);

    uintptr_t* _items = nullptr;
    int32_t _count = 0;
    uint32_t _capacity : 31 = 0; // never negative: growth is sized from it
    bool _heap : 1 = false;
};

class oxObjectList : public oxBasicObjectList<true> {
    OX_CLASS(oxObjectList, oxObject)
protected:
    oxObjectList() = default;
};

class oxNonRefCountedObjectList : public oxBasicObjectList<false> {
    OX_CLASS(oxNonRefCountedObjectList, oxObject)
protected:
    oxNonRefCountedObjectList() = default;
};

// Typed access over either list; T's class is registered along with the list.
template <class Base, class T>
class oxTypedObjectList : public Base {
public:
    using oxElementClass = T;
    oxMetaObject* getElementType() const override { return T::getClassTypeSafe(); }

    T* get(int index) const { return static_cast<T*>(this->getObject(index)); }
    T* operator[](int index) const { return get(index); }
    int append(T* object) { return this->appendObject(object); }
    bool insert(int index, T* object) { return this->insertObject(index, object); }
    bool set(int index, T* object) { return this->setObject(index, object); }
    int find(const T* object) const { return this->findObject(object); }
    int removeObject(const T* object) { return Base::removeObject(object); }
    using Base::remove;

protected:
    oxTypedObjectList() = default;
};

template <class T>
using oxTObjectList = oxTypedObjectList<oxObjectList, T>;
template <class T>
using oxTNonRefCountedObjectList = oxTypedObjectList<oxNonRefCountedObjectList, T>;

// Registered typed lists in one line: OX_OBJECT_LIST(oxNodeList, oxNode).
#define OX_OBJECT_LIST(Name, Type)                                             \
    class Name : public ::Kel::Core::oxTObjectList<Type> {                     \
        OX_CLASS(Name, ::Kel::Core::oxObjectList)                              \
    protected:                                                                 \
        Name() = default;                                                      \
    };
#define OX_NON_REF_COUNTED_OBJECT_LIST(Name, Type)                             \
    class Name : public ::Kel::Core::oxTNonRefCountedObjectList<Type> {        \
        OX_CLASS(Name, ::Kel::Core::oxNonRefCountedObjectList)                 \
    protected:                                                                 \
        Name() = default;                                                      \
    };

} // namespace Kel::Core
