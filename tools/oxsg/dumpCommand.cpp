// oxsg dump: prints every object of a scene file for a person to read.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"

namespace {

using namespace Kel::Core;

std::vector<std::string>& warnings()
{
    static std::vector<std::string> list;
    return list;
}

void collectWarning(const char* message)
{
    warnings().push_back(message);
}

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else
            out += char(c);
    }
    return out + "\"";
}

template <class T>
T load(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Prints the values of one record from the file's own description of its classes, so
// that the output shows what is stored, fields the program no longer knows included.
class Printer {
public:
    Printer(const oxOXBFile& file, size_t maxElements) : _file(file), _maxElements(maxElements) {}

    void printObject(uint32_t number)
    {
        const oxOXBFile::Object& object = _file.getObject(number);
        const oxOXBFile::Class& c = _file.getClass(object.classIndex);
        oxOXBCursor in(_file, object.recordBegin, object.recordEnd);
        std::string cls(c.name);
        const oxMetaObject* meta = oxMetaObject::findType(c.name);
        if (meta == oxMetaObject::getClassTypeSafe()) {
            uint32_t s = 0;
            in.readStringNumber(s);
            std::printf("#%u oxMetaObject: the class %s\n", number, std::string(_file.getString(s)).c_str());
            return;
        }
        std::printf("#%u %s%s\n", number, cls.c_str(), number == _file.getRoot() ? " (root)" : "");
        for (uint32_t i = 0; i < c.fieldCount; ++i) {
            const oxOXBFile::Field& f = _file.getField(c, i);
            const oxMetaField* known = meta ? meta->getMetaField(f.name) : nullptr;
            std::string line = "    " + std::string(f.name) + " = " + value(in, f.kind, f.width, known);
            std::printf("%s\n", line.c_str());
        }
        while (!in.atEnd()) {
            oxFieldKind kind;
            uint32_t width = 0, count = 0;
            in.beginArray(kind, width, count);
            std::string line = "    [" + oxOXBFile::shapeName(kind, width) + " x " + std::to_string(count) + "]";
            for (uint32_t e = 0; e < count; ++e) {
                std::string v = value(in, kind, width, nullptr);
                if (e < _maxElements)
                    line += " " + (width > 1 && oxPlainScalarSize(kind) ? "(" + v + ")" : v);
            }
            if (count > _maxElements)
                line += " ... (" + std::to_string(count - _maxElements) + " more)";
            std::printf("%s\n", line.c_str());
        }
    }

private:
    // One value of the given shape; the file was checked by a full read first.
    std::string value(oxOXBCursor& in, oxFieldKind kind, uint32_t width, const oxMetaField* known)
    {
        uint32_t n = 0;
        switch (kind) {
        case oxFieldKind::String:
            in.readStringNumber(n);
            return n ? quoted(_file.getString(n)) : "null";
        case oxFieldKind::ObjectRef:
        case oxFieldKind::RawRef:
        case oxFieldKind::ObjectRefArray: {
            std::string out;
            for (uint32_t k = 0; k < width; ++k) {
                in.readReference(n);
                out += (k ? " " : "") + (n ? "#" + std::to_string(n) : std::string("null"));
            }
            return out;
        }
        case oxFieldKind::MemoryRef: {
            in.readMemorySize(n);
            std::vector<uint8_t> bytes(n);
            in.readBytes(bytes.data(), n);
            std::string out = std::to_string(n) + " bytes";
            for (uint32_t k = 0; k < n && k < _maxElements; ++k) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02x", bytes[k]);
                out += hex;
            }
            return out + (n > _maxElements ? " ..." : "");
        }
        case oxFieldKind::CharArray: {
            std::string chars(width, '\0');
            in.readPlain(kind, width, chars.data(), 1);
            return quoted(std::string_view(chars.c_str(), strnlen(chars.c_str(), width)));
        }
        default: break;
        }
        size_t scalar = oxPlainScalarSize(kind);
        std::vector<uint8_t> bytes(scalar * width);
        in.readPlain(kind, width, bytes.data(), 1);
        std::string out;
        for (uint32_t k = 0; k < width; ++k) {
            const uint8_t* p = bytes.data() + k * scalar;
            char text[64];
            switch (kind) {
            case oxFieldKind::Int:
            case oxFieldKind::Enum: std::snprintf(text, sizeof text, "%" PRId32, load<int32_t>(p)); break;
            case oxFieldKind::UnsignedInt: std::snprintf(text, sizeof text, "%" PRIu32, load<uint32_t>(p)); break;
            case oxFieldKind::Short: std::snprintf(text, sizeof text, "%d", load<int16_t>(p)); break;
            case oxFieldKind::UnsignedShort: std::snprintf(text, sizeof text, "%u", load<uint16_t>(p)); break;
            case oxFieldKind::UnsignedChar:
            case oxFieldKind::UnsignedCharArray: std::snprintf(text, sizeof text, "%u", *p); break;
            case oxFieldKind::Long: std::snprintf(text, sizeof text, "%" PRId64, load<int64_t>(p)); break;
            case oxFieldKind::UnsignedLong: std::snprintf(text, sizeof text, "%" PRIu64, load<uint64_t>(p)); break;
            case oxFieldKind::Bool: std::snprintf(text, sizeof text, "%s", *p ? "true" : "false"); break;
            case oxFieldKind::Double: std::snprintf(text, sizeof text, "%.17g", load<double>(p)); break;
            default: std::snprintf(text, sizeof text, "%.9g", load<float>(p)); break;
            }
            out += (k ? " " : "") + std::string(text);
        }
        const oxMetaEnum* e = kind == oxFieldKind::Enum && known ? known->getMetaEnum() : nullptr;
        if (const char* name = e ? e->getEnumName(load<int32_t>(bytes.data())) : nullptr)
            out += " (" + std::string(name) + ")";
        return out;
    }

    const oxOXBFile& _file;
    size_t _maxElements;
};

int runDump(int argc, char** argv)
{
    size_t maxElements = 16;
    const char* path = nullptr;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--full"))
            maxElements = SIZE_MAX;
        else if (!path && argv[i][0] != '-')
            path = argv[i];
        else
            usage = true;
    }
    if (!path || usage) {
        std::fprintf(stderr, "usage: oxsg dump [--full] FILE\n");
        return 2;
    }
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    // The reader reports a refused file once as a warning and keeps the reason; that one
    // line is the error. A full read checks everything a program would rely on; only a
    // file that passes is printed.
    oxWarningHandler old = oxSetWarningHandler(&collectWarning);
    std::vector<uint8_t> bytes;
    std::string error;
    oxOXBReader reader;
    oxResult result = oxOXBReader::loadFile(path, bytes, &error);
    if (result == kSuccess) {
        result = reader.read(bytes.data(), bytes.size(), path);
        error = reader.getError();
        reader.clear();
    }
    oxSetWarningHandler(old);
    if (result != kSuccess) {
        std::fprintf(stderr, "oxsg dump: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& w : warnings())
        std::fprintf(stderr, "oxsg dump: note: %s\n", w.c_str());

    oxOXBFile file;
    file.open(bytes.data(), bytes.size(), path);
    std::printf("%s: scene file version %u, %u objects of %u classes, %u strings; root #%u\n", path,
                oxOXBFile::kVersion, file.getObjectCount(), file.getClassCount(), file.getStringCount(),
                file.getRoot());
    Printer printer(file, maxElements);
    for (uint32_t n = 1; n <= file.getObjectCount(); ++n)
        printer.printObject(n);
    return 0;
}

} // namespace

OXSG_COMMAND(dump, "dump [--full] FILE", "print every object of a scene file (.oxb)", runDump)
