#include "platform/core/oxStrings.h"

#include "platform/core/oxContentStream.h"

namespace Kel::Core {

std::string_view oxTrim(std::string_view s)
{
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    while (!s.empty() && kSpace.find(s.front()) != std::string_view::npos)
        s.remove_prefix(1);
    while (!s.empty() && kSpace.find(s.back()) != std::string_view::npos)
        s.remove_suffix(1);
    return s;
}

bool oxNextConfigLine(std::string_view& text, int& lineNumber, std::string_view& line, const char*& problem)
{
    while (!text.empty()) {
        const size_t end = text.find('\n');
        line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        problem = line.find('\0') != std::string_view::npos ? "NUL byte in the line" : nullptr;
        line = oxTrim(line);
        if (problem || !(line.empty() || line.front() == ';' || line.front() == '#'))
            return true;
    }
    return false;
}

void oxStringObj::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _value.clear();
}

void oxStringObj::userCopyShallow(const oxObject* source)
{
    _value = static_cast<const oxStringObj*>(source)->_value;
}

bool oxStringObj::userIsAlikeShallow(const oxObject* other) const
{
    return static_cast<const oxStringObj*>(other)->_value == _value;
}

bool oxStringRefList::remove(int index)
{
    if (index < 0 || index >= getCount())
        return false;
    _items.erase(_items.begin() + index);
    return true;
}

int oxStringRefList::find(const oxStringRef& s) const
{
    for (size_t i = 0; i < _items.size(); ++i)
        if (_items[i] == s)
            return int(i);
    return -1;
}

void oxStringRefList::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _items.clear();
}

void oxStringRefList::userCopyShallow(const oxObject* source)
{
    _items = static_cast<const oxStringRefList*>(source)->_items;
}

bool oxStringRefList::userIsAlikeShallow(const oxObject* other) const
{
    return static_cast<const oxStringRefList*>(other)->_items == _items;
}

bool oxObjectStringMap::userIsAlikeShallow(const oxObject* other) const
{
    const auto& theirs = static_cast<const oxObjectStringMap*>(other)->_map;
    if (theirs.size() != _map.size())
        return false;
    for (auto a = _map.begin(), b = theirs.begin(); a != _map.end(); ++a, ++b)
        if (a->first != b->first || a->second.get() != b->second.get())
            return false;
    return true;
}

void oxObjectStringMap::insert(std::string_view name, oxObject* object)
{
    _map[std::string(name)] = object;
}

oxObject* oxObjectStringMap::find(std::string_view name) const
{
    auto it = _map.find(name);
    return it == _map.end() ? nullptr : it->second.get();
}

bool oxObjectStringMap::remove(std::string_view name)
{
    auto it = _map.find(name);
    if (it == _map.end())
        return false;
    _map.erase(it);
    return true;
}

void oxObjectStringMap::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _map.clear();
}

void oxStringObj::writeContents(oxContentWriter& out) const
{
    out.beginArray(oxFieldKind::String, 1, 1);
    out.writeText(_value);
}

bool oxStringObj::readContents(oxContentReader& in)
{
    uint32_t n = 0;
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    if (n != 1)
        return in.fail("a string object holds exactly one text");
    return in.readText(_value);
}

void oxStringRefList::writeContents(oxContentWriter& out) const
{
    out.beginArray(oxFieldKind::String, 1, uint32_t(_items.size()));
    for (const oxStringRef& s : _items)
        out.writeString(s);
}

bool oxStringRefList::readContents(oxContentReader& in)
{
    uint32_t n = 0;
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    _items.assign(n, oxStringRef());
    for (oxStringRef& s : _items)
        if (!in.readString(s))
            return false;
    return true;
}

void oxObjectStringMap::writeContents(oxContentWriter& out) const
{
    out.beginArray(oxFieldKind::String, 1, uint32_t(_map.size()));
    for (auto& entry : _map)
        out.writeText(entry.first);
    out.beginArray(oxFieldKind::ObjectRef, 1, uint32_t(_map.size()));
    for (auto& entry : _map)
        out.writeObject(entry.second.get());
}

bool oxObjectStringMap::readContents(oxContentReader& in)
{
    uint32_t n = 0;
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    std::vector<std::string> names(n);
    for (std::string& name : names)
        if (!in.readText(name))
            return false;
    uint32_t objects = 0;
    if (!in.beginArray(oxFieldKind::ObjectRef, 1, objects))
        return false;
    if (objects != n)
        return in.fail("a map stores as many objects as names");
    _map.clear();
    for (const std::string& name : names) {
        oxObject* o = nullptr;
        if (!in.readObject(o, nullptr))
            return false;
        if (!_map.emplace(name, o).second)
            return in.fail("a map stores two entries under one name");
    }
    return true;
}

} // namespace Kel::Core
