#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxObject.h"
#include "platform/core/oxObjectList.h"
#include "platform/core/oxStringRef.h"

namespace Kel::Core {

// Without leading and trailing white space.
std::string_view oxTrim(std::string_view s);
// The next line of a configuration text worth reading (the registry's and the driver
// database's): counts every line in `lineNumber`, skips blank lines and comments (';' or
// '#' first), and gives the line trimmed with `problem` null, or a line holding a NUL
// byte with `problem` saying so. False at the end of the text.
bool oxNextConfigLine(std::string_view& text, int& lineNumber, std::string_view& line, const char*& problem);

// An owned, mutable text held as an object.
class oxStringObj : public oxObject {
    OX_CLASS(oxStringObj, oxObject)
public:
    const char* get() const { return _value.c_str(); }
    void set(std::string_view text) { _value = text; }
    void append(std::string_view text) { _value += text; }
    size_t length() const { return _value.size(); }

    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override { userCopyShallow(source); }
    bool userIsAlikeShallow(const oxObject* other) const override;
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    oxStringObj() = default;
    std::string _value;
};

// An ordered list of pooled strings.
// Owned texts in order.
OX_OBJECT_LIST(oxStringObjList, oxStringObj)

class oxStringRefList : public oxObject {
    OX_CLASS(oxStringRefList, oxObject)
public:
    int getCount() const { return int(_items.size()); }
    const oxStringRef& get(int index) const { return _items[index]; }
    void set(int index, const oxStringRef& s) { _items[index] = s; }
    int append(const oxStringRef& s)
    {
        _items.push_back(s);
        return getCount() - 1;
    }
    bool remove(int index);
    void removeAll() { _items.clear(); }
    int find(const oxStringRef& s) const;
    void setCount(int count) { _items.resize(count < 0 ? 0 : size_t(count)); }

    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override { userCopyShallow(source); }
    bool userIsAlikeShallow(const oxObject* other) const override;
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    oxStringRefList() = default;

private:
    std::vector<oxStringRef> _items;
};

// Names to objects, holding a reference to each object; iteration is in name order.
class oxObjectStringMap : public oxObject {
    OX_CLASS(oxObjectStringMap, oxObject)
public:
    // Replaces an object already stored under the name.
    void insert(std::string_view name, oxObject* object);
    oxObject* find(std::string_view name) const;
    bool remove(std::string_view name);
    void removeAll() { _map.clear(); }
    int getCount() const { return int(_map.size()); }
    template <class F>
    void forEach(F&& f) const
    {
        for (auto& [name, object] : _map)
            f(name, object.get());
    }

    void userResetFields(bool forFileRead) override;
    // The same names for the very same objects: an owned map counts as changed once it
    // holds anything.
    bool userIsAlikeShallow(const oxObject* other) const override;
    // The names, then the objects in the same order.
    void writeContents(oxContentWriter& out) const override;
    bool readContents(oxContentReader& in) override;

protected:
    oxObjectStringMap() = default;

private:
    std::map<std::string, oxSmartPointer<oxObject>, std::less<>> _map;
};

} // namespace Kel::Core
