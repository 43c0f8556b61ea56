#include "platform/core/oxOXBWriter.h"

#include <cstdarg>
#include <bit>
#include <cstring>
#include <limits>
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

// Addresses to numbers, by open addressing in one array: for the hundreds of thousands of
// objects of a large scene it stays in cache where a node-based map does not.
class AddressNumbers {
public:
    // The number stored for `key`; when there is none, `next` is stored and `added` set.
    uint32_t findOrAdd(const void* key, uint32_t next, bool& added)
    {
        if (2 * (_count + 1) > _slots.size())
            grow();
        size_t i = home(key);
        while (_slots[i].key && _slots[i].key != key)
            i = (i + 1) & (_slots.size() - 1);
        added = !_slots[i].key;
        if (added) {
            _slots[i] = {key, next};
            ++_count;
        }
        return _slots[i].value;
    }
    bool contains(const void* key) const
    {
        if (_slots.empty())
            return false;
        size_t i = home(key);
        while (_slots[i].key && _slots[i].key != key)
            i = (i + 1) & (_slots.size() - 1);
        return _slots[i].key != nullptr;
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
    void grow()
    {
        std::vector<Slot> old;
        old.swap(_slots);
        _slots.assign(old.empty() ? 64 : 2 * old.size(), Slot{nullptr, 0});
        _shift = 64 - std::countr_zero(_slots.size());
        _count = 0;
        bool added = false;
        for (const Slot& slot : old)
            if (slot.key)
                findOrAdd(slot.key, slot.value, added);
    }

    std::vector<Slot> _slots;
    size_t _count = 0;
    int _shift = 64;
};

// One write: numbers the objects (breadth first from the root, so the root is object 1),
// checks the graph, then serialises records, strings and classes and assembles the file.
class Writer final : public oxContentWriter {
public:
    bool collect(oxObject* root);
    bool serialize(std::vector<uint8_t>& out);
    const std::string& getError() const { return _error; }

    void beginArray(oxFieldKind kind, int width, uint32_t count) override;
    void writePlain(const void* elements, uint32_t count) override;
    void writeString(const oxStringRef& text) override;
    void writeText(std::string_view text) override;
    void writeObject(const oxObject* object) override;
    void writeMemory(const void* bytes, size_t size) override;
    void fail(const char* reason) override;

private:
    struct StoredClass {
        const oxMetaObject* meta;
        std::vector<const oxMetaField*> fields;
    };

    bool failf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    uint32_t numberOf(const oxObject* object);
    uint32_t classNumber(const oxMetaObject* meta);
    uint32_t stringNumber(std::string_view text);
    // `pin`: keep a reference, for strings that only a container's hook holds.
    uint32_t stringNumber(const oxStringRef& text, bool pin);
    void writeField(const oxObject* object, const oxMetaField* field);
    // Takes n values of the open array, which must be of a kind that holds them.
    bool take(bool kindMatches, const char* what, uint32_t n);

    void put(const void* bytes, size_t n)
    {
        const auto* b = static_cast<const uint8_t*>(bytes);
        _records.insert(_records.end(), b, b + n);
    }
    void put32(uint32_t v) { put(&v, 4); }

    bool isClassDescription(uint32_t number) const { return _objectMetas[number - 1] == _classDescriptions; }

    const oxMetaObject* _classDescriptions = oxMetaObject::getClassTypeSafe();
    std::vector<oxObject*> _objects;
    std::vector<const oxMetaObject*> _objectMetas;
    AddressNumbers _numbers;
    std::vector<StoredClass> _classes;
    std::unordered_map<const oxMetaObject*, uint32_t> _classNumbers;
    std::unordered_map<std::string, uint32_t, TextHash, std::equal_to<>> _textNumbers;
    // Pooled strings by identity. Field values live as long as their objects; strings a
    // container hands in are pinned here.
    AddressNumbers _pooledNumbers;
    std::vector<oxStringRef> _pinned;
    std::vector<std::string_view> _strings;
    std::vector<uint8_t> _records;

    const oxObject* _current = nullptr;
    oxFieldKind _arrayKind = oxFieldKind::Int;
    uint32_t _arrayWidth = 1;
    uint64_t _arrayLeft = 0;
    std::string _error;
};

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
    failf("object %u (class %s) cannot be stored: %s", numberOf(_current), _current->getMetaObject()->getName(), reason);
}

uint32_t Writer::numberOf(const oxObject* object)
{
    if (!object)
        return 0;
    bool added = false;
    uint32_t n = _numbers.findOrAdd(object, uint32_t(_objects.size() + 1), added);
    if (added) {
        _objects.push_back(const_cast<oxObject*>(object));
        _objectMetas.push_back(object->getMetaObject());
    }
    return n;
}

bool Writer::collect(oxObject* root)
{
    if (!root)
        return failf("there is no root object");
    if (isClassDescription(numberOf(root)))
        return failf("the root is a class description, not an object");
    oxReferenceGraph graph;
    for (size_t i = 0; i < _objects.size(); ++i) {
        if (isClassDescription(uint32_t(i + 1)))
            continue;
        if (!_objectMetas[i]->canInstantiate())
            return failf("object %zu (class %s) cannot be stored: its class cannot be instantiated", i + 1,
                         _objectMetas[i]->getName());
        _objects[i]->preWrite();
        oxForEachReference(_objects[i], [&](oxObject* target, bool holds) {
            uint32_t n = numberOf(target);
            if (!isClassDescription(n))
                graph.add(uint32_t(i), n - 1, holds);
        });
    }
    if (_objects.size() > std::numeric_limits<uint32_t>::max() / 8)
        return failf("too many objects for one file");
    graph.setNodeCount(uint32_t(_objects.size()));
    uint32_t node = 0, from = 0, to = 0;
    if (graph.findHoldingCycle(node))
        return failf("object %u (class %s) is on a cycle of holding references, whose objects could never be "
                     "released",
                     node + 1, _objects[node]->getMetaObject()->getName());
    if (graph.findUnheldTarget(0, from, to))
        return failf("object %u (class %s) points at object %u (class %s) without holding it, and nothing in the "
                     "graph holds that object; hold it, or list it in a directory (oxDirectory::addObject)",
                     from + 1, _objects[from]->getMetaObject()->getName(), to + 1,
                     _objects[to]->getMetaObject()->getName());
    return true;
}

uint32_t Writer::classNumber(const oxMetaObject* meta)
{
    auto [it, added] = _classNumbers.emplace(meta, uint32_t(_classes.size()));
    if (added) {
        StoredClass stored{meta, {}};
        if (meta != _classDescriptions)
            for (int i = 0; i < meta->getMetaFieldCount(); ++i)
                if (const oxMetaField* f = meta->getIndexedMetaField(i); f->isPersistent())
                    stored.fields.push_back(f);
        _classes.push_back(std::move(stored));
    }
    return it->second;
}

uint32_t Writer::stringNumber(std::string_view text)
{
    auto it = _textNumbers.find(text);
    if (it != _textNumbers.end())
        return it->second;
    auto added = _textNumbers.emplace(std::string(text), uint32_t(_strings.size() + 1)).first;
    _strings.push_back(added->first);
    return added->second;
}

uint32_t Writer::stringNumber(const oxStringRef& text, bool pin)
{
    // Equal pooled texts share one address, so most strings are found without hashing
    // their text. A text handed in both ways may be listed twice, which costs only bytes.
    if (text.isNull())
        return 0;
    bool added = false;
    uint32_t n = _pooledNumbers.findOrAdd(text.c_str(), uint32_t(_strings.size() + 1), added);
    if (added) {
        if (pin)
            _pinned.push_back(text);
        _strings.push_back(text.view());
    }
    return n;
}

void Writer::writeField(const oxObject* object, const oxMetaField* field)
{
    const void* p = field->address(object);
    switch (field->getKind()) {
    case oxFieldKind::String:
        put32(stringNumber(*static_cast<const oxStringRef*>(p), false));
        break;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (int k = 0; k < field->getCount(); ++k)
            put32(numberOf(field->getObject(object, k)));
        break;
    case oxFieldKind::MemoryRef: {
        const auto* block = static_cast<const oxMemoryBlock*>(p);
        if (block->size() > std::numeric_limits<uint32_t>::max()) {
            failf("field %s of object %u (class %s) holds a memory block too large for a file", field->getName(),
                  numberOf(object), object->getMetaObject()->getName());
            break;
        }
        put32(uint32_t(block->size()));
        put(block->data(), block->size());
        break;
    }
    default:
        put(p, field->getSize());
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
    uint8_t code = oxOXBFile::kindCode(kind);
    put(&code, 1);
    put32(uint32_t(width));
    put32(count);
    _arrayKind = kind;
    _arrayWidth = uint32_t(width);
    // Plain kinds count elements; the rest count the values the elements are made of.
    _arrayLeft = oxPlainScalarSize(kind) ? count : uint64_t(count) * uint32_t(width);
}

void Writer::writePlain(const void* elements, uint32_t count)
{
    if (take(oxPlainScalarSize(_arrayKind) != 0, "plain values", count))
        put(elements, oxPlainScalarSize(_arrayKind) * size_t(_arrayWidth) * count);
}

void Writer::writeString(const oxStringRef& text)
{
    if (take(_arrayKind == oxFieldKind::String, "a string", 1))
        put32(stringNumber(text, true));
}

void Writer::writeText(std::string_view text)
{
    if (take(_arrayKind == oxFieldKind::String, "a text", 1))
        put32(stringNumber(text));
}

void Writer::writeObject(const oxObject* object)
{
    if (!take(oxIsObjectKind(_arrayKind), "an object", 1))
        return;
    if (object && !_numbers.contains(object))
        return fail("it wrote an object that it did not name while the graph was collected");
    put32(numberOf(object));
}

void Writer::writeMemory(const void* bytes, size_t size)
{
    if (!take(_arrayKind == oxFieldKind::MemoryRef, "a memory block", 1))
        return;
    if (size > std::numeric_limits<uint32_t>::max())
        return fail("a memory block is too large for a file");
    put32(uint32_t(size));
    put(bytes, size);
}

bool Writer::serialize(std::vector<uint8_t>& out)
{
    std::vector<uint32_t> objectClasses(_objects.size());
    _records.reserve(32 * _objects.size());
    for (size_t i = 0; i < _objects.size() && _error.empty(); ++i) {
        oxObject* object = _objects[i];
        _current = object;
        const oxMetaObject* meta = _objectMetas[i];
        objectClasses[i] = classNumber(meta);
        size_t sizeAt = _records.size();
        put32(0);
        if (isClassDescription(uint32_t(i + 1)))
            put32(stringNumber(std::string_view(static_cast<const oxMetaObject*>(object)->getName())));
        else {
            for (const oxMetaField* f : _classes[objectClasses[i]].fields)
                writeField(object, f);
            _arrayLeft = 0;
            object->writeContents(*this);
            if (_arrayLeft)
                fail("its last array ended before all its elements were written");
        }
        size_t size = _records.size() - sizeAt - 4;
        if (size > std::numeric_limits<uint32_t>::max())
            return failf("object %zu (class %s) is too large for a file", i + 1, meta->getName());
        uint32_t size32 = uint32_t(size);
        std::memcpy(&_records[sizeAt], &size32, 4);
    }
    if (!_error.empty())
        return false;

    // The class table names its classes and fields through the string table, so it is
    // built before the strings are emitted.
    std::vector<uint8_t> records;
    records.swap(_records);
    put32(uint32_t(_classes.size()));
    for (const StoredClass& c : _classes) {
        put32(stringNumber(std::string_view(c.meta->getName())));
        put32(uint32_t(c.fields.size()));
        for (const oxMetaField* f : c.fields) {
            if (!oxOXBFile::isValidShape(f->getKind(), uint32_t(f->getCount())) ||
                (oxPlainScalarSize(f->getKind()) && oxPlainScalarSize(f->getKind()) * f->getCount() != f->getSize()))
                return failf("field %s of class %s is not stored as packed values of its kind", f->getName(),
                             c.meta->getName());
            put32(stringNumber(std::string_view(f->getName())));
            uint8_t code = oxOXBFile::kindCode(f->getKind());
            put(&code, 1);
            put32(uint32_t(f->getCount()));
        }
    }
    std::vector<uint8_t> classTable;
    classTable.swap(_records);

    size_t stringBytes = 0;
    for (std::string_view s : _strings)
        stringBytes += s.size() + 5;
    out.clear();
    out.reserve(sizeof oxOXBFile::kMagic + 8 + stringBytes + classTable.size() + 8 + 4 * _objects.size() +
                records.size());
    _records.swap(out);
    put(oxOXBFile::kMagic, sizeof oxOXBFile::kMagic);
    put32(oxOXBFile::kVersion);
    put32(uint32_t(_strings.size()));
    for (std::string_view s : _strings) {
        put32(uint32_t(s.size()));
        put(s.data(), s.size());
        _records.push_back(0);
    }
    put(classTable.data(), classTable.size());
    put32(uint32_t(_objects.size()));
    put(objectClasses.data(), 4 * objectClasses.size());
    put32(1);
    put(records.data(), records.size());
    _records.swap(out);
    return true;
}

bool writeGraph(oxObject* root, std::vector<uint8_t>& out, const char* where)
{
    std::string error;
    try {
        Writer writer;
        if (writer.collect(root) && writer.serialize(out))
            return true;
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
    return writeGraph(root, out, "scene file in memory") ? kSuccess : kFailure;
}

oxResult oxOXBWriter::writeFile(const char* path, oxObject* root)
{
    if (!path || !*path) {
        oxReportWarning("scene file: no file name given");
        return kFailure;
    }
    std::vector<uint8_t> bytes;
    if (!writeGraph(root, bytes, path))
        return kFailure;
    const std::span<const uint8_t> parts[] = {bytes};
    std::string error;
    if (oxReplaceFile(path, parts, error))
        return kSuccess;
    oxReportWarning("%s", error.c_str());
    return kFailure;
}

} // namespace Kel::Core
