#include "platform/core/oxDataList.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/core/oxContentStream.h"

namespace Kel::Core {

oxDataList::~oxDataList()
{
    if (_heap)
        std::free(_data);
}

void oxDataList::userInlineRoom(void* room, size_t bytes)
{
    if (_heap || _count || _elementSize <= 0)
        return;
    _data = static_cast<uint8_t*>(room);
    _capacity = int(bytes / size_t(_elementSize));
}

void oxDataList::setCapacity(int capacity)
{
    if (capacity < _count)
        capacity = _count;
    if (capacity == _capacity)
        return;
    // The room the list was given stays its own: the list only leaves it for a larger array.
    if (!_heap && capacity < _capacity)
        return;
    if (capacity == 0) {
        std::free(_data);
        _data = nullptr;
        _heap = false;
    } else {
        const size_t bytes = size_t(capacity) * size_t(_elementSize);
        if (bytes / size_t(_elementSize) != size_t(capacity))
            return;
        auto* grown = static_cast<uint8_t*>(_heap ? std::realloc(_data, bytes) : std::malloc(bytes));
        if (!grown)
            return;
        if (!_heap && _count)
            std::memcpy(grown, _data, size_t(_count) * size_t(_elementSize));
        _data = grown;
        _heap = true;
    }
    _capacity = capacity;
}

void oxDataList::resizeAndSetCount(int count)
{
    if (count < 0)
        count = 0;
    if (count > _capacity) {
        int grown = _capacity + _capacity / 2;
        setCapacity(count > grown ? count : grown);
        if (count > _capacity)
            return;
    }
    if (count > _count)
        std::memset(getRaw(_count), 0, size_t(count - _count) * _elementSize);
    _count = count;
}

bool oxDataList::remove(int index, int n)
{
    if (index < 0 || n < 0 || index + n > _count)
        return false;
    std::memmove(getRaw(index), getRaw(index + n), size_t(_count - index - n) * _elementSize);
    _count -= n;
    return true;
}

bool oxDataList::insertRaw(int index, const void* element)
{
    if (index < 0 || index > _count)
        return false;
    int old = _count;
    resizeAndSetCount(_count + 1);
    if (_count == old)
        return false;
    std::memmove(getRaw(index + 1), getRaw(index), size_t(old - index) * _elementSize);
    std::memcpy(getRaw(index), element, _elementSize);
    return true;
}

int oxDataList::appendRaw(const void* element)
{
    return insertRaw(_count, element) ? _count - 1 : -1;
}

int oxDataList::findRaw(const void* element) const
{
    for (int i = 0; i < _count; ++i)
        if (std::memcmp(getRaw(i), element, _elementSize) == 0)
            return i;
    return -1;
}

int oxDataList::sortedInsertRaw(const void* element, CompareFunction compare)
{
    int lo = 0, hi = _count;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (compare(getRaw(mid), element) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return insertRaw(lo, element) ? lo : -1;
}

int oxDataList::sortedFindRaw(const void* element, CompareFunction compare) const
{
    int lo = 0, hi = _count - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = compare(getRaw(mid), element);
        if (c == 0)
            return mid;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

void oxDataList::bubbleSort4(CompareFunction compare)
{
    // Insertion sort: stable, linear on sorted input.
    uint8_t tmp[256];
    void* hold = _elementSize <= int(sizeof tmp) ? tmp : std::malloc(_elementSize);
    for (int i = 1; i < _count; ++i) {
        if (compare(getRaw(i - 1), getRaw(i)) <= 0)
            continue;
        std::memcpy(hold, getRaw(i), _elementSize);
        int j = i;
        while (j > 0 && compare(getRaw(j - 1), hold) > 0)
            --j;
        std::memmove(getRaw(j + 1), getRaw(j), size_t(i - j) * _elementSize);
        std::memcpy(getRaw(j), hold, _elementSize);
    }
    if (hold != tmp)
        std::free(hold);
}

void oxDataList::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    removeAll();
}

void oxDataList::userCopyShallow(const oxObject* source)
{
    auto* from = static_cast<const oxDataList*>(source);
    if (from->_elementSize != _elementSize)
        return;
    resizeAndSetCount(from->_count);
    if (_count == from->_count && _count > 0)
        std::memcpy(_data, from->_data, size_t(_count) * _elementSize);
}

bool oxDataList::userIsAlikeShallow(const oxObject* other) const
{
    auto* o = static_cast<const oxDataList*>(other);
    return o->_count == _count && o->_elementSize == _elementSize &&
           (_count == 0 || std::memcmp(o->_data, _data, size_t(_count) * _elementSize) == 0);
}

void oxDataList::writeContents(oxContentWriter& out) const
{
    // The file stores packed values of the element kind; an element type with padding or
    // a size its kind does not explain would be stored wrongly.
    if (oxPlainScalarSize(getElementKind()) * size_t(getElementScalarCount()) != size_t(_elementSize))
        return out.fail("the list's elements are not packed values of their kind");
    // Pointers mean nothing outside the running process: such lists are stored empty.
    const bool runTimeOnly = getElementKind() == oxFieldKind::Pointer;
    out.writeArray(getElementKind(), getElementScalarCount(), _data, runTimeOnly ? 0u : uint32_t(_count));
}

bool oxDataList::readContents(oxContentReader& in)
{
    uint32_t n = 0;
    if (!in.beginArray(getElementKind(), getElementScalarCount(), n))
        return false;
    if (n > uint32_t(INT_MAX))
        return in.fail("too many elements for a list");
    if (n && getElementKind() == oxFieldKind::Pointer)
        return in.fail("a list of pointers is stored empty");
    resizeAndSetCount(int(n));
    if (_count != int(n))
        return in.fail("out of memory for the list's elements");
    return in.readPlain(_data, n);
}

} // namespace Kel::Core
