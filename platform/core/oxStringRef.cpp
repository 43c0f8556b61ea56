#include "platform/core/oxStringRef.h"

#include <bit>
#include <cstdlib>
#include <new>

namespace Kel::Core {

struct oxStringRef::Entry {
    int32_t refs;
    uint32_t hash;
    size_t length;
    uint32_t pass;
    uint32_t passValue;
    char* text() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

// Word at a time: names are short, but a string object's text may be long.
uint32_t hashText(std::string_view text)
{
    const char* p = text.data();
    size_t n = text.size();
    uint64_t h = 0x9e3779b97f4a7c15ull ^ (n * 0xff51afd7ed558ccdull);
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
        h ^= h >> 31;
    }
    uint64_t tail = 0;
    if (n)
        std::memcpy(&tail, p, n);
    h = (h ^ tail) * 0x94d049bb133111ebull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    return uint32_t(h >> 32);
}

// Open addressing with linear probing in one array of (hash, entry) slots, removal by
// shifting the rest of a run back. A node-based map costs an allocation and a scattered
// node per text and rehashes by walking every node; files with hundreds of thousands of
// names made that the largest part of reading them.
class Pool {
public:
    size_t size() const { return _count; }

    // Null when memory for a new entry cannot be had.
    oxStringRef::Entry* intern(std::string_view text)
    {
        uint32_t hash = hashText(text);
        if (_capacity) {
            for (size_t i = hash & _mask;; i = (i + 1) & _mask) {
                oxStringRef::Entry* e = _slots[i].entry;
                if (!e)
                    break;
                if (_slots[i].hash == hash && e->length == text.size() &&
                    (text.empty() || std::memcmp(e->text(), text.data(), text.size()) == 0)) {
                    ++e->refs;
                    return e;
                }
            }
        }
        if (2 * (_count + 1) > _capacity && !resize(_capacity ? 2 * _capacity : 256) && _count + 1 >= _capacity)
            return nullptr;
        if (text.size() > SIZE_MAX - sizeof(oxStringRef::Entry) - 1)
            return nullptr;
        auto* entry = static_cast<oxStringRef::Entry*>(std::malloc(sizeof(oxStringRef::Entry) + text.size() + 1));
        if (!entry)
            return nullptr;
        entry->refs = 1;
        entry->hash = hash;
        entry->length = text.size();
        entry->pass = 0;
        entry->passValue = 0;
        if (!text.empty())
            std::memcpy(entry->text(), text.data(), text.size());
        entry->text()[text.size()] = '\0';
        place(entry);
        ++_count;
        return entry;
    }

    void erase(oxStringRef::Entry* entry)
    {
        size_t i = entry->hash & _mask;
        while (_slots[i].entry != entry)
            i = (i + 1) & _mask;
        // Backward shift: later members of the run whose home lies at or before the hole
        // move into it, so that lookups never stop early at an emptied slot.
        for (size_t next = (i + 1) & _mask; _slots[next].entry; next = (next + 1) & _mask) {
            size_t home = _slots[next].hash & _mask;
            if (((next - home) & _mask) >= ((next - i) & _mask)) {
                _slots[i] = _slots[next];
                i = next;
            }
        }
        _slots[i] = Slot{};
        --_count;
        if (_capacity > 1024 && 8 * _count < _capacity)
            resize(_capacity / 2);
    }

    template <class F>
    void forEach(F&& f)
    {
        for (size_t i = 0; i < _capacity; ++i)
            if (_slots[i].entry)
                f(_slots[i].entry);
    }

private:
    struct Slot {
        uint32_t hash = 0;
        oxStringRef::Entry* entry = nullptr;
    };

    void place(oxStringRef::Entry* entry)
    {
        size_t i = entry->hash & _mask;
        while (_slots[i].entry)
            i = (i + 1) & _mask;
        _slots[i] = Slot{entry->hash, entry};
    }

    // False, keeping the table as it is, when the memory cannot be had.
    bool resize(size_t capacity)
    {
        Slot* slots = new (std::nothrow) Slot[capacity];
        if (!slots)
            return false;
        Slot* old = _slots;
        size_t oldCapacity = _capacity;
        _slots = slots;
        _capacity = capacity;
        _mask = capacity - 1;
        for (size_t i = 0; i < oldCapacity; ++i)
            if (old[i].entry)
                place(old[i].entry);
        delete[] old;
        return true;
    }

    Slot* _slots = nullptr;
    size_t _capacity = 0; // a power of two
    size_t _mask = 0;
    size_t _count = 0;
};

// Leaked on purpose: strings may be released during static destruction.
Pool& pool()
{
    static Pool* p = new Pool();
    return *p;
}

uint32_t g_pass = 0;

void drop(oxStringRef::Entry* entry)
{
    if (entry && --entry->refs == 0) {
        pool().erase(entry);
        std::free(entry);
    }
}
} // namespace

oxStringRef::oxStringRef(const char* text) : _entry(text ? pool().intern(text) : nullptr) {}

oxStringRef::oxStringRef(std::string_view text) : _entry(pool().intern(text)) {}

oxStringRef::oxStringRef(const oxStringRef& other) : _entry(other._entry)
{
    if (_entry)
        ++_entry->refs;
}

oxStringRef& oxStringRef::operator=(const oxStringRef& other)
{
    if (other._entry)
        ++other._entry->refs;
    drop(_entry);
    _entry = other._entry;
    return *this;
}

oxStringRef& oxStringRef::operator=(oxStringRef&& other) noexcept
{
    if (this != &other) {
        drop(_entry);
        _entry = other._entry;
        other._entry = nullptr;
    }
    return *this;
}

oxStringRef::~oxStringRef()
{
    drop(_entry);
}

const char* oxStringRef::get() const
{
    return _entry ? _entry->text() : nullptr;
}

const char* oxStringRef::c_str() const
{
    return _entry ? _entry->text() : "";
}

size_t oxStringRef::length() const
{
    return _entry ? _entry->length : 0;
}

bool oxStringRef::operator==(const char* text) const
{
    if (!_entry || !text)
        return !_entry && !text;
    return std::strcmp(_entry->text(), text) == 0;
}

int oxStringRef::compare(const oxStringRef& other) const
{
    if (_entry == other._entry)
        return 0;
    if (!_entry)
        return -1;
    if (!other._entry)
        return 1;
    return std::strcmp(_entry->text(), other._entry->text());
}

size_t oxStringRef::getPoolSize()
{
    return pool().size();
}

uint32_t oxStringRef::beginPass()
{
    // After four billion passes the numbers come round again: values that a pass of the
    // previous round left must not pass for the new pass's own.
    if (++g_pass == 0) {
        pool().forEach([](Entry* e) { e->pass = 0; });
        g_pass = 1;
    }
    return g_pass;
}

uint32_t oxStringRef::getPassValue(uint32_t pass) const
{
    return _entry && _entry->pass == pass ? _entry->passValue : 0;
}

void oxStringRef::setPassValue(uint32_t pass, uint32_t value) const
{
    if (_entry) {
        _entry->pass = pass;
        _entry->passValue = value;
    }
}

} // namespace Kel::Core
