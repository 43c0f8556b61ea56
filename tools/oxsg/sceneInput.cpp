#include "tools/oxsg/sceneInput.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gfxgl/oxGLVisualContext.h"
#ifdef OXSG_HAVE_IMPORT
#include "import/oxImporter.h"
#endif

namespace oxsg {

using namespace Kel::Core;
using namespace Kel::Sg;

const int kMaxSide = Kel::Gfx::oxGLVisualContext::kMaxSize;

namespace {

std::vector<std::string>& messages()
{
    static std::vector<std::string> list;
    return list;
}

void collect(const char* message)
{
    messages().push_back(message);
}

} // namespace

bool parseNumber(const char* text, double& out)
{
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(out);
}

namespace {

// One side of a size: decimal digits only, 1 to the device's largest side. Parsed here
// rather than by scanf, whose %d wraps a number too large for an int into one that passes
// the range check.
const char* parseSide(const char* text, int& side)
{
    long value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = 10 * value + (*p - '0');
        if (value > kMaxSide)
            return nullptr;
    }
    if (p == text || value < 1)
        return nullptr;
    side = int(value);
    return p;
}

} // namespace

bool parseSize(const char* text, int& width, int& height)
{
    const char* p = parseSide(text, width);
    if (!p || *p != 'x')
        return false;
    p = parseSide(p + 1, height);
    return p && *p == '\0';
}

WarningScope::WarningScope() : _previous(oxSetWarningHandler(&collect))
{
    messages().clear();
}

WarningScope::~WarningScope()
{
    oxSetWarningHandler(_previous);
}

const std::vector<std::string>& WarningScope::get()
{
    return messages();
}

std::string WarningScope::last()
{
    return messages().empty() ? std::string("no reason given") : messages().back();
}

bool isImportable(const char* path)
{
#ifdef OXSG_HAVE_IMPORT
    const char* dot = std::strrchr(path, '.');
    return !(dot && std::strcmp(dot, ".oxb") == 0) && oxImporter::canImport(path);
#else
    (void)path;
    return false;
#endif
}

oxSmartPointer<oxNode> readScene(const char* command, const char* path, std::string& error)
{
    WarningScope warnings;
#ifdef OXSG_HAVE_IMPORT
    if (isImportable(path)) {
        oxImporter importer;
        oxSmartPointer<oxNode> model = importer.importFile(path);
        if (!model) {
            error = importer.getError();
            return nullptr;
        }
        for (const std::string& note : warnings.get())
            std::fprintf(stderr, "oxsg %s: note: %s\n", command, note.c_str());
        return model;
    }
#endif
    oxOXBReader reader;
    if (reader.readFile(path) != kSuccess) {
        error = reader.getError();
        return nullptr;
    }
    for (const std::string& note : warnings.get())
        std::fprintf(stderr, "oxsg %s: note: %s\n", command, note.c_str());
    std::vector<oxNode*> roots;
    for (uint32_t n = 1; n <= reader.getObjectCount(); ++n) {
        oxNode* node = oxNode::dynamicCast(reader.getObject(n));
        if (node && node->getParentCount() == 0)
            roots.push_back(node);
    }
    if (roots.empty()) {
        error = std::string(path) + ": the file holds no scene-graph node";
        return nullptr;
    }
    if (roots.size() == 1)
        return roots[0];
    oxSmartPointer<oxGroup> all = oxGroup::_instantiateRef();
    for (oxNode* node : roots)
        all->appendChild(node);
    return all;
}

} // namespace oxsg
