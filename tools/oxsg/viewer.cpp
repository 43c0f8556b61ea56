#include "tools/oxsg/viewer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/attrs/OXAttrs.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/sceneInput.h"

namespace oxsg {

using namespace Kel::Sg;
using namespace Kel::Gfx;
using namespace Kel::Attrs;
using Kel::Core::oxSmartPointer;

namespace {

constexpr float kPi = 3.14159265f;
// Past this many boxes the bounds overlay stops: a line per node of a huge graph shows
// nothing but costs the frame.
constexpr size_t kMaxBoxes = 20000;


// A node's box in the space its parent places it in: its stored bound, or for a geometry
// without one what its attributes cover.
oxBox3f nodeBox(oxNode* node)
{
    oxBox3f box;
    if (oxVolume* bound = node->getBound(); bound && !bound->isEmpty())
        return bound->getBox();
    if (auto* g = oxGeometry::dynamicCast(node))
        for (int i = 0; i < g->getAttrCount(); ++i)
            g->getAttr(i)->extendBounds(box);
    return box;
}

struct Box {
    oxBox3f box;
    oxMatrix44f placement;
    oxVec4f color;
};

void collectBounds(oxNode* node, const oxMatrix44f& placement, std::vector<Box>& out, int depth = 0)
{
    if (depth > 256 || out.size() >= kMaxBoxes)
        return;
    if (oxVolume* bound = node->getBound(); bound && !bound->isEmpty())
        out.push_back({bound->getBox(), placement, oxVec4f(0.2f, 0.9f, 0.3f, 1)});
    oxMatrix44f m = placement;
    if (auto* t = oxTransform::dynamicCast(node))
        if (t->getTarget() == oxTransform::MODEL_VIEW_MATRIX)
            m = *t->getMatrix() * placement;
    if (auto* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            collectBounds(group->getChild(i), m, out, depth + 1);
}

// The twelve edges of every box as lines, in world space.
oxSmartPointer<oxGeometryAttr> boxLines(const std::vector<Box>& boxes)
{
    oxSmartPointer<oxGeometryAttr> lines = oxGeometryAttr::_instantiateRef();
    lines->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kColors, int(boxes.size() * 24));
    lines->configurePrimitive(OX_GFX_DRAW_LINES, int(boxes.size() * 12));
    int v = 0;
    for (const Box& b : boxes) {
        oxVec3f corner[8];
        for (int c = 0; c < 8; ++c)
            corner[c] = b.placement.transformPoint(oxVec3f(c & 1 ? b.box.max.x : b.box.min.x,
                                                           c & 2 ? b.box.max.y : b.box.min.y,
                                                           c & 4 ? b.box.max.z : b.box.min.z));
        // Corners differing in one bit share an edge.
        for (int c = 0; c < 8; ++c)
            for (int bit = 1; bit < 8; bit <<= 1)
                if (!(c & bit)) {
                    for (int end : {c, c | bit}) {
                        lines->setPosition(v, corner[end]);
                        lines->setColor(v++, b.color);
                    }
                }
    }
    return lines;
}

template <class T>
oxSmartPointer<T> switchedOff()
{
    oxSmartPointer<T> a = T::_instantiateRef();
    a->setEnabled(false);
    return a;
}

} // namespace

Viewer::Viewer()
    : _frameRoot(oxGroup::_instantiateRef()), _scene(oxGroup::_instantiateRef()),
      _overlay(oxGeometry::_instantiateRef()), _draw(oxFrustCullTraversal::_instantiateRef()),
      _unlit(switchedOff<oxLightingStateAttr>())
{
    _frameRoot->appendChild(_scene);
    _frameRoot->appendChild(_overlay);
    _overlay->setName("bounds");
    _draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
}

Viewer::~Viewer() = default;

bool Viewer::load(const std::vector<std::string>& files, std::string& error)
{
    std::vector<oxSmartPointer<oxNode>> graphs;
    std::string name;
    for (const std::string& file : files) {
        oxSmartPointer<oxNode> graph =
            file == "--demo" ? oxSmartPointer<oxNode>(buildDemoScene()) : readScene("view", file.c_str(), error);
        if (!graph)
            return false;
        // Culling tests only nodes with bounds: a scene stored without them gets them here.
        if (!graph->getBound())
            oxBoundingBoxesMaker::_instantiateRef()->apply(graph);
        graphs.push_back(graph);
        const size_t slash = file.find_last_of('/');
        name += (name.empty() ? "" : " + ") + (file == "--demo" ? "demo" : file.substr(slash + 1));
    }
    // One file is shown as it is, so that picked paths read as oxsg pick prints them.
    oxSmartPointer<oxNode> scene = graphs.size() == 1 ? graphs[0] : nullptr;
    if (!scene) {
        oxSmartPointer<oxGroup> all = oxGroup::_instantiateRef();
        all->setName("files");
        for (const oxSmartPointer<oxNode>& g : graphs)
            all->appendChild(g);
        scene = all;
    }
    _frameRoot->removeChild(_scene.get());
    _frameRoot->insertChild(0, scene);
    _scene = scene;
    _name = name;
    _picked.clear();
    _cameras = findCameras(_scene);
    _camera = -1;
    const float aspect = float(_width) / float(_height);
    for (size_t i = 0; i < _cameras.size() && _camera < 0; ++i)
        if (viewCamera(_cameras[i], aspect, _draw))
            _camera = int(i);
    _orbit = frameScene(_scene, aspect);
    // A new scene starts at its own beginning, as oxsg render's frames do.
    _time = 0;
    _draw->setTimeAsLong(-1);
    return true;
}

void Viewer::resize(int width, int height)
{
    _width = std::max(width, 1);
    _height = std::max(height, 1);
}

void Viewer::frameAll()
{
    _orbit = frameScene(_scene, float(_width) / float(_height));
    _camera = -1;
}

void Viewer::useFreeCamera()
{
    if (_camera < 0)
        return;
    // The free camera takes over where the scene's camera looks from, turning about the
    // point of its line of sight nearest the scene's centre.
    const oxMatrix44f& m = _cameras[size_t(_camera)].placement;
    const oxVec3f eye = m.transformPoint(oxVec3f(0, 0, 0));
    const oxVec3f ahead = (m.transformPoint(oxVec3f(0, 0, -1)) - eye).normalized();
    const float along = (_orbit.sceneCentre - eye).dot(ahead);
    _orbit.lookFrom(eye, eye + ahead * std::fmax(along, 0.05f * _orbit.sceneRadius));
    _camera = -1;
}

void Viewer::view(oxCommonTraversal* draw) const
{
    const float aspect = float(_width) / float(_height);
    if (_camera < 0 || !viewCamera(_cameras[size_t(_camera)], aspect, draw))
        viewOrbit(_orbit, aspect, draw);
}

void Viewer::move(double x, double y)
{
    const double dx = x - _x, dy = y - _y;
    _x = x;
    _y = y;
    if (!_down[LEFT] && !_down[RIGHT] && !_down[MIDDLE])
        return;
    if (!_dragged && std::fabs(x - _pressX) + std::fabs(y - _pressY) < 3)
        return;
    _dragged = true;
    useFreeCamera();
    if (_down[LEFT]) {
        _orbit.yaw -= float(dx) * 0.008f;
        _orbit.pitch = std::fmax(-1.55f, std::fmin(1.55f, _orbit.pitch + float(dy) * 0.008f));
        return;
    }
    // Panning moves the target with the pointer at the target's depth.
    const float perPixel = 2 * _orbit.distance * std::tan(0.5f * _orbit.verticalFov * kPi / 180) / float(_height);
    const oxVec3f ahead = (_orbit.target - _orbit.eye()).normalized();
    oxVec3f right = ahead.cross(oxVec3f(0, 1, 0));
    if (right.length() < 1e-4f)
        right = oxVec3f(std::cos(_orbit.yaw), 0, -std::sin(_orbit.yaw));
    right = right.normalized();
    const oxVec3f up = right.cross(ahead).normalized();
    _orbit.target = _orbit.target + (right * float(-dx) + up * float(dy)) * perPixel;
}

void Viewer::press(Button button)
{
    _down[button] = true;
    _pressX = _x;
    _pressY = _y;
    _dragged = false;
}

void Viewer::release(Button button, double seconds)
{
    const bool wasDown = _down[button];
    _down[button] = false;
    if (!wasDown || _dragged || button != LEFT)
        return;
    const bool twice = seconds - _lastClickSeconds < 0.4 && std::fabs(_x - _lastClickX) < 4 &&
                       std::fabs(_y - _lastClickY) < 4;
    pick(_x, _y, twice);
    // A third click starts over rather than making a second double click.
    _lastClickSeconds = twice ? -1e9 : seconds;
    _lastClickX = _x;
    _lastClickY = _y;
}

void Viewer::scroll(double steps)
{
    useFreeCamera();
    _orbit.distance = std::fmax(_orbit.distance * float(std::pow(0.85, steps)), 1e-4f * _orbit.sceneRadius);
}

void Viewer::pick(double x, double y, bool recentre)
{
    oxSmartPointer<oxCommonTraversal> probe = oxCommonTraversal::_instantiateRef();
    view(probe);
    const float nx = float((x + 0.5) / _width * 2 - 1), ny = float(1 - (y + 0.5) / _height * 2);
    const std::vector<PickHit> hits =
        pickScene(_scene, probe->getViewMatrix(), probe->getProjectionMatrix(), nx, ny, getTime());
    if (hits.empty()) {
        std::printf("picked nothing at (%g, %g)\n", x, y);
        _picked.clear();
        std::fflush(stdout);
        return;
    }
    const PickHit& h = hits.front();
    _picked = h.path;
    std::printf("picked %s  class %s  at (%.4g, %.4g, %.4g)\n", h.describe().c_str(),
                h.path.back()->getMetaObject()->getName(), h.point.x, h.point.y, h.point.z);
    std::fflush(stdout);
    if (recentre) {
        oxMatrix44f eyeToWorld = probe->getViewMatrix();
        if (eyeToWorld.invert()) {
            _camera = -1;
            _orbit.lookFrom(eyeToWorld.transformPoint(oxVec3f(0, 0, 0)), h.point);
        }
    }
}

void Viewer::key(int key)
{
    switch (key) {
    case ' ':
        _paused = !_paused;
        break;
    case KEY_LEFT:
        _time = std::max<int64_t>(0, _time - kFrameStep);
        break;
    case KEY_RIGHT:
        _time += kFrameStep;
        break;
    case 'c':
        _camera = _camera + 1 < int(_cameras.size()) ? _camera + 1 : -1;
        break;
    case 'w':
        _wireframe = !_wireframe;
        break;
    case 'b':
        _bounds = !_bounds;
        break;
    case 'l':
        _lighting = !_lighting;
        break;
    case 's':
        _screenshotRequested = true;
        break;
    case 'f':
        frameAll();
        break;
    case 'h':
        printKeys();
        break;
    case KEY_ESCAPE:
        _quit = true;
        break;
    default:
        break;
    }
}

void Viewer::printKeys()
{
    std::printf("oxsg view:\n"
                "  left drag     turn about the centre      right or middle drag  pan\n"
                "  wheel         zoom                       click                 pick (prints the node)\n"
                "  double click  turn about the point hit   space                 pause or play\n"
                "  left, right   step time by 1/30 s        c                     next camera (then the free one)\n"
                "  w             wireframe                  b                     bounds\n"
                "  l             lighting                   s                     screenshot (oxsg-view-N.png)\n"
                "  f             frame the whole scene      h                     these keys\n"
                "  Esc           quit                       drop a file           show it instead\n");
    std::fflush(stdout);
}

bool Viewer::takeScreenshotRequest()
{
    const bool asked = _screenshotRequested;
    _screenshotRequested = false;
    return asked;
}

void Viewer::advance(int64_t nanoseconds)
{
    if (!_paused)
        _time += nanoseconds;
}

void Viewer::updateOverlay()
{
    std::vector<Box> boxes;
    if (_bounds)
        collectBounds(_scene, oxMatrix44f(), boxes);
    if (!_picked.empty()) {
        PickHit placed;
        placed.path = _picked;
        const oxBox3f box = nodeBox(_picked.back());
        if (!box.isEmpty())
            boxes.push_back({box, placed.parentPlacement(), oxVec4f(1, 0.85f, 0.1f, 1)});
    }
    _overlay->setAttrCount(0);
    if (boxes.empty())
        return;
    _overlay->appendAttr(switchedOff<oxLightingStateAttr>());
    _overlay->appendAttr(switchedOff<oxTextureStateAttr>());
    _overlay->addGeometryAttr(boxLines(boxes));
}

void Viewer::draw(oxGLVisualContext* vc, FrameReport& report)
{
    if (_draw->getVisualContext() != vc)
        _draw->setVisualContext(vc);
    view(_draw);
    updateOverlay();
    std::vector<Kel::Attrs::oxAttr*> overrides;
    if (!_lighting)
        overrides.push_back(_unlit);
    drawFrame(_frameRoot, _draw, vc, _time, overrides, &report);
    // The draw time counts until the device has drawn the frame, not until it has taken it.
    const auto start = std::chrono::steady_clock::now();
    vc->finish();
    report.drawSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Viewer::releaseDevice()
{
    _draw->reset();
    _draw->setVisualContext(nullptr);
}

bool Viewer::screenshot(oxGLVisualContext* vc, const std::string& path)
{
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    if (!vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), image) || !image->writePNG(path.c_str())) {
        std::fprintf(stderr, "oxsg view: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    std::fflush(stdout);
    return true;
}

std::string Viewer::title(double fps, const FrameReport& r) const
{
    char text[256];
    std::snprintf(text, sizeof text, "%s: %.1f fps | build %.2f ms | draw %.2f ms | %d packages | %d state changes%s",
                  _name.c_str(), fps, r.buildSeconds * 1e3, r.drawSeconds * 1e3, r.packages, r.stateChanges,
                  _paused ? " | paused" : "");
    return text;
}

} // namespace oxsg
