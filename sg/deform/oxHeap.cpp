#include "sg/deform/oxHeap.h"

#include "sg/deform/oxHeapRules.h"

namespace Kel::Sg {

void oxHeapable::arkRegisterInitialize(oxFields<oxHeapable>& f)
{
    f.add(OX_FIELD(heapKey)).setDefault(0.0f);
    f.add(OX_FIELD(heapPosition)).setDefault(uint32_t(0));
}

void oxHeap::arkRegisterInitialize(oxFields<oxHeap>& f)
{
    f.add(OX_FIELD(heap)).constructWithOwner();
}

struct oxHeap::Access {
    oxHeapableList* list;
    float key(uint32_t slot) const { return list->get(int(slot))->_heapKey; }
    void swap(uint32_t a, uint32_t b)
    {
        list->swap(int(a), int(b));
        list->get(int(a))->_heapPosition = a;
        list->get(int(b))->_heapPosition = b;
    }
};

int oxHeap::getCount() const
{
    return _heap && _heap->getCount() > 1 ? _heap->getCount() - 1 : 0;
}

oxHeapable* oxHeap::get(unsigned slot) const
{
    return slot >= 1 && int(slot) <= getCount() ? _heap->get(int(slot)) : nullptr;
}

bool oxHeap::holds(const oxHeapable* element) const
{
    return element && get(element->_heapPosition) == element;
}

bool oxHeap::insert(oxHeapable* element, float key)
{
    if (!_heap || !element || element->_heapPosition != 0) {
        oxReportWarning("oxHeap::insert: %s", element ? "the element is already in a heap" : "no element");
        return false;
    }
    if (_heap->getCount() == 0)
        _heap->append(nullptr);
    element->_heapKey = key;
    element->_heapPosition = uint32_t(_heap->append(element));
    Access a{_heap};
    oxHeapRules::siftUp(a, element->_heapPosition);
    return true;
}

oxSmartPointer<oxHeapable> oxHeap::pop()
{
    oxSmartPointer<oxHeapable> first = top();
    if (first)
        remove(first);
    return first;
}

bool oxHeap::update(oxHeapable* element, float key)
{
    if (!holds(element))
        return false;
    element->_heapKey = key;
    Access a{_heap};
    oxHeapRules::restore(a, element->_heapPosition, uint32_t(getCount()));
    return true;
}

bool oxHeap::remove(oxHeapable* element)
{
    if (!holds(element))
        return false;
    oxSmartPointer<oxHeapable> keep = element;
    const uint32_t slot = element->_heapPosition;
    const uint32_t last = uint32_t(getCount());
    Access a{_heap};
    if (slot != last)
        a.swap(slot, last);
    element->_heapPosition = 0;
    _heap->remove(int(last));
    if (slot < last)
        oxHeapRules::restore(a, slot, last - 1);
    return true;
}

void oxHeap::removeAll()
{
    if (!_heap)
        return;
    for (int i = 1; i < _heap->getCount(); ++i)
        if (oxHeapable* e = _heap->get(i))
            e->_heapPosition = 0;
    _heap->removeAll();
}

} // namespace Kel::Sg
