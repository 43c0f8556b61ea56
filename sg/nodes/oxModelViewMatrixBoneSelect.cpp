#include "sg/nodes/oxModelViewMatrixBoneSelect.h"

namespace Kel::Sg {

void oxModelViewMatrixBoneSelect::arkRegisterInitialize(oxFields<oxModelViewMatrixBoneSelect>& f)
{
    f.add(OX_FIELD(matrixIndex)).setDefault(-1);
}

} // namespace Kel::Sg
