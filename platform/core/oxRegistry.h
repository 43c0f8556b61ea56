#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxTypes.h"

namespace Kel::Core {

// Configuration as INI-style text:
//
//   ; comment
//   [Shaders]
//   shaderFilePath = shaders
//   implementations = bump, cartoon
//
// Section and key names are matched without regard to case; values keep their text and
// are read as strings, booleans, integers or comma-separated lists. One global registry
// serves the whole process.
class oxRegistrySection {
public:
    explicit oxRegistrySection(std::string name) : _name(std::move(name)) {}
    const char* getSectionName() const { return _name.c_str(); }
    // Null when absent.
    const std::string* getRawValue(std::string_view key) const;
    void setRawValue(std::string_view key, std::string_view value);
    bool removeKey(std::string_view key);
    int getKeyCount() const { return int(_keys.size()); }
    const std::string& getKey(int index) const { return _keys[index].first; }
    const std::string& getValueAt(int index) const { return _keys[index].second; }

private:
    std::string _name;
    std::vector<std::pair<std::string, std::string>> _keys; // file order
};

class oxRegistry {
public:
    static oxRegistry& getGlobal();

    // Reads a file; `name` labels it in warnings (the path when null). Keys merge into what
    // is there. A line that is neither a section, a key nor a comment gives a warning with
    // its line number and is skipped.
    oxResult load(const char* file, const char* name = nullptr);
    oxResult loadFromText(std::string_view text, const char* name = "text");
    std::string toText() const;

    oxRegistrySection* findSection(std::string_view name, bool create = false);
    const oxRegistrySection* findSection(std::string_view name) const;
    int getSectionCount() const { return int(_sections.size()); }
    oxRegistrySection* getSection(int index) const { return _sections[index].get(); }
    bool removeSection(std::string_view name);
    void clear() { _sections.clear(); }
    // Copies every key of `other` here, replacing values of keys both have.
    void merge(const oxRegistry& other);

    // Each returns true when the key was present and well-formed; otherwise `out` takes
    // the default.
    bool getValue(std::string_view section, std::string_view key, std::string& out, const char* def = "") const;
    bool getValue(std::string_view section, std::string_view key, bool& out, bool def = false) const;
    bool getValue(std::string_view section, std::string_view key, int& out, int def = 0) const;
    bool getValue(std::string_view section, std::string_view key, std::vector<std::string>& out) const;
    void setValue(std::string_view section, std::string_view key, std::string_view value);

private:
    const std::string* raw(std::string_view section, std::string_view key) const;
    std::vector<std::unique_ptr<oxRegistrySection>> _sections;
};

} // namespace Kel::Core
