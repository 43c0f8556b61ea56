#include "platform/core/oxMetaField.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxMetaEnum.h"
#include "platform/core/oxObject.h"

namespace Kel::Core {

const char* oxFieldKindName(oxFieldKind kind)
{
    static const char* const names[] = {
        "int",        "unsigned int", "short",  "unsigned short", "unsigned char", "long",
        "unsigned long", "bool",      "float",  "double",         "enum",          "string",
        "object",     "raw object",   "memory", "char array",     "unsigned char array", "float array",
        "object array", "vec2f",      "vec3f",  "vec4f",          "matrix44f",     "quaternionf",
        "pointer",
    };
    return names[int(kind)];
}

oxMetaField::oxMetaField(const char* name, oxFieldKind kind, int count, size_t size,
                         std::unique_ptr<oxFieldAccess> access)
    : _name(name), _kind(kind), _count(count), _size(size), _access(std::move(access)),
      _notPersistent(kind == oxFieldKind::Pointer)
{
}

oxMetaField::oxMetaField(const oxMetaField& o)
    : _name(o._name), _kind(o._kind), _count(o._count), _size(o._size), _access(o._access->clone()),
      _owner(o._owner), _referencedClass(o._referencedClass), _registerReferenced(o._registerReferenced),
      _enumGetter(o._enumGetter), _default(o._default), _defaultString(o._defaultString),
      _changeNotification(o._changeNotification), _constructWithOwner(o._constructWithOwner),
      _notPersistent(o._notPersistent), _inlineRoom(o._inlineRoom)
{
}

oxMetaEnum* oxMetaField::getMetaEnum() const
{
    return _enumGetter ? _enumGetter() : nullptr;
}

void oxMetaField::setDefaultBytes(const void* bytes, size_t size)
{
    const auto* b = static_cast<const uint8_t*>(bytes);
    _default.assign(b, b + size);
}

void oxMetaField::setReferencedClass(oxMetaObject* meta, RegisterFunction registerFunction)
{
    _referencedClass = meta;
    _registerReferenced = registerFunction;
}

oxObject* oxMetaField::getObject(const oxObject* object, int index) const
{
    if (!object || !oxIsObjectKind(_kind) || index < 0 || index >= _count)
        return nullptr;
    return _access->getObject(object, index);
}

bool oxMetaField::setObject(oxObject* object, oxObject* value, int index, bool notify) const
{
    if (!object || !oxIsObjectKind(_kind) || index < 0 || index >= _count)
        return false;
    if (value && _referencedClass && !value->isOfType(_referencedClass))
        return false;
    _access->setObject(object, index, value);
    if (notify)
        notifyChanged(object);
    return true;
}

namespace {

template <class T>
bool parseInteger(std::string_view text, T& out)
{
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    if constexpr (std::is_signed_v<T>) {
        long long v = std::strtoll(s.c_str(), &end, 0);
        if (end == s.c_str() || *end || errno || v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
            return false;
        out = T(v);
    } else {
        if (s.find('-') != std::string::npos)
            return false;
        unsigned long long v = std::strtoull(s.c_str(), &end, 0);
        if (end == s.c_str() || *end || errno || v > std::numeric_limits<T>::max())
            return false;
        out = T(v);
    }
    return true;
}

// Whitespace- or comma-separated numbers, exactly `count` of them.
template <class T>
bool parseTuple(std::string_view text, T* out, int count)
{
    std::string s(text);
    const char* p = s.c_str();
    for (int i = 0; i < count; ++i) {
        while (*p == ' ' || *p == ',' || *p == '\t')
            ++p;
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p)
            return false;
        out[i] = T(v);
        p = end;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return *p == '\0';
}

std::string formatFloat(double v, bool isDouble)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, isDouble ? "%.17g" : "%.9g", v);
    return buf;
}

template <class T>
std::string formatTuple(const T* v, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        if constexpr (std::is_floating_point_v<T>)
            out += formatFloat(v[i], false);
        else
            out += std::to_string(v[i]);
    }
    return out;
}

template <class T>
T load(const void* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(void* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

} // namespace

std::string oxMetaField::toText(const oxObject* object) const
{
    const void* p = address(object);
    switch (_kind) {
    case oxFieldKind::Int: return std::to_string(load<int32_t>(p));
    case oxFieldKind::UnsignedInt: return std::to_string(load<uint32_t>(p));
    case oxFieldKind::Short: return std::to_string(load<int16_t>(p));
    case oxFieldKind::UnsignedShort: return std::to_string(load<uint16_t>(p));
    case oxFieldKind::UnsignedChar: return std::to_string(load<uint8_t>(p));
    case oxFieldKind::Long: return std::to_string(load<int64_t>(p));
    case oxFieldKind::UnsignedLong: return std::to_string(load<uint64_t>(p));
    case oxFieldKind::Bool: return load<bool>(p) ? "true" : "false";
    case oxFieldKind::Float: return formatFloat(load<float>(p), false);
    case oxFieldKind::Double: return formatFloat(load<double>(p), true);
    case oxFieldKind::Enum: {
        int32_t v = load<int32_t>(p);
        const oxMetaEnum* e = getMetaEnum();
        const char* name = e ? e->getEnumName(v) : nullptr;
        return name ? name : std::to_string(v);
    }
    case oxFieldKind::String: return static_cast<const oxStringRef*>(p)->c_str();
    case oxFieldKind::CharArray: {
        const char* c = static_cast<const char*>(p);
        return std::string(c, strnlen(c, _size));
    }
    case oxFieldKind::UnsignedCharArray: return formatTuple(static_cast<const uint8_t*>(p), _count);
    case oxFieldKind::MemoryRef: return std::to_string(static_cast<const oxMemoryBlock*>(p)->size()) + " bytes";
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray: {
        std::string out;
        for (int i = 0; i < _count; ++i) {
            oxObject* o = getObject(object, i);
            if (i)
                out += ' ';
            out += o ? o->getMetaObject()->getName() : "null";
        }
        return out;
    }
    case oxFieldKind::Pointer: {
        const void* v = load<const void*>(p);
        char text[32];
        std::snprintf(text, sizeof text, "%p", v);
        return v ? text : "null";
    }
    default: // float tuples
        return formatTuple(static_cast<const float*>(p), _count);
    }
}

bool oxMetaField::setFromText(oxObject* object, std::string_view text) const
{
    if (!object)
        return false;
    void* p = address(object);
    bool ok = false;
    switch (_kind) {
#define OX_PARSE_INT(Kind, Type)                    \
    case oxFieldKind::Kind: {                       \
        Type v;                                     \
        if ((ok = parseInteger(text, v)))           \
            store(p, v);                            \
        break;                                      \
    }
        OX_PARSE_INT(Int, int32_t)
        OX_PARSE_INT(UnsignedInt, uint32_t)
        OX_PARSE_INT(Short, int16_t)
        OX_PARSE_INT(UnsignedShort, uint16_t)
        OX_PARSE_INT(UnsignedChar, uint8_t)
        OX_PARSE_INT(Long, int64_t)
        OX_PARSE_INT(UnsignedLong, uint64_t)
#undef OX_PARSE_INT
    case oxFieldKind::Bool:
        if ((ok = text == "true" || text == "1" || text == "yes"))
            store(p, true);
        else if ((ok = text == "false" || text == "0" || text == "no"))
            store(p, false);
        break;
    case oxFieldKind::Float: {
        float v;
        if ((ok = parseTuple(text, &v, 1)))
            store(p, v);
        break;
    }
    case oxFieldKind::Double: {
        double v;
        if ((ok = parseTuple(text, &v, 1)))
            store(p, v);
        break;
    }
    case oxFieldKind::Enum: {
        int32_t v = 0;
        const oxMetaEnum* e = getMetaEnum();
        int named = 0;
        if (e && e->getEnumValue(text, named)) {
            v = named;
            ok = true;
        } else
            ok = parseInteger(text, v);
        if (ok)
            store(p, v);
        break;
    }
    case oxFieldKind::String:
        *static_cast<oxStringRef*>(p) = oxStringRef(text);
        ok = true;
        break;
    case oxFieldKind::CharArray:
        if ((ok = text.size() < _size)) {
            std::memset(p, 0, _size);
            std::memcpy(p, text.data(), text.size());
        }
        break;
    case oxFieldKind::UnsignedCharArray: {
        std::vector<double> v(_count);
        if ((ok = parseTuple(text, v.data(), _count)))
            for (int i = 0; i < _count; ++i)
                static_cast<uint8_t*>(p)[i] = uint8_t(v[i]);
        break;
    }
    case oxFieldKind::MemoryRef:
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
    case oxFieldKind::Pointer: return false;
    default: {
        std::vector<float> v(_count);
        if ((ok = parseTuple(text, v.data(), _count)))
            std::memcpy(p, v.data(), sizeof(float) * _count);
        break;
    }
    }
    if (ok)
        notifyChanged(object);
    return ok;
}

void oxMetaField::applyDefault(oxObject* object) const
{
    // Every new object runs this for every field: references, which need no address, are
    // asked for their objects directly.
    switch (_kind) {
    case oxFieldKind::String: *static_cast<oxStringRef*>(address(object)) = _defaultString; return;
    case oxFieldKind::MemoryRef: static_cast<oxMemoryBlock*>(address(object))->clear(); return;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (int i = 0; i < _count; ++i) {
            oxObject* o = _access->getObject(object, i);
            if (o && _constructWithOwner)
                o->userResetFields(false);
            else if (o)
                _access->setObject(object, i, nullptr);
        }
        return;
    default:
        if (_default.size() == _size)
            std::memcpy(address(object), _default.data(), _size);
        else
            std::memset(address(object), 0, _size);
    }
}

bool oxMetaField::hasDefaultValue(const oxObject* object) const
{
    const void* p = address(object);
    switch (_kind) {
    case oxFieldKind::String: return *static_cast<const oxStringRef*>(p) == _defaultString;
    case oxFieldKind::MemoryRef: return static_cast<const oxMemoryBlock*>(p)->empty();
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray: return !_constructWithOwner || getObject(object) != nullptr;
    default: {
        if (_default.size() == _size)
            return std::memcmp(p, _default.data(), _size) == 0;
        // No declared default: zero, as applyDefault leaves it.
        const auto* bytes = static_cast<const uint8_t*>(p);
        return std::all_of(bytes, bytes + _size, [](uint8_t b) { return b == 0; });
    }
    }
}

bool oxMetaField::isAlike(const oxObject* a, const oxObject* b) const
{
    const void* pa = address(a);
    const void* pb = address(b);
    switch (_kind) {
    case oxFieldKind::String: return *static_cast<const oxStringRef*>(pa) == *static_cast<const oxStringRef*>(pb);
    case oxFieldKind::MemoryRef: return *static_cast<const oxMemoryBlock*>(pa) == *static_cast<const oxMemoryBlock*>(pb);
    case oxFieldKind::CharArray: return std::strncmp(static_cast<const char*>(pa), static_cast<const char*>(pb), _size) == 0;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (int i = 0; i < _count; ++i) {
            oxObject* oa = getObject(a, i);
            oxObject* ob = getObject(b, i);
            if (oa == ob)
                continue;
            if (!_constructWithOwner || !oa || !oa->isAlikeShallow(ob))
                return false;
        }
        return true;
    case oxFieldKind::Bool: return load<bool>(pa) == load<bool>(pb);
    default: return std::memcmp(pa, pb, _size) == 0;
    }
}

void oxMetaField::copyValue(oxObject* destination, const oxObject* source) const
{
    void* pd = address(destination);
    const void* ps = address(source);
    switch (_kind) {
    case oxFieldKind::String: *static_cast<oxStringRef*>(pd) = *static_cast<const oxStringRef*>(ps); return;
    case oxFieldKind::MemoryRef: *static_cast<oxMemoryBlock*>(pd) = *static_cast<const oxMemoryBlock*>(ps); return;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (int i = 0; i < _count; ++i)
            _access->setObject(destination, i, getObject(source, i));
        return;
    default: std::memcpy(pd, ps, _size);
    }
}

} // namespace Kel::Core
