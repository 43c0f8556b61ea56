#include "sg/traversal/oxCompileTraversal.h"

#include <algorithm>

#include "sg/animation/oxActor.h"
#include "sg/ik/oxJoint.h"
#include "sg/nodes/oxBlendMatrixSelect.h"
#include "sg/nodes/oxDOFShader.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxModelViewMatrixBoneSelect.h"
#include "sg/nodes/oxTransform.h"
#include "sg/shaders/oxBumpMapShader.h"
#include "sg/shaders/oxCartoonShader.h"
#include "sg/shaders/oxMultiTextureShader.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"
#include "sg/shaders/oxShader.h"
#include "sg/traversal/oxCompiledGraph.h"

namespace Kel::Sg {

using namespace Attrs;

namespace {

oxCompileTraversal* compiling(oxTraversal* t)
{
    return static_cast<oxCompileTraversal*>(t);
}

oxMetaObject* modelViewClass()
{
    return oxModelViewMatrixAttr::getClassTypeSafe();
}

oxSmartPointer<oxCompiledTransform> record(int parent, int boneIndex, bool isNode = true)
{
    oxSmartPointer<oxCompiledTransform> r = oxCompiledTransform::_instantiateRef();
    r->setParentIdx(parent);
    r->setBoneIndex(boneIndex);
    r->setIsNode(isNode);
    return r;
}

} // namespace

// ---- node functions --------------------------------------------------------------------

// Shaders whose passes change from frame to frame cannot be flattened: the walk ends and the
// compiled graph draws its children as a group instead.
OX_TRAVERSAL_RETURN oxCompileTraverseShader(oxTraversal* t, oxObject*)
{
    compiling(t)->setContainsShader(true);
    return OX_TRAVERSAL_STOP;
}

OX_TRAVERSAL_RETURN oxCompileTraverseEnvironmentMapShader2(oxTraversal* t, oxObject* object)
{
    auto* shader = static_cast<oxEnvironmentMapShader2*>(object);
    compiling(t)->getEnvironmentShader2List()->append(shader);
    shader->shade(compiling(t));
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCompileTraverseGeometry(oxTraversal* t, oxObject* object)
{
    oxCompileTraversal* ct = compiling(t);
    auto* node = static_cast<oxGeometry*>(object);
    if (!node->getTriggerState())
        return OX_TRAVERSAL_CONTINUE;
    ct->extendBound(node->getAttrs());
    if (node->getFlags() & oxNode::IS_INVISIBLE)
        return OX_TRAVERSAL_CONTINUE;
    oxAttrStackManager* m = ct->getAttrStackManager();
    oxSorter* sorter = ct->getSorter();
    if (oxAttr* list = m->getTop(oxVertexBlendMatrixListAttr::getClassTypeSafe())) {
        // Skinned by joints: drawn under the identity, with the list that the compiled
        // graph turns into a palette of the joints' frame matrices.
        oxModelViewMatrixAttr* identity = oxModelViewMatrixAttr::getIdentityAttr();
        ct->appendMvm(identity, record(-2, -1, false));
        m->pushAttr(identity);
        m->pushAttr(list);
        sorter->addGeometry(node, m);
        m->popAttr(list);
        m->popAttr(identity);
        return OX_TRAVERSAL_CONTINUE;
    }
    auto* blend = static_cast<oxStateAttr*>(m->getTopOrDefault(oxVertexBlendStateAttr::getClassTypeSafe()));
    if (blend && blend->getEnabled() && ct->getCurrentBoneMatrixPalette()) {
        oxSmartPointer<oxModelViewMatrixAttr> attr = oxModelViewMatrixAttr::_instantiateRef();
        ct->appendMvm(attr, record(0, -1, false));
        m->pushAttr(attr);
        sorter->addGeometry(node, m);
        m->popAttr(attr.get());
        return OX_TRAVERSAL_CONTINUE;
    }
    sorter->addGeometry(node, m);
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxCompileTraverseJoint(oxTraversal* t, oxObject* object)
{
    oxCompileTraversal* ct = compiling(t);
    ct->incrementJointChainCount();
    if (ct->getJointChainCount() == 1)
        ct->setJointBaseMvmIndex(ct->findLastPushedMvm());
    const OX_TRAVERSAL_RETURN r = oxCompileTraverseTransform(t, object);
    ct->decrementJointChainCount();
    return r;
}

// A model-view transform gets an attribute of its own that the compiled list keeps, holding
// its local matrix (an animated one's comes from its source each frame); the frame update
// composes it with its parent's. Other targets are frame state like any other.
OX_TRAVERSAL_RETURN oxCompileTraverseTransform(oxTraversal* t, oxObject* object)
{
    oxCompileTraversal* ct = compiling(t);
    auto* node = static_cast<oxTransform*>(object);
    node->update(ct->getTimeAsLong());
    if (node->getTarget() != oxTransform::MODEL_VIEW_MATRIX)
        return oxCommonTraverseTransform(t, object);

    oxSmartPointer<oxModelViewMatrixAttr> attr = oxModelViewMatrixAttr::_instantiateRef();
    oxSmartPointer<oxCompiledTransform> info = record(ct->findLastPushedMvm(), ct->getCurrentBoneIndex());
    ct->incrementCurrentBoneIndex();
    ct->getTransformList()->append(node);
    info->setName(node->getName().c_str());
    info->setSource(node->getTransformSource());
    if (!node->getTransformSource())
        attr->setMatrix(*node->getMatrix());
    if (auto* joint = oxJoint::dynamicCast(node)) {
        info->setIsJointChainStart(ct->getJointChainCount() == 1);
        info->setInvJoint(&joint->getInverseTransform());
        info->setMoIdx(ct->getMoList()->getCount());
        ct->getMoList()->append(joint->getBlendingMatrix());
    }
    ct->appendMvm(attr, info);
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(attr);
    node->setCachedAttr(attr);
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    m->popAttr(modelViewClass());
    return r;
}

// A compiled graph inside another is compiled into it as a plain group.
OX_TRAVERSAL_RETURN oxCompileTraverseCompiledGraph(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxCompiledGraph*>(object);
    node->reset();
    return oxTraverseGroup(t, node);
}

// The bone's matrix is the actor's at draw time; here it only reserves its places.
OX_TRAVERSAL_RETURN oxCompileTraverseModelViewMatrixBoneSelect(oxTraversal* t, oxObject* object)
{
    oxCompileTraversal* ct = compiling(t);
    auto* node = static_cast<oxModelViewMatrixBoneSelect*>(object);
    ct->setIsSkin(true);
    oxSmartPointer<oxModelViewMatrixAttr> attr = oxModelViewMatrixAttr::_instantiateRef();
    ct->appendMvm(attr, record(node->getMatrixIndex(), node->getMatrixIndex()));
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(attr);
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(t, node);
    m->popAttr(modelViewClass());
    return r;
}

OX_TRAVERSAL_RETURN oxCompileTraverseBlendMatrixSelect(oxTraversal* t, oxObject* object)
{
    oxCompileTraversal* ct = compiling(t);
    auto* node = static_cast<oxBlendMatrixSelect*>(object);
    ct->setIsSkin(true);
    oxSmartPointer<oxBlendMatrixPaletteAttr> palette = oxBlendMatrixPaletteAttr::_instantiateRef();
    ct->getBmpaList()->append(palette);
    const int n = node->getBlendMatrixIndexCount();
    palette->configure(n, false);
    for (int i = 0; i < n; ++i)
        palette->setIndex(i, node->getBlendMatrixIndex(i));
    oxAttrStackManager* m = ct->getAttrStackManager();
    m->pushAttr(palette);
    const OX_TRAVERSAL_RETURN r = oxCommonTraverseAttributeSet(t, node);
    m->popAttr(palette.get());
    return r;
}

// Characters animate every frame through their own traversal: they are left out.
OX_TRAVERSAL_RETURN oxCompileTraverseActor(oxTraversal*, oxObject*)
{
    return OX_TRAVERSAL_CONTINUE;
}

// ---- registration ----------------------------------------------------------------------

namespace {

// These replace the draw traversal's choice for the classes they name and those derived
// from them; every other class is drawn into the compiled list as the draw traversal would.
const oxTraversalFunctionRow kFunctions[] = {
    {&oxGeometry::getClassTypeSafe, &oxCompileTraverseGeometry},
    {&oxJoint::getClassTypeSafe, &oxCompileTraverseJoint},
    {&oxTransform::getClassTypeSafe, &oxCompileTraverseTransform},
    {&oxCompiledGraph::getClassTypeSafe, &oxCompileTraverseCompiledGraph},
    {&oxModelViewMatrixBoneSelect::getClassTypeSafe, &oxCompileTraverseModelViewMatrixBoneSelect},
    {&oxBlendMatrixSelect::getClassTypeSafe, &oxCompileTraverseBlendMatrixSelect},
    {&oxActor::getClassTypeSafe, &oxCompileTraverseActor},
};

// Shaders whose passes depend on the frame cannot be flattened; an environment map can, as
// long as the graph refreshes its view-dependent state every frame.
const oxTraversalFunctionRow kShaderFunctions[] = {
    {&oxProjectiveShadowShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxDOFShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxMultiTextureShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxCartoonShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxBumpMapShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxPlanarShadowShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxShader::getClassTypeSafe, &oxCompileTraverseShader},
    {&oxEnvironmentMapShader2::getClassTypeSafe, &oxCompileTraverseEnvironmentMapShader2},
};

} // namespace

void oxCompileTraversal::_registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
{
    oxCommonTraversal::_registerClass(list, meta);
    if (!meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        return;
    oxTraversalFunction fn = _findNearestFunction(kShaderFunctions, meta);
    if (!fn)
        fn = _findNearestFunction(kFunctions, meta);
    if (fn)
        _setFunction(list, meta, fn);
}

// ---- the traversal object ------------------------------------------------------------

// What a compile collects is handed to its compiled graph, never stored.
void oxCompileTraversal::arkRegisterInitialize(oxFields<oxCompileTraversal>& f)
{
    f.add(OX_FIELD(mvmList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(xformInfoList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(moList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(containsShader)).notPersistent();
    f.add(OX_FIELD(bound)).notPersistent();
    f.add(OX_FIELD(transformList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(isSkin)).notPersistent();
    f.add(OX_FIELD(environmentShader2List)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(bmpaList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(jointBaseMvmIndex)).setDefault(-1).notPersistent();
    f.add(OX_FIELD(currentBoneIndex)).notPersistent();
}

int oxCompileTraversal::appendMvm(oxModelViewMatrixAttr* attr, oxCompiledTransform* info)
{
    _xformInfoList->append(info);
    const int index = _mvmList->append(attr);
    // The shared identity may be appended many times; its first index stands for it.
    _mvmIndex.emplace(attr, index);
    return index;
}

int oxCompileTraversal::findLastPushedMvm() const
{
    const oxAttr* top = _attrStack->getTop(modelViewClass());
    const auto found = top ? _mvmIndex.find(top) : _mvmIndex.end();
    return found == _mvmIndex.end() ? -1 : found->second;
}

void oxCompileTraversal::extendBound(const oxAttrList* attrs)
{
    if (!attrs)
        return;
    if (!_bound) {
        _bound = oxAABox::_instantiateRef();
        _bound->set(oxVec3f(1e20f, 1e20f, 1e20f), oxVec3f(-1e20f, -1e20f, -1e20f));
    }
    oxBox3f box;
    box.min = _bound->getMin();
    box.max = _bound->getMax();
    for (int i = 0; i < attrs->getCount(); ++i) {
        oxBox3f own;
        own.min = oxVec3f(1e20f, 1e20f, 1e20f);
        own.max = oxVec3f(-1e20f, -1e20f, -1e20f);
        const oxAttr* a = attrs->get(i);
        if (!a || !a->extendBounds(own))
            continue;
        box.min = oxVec3f(std::min(box.min.x, own.min.x), std::min(box.min.y, own.min.y), std::min(box.min.z, own.min.z));
        box.max = oxVec3f(std::max(box.max.x, own.max.x), std::max(box.max.y, own.max.y), std::max(box.max.z, own.max.z));
    }
    _bound->set(box.min, box.max);
}

void oxCompileTraversal::begin(oxNode*)
{
    if (_vc && _defaultManager)
        if (oxAttr* d = _attrStack->getDefaultAttr(oxClearAttr::getClassTypeSafe()))
            d->refreshFromVisualContext(_vc);
    oxSmartPointer<oxModelViewMatrixAttr> root = oxModelViewMatrixAttr::_instantiateRef();
    root->setMatrix(_viewMat);
    appendMvm(root, record(-1, 0));
    _attrStack->pushAttr(root);
    _currentBoneIndex = 1;
    if (_userTimeState)
        pushTime(_timeLong);
}

void oxCompileTraversal::end(oxNode*)
{
    popMatrix();
    _sorter->closeDisplayList(_attrStack);
    if (_userTimeState)
        popTime();
}

void oxCompileTraversal::reset()
{
    oxCommonTraversal::reset();
    _mvmList->removeAll();
    _xformInfoList->removeAll();
    _transformList->removeAll();
    _bmpaList->removeAll();
    _mvmIndex.clear();
    _containsShader = false;
    _isSkin = false;
}

} // namespace Kel::Sg
