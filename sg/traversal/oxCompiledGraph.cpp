#include "sg/traversal/oxCompiledGraph.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxVertexBlendAttrs.h"
#include "sg/traversal/oxCompileTraversal.h"

namespace Kel::Sg {

using namespace Attrs;

void oxCompiledGraph::arkRegisterInitialize(oxFields<oxCompiledGraph>& f)
{
    // Only the setting is stored: the compiled data points into this process's objects and
    // is made again on the first frame after a read or a copy.
    f.add(OX_FIELD(compiledList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(srcMvmAttrIdx)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(destMvmAttrPtr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(instMvmAttrPtr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(bRecList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(priorStateUsage)).enumeration(&getPriorStateUsageMetaEnum).setDefault(kUsedAndRestored);
    f.add(OX_FIELD(destRestoreAttrPtr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(restoreAttrs)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(dupDefaultAttrs)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(mvmList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(xformInfoList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(moCount)).notPersistent();
    f.add(OX_FIELD(lastCompileResult)).enumeration(&getoxCompileErrorMetaEnum).setDefault(kNone).notPersistent();
    f.add(OX_FIELD(matOptStateAttr)).notPersistent();
    f.add(OX_FIELD(environmentShader2List)).constructWithOwner().notPersistent();
}

void oxCompiledGraph::userConstruct()
{
    oxGroup::userConstruct();
    bool generate = true;
    oxRegistry::getGlobal().getValue(kRegistrySectionCompile, "generateCompileGraphBounds", generate, true);
    s_generateBounds = generate;
}

void oxCompiledGraph::userRelease()
{
    reset();
    oxGroup::userRelease();
}

void oxCompiledGraph::reset()
{
    _compiledList->removeAll();
    _srcMvmAttrIdx->removeAll();
    _destMvmAttrPtr->removeAll();
    _instMvmAttrPtr->removeAll();
    _bRecList->removeAll();
    _destRestoreAttrPtr->removeAll();
    _restoreAttrs->removeAll();
    _dupDefaultAttrs->removeAll();
    _mvmList->removeAll();
    _xformInfoList->removeAll();
    _environmentShader2List->removeAll();
    _moCount = 0;
    _matOptStateAttr = nullptr;
    if (_heldAttrs)
        _heldAttrs->removeAll();
    _steps.clear();
    _lastCompileResult = kNone;
}

oxCompiledGraph::oxCompileError oxCompiledGraph::finishCompile(oxCompileError result)
{
    if (result != kNone) {
        const PriorStateUsage usage = _priorStateUsage;
        reset();
        _priorStateUsage = usage;
    }
    _lastCompileResult = result;
    return result;
}

oxCompiledGraph::oxCompileError oxCompiledGraph::compile(oxVisualContext* vc)
{
    if (compiled() || _lastCompileResult != kNone)
        reset();
    oxSmartPointer<oxCompileTraversal> ct = oxCompileTraversal::_instantiateRef();
    ct->setVisualContext(vc);
    _matOptStateAttr = oxMatrixOptStateAttr::_instantiateRef();
    _matOptStateAttr->setEnabled(ct->getMatrixOptAttr()->getEnabled());
    if (getChildCount() == 0)
        return finishCompile(kNothingToCompile);

    // The children are walked under a group of their own, so that this node's function
    // (which would compile again) is not in the way.
    oxSmartPointer<oxGroup> group = oxGroup::_instantiateRef();
    for (int i = 0; i < getChildCount(); ++i)
        group->appendChild(getChild(i));
    ct->setViewMatrix(oxMatrix44f());
    ct->apply(group);
    oxDisplayListAttr* output = ct->getOutput();
    group->removeAllChildren();
    if (ct->getContainsShader())
        return finishCompile(kShaderEncountered);

    if (!_heldAttrs)
        _heldAttrs = oxAttrList::_instantiateRef();
    flatten(output);
    if (_compiledList->getCount() == 0)
        return finishCompile(kNoOutputGenerated);

    _mvmList = ct->getMvmList();
    _xformInfoList = ct->getXformInfoList();
    _environmentShader2List = ct->getEnvironmentShader2List();
    _moCount = ct->getMoList()->getCount();
    if (s_generateBounds && ct->getBound() && !getBound()) {
        oxSmartPointer<oxAABox> bound = oxAABox::_instantiateRef();
        bound->set(ct->getBound()->getMin(), ct->getBound()->getMax());
        setBound(bound);
    }
    processDefaultAttrs(ct->getAttrStackManager());
    processMvms();
    if (!convertVbmlas(ct->getMoList()))
        return finishCompile(kVertexBlendMatrixListUnknownMatrixObject);
    _steps.resize(size_t(_mvmList->getCount()));
    for (int k = 0; k < _mvmList->getCount(); ++k) {
        const oxCompiledTransform* info = _xformInfoList->get(k);
        _steps[size_t(k)] = {_mvmList->get(k)->getMatrix(), info->getSource(), info->getInvJoint(),
                             info->getParentIdx(), info->getMoIdx()};
    }
    // The compile's sorter refers to its pooled attributes without holding them.
    ct->getSorter()->reset();
    return finishCompile(kNone);
}

void oxCompiledGraph::flatten(const oxAttr* attr)
{
    if (!attr)
        return;
    if (attr->getMetaObjectFast() == oxDisplayListAttr::getClassType()) {
        const auto* list = static_cast<const oxDisplayListAttr*>(attr);
        for (int i = 0; i < list->getCount(); ++i)
            flatten(list->get(i));
        return;
    }
    auto* held = const_cast<oxAttr*>(attr);
    _compiledList->append(held);
    _heldAttrs->append(held);
}

namespace {

// The class default that `a` is for its stack, or null when it is not one.
bool isClassDefault(oxAttrStackManager* stacks, const oxAttr* a)
{
    const oxAttrStack* s = stacks->getStack(stacks->getAttrHandleSafe(a));
    return s && s->getDefault() == a;
}

bool isLightState(const oxAttr* a)
{
    return a->getMetaObjectFast() == oxLightStateAttr::getClassType();
}

} // namespace

oxAttr* oxCompiledGraph::restoreCopy(oxAttr* classDefault)
{
    if (!isLightState(classDefault))
        for (int i = 0; i < _dupDefaultAttrs->getCount(); ++i) {
            oxAttr* dup = _dupDefaultAttrs->get(i);
            if (dup->getMetaObjectFast() == classDefault->getMetaObjectFast() && dup->isAlikeShallow(classDefault))
                return dup;
        }
    oxSmartPointer<oxAttr> copy = static_cast<oxAttr*>(classDefault->createCopy());
    if (!isLightState(classDefault))
        _dupDefaultAttrs->append(copy);
    _heldAttrs->append(copy);
    return copy;
}

// Class defaults in the list stand for "whatever was there before". Without prior state
// they go; with it, the trailing ones (the list's own clean-up) go for kUsed, and the rest
// become slots that each frame receive the state current where the graph is drawn.
void oxCompiledGraph::processDefaultAttrs(oxAttrStackManager* stacks)
{
    if (_priorStateUsage == kNotUsed) {
        int kept = 0;
        for (int i = 0; i < _compiledList->getCount(); ++i) {
            oxAttr* a = _compiledList->get(i);
            if (!isClassDefault(stacks, a))
                _compiledList->set(kept++, a);
        }
        _compiledList->setCount(kept);
        return;
    }
    if (_priorStateUsage == kUsed) {
        int n = _compiledList->getCount();
        while (n > 0 && isClassDefault(stacks, _compiledList->get(n - 1)))
            --n;
        _compiledList->setCount(n);
    }
    for (int i = 0; i < _compiledList->getCount(); ++i) {
        oxAttr* a = _compiledList->get(i);
        if (!isClassDefault(stacks, a))
            continue;
        oxAttr* copy = restoreCopy(a);
        _destRestoreAttrPtr->append(i);
        _compiledList->set(i, copy);
        _restoreAttrs->append(copy);
    }
}

// Slots sorted by model-view index, in list order within one index: the frame update walks
// both in step.
void oxCompiledGraph::processMvms()
{
    std::unordered_map<const oxAttr*, int> index;
    for (int k = 0; k < _mvmList->getCount(); ++k)
        index.emplace(_mvmList->get(k), k);
    std::vector<std::pair<int, int>> slots;
    for (int i = 0; i < _compiledList->getCount(); ++i) {
        const auto found = index.find(_compiledList->get(i));
        if (found != index.end())
            slots.emplace_back(found->second, i);
    }
    std::stable_sort(slots.begin(), slots.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [k, slot] : slots) {
        _srcMvmAttrIdx->append(k);
        _destMvmAttrPtr->append(slot);
    }
}

// Joint-skinned lists become palettes over the frame's joint matrices; palettes of blend
// selectors get their slot; the matrix-optimisation state becomes the graph's own. False
// when a list names matrix objects but no joint was compiled to fill them.
bool oxCompiledGraph::convertVbmlas(const oxNonRefCountedMatrixObjectList* moList)
{
    oxMetaObject* listClass = oxVertexBlendMatrixListAttr::getClassTypeSafe();
    oxMetaObject* paletteClass = oxBlendMatrixPaletteAttr::getClassTypeSafe();
    oxMetaObject* optClass = oxMatrixOptStateAttr::getClassTypeSafe();
    for (int i = 0; i < _compiledList->getCount(); ++i) {
        oxAttr* a = _compiledList->get(i);
        oxMetaObject* cls = a->getMetaObjectFast();
        if (cls == listClass) {
            if (moList->getCount() == 0)
                return false;
            const auto* list = static_cast<const oxVertexBlendMatrixListAttr*>(a);
            oxSmartPointer<oxBlendMatrixPaletteAttr> palette = oxBlendMatrixPaletteAttr::_instantiateRef();
            const int n = list->getMatrixCount();
            palette->configure(n);
            for (int j = 0; j < n; ++j)
                palette->setIndex(j, std::max(0, moList->find(list->getMatrixPointer(j))));
            _compiledList->set(i, palette);
            oxSmartPointer<oxBlendListRecord> r = oxBlendListRecord::_instantiateRef();
            r->setAttr(palette);
            r->setFwdPtr(i);
            _bRecList->append(r);
        } else if (cls == paletteClass) {
            oxSmartPointer<oxBlendListRecord> r = oxBlendListRecord::_instantiateRef();
            r->setAttr(static_cast<oxBlendMatrixPaletteAttr*>(a));
            r->setFwdPtr(i);
            _bRecList->append(r);
        } else if (cls == optClass)
            _compiledList->set(i, _matOptStateAttr);
    }
    return true;
}

oxCompiledGraph::oxCompileError oxCompiledGraph::traverse(oxCommonTraversal* t)
{
    if (!t)
        return kNoOutputGenerated;
    if (_lastCompileResult != kNone)
        return _lastCompileResult;
    if (!compiled()) {
        const oxCompileError r = compile(t->getVisualContext());
        if (r != kNone)
            return r;
    }
    oxAttrStackManager* stacks = t->getAttrStackManager();
    const oxAttr* top = stacks->getTop(oxModelViewMatrixAttr::getClassTypeSafe());
    const oxMatrix44f view = top ? static_cast<const oxMatrixAttr*>(top)->getMatrix() : oxMatrix44f();
    const int64_t time = t->getTimeAsLong();
    _instMvmAttrPtr->removeAll();

    for (int i = 0; i < _restoreAttrs->getCount(); ++i) {
        oxAttr* placed = _restoreAttrs->get(i);
        if (isLightState(placed))
            continue;
        if (oxAttr* current = stacks->getTopOrDefault(placed))
            _compiledList->set(_destRestoreAttrPtr->get(i), current);
    }
    // The attributes these shaders pushed at compile time are in the list; what follows the
    // view in them is brought up to date in place.
    for (int i = 0; i < _environmentShader2List->getCount(); ++i)
        if (oxEnvironmentMapShader2* shader = _environmentShader2List->get(i))
            shader->update(t);

    oxObjectPool* mvmPool = t->getAttrPool(oxModelViewMatrixAttr::getClassTypeSafe());
    oxObjectPool* blendPool = t->getAttrPool(oxBlendMatricesAttr::getClassTypeSafe());
    const int n = _mvmList->getCount();
    const int slotCount = _srcMvmAttrIdx->getCount();
    int slot = 0;
    const oxMatrix44f* bones = t->getCurrentBoneMatrixPalette();
    if (!bones) {
        oxNonRefCountedMatrixObjectList* objects = t->getMatrixObjectList();
        objects->removeAll();
        for (int i = 0; i < _moCount; ++i)
            objects->append(t->getMatrixObjectPool()->allocate());
        for (int k = 0; k < n; ++k) {
            auto* m = static_cast<oxModelViewMatrixAttr*>(mvmPool->allocate());
            FrameStep& step = _steps[size_t(k)];
            if (k == 0)
                m->setMatrix(view);
            else {
                oxMatrix44f animated;
                if (step.source && step.source->getMatrix(animated, time)) {
                    step.local = animated;
                    _mvmList->get(k)->setMatrix(animated);
                }
                // Parents come first; an index that does not is read as no parent.
                if (step.parent >= 0 && step.parent < k)
                    m->setMatrix(step.local * static_cast<const oxMatrixAttr*>(_instMvmAttrPtr->get(step.parent))->getMatrix());
                else
                    m->setMatrix(step.local);
                if (step.invJoint && step.moIdx >= 0 && step.moIdx < _moCount)
                    objects->get(step.moIdx)->setMatrix(*step.invJoint * m->getMatrix());
            }
            _instMvmAttrPtr->append(m);
            for (; slot < slotCount && _srcMvmAttrIdx->get(slot) == k; ++slot)
                _compiledList->set(_destMvmAttrPtr->get(slot), m);
        }
        for (int i = 0; i < _bRecList->getCount(); ++i) {
            const oxBlendListRecord* r = _bRecList->get(i);
            auto* matrices = static_cast<oxBlendMatricesAttr*>(blendPool->allocate());
            r->getAttr()->setMatricesUsingList(objects, matrices);
            _compiledList->set(r->getFwdPtr(), matrices);
        }
        return kNone;
    }
    // Inside a character: the actor's bone palette places every matrix.
    for (int k = 0; k < n; ++k) {
        auto* m = static_cast<oxModelViewMatrixAttr*>(mvmPool->allocate());
        const int bone = _xformInfoList->get(k)->getBoneIndex();
        m->setMatrix(bone < 1 ? bones[0] : bones[bone] * bones[0]);
        _instMvmAttrPtr->append(m);
        for (; slot < slotCount && _srcMvmAttrIdx->get(slot) == k; ++slot)
            _compiledList->set(_destMvmAttrPtr->get(slot), m);
    }
    const oxMatrix44f* blend = t->getCurrentBlendMatrixPalette();
    const int blendLength = t->getCurrentBlendMatrixPaletteLength();
    for (int i = 0; i < _bRecList->getCount(); ++i) {
        const oxBlendListRecord* r = _bRecList->get(i);
        auto* matrices = static_cast<oxBlendMatricesAttr*>(blendPool->allocate());
        r->getAttr()->setMatricesUsingPalette(blend, blendLength, matrices);
        _compiledList->set(r->getFwdPtr(), matrices);
    }
    return kNone;
}

bool oxCompiledGraph::setTransform(int k, const oxMatrix44f& m)
{
    if (k < 0 || k >= _mvmList->getCount() || _xformInfoList->get(k)->getSource())
        return false;
    _mvmList->get(k)->setMatrix(m);
    if (size_t(k) < _steps.size())
        _steps[size_t(k)].local = m;
    return true;
}

bool oxCompiledGraph::getTransform(int k, oxMatrix44f& m) const
{
    if (k < 0 || k >= _mvmList->getCount() || _xformInfoList->get(k)->getSource())
        return false;
    m = _mvmList->get(k)->getMatrix();
    return true;
}

bool oxCompiledGraph::setTransformSource(int k, oxTransformSource* source)
{
    if (k < 0 || k >= _xformInfoList->getCount())
        return false;
    _xformInfoList->get(k)->setSource(source);
    if (size_t(k) < _steps.size())
        _steps[size_t(k)].source = source;
    return true;
}

bool oxCompiledGraph::getTransformSource(int k, oxTransformSource*& source) const
{
    if (k < 0 || k >= _xformInfoList->getCount())
        return false;
    source = _xformInfoList->get(k)->getSource();
    return true;
}

OX_TRAVERSAL_RETURN oxCommonTraverseCompiledGraph(oxTraversal* t, oxObject* object)
{
    auto* ct = static_cast<oxCommonTraversal*>(t);
    auto* node = static_cast<oxCompiledGraph*>(object);
    ct->getSorter()->closeDisplayList(ct->getAttrStackManager());
    switch (node->traverse(ct)) {
    case oxCompiledGraph::kNone:
        ct->getSorter()->appendHeldAttrs(node->getCompiledList());
        return OX_TRAVERSAL_CONTINUE;
    case oxCompiledGraph::kNothingToCompile:
    case oxCompiledGraph::kNoOutputGenerated:
        return OX_TRAVERSAL_CONTINUE;
    default:
        return oxTraverseGroup(t, node);
    }
}

} // namespace Kel::Sg
