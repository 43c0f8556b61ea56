// oxsg pick: what lies under one pixel of the view `oxsg render` draws, nearest first.
#include <algorithm>
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

struct Found {
    std::string path;
    oxVec3f point; // world
    float distance;
};

struct Pick {
    std::vector<Found> hits;
    oxVec3f eye; // world
    double seconds = 0;
};

// The one pick of this run, for the traversal's plain function pointers.
Pick* g_pick = nullptr;

// What the draw traversal would show: only the active children of switches, time switches
// and levels of detail are searched, a level of detail choosing by distance from the eye as
// the draw does.
OX_TRAVERSAL_SELECT_NODE_RETURN visibleOnly(oxTraversal* t, oxNode* node)
{
    auto* isect = static_cast<oxIntersectTraversal*>(t);
    const oxNodeList* path = isect->getNodeStack();
    const oxNode* parent = path->getCount() ? path->get(path->getCount() - 1) : nullptr;
    if (!parent || parent == node)
        return OX_SELECT_NODE_TRAVERSE;
    const Pick* pick = g_pick;
    if (const auto* sw = oxSwitch::dynamicCast(parent))
        return sw->isChildActive(sw->getChild(node)) ? OX_SELECT_NODE_TRAVERSE : OX_SELECT_NODE_IGNORE;
    if (auto* flip = oxTimeSwitch::dynamicCast(const_cast<oxNode*>(parent)))
        return flip->getNode(pick->seconds) == node ? OX_SELECT_NODE_TRAVERSE : OX_SELECT_NODE_IGNORE;
    if (auto* lod = oxLod::dynamicCast(const_cast<oxNode*>(parent))) {
        const oxVec3f centre = isect->getTopMatrix().transformPoint(lod->getCenter());
        return lod->select((centre - pick->eye).lengthSquared()) == node ? OX_SELECT_NODE_TRAVERSE : OX_SELECT_NODE_IGNORE;
    }
    return OX_SELECT_NODE_TRAVERSE;
}

OX_TRAVERSAL_RETURN collect(oxIntersectTraversal*, oxNode*, const oxHit& hit)
{
    if (hit.type != oxIntersectTraversal::RAYS_POLYGON)
        return OX_TRAVERSAL_CONTINUE;
    Pick* pick = g_pick;
    std::string path;
    for (int i = 0; i < hit.path->getCount(); ++i) {
        const oxNode* n = hit.path->get(i);
        path += '/';
        if (const char* name = n->getName().c_str(); name && *name)
            path += name;
        path += std::string("(") + n->getMetaObject()->getName() + ")";
    }
    pick->hits.push_back({path, hit.point, hit.distance});
    return OX_TRAVERSAL_CONTINUE;
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

    // The view of oxsg render, for the same size.
    oxSmartPointer<oxCommonTraversal> view = oxCommonTraversal::_instantiateRef();
    oxsg::viewScene(root, float(o.width) / float(o.height), view);
    oxMatrix44f toEye = view->getProjectionMatrix(), toWorld = view->getViewMatrix();
    if (!toEye.invert() || !toWorld.invert())
        return fail(1, "the scene's view cannot be inverted");
    Pick pick;
    pick.seconds = o.time;
    pick.eye = toWorld.transformPoint(oxVec3f(0, 0, 0));

    // From the eye through the pixel's centre to the far plane; the search is in the
    // scene's (world) space.
    const float nx = float((o.x + 0.5) / o.width * 2 - 1), ny = float(1 - (o.y + 0.5) / o.height * 2);
    const oxVec3f far = toWorld.transformPoint(toEye.transformPoint(oxVec3f(nx, ny, 1)));
    oxSmartPointer<oxProbe> probe = oxProbe::_instantiateRef();
    probe->appendRay(pick.eye, far - pick.eye, (far - pick.eye).length(), Kel::Math::ISET_BOTH);

    oxSmartPointer<oxIntersectTraversal> isect = oxIntersectTraversal::_instantiateRef();
    isect->setProbe(probe);
    isect->setHitFunction(&collect);
    isect->clearMode(oxIntersectTraversal::VOLUME_VOLUME);
    isect->setMode(oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    g_pick = &pick;
    isect->setUserTimeState(true);
    isect->setTimeAsLong(int64_t(std::llround(o.time * 1e9)));
    isect->setNodeSelectFunction(&visibleOnly);
    isect->setNodeSelectFunctionState(true);
    isect->reset();
    isect->apply(root);

    std::stable_sort(pick.hits.begin(), pick.hits.end(),
                     [](const Found& a, const Found& b) { return a.distance < b.distance; });
    if (pick.hits.empty())
        std::printf("nothing at (%g, %g)\n", o.x, o.y);
    for (const Found& f : pick.hits)
        std::printf("%s  at (%.4g, %.4g, %.4g)  distance %.4g\n", f.path.c_str(), f.point.x, f.point.y, f.point.z,
                    f.distance);
    return 0;
}

} // namespace

OXSG_COMMAND(pick, "pick (FILE.oxb|--demo) X Y [--size WxH] [--time S]",
             "print what lies under pixel (X, Y) of the rendered view, nearest first", runPick)
