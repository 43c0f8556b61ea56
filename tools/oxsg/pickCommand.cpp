// oxsg pick: what lies under one pixel of the view `oxsg render` draws, nearest first.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"
#include "tools/oxsg/sceneView.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

const char* const kUsage = "usage: oxsg pick (FILE.oxb | --demo) X Y [--size WxH] [--time SECONDS]";

int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "oxsg pick: %s\n", message.c_str());
    return status;
}

struct Options {
    const char* scene = nullptr;
    bool demo = false;
    double x = -1, y = -1;
    int coordinates = 0;
    int width = 1024, height = 768;
    double time = 0;
};

std::string parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--size" || arg == "--time";
        if (takesValue && i + 1 >= argc)
            return arg + " needs a value";
        const char* value = takesValue ? argv[++i] : nullptr;
        double number = 0;
        if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--size") {
            if (!oxsg::parseSize(value, o.width, o.height))
                return std::string("bad size '") + value + "' (WIDTHxHEIGHT, 1 to " + std::to_string(oxsg::kMaxSide) +
                       " each)";
        } else if (arg == "--time") {
            if (!oxsg::parseNumber(value, o.time) || o.time < 0 || o.time > 1e9)
                return std::string("bad time '") + value + "' (seconds, not negative)";
        } else if (oxsg::parseNumber(arg.c_str(), number) && o.coordinates < 2 && (o.scene || o.demo)) {
            (o.coordinates++ ? o.y : o.x) = number;
        } else if (arg[0] == '-' && arg.size() > 1 && !std::isdigit(static_cast<unsigned char>(arg[1]))) {
            return "unknown option '" + arg + "'";
        } else if (!o.scene && !o.demo) {
            o.scene = argv[i];
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (!o.scene == !o.demo)
        return "give a scene file or --demo";
    if (o.coordinates != 2)
        return "give the pixel's X and Y";
    if (o.x < 0 || o.x >= o.width || o.y < 0 || o.y >= o.height)
        return "pixel (" + std::to_string(o.x) + ", " + std::to_string(o.y) + ") lies outside the " +
               std::to_string(o.width) + "x" + std::to_string(o.height) + " view";
    return {};
}

int runPick(int argc, char** argv)
{
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    Options o;
    if (const std::string problem = parse(argc, argv, o); !problem.empty())
        return fail(2, problem + " (" + kUsage + ")");

    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    std::string error;
    oxSmartPointer<oxNode> root =
        o.demo ? oxSmartPointer<oxNode>(oxsg::buildDemoScene()) : oxsg::readScene("pick", o.scene, error);
    if (!root)
        return fail(1, error);

    // The view of oxsg render, for the same size, through the pixel's centre.
    oxSmartPointer<oxCommonTraversal> view = oxCommonTraversal::_instantiateRef();
    oxsg::viewScene(root, float(o.width) / float(o.height), view);
    const float nx = float((o.x + 0.5) / o.width * 2 - 1), ny = float(1 - (o.y + 0.5) / o.height * 2);
    const std::vector<oxsg::PickHit> hits =
        oxsg::pickScene(root, view->getViewMatrix(), view->getProjectionMatrix(), nx, ny, o.time);
    if (hits.empty())
        std::printf("nothing at (%g, %g)\n", o.x, o.y);
    for (const oxsg::PickHit& h : hits)
        std::printf("%s  at (%.4g, %.4g, %.4g)  distance %.4g\n", h.describe().c_str(), h.point.x, h.point.y,
                    h.point.z, h.distance);
    return 0;
}

} // namespace

OXSG_COMMAND(pick, "pick (FILE.oxb|--demo) X Y [--size WxH] [--time S]",
             "print what lies under pixel (X, Y) of the rendered view, nearest first", runPick)
