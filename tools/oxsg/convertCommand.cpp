// oxsg convert: an imported model (or a scene file) written as a scene file.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

int runConvert(int argc, char** argv)
{
    if (argc != 3 || argv[1][0] == '-' || argv[2][0] == '-') {
        std::fprintf(stderr, "oxsg convert: usage: oxsg convert IN OUT.oxb\n");
        return 2;
    }
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    std::string error;
    oxSmartPointer<oxNode> root = oxsg::readScene("convert", argv[1], error);
    if (!root) {
        std::fprintf(stderr, "oxsg convert: %s\n", error.c_str());
        return 1;
    }
    // The writer says why it refused in one warning; that is the error line.
    oxsg::WarningScope warnings;
    if (oxOXBWriter::writeFile(argv[2], root) != kSuccess) {
        std::fprintf(stderr, "oxsg convert: %s: %s\n", argv[2], oxsg::WarningScope::last().c_str());
        return 1;
    }
    return 0;
}

} // namespace

OXSG_COMMAND(convert, "convert IN OUT.oxb", "write a model or scene file as a scene file", runConvert)
