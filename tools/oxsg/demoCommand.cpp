// oxsg demo: builds the demonstration scene and writes it as a scene file, or prints its
// graph node by node.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/oxsgCommand.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

std::string& lastWarning()
{
    static std::string text;
    return text;
}

void keepWarning(const char* message)
{
    lastWarning() = message;
}

int runDemo(int argc, char** argv)
{
    const bool write = argc == 3 && !std::strcmp(argv[1], "-o");
    if (argc != 1 && !write) {
        std::fprintf(stderr, "oxsg demo: unexpected arguments (usage: oxsg demo [-o FILE.oxb])\n");
        return 2;
    }
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    oxSmartPointer<oxGroup> root = oxsg::buildDemoScene();
    if (!write) {
        oxSgPrint(root, 0);
        return 0;
    }
    // The writer says why it refused in one warning; that is the error line.
    oxWarningHandler old = oxSetWarningHandler(&keepWarning);
    oxResult result = oxOXBWriter::writeFile(argv[2], root);
    oxSetWarningHandler(old);
    if (result != kSuccess) {
        std::fprintf(stderr, "oxsg demo: %s\n", lastWarning().empty() ? argv[2] : lastWarning().c_str());
        return 1;
    }
    return 0;
}

} // namespace

OXSG_COMMAND(demo, "demo [-o FILE.oxb]", "build the demonstration scene; write it as a scene file or print it", runDemo)
