#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A graph hung on a bone: the bone's matrix becomes the model-view matrix of the subtree.
class oxModelViewMatrixBoneSelect : public oxGroup {
    OX_CLASS(oxModelViewMatrixBoneSelect, oxGroup)
    OX_FIELDS(matrixIndex)
public:
    // The bone matrix's index in the current palette; -1 selects none.
    int getMatrixIndex() const { return _matrixIndex; }
    void setMatrixIndex(int index) { _matrixIndex = index; }

protected:
    oxModelViewMatrixBoneSelect() = default;
    static void arkRegisterInitialize(oxFields<oxModelViewMatrixBoneSelect>& f);

    int32_t _matrixIndex = -1;
};

OX_OBJECT_LIST(oxModelViewMatrixBoneSelectList, oxModelViewMatrixBoneSelect)

} // namespace Kel::Sg
