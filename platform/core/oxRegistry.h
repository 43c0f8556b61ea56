#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxObject.h"

namespace Kel::Core {

// Configuration: named sections of keys whose values are text, read as strings, booleans,
// integers, floats or lists of strings.
//
//   ; a comment (also '#'), on a line of its own
//   [Shaders]
//   shaderFilePath = shaders
//   implementations = bump.qsd, cartoon.qsd
//   passes = [ pass0, pass1 ]
//   title = "  kept as written, quotes removed  "
//
// - A section header is "[name]"; the name is trimmed and may not be empty nor hold ']'.
//   A section named again continues the one already there.
// - A key line is "key = value": key and value are trimmed, the key may not be empty, and
//   everything after the first '=' is the value. Setting a key again replaces its value.
// - Keys belong to the section above them; a key before any section is an error.
// - Section and key names are matched without regard to case, and keep their first spelling.
// - Strings: a value wholly in double quotes loses them. Booleans: true/yes/on/1 and
//   false/no/off/0 in any case. Integers: decimal (leading zeros too), or hexadecimal with
//   0x. Lists: items separated by commas, the whole optionally in brackets; items are
//   trimmed, empty items dropped, and an item in double quotes keeps its commas and spaces.
// - A bad line (neither comment, header nor key; a key before any section; a NUL byte) is
//   reported as "LABEL:LINE: problem" through oxReportWarning; the load then fails and changes
//   nothing.
//
// Sections are numbered in the order they were created. The global registry starts with the
// predefined sections below, always at those numbers, whatever files it loads later.
class oxRegistry : public oxObject {
    OX_CLASS(oxRegistry, oxObject)
public:
    // The predefined sections of the global registry, in order.
    enum PredefinedSection {
        kSectionGeneral = 0,   // "General"
        kSectionOutput = 1,    // "Output"
        kSectionMemory = 2,    // "Memory"
        kSectionFiles = 3,     // "Files"
        kSectionGraphics = 4,  // "Graphics"
        kSectionRendering = 5, // "Rendering": light states, lighting management
        kSectionCompile = 6,   // "Compile": compiled graphs' bounds
        kSectionShaders = 7,   // "Shaders": shaderFilePath, implementations, autoPopulateShaderFactoryList
        kPredefinedSectionCount = 8
    };
    static const char* getPredefinedSectionName(int index);

    // The process's registry. On first use it holds the predefined sections, and then the
    // keys of the file named by the environment variable OXSG_REGISTRY when that is set (a
    // file that does not load gives a warning and leaves only the predefined sections).
    static oxRegistry& getGlobal();
    static constexpr const char* kGlobalFileVariable = "OXSG_REGISTRY";
    // Merges a file into the global registry, its values replacing those there.
    static oxResult loadGlobal(const char* file);

    // Reads a file into this registry, merging (file values win). `name` labels warnings;
    // when null or empty the path does. A file that cannot be read or does not parse fails
    // and changes nothing.
    oxResult load(const char* file, const char* name = nullptr);
    // The same for text in memory (any bytes: a parser's fuzzing entry).
    oxResult loadFromMemory(std::string_view text, const char* label = "text");
    // Text that loadFromMemory reads back to the same sections, keys and values.
    std::string toText() const;

    // The section's number, or -1 when absent and not created.
    int findSection(std::string_view name, bool create = false);
    int findSection(std::string_view name) const;
    int getSectionCount() const { return int(_sections.size()); }
    // Null for a number out of range.
    const char* getSectionName(int section) const;
    // Later sections move down by one. The predefined sections of the global registry stay.
    bool removeSection(std::string_view name);
    // Removes every section, or for the global registry every key of the predefined sections
    // and every other section.
    void clear();

    // Keys of a section in the order they were first set; 0 and null out of range.
    int getKeyCount(int section) const;
    const char* getKey(int section, int index) const;
    const char* getRawValue(int section, int index) const;
    // The value as written (quotes and brackets kept), or null when absent.
    const char* getRawValue(int section, std::string_view key) const;
    const char* getRawValue(std::string_view section, std::string_view key) const;

    // Each returns true when the key was present and its value well-formed; otherwise `out`
    // takes the default (a list becomes empty).
    bool getValue(int section, std::string_view key, std::string& out, const char* def = "") const;
    bool getValue(int section, std::string_view key, bool& out, bool def = false) const;
    bool getValue(int section, std::string_view key, int& out, int def = 0) const;
    bool getValue(int section, std::string_view key, float& out, float def = 0.0f) const;
    bool getValue(int section, std::string_view key, std::vector<std::string>& out) const;
    template <class T, class... D>
    bool getValue(std::string_view section, std::string_view key, T& out, D... def) const
    {
        return getValue(findSection(section), key, out, def...);
    }

    // Setting creates the section (by name) or the key; a section number out of range, or a
    // key or value that would not read back from text (empty key, '=' in a key, a line break)
    // does nothing and answers false.
    bool setValue(int section, std::string_view key, std::string_view value);
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    bool setIntValue(int section, std::string_view key, int value);
    bool setBoolValue(int section, std::string_view key, bool value);
    bool removeKey(int section, std::string_view key);
    bool removeKey(std::string_view section, std::string_view key) { return removeKey(findSection(section), key); }

    // Copies every section and key of `other` here; where both have a key, `other`'s value
    // replaces this one's only when `overwrite`.
    void merge(const oxRegistry& other, bool overwrite = true);

    // Conversions shared with the driver database: the boolean text the registry writes,
    // and the readings of a value.
    static const char* boolText(bool value) { return value ? "true" : "false"; }
    static bool parseBool(std::string_view text, bool& out);
    static bool parseInt(std::string_view text, int& out);
    static bool parseFloat(std::string_view text, float& out);
    static std::string_view unquote(std::string_view text);
    static std::vector<std::string> parseList(std::string_view text);

    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override { userCopyShallow(source); }
    bool userIsAlikeShallow(const oxObject* other) const override;
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    oxRegistry() = default;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
        std::string* find(std::string_view key);
        const std::string* find(std::string_view key) const;
        void set(std::string_view key, std::string_view value, bool overwrite = true);
    };
    const std::string* raw(int section, std::string_view key) const;
    std::vector<Section> _sections;
    int _fixedSections = 0; // leading sections that stay (the global registry's predefined ones)
};

} // namespace Kel::Core
