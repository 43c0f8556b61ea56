#pragma once
#include "sg/nodes/oxAttrSet.h"

namespace Kel::Sg {

// Skinning for the geometry below: which matrices of the skeleton's blend-matrix palette
// its blend slots take (slot i takes palette matrix getBlendMatrixIndex(i)), and the
// skeleton's transform with its inverse.
class oxBlendMatrixSelect : public oxAttrSet {
    OX_CLASS(oxBlendMatrixSelect, oxAttrSet)
    OX_FIELDS(blendMatrixIndices, skeletonTransform, skeletonInverseTransform)
public:
    oxIntList* getBlendMatrixIndices() const { return _blendMatrixIndices; }
    void setBlendMatrixIndices(oxIntList* indices) { _blendMatrixIndices = indices; }
    int getBlendMatrixIndexCount() const { return _blendMatrixIndices ? _blendMatrixIndices->getCount() : 0; }
    // The caller keeps i within the count.
    int getBlendMatrixIndex(int i) const { return _blendMatrixIndices->get(i); }
    void setBlendMatrixIndex(int i, int value) { _blendMatrixIndices->set(i, value); }
    // Shrinking keeps the first values; growing adds zero indices.
    void setBlendMatrixIndexCount(int n);

    void setSkeletonTransform(const oxMatrix44f& transform, const oxMatrix44f& inverse)
    {
        _skeletonTransform = transform;
        _skeletonInverseTransform = inverse;
    }
    // Points at the node's own matrices, which stay valid as long as the node.
    void getSkeletonTransform(const oxMatrix44f*& transform, const oxMatrix44f*& inverse) const
    {
        transform = &_skeletonTransform;
        inverse = &_skeletonInverseTransform;
    }

protected:
    oxBlendMatrixSelect() = default;
    static void arkRegisterInitialize(oxFields<oxBlendMatrixSelect>& f);

    oxSmartPointer<oxIntList> _blendMatrixIndices;
    oxMatrix44f _skeletonTransform;
    oxMatrix44f _skeletonInverseTransform;
};

} // namespace Kel::Sg
