// oxsg render: draws a scene file, or the demonstration scene, through the OpenGL device and
// writes the frames as PNG images.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxCoreLibrary.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "platform/gfxgl/oxGLVisualContext.h"
#include "sg/OXSg.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"
#include "tools/oxsg/sceneView.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;
using namespace Kel::Gfx;

const char* const kUsage =
    "usage: oxsg render (FILE.oxb | --demo) [--size WxH] [--time SECONDS | --frames N --fps F] "
    "[--trace FILE] [--no-cull] [--compile] -o OUT.png";

struct Options {
    const char* scene = nullptr;
    bool demo = false;
    int width = 1024, height = 768;
    double time = 0;
    bool timeGiven = false;
    long frames = 0;  // 0: one frame at `time`
    double fps = 0;
    const char* trace = nullptr;
    const char* output = nullptr;
    bool cull = true;
    bool compile = false;
};

// The one error line of the command; always returns `status`.
int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "oxsg render: %s\n", message.c_str());
    return status;
}

// An empty string when the options are good, else what is wrong with them.
std::string parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--size" || arg == "--time" || arg == "--frames" || arg == "--fps" ||
                                arg == "--trace" || arg == "-o";
        if (takesValue && i + 1 >= argc)
            return arg + " needs a value";
        const char* value = takesValue ? argv[++i] : nullptr;
        double number = 0;
        if (arg == "--demo") {
            o.demo = true;
        } else if (arg == "--no-cull") {
            o.cull = false;
        } else if (arg == "--compile") {
            o.compile = true;
        } else if (arg == "--size") {
            if (!oxsg::parseSize(value, o.width, o.height))
                return std::string("bad size '") + value + "' (WIDTHxHEIGHT, 1 to " +
                       std::to_string(oxsg::kMaxSide) + " each)";
        } else if (arg == "--time") {
            if (!oxsg::parseNumber(value, o.time) || o.time < 0 || o.time > 1e9)
                return std::string("bad time '") + value + "' (seconds, not negative)";
            o.timeGiven = true;
        } else if (arg == "--frames") {
            if (!oxsg::parseNumber(value, number) || number < 1 || number > 100000 || number != std::floor(number))
                return std::string("bad frame count '") + value + "' (1 to 100000)";
            o.frames = long(number);
        } else if (arg == "--fps") {
            if (!oxsg::parseNumber(value, o.fps) || o.fps <= 0 || o.fps > 10000)
                return std::string("bad frame rate '") + value + "' (frames per second, above 0)";
        } else if (arg == "--trace") {
            o.trace = value;
        } else if (arg == "-o") {
            o.output = value;
        } else if (arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (o.scene) {
            return "more than one scene file";
        } else {
            o.scene = argv[i];
        }
    }
    if (!o.scene == !o.demo)
        return "give a scene file or --demo";
    if (!o.output)
        return "no output image (-o OUT.png)";
    if ((o.frames > 0) != (o.fps > 0))
        return "--frames and --fps go together";
    if (o.frames > 0 && o.timeGiven)
        return "--time is for one frame; --frames N --fps F start at time 0";
    return {};
}

// OUT.png for one frame; OUT-0000.png, OUT-0001.png ... for a sequence.
std::string numbered(const char* path, long frame, long frames)
{
    if (frames <= 0)
        return path;
    std::string p = path;
    const size_t dot = p.rfind('.'), slash = p.rfind('/');
    const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : p.size();
    char number[24];
    std::snprintf(number, sizeof number, "-%04ld", frame);
    return p.substr(0, at) + number + p.substr(at);
}

bool enablesBlending(const oxAttrSet* set)
{
    for (int i = 0; i < set->getAttrCount(); ++i)
        if (const auto* blend = Kel::Attrs::oxBlendStateAttr::dynamicCast(set->getAttr(i)))
            if (blend->getEnabled())
                return true;
    return false;
}

// Whether a subtree draws the same every frame from any view: groups, attribute sets,
// plain model-view transforms and geometry only. Animation, view-dependent selection (levels
// of detail, billboards), lights, shaders and characters stay out of compiled graphs, and so
// does blended work, which the frame sorts back to front while a compiled list is drawn
// where it stands.
bool isStatic(const oxNode* node, bool& drawsSomething)
{
    const oxMetaObject* cls = node->getMetaObject();
    if (cls == oxGeometry::getClassTypeSafe()) {
        drawsSomething = true;
        return true;
    }
    if (cls == oxTransform::getClassTypeSafe()) {
        const auto* t = static_cast<const oxTransform*>(node);
        if (t->getTransformSource() || t->getTarget() != oxTransform::MODEL_VIEW_MATRIX)
            return false;
    } else if (cls == oxAttrSet::getClassTypeSafe()) {
        if (enablesBlending(static_cast<const oxAttrSet*>(node)))
            return false;
    } else if (cls != oxGroup::getClassTypeSafe())
        return false;
    const auto* group = static_cast<const oxGroup*>(node);
    bool all = true;
    for (int i = 0; i < group->getChildCount(); ++i)
        all = isStatic(group->getChild(i), drawsSomething) && all;
    return all;
}

// Effect nodes draw their children in passes of their own, collect their geometry or turn
// their state per frame: what lies below them is left to the walk.
bool drawsChildrenItself(const oxNode* node)
{
    for (const oxMetaObject* effect :
         {oxShader::getClassTypeSafe(), oxShader2::getClassTypeSafe(), oxDOFShader::getClassTypeSafe(),
          oxProjectiveShadowShader::getClassTypeSafe(), oxPlanarShadowShader::getClassTypeSafe(),
          oxCartoonShader::getClassTypeSafe(), oxBumpMapShader::getClassTypeSafe(),
          oxMultiTextureShader::getClassTypeSafe(), oxEnvironmentMapShader2::getClassTypeSafe()})
        if (node->isOfType(effect))
            return true;
    return false;
}

// A compiled graph over `node`, in its place, bounded as it was.
oxSmartPointer<oxNode> compiledOver(oxNode* node)
{
    oxSmartPointer<oxCompiledGraph> graph = oxCompiledGraph::_instantiateRef();
    graph->appendChild(node);
    graph->setBound(node->getBound());
    return graph;
}

// Puts every largest static subtree that draws something, and is not blended from above,
// under a compiled graph; the root itself when the whole scene is. Returns the node to draw
// in `node`'s place and counts the graphs.
oxSmartPointer<oxNode> compileStaticSubtrees(oxNode* node, bool blendedAbove, int& graphs)
{
    bool drawsSomething = false;
    if (!blendedAbove && isStatic(node, drawsSomething)) {
        if (!drawsSomething)
            return node;
        ++graphs;
        return compiledOver(node);
    }
    auto* group = drawsChildrenItself(node) ? nullptr : oxGroup::dynamicCast(node);
    if (const auto* set = oxAttrSet::dynamicCast(node))
        blendedAbove = blendedAbove || enablesBlending(set);
    for (int i = 0; group && i < group->getChildCount(); ++i) {
        oxSmartPointer<oxNode> child = group->getChild(i);
        oxSmartPointer<oxNode> replacement = compileStaticSubtrees(child, blendedAbove, graphs);
        if (replacement != child) {
            group->removeChild(i);
            group->insertChild(i, replacement);
        }
    }
    return node;
}

int runRender(int argc, char** argv)
{
    Options o;
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    if (const std::string problem = parse(argc, argv, o); !problem.empty())
        return fail(2, problem + " (" + kUsage + ")");

    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    std::string error;
    oxSmartPointer<oxNode> root = o.demo ? oxSmartPointer<oxNode>(oxsg::buildDemoScene()) : oxsg::readScene("render", o.scene, error);
    if (!root)
        return fail(1, error);

    oxsg::WarningScope warnings;
    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(o.width, o.height);
    if (!vc) {
        // A device that opens at the smallest size refused this one (its memory or its
        // limits): a failure of this frame, not a machine without OpenGL.
        const std::string reason = warnings.last();
        if (oxGLVisualContext::create(1, 1))
            return fail(1, "cannot draw " + std::to_string(o.width) + "x" + std::to_string(o.height) + " pixels: " +
                               reason);
        return fail(3, "no OpenGL device: " + reason);
    }

    // Culling tests only nodes with bounds: a scene stored without them gets them here.
    if (o.cull && !root->getBound())
        oxBoundingBoxesMaker::_instantiateRef()->apply(root);
    if (o.compile) {
        int graphs = 0;
        root = compileStaticSubtrees(root, false, graphs);
        std::fprintf(stderr, "oxsg render: %d static subtree%s compiled\n", graphs, graphs == 1 ? "" : "s");
    }
    oxSmartPointer<oxCommonTraversal> draw;
    if (o.cull)
        draw = oxFrustCullTraversal::_instantiateRef();
    else
        draw = oxCommonTraversal::_instantiateRef();
    draw->setVisualContext(vc);
    draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxsg::viewScene(root, float(o.width) / float(o.height), draw);

    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    const long count = o.frames > 0 ? o.frames : 1;
    // A failure ends the progress line before its own line.
    bool progressShown = false;
    const auto failInSequence = [&](const std::string& message) {
        if (progressShown)
            std::fputc('\n', stderr);
        return fail(1, message);
    };
    for (long f = 0; f < count; ++f) {
        const double seconds = o.frames > 0 ? double(f) / o.fps : o.time;
        oxDisplayListAttr* frame = oxsg::drawFrame(root, draw, vc, int64_t(std::llround(seconds * 1e9)));
        const std::string path = numbered(o.output, f, o.frames);
        if (!vc->readPixels(0, 0, o.width, o.height, image) || !image->writePNG(path.c_str()))
            return failInSequence("cannot write " + path + ": " + warnings.last());
        if (o.trace) {
            oxSmartPointer<oxRecordingVisualContext> recorder = oxRecordingVisualContext::_instantiateRef();
            frame->apply(recorder);
            const std::string tracePath = numbered(o.trace, f, o.frames);
            std::ofstream out(tracePath);
            if (!(out << recorder->getTrace()) || !out.flush())
                return failInSequence("cannot write " + tracePath);
        }
        progressShown = o.frames > 0;
        if (progressShown)
            std::fprintf(stderr, "\roxsg render: frame %ld/%ld at %.3f s -> %s", f + 1, count, seconds, path.c_str());
    }
    if (o.frames > 0)
        std::fprintf(stderr, "\n");
    if (const uint32_t glError = vc->takeGLError()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04x", unsigned(glError));
        return fail(1, std::string("OpenGL reported error ") + code);
    }
    return 0;
}

} // namespace

OXSG_COMMAND(render, "render (FILE.oxb|--demo) [options] -o OUT.png",
             "draw a scene through OpenGL into PNG images (--help for options)", runRender)
