#include "sg/traversal/oxBoundingBoxesMaker.h"

#include <algorithm>
#include <cmath>

#include "platform/attrs/oxGeometryAttr2.h"
#include "sg/animation/oxActor.h"
#include "sg/animation/oxSkin.h"
#include "sg/animation/oxTransformSequence.h"
#include "sg/deform/oxMorphInstance.h"
#include "sg/deform/oxMorphInstance2.h"
#include "sg/deform/oxMultiResolutionMeshInstance.h"
#include "sg/ik/oxJoint.h"
#include "sg/nodes/oxBillboard.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxLightSet.h"
#include "sg/nodes/oxTransform.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxShader.h"

namespace Kel::Sg {

using Attrs::oxBaseGeometryAttr;
using Attrs::oxGeometryAttr;
using Attrs::oxGeometryAttr2;

namespace {

oxNode* skinnedGraphOf(oxActor* actor)
{
    oxAppearance* appearance = actor->getAppearance();
    oxSkin* skin = appearance ? appearance->getSkin() : nullptr;
    return skin ? skin->getSkinnedGraph() : nullptr;
}

// The geometry's extent into `box`; false when some attribute's extent can change (skinned)
// or is unknown (not vertex geometry), and then every extent goes into `skin` as well.
bool geometryExtent(oxGeometry* geometry, oxBox3f& box, oxBox3f& skin)
{
    oxBox3f all;
    bool fixed = true;
    for (int i = 0; i < geometry->getGeometryAttrCount(); ++i) {
        const oxAttr* attr = geometry->getGeometryAttr(i);
        if (oxGeometryAttr::dynamicCast(attr) || oxGeometryAttr2::dynamicCast(attr))
            static_cast<const oxBaseGeometryAttr*>(attr)->extendBounds(all);
        else
            fixed = false;
        if (oxGeometry::isSkinnedAttr(attr))
            fixed = false;
    }
    box.extendBy(all);
    if (!fixed)
        skin.extendBy(all);
    return fixed;
}

// A billboard turns its subtree to the eye every frame, about its origin and without scale:
// the subtree can end up anywhere on the sphere around the origin that holds its extent.
void billboardExtent(const oxBillboard* billboard, oxBox3f& box)
{
    if (box.isEmpty())
        return;
    // The farthest corner takes the larger magnitude on each axis.
    const oxVec3f far(std::max(std::fabs(box.min.x), std::fabs(box.max.x)),
                      std::max(std::fabs(box.min.y), std::fabs(box.max.y)),
                      std::max(std::fabs(box.min.z), std::fabs(box.max.z)));
    const float radius = far.length();
    const oxVec3f origin = billboard->getOrigin();
    const oxVec3f reach(radius, radius, radius);
    box = oxBox3f(origin - reach, origin + reach);
}

// A multi-pass shader may draw its subtree once per pass under that pass's own matrix.
void shaderExtent(const oxShader* shader, oxBox3f& box)
{
    if (box.isEmpty())
        return;
    oxBox3f passes;
    bool moved = false;
    for (int pass = 0; pass < shader->getPassCount(); ++pass) {
        if (!shader->getPassState(pass))
            continue;
        oxBox3f drawn = box;
        if (shader->getModelViewMatrix(pass)) {
            drawn.transform(*shader->getMatrix(pass));
            moved = true;
        }
        passes.extendBy(drawn);
    }
    if (moved)
        box = passes;
}

} // namespace

void oxBoundingBoxesMaker::arkRegisterInitialize(oxFields<oxBoundingBoxesMaker>& f)
{
    f.add(OX_FIELD(time)).setDefault(int64_t(-1));
    f.add(OX_FIELD(useWholeAnimation)).setDefault(true);
    f.add(OX_FIELD(setBoundingBoxes)).setDefault(true);
    f.add(OX_FIELD(skinnedBox)).constructWithOwner();
}

bool oxBoundingBoxesMaker::apply(oxNode* root)
{
    if (!root)
        return false;
    _setBoundingBoxes = true;
    _skinnedBox->empty();
    oxBox3f out;
    walk(root, out);
    return true;
}

void oxBoundingBoxesMaker::getBoundingBox(oxNode* node, oxAABox* box)
{
    _setBoundingBoxes = false;
    _skinnedBox->empty();
    if (!box)
        return;
    oxBox3f out;
    if (node)
        walk(node, out);
    box->set(out);
}

oxSmartPointer<oxAABox> oxBoundingBoxesMaker::getBoundingBox(oxNode* node)
{
    oxSmartPointer<oxAABox> box = oxAABox::_instantiateRef();
    getBoundingBox(node, box);
    return box;
}

bool oxBoundingBoxesMaker::walk(oxNode* node, oxBox3f& out)
{
    // A planar shadow falls outside its own bound, so neither it nor anything above it keeps
    // one: culling by such a bound would lose the shadow.
    const bool planarShadow = oxPlanarShadowShader::dynamicCast(node) != nullptr;
    if (const oxVolume* bound = node->getBound()) {
        if (planarShadow)
            return false;
        out.extendBy(bound->getBox());
        return true;
    }
    oxBox3f box, skin;
    bool keep = _setBoundingBoxes && !(node->getFlags() & oxNode::IS_DYNAMIC);
    if (oxGroup* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            if (oxNode* child = group->getChild(i))
                keep = walk(child, box) && keep;
    // A progressive mesh draws a subset of its core's vertices that changes with the
    // distance; its bound holds all of them, so that it never goes stale.
    if (auto* mrm = oxMultiResolutionMeshInstance::dynamicCast(node))
        if (oxMultiResolutionMeshCore* core = mrm->getMultiResolutionMeshCore())
            if (core->getVertexArray())
                core->getVertexArray()->extendBox(box);
    if (oxGeometry* geometry = oxGeometry::dynamicCast(node)) {
        keep = geometryExtent(geometry, box, skin) && keep;
        // A morph's extent is that of its current weights, which the next frame may change:
        // it counts, but is not kept, here or above.
        if (oxMorphInstance::dynamicCast(node) || oxMorphInstance2::dynamicCast(node))
            keep = false;
    }
    else if (oxTransform::dynamicCast(node))
        keep = walkTransform(node, box) && keep;
    else if (oxActor* actor = oxActor::dynamicCast(node))
        keep = walkActor(actor, box) && keep;
    else if (auto* billboard = oxBillboard::dynamicCast(node))
        billboardExtent(billboard, box);
    else if (auto* shader = oxShader::dynamicCast(node))
        shaderExtent(shader, box);
    else if (planarShadow) {
        // Its subtree's extent is its bound, for what tests it alone (intersection).
        if (keep && !box.isEmpty()) {
            oxSmartPointer<oxAABox> bound = oxAABox::_instantiateRef();
            bound->set(box);
            node->setBound(bound);
        }
        keep = false;
    }

    if (!skin.isEmpty()) {
        oxBox3f skinned = _skinnedBox->getBox();
        skinned.extendBy(skin);
        _skinnedBox->set(skinned);
    }
    out.extendBy(box);
    if (keep && !box.isEmpty()) {
        oxSmartPointer<oxAABox> bound = oxAABox::_instantiateRef();
        bound->set(box);
        node->setBound(bound);
    }
    return keep;
}

// The subtree's extent, in the transform's own space, into its parent's space. A transform
// whose matrix comes from a source may move, so its box is not stored; over the whole
// animation a keyframed source gives the extent under every one of its keys (other sources
// cannot be sampled and leave the extent where it is). Without a source the matrix is taken
// as it stands.
bool oxBoundingBoxesMaker::walkTransform(oxNode* node, oxBox3f& box)
{
    auto* transform = static_cast<oxTransform*>(node);
    const bool driven = transform->getTransformSource() != nullptr;
    if (_useWholeAnimation) {
        auto* sequence = oxTransformSequence::dynamicCast(transform->getTransformSource());
        if (sequence && !box.isEmpty() && sequence->getKeyFrameCount() > 0) {
            oxBox3f swept;
            for (int i = 0; i < sequence->getKeyFrameCount(); ++i) {
                oxMatrix44f key;
                sequence->getMatrix(i, &key);
                oxBox3f moved = box;
                moved.transform(key);
                swept.extendBy(moved);
            }
            box = swept;
        }
        if (driven)
            return false;
        // A joint's matrix is its pose, which the skeleton animates: its box stays in the
        // joint's own space and is never kept.
        if (oxJoint::dynamicCast(node))
            return false;
        transform->update(0);
    } else {
        if (oxJoint::dynamicCast(node))
            return false;
        transform->update(_time);
    }
    if (transform->getTarget() == oxTransform::MODEL_VIEW_MATRIX && !box.isEmpty())
        box.transform(*transform->getMatrix());
    return !driven;
}

// The extent of the actor's skin, measured without storing bounds inside it (the skin is
// drawn with the actor's palettes, wherever they put it). A transform whose last row is
// not (.., 1) is not one the box can follow: a w inside (0, 1) scales the actor up in a way
// that may change, so the actor keeps nothing; other values leave the box as measured.
bool oxBoundingBoxesMaker::walkActor(oxActor* actor, oxBox3f& box)
{
    if (oxNode* skinned = skinnedGraphOf(actor)) {
        const bool store = _setBoundingBoxes;
        _setBoundingBoxes = false;
        walk(skinned, box);
        _setBoundingBoxes = store;
    }
    if (box.isEmpty())
        return false;
    const double w = actor->getTransform().m[3][3];
    if (w >= 1.0 - 5e-7 && w <= 1.0 + 5e-7) {
        box.transform(actor->getTransform());
        return true;
    }
    return !(w > 0.0 && w < 1.0);
}

bool oxBoundingBoxesMaker::removeAll(oxNode* node)
{
    if (!node)
        return false;
    if (!oxLightSet::dynamicCast(node) && !oxJoint::dynamicCast(node))
        node->setBound(nullptr);
    if (oxActor* actor = oxActor::dynamicCast(node))
        removeAll(skinnedGraphOf(actor));
    else if (oxGroup* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            removeAll(group->getChild(i));
    return true;
}

void oxBoundingBoxesMaker::optimize(oxNode* node)
{
    if (!node)
        return;
    oxGroup* group = oxGroup::dynamicCast(node);
    if (node->getBound() && node->getParentCount() == 1 && group && group->getChildCount() <= 1 &&
        !oxGeometry::dynamicCast(node))
        node->setBound(nullptr);
    if (group)
        for (int i = 0; i < group->getChildCount(); ++i)
            optimize(group->getChild(i));
}

} // namespace Kel::Sg
