#include "sg/nodes/oxBlendMatrixSelect.h"

namespace Kel::Sg {

void oxBlendMatrixSelect::arkRegisterInitialize(oxFields<oxBlendMatrixSelect>& f)
{
    f.add(OX_FIELD(blendMatrixIndices)).constructWithOwner();
    f.add(OX_FIELD(skeletonTransform));
    f.add(OX_FIELD(skeletonInverseTransform));
}

void oxBlendMatrixSelect::setBlendMatrixIndexCount(int n)
{
    if (!_blendMatrixIndices)
        _blendMatrixIndices = oxIntList::_instantiateFromPool(getMemoryPool());
    _blendMatrixIndices->resizeAndSetCount(n);
}

} // namespace Kel::Sg
