#include "platform/core/oxMetaEnum.h"

#include <cstdlib>

#include "platform/core/oxOutput.h"

namespace Kel::Core {

namespace {
// Descriptions live as long as the process: fields keep pointers to them.
std::vector<oxMetaEnum*>& allEnums()
{
    static auto* list = new std::vector<oxMetaEnum*>();
    return *list;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}
} // namespace

oxMetaEnum* oxMetaEnum::createMetaEnum(const char* name, const char* const* itemNames, const int* itemValues,
                                       int itemCount)
{
    auto* e = new oxMetaEnum();
    e->_name = name ? name : "";
    for (int i = 0; i < itemCount; ++i)
        e->_items.push_back({itemNames[i], itemValues[i]});
    allEnums().push_back(e);
    return e;
}

oxMetaEnum* oxMetaEnum::fromDeclaration(oxMetaEnum*& cache, const char* name, const char* enumerators)
{
    if (cache)
        return cache;
    std::vector<std::string> names;
    std::vector<int> values;
    std::string_view rest(enumerators);
    int next = 0;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (item.empty())
            continue;
        size_t eq = item.find('=');
        int value = next;
        if (eq != std::string_view::npos) {
            std::string text(trim(item.substr(eq + 1)));
            char* end = nullptr;
            long v = std::strtol(text.c_str(), &end, 0);
            if (end == text.c_str() || *end != '\0')
                oxReportWarning("enumeration %s: value '%s' is not a literal", name, text.c_str());
            value = int(v);
            item = trim(item.substr(0, eq));
        }
        names.emplace_back(item);
        values.push_back(value);
        next = value + 1;
    }
    std::vector<const char*> cnames;
    for (auto& n : names)
        cnames.push_back(n.c_str());
    cache = createMetaEnum(name, cnames.data(), values.data(), int(values.size()));
    return cache;
}

bool oxMetaEnum::getEnumValue(std::string_view itemName, int& value) const
{
    for (const Item& item : _items)
        if (item.name == itemName) {
            value = item.value;
            return true;
        }
    return false;
}

const char* oxMetaEnum::getEnumName(int value) const
{
    for (const Item& item : _items)
        if (item.value == value)
            return item.name.c_str();
    return nullptr;
}

} // namespace Kel::Core

Kel::Core::oxMetaEnum* Kel::getoxEnumMetaEnum()
{
    static Core::oxMetaEnum* generic = Core::oxMetaEnum::createMetaEnum("oxEnum", nullptr, nullptr, 0);
    return generic;
}
