#pragma once
#include <vector>

#include "platform/attrs/oxAttr.h"
#include "platform/math/oxMathLists.h"
#include "platform/utils/oxMatrixObject.h"

namespace Kel::Attrs {

// Skinning. The device blends skinned vertices (oxVertexFormat bits 4-11) with the blend
// matrices last applied; the three classes below are the three ways those come.

// A list of matrix objects shared with the skeleton that moves them, and the skeleton's
// transform and its inverse.
class oxVertexBlendMatrixListAttr : public oxAttr {
    OX_CLASS(oxVertexBlendMatrixListAttr, oxAttr)
    OX_FIELDS(matrices, skeletonTransform, skeletonInverseTransform)
public:
    int getMatrixCount() const { return _matrices->getCount(); }
    // Grows with null entries (identity when applied) or shrinks.
    void setMatrixCount(int count) { _matrices->setCount(count); }
    Utils::oxMatrixObject* getMatrixPointer(int i) const;
    bool setMatrixPointer(int i, Utils::oxMatrixObject* matrix) { return _matrices->set(i, matrix); }
    void setSkeletonTransform(const oxMatrix44f& transform, const oxMatrix44f& inverse)
    {
        _skeletonTransform = transform;
        _skeletonInverseTransform = inverse;
    }
    const oxMatrix44f& getSkeletonTransform() const { return _skeletonTransform; }
    const oxMatrix44f& getSkeletonInverseTransform() const { return _skeletonInverseTransform; }

protected:
    oxVertexBlendMatrixListAttr() = default;
    static void arkRegisterInitialize(oxFields<oxVertexBlendMatrixListAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<Utils::oxMatrixObjectList> _matrices;
    oxMatrix44f _skeletonTransform;
    oxMatrix44f _skeletonInverseTransform;

private:
    std::vector<oxMatrix44f> _scratch;
};

// Blend matrices held by value.
class oxBlendMatricesAttr : public oxAttr {
    OX_CLASS(oxBlendMatricesAttr, oxAttr)
    OX_FIELDS(matrices)
public:
    // `count` identity matrices.
    void configure(int count);
    int getCount() const { return _matrices->getCount(); }
    oxMatrix44f getMatrix(int i) const { return i >= 0 && i < getCount() ? _matrices->get(i) : oxMatrix44f(); }
    bool setMatrix(int i, const oxMatrix44f& m);
    const oxMatrix44f* getMatrices() const { return _matrices->data(); }

protected:
    oxBlendMatricesAttr() = default;
    static void arkRegisterInitialize(oxFields<oxBlendMatricesAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setBlendMatrices(getMatrices(), getCount()); }

    oxSmartPointer<Math::oxMatrix44fList> _matrices;
};

// Which matrices of a larger palette (a skeleton's joints) a skinned geometry blends with:
// blend matrix j is palette entry getIndex(j). Filling gathers them into an
// oxBlendMatricesAttr: a given one, or the palette's own cache, which is what applying the
// palette applies.
class oxBlendMatrixPaletteAttr : public oxAttr {
    OX_CLASS(oxBlendMatrixPaletteAttr, oxAttr)
    OX_FIELDS(indices, cache)
public:
    // `count` indices, all 0; with `withCache`, a cache of as many matrices.
    void configure(int count, bool withCache = true);
    int getCount() const { return _indices->getCount(); }
    int getIndex(int j) const { return j >= 0 && j < getCount() ? _indices->get(j) : -1; }
    bool setIndex(int j, int paletteIndex);
    Core::oxIntList* getIndices() const { return _indices; }
    oxBlendMatricesAttr* getCache() const { return _cache; }

    // Fills `target` (the cache when null) from a list of matrix objects; an index outside
    // the list or naming no matrix object gives the identity and makes the result false.
    bool setMatricesUsingList(const Core::oxObjectList* matrixObjects, oxBlendMatricesAttr* target = nullptr);
    bool setMatricesUsingList(const Core::oxNonRefCountedObjectList* matrixObjects,
                              oxBlendMatricesAttr* target = nullptr);
    // The same from `length` matrices.
    bool setMatricesUsingPalette(const oxMatrix44f* palette, int length, oxBlendMatricesAttr* target = nullptr);

protected:
    oxBlendMatrixPaletteAttr() = default;
    static void arkRegisterInitialize(oxFields<oxBlendMatrixPaletteAttr>& f);
    void applyTo(oxVisualContext& vc) override;
    template <class Source>
    bool fill(oxBlendMatricesAttr* target, Source&& matrixAt);

    oxSmartPointer<Core::oxIntList> _indices;
    oxSmartPointer<oxBlendMatricesAttr> _cache;
};

OX_OBJECT_LIST(oxBlendMatrixPaletteAttrList, oxBlendMatrixPaletteAttr)

} // namespace Kel::Attrs
