#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/core/oxObject.h"

namespace Kel::Core {

// An ordered array of plain elements of one size. Counts and indices behave as for an
// array; an index out of range is the caller's error and is not checked by the element
// accessors (the bulk operations below do check). The first bytes of elements live in
// room right after the list, as for object lists; longer lists move to the heap.
class oxDataList : public oxObject {
    OX_CLASS(oxDataList, oxObject)
public:
    static constexpr size_t oxInlineRoom = 16;

    using CompareFunction = int (*)(const void* a, const void* b);

    int getCount() const { return _count; }
    int getCapacity() const { return _capacity; }
    int getElementSize() const { return _elementSize; }
    // The kind and number of scalars of one element, for files and printing.
    virtual oxFieldKind getElementKind() const = 0;
    virtual int getElementScalarCount() const { return 1; }

    void setCapacity(int capacity);
    // New elements are zeroed.
    void resizeAndSetCount(int count);
    void setCount(int count) { resizeAndSetCount(count); }
    void removeAll() { _count = 0; }
    bool remove(int index, int n = 1);

    void* getRaw(int index) { return _data + size_t(index) * _elementSize; }
    const void* getRaw(int index) const { return _data + size_t(index) * _elementSize; }
    void* getData() { return _data; }
    const void* getData() const { return _data; }
    bool insertRaw(int index, const void* element);
    int appendRaw(const void* element);
    // Index of the first element equal byte for byte, or -1.
    int findRaw(const void* element) const;
    // Keeps the list ordered by `compare`; returns the index the element took.
    int sortedInsertRaw(const void* element, CompareFunction compare);
    // Binary search in a list ordered by `compare`; -1 when absent.
    int sortedFindRaw(const void* element, CompareFunction compare) const;
    // A stable in-place sort, fast for short or nearly sorted lists (the common case of
    // per-frame lists that change little).
    void bubbleSort4(CompareFunction compare);

    void userInlineRoom(void* room, size_t bytes) override;
    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override { userCopyShallow(source); }
    bool userIsAlikeShallow(const oxObject* other) const override;
    // One array of the element kind.
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    explicit oxDataList(int elementSize) : _elementSize(elementSize) {}
    ~oxDataList() override;
    // Room for one more element, counted but not yet written; null when the list must grow
    // first. Lets typed appends in per-frame loops skip the general insert.
    void* appendInPlace() { return _count < _capacity ? _data + size_t(_count++) * _elementSize : nullptr; }

private:
    uint8_t* _data = nullptr;
    int _count = 0;
    int _capacity = 0;
    int _elementSize;
    bool _heap = false;
};

template <class T>
class oxTDataList : public oxDataList {
    static_assert(std::is_trivially_copyable_v<T>, "data lists hold plain values");

public:
    using Element = T;
    oxFieldKind getElementKind() const override { return oxFieldTraits<T>::kind; }
    int getElementScalarCount() const override { return oxFieldTraits<T>::count; }

    T& operator[](int index) { return data()[index]; }
    const T& operator[](int index) const { return data()[index]; }
    const T& get(int index) const { return data()[index]; }
    void set(int index, const T& value) { data()[index] = value; }
    int append(const T& value)
    {
        if (void* slot = appendInPlace()) {
            std::memcpy(slot, &value, sizeof(T));
            return getCount() - 1;
        }
        return appendRaw(&value);
    }
    bool insert(int index, const T& value) { return insertRaw(index, &value); }
    int find(const T& value) const { return findRaw(&value); }
    T* data() { return static_cast<T*>(getData()); }
    const T* data() const { return static_cast<const T*>(getData()); }
    T* begin() { return data(); }
    T* end() { return data() + getCount(); }
    const T* begin() const { return data(); }
    const T* end() const { return data() + getCount(); }

protected:
    oxTDataList() : oxDataList(int(sizeof(T))) {}
};

// A registered list of plain T in one line: OX_DATA_LIST(oxIntList, int32_t).
#define OX_DATA_LIST(Name, Type)                                 \
    class Name : public ::Kel::Core::oxTDataList<Type> {         \
        OX_CLASS(Name, ::Kel::Core::oxDataList)                  \
    protected:                                                   \
        Name() = default;                                        \
    };

OX_DATA_LIST(oxIntList, int32_t)
OX_DATA_LIST(oxUnsignedIntList, uint32_t)
OX_DATA_LIST(oxShortList, int16_t)
OX_DATA_LIST(oxUnsignedShortList, uint16_t)
OX_DATA_LIST(oxUnsignedCharList, uint8_t)
OX_DATA_LIST(oxFloatList, float)
OX_DATA_LIST(oxDoubleList, double)
OX_DATA_LIST(oxLongList, int64_t)

} // namespace Kel::Core
