#include "platform/core/oxOXBWriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxFiles.h"
#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxObject.h"
#include "platform/core/oxOXBFile.h"
#include "platform/core/oxOutput.h"
#include "platform/core/oxReferenceGraph.h"

namespace Kel::Core {

namespace {

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// Addresses to numbers (never 0), by open addressing in one array: the classes of a write,
// which are looked up once per object, and the few objects the blocks below cannot place.
class AddressNumbers {
public:
    // The number stored for `key`. When there is none: 0 if `next` is 0, otherwise `next`,
    // which is stored.
    uint32_t findOrAdd(const void* key, uint32_t next)
    {
        if (!_slots.empty())
            for (size_t i = home(key); _slots[i].key; i = (i + 1) & (_slots.size() - 1))
                if (_slots[i].key == key)
                    return _slots[i].value;
        if (!next)
            return 0;
        if (2 * (_count + 1) > _slots.size())
            grow();
        place(key, next);
        return next;
    }

private:
    struct Slot {
        const void* key;
        uint32_t value;
    };
    size_t home(const void* key) const
    {
        return size_t((uint64_t(uintptr_t(key)) * 0x9e3779b97f4a7c15ull) >> _shift);
    }
    void place(const void* key, uint32_t value)
    {
        size_t i = home(key);
        while (_slots[i].key)
            i = (i + 1) & (_slots.size() - 1);
        _slots[i] = {key, value};
        ++_count;
    }
    void grow()
    {
        std::vector<Slot> old;
        old.swap(_slots);
        _slots.assign(old.empty() ? 64 : 2 * old.size(), Slot{nullptr, 0});
        _shift = 64 - std::countr_zero(_slots.size());
        _count = 0;
        for (const Slot& slot : old)
            if (slot.key)
                place(slot.key, slot.value);
    }

    std::vector<Slot> _slots;
    size_t _count = 0;
    int _shift = 64;
};

// Object addresses to numbers. The objects of a scene are mostly met in about the order in
// which they were allocated, so the numbers are kept in blocks that mirror memory: one block
// per 4 KB page that holds objects, one slot per 64 bytes of the page. Objects met one after
// the other then find their numbers side by side, where a hash of each address sent every
// lookup to a random place in a table larger than the caches.
//
// A slot says which 8-byte position of its 64 bytes its object starts at, so that nothing
// else is loaded to tell a neighbour from the object sought unless they start at the same
// position. An object and the members kept in its block may start within the same 64 bytes
// (a group and its child list do): the later one takes one of the next few slots of the page,
// checked against the numbered objects; when those are taken too, a hash table keeps it.
// One slot per 16 bytes, which never needed either, made the blocks a quarter of the memory
// the objects span: 27 MB at 300,000 nodes, fresh from the system and faulted in again on
// every write.
class ObjectNumbers {
public:
    // `objects`: object n is objects[n - 1], for telling objects in neighbouring slots apart.
    explicit ObjectNumbers(const std::vector<oxObject*>& objects) : _objects(objects) {}
    ObjectNumbers(const ObjectNumbers&) = delete;
    ObjectNumbers& operator=(const ObjectNumbers&) = delete;

    // The number stored for `object`. When there is none: 0 if `next` is 0, otherwise
    // `next`, which is stored; objects[next - 1] must be `object` before the next call.
    uint32_t findOrAdd(const oxObject* object, uint32_t next)
    {
        const uintptr_t address = uintptr_t(object);
        const uint32_t position = uint32_t(address >> 3) & kPositionMask;
        uint32_t* block = blockOf(address >> kPageShift);
        const size_t home = (address >> kGranuleShift) & (kSlotsPerPage - 1);
        const size_t last = std::min(home + kProbes, kSlotsPerPage);
        for (size_t i = home; i < last; ++i) {
            const uint32_t slot = block[i];
            if (!slot) {
                if (next)
                    block[i] = next << kPositionBits | position;
                return next;
            }
            if ((slot & kPositionMask) == position && _objects[(slot >> kPositionBits) - 1] == object)
                return slot >> kPositionBits;
        }
        return _overflow.findOrAdd(object, next);
    }

    static constexpr uint32_t kMaxNumber = std::numeric_limits<uint32_t>::max() >> 3;

private:
    static constexpr int kGranuleShift = 6;
    static constexpr int kPositionBits = kGranuleShift - 3;
    static constexpr uint32_t kPositionMask = (1u << kPositionBits) - 1;
    static constexpr int kPageShift = 12;
    static constexpr size_t kSlotsPerPage = size_t(1) << (kPageShift - kGranuleShift);
    static constexpr size_t kProbes = 4;
    static_assert(kMaxNumber << kPositionBits >> kPositionBits == kMaxNumber);
    // Blocks come from chunks that are never moved: growing one array of blocks copied and
    // touched it twice over.
    static constexpr size_t kBlocksPerChunk = 256;

    // Pages are found through the 2 MB regions that hold them: a handful of regions, each
    // with an array of its pages' blocks, which a write walks about in order. A hash table
    // of pages sent the first lookup of every page to a random place in a table that
    // outgrew the caches at 300,000 nodes, and took a twentieth of the write.
    static constexpr int kRegionShift = 21 - kPageShift;
    static constexpr size_t kPagesPerRegion = size_t(1) << kRegionShift;
    struct Region {
        uintptr_t region;
        uint32_t** blocks; // per page of the region; null: the entry is empty
    };

    size_t home(uintptr_t region) const
    {
        return size_t((uint64_t(region) * 0x9e3779b97f4a7c15ull) >> (64 - _bits));
    }

    uint32_t* blockOf(uintptr_t page)
    {
        // A write reads the objects of one record while it names those of the next ones:
        // a few pages are in use at a time, and they are found here without the regions.
        Recent& recent = _recent[page & (kRecentPages - 1)];
        if (recent.page != page) {
            uint32_t*& block = regionOf(page >> kRegionShift)[page & (kPagesPerRegion - 1)];
            if (!block)
                block = newBlock();
            recent.block = block;
            recent.page = page;
        }
        return recent.block;
    }

    uint32_t** regionOf(uintptr_t region)
    {
        if (region == _lastRegion)
            return _lastBlocks;
        if (2 * (_regionCount + 1) > _regions.size())
            growRegions();
        size_t i = home(region);
        for (; _regions[i].blocks; i = (i + 1) & (_regions.size() - 1))
            if (_regions[i].region == region)
                break;
        if (!_regions[i].blocks) {
            _regionBlocks.push_back(std::make_unique<uint32_t*[]>(kPagesPerRegion));
            _regions[i] = {region, _regionBlocks.back().get()};
            ++_regionCount;
        }
        _lastRegion = region;
        _lastBlocks = _regions[i].blocks;
        return _lastBlocks;
    }

    uint32_t* newBlock()
    {
        if (_chunkUsed == kBlocksPerChunk || _chunks.empty()) {
            _chunks.push_back(std::make_unique<uint32_t[]>(kBlocksPerChunk * kSlotsPerPage));
            _chunkUsed = 0;
        }
        return _chunks.back().get() + _chunkUsed++ * kSlotsPerPage;
    }

    void growRegions()
    {
        std::vector<Region> old;
        old.swap(_regions);
        _regions.assign(old.empty() ? 16 : 2 * old.size(), Region{0, nullptr});
        _bits = std::countr_zero(_regions.size());
        for (const Region& r : old)
            if (r.blocks) {
                size_t i = home(r.region);
                while (_regions[i].blocks)
                    i = (i + 1) & (_regions.size() - 1);
                _regions[i] = r;
            }
    }

    const std::vector<oxObject*>& _objects;
    std::vector<Region> _regions;
    size_t _regionCount = 0;
    int _bits = 0;
    uintptr_t _lastRegion = ~uintptr_t(0);
    uint32_t** _lastBlocks = nullptr;
    std::vector<std::unique_ptr<uint32_t*[]>> _regionBlocks;
    std::vector<std::unique_ptr<uint32_t[]>> _chunks;
    size_t _chunkUsed = 0;
    AddressNumbers _overflow; // objects whose slots were all taken
    static constexpr size_t kRecentPages = 16;
    struct Recent {
        uintptr_t page = ~uintptr_t(0);
        uint32_t* block = nullptr;
    } _recent[kRecentPages];
};

// Bytes appended at the end, values of a fixed size stored in place: a record is written
// four bytes at a time, and a vector insert per value cost more than the value. Grown by
// realloc, which moves large blocks by remapping their pages rather than copying them,
// and never zero-filled.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { std::free(_data); }

    void put(const void* bytes, size_t n)
    {
        uint8_t* p = grow(n);
        if (n)
            std::memcpy(p, bytes, n);
    }
    void put8(uint8_t v) { *grow(1) = v; }
    void put32(uint32_t v) { std::memcpy(grow(4), &v, 4); }
    void set32(size_t offset, uint32_t v) { std::memcpy(_data + offset, &v, 4); }
    size_t size() const { return _size; }
    std::span<const uint8_t> bytes() const { return {_data, _size}; }

private:
    uint8_t* grow(size_t n)
    {
        if (_capacity - _size < n)
            expand(n);
        uint8_t* p = _data + _size;
        _size += n;
        return p;
    }
    void expand(size_t n)
    {
        if (n > SIZE_MAX / 2 - _size)
            throw std::bad_alloc();
        size_t capacity = std::max({_size + n, 2 * _capacity, size_t(4096)});
        void* p = std::realloc(_data, capacity);
        if (!p)
            throw std::bad_alloc();
        _data = static_cast<uint8_t*>(p);
        _capacity = capacity;
    }

    uint8_t* _data = nullptr;
    size_t _size = 0;
    size_t _capacity = 0;
};

// One write, in one pass: objects are numbered breadth first from the root (the root is
// object 1) in the order their references are met, and each object's record is written
// when its turn comes, naming the objects it refers to; the graph rules are checked on the
// references so collected before anything leaves the writer. Then the string and class
// tables and the object table go in front of the records.
class Writer final : public oxContentWriter {
public:
    Writer() : _pass(oxStringRef::beginPass()) {}

    bool write(oxObject* root);
    // After write(): the file, in the order of these parts.
    std::array<std::span<const uint8_t>, 6> parts() const
    {
        return {_header.bytes(), _stringTable.bytes(), _tables.bytes(), _objectClasses.bytes(), _root.bytes(),
                _records.bytes()};
    }
    const std::string& getError() const { return _error; }

    void beginArray(oxFieldKind kind, int width, uint32_t count) override;
    void writePlain(const void* elements, uint32_t count) override;
    void writeString(const oxStringRef& text) override;
    void writeText(std::string_view text) override;
    void writeObject(const oxObject* object) override;
    void writeMemory(const void* bytes, size_t size) override;
    void fail(const char* reason) override;

private:
    struct StoredField {
        const oxMetaField* field;
        oxFieldKind kind;
        uint32_t count;
        size_t size;
    };
    struct StoredClass {
        const oxMetaObject* meta;
        bool isDescription;
        bool canInstantiate;
        std::vector<StoredField> fields;
    };

    bool failf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // 0 for null; otherwise the object's number, numbering it when it is new.
    uint32_t numberOf(const oxObject* object);
    // The number of a reference from the current object, which the graph checks note.
    uint32_t reference(const oxObject* target, bool holds);
    uint32_t classIndex(const oxMetaObject* meta);
    uint32_t textNumber(std::string_view text);
    // `pin`: keep a reference, for strings that only a container's hook holds.
    uint32_t pooledNumber(const oxStringRef& text, bool pin);
    void writeField(const oxObject* object, const StoredField& field);
    bool writeRecord(uint32_t number);
    void prefetch(uint32_t number) const;
    bool checkGraph();
    // The string number of a new text, whose entry goes into the string table at once,
    // while the text is still in the cache.
    uint32_t addString(std::string_view text);
    void writeTables();
    // Takes n values of the open array, which must be of a kind that holds them.
    bool take(bool kindMatches, const char* what, uint32_t n);

    uint32_t _pass;
    const oxMetaObject* _classDescriptions = oxMetaObject::getClassTypeSafe();
    std::vector<oxObject*> _objects;
    ObjectNumbers _numbers{_objects};
    std::vector<StoredClass> _classes;
    AddressNumbers _classNumbers;
    std::unordered_map<std::string, uint32_t, TextHash, std::equal_to<>> _textNumbers;
    // Strings a container hands in are kept alive here; field values live as long as
    // their objects.
    std::vector<oxStringRef> _pinned;
    uint32_t _stringCount = 0;
    oxReferenceGraph _graph;
    ByteBuffer _header;      // magic number, version and string count
    ByteBuffer _stringTable;
    ByteBuffer _tables;      // the class table and the object count
    ByteBuffer _objectClasses; // the object table, which follows
    ByteBuffer _root;
    ByteBuffer _records;

    const oxObject* _current = nullptr;
    uint32_t _currentNumber = 0;
    oxFieldKind _arrayKind = oxFieldKind::Int;
    uint32_t _arrayWidth = 1;
    uint64_t _arrayLeft = 0;
    std::string _error;
};

constexpr size_t kMaxObjects = ObjectNumbers::kMaxNumber;
constexpr size_t kPrefetchAhead = 8;

bool Writer::failf(const char* format, ...)
{
    if (!_error.empty())
        return false;
    va_list args;
    va_start(args, format);
    _error = oxFormatV(format, args);
    va_end(args);
    return false;
}

void Writer::fail(const char* reason)
{
    failf("object %u (class %s) cannot be stored: %s", _currentNumber, _current->getMetaObject()->getName(), reason);
}

uint32_t Writer::numberOf(const oxObject* object)
{
    if (!object)
        return 0;
    const uint32_t next = _objects.size() < kMaxObjects ? uint32_t(_objects.size()) + 1 : 0;
    const uint32_t n = _numbers.findOrAdd(object, next);
    if (!n)
        failf("too many objects for one file");
    else if (n == next)
        _objects.push_back(const_cast<oxObject*>(object));
    return n;
}

uint32_t Writer::reference(const oxObject* target, bool holds)
{
    uint32_t n = numberOf(target);
    if (n)
        _graph.add(_currentNumber - 1, n - 1, holds);
    return n;
}

uint32_t Writer::classIndex(const oxMetaObject* meta)
{
    // Stored plus one: numbers are never 0.
    const uint32_t next = uint32_t(_classes.size()) + 1;
    if (uint32_t found = _classNumbers.findOrAdd(meta, next); found != next)
        return found - 1;
    const uint32_t index = next - 1;
    StoredClass stored{meta, meta == _classDescriptions, meta->canInstantiate(), {}};
    if (!stored.isDescription)
        for (int i = 0; i < meta->getMetaFieldCount(); ++i)
            if (const oxMetaField* f = meta->getIndexedMetaField(i); f->isPersistent())
                stored.fields.push_back({f, f->getKind(), uint32_t(f->getCount()), f->getSize()});
    _classes.push_back(std::move(stored));
    return index;
}

uint32_t Writer::textNumber(std::string_view text)
{
    auto it = _textNumbers.find(text);
    if (it != _textNumbers.end())
        return it->second;
    uint32_t n = addString(text);
    _textNumbers.emplace(std::string(text), n);
    return n;
}

uint32_t Writer::pooledNumber(const oxStringRef& text, bool pin)
{
    // Equal pooled texts share one pool entry, which carries this write's number for it.
    // A text handed in both pooled and as plain text may be listed twice, which costs only
    // bytes.
    if (text.isNull())
        return 0;
    if (uint32_t n = text.getPassValue(_pass))
        return n;
    uint32_t n = addString(text.view());
    text.setPassValue(_pass, n);
    if (pin)
        _pinned.push_back(text);
    return n;
}

void Writer::writeField(const oxObject* object, const StoredField& stored)
{
    const oxMetaField* field = stored.field;
    switch (stored.kind) {
    case oxFieldKind::String:
        _records.put32(pooledNumber(*static_cast<const oxStringRef*>(field->address(object)), false));
        break;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (uint32_t k = 0; k < stored.count; ++k)
            _records.put32(reference(field->getObject(object, int(k)), stored.kind != oxFieldKind::RawRef));
        break;
    case oxFieldKind::MemoryRef: {
        const auto* block = static_cast<const oxMemoryBlock*>(field->address(object));
        if (block->size() > std::numeric_limits<uint32_t>::max()) {
            failf("field %s of object %u (class %s) holds a memory block too large for a file", field->getName(),
                  _currentNumber, object->getMetaObject()->getName());
            break;
        }
        _records.put32(uint32_t(block->size()));
        _records.put(block->data(), block->size());
        break;
    }
    default:
        _records.put(field->address(object), stored.size);
    }
}

bool Writer::take(bool kindMatches, const char* what, uint32_t n)
{
    if (!kindMatches)
        fail((std::string("it wrote ") + what + " into an array of " + oxFieldKindName(_arrayKind)).c_str());
    else if (n > _arrayLeft)
        fail("it wrote more values than its array announced");
    else {
        _arrayLeft -= n;
        return true;
    }
    return false;
}

void Writer::beginArray(oxFieldKind kind, int width, uint32_t count)
{
    if (_arrayLeft)
        return fail("an array ended before all its elements were written");
    if (width < 1 || !oxOXBFile::isValidShape(kind, uint32_t(width)))
        return fail("an array's elements have an impossible width");
    _records.put8(oxOXBFile::kindCode(kind));
    _records.put32(uint32_t(width));
    _records.put32(count);
    _arrayKind = kind;
    _arrayWidth = uint32_t(width);
    // Plain kinds count elements; the rest count the values the elements are made of.
    _arrayLeft = oxPlainScalarSize(kind) ? count : uint64_t(count) * uint32_t(width);
}

void Writer::writePlain(const void* elements, uint32_t count)
{
    if (take(oxPlainScalarSize(_arrayKind) != 0, "plain values", count))
        _records.put(elements, oxPlainScalarSize(_arrayKind) * size_t(_arrayWidth) * count);
}

void Writer::writeString(const oxStringRef& text)
{
    if (take(_arrayKind == oxFieldKind::String, "a string", 1))
        _records.put32(pooledNumber(text, true));
}

void Writer::writeText(std::string_view text)
{
    if (take(_arrayKind == oxFieldKind::String, "a text", 1))
        _records.put32(textNumber(text));
}

void Writer::writeObject(const oxObject* object)
{
    if (take(oxIsObjectKind(_arrayKind), "an object", 1))
        _records.put32(reference(object, _arrayKind != oxFieldKind::RawRef));
}

void Writer::writeMemory(const void* bytes, size_t size)
{
    if (!take(_arrayKind == oxFieldKind::MemoryRef, "a memory block", 1))
        return;
    if (size > std::numeric_limits<uint32_t>::max())
        return fail("a memory block is too large for a file");
    _records.put32(uint32_t(size));
    _records.put(bytes, size);
}

void Writer::prefetch(uint32_t number) const
{
    // The objects next in line were named by records written a while ago and have left the
    // caches: they are asked for a few records ahead. At 100,000 nodes that took a third
    // off the write. What their contents read elsewhere (a group's child array) is asked
    // for once the object itself has come, half as far ahead.
    if (number + 2 * kPrefetchAhead <= _objects.size()) {
        const char* ahead = reinterpret_cast<const char*>(_objects[number - 1 + 2 * kPrefetchAhead]);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
    }
    if (number + kPrefetchAhead <= _objects.size())
        _objects[number - 1 + kPrefetchAhead]->prefetchContents();
}

bool Writer::writeRecord(uint32_t number)
{
    oxObject* object = _objects[number - 1];
    _current = object;
    _currentNumber = number;
    const oxMetaObject* meta = object->getMetaObject();
    uint32_t index = classIndex(meta);
    _objectClasses.put32(index);
    const StoredClass& stored = _classes[index];
    size_t sizeAt = _records.size();
    _records.put32(0);
    if (stored.isDescription) {
        if (number == 1)
            return failf("the root is a class description, not an object");
        // It stands for a class: nothing holds it or is held by it.
        _graph.ignore(number - 1);
        _records.put32(textNumber(static_cast<const oxMetaObject*>(object)->getName()));
    } else {
        if (!stored.canInstantiate)
            return failf("object %u (class %s) cannot be stored: its class cannot be instantiated", number,
                         meta->getName());
        object->preWrite();
        for (const StoredField& f : stored.fields)
            writeField(object, f);
        _arrayLeft = 0;
        object->writeContents(*this);
        if (_arrayLeft)
            fail("its last array ended before all its elements were written");
        if (!_error.empty())
            return false;
    }
    size_t size = _records.size() - sizeAt - 4;
    if (size > std::numeric_limits<uint32_t>::max())
        return failf("object %u (class %s) is too large for a file", number, meta->getName());
    _records.set32(sizeAt, uint32_t(size));
    return true;
}

bool Writer::checkGraph()
{
    _graph.setNodeCount(uint32_t(_objects.size()));
    uint32_t node = 0, from = 0, to = 0;
    if (_graph.findHoldingCycle(node))
        return failf("object %u (class %s) is on a cycle of holding references, whose objects could never be "
                     "released",
                     node + 1, _objects[node]->getMetaObject()->getName());
    if (_graph.findUnheldTarget(0, from, to))
        return failf("object %u (class %s) points at object %u (class %s) without holding it, and nothing in the "
                     "graph holds that object; hold it, or list it in a directory (oxDirectory::addObject)",
                     from + 1, _objects[from]->getMetaObject()->getName(), to + 1,
                     _objects[to]->getMetaObject()->getName());
    return true;
}

bool Writer::write(oxObject* root)
{
    if (!root)
        return failf("there is no root object");
    numberOf(root);
    for (uint32_t n = 1; n <= _objects.size(); ++n) {
        prefetch(n);
        if (!writeRecord(n))
            return false;
    }
    if (!_error.empty() || !checkGraph())
        return false;
    for (const StoredClass& c : _classes)
        for (const StoredField& f : c.fields)
            if (!oxOXBFile::isValidShape(f.kind, f.count) ||
                (oxPlainScalarSize(f.kind) && oxPlainScalarSize(f.kind) * f.count != f.size))
                return failf("field %s of class %s is not stored as packed values of its kind", f.field->getName(),
                             c.meta->getName());
    writeTables();
    return true;
}

uint32_t Writer::addString(std::string_view text)
{
    if (text.size() > std::numeric_limits<uint32_t>::max() - 1) {
        failf("object %u (class %s) holds a text too long for a file", _currentNumber,
              _current ? _current->getMetaObject()->getName() : "none");
        return 0;
    }
    _stringTable.put32(uint32_t(text.size()));
    _stringTable.put(text.data(), text.size());
    _stringTable.put8(0);
    return ++_stringCount;
}

void Writer::writeTables()
{
    // The class table names its classes and fields through the string table, which it
    // may still extend.
    _tables.put32(uint32_t(_classes.size()));
    for (const StoredClass& c : _classes) {
        _tables.put32(textNumber(c.meta->getName()));
        _tables.put32(uint32_t(c.fields.size()));
        for (const StoredField& f : c.fields) {
            _tables.put32(textNumber(f.field->getName()));
            _tables.put8(oxOXBFile::kindCode(f.kind));
            _tables.put32(f.count);
        }
    }
    _tables.put32(uint32_t(_objects.size()));
    _root.put32(1);
    _header.put(oxOXBFile::kMagic, sizeof oxOXBFile::kMagic);
    _header.put32(oxOXBFile::kVersion);
    _header.put32(_stringCount);
}

// Runs one write; false with a warning naming `where` when the graph cannot be stored.
// `use` takes the parts of the file.
template <class Use>
bool writeGraph(oxObject* root, const char* where, Use&& use)
{
    std::string error;
    try {
        Writer writer;
        if (writer.write(root))
            return use(writer.parts());
        error = writer.getError();
    } catch (const std::bad_alloc&) {
        error = "not enough memory to store the graph";
    } catch (const std::length_error&) {
        error = "the graph is too large to be stored";
    }
    oxReportWarning("%s: %s", where, error.c_str());
    return false;
}

} // namespace

oxResult oxOXBWriter::writeMemory(oxObject* root, std::vector<uint8_t>& out)
{
    bool written = writeGraph(root, "scene file in memory", [&](std::span<const std::span<const uint8_t>> parts) {
        size_t size = 0;
        for (std::span<const uint8_t> part : parts)
            size += part.size();
        // Appended rather than resized and copied over: new memory is then written once,
        // not zeroed first. `out` is left as it was when the memory cannot be had.
        std::vector<uint8_t> fresh;
        std::vector<uint8_t>& into = out.capacity() < size ? fresh : out;
        into.reserve(size);
        into.clear();
        for (std::span<const uint8_t> part : parts)
            into.insert(into.end(), part.begin(), part.end());
        if (&into == &fresh)
            out.swap(fresh);
        return true;
    });
    return written ? kSuccess : kFailure;
}

oxResult oxOXBWriter::writeFile(const char* path, oxObject* root)
{
    if (!path || !*path) {
        oxReportWarning("scene file: no file name given");
        return kFailure;
    }
    bool written = writeGraph(root, path, [&](std::span<const std::span<const uint8_t>> parts) {
        std::string error;
        if (oxReplaceFile(path, parts, error))
            return true;
        oxReportWarning("%s", error.c_str());
        return false;
    });
    return written ? kSuccess : kFailure;
}

} // namespace Kel::Core
