#include "platform/core/oxOXBFile.h"

#include <bit>
#include <cstdarg>
#include <cstring>
#include <unordered_set>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxOutput.h"

namespace Kel::Core {

static_assert(std::endian::native == std::endian::little,
              "scene files are little-endian and values are copied as they lie in memory");

namespace {

// The stored code of a kind is its index here. Append only: files depend on these codes.
constexpr oxFieldKind kKindByCode[] = {
    oxFieldKind::Int,       oxFieldKind::UnsignedInt,       oxFieldKind::Short,      oxFieldKind::UnsignedShort,
    oxFieldKind::UnsignedChar, oxFieldKind::Long,           oxFieldKind::UnsignedLong, oxFieldKind::Bool,
    oxFieldKind::Float,     oxFieldKind::Double,            oxFieldKind::Enum,       oxFieldKind::String,
    oxFieldKind::ObjectRef, oxFieldKind::RawRef,            oxFieldKind::MemoryRef,  oxFieldKind::CharArray,
    oxFieldKind::UnsignedCharArray, oxFieldKind::FloatArray, oxFieldKind::ObjectRefArray, oxFieldKind::Vec2f,
    oxFieldKind::Vec3f,     oxFieldKind::Vec4f,             oxFieldKind::Matrix44f,  oxFieldKind::Quaternionf,
    oxFieldKind::Pointer,
};
constexpr uint32_t kKindCount = sizeof kKindByCode / sizeof kKindByCode[0];

// Fixed widths of the kinds that have one; 0 for arrays, whose width the field declares.
uint32_t fixedWidth(oxFieldKind kind)
{
    switch (kind) {
    case oxFieldKind::CharArray:
    case oxFieldKind::UnsignedCharArray:
    case oxFieldKind::FloatArray:
    case oxFieldKind::ObjectRefArray: return 0;
    case oxFieldKind::Vec2f: return 2;
    case oxFieldKind::Vec3f: return 3;
    case oxFieldKind::Vec4f:
    case oxFieldKind::Quaternionf: return 4;
    case oxFieldKind::Matrix44f: return 16;
    default: return 1;
    }
}

bool isReferenceKind(oxFieldKind kind)
{
    return kind == oxFieldKind::String || oxIsObjectKind(kind);
}

// a × b ≤ limit, without overflowing.
bool productFits(uint64_t a, uint64_t b, uint64_t limit)
{
    return a == 0 || b <= limit / a;
}

} // namespace

bool oxOXBFile::kindFromCode(uint8_t code, oxFieldKind& kind)
{
    if (code >= kKindCount)
        return false;
    kind = kKindByCode[code];
    return true;
}

uint8_t oxOXBFile::kindCode(oxFieldKind kind)
{
    for (uint32_t i = 0; i < kKindCount; ++i)
        if (kKindByCode[i] == kind)
            return uint8_t(i);
    return 0xff;
}

bool oxOXBFile::isValidShape(oxFieldKind kind, uint32_t width)
{
    uint32_t fixed = fixedWidth(kind);
    return fixed ? width == fixed : width >= 1;
}

uint64_t oxOXBFile::minEncodedSize(oxFieldKind kind, uint32_t width)
{
    if (kind == oxFieldKind::MemoryRef)
        return 4;
    if (isReferenceKind(kind))
        return 4 * uint64_t(width);
    return oxPlainScalarSize(kind) * uint64_t(width);
}

std::string oxOXBFile::shapeName(oxFieldKind kind, uint32_t width)
{
    std::string name = oxFieldKindName(kind);
    if (!fixedWidth(kind))
        name += "[" + std::to_string(width) + "]";
    return name;
}

bool oxOXBFile::fail(size_t offset, const char* format, ...) const
{
    if (!_error.empty())
        return false;
    va_list args;
    va_start(args, format);
    std::string reason = oxFormatV(format, args);
    va_end(args);
    _error = _source + ": byte " + std::to_string(offset) + ": " + reason;
    return false;
}

bool oxOXBFile::open(const void* data, size_t size, std::string_view sourceName)
{
    _data = static_cast<const uint8_t*>(data);
    _size = data ? size : 0;
    _source = sourceName;
    _error.clear();
    _strings.clear();
    _classes.clear();
    _fields.clear();
    _objects.clear();
    _root = 0;
    _rootOffset = 0;
    return parse();
}

bool oxOXBFile::parse()
{
    oxOXBCursor in(*this, 0, _size);
    if (_size < sizeof kMagic)
        return fail(0, "too short for a scene file (%zu bytes)", _size);
    if (std::memcmp(_data, kMagic, sizeof kMagic) != 0)
        return fail(0, "not a scene file (bad magic number)");
    in.readBytes(nullptr, sizeof kMagic);
    uint32_t version = 0;
    if (!in.readU32(version))
        return false;
    if (version != kVersion)
        return fail(sizeof kMagic, "unknown version %u (this reader knows version %u)", version, kVersion);

    // Every count is checked against the bytes that its entries need at the least, before
    // anything is sized to it.
    auto readCount = [&](uint32_t& count, uint64_t minEntrySize, const char* what) {
        size_t at = in.getOffset();
        if (!in.readU32(count))
            return false;
        if (!productFits(count, minEntrySize, in.remaining()))
            return fail(at, "%u %s cannot fit in the %zu bytes left", count, what, in.remaining());
        return true;
    };

    uint32_t stringCount = 0;
    if (!readCount(stringCount, 5, "strings"))
        return false;
    _strings.reserve(stringCount);
    for (uint32_t i = 0; i < stringCount; ++i) {
        size_t at = in.getOffset();
        uint32_t length = 0;
        if (!in.readU32(length))
            return false;
        if (uint64_t(length) + 1 > in.remaining())
            return fail(at, "string %u (%u bytes) runs past the end of the file", i + 1, length);
        const char* text = reinterpret_cast<const char*>(_data + in.getOffset());
        if (text[length] != '\0')
            return fail(in.getOffset() + length, "string %u is not terminated", i + 1);
        _strings.emplace_back(text, length);
        in.readBytes(nullptr, size_t(length) + 1);
    }

    auto readName = [&](std::string_view& name, const char* what) {
        size_t at = in.getOffset();
        uint32_t number = 0;
        if (!in.readStringNumber(number))
            return false;
        if (!number)
            return fail(at, "%s has no name", what);
        name = getString(number);
        return true;
    };

    uint32_t classCount = 0;
    if (!readCount(classCount, 8, "classes"))
        return false;
    _classes.reserve(classCount);
    std::unordered_set<std::string_view> classNames;
    for (uint32_t c = 0; c < classCount; ++c) {
        Class entry{};
        entry.offset = in.getOffset();
        if (!readName(entry.name, "a class"))
            return false;
        if (!classNames.insert(entry.name).second)
            return fail(entry.offset, "class %.*s is listed twice", int(entry.name.size()), entry.name.data());
        if (!readCount(entry.fieldCount, 9, "fields"))
            return false;
        entry.firstField = uint32_t(_fields.size());
        for (uint32_t f = 0; f < entry.fieldCount; ++f) {
            size_t at = in.getOffset();
            Field field{};
            uint8_t code = 0;
            if (!readName(field.name, "a field") || !in.readU8(code) || !in.readU32(field.width))
                return false;
            if (!kindFromCode(code, field.kind))
                return fail(at, "field %.*s of class %.*s has an unknown kind %u", int(field.name.size()),
                            field.name.data(), int(entry.name.size()), entry.name.data(), code);
            if (!isValidShape(field.kind, field.width))
                return fail(at, "field %.*s of class %.*s cannot be %u %s values wide", int(field.name.size()),
                            field.name.data(), int(entry.name.size()), entry.name.data(), field.width,
                            oxFieldKindName(field.kind));
            for (uint32_t g = entry.firstField; g < _fields.size(); ++g)
                if (_fields[g].name == field.name)
                    return fail(at, "field %.*s of class %.*s is listed twice", int(field.name.size()),
                                field.name.data(), int(entry.name.size()), entry.name.data());
            _fields.push_back(field);
        }
        _classes.push_back(entry);
    }

    // Each object takes four bytes in the object table and four for its record's size.
    uint32_t objectCount = 0;
    if (!readCount(objectCount, 8, "objects"))
        return false;
    _objects.resize(objectCount);
    for (Object& object : _objects) {
        size_t at = in.getOffset();
        if (!in.readU32(object.classIndex))
            return false;
        if (object.classIndex >= classCount)
            return fail(at, "class number %u is out of range (the file has %u classes)", object.classIndex,
                        classCount);
    }

    _rootOffset = in.getOffset();
    if (!in.readReference(_root))
        return false;
    if (!_root)
        return fail(_rootOffset, "the file has no root object");

    for (uint32_t n = 0; n < objectCount; ++n) {
        size_t at = in.getOffset();
        uint32_t recordSize = 0;
        if (!in.readU32(recordSize))
            return false;
        if (recordSize > in.remaining())
            return fail(at, "the record of object %u (%u bytes) runs past the end of the file", n + 1, recordSize);
        _objects[n].recordBegin = in.getOffset();
        _objects[n].recordEnd = in.getOffset() + recordSize;
        in.readBytes(nullptr, recordSize);
    }
    if (!in.atEnd())
        return fail(in.getOffset(), "%zu bytes follow the last record", in.remaining());
    return true;
}

bool oxOXBCursor::fail(const char* format, ...) const
{
    va_list args;
    va_start(args, format);
    std::string reason = oxFormatV(format, args);
    va_end(args);
    return _file.fail(_pos, "%s", reason.c_str());
}

bool oxOXBCursor::cutShort(size_t needed) const
{
    return fail("%zu bytes needed, %zu left (the data is cut short)", needed, remaining());
}

bool oxOXBCursor::readPlain(oxFieldKind kind, uint32_t width, void* out, uint32_t count)
{
    uint64_t elementSize = oxPlainScalarSize(kind) * uint64_t(width);
    if (!productFits(elementSize, count, remaining())) {
        std::string shape = oxOXBFile::shapeName(kind, width);
        if (count == 1)
            return fail("one %s value needs %llu bytes, %zu are left (the data is cut short)", shape.c_str(),
                        (unsigned long long)elementSize, remaining());
        return fail("%u %s values need more than the %zu bytes left (the data is cut short)", count, shape.c_str(),
                    remaining());
    }
    uint64_t bytes = elementSize * count;
    if (kind == oxFieldKind::Bool) {
        const uint8_t* p = _file.getData() + _pos;
        for (uint64_t i = 0; i < bytes; ++i)
            if (p[i] > 1) {
                _pos += i;
                return fail("a boolean holds %u", p[i]);
            }
    }
    return readBytes(out, size_t(bytes));
}

bool oxOXBCursor::outOfRange(uint32_t number, uint32_t count, const char* what)
{
    _pos -= 4;
    return fail("%s number %u is out of range (the file has %u %ss)", what, number, count, what);
}

bool oxOXBCursor::readMemorySize(uint32_t& size)
{
    if (!readU32(size))
        return false;
    if (size > remaining()) {
        _pos -= 4;
        return fail("a memory block of %u bytes runs past its record (%zu bytes left)", size, remaining() - 4);
    }
    return true;
}

bool oxOXBCursor::skipValue(oxFieldKind kind, uint32_t width)
{
    uint32_t number = 0;
    switch (kind) {
    case oxFieldKind::String:
        return readStringNumber(number);
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (uint32_t i = 0; i < width; ++i)
            if (!readReference(number))
                return false;
        return true;
    case oxFieldKind::MemoryRef:
        return readMemorySize(number) && readBytes(nullptr, number);
    default:
        return readPlain(kind, width, nullptr, 1);
    }
}

bool oxOXBCursor::beginArray(oxFieldKind& kind, uint32_t& width, uint32_t& count)
{
    size_t at = _pos;
    uint8_t code = 0;
    if (!readU8(code) || !readU32(width) || !readU32(count))
        return false;
    _pos = at;
    if (!oxOXBFile::kindFromCode(code, kind))
        return fail("an array has an unknown kind %u", code);
    if (!oxOXBFile::isValidShape(kind, width))
        return fail("an array's elements cannot be %u %s values wide", width, oxFieldKindName(kind));
    _pos = at + 9;
    if (!productFits(count, oxOXBFile::minEncodedSize(kind, width), remaining())) {
        _pos = at;
        return fail("an array of %u %s elements cannot fit in the %zu bytes left", count,
                    oxOXBFile::shapeName(kind, width).c_str(), remaining() - 9);
    }
    return true;
}

} // namespace Kel::Core
