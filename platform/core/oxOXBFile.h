#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxFieldTraits.h"

namespace Kel::Core {

// The bytes of a binary scene file (".oxb"), checked and indexed: its strings, its classes
// with the fields they were stored with, its objects and the bounds of their records.
// docs/FILE-FORMAT.md describes the layout. The reader builds objects from this view; tools
// print it. Nothing here knows the registered classes.
//
// Numbers are 1-based wherever 0 means "none": string number 0 is the null string, object
// number 0 the null reference. Class numbers are 0-based indices into the class table.
class oxOXBFile {
public:
    static constexpr uint8_t kMagic[8] = {0x89, 'O', 'X', 'B', '\r', '\n', 0x1a, '\n'};
    static constexpr uint32_t kVersion = 1;

    struct Field {
        std::string_view name;
        oxFieldKind kind;
        uint32_t width;
    };
    struct Class {
        std::string_view name;
        uint32_t firstField;
        uint32_t fieldCount;
        size_t offset; // of the class's entry, for messages
    };
    struct Object {
        uint32_t classIndex;
        size_t recordBegin; // after the record's size
        size_t recordEnd;
    };

    // Checks the header, every table and the bounds of every record. False for anything
    // malformed, with the reason in getError(). The bytes must outlive the view.
    bool open(const void* data, size_t size, std::string_view sourceName);

    const std::string& getError() const { return _error; }
    const std::string& getSourceName() const { return _source; }
    const uint8_t* getData() const { return _data; }
    size_t getSize() const { return _size; }

    uint32_t getStringCount() const { return uint32_t(_strings.size()); }
    // The text of string `number` (1..count); number 0, the null string, gives "".
    std::string_view getString(uint32_t number) const { return number ? _strings[number - 1] : std::string_view(); }
    // Strings 1..count, in order.
    const std::string_view* getStrings() const { return _strings.data(); }

    uint32_t getClassCount() const { return uint32_t(_classes.size()); }
    const Class& getClass(uint32_t index) const { return _classes[index]; }
    const Field& getField(const Class& c, uint32_t i) const { return _fields[c.firstField + i]; }

    uint32_t getObjectCount() const { return uint32_t(_objects.size()); }
    // Object `number` (1..count).
    const Object& getObject(uint32_t number) const { return _objects[number - 1]; }
    const Class& getObjectClass(uint32_t number) const { return _classes[getObject(number).classIndex]; }
    uint32_t getRoot() const { return _root; }
    size_t getRootOffset() const { return _rootOffset; }

    // Records the first failure as "<source>: byte <offset>: <reason>"; returns false.
    bool fail(size_t offset, const char* format, ...) const __attribute__((format(printf, 3, 4)));

    // Whether values of `kind` can be `width` wide (a vector exactly its size, an array 1 or
    // more, everything else 1).
    static bool isValidShape(oxFieldKind kind, uint32_t width);
    // The fewest bytes one element of that shape takes in a record.
    static uint64_t minEncodedSize(oxFieldKind kind, uint32_t width);
    // "float", "float[3]", "object"... for messages and printing.
    static std::string shapeName(oxFieldKind kind, uint32_t width);
    // Kinds are stored as one byte each; these codes never change.
    static bool kindFromCode(uint8_t code, oxFieldKind& kind);
    static uint8_t kindCode(oxFieldKind kind);

private:
    bool parse();

    const uint8_t* _data = nullptr;
    size_t _size = 0;
    std::string _source;
    mutable std::string _error;
    std::vector<std::string_view> _strings;
    std::vector<Class> _classes;
    std::vector<Field> _fields;
    std::vector<Object> _objects;
    uint32_t _root = 0;
    size_t _rootOffset = 0;
};

// Reads values from a byte range of a file (one record, or the tables), checking every
// bound: a failure is recorded in the file's error with the offset where it happened.
class oxOXBCursor {
public:
    oxOXBCursor(const oxOXBFile& file, size_t begin, size_t end) : _file(file), _pos(begin), _end(end) {}

    size_t getOffset() const { return _pos; }
    size_t remaining() const { return _end - _pos; }
    bool atEnd() const { return _pos == _end; }
    bool fail(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    // The readers of single values are inline: a record is read value by value, and a call
    // with a byte count unknown to the compiler per value cost more than the value.
    bool readU8(uint8_t& value)
    {
        if (_pos == _end)
            return cutShort(1);
        value = _file.getData()[_pos++];
        return true;
    }
    bool readU32(uint32_t& value)
    {
        if (_end - _pos < 4)
            return cutShort(4);
        std::memcpy(&value, _file.getData() + _pos, 4);
        _pos += 4;
        return true;
    }
    // Copies n bytes to out, or skips them when out is null.
    bool readBytes(void* out, size_t n)
    {
        if (n > _end - _pos)
            return cutShort(n);
        if (out && n)
            std::memcpy(out, _file.getData() + _pos, n);
        _pos += n;
        return true;
    }
    // `count` elements of a plain kind, `width` values each, to out (null: skip). Booleans
    // must be 0 or 1.
    bool readPlain(oxFieldKind kind, uint32_t width, void* out, uint32_t count);
    // A string number, checked against the string table.
    bool readStringNumber(uint32_t& number) { return readNumber(number, _file.getStringCount(), "string"); }
    // An object number or 0, checked against the object table.
    bool readReference(uint32_t& number) { return readNumber(number, _file.getObjectCount(), "object"); }
    // A memory block's size, checked against the bytes left; the bytes follow.
    bool readMemorySize(uint32_t& size);
    // Skips one value of the given shape, checking what it holds.
    bool skipValue(oxFieldKind kind, uint32_t width);
    // An array header: kind, width and an element count that the bytes left can hold.
    bool beginArray(oxFieldKind& kind, uint32_t& width, uint32_t& count);

private:
    // A 1-based number of a table of `count` entries, or 0.
    bool readNumber(uint32_t& number, uint32_t count, const char* what)
    {
        if (!readU32(number))
            return false;
        return number <= count || outOfRange(number, count, what);
    }
    bool cutShort(size_t needed) const;
    bool outOfRange(uint32_t number, uint32_t count, const char* what);

    const oxOXBFile& _file;
    size_t _pos;
    size_t _end;
};

} // namespace Kel::Core
