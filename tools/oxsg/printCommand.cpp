// oxsg print: prints the scene graphs of a scene file, node by node, as oxSgPrint does.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

std::vector<std::string>& notes()
{
    static std::vector<std::string> list;
    return list;
}

void collectNote(const char* message)
{
    notes().push_back(message);
}

int runPrint(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: oxsg print FILE\n");
        return 2;
    }
    const char* path = argv[1];
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    if (oxsg::isImportable(path)) {
        std::string error;
        oxSmartPointer<oxNode> model = oxsg::readScene("print", path, error);
        if (!model) {
            std::fprintf(stderr, "oxsg print: %s\n", error.c_str());
            return 1;
        }
        oxSgPrint(model, 0);
        return 0;
    }

    // The reader reports a refused file once as a warning and keeps the reason; that one
    // line is the error, and what a good file draws comment on follows it as notes.
    oxWarningHandler old = oxSetWarningHandler(&collectNote);
    oxOXBReader reader;
    oxResult result = reader.readFile(path);
    oxSetWarningHandler(old);
    if (result != kSuccess) {
        std::fprintf(stderr, "oxsg print: %s\n", reader.getError().c_str());
        return 1;
    }
    for (const std::string& note : notes())
        std::fprintf(stderr, "oxsg print: note: %s\n", note.c_str());

    // Every node without a parent starts a graph: the root when it is a node, the top nodes
    // of a directory, in file order.
    int graphs = 0;
    for (uint32_t n = 1; n <= reader.getObjectCount(); ++n) {
        oxNode* node = oxNode::dynamicCast(reader.getObject(n));
        if (node && node->getParentCount() == 0) {
            oxSgPrint(node, 0);
            ++graphs;
        }
    }
    if (!graphs) {
        std::fprintf(stderr, "oxsg print: %s: the file holds no scene-graph node\n", path);
        return 1;
    }
    return 0;
}

} // namespace

OXSG_COMMAND(print, "print FILE", "print the scene graphs of a scene file (.oxb), node by node", runPrint)
