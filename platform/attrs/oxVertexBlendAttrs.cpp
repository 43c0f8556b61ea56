#include "platform/attrs/oxVertexBlendAttrs.h"

#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

using Utils::oxMatrixObject;

void oxVertexBlendMatrixListAttr::arkRegisterInitialize(oxFields<oxVertexBlendMatrixListAttr>& f)
{
    f.add(OX_FIELD(matrices)).constructWithOwner();
    f.add(OX_FIELD(skeletonTransform)).setDefault(oxMatrix44f());
    f.add(OX_FIELD(skeletonInverseTransform)).setDefault(oxMatrix44f());
}

oxMatrixObject* oxVertexBlendMatrixListAttr::getMatrixPointer(int i) const
{
    return i >= 0 && i < getMatrixCount() ? _matrices->get(i) : nullptr;
}

void oxVertexBlendMatrixListAttr::applyTo(oxVisualContext& vc)
{
    int n = getMatrixCount();
    _scratch.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        oxMatrixObject* m = _matrices->get(i);
        _scratch[size_t(i)] = m ? m->getMatrix() : oxMatrix44f();
    }
    vc.setBlendMatrices(_scratch.data(), n);
}

void oxBlendMatricesAttr::arkRegisterInitialize(oxFields<oxBlendMatricesAttr>& f)
{
    f.add(OX_FIELD(matrices)).constructWithOwner();
}

void oxBlendMatricesAttr::configure(int count)
{
    _matrices->setCount(count < 0 ? 0 : count);
    for (oxMatrix44f& m : *_matrices)
        m = oxMatrix44f();
}

bool oxBlendMatricesAttr::setMatrix(int i, const oxMatrix44f& m)
{
    if (i < 0 || i >= getCount())
        return false;
    _matrices->set(i, m);
    return true;
}

void oxBlendMatrixPaletteAttr::arkRegisterInitialize(oxFields<oxBlendMatrixPaletteAttr>& f)
{
    f.add(OX_FIELD(indices)).constructWithOwner();
    f.add(OX_FIELD(cache)).notPersistent();
}

void oxBlendMatrixPaletteAttr::configure(int count, bool withCache)
{
    count = count < 0 ? 0 : count;
    _indices->setCount(count);
    for (int32_t& index : *_indices)
        index = 0;
    if (withCache) {
        if (!_cache)
            _cache = oxBlendMatricesAttr::_instantiateFromPool(getMemoryPool());
        _cache->configure(count);
    } else
        _cache = nullptr;
}

bool oxBlendMatrixPaletteAttr::setIndex(int j, int paletteIndex)
{
    if (j < 0 || j >= getCount() || paletteIndex < 0)
        return false;
    _indices->set(j, paletteIndex);
    return true;
}

template <class Source>
bool oxBlendMatrixPaletteAttr::fill(oxBlendMatricesAttr* target, Source&& matrixAt)
{
    if (!target)
        target = _cache;
    if (!target) {
        Core::oxReportWarning("oxBlendMatrixPaletteAttr: no blend matrices to fill");
        return false;
    }
    int n = getCount();
    target->configure(n);
    bool complete = true;
    for (int j = 0; j < n; ++j) {
        const oxMatrix44f* m = matrixAt(_indices->get(j));
        complete = complete && m;
        target->setMatrix(j, m ? *m : oxMatrix44f());
    }
    return complete;
}

namespace {
template <class List>
const oxMatrix44f* matrixObjectAt(const List* list, int index)
{
    if (!list || index < 0 || index >= list->getCount())
        return nullptr;
    const oxMatrixObject* m = oxMatrixObject::dynamicCast(list->getObject(index));
    return m ? &m->getMatrix() : nullptr;
}
} // namespace

bool oxBlendMatrixPaletteAttr::setMatricesUsingList(const Core::oxObjectList* matrixObjects,
                                                    oxBlendMatricesAttr* target)
{
    return fill(target, [&](int index) { return matrixObjectAt(matrixObjects, index); });
}

bool oxBlendMatrixPaletteAttr::setMatricesUsingList(const Core::oxNonRefCountedObjectList* matrixObjects,
                                                    oxBlendMatricesAttr* target)
{
    return fill(target, [&](int index) { return matrixObjectAt(matrixObjects, index); });
}

bool oxBlendMatrixPaletteAttr::setMatricesUsingPalette(const oxMatrix44f* palette, int length,
                                                       oxBlendMatricesAttr* target)
{
    return fill(target, [&](int index) -> const oxMatrix44f* {
        return palette && index >= 0 && index < length ? palette + index : nullptr;
    });
}

void oxBlendMatrixPaletteAttr::applyTo(oxVisualContext& vc)
{
    if (_cache)
        _cache->apply(&vc);
}

} // namespace Kel::Attrs
