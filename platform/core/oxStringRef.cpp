#include "platform/core/oxStringRef.h"

#include <cstdlib>
#include <unordered_map>

namespace Kel::Core {

struct oxStringRef::Entry {
    int refs;
    size_t length;
    char* text() { return reinterpret_cast<char*>(this + 1); }
};

namespace {
// Leaked on purpose: strings may be released during static destruction.
std::unordered_map<std::string_view, oxStringRef::Entry*>& pool()
{
    static auto* map = new std::unordered_map<std::string_view, oxStringRef::Entry*>();
    return *map;
}

oxStringRef::Entry* intern(std::string_view text)
{
    auto& map = pool();
    auto it = map.find(text);
    if (it != map.end()) {
        ++it->second->refs;
        return it->second;
    }
    auto* entry = static_cast<oxStringRef::Entry*>(std::malloc(sizeof(oxStringRef::Entry) + text.size() + 1));
    entry->refs = 1;
    entry->length = text.size();
    std::memcpy(entry->text(), text.data(), text.size());
    entry->text()[text.size()] = '\0';
    map.emplace(std::string_view(entry->text(), entry->length), entry);
    return entry;
}

void drop(oxStringRef::Entry* entry)
{
    if (entry && --entry->refs == 0) {
        pool().erase(std::string_view(entry->text(), entry->length));
        std::free(entry);
    }
}
} // namespace

oxStringRef::oxStringRef(const char* text) : _entry(text ? intern(text) : nullptr) {}

oxStringRef::oxStringRef(std::string_view text) : _entry(intern(text)) {}

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

} // namespace Kel::Core
