#pragma once
// Hand-made scene files for the reader's tests, which make files the writer never would
// (often broken ones), and a catcher of the warnings the reader gives.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/oxOXBFile.h"
#include "platform/core/oxOutput.h"

namespace oxbfile {
using namespace Kel::Core;

// Collects warnings while it lives.
class WarningCatcher {
public:
    WarningCatcher() : _old(oxSetWarningHandler(&collect)) { messages().clear(); }
    ~WarningCatcher() { oxSetWarningHandler(_old); }
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> list;
        return list;
    }
    size_t count() const { return messages().size(); }
    std::string all() const
    {
        std::string out;
        for (const std::string& m : messages())
            out += m + "\n";
        return out;
    }
    bool contains(std::string_view text) const
    {
        for (const std::string& m : messages())
            if (m.find(text) != std::string::npos)
                return true;
        return false;
    }

private:
    static void collect(const char* message) { messages().push_back(message); }
    oxWarningHandler _old;
};

// Composes a scene file byte by byte, so tests can make files the writer never would.
class FileBuilder {
public:
    struct StoredFieldDecl {
        const char* name;
        oxFieldKind kind;
        uint32_t width = 1;
    };
    // Appends little-endian values to a record.
    class Record {
    public:
        Record& u8(uint8_t v) { return raw(&v, 1); }
        Record& u32(uint32_t v) { return raw(&v, 4); }
        Record& i32(int32_t v) { return raw(&v, 4); }
        Record& i64(int64_t v) { return raw(&v, 8); }
        Record& f32(float v) { return raw(&v, 4); }
        Record& f64(double v) { return raw(&v, 8); }
        Record& array(oxFieldKind kind, uint32_t width, uint32_t count)
        {
            return u8(oxOXBFile::kindCode(kind)).u32(width).u32(count);
        }
        Record& raw(const void* p, size_t n)
        {
            bytes.insert(bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
            return *this;
        }
        std::vector<uint8_t> bytes;
    };

    uint32_t string(std::string_view text)
    {
        _strings.emplace_back(text);
        return uint32_t(_strings.size());
    }
    uint32_t addClass(const char* name, std::vector<StoredFieldDecl> fields = {})
    {
        _classes.push_back({string(name), {}});
        for (const StoredFieldDecl& f : fields)
            _classes.back().fields.push_back({string(f.name), f.kind, f.width});
        return uint32_t(_classes.size() - 1);
    }
    uint32_t addObject(uint32_t classIndex, Record record = {})
    {
        _objects.push_back({classIndex, std::move(record.bytes)});
        return uint32_t(_objects.size());
    }
    void setRoot(uint32_t number) { _root = number; }

    std::vector<uint8_t> bytes() const
    {
        Record out;
        out.raw(oxOXBFile::kMagic, sizeof oxOXBFile::kMagic).u32(oxOXBFile::kVersion);
        out.u32(uint32_t(_strings.size()));
        for (const std::string& s : _strings)
            out.u32(uint32_t(s.size())).raw(s.data(), s.size()).u8(0);
        out.u32(uint32_t(_classes.size()));
        for (const ClassEntry& c : _classes) {
            out.u32(c.name).u32(uint32_t(c.fields.size()));
            for (const StoredField& f : c.fields)
                out.u32(f.name).u8(oxOXBFile::kindCode(f.kind)).u32(f.width);
        }
        out.u32(uint32_t(_objects.size()));
        for (const ObjectEntry& o : _objects)
            out.u32(o.classIndex);
        out.u32(_root);
        for (const ObjectEntry& o : _objects)
            out.u32(uint32_t(o.record.size())).raw(o.record.data(), o.record.size());
        return out.bytes;
    }

private:
    struct StoredField {
        uint32_t name;
        oxFieldKind kind;
        uint32_t width;
    };
    struct ClassEntry {
        uint32_t name;
        std::vector<StoredField> fields;
    };
    struct ObjectEntry {
        uint32_t classIndex;
        std::vector<uint8_t> record;
    };
    std::vector<std::string> _strings;
    std::vector<ClassEntry> _classes;
    std::vector<ObjectEntry> _objects;
    uint32_t _root = 1;
};

} // namespace oxbfile
