#include "platform/attrs/oxGeometryAttr2.h"

#include <algorithm>
#include <cstring>

namespace Kel::Attrs {

using namespace Gfx;

void oxGeometryAttr2::arkRegisterInitialize(oxFields<oxGeometryAttr2>& f)
{
    f.add(OX_FIELD(vertexArray));
}

oxVertexArray2* oxGeometryAttr2::configureVertexArray(int vertexCount)
{
    _vertexArray = oxVertexArray2::_instantiateFromPool(getMemoryPool());
    _vertexArray->setVertexCount(vertexCount < 0 ? 0 : vertexCount);
    return _vertexArray;
}

void oxMorphEntry::arkRegisterInitialize(oxFields<oxMorphEntry>& f)
{
    f.add(OX_FIELD(component)).enumeration(&getOX_GFX_COMPONENTMetaEnum);
    f.add(OX_FIELD(componentIndex));
    f.add(OX_FIELD(targets)).constructWithOwner();
    f.add(OX_FIELD(activeCount));
    f.add(OX_FIELD(weights)).constructWithOwner();
    f.add(OX_FIELD(targetIndices)).constructWithOwner();
}

oxVertexData* oxMorphEntry::addTarget(int vertexCount, int scalarCount)
{
    oxSmartPointer<oxVertexData> d = oxVertexData::_instantiateFromPool(getMemoryPool());
    if (!d->configure(_component, _targets->getCount(), OX_GFX_SCALAR_FLOAT, scalarCount, vertexCount))
        return nullptr;
    _targets->append(d);
    return d;
}

void oxMorphEntry::setActiveCount(int count)
{
    _activeCount = count < 0 ? 0 : count;
    if (_weights->getCount() < _activeCount)
        _weights->setCount(_activeCount);
    if (_targetIndices->getCount() < _activeCount)
        _targetIndices->setCount(_activeCount);
}

bool oxMorphEntry::setWeight(int slot, float weight)
{
    if (slot < 0 || slot >= _activeCount)
        return false;
    _weights->set(slot, weight);
    return true;
}

bool oxMorphEntry::setTargetIndex(int slot, int target)
{
    if (slot < 0 || slot >= _activeCount)
        return false;
    _targetIndices->set(slot, target);
    return true;
}

void oxMorphedGeometryAttr::arkRegisterInitialize(oxFields<oxMorphedGeometryAttr>& f)
{
    f.add(OX_FIELD(morphList)).constructWithOwner();
    f.add(OX_FIELD(morphed)).notPersistent();
}

oxMorphEntry* oxMorphedGeometryAttr::appendMorphEntry(OX_GFX_COMPONENT component, int index)
{
    oxSmartPointer<oxMorphEntry> e = oxMorphEntry::_instantiateFromPool(getMemoryPool());
    e->setComponent(component, index);
    _morphList->append(e);
    return e;
}

namespace {
void refill(oxVertexArray2* copy, const oxVertexArray2* base)
{
    oxVertexDataList* mine = copy->getVertexDataList();
    for (int i = mine->getCount() - 1; i >= 0; --i) {
        oxVertexData* d = mine->get(i);
        if (!d || !base->findVertexData(d->getComponentType(), d->getComponentIndex()))
            mine->remove(i);
    }
    oxVertexDataList* theirs = base->getVertexDataList();
    for (int i = 0; i < theirs->getCount(); ++i) {
        oxVertexData* from = theirs->get(i);
        if (!from)
            continue;
        if (oxVertexData* to = copy->findVertexData(from->getComponentType(), from->getComponentIndex()))
            to->copy(from);
        else
            mine->append(static_cast<oxVertexData*>(from->createCopy()));
    }
    copy->setVertexCount(base->getVertexCount());
}
} // namespace

oxVertexArray2* oxMorphedGeometryAttr::update()
{
    if (!_vertexArray)
        return nullptr;
    // The copy starts as the base each time, so weights falling back to 0 restore it; its
    // components are refilled in place, so a steady frame allocates nothing.
    if (!_morphed)
        _morphed = oxVertexArray2::_instantiateFromPool(getMemoryPool());
    refill(_morphed, _vertexArray);
    int n = _morphed->getVertexCount();
    for (int e = 0; e < _morphList->getCount(); ++e) {
        oxMorphEntry* entry = _morphList->get(e);
        if (!entry)
            continue;
        oxVertexStream out = _morphed->getStream(entry->getComponent(), entry->getComponentIndex());
        if (!out.isValid() || out.scalarType != OX_GFX_SCALAR_FLOAT)
            continue;
        for (int slot = 0; slot < entry->getActiveCount(); ++slot) {
            float w = entry->getWeight(slot);
            int t = entry->getTargetIndex(slot);
            oxVertexData* target = t >= 0 && t < entry->getTargets()->getCount() ? entry->getTargets()->get(t) : nullptr;
            if (w == 0.0f || !target || target->getScalarType() != OX_GFX_SCALAR_FLOAT || target->getCount() < n)
                continue;
            int scalars = std::min(out.scalarCount, target->getScalarCount());
            for (int i = 0; i < n; ++i) {
                float value[16], delta[16];
                std::memcpy(value, out.at(i), sizeof(float) * size_t(scalars));
                std::memcpy(delta, target->getData() + size_t(i) * size_t(target->getElementSize()),
                            sizeof(float) * size_t(scalars));
                for (int k = 0; k < scalars; ++k)
                    value[k] += w * delta[k];
                std::memcpy(out.at(i), value, sizeof(float) * size_t(scalars));
            }
        }
    }
    _morphed->touch();
    return _morphed;
}

bool oxMorphedGeometryAttr::transform(const oxMatrix44f& m)
{
    if (!oxGeometryAttr2::transform(m))
        return false;
    oxMatrix44f normalMatrix = m;
    normalMatrix.invert();
    normalMatrix.transpose();
    for (int e = 0; e < _morphList->getCount(); ++e) {
        oxMorphEntry* entry = _morphList->get(e);
        OX_GFX_COMPONENT c = entry ? entry->getComponent() : OX_GFX_COMPONENT_COLOR;
        bool isNormal = c == OX_GFX_COMPONENT_NORMAL;
        if (!isNormal && c != OX_GFX_COMPONENT_POSITION && c != OX_GFX_COMPONENT_BINORMAL && c != OX_GFX_COMPONENT_TANGENT)
            continue;
        for (int t = 0; t < entry->getTargets()->getCount(); ++t) {
            oxVertexData* target = entry->getTargets()->get(t);
            if (!target || target->getScalarType() != OX_GFX_SCALAR_FLOAT || target->getScalarCount() < 3)
                continue;
            for (int i = 0; i < target->getCount(); ++i) {
                uint8_t* p = target->getData() + size_t(i) * size_t(target->getElementSize());
                oxVec3f d;
                std::memcpy(&d, p, sizeof d);
                d = isNormal ? normalMatrix.transformVector(d) : m.transformVector(d);
                std::memcpy(p, &d, sizeof d);
            }
            target->touch();
        }
    }
    return true;
}

void oxMorphedGeometryAttr::applyTo(oxVisualContext& vc)
{
    if (!_vertexArray)
        return;
    constexpr int kMaxStreams = 4;
    oxMorphStream streams[kMaxStreams];
    int count = 0;
    for (int e = 0; e < _morphList->getCount() && count < kMaxStreams + 1; ++e) {
        const oxMorphEntry* entry = _morphList->get(e);
        if (!entry || count++ == kMaxStreams)
            continue;
        oxMorphStream& s = streams[count - 1];
        s.component = entry->getComponent();
        s.index = entry->getComponentIndex();
        s.targets = entry->getTargets();
        // A file may hold fewer weights or indices than its active count claims.
        s.slotCount = std::min({entry->getActiveCount(), entry->getWeightList()->getCount(),
                                entry->getTargetIndexList()->getCount()});
        s.weights = entry->getWeightList()->data();
        s.targetIndices = entry->getTargetIndexList()->data();
    }
    oxDrawDescription base = describe();
    if (count > 0 && count <= kMaxStreams && vc.drawMorphedGeometry(base, streams, count))
        return;
    oxVertexArray2* morphed = update();
    if (!morphed)
        return;
    oxDrawDescription d = describe();
    d.vertices = morphed;
    vc.drawGeometry(d);
}

} // namespace Kel::Attrs
