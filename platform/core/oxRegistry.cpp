#include "platform/core/oxRegistry.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "platform/core/oxOutput.h"

namespace Kel::Core {

namespace {
bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::string_view(" \t\r\n").find(s.front()) != std::string_view::npos)
        s.remove_prefix(1);
    while (!s.empty() && std::string_view(" \t\r\n").find(s.back()) != std::string_view::npos)
        s.remove_suffix(1);
    return s;
}
} // namespace

const std::string* oxRegistrySection::getRawValue(std::string_view key) const
{
    for (auto& [k, v] : _keys)
        if (sameName(k, key))
            return &v;
    return nullptr;
}

void oxRegistrySection::setRawValue(std::string_view key, std::string_view value)
{
    for (auto& [k, v] : _keys)
        if (sameName(k, key)) {
            v = value;
            return;
        }
    _keys.emplace_back(std::string(key), std::string(value));
}

bool oxRegistrySection::removeKey(std::string_view key)
{
    for (auto it = _keys.begin(); it != _keys.end(); ++it)
        if (sameName(it->first, key)) {
            _keys.erase(it);
            return true;
        }
    return false;
}

oxRegistry& oxRegistry::getGlobal()
{
    static oxRegistry global;
    return global;
}

oxResult oxRegistry::load(const char* file, const char* name)
{
    if (!file)
        return kFailure;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        oxReportWarning("cannot open configuration file %s", file);
        return kFailure;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    return loadFromText(buffer.str(), name ? name : file);
}

oxResult oxRegistry::loadFromText(std::string_view text, const char* name)
{
    oxRegistrySection* section = nullptr;
    oxResult result = kSuccess;
    int lineNumber = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            if (close == std::string_view::npos || trim(line.substr(1, close - 1)).empty()) {
                oxReportWarning("%s:%d: malformed section header", name, lineNumber);
                result = kFailure;
                section = nullptr;
                continue;
            }
            section = findSection(trim(line.substr(1, close - 1)), true);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)).empty()) {
            oxReportWarning("%s:%d: expected 'key = value'", name, lineNumber);
            result = kFailure;
            continue;
        }
        if (!section)
            section = findSection("", true);
        section->setRawValue(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return result;
}

std::string oxRegistry::toText() const
{
    std::string out;
    for (auto& s : _sections) {
        out += "[";
        out += s->getSectionName();
        out += "]\n";
        for (int i = 0; i < s->getKeyCount(); ++i)
            out += s->getKey(i) + " = " + s->getValueAt(i) + "\n";
    }
    return out;
}

oxRegistrySection* oxRegistry::findSection(std::string_view name, bool create)
{
    for (auto& s : _sections)
        if (sameName(s->getSectionName(), name))
            return s.get();
    if (!create)
        return nullptr;
    _sections.push_back(std::make_unique<oxRegistrySection>(std::string(name)));
    return _sections.back().get();
}

const oxRegistrySection* oxRegistry::findSection(std::string_view name) const
{
    return const_cast<oxRegistry*>(this)->findSection(name, false);
}

bool oxRegistry::removeSection(std::string_view name)
{
    for (auto it = _sections.begin(); it != _sections.end(); ++it)
        if (sameName((*it)->getSectionName(), name)) {
            _sections.erase(it);
            return true;
        }
    return false;
}

void oxRegistry::merge(const oxRegistry& other)
{
    for (auto& s : other._sections) {
        oxRegistrySection* mine = findSection(s->getSectionName(), true);
        for (int i = 0; i < s->getKeyCount(); ++i)
            mine->setRawValue(s->getKey(i), s->getValueAt(i));
    }
}

const std::string* oxRegistry::raw(std::string_view section, std::string_view key) const
{
    const oxRegistrySection* s = findSection(section);
    return s ? s->getRawValue(key) : nullptr;
}

bool oxRegistry::getValue(std::string_view section, std::string_view key, std::string& out, const char* def) const
{
    const std::string* v = raw(section, key);
    out = v ? *v : (def ? def : "");
    return v != nullptr;
}

bool oxRegistry::getValue(std::string_view section, std::string_view key, bool& out, bool def) const
{
    out = def;
    const std::string* v = raw(section, key);
    if (!v)
        return false;
    for (const char* t : {"true", "yes", "on", "1"})
        if (sameName(*v, t))
            return out = true, true;
    for (const char* f : {"false", "no", "off", "0"})
        if (sameName(*v, f))
            return out = false, true;
    return false;
}

bool oxRegistry::getValue(std::string_view section, std::string_view key, int& out, int def) const
{
    out = def;
    const std::string* v = raw(section, key);
    if (!v || v->empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(v->c_str(), &end, 0);
    if (*end || errno || n < INT32_MIN || n > INT32_MAX)
        return false;
    out = int(n);
    return true;
}

bool oxRegistry::getValue(std::string_view section, std::string_view key, std::vector<std::string>& out) const
{
    out.clear();
    const std::string* v = raw(section, key);
    if (!v)
        return false;
    std::string_view rest(*v);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = trim(rest.substr(0, comma));
        if (!item.empty())
            out.emplace_back(item);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return true;
}

void oxRegistry::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    findSection(section, true)->setRawValue(key, value);
}

} // namespace Kel::Core
