#pragma once
#include <utility>
#include <vector>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxObject.h"

namespace Kel::Core {

// An ordered array of object pointers. oxObjectList holds a reference to every entry;
// oxNonRefCountedObjectList holds plain pointers (parent lists, per-frame lists of objects
// that others keep alive). Null entries are allowed. Indices behave as for an array: the
// element accessors leave range checks to the caller, the editing operations check.
template <bool Counted>
class oxBasicObjectList : public oxObject {
public:
    static constexpr bool holdsReferences = Counted;

    int getCount() const { return int(_items.size()); }
    oxObject* getObject(int index) const { return _items[index]; }
    // The class every entry must be of (lists typed over a class narrow it).
    virtual oxMetaObject* getElementType() const { return oxObject::getClassTypeSafe(); }

    int appendObject(oxObject* object)
    {
        hold(object);
        _items.push_back(object);
        return int(_items.size()) - 1;
    }
    bool insertObject(int index, oxObject* object)
    {
        if (index < 0 || index > getCount())
            return false;
        hold(object);
        _items.insert(_items.begin() + index, object);
        return true;
    }
    bool setObject(int index, oxObject* object)
    {
        if (index < 0 || index >= getCount())
            return false;
        hold(object);
        oxObject* old = _items[index];
        _items[index] = object;
        drop(old);
        return true;
    }
    bool remove(int index)
    {
        if (index < 0 || index >= getCount())
            return false;
        oxObject* old = _items[index];
        _items.erase(_items.begin() + index);
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
        for (size_t n = _items.size(); n && !_items.empty(); --n) {
            oxObject* o = _items.back();
            _items.pop_back();
            drop(o);
        }
    }
    int findObject(const oxObject* object) const
    {
        for (size_t i = 0; i < _items.size(); ++i)
            if (_items[i] == object)
                return int(i);
        return -1;
    }
    // Exchanges two entries; no reference changes hands.
    bool swap(int a, int b)
    {
        if (a < 0 || b < 0 || a >= getCount() || b >= getCount())
            return false;
        std::swap(_items[a], _items[b]);
        return true;
    }
    // Grows with null entries or shrinks, releasing what is cut off.
    void setCount(int count)
    {
        if (count < 0)
            count = 0;
        while (getCount() > count)
            remove(getCount() - 1);
        _items.resize(size_t(count), nullptr);
    }
    void setCapacity(int capacity) { _items.reserve(size_t(capacity)); }

    void userResetFields(bool forFileRead) override
    {
        oxObject::userResetFields(forFileRead);
        removeAll();
    }
    void userCopyShallow(const oxObject* source) override
    {
        auto* from = static_cast<const oxBasicObjectList*>(source);
        removeAll();
        for (oxObject* o : from->_items)
            appendObject(o);
    }
    void userCopyDeep(const oxObject* source) override
    {
        if (!Counted)
            return userCopyShallow(source);
        auto* from = static_cast<const oxBasicObjectList*>(source);
        removeAll();
        for (oxObject* o : from->_items)
            appendObject(o ? o->createCopy(kDeepCopy) : nullptr);
    }
    bool userIsAlikeShallow(const oxObject* other) const override
    {
        return static_cast<const oxBasicObjectList*>(other)->_items == _items;
    }
    // One array of references, checked against the element type on reading.
    void writeContents(oxContentWriter& out) const override
    {
        out.beginArray(kContentKind, 1, uint32_t(_items.size()));
        for (oxObject* o : _items)
            out.writeObject(o);
    }
    bool readContents(oxContentReader& in) override
    {
        uint32_t n = 0;
        if (!in.beginArray(kContentKind, 1, n))
            return false;
        removeAll();
        _items.reserve(n);
        const oxMetaObject* type = getElementType();
        for (uint32_t i = 0; i < n; ++i) {
            oxObject* o = nullptr;
            if (!in.readObject(o, type))
                return false;
            appendObject(o);
        }
        return true;
    }

protected:
    oxBasicObjectList() = default;
    ~oxBasicObjectList() override { removeAll(); }

private:
    static constexpr oxFieldKind kContentKind = Counted ? oxFieldKind::ObjectRef : oxFieldKind::RawRef;

    static void hold(oxObject* o)
    {
        if (Counted && o)
            o->ref();
    }
    static void drop(oxObject* o)
    {
        if (Counted && o)
            o->release();
    }

    std::vector<oxObject*> _items;
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
