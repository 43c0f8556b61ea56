#include "platform/core/oxRegistry.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <strings.h>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxFiles.h"
#include "platform/core/oxOutput.h"
#include "platform/core/oxStrings.h"

namespace Kel::Core {

namespace {
// Larger configuration files are surely not configuration files.
constexpr uint64_t kMaxFileSize = 16u << 20;

// Names and values that toText writes so that they read back as they are.
bool validSectionName(std::string_view name)
{
    return !name.empty() && name == oxTrim(name) && name.find_first_of("]\n\r") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool validKey(std::string_view key)
{
    return !key.empty() && key == oxTrim(key) && key.find_first_of("=\n\r") == std::string_view::npos &&
           key.find('\0') == std::string_view::npos && key.front() != '[' && key.front() != ';' && key.front() != '#';
}

bool validValue(std::string_view value)
{
    return value.find_first_of("\n\r") == std::string_view::npos && value.find('\0') == std::string_view::npos;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const char* const kPredefined[oxRegistry::kPredefinedSectionCount] = {
    "General", "Output", "Memory", "Files", "Graphics", "Rendering", "Compile", "Shaders",
};
} // namespace

std::string* oxRegistry::Section::find(std::string_view key)
{
    for (auto& [k, v] : keys)
        if (sameName(k, key))
            return &v;
    return nullptr;
}

const std::string* oxRegistry::Section::find(std::string_view key) const
{
    return const_cast<Section*>(this)->find(key);
}

void oxRegistry::Section::set(std::string_view key, std::string_view value, bool overwrite)
{
    if (std::string* v = find(key)) {
        if (overwrite)
            *v = value;
        return;
    }
    keys.emplace_back(std::string(key), std::string(value));
}

const char* oxRegistry::getPredefinedSectionName(int index)
{
    return index >= 0 && index < kPredefinedSectionCount ? kPredefined[index] : nullptr;
}

oxRegistry& oxRegistry::getGlobal()
{
    // Held for the whole process: classes read it while they register and while they go.
    static oxRegistry* global = [] {
        oxRegistry* r = _instantiateFromPool(nullptr);
        r->ref();
        for (const char* name : kPredefined)
            r->findSection(name, true);
        r->_fixedSections = kPredefinedSectionCount;
        if (const char* file = std::getenv(kGlobalFileVariable); file && *file)
            r->load(file);
        return r;
    }();
    return *global;
}

oxResult oxRegistry::loadGlobal(const char* file)
{
    return getGlobal().load(file);
}

oxResult oxRegistry::load(const char* file, const char* name)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!oxReadWholeFile(file, kMaxFileSize, bytes, error)) {
        oxReportWarning("configuration: %s", error.c_str());
        return kFailure;
    }
    return loadFromMemory(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                          name && *name ? name : file);
}

oxResult oxRegistry::loadFromMemory(std::string_view text, const char* label)
{
    if (!label || !*label)
        label = "text";
    // Parsed apart first, so that a bad line leaves this registry as it was.
    oxRegistry* parsed = _instantiateFromPool(nullptr);
    oxSmartPointer<oxRegistry> hold(parsed);
    int section = -1;
    bool afterBadHeader = false;
    int lineNumber = 0;
    bool ok = true;
    auto fail = [&](const char* problem) {
        oxReportWarning("%s:%d: %s", label, lineNumber, problem);
        ok = false;
    };
    std::string_view line;
    const char* problem = nullptr;
    while (oxNextConfigLine(text, lineNumber, line, problem)) {
        if (problem) {
            fail(problem);
            continue;
        }
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = close == std::string_view::npos ? std::string_view() : oxTrim(line.substr(1, close - 1));
            if (close == std::string_view::npos || name.empty() || !oxTrim(line.substr(close + 1)).empty()) {
                fail("malformed section header, expected '[name]'");
                section = -1;
                afterBadHeader = true;
                continue;
            }
            section = parsed->findSection(name, true);
            afterBadHeader = false;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || oxTrim(line.substr(0, eq)).empty()) {
            fail("expected 'key = value'");
            continue;
        }
        if (section < 0) {
            // The keys under a bad header were reported with it.
            if (!afterBadHeader)
                fail("key outside any section");
            continue;
        }
        parsed->setValue(section, oxTrim(line.substr(0, eq)), oxTrim(line.substr(eq + 1)));
    }
    if (!ok)
        return kFailure;
    merge(*parsed, true);
    return kSuccess;
}

std::string oxRegistry::toText() const
{
    std::string out;
    for (const Section& s : _sections) {
        out += "[" + s.name + "]\n";
        for (auto& [k, v] : s.keys)
            out += k + " = " + v + "\n";
    }
    return out;
}

int oxRegistry::findSection(std::string_view name, bool create)
{
    for (size_t i = 0; i < _sections.size(); ++i)
        if (sameName(_sections[i].name, name))
            return int(i);
    if (!create || !validSectionName(name))
        return -1;
    _sections.push_back(Section{std::string(name), {}});
    return int(_sections.size()) - 1;
}

int oxRegistry::findSection(std::string_view name) const
{
    return const_cast<oxRegistry*>(this)->findSection(name, false);
}

const char* oxRegistry::getSectionName(int section) const
{
    return section >= 0 && section < getSectionCount() ? _sections[section].name.c_str() : nullptr;
}

bool oxRegistry::removeSection(std::string_view name)
{
    int i = findSection(name);
    if (i < _fixedSections)
        return false;
    _sections.erase(_sections.begin() + i);
    return true;
}

void oxRegistry::clear()
{
    _sections.resize(size_t(_fixedSections));
    for (Section& s : _sections)
        s.keys.clear();
}

int oxRegistry::getKeyCount(int section) const
{
    return section >= 0 && section < getSectionCount() ? int(_sections[section].keys.size()) : 0;
}

const char* oxRegistry::getKey(int section, int index) const
{
    if (index < 0 || index >= getKeyCount(section))
        return nullptr;
    return _sections[section].keys[index].first.c_str();
}

const char* oxRegistry::getRawValue(int section, int index) const
{
    if (index < 0 || index >= getKeyCount(section))
        return nullptr;
    return _sections[section].keys[index].second.c_str();
}

const std::string* oxRegistry::raw(int section, std::string_view key) const
{
    return section >= 0 && section < getSectionCount() ? _sections[section].find(key) : nullptr;
}

const char* oxRegistry::getRawValue(int section, std::string_view key) const
{
    const std::string* v = raw(section, key);
    return v ? v->c_str() : nullptr;
}

const char* oxRegistry::getRawValue(std::string_view section, std::string_view key) const
{
    return getRawValue(findSection(section), key);
}

bool oxRegistry::parseBool(std::string_view text, bool& out)
{
    text = unquote(oxTrim(text));
    for (const char* t : {"true", "yes", "on", "1"})
        if (sameName(text, t))
            return out = true, true;
    for (const char* f : {"false", "no", "off", "0"})
        if (sameName(text, f))
            return out = false, true;
    return false;
}

bool oxRegistry::parseInt(std::string_view text, int& out)
{
    std::string s(unquote(oxTrim(text)));
    if (s.empty())
        return false;
    // Base 10 unless "0x": a leading zero does not make a count octal.
    size_t digits = s[0] == '-' || s[0] == '+' ? 1 : 0;
    int base = s.compare(digits, 2, "0x") == 0 || s.compare(digits, 2, "0X") == 0 ? 16 : 10;
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(s.c_str(), &end, base);
    if (*end || errno || n < INT32_MIN || n > INT32_MAX)
        return false;
    out = int(n);
    return true;
}

bool oxRegistry::parseFloat(std::string_view text, float& out)
{
    std::string s(unquote(oxTrim(text)));
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    float f = std::strtof(s.c_str(), &end);
    if (*end || errno || !std::isfinite(f))
        return false;
    out = f;
    return true;
}

std::string_view oxRegistry::unquote(std::string_view text)
{
    // "a", "b" is two quoted items, not one quoted text.
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
        text.substr(1, text.size() - 2).find('"') == std::string_view::npos)
        return text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string> oxRegistry::parseList(std::string_view text)
{
    std::vector<std::string> items;
    text = oxTrim(text);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    while (!text.empty()) {
        // A comma inside double quotes belongs to the item.
        size_t comma = 0;
        bool quoted = false;
        while (comma < text.size() && (quoted || text[comma] != ',')) {
            if (text[comma] == '"')
                quoted = !quoted;
            ++comma;
        }
        std::string_view item = unquote(oxTrim(text.substr(0, comma)));
        if (!oxTrim(text.substr(0, comma)).empty())
            items.emplace_back(item);
        text = comma < text.size() ? text.substr(comma + 1) : std::string_view();
    }
    return items;
}

bool oxRegistry::getValue(int section, std::string_view key, std::string& out, const char* def) const
{
    const std::string* v = raw(section, key);
    out = v ? std::string(unquote(*v)) : std::string(def ? def : "");
    return v != nullptr;
}

bool oxRegistry::getValue(int section, std::string_view key, bool& out, bool def) const
{
    out = def;
    const std::string* v = raw(section, key);
    return v && parseBool(*v, out);
}

bool oxRegistry::getValue(int section, std::string_view key, int& out, int def) const
{
    out = def;
    const std::string* v = raw(section, key);
    return v && parseInt(*v, out);
}

bool oxRegistry::getValue(int section, std::string_view key, float& out, float def) const
{
    out = def;
    const std::string* v = raw(section, key);
    return v && parseFloat(*v, out);
}

bool oxRegistry::getValue(int section, std::string_view key, std::vector<std::string>& out) const
{
    const std::string* v = raw(section, key);
    out = v ? parseList(*v) : std::vector<std::string>();
    return v != nullptr;
}

bool oxRegistry::setValue(int section, std::string_view key, std::string_view value)
{
    if (section < 0 || section >= getSectionCount() || !validKey(key) || !validValue(value))
        return false;
    _sections[section].set(key, oxTrim(value));
    return true;
}

void oxRegistry::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    setValue(findSection(section, true), key, value);
}

bool oxRegistry::setIntValue(int section, std::string_view key, int value)
{
    return setValue(section, key, std::to_string(value));
}

bool oxRegistry::setBoolValue(int section, std::string_view key, bool value)
{
    return setValue(section, key, boolText(value));
}

bool oxRegistry::removeKey(int section, std::string_view key)
{
    if (section < 0 || section >= getSectionCount())
        return false;
    auto& keys = _sections[section].keys;
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (sameName(it->first, key)) {
            keys.erase(it);
            return true;
        }
    return false;
}

void oxRegistry::merge(const oxRegistry& other, bool overwrite)
{
    if (&other == this)
        return;
    for (const Section& s : other._sections) {
        Section& mine = _sections[size_t(findSection(s.name, true))];
        for (auto& [k, v] : s.keys)
            mine.set(k, v, overwrite);
    }
}

void oxRegistry::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    clear();
}

void oxRegistry::userCopyShallow(const oxObject* source)
{
    clear();
    merge(*static_cast<const oxRegistry*>(source), true);
}

bool oxRegistry::userIsAlikeShallow(const oxObject* other) const
{
    return toText() == static_cast<const oxRegistry*>(other)->toText();
}

void oxRegistry::writeContents(oxContentWriter& out) const
{
    out.beginArray(oxFieldKind::String, 1, 1);
    out.writeText(toText());
}

bool oxRegistry::readContents(oxContentReader& in)
{
    uint32_t n = 0;
    if (!in.beginArray(oxFieldKind::String, 1, n))
        return false;
    if (n != 1)
        return in.fail("a registry holds exactly one text");
    std::string text;
    if (!in.readText(text))
        return false;
    clear();
    if (!loadFromMemory(text, "stored registry"))
        return in.fail("the stored registry text does not parse");
    return true;
}

} // namespace Kel::Core
