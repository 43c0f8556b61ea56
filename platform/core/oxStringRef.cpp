#include "platform/core/oxStringRef.h"

#include <algorithm>
#include <bit>
#include <iterator>
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

// Memory for pool entries: size classes of 16 bytes up to 256, carved from blocks of 64 KB
// and kept on a free list per class when released; longer texts come from malloc. A file's
// read makes an entry per name, and malloc's bookkeeping cost more than the rest of making
// one; entries made one after the other also end up side by side, which is the order in
// which a later write reads them. The blocks go back when the pool empties. Under
// AddressSanitizer every entry comes from malloc, so that a use after release is caught.
class EntryMemory {
public:
    void* allocate(size_t bytes)
    {
        size_t c = sizeClass(bytes);
        if (c >= kClasses)
            return std::malloc(bytes);
        if (Free* f = _free[c]) {
            _free[c] = f->next;
            return f;
        }
        size_t size = (c + 1) * kGranule;
        if (size_t(_end - _next) < size) {
            char* block = static_cast<char*>(std::malloc(kBlock));
            if (!block)
                return nullptr;
            Block* header = reinterpret_cast<Block*>(block);
            header->previous = _blocks;
            _blocks = header;
            _next = block + kGranule;
            _end = block + kBlock;
        }
        void* p = _next;
        _next += size;
        return p;
    }

    void release(void* p, size_t bytes)
    {
        size_t c = sizeClass(bytes);
        if (c >= kClasses)
            return std::free(p);
        Free* f = static_cast<Free*>(p);
        f->next = _free[c];
        _free[c] = f;
    }

    // Every entry has been released.
    void releaseAll()
    {
        while (Block* b = _blocks) {
            _blocks = b->previous;
            std::free(b);
        }
        std::fill(std::begin(_free), std::end(_free), nullptr);
        _next = _end = nullptr;
    }

private:
#if defined(__SANITIZE_ADDRESS__)
    static constexpr size_t kClasses = 0;
#else
    static constexpr size_t kClasses = 16;
#endif
    static constexpr size_t kGranule = 16;
    static constexpr size_t kBlock = 64 * 1024;
    struct Free {
        Free* next;
    };
    struct Block {
        Block* previous;
    };
    static size_t sizeClass(size_t bytes) { return (bytes - 1) / kGranule; }

    Free* _free[kClasses > 0 ? kClasses : 1] = {};
    Block* _blocks = nullptr;
    char* _next = nullptr;
    char* _end = nullptr;
};

size_t entryBytes(size_t length)
{
    return sizeof(oxStringRef::Entry) + length + 1;
}

// Open addressing with linear probing in one array of (hash, entry) slots, removal by
// shifting the rest of a run back. A node-based map costs an allocation and a scattered
// node per text and rehashes by walking every node; files with hundreds of thousands of
// names made that the largest part of reading them.
class Pool {
public:
    size_t size() const { return _count; }

    // Null when memory for a new entry cannot be had.
    oxStringRef::Entry* intern(std::string_view text) { return intern(text, hashText(text)); }

    oxStringRef::Entry* intern(std::string_view text, uint32_t hash)
    {
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
        auto* entry = static_cast<oxStringRef::Entry*>(_memory.allocate(entryBytes(text.size())));
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

    // Room for `more` texts without growing.
    void reserve(size_t more)
    {
        size_t capacity = _capacity ? _capacity : 256;
        while (2 * (_count + more) > capacity)
            capacity *= 2;
        if (capacity != _capacity)
            resize(capacity);
    }

    void prefetch(uint32_t hash) const
    {
        if (_capacity)
            __builtin_prefetch(&_slots[hash & _mask]);
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
        _memory.release(entry, entryBytes(entry->length));
        if (_count == 0)
            _memory.releaseAll();
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

    EntryMemory _memory;
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
    if (entry && --entry->refs == 0)
        pool().erase(entry);
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

bool oxStringRef::makeMany(const std::string_view* texts, oxStringRef* out, size_t count)
{
    // Hashes are computed and their slots fetched this many texts ahead of the lookups.
    constexpr size_t kAhead = 16;
    Pool& p = pool();
    p.reserve(count);
    uint32_t hashes[kAhead];
    bool made = true;
    for (size_t i = 0; i < count + kAhead; ++i) {
        if (i >= kAhead) {
            size_t k = i - kAhead;
            Entry* e = p.intern(texts[k], hashes[k % kAhead]);
            drop(out[k]._entry);
            out[k]._entry = e;
            made = made && e;
        }
        if (i < count) {
            hashes[i % kAhead] = hashText(texts[i]);
            p.prefetch(hashes[i % kAhead]);
        }
    }
    return made;
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
