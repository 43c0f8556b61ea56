#include "sg/traversal/oxCommonTraversal.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "platform/attrs/oxVertexBlendAttrs.h"
#include "sg/animation/oxActor.h"
#include "sg/animation/oxTimeTransform.h"
#include "sg/animation/oxTransformRecorder.h"
#include "sg/deform/oxMorphInstance.h"
#include "sg/deform/oxMorphInstance2.h"
#include "sg/deform/oxMultiResolutionMeshInstance.h"
#include "sg/ik/oxInverseKinematicsSolver.h"
#include "sg/nodes/oxBillboard.h"
#include "sg/nodes/oxBlendMatrixSelect.h"
#include "sg/nodes/oxClipPlane.h"
#include "sg/nodes/oxDOFShader.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxLightSet.h"
#include "sg/nodes/oxLightStateSet.h"
#include "sg/nodes/oxLod.h"
#include "sg/nodes/oxModelViewMatrixBoneSelect.h"
#include "sg/nodes/oxSwitch.h"
#include "sg/nodes/oxTimeSwitch.h"
#include "sg/nodes/oxTransform.h"
#include "sg/shaders/oxBumpMapShader.h"
#include "sg/shaders/oxCartoonShader.h"
#include "sg/shaders/oxEnvironmentMapShader2.h"
#include "sg/shaders/oxMultiTextureShader.h"
#include "sg/shaders/oxSelfShadowShader.h"
#include "sg/shaders/oxShader.h"
#include "sg/shaders/oxShader2.h"
#include "sg/traversal/oxCompiledGraph.h"

namespace Kel::Sg {

using namespace Attrs;

namespace {

oxCommonTraversal* common(oxTraversal* t)
{
    return static_cast<oxCommonTraversal*>(t);
}

OX_TRAVERSAL_RETURN stopOrContinue(OX_TRAVERSAL_RETURN r)
{
    return r == OX_TRAVERSAL_STOP ? OX_TRAVERSAL_STOP : OX_TRAVERSAL_CONTINUE;
}

// The matrix of the last attribute pushed on a stack, or null when nothing is pushed.
const oxMatrix44f* lastPushedMatrix(oxAttrStackManager* m, oxMetaObject* cls, int unit = 0)
{
    const oxAttr* top = m->getTop(cls, unit);
    return top ? &static_cast<const oxMatrixAttr*>(top)->getMatrix() : nullptr;
}

// Last pushed model-view × inverse view: the model-to-world matrix (identity when empty).
oxMatrix44f modelToWorld(oxCommonTraversal* t)
{
    const oxMatrix44f* mv = lastPushedMatrix(t->getAttrStackManager(), oxModelViewMatrixAttr::getClassTypeSafe());
    return mv ? *mv * t->getInverseViewMatrix() : oxMatrix44f();
}

std::string lowerCase(const char* name)
{
    std::string s = name ? name : "";
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

// ---- node functions --------------------------------------------------------------------

namespace {

// Pushes the set's attributes in order, emits them at once when the set is a trigger (so
// that its state reaches the output even if no geometry follows), walks the children and
// pops the attributes last to first.
template <class Push, class Pop>
OX_TRAVERSAL_RETURN traverseAttrs(oxTraversal* t, oxAttrSet* set, Push push, Pop pop)
{
    oxCommonTraversal* ct = common(t);
    oxAttrStackManager* m = ct->getAttrStackManager();
    const int n = set->getAttrCount();
    for (int i = 0; i < n; ++i)
        push(m, set->getAttr(i));
    if (set->getTriggerState())
        ct->getSorter()->appendAttrs(ct->flushUpdateAttrs());
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, set);
    for (int i = n - 1; i >= 0; --i)
        pop(m, set->getAttr(i));
    return r;
}

} // namespace

OX_TRAVERSAL_RETURN oxCommonTraverseAttributeSet(oxTraversal* t, oxObject* object)
{
    return traverseAttrs(
        t, static_cast<oxAttrSet*>(object), [](oxAttrStackManager* m, oxAttr* a) { m->pushAttr(a); },
        [](oxAttrStackManager* m, oxAttr* a) { m->popAttr(a); });
}

// The same with override pushes: the set's attributes win over everything pushed below.
OX_TRAVERSAL_RETURN oxCommonTraverseOverrideAttributeSet(oxTraversal* t, oxObject* object)
{
    return traverseAttrs(
        t, static_cast<oxAttrSet*>(object), [](oxAttrStackManager* m, oxAttr* a) { m->pushOverride(a); },
        [](oxAttrStackManager* m, oxAttr* a) { m->popOverride(a); });
}

namespace {

// The transform's matrix over what its target's stack holds, pushed and kept on the node.
// Returns the class and unit to pop after the children.
oxMatrixAttr* pushTransform(oxCommonTraversal* ct, oxTransform* node, oxMetaObject*& cls, int& unit)
{
    node->update(ct->getTimeAsLong());
    const int target = node->getTarget();
    unit = 0;
    if (target >= oxTransform::VERTEX_BLEND_MATRIX_0 && target <= oxTransform::VERTEX_BLEND_MATRIX_7) {
        cls = oxVertexBlendMatrixAttr::getClassTypeSafe();
        unit = target - oxTransform::VERTEX_BLEND_MATRIX_0;
    } else if (target >= oxTransform::TEXTURE_MATRIX_0 && target <= oxTransform::TEXTURE_MATRIX_7) {
        cls = oxTextureMatrixAttr::getClassTypeSafe();
        unit = target - oxTransform::TEXTURE_MATRIX_0;
    } else
        cls = oxModelViewMatrixAttr::getClassTypeSafe();

    oxAttrStackManager* m = ct->getAttrStackManager();
    auto* attr = static_cast<oxMatrixAttr*>(ct->getAttrPool(cls)->allocate());
    attr->setUnit(unit);
    // An empty stack does not mean the class default: the transform's own matrix is used.
    const oxMatrix44f* below = lastPushedMatrix(m, cls, unit);
    attr->setMatrix(below ? *node->getMatrix() * *below : *node->getMatrix());
    m->pushAttr(attr);
    node->setCachedAttr(attr);
    return attr;
}

OX_TRAVERSAL_RETURN traverseTransformChildren(oxCommonTraversal* ct, oxTransform* node, oxMetaObject* cls, int unit)
{
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(ct, node);
    ct->getAttrStackManager()->popAttr(cls, unit);
    return r;
}

} // namespace

OX_TRAVERSAL_RETURN oxCommonTraverseTransform(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxTransform*>(object);
    oxMetaObject* cls;
    int unit;
    pushTransform(ct, node, cls, unit);
    return traverseTransformChildren(ct, node, cls, unit);
}

OX_TRAVERSAL_RETURN oxCommonTraverseBillboard(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxBillboard*>(object);
    const oxMatrix44f model = modelToWorld(ct);
    oxMatrix44f world;
    node->computeTransform(&world, &model, &ct->getInverseViewMatrix());
    oxModelViewMatrixAttr* attr = ct->pushMatrix(world * ct->getViewMatrix());
    node->setCachedAttr(attr);
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    ct->popMatrix();
    return r;
}

OX_TRAVERSAL_RETURN oxCommonTraverseSwitch(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxSwitch*>(object);
    const int n = node->getChildCount();
    for (int i = 0; i < n; ++i) {
        if (!node->isChildActive(i))
            continue;
        const OX_TRAVERSAL_RETURN r = t->dispatch(node->getChild(i));
        if (r == OX_TRAVERSAL_PRUNE)
            break;
        if (r == OX_TRAVERSAL_STOP)
            return OX_TRAVERSAL_STOP;
    }
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseLod(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxLod*>(object);
    const oxVec3f eye = ct->getTopMatrix().transformPoint(node->getCenter());
    oxNode* child = node->select(eye.x * eye.x + eye.y * eye.y + eye.z * eye.z);
    return child ? stopOrContinue(t->dispatch(child)) : OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseTimeSwitch(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxTimeSwitch*>(object);
    // The child is held while it is drawn: a node function below may change the switch.
    oxSmartPointer<oxNode> child = node->getNode(oxCommonTraversal::toSeconds(ct->getTimeAsLong()));
    return child ? t->dispatch(child) : OX_TRAVERSAL_CONTINUE;
}

// The subtree runs on the node's clock: transforms below evaluate their sources at it, and
// the time attribute tells the device the same.
OX_TRAVERSAL_RETURN oxCommonTraverseTimeTransform(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxTimeTransform*>(object);
    const int64_t time = node->getTransformedTime(ct->getTimeAsLong());
    ct->pushTime(time);
    auto* attr = static_cast<oxTimeAttr*>(ct->getAttrPool(oxTimeAttr::getClassTypeSafe())->allocate());
    attr->setTimeAsLong(time);
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(attr);
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    m->popAttr(attr);
    ct->popTime();
    return stopOrContinue(r);
}

OX_TRAVERSAL_RETURN oxCommonTraverseTransformRecorder(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxTransformRecorder*>(object);
    const oxMatrix44f& modelView = ct->getTopMatrix();
    const oxMatrix44f world = modelView * ct->getInverseViewMatrix();
    node->setMatrix(&world);
    node->setMvmMatrix(&modelView);
    return stopOrContinue(oxTraverseGroup(t, node));
}

OX_TRAVERSAL_RETURN oxCommonTraverseLightSet(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxLightSet*>(object);
    ct->getSorter()->addLightSet(node, ct->getAttrStackManager());
    // Lights go where the model-view in force puts them: under an override, that is the
    // override's, whatever transforms pushed below it.
    const oxMatrix44f toWorld = ct->getTopMatrix() * ct->getInverseViewMatrix();
    for (int i = 0; i < node->getLightCount(); ++i) {
        oxLightAttr* light = node->getLight(i);
        if (!light)
            continue;
        light->setTransformedPosition(toWorld.transformPoint(light->getPosition()));
        const int type = int(light->getType());
        if (type == 0 || type == 2)
            light->setTransformedDirection(toWorld.transformVector(light->getDirection()));
    }
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseLightStateSet(oxTraversal* t, oxObject* object)
{
    oxAttrStackManager* m = common(t)->getAttrStackManager();
    auto* node = static_cast<oxLightStateSet*>(object);
    const int n = node->getLightStateAttrCount();
    for (int i = 0; i < n; ++i)
        m->pushLightState(node->getLightStateAttr(i), false);
    oxTraverseGroup(t, node);
    for (int i = n - 1; i >= 0; --i)
        m->popLightState(node->getLightStateAttr(i), false);
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseClipPlaneSet(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxClipPlaneSet*>(object);
    oxAttrStackManager* m = ct->getAttrStackManager();
    oxAttrList* attrs = node->getClipPlaneAttrList();
    const int n = node->getClipPlaneCount();
    attrs->setCount(n);
    for (int i = 0; i < n; ++i) {
        const oxClipPlane* plane = node->getClipPlane(i);
        auto* attr = static_cast<oxClipPlaneAttr*>(ct->getAttrPool(oxClipPlaneAttr::getClassTypeSafe())->allocate());
        attr->setUnit(plane->getUnitID());
        attr->setPlane(plane->getPlane());
        attr->setModelView(ct->getTopMatrix());
        m->pushAttr(attr);
        attrs->set(i, attr);
    }
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    for (int i = 0; i < n; ++i)
        m->popAttr(attrs->get(i));
    attrs->removeAll();
    return r;
}

OX_TRAVERSAL_RETURN oxCommonTraverseGeometry(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxGeometry*>(object);
    if (!node->getTriggerState() || (node->getFlags() & oxNode::IS_INVISIBLE))
        return OX_TRAVERSAL_CONTINUE;
    oxAttrStackManager* m = ct->getAttrStackManager();
    oxMetaObject* listClass = oxVertexBlendMatrixListAttr::getClassTypeSafe();
    auto* source = static_cast<oxVertexBlendMatrixListAttr*>(m->getTop(listClass));
    oxAttr* pushed = nullptr;
    if (source) {
        // Skinning by matrix objects that animation may rewrite before the frame is drawn:
        // the package keeps a copy of this moment's matrices.
        m->pushAttr(oxModelViewMatrixAttr::getIdentityAttr());
        auto* copy = static_cast<oxVertexBlendMatrixListAttr*>(ct->getAttrPool(listClass)->allocate());
        const int n = source->getMatrixCount();
        copy->setMatrixCount(n);
        copy->setSkeletonTransform(source->getSkeletonTransform(), source->getSkeletonInverseTransform());
        for (int i = 0; i < n; ++i) {
            oxMatrixObject* matrix = ct->getMatrixObjectPool()->allocate();
            const oxMatrixObject* from = source->getMatrixPointer(i);
            matrix->setMatrix(from ? from->getMatrix() : oxMatrix44f());
            copy->setMatrixPointer(i, matrix);
        }
        m->pushAttr(copy);
        pushed = copy;
    } else if (const oxMatrix44f* palette = ct->getCurrentBoneMatrixPalette()) {
        auto* blend = static_cast<oxStateAttr*>(m->getTopOrDefault(oxVertexBlendStateAttr::getClassTypeSafe()));
        if (blend && blend->getEnabled())
            pushed = ct->pushMatrix(palette[0]);
    }
    ct->getSorter()->addGeometry(node, m);
    if (source) {
        m->popAttr(pushed);
        m->popAttr(oxModelViewMatrixAttr::getIdentityAttr());
    } else if (pushed)
        m->popAttr(pushed);
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseModelViewMatrixBoneSelect(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxModelViewMatrixBoneSelect*>(object);
    const oxMatrix44f* palette = ct->getCurrentBoneMatrixPalette();
    const int index = node->getMatrixIndex();
    if (!palette || index < 0)
        return OX_TRAVERSAL_CONTINUE;
    ct->pushMatrix(palette[index] * palette[0]);
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    ct->popMatrix();
    return r;
}

OX_TRAVERSAL_RETURN oxCommonTraverseBlendMatrixSelect(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxBlendMatrixSelect*>(object);
    const oxMatrix44f* palette = ct->getCurrentBlendMatrixPalette();
    // Below no blend palette the indices name nothing: the subtree is skipped.
    if (!palette)
        return OX_TRAVERSAL_CONTINUE;
    const int length = ct->getCurrentBlendMatrixPaletteLength();
    const int n = node->getBlendMatrixIndexCount();
    auto* attr = static_cast<oxBlendMatricesAttr*>(ct->getAttrPool(oxBlendMatricesAttr::getClassTypeSafe())->allocate());
    attr->configure(n);
    for (int i = 0; i < n; ++i) {
        const int index = node->getBlendMatrixIndex(i);
        attr->setMatrix(i, index >= 0 && index < length ? palette[index] : oxMatrix44f());
    }
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(attr);
    const OX_TRAVERSAL_RETURN r = oxCommonTraverseAttributeSet(t, node);
    m->popAttr(attr);
    return r;
}

OX_TRAVERSAL_RETURN oxCommonTraverseSegment(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxSegment*>(object);
    const char* name = node->getName().c_str();
    if (oxNode* replacement = ct->getSegmentOverride(name)) {
        // A null override hides the name inside the replacement, which may itself hold a
        // segment of the same name: that one draws its own children.
        ct->pushSegmentOverride(name, nullptr);
        const OX_TRAVERSAL_RETURN r = t->dispatch(replacement);
        ct->popSegmentOverride(name);
        return r;
    }
    return oxTraverseGroup(t, node);
}

// The shader takes over what changed for this frame, then its subtree is drawn as a group's;
// whatever the subtree answers, the shader's siblings are drawn too.
OX_TRAVERSAL_RETURN oxCommonTraverseDOFShader(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxDOFShader*>(object);
    node->shade(t);
    oxTraverseGroup(t, node);
    return OX_TRAVERSAL_CONTINUE;
}

// The layers are packed for the device once; every pass then draws the subtree with its
// own attributes, all inside one package so that the passes stay in order.
OX_TRAVERSAL_RETURN oxCommonTraverseMultiTextureShader(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxMultiTextureShader*>(object);
    if (!node->isOptimized()) {
        oxCapabilityManager* caps = ct->getCapabilityManager();
        node->setNumTextureStages(caps ? caps->getTextureUnitCount() : 1);
        node->optimizePasses();
    }
    oxAttrStackManager* m = ct->getAttrStackManager();
    oxSorter* sorter = ct->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    const oxAttrListList* passes = node->getPlatformAttrLists();
    for (int p = 0; p < passes->getCount(); ++p) {
        const oxAttrList* attrs = passes->get(p);
        for (int i = 0; i < attrs->getCount(); ++i)
            m->fastPushAttr(attrs->get(i));
        oxTraverseGroup(t, node);
        for (int i = attrs->getCount() - 1; i >= 0; --i)
            m->fastPopAttr(attrs->get(i));
    }
    sorter->endCompoundRenderPackage();
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseEnvironmentMapShader2(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxEnvironmentMapShader2*>(object);
    node->setSelfShadowState(false);
    node->shade(common(t));
    return OX_TRAVERSAL_CONTINUE;
}

namespace {

// Pops one pass of a multi-pass shader: its attributes last to first, then its model-view
// attribute.
void popShaderPass(oxAttrStackManager* m, const oxAttrList* attrs, oxModelViewMatrixAttr* mvm)
{
    if (attrs)
        for (int i = attrs->getCount() - 1; i >= 0; --i)
            if (oxAttr* a = attrs->get(i))
                m->fastPopAttr(a);
    if (mvm)
        m->fastPopAttr(mvm);
}

} // namespace

// Every pass that is on pushes its own state and draws its children; with pass inheritance
// the state of each pass stays in force for the later ones, and all of it is popped after
// the last. What the children answer does not end the passes.
OX_TRAVERSAL_RETURN oxCommonTraverseShader(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxShader*>(object);
    const int children = node->getChildCount();
    if (children == 0)
        return OX_TRAVERSAL_CONTINUE;
    oxAttrStackManager* m = ct->getAttrStackManager();
    const oxMatrix44f* top = lastPushedMatrix(m, oxModelViewMatrixAttr::getClassTypeSafe());
    const oxAttrListList* lists = node->getAttrLists();
    const oxMatrix44fList* matrices = node->getTransformList();
    const int passes = node->getPassCount();
    const bool inherit = node->getPassInherit();
    for (int p = 0; p < passes; ++p) {
        if (!node->getPassState(p))
            continue;
        oxModelViewMatrixAttr* mvm = node->getModelViewMatrix(p);
        if (mvm) {
            const oxMatrix44f& own = p < matrices->getCount() ? matrices->get(p) : oxMatrix44f::identity();
            mvm->setMatrix(top ? own * *top : own);
            m->fastPushAttr(mvm);
        }
        const oxAttrList* attrs = lists->get(p);
        if (attrs)
            for (int i = 0; i < attrs->getCount(); ++i)
                if (oxAttr* a = attrs->get(i))
                    m->fastPushAttr(a);
        switch (node->getChildMode()) {
        case oxShader::ONE_PER_PASS: t->dispatch(node->getChild(p % children)); break;
        case oxShader::ALL_PER_PASS:
            for (int c = 0; c < children; ++c)
                t->dispatch(node->getChild(c));
            break;
        default: break;
        }
        if (!inherit)
            popShaderPass(m, attrs, mvm);
    }
    if (inherit)
        for (int p = passes - 1; p >= 0; --p)
            if (node->getPassState(p))
                popShaderPass(m, lists->get(p), node->getModelViewMatrix(p));
    return OX_TRAVERSAL_CONTINUE;
}

// A shader that cannot be set up for this device draws as a plain group this time and is
// tried again next time.
OX_TRAVERSAL_RETURN oxCommonTraverseShader2(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxShader2*>(object);
    if (node->configureRequired() && !node->configure(ct->getCapabilityManager()))
        return oxTraverseGroup(t, node);
    node->update(ct);
    const bool package = node->getRenderPackageState();
    if (package)
        ct->getSorter()->beginCompoundRenderPackage(node->isTransparent(), false);
    const OX_TRAVERSAL_RETURN r = node->shade(ct);
    if (package)
        ct->getSorter()->endCompoundRenderPackage();
    return r;
}

// The effect shaders draw their passes themselves; their siblings are drawn whatever the
// passes' children answer.
OX_TRAVERSAL_RETURN oxCommonTraverseCartoonShader(oxTraversal* t, oxObject* object)
{
    static_cast<oxCartoonShader*>(object)->shade(common(t));
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCommonTraverseBumpMapShader(oxTraversal* t, oxObject* object)
{
    static_cast<oxBumpMapShader*>(object)->shade(common(t));
    return OX_TRAVERSAL_CONTINUE;
}

// The actor animates itself and draws its appearance; its children are not part of it.
OX_TRAVERSAL_RETURN oxCommonTraverseActor(oxTraversal* t, oxObject* object)
{
    return static_cast<oxActor*>(object)->traverse(t);
}

// The joint hierarchy below takes its matrices from the model-view matrix in force here.
// The resolution follows the distance of the evaluation centre from the eye; then the
// instance draws as any geometry.
OX_TRAVERSAL_RETURN oxCommonTraverseMultiResolutionMeshInstance(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxMultiResolutionMeshInstance*>(object);
    if (node->getFlags() & oxNode::IS_INVISIBLE)
        return OX_TRAVERSAL_CONTINUE;
    if (node->getMultiResolutionMeshCore()) {
        const float d = ct->getTopMatrix().transformPoint(node->getEvaluationCenter()).length();
        float r;
        if (node->evaluateResolution(d, r))
            node->setTargetResolution(r);
    }
    return oxCommonTraverseGeometry(t, object);
}

// The weights follow the frame's time and the instance blends them into its own vertices
// before it draws as any geometry; an invisible instance is neither blended nor drawn.
OX_TRAVERSAL_RETURN oxCommonTraverseMorphInstance(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxMorphInstance*>(object);
    if (node->getFlags() & oxNode::IS_INVISIBLE)
        return OX_TRAVERSAL_CONTINUE;
    node->update(common(t)->getTimeAsLong());
    return oxCommonTraverseGeometry(t, object);
}

// The attribute blends normals too, which then are no longer of unit length: the device
// renormalises them while this geometry is drawn.
OX_TRAVERSAL_RETURN oxCommonTraverseMorphInstance2(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxMorphInstance2*>(object);
    if (node->getFlags() & oxNode::IS_INVISIBLE)
        return OX_TRAVERSAL_CONTINUE;
    node->update(ct->getTimeAsLong());
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(ct->getNormalizeNormalsEnable());
    const OX_TRAVERSAL_RETURN r = oxCommonTraverseGeometry(t, object);
    m->popAttr(ct->getNormalizeNormalsEnable());
    return r;
}

OX_TRAVERSAL_RETURN oxCommonTraverseJoint(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    const oxMatrix44f* parent = lastPushedMatrix(ct->getAttrStackManager(), oxModelViewMatrixAttr::getClassTypeSafe());
    static_cast<oxJoint*>(object)->traverseJoint(t, parent ? *parent : oxMatrix44f(), ct->getTimeAsLong());
    return OX_TRAVERSAL_CONTINUE;
}

// A chain joint also records the frame above it, which the solver measures the chain in.
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsJoint(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* joint = static_cast<oxInverseKinematicsJoint*>(object);
    joint->update(ct->getTimeAsLong());
    const oxMatrix44f* parent = lastPushedMatrix(ct->getAttrStackManager(), oxModelViewMatrixAttr::getClassTypeSafe());
    joint->setExclusiveTransformMatrix(parent ? *parent : oxMatrix44f());
    return oxCommonTraverseJoint(t, object);
}

// A handle is a transform whose accumulated matrix is its chain's goal.
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsHandle(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxInverseKinematicsHandle*>(object);
    oxMetaObject* cls;
    int unit;
    node->setGlobalTransformMatrix(pushTransform(ct, node, cls, unit)->getMatrix());
    return traverseTransformChildren(ct, node, cls, unit);
}

// Solves, then walks each chain again from its top joint so that the new pose is what the
// joints (and what hangs below them) show from here on.
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsSolver(oxTraversal* t, oxObject* object)
{
    oxCommonTraversal* ct = common(t);
    auto* node = static_cast<oxInverseKinematicsSolver*>(object);
    node->solve();
    oxInverseKinematicsHandleList* handles = node->getHandles();
    const int count = handles ? handles->getCount() : 0;
    oxAttrStackManager* m = ct->getAttrStackManager();
    for (int i = 0; i < count; ++i) {
        oxInverseKinematicsHandle* handle = handles->get(i);
        oxInverseKinematicsJoint* top = handle ? handle->getJoint(0) : nullptr;
        if (!top)
            continue;
        auto* attr = ct->getAttrPoolManager()->allocate<oxModelViewMatrixAttr>();
        attr->setMatrix(top->getExclusiveTransformMatrix());
        m->pushAttr(attr);
        oxCommonTraverseInverseKinematicsJoint(t, top);
        m->popAttr(attr);
    }
    return OX_TRAVERSAL_CONTINUE;
}

// ---- registration ----------------------------------------------------------------------

namespace {

// A class gets the function of its nearest ancestor here (itself first), so rows go in any
// order; classes without one walk as groups or do nothing.
const oxTraversalFunctionRow kFunctions[] = {
    {&oxSegment::getClassTypeSafe, &oxCommonTraverseSegment},
    {&oxLod::getClassTypeSafe, &oxCommonTraverseLod},
    {&oxLightStateSet::getClassTypeSafe, &oxCommonTraverseLightStateSet},
    {&oxLightSet::getClassTypeSafe, &oxCommonTraverseLightSet},
    {&oxGeometry::getClassTypeSafe, &oxCommonTraverseGeometry},
    {&oxMultiResolutionMeshInstance::getClassTypeSafe, &oxCommonTraverseMultiResolutionMeshInstance},
    {&oxMorphInstance::getClassTypeSafe, &oxCommonTraverseMorphInstance},
    {&oxMorphInstance2::getClassTypeSafe, &oxCommonTraverseMorphInstance2},
    {&oxBlendMatrixSelect::getClassTypeSafe, &oxCommonTraverseBlendMatrixSelect},
    {&oxOverrideAttrSet::getClassTypeSafe, &oxCommonTraverseOverrideAttributeSet},
    {&oxAttrSet::getClassTypeSafe, &oxCommonTraverseAttributeSet},
    {&oxTransform::getClassTypeSafe, &oxCommonTraverseTransform},
    {&oxBillboard::getClassTypeSafe, &oxCommonTraverseBillboard},
    {&oxSwitch::getClassTypeSafe, &oxCommonTraverseSwitch},
    {&oxModelViewMatrixBoneSelect::getClassTypeSafe, &oxCommonTraverseModelViewMatrixBoneSelect},
    {&oxTimeSwitch::getClassTypeSafe, &oxCommonTraverseTimeSwitch},
    {&oxTimeTransform::getClassTypeSafe, &oxCommonTraverseTimeTransform},
    {&oxTransformRecorder::getClassTypeSafe, &oxCommonTraverseTransformRecorder},
    {&oxClipPlaneSet::getClassTypeSafe, &oxCommonTraverseClipPlaneSet},
    {&oxCompiledGraph::getClassTypeSafe, &oxCommonTraverseCompiledGraph},
    {&oxDOFShader::getClassTypeSafe, &oxCommonTraverseDOFShader},
    {&oxMultiTextureShader::getClassTypeSafe, &oxCommonTraverseMultiTextureShader},
    {&oxEnvironmentMapShader2::getClassTypeSafe, &oxCommonTraverseEnvironmentMapShader2},
    {&oxProjectiveShadowShader::getClassTypeSafe, &oxCommonTraverseProjectiveShadowShader},
    {&oxSelfShadowShader::getClassTypeSafe, &oxCommonTraverseSelfShadowShader},
    {&oxPlanarShadowShader::getClassTypeSafe, &oxCommonTraversePlanarShadowShader},
    {&oxCartoonShader::getClassTypeSafe, &oxCommonTraverseCartoonShader},
    {&oxBumpMapShader::getClassTypeSafe, &oxCommonTraverseBumpMapShader},
    {&oxShader::getClassTypeSafe, &oxCommonTraverseShader},
    {&oxShader2::getClassTypeSafe, &oxCommonTraverseShader2},
    {&oxActor::getClassTypeSafe, &oxCommonTraverseActor},
    {&oxInverseKinematicsHandle::getClassTypeSafe, &oxCommonTraverseInverseKinematicsHandle},
    {&oxInverseKinematicsSolver::getClassTypeSafe, &oxCommonTraverseInverseKinematicsSolver},
    {&oxInverseKinematicsJoint::getClassTypeSafe, &oxCommonTraverseInverseKinematicsJoint},
    {&oxJoint::getClassTypeSafe, &oxCommonTraverseJoint},
};

} // namespace

void oxCommonTraversal::_registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
{
    oxTraversal::_registerClass(list, meta);
    if (!meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        return;
    if (oxTraversalFunction fn = _findNearestFunction(kFunctions, meta))
        _setFunction(list, meta, fn);
}

void oxCommonTraversal::_registerDependencies()
{
    // The attribute classes this traversal makes per frame, so that every stack manager
    // has their stacks before the first frame.
    for (oxMetaObject* (*cls)() :
         {&oxAttr::getClassTypeSafe, &oxBlendMatricesAttr::getClassTypeSafe, &oxTextureBindAttr::getClassTypeSafe,
          &oxModelViewMatrixAttr::getClassTypeSafe, &oxProjectionMatrixAttr::getClassTypeSafe,
          &oxViewportAttr::getClassTypeSafe, &oxVertexBlendMatrixAttr::getClassTypeSafe,
          &oxTextureMatrixAttr::getClassTypeSafe, &oxVertexBlendStateAttr::getClassTypeSafe,
          &oxVertexBlendMatrixListAttr::getClassTypeSafe, &oxClipPlaneAttr::getClassTypeSafe,
          &oxTimeAttr::getClassTypeSafe})
        cls();
}

// ---- the traversal object ------------------------------------------------------------

// Settings and shared objects are stored; the per-frame stacks, caches and palettes are
// rebuilt every frame and are not.
void oxCommonTraversal::arkRegisterInitialize(oxFields<oxCommonTraversal>& f)
{
    f.add(OX_FIELD(modeMask));
    f.add(OX_FIELD(attrStack)).constructWithOwner();
    f.add(OX_FIELD(vc));
    f.add(OX_FIELD(capabilityManager));
    f.add(OX_FIELD(defaultManager));
    f.add(OX_FIELD(flushedAttrs)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(sorter)).constructWithOwner();
    f.add(OX_FIELD(attrPoolManager)).constructWithOwner();
    f.add(OX_FIELD(matrixObjectPool)).constructWithOwner();
    f.add(OX_FIELD(viewMat));
    f.add(OX_FIELD(viewMatInv));
    f.add(OX_FIELD(projMat));
    f.add(OX_FIELD(compositeMat)).notPersistent();
    f.add(OX_FIELD(pixelToModelScale)).notPersistent();
    f.add(OX_FIELD(matrixOptimization)).constructWithOwner();
    f.add(OX_FIELD(normalizeNormalsEnable)).constructWithOwner();
    f.add(OX_FIELD(timeStack)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(matrixObjectList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(timeLongBuf)).setDefault(int64_t(-1)).notPersistent();
    f.add(OX_FIELD(timeBuffered)).notPersistent();
    f.add(OX_FIELD(boneMatrixPaletteList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blendMatrixPaletteList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blendMatrixPaletteLengths)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(segmentOverrideNames)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(segmentOverrideStacks)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(defaultTimeAttr)).constructWithOwner();
    f.add(OX_FIELD(jointChainCount));
    f.add(OX_FIELD(jointMvmBase));
    f.add(OX_FIELD(jointMvmInverseBase));
    f.add(OX_FIELD(jointGraphRootTraversed));
}

void oxCommonTraversal::userInstantiate(bool forFileRead)
{
    oxTraversal::userInstantiate(forFileRead);
    if (forFileRead)
        return;
    _matrixOptimization->setEnabled(false);
    _normalizeNormalsEnable->setEnabled(true);
}

void oxCommonTraversal::userRelease()
{
    if (_sorter)
        _sorter->reset();
    oxTraversal::userRelease();
}

void oxCommonTraversal::setVisualContext(oxVisualContext* vc)
{
    _vc = vc;
    if (!vc) {
        setup(oxGenericAttrDefaultManager::_instantiateFromPool(getMemoryPool()),
              oxGenericCapabilityManager::_instantiateFromPool(getMemoryPool()));
        return;
    }
    bool created = false;
    if (!_defaultManager) {
        auto* defaults = oxVisualContextAttrDefaultManager::_instantiateFromPool(getMemoryPool());
        defaults->setVisualContext(vc);
        _defaultManager = defaults;
        created = true;
    }
    if (!_capabilityManager) {
        auto* capabilities = oxVisualContextCapabilityManager::_instantiateFromPool(getMemoryPool());
        capabilities->setVisualContext(vc);
        _capabilityManager = capabilities;
        created = true;
    }
    if (created)
        setup(_defaultManager, _capabilityManager);
}

void oxCommonTraversal::setup(oxAttrDefaultManager* defaults, oxCapabilityManager* capabilities)
{
    _defaultManager = defaults;
    _capabilityManager = capabilities;
    _attrStack->setup(oxAttr::getClassTypeSafe(), defaults, capabilities);
}

void oxCommonTraversal::reset()
{
    if (!_sorter->getOutputCreated())
        _sorter->closeDisplayList(_attrStack);
    _timeBuffered = false;
    _attrStack->reset();
    _sorter->reset();
    _attrPoolManager->reset();
    _matrixObjectPool->reset();
    for (const oxAttr*& from : _compositeFrom)
        from = nullptr;
    for (const oxAttr*& from : _pixelScaleFrom)
        from = nullptr;
    _boneMatrixPaletteList->removeAll();
    _blendMatrixPaletteList->removeAll();
    _blendMatrixPaletteLengths->removeAll();
}

oxNonRefCountedAttrList* oxCommonTraversal::flushUpdateAttrs()
{
    _attrStack->flushUpdateAttrs(_flushedAttrs);
    return _flushedAttrs;
}

void oxCommonTraversal::begin(oxNode*)
{
    if (_vc && _defaultManager) {
        for (oxMetaObject* cls : {oxClearAttr::getClassTypeSafe(), oxViewportAttr::getClassTypeSafe(),
                                  oxProjectionMatrixAttr::getClassTypeSafe()})
            if (oxAttr* d = _attrStack->getDefaultAttr(cls))
                d->refreshFromVisualContext(_vc);
    }
    pushMatrix(_viewMat);
    if (_userTimeState)
        pushTime(_timeLong);
    _defaultTimeAttr->setTimeAsLong(getTimeAsLong());
    _attrStack->pushAttr(_defaultTimeAttr);
}

void oxCommonTraversal::end(oxNode*)
{
    popMatrix();
    if (_userTimeState)
        popTime();
    _attrStack->popAttr(_defaultTimeAttr.get());
}

void oxCommonTraversal::setViewMatrix(const oxMatrix44f& m)
{
    _viewMat = m;
    _viewMatInv = m;
    _viewMatInv.invert();
}

void oxCommonTraversal::setFrustum(float left, float right, float bottom, float top, float zNear, float zFar)
{
    _projMat.frustum(left, right, bottom, top, zNear, zFar);
}

void oxCommonTraversal::setPerspective(float horizontalFov, float verticalFov, float aspect, float zNear, float zFar)
{
    const float toRadians = 0.017453292f;
    float h = horizontalFov * toRadians;
    float v = verticalFov * toRadians;
    if (horizontalFov < 0)
        h = 2 * std::atan(std::tan(v / 2) * aspect);
    else
        v = 2 * std::atan(std::tan(h / 2) / aspect);
    const float x = zNear * std::tan(h / 2), y = zNear * std::tan(v / 2);
    setFrustum(-x, x, -y, y, zNear, zFar);
}

oxModelViewMatrixAttr* oxCommonTraversal::pushMatrix(const oxMatrix44f& m)
{
    auto* attr = static_cast<oxModelViewMatrixAttr*>(getAttrPool(oxModelViewMatrixAttr::getClassTypeSafe())->allocate());
    attr->setMatrix(m);
    _attrStack->pushAttr(attr);
    return attr;
}

oxProjectionMatrixAttr* oxCommonTraversal::pushProjectionMatrix(const oxMatrix44f& m)
{
    auto* attr =
        static_cast<oxProjectionMatrixAttr*>(getAttrPool(oxProjectionMatrixAttr::getClassTypeSafe())->allocate());
    attr->setMatrix(m);
    _attrStack->pushAttr(attr);
    return attr;
}

const oxMatrix44f& oxCommonTraversal::getTopMatrix() const
{
    return static_cast<oxMatrixAttr*>(_attrStack->getTopOrDefault(oxModelViewMatrixAttr::getClassTypeSafe()))
        ->getMatrix();
}

const oxMatrix44f& oxCommonTraversal::getTopProjection() const
{
    return static_cast<oxMatrixAttr*>(_attrStack->getTopOrDefault(oxProjectionMatrixAttr::getClassTypeSafe()))
        ->getMatrix();
}

const oxMatrix44f& oxCommonTraversal::getCompositeMatrix()
{
    const oxAttr* mv = _attrStack->getTopOrDefault(oxModelViewMatrixAttr::getClassTypeSafe());
    const oxAttr* proj = _attrStack->getTopOrDefault(oxProjectionMatrixAttr::getClassTypeSafe());
    if (mv != _compositeFrom[0] || proj != _compositeFrom[1]) {
        _compositeMat = static_cast<const oxMatrixAttr*>(mv)->getMatrix() *
                        static_cast<const oxMatrixAttr*>(proj)->getMatrix();
        _compositeFrom[0] = mv;
        _compositeFrom[1] = proj;
    }
    return _compositeMat;
}

const oxVec4f& oxCommonTraversal::getPixelToModelScale()
{
    const oxAttr* mv = _attrStack->getTopOrDefault(oxModelViewMatrixAttr::getClassTypeSafe());
    const oxAttr* proj = _attrStack->getTopOrDefault(oxProjectionMatrixAttr::getClassTypeSafe());
    const oxAttr* viewport = _attrStack->getTopOrDefault(oxViewportAttr::getClassTypeSafe());
    if (mv != _pixelScaleFrom[0] || proj != _pixelScaleFrom[1] || viewport != _pixelScaleFrom[2]) {
        const auto* vp = static_cast<const oxViewportAttr*>(viewport);
        _pixelToModelScale = oxPixelToModelScale(static_cast<const oxMatrixAttr*>(mv)->getMatrix(),
                                                 static_cast<const oxMatrixAttr*>(proj)->getMatrix(),
                                                 vp->getWidth(), vp->getHeight());
        _pixelScaleFrom[0] = mv;
        _pixelScaleFrom[1] = proj;
        _pixelScaleFrom[2] = viewport;
    }
    return _pixelToModelScale;
}

float oxCommonTraversal::computePixelSpaceDiameter(const oxVec3f& centre, float diameter)
{
    return oxPixelSpaceDiameter(getPixelToModelScale(), centre, diameter);
}

float oxCommonTraversal::computeModelSpaceDiameter(const oxVec3f& centre, float pixelDiameter)
{
    return oxModelSpaceDiameter(getPixelToModelScale(), centre, pixelDiameter);
}

int64_t oxCommonTraversal::getTimeAsLong() const
{
    if (_timeStack->getCount())
        return _timeStack->get(_timeStack->getCount() - 1);
    if (!_timeBuffered) {
        _timeLongBuf = _userTimeState ? _timeLong : oxTimer::getGlobalTimeAsLong();
        _timeBuffered = true;
    }
    return _timeLongBuf;
}

void oxCommonTraversal::setTimeAsLong(int64_t t)
{
    if (_timeStack->getCount()) {
        _timeStack->set(_timeStack->getCount() - 1, t);
        return;
    }
    _timeLong = t;
    _timeBuffered = false;
}

void oxCommonTraversal::pushBlendMatrixPalette(const oxMatrix44f* matrices, int length)
{
    _blendMatrixPaletteList->append(matrices);
    _blendMatrixPaletteLengths->append(length);
}

void oxCommonTraversal::popBlendMatrixPalette()
{
    popLast(_blendMatrixPaletteList);
    if (_blendMatrixPaletteLengths->getCount())
        _blendMatrixPaletteLengths->remove(_blendMatrixPaletteLengths->getCount() - 1);
}

int oxCommonTraversal::getCurrentBlendMatrixPaletteLength() const
{
    const int n = _blendMatrixPaletteLengths->getCount();
    return n ? _blendMatrixPaletteLengths->get(n - 1) : -1;
}

int oxCommonTraversal::findSegmentOverride(const char* name) const
{
    const std::string key = lowerCase(name);
    int lo = 0, hi = _segmentOverrideNames->getCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int c = std::strcmp(_segmentOverrideNames->get(mid)->get(), key.c_str());
        if (c == 0)
            return mid;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return -1 - lo;
}

void oxCommonTraversal::pushSegmentOverride(const char* name, oxNode* node)
{
    if (!name || !*name)
        return;
    int i = findSegmentOverride(name);
    if (i < 0) {
        i = -1 - i;
        oxStringObj* key = oxStringObj::_instantiateFromPool(getMemoryPool());
        key->set(lowerCase(name));
        _segmentOverrideNames->insert(i, key);
        _segmentOverrideStacks->insert(i, oxNodeList::_instantiateFromPool(getMemoryPool()));
    }
    _segmentOverrideStacks->get(i)->append(node);
}

oxNode* oxCommonTraversal::popSegmentOverride(const char* name)
{
    if (!name || !*name)
        return nullptr;
    const int i = findSegmentOverride(name);
    if (i < 0)
        return nullptr;
    oxNodeList* stack = _segmentOverrideStacks->get(i);
    // The stack held the node; the caller gets it back unheld, as the override's owner
    // (the appearance) still holds it.
    oxNode* top = stack->get(stack->getCount() - 1);
    stack->remove(stack->getCount() - 1);
    if (!stack->getCount()) {
        _segmentOverrideNames->remove(i);
        _segmentOverrideStacks->remove(i);
    }
    return top;
}

oxNode* oxCommonTraversal::getSegmentOverride(const char* name) const
{
    if (!name || !*name)
        return nullptr;
    const int i = findSegmentOverride(name);
    if (i < 0)
        return nullptr;
    const oxNodeList* stack = _segmentOverrideStacks->get(i);
    return stack->get(stack->getCount() - 1);
}

int oxCommonTraversal::getSegmentOverrideCount(const char* name) const
{
    const int i = name && *name ? findSegmentOverride(name) : -1;
    return i < 0 ? 0 : _segmentOverrideStacks->get(i)->getCount();
}

} // namespace Kel::Sg
