#pragma once
#include <cstdint>

namespace Kel::Sg {

// The ordering rules of the scene graph's binary min-heaps, shared by the object heap
// (oxHeap) and the compact heap of the mesh simplifier, so that both pop equal keys in the
// same order. Slots count from 1 (the children of slot i are 2i and 2i + 1); `Access`
// gives key(slot) and swap(slotA, slotB), the swap also telling each element its new slot.
struct oxHeapRules {
    // From slot i down: to the right child only when it is strictly smaller than the left
    // one (or, when the left one is not smaller than i, smaller than i); equal keys stay.
    template <class Access>
    static uint32_t siftDown(Access& a, uint32_t i, uint32_t size)
    {
        for (;;) {
            const uint32_t l = 2 * i, r = l + 1;
            if (l > size)
                return i;
            uint32_t next;
            if (a.key(l) < a.key(i))
                next = (r <= size && a.key(r) < a.key(l)) ? r : l;
            else if (r <= size && a.key(r) < a.key(i))
                next = r;
            else
                return i;
            a.swap(i, next);
            i = next;
        }
    }

    template <class Access>
    static uint32_t siftUp(Access& a, uint32_t i)
    {
        while (i > 1 && a.key(i / 2) > a.key(i)) {
            a.swap(i / 2, i);
            i /= 2;
        }
        return i;
    }

    // After the key of slot i changed, in whichever direction it must go.
    template <class Access>
    static uint32_t restore(Access& a, uint32_t i, uint32_t size)
    {
        if (i > 1 && a.key(i / 2) > a.key(i))
            return siftUp(a, i);
        return siftDown(a, i, size);
    }
};

} // namespace Kel::Sg
