#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// An element of an oxHeap: its priority and the slot it holds, which the heap keeps up to
// date so that an element can be re-keyed or removed without a search.
class oxHeapable : public oxObject {
    OX_CLASS(oxHeapable, oxObject)
    OX_FIELDS(heapKey, heapPosition)
public:
    float getHeapKey() const { return _heapKey; }
    unsigned getHeapPosition() const { return _heapPosition; }

protected:
    oxHeapable() = default;
    static void arkRegisterInitialize(oxFields<oxHeapable>& f);

private:
    friend class oxHeap;

protected:
    float _heapKey = 0.0f;
    uint32_t _heapPosition = 0;
};

OX_OBJECT_LIST(oxHeapableList, oxHeapable)

// A binary min-heap of oxHeapable objects on their keys, stored from slot 1 (slot 0 of the
// list stays empty). Position 0 means "not in a heap".
class oxHeap : public oxObject {
    OX_CLASS(oxHeap, oxObject)
    OX_FIELDS(heap)
public:
    int getCount() const;
    bool isEmpty() const { return getCount() == 0; }
    // The element in slot i (1-based), null outside the heap.
    oxHeapable* get(unsigned slot) const;
    oxHeapable* top() const { return get(1); }
    oxHeapableList* getHeapList() const { return _heap; }

    // False for a null element or one already in a heap.
    bool insert(oxHeapable* element, float key);
    // The cheapest element, taken out; null when empty. The caller receives the reference
    // the heap held.
    oxSmartPointer<oxHeapable> pop();
    // A new key for an element of this heap; false when it is not in it.
    bool update(oxHeapable* element, float key);
    bool remove(oxHeapable* element);
    void removeAll();

protected:
    oxHeap() = default;
    static void arkRegisterInitialize(oxFields<oxHeap>& f);

    oxSmartPointer<oxHeapableList> _heap;

private:
    struct Access;
    bool holds(const oxHeapable* element) const;
};

} // namespace Kel::Sg
