#include "sg/animation/oxTransformRecorder.h"

namespace Kel::Sg {

void oxTransformRecorder::arkRegisterInitialize(oxFields<oxTransformRecorder>& f)
{
    f.add(OX_FIELD(m));
    f.add(OX_FIELD(mvm));
}

} // namespace Kel::Sg
