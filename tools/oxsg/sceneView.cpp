#include "tools/oxsg/sceneView.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/attrs/OXAttrs.h"

namespace oxsg {

using namespace Kel::Sg;
using namespace Kel::Gfx;

const oxVec4f kSky(0.52f, 0.64f, 0.78f, 1);

namespace {

// The box around every geometry below `node`, placed by the transforms on the way. Every
// child of a selecting group counts, so that the view holds whatever a frame selects; an
// actor counts its skin as bound.
void extendSceneBox(oxNode* node, const oxMatrix44f& placement, oxBox3f& box, int depth = 0)
{
    if (depth > 256)
        return;
    oxMatrix44f m = placement;
    if (auto* t = oxTransform::dynamicCast(node))
        if (t->getTarget() == oxTransform::MODEL_VIEW_MATRIX)
            m = *t->getMatrix() * placement;
    if (auto* g = oxGeometry::dynamicCast(node))
        for (int i = 0; i < g->getAttrCount(); ++i) {
            oxBox3f local;
            if (!g->getAttr(i)->extendBounds(local) || local.isEmpty())
                continue;
            for (int corner = 0; corner < 8; ++corner)
                box.extendBy(m.transformPoint(oxVec3f(corner & 1 ? local.max.x : local.min.x,
                                                      corner & 2 ? local.max.y : local.min.y,
                                                      corner & 4 ? local.max.z : local.min.z)));
        }
    if (auto* actor = oxActor::dynamicCast(node))
        if (oxAppearance* look = actor->getAppearance())
            if (oxSkin* skin = look->getSkin(); skin && skin->getSkinnedGraph())
                extendSceneBox(skin->getSkinnedGraph(), m, box, depth + 1);
    if (auto* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            extendSceneBox(group->getChild(i), m, box, depth + 1);
}

void collectCameras(oxNode* node, const oxMatrix44f& placement, std::vector<PlacedCamera>& out, int depth = 0)
{
    if (depth > 256)
        return;
    oxMatrix44f m = placement;
    if (auto* t = oxTransform::dynamicCast(node))
        if (t->getTarget() == oxTransform::MODEL_VIEW_MATRIX)
            m = *t->getMatrix() * placement;
    if (auto* camera = oxCamera::dynamicCast(node))
        out.push_back({camera, m});
    if (auto* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            collectCameras(group->getChild(i), m, out, depth + 1);
}

// Counts what a frame's display list draws, lists within it included.
void countFrame(const oxDisplayListAttr* list, FrameReport& report, int depth = 0)
{
    if (!list || depth > 64)
        return;
    const oxAttrList* attrs = list->getAttrs();
    for (int i = 0; attrs && i < attrs->getCount(); ++i) {
        oxAttr* a = attrs->get(i);
        if (!a)
            continue;
        if (auto* inner = oxDisplayListAttr::dynamicCast(a))
            countFrame(inner, report, depth + 1);
        else if (oxBaseGeometryAttr::dynamicCast(a) || oxGeometrySetAttr::dynamicCast(a) ||
                 oxRenderListAttr::dynamicCast(a))
            ++report.packages;
        else
            ++report.stateChanges;
    }
}

void settle(oxNode* root, oxCommonTraversal* draw, int64_t time)
{
    const int64_t last = draw->getTimeAsLong();
    for (int64_t t = last > time || last < 0 ? 0 : last + kFrameStep; t < time; t += kFrameStep) {
        draw->setTimeAsLong(t);
        draw->reset();
        draw->apply(root);
    }
}

} // namespace

oxVec3f Orbit::eye() const
{
    const float c = std::cos(pitch);
    return target + oxVec3f(c * std::sin(yaw), std::sin(pitch), c * std::cos(yaw)) * distance;
}

void Orbit::lookFrom(const oxVec3f& from, const oxVec3f& to)
{
    const oxVec3f offset = from - to;
    target = to;
    distance = std::fmax(offset.length(), 1e-6f * sceneRadius);
    yaw = std::atan2(offset.x, offset.z);
    pitch = std::asin(std::fmax(-1.0f, std::fmin(1.0f, offset.y / distance)));
}

Orbit frameScene(oxNode* root, float aspect)
{
    oxBox3f box;
    extendSceneBox(root, oxMatrix44f(), box);
    if (box.isEmpty())
        box = oxBox3f(oxVec3f(-1, -1, -1), oxVec3f(1, 1, 1));
    Orbit o;
    o.sceneCentre = (box.min + box.max) * 0.5f;
    o.sceneRadius = std::fmax((box.max - box.min).length() * 0.5f, 1e-3f);
    const float halfFov = 0.5f * o.verticalFov * 3.14159265f / 180.0f * std::fmin(aspect, 1.0f);
    const float distance = 0.78f * o.sceneRadius / std::sin(halfFov);
    o.lookFrom(o.sceneCentre + oxVec3f(0.25f, 0.55f, 1.0f).normalized() * distance,
               o.sceneCentre - oxVec3f(0, 0.12f * o.sceneRadius, 0));
    return o;
}

void viewOrbit(const Orbit& o, float aspect, oxCommonTraversal* draw)
{
    oxMatrix44f view;
    const oxVec3f eye = o.eye();
    // Straight up or down, "up" is taken from the direction the view turns to.
    const oxVec3f up = std::fabs(o.pitch) < 1.5f ? oxVec3f(0, 1, 0) : oxVec3f(-std::sin(o.yaw), 0, -std::cos(o.yaw));
    view.lookAt(eye, o.target, up);
    draw->setViewMatrix(view);
    const float distance = (eye - o.sceneCentre).length();
    draw->setPerspective(-1, o.verticalFov, aspect, std::fmax(distance - 2 * o.sceneRadius, distance * 0.02f),
                         distance + 2 * o.sceneRadius);
}

std::vector<PlacedCamera> findCameras(oxNode* root)
{
    std::vector<PlacedCamera> cameras;
    collectCameras(root, oxMatrix44f(), cameras);
    return cameras;
}

bool viewCamera(const PlacedCamera& c, float aspect, oxCommonTraversal* draw)
{
    oxMatrix44f view = c.placement, projection;
    if (!c.camera->computeProjection(projection, aspect) || !view.invert())
        return false;
    draw->setViewMatrix(view);
    draw->setProjectionMatrix(projection);
    return true;
}

void viewScene(oxNode* root, float aspect, oxCommonTraversal* draw)
{
    for (const PlacedCamera& c : findCameras(root))
        if (viewCamera(c, aspect, draw))
            return;
    viewOrbit(frameScene(root, aspect), aspect, draw);
}

oxDisplayListAttr* drawFrame(oxNode* root, oxCommonTraversal* draw, oxVisualContext* vc, int64_t time,
                             const std::vector<oxAttr*>& overrides, FrameReport* report)
{
    const auto start = std::chrono::steady_clock::now();
    // The traversal keeps its projection for its own measures (levels of detail, pixel
    // sizes); the device takes it here, and the frame's empty projection stack stands for it.
    vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
    // Lights are placed with the device's view: without it they would ride with the eye.
    vc->setViewMatrix(draw->getViewMatrix());
    draw->setUserTimeState(true);
    settle(root, draw, time);
    draw->setTimeAsLong(time);
    draw->reset();
    oxAttrStackManager* stacks = draw->getAttrStackManager();
    for (oxAttr* a : overrides)
        stacks->pushOverride(a);
    draw->apply(root);
    for (auto a = overrides.rbegin(); a != overrides.rend(); ++a)
        stacks->popOverride(*a);
    oxDisplayListAttr* frame = draw->getOutput();
    const auto built = std::chrono::steady_clock::now();
    oxClearValues clear;
    clear.color = kSky;
    vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
    frame->apply(vc);
    if (report) {
        *report = FrameReport();
        report->buildSeconds = std::chrono::duration<double>(built - start).count();
        report->drawSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - built).count();
        countFrame(frame, *report);
    }
    return frame;
}

namespace {

struct PickSearch {
    std::vector<PickHit> hits;
    oxVec3f eye;  // world
    double seconds = 0;
};

// The search under way, for the traversal's plain function pointers (the library makes no
// threads, and a pick finishes before the next begins).
PickSearch* g_search = nullptr;

// What the draw shows: only the active children of switches, time switches and levels of
// detail are searched, a level of detail choosing by distance from the eye as the draw does.
OX_TRAVERSAL_SELECT_NODE_RETURN visibleOnly(oxTraversal* t, oxNode* node)
{
    auto* isect = static_cast<oxIntersectTraversal*>(t);
    const oxNodeList* path = isect->getNodeStack();
    const oxNode* parent = path->getCount() ? path->get(path->getCount() - 1) : nullptr;
    if (!parent || parent == node)
        return OX_SELECT_NODE_TRAVERSE;
    const PickSearch* search = g_search;
    if (const auto* sw = oxSwitch::dynamicCast(parent))
        return sw->isChildActive(sw->getChild(node)) ? OX_SELECT_NODE_TRAVERSE : OX_SELECT_NODE_IGNORE;
    if (auto* flip = oxTimeSwitch::dynamicCast(const_cast<oxNode*>(parent)))
        return flip->getNode(search->seconds) == node ? OX_SELECT_NODE_TRAVERSE : OX_SELECT_NODE_IGNORE;
    if (auto* lod = oxLod::dynamicCast(const_cast<oxNode*>(parent))) {
        const oxVec3f centre = isect->getTopMatrix().transformPoint(lod->getCenter());
        return lod->select((centre - search->eye).lengthSquared()) == node ? OX_SELECT_NODE_TRAVERSE
                                                                           : OX_SELECT_NODE_IGNORE;
    }
    return OX_SELECT_NODE_TRAVERSE;
}

OX_TRAVERSAL_RETURN collectHit(oxIntersectTraversal*, oxNode*, const oxHit& hit)
{
    if (hit.type != oxIntersectTraversal::RAYS_POLYGON)
        return OX_TRAVERSAL_CONTINUE;
    PickHit found;
    for (int i = 0; i < hit.path->getCount(); ++i)
        found.path.push_back(hit.path->get(i));
    found.point = hit.point;
    found.distance = hit.distance;
    g_search->hits.push_back(std::move(found));
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace

std::string PickHit::describe() const
{
    std::string text;
    for (const oxNode* n : path) {
        text += '/';
        if (const char* name = n->getName().c_str(); name && *name)
            text += name;
        text += std::string("(") + n->getMetaObject()->getName() + ")";
    }
    return text;
}

oxMatrix44f PickHit::parentPlacement() const
{
    oxMatrix44f m;
    for (size_t i = 0; i + 1 < path.size(); ++i)
        if (auto* t = oxTransform::dynamicCast(path[i]))
            if (t->getTarget() == oxTransform::MODEL_VIEW_MATRIX)
                m = *t->getMatrix() * m;
    return m;
}

std::vector<PickHit> pickScene(oxNode* root, const oxMatrix44f& view, const oxMatrix44f& projection, float nx,
                               float ny, double seconds)
{
    oxMatrix44f toEye = projection, toWorld = view;
    if (!toEye.invert() || !toWorld.invert())
        return {};
    PickSearch search;
    search.seconds = seconds;
    search.eye = toWorld.transformPoint(oxVec3f(0, 0, 0));
    // From the eye through the point to the far plane; the search is in the scene's
    // (world) space.
    const oxVec3f far = toWorld.transformPoint(toEye.transformPoint(oxVec3f(nx, ny, 1)));
    oxSmartPointer<oxProbe> probe = oxProbe::_instantiateRef();
    probe->appendRay(search.eye, far - search.eye, (far - search.eye).length(), Kel::Math::ISET_BOTH);

    oxSmartPointer<oxIntersectTraversal> isect = oxIntersectTraversal::_instantiateRef();
    isect->setProbe(probe);
    isect->setHitFunction(&collectHit);
    isect->clearMode(oxIntersectTraversal::VOLUME_VOLUME);
    isect->setMode(oxIntersectTraversal::RAYS_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    isect->setUserTimeState(true);
    isect->setTimeAsLong(int64_t(std::llround(seconds * 1e9)));
    isect->setNodeSelectFunction(&visibleOnly);
    isect->setNodeSelectFunctionState(true);
    isect->reset();
    g_search = &search;
    isect->apply(root);
    g_search = nullptr;
    std::stable_sort(search.hits.begin(), search.hits.end(),
                     [](const PickHit& a, const PickHit& b) { return a.distance < b.distance; });
    return std::move(search.hits);
}

} // namespace oxsg
