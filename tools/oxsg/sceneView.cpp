#include "tools/oxsg/sceneView.h"

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

// The first camera in the graph, depth first, and where the transforms above it place it.
oxCamera* findCamera(oxNode* node, const oxMatrix44f& placement, oxMatrix44f& where, int depth = 0)
{
    if (depth > 256)
        return nullptr;
    oxMatrix44f m = placement;
    if (auto* t = oxTransform::dynamicCast(node))
        if (t->getTarget() == oxTransform::MODEL_VIEW_MATRIX)
            m = *t->getMatrix() * placement;
    if (auto* camera = oxCamera::dynamicCast(node)) {
        where = m;
        return camera;
    }
    if (auto* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            if (oxCamera* found = findCamera(group->getChild(i), m, where, depth + 1))
                return found;
    return nullptr;
}

// Some animation depends on the frames before: blends that begin when first seen, inverse
// kinematics that closes in on its goal frame by frame. A frame far from the traversal's
// last one (the first of all, a jump, time going back) is reached through frames at 30 per
// second from where that motion is known, time 0 after a jump back, without drawing them.
void settle(oxNode* root, oxCommonTraversal* draw, int64_t time)
{
    constexpr int64_t kStep = 1000000000 / 30;
    int64_t from = draw->getTimeAsLong();
    if (from > time || from < 0)
        from = 0;
    for (int64_t t = from + kStep; t < time; t += kStep) {
        draw->setTimeAsLong(t);
        draw->reset();
        draw->apply(root);
    }
}

} // namespace

void viewScene(oxNode* root, float aspect, oxCommonTraversal* draw)
{
    oxMatrix44f where, view, projection;
    if (oxCamera* camera = findCamera(root, oxMatrix44f(), where))
        if (camera->computeProjection(projection, aspect) && (view = where).invert()) {
            draw->setViewMatrix(view);
            draw->setProjectionMatrix(projection);
            return;
        }
    oxBox3f box;
    extendSceneBox(root, oxMatrix44f(), box);
    if (box.isEmpty())
        box = oxBox3f(oxVec3f(-1, -1, -1), oxVec3f(1, 1, 1));
    const oxVec3f centre = (box.min + box.max) * 0.5f;
    const float radius = std::fmax((box.max - box.min).length() * 0.5f, 1e-3f);
    const float verticalFov = 40.0f;
    const float halfFov = 0.5f * verticalFov * 3.14159265f / 180.0f * std::fmin(aspect, 1.0f);
    const float distance = 0.78f * radius / std::sin(halfFov);
    const oxVec3f eye = centre + oxVec3f(0.25f, 0.55f, 1.0f).normalized() * distance;
    view.lookAt(eye, centre - oxVec3f(0, 0.12f * radius, 0), oxVec3f(0, 1, 0));
    draw->setViewMatrix(view);
    draw->setPerspective(-1, verticalFov, aspect, std::fmax(distance - 2 * radius, distance * 0.02f),
                         distance + 2 * radius);
}

oxDisplayListAttr* drawFrame(oxNode* root, oxCommonTraversal* draw, oxVisualContext* vc, int64_t time)
{
    // The traversal keeps its projection for its own measures (levels of detail, pixel
    // sizes); the device takes it here, and the frame's empty projection stack stands for it.
    vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
    // Lights are placed with the device's view: without it they would ride with the eye.
    vc->setViewMatrix(draw->getViewMatrix());
    draw->setUserTimeState(true);
    settle(root, draw, time);
    draw->setTimeAsLong(time);
    draw->reset();
    draw->apply(root);
    oxDisplayListAttr* frame = draw->getOutput();
    oxClearValues clear;
    clear.color = kSky;
    vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
    frame->apply(vc);
    return frame;
}

} // namespace oxsg
