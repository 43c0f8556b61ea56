#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxObject.h"

namespace Kel::Core {

class oxRegistry;
struct oxDriverCondition;

// One parsed entry of a driver-database text. Settings are "key = value"; a "when" block is
// a choice whose children are its branches ("when", "else when", "else"), and each branch's
// children are the entries inside it. Walking the children recursively reaches every
// setting the text holds, whichever branch a device would take.
struct oxDriverEntry {
    enum Kind { kSetting = 0, kChoice = 1, kBranch = 2 };
    Kind kind = kSetting;
    int line = 0;
    std::string key;   // a setting's key; a branch's condition as written ("" for "else")
    std::string value; // a setting's value as written
    std::vector<oxDriverEntry> children;
    std::shared_ptr<const oxDriverCondition> condition; // a branch's; null for "else"
};

// Device-specific settings: named properties describe the device and the user's choices
// (the capability manager and the caller enter them), and rules written as text pick the
// settings that hold for them, which are then applied to a registry section.
//
//   ; comment (also '#')
//   default quality = 2                     ; a property's value unless one is set
//   useBump = false                         ; outside any block: always
//   when textureUnits >= 4 and not slowCard
//       useBump = true
//       passes = bump0, bump1
//   else when renderer == "oxRecordingVisualContext" or (maxLights < 2 and quality != 0)
//       passes = plain
//   else
//       when quality > 1
//           passes = fancy
//       end
//   end
//
// - Conditions combine comparisons (==, !=, <, <=, >, >=) of properties and literals with
//   "and", "or", "not" and parentheses; "and" binds tighter than "or". A bare property is
//   true when it is set and neither false, zero nor empty. Literals are numbers, double-
//   quoted strings, true and false. Two operands that both read as numbers (booleans as 1
//   and 0) compare as numbers, otherwise as text without regard to case. A comparison with
//   a property that is not set is false. Property names in conditions are identifiers
//   (letters, digits, '_' and '.', not starting with a digit), matched without regard to case.
// - "when", "else", "end" and "default" are directives at the start of a line; any other
//   line is a setting with the registry's rules for keys and values.
// - "default name = value" (outside blocks) gives a property of the kind its value reads as.
// - Settings hold in text order, later ones replacing earlier ones of the same key.
// - Loading appends the text's rules after those already held (the global database's,
//   when copied first), so that a file's rules override them.
// - A bad line is reported as "LABEL:LINE: problem" through oxReportWarning; the load then
//   fails and changes nothing.
// - In scene files a database keeps the texts it loaded and its properties, and reads them
//   back in that order.
class oxDriverDatabase : public oxObject {
    OX_CLASS(oxDriverDatabase, oxObject)
public:
    enum PropertyKind { kString = 10, kInt = 11, kFloat = 12, kBool = 13 };

    // The process's database, to which the application adds what every configuration should
    // see. On first use it loads the file named by OXSG_DRIVER_DATABASE when that is set.
    static oxDriverDatabase& getGlobal();
    static constexpr const char* kGlobalFileVariable = "OXSG_DRIVER_DATABASE";

    // Sets or replaces a property; false (with a warning) for an empty name, an unknown kind
    // or a value that does not read as the kind. Booleans are kept as the registry's text.
    bool setProperty(const char* name, int kind, const char* value);
    bool setIntProperty(const char* name, int value);
    bool setFloatProperty(const char* name, float value);
    bool setBoolProperty(const char* name, bool value);
    bool setStringProperty(const char* name, const char* value) { return setProperty(name, kString, value); }
    bool removeProperty(const char* name);
    // -1 when absent.
    int findProperty(std::string_view name) const;
    int getPropertyCount() const { return int(_properties.size()); }
    // Null, and kind -1, out of range.
    const char* getPropertyName(int index) const;
    int getPropertyKind(int index) const;
    const char* getPropertyValue(int index) const;

    // Parses rules and defaults and appends them (a parser's fuzzing entry: any bytes).
    bool loadFromMemory(std::string_view text, const char* label = "text");
    bool load(const char* file);
    // Forgets rules and properties.
    void removeAll();

    const std::vector<oxDriverEntry>& getTokenStream() const { return _entries; }

    // The settings that hold for the current properties, in order, each key once (with its
    // last value).
    std::vector<std::pair<std::string, std::string>> evaluate() const;
    // Writes the settings that hold into a section of `registry`: all of them when
    // `overwrite`, otherwise only keys the section lacks. False (with a warning) for no
    // registry or no such section.
    bool applySettings(oxRegistry* registry, int section, bool overwrite) const;

    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override { userCopyShallow(source); }
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    oxDriverDatabase() = default;

private:
    struct Property {
        std::string name;
        int kind;
        std::string value;
    };
    friend struct oxDriverCondition;
    const Property* property(std::string_view name) const;
    void collect(const std::vector<oxDriverEntry>& entries, std::vector<std::pair<std::string, std::string>>& out) const;

    std::vector<Property> _properties;
    std::vector<oxDriverEntry> _entries;
    std::vector<std::pair<std::string, std::string>> _texts; // (label, text) of each load
};

} // namespace Kel::Core
