// oxsg demo: builds the demonstration scene and writes it as a scene file, or prints its
// graph node by node.
#include <cstdio>
#include <cstring>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/oxsgCommand.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

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
    if (oxOXBWriter::writeFile(argv[2], root) != kSuccess) {
        std::fprintf(stderr, "oxsg demo: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

} // namespace

OXSG_COMMAND(demo, "demo [-o FILE.oxb]", "build the demonstration scene; write it as a scene file or print it", runDemo)
