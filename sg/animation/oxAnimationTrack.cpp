#include "sg/animation/oxAnimationTrack.h"

namespace Kel::Sg {

void oxAnimationTrack::arkRegisterInitialize(oxFields<oxAnimationTrack>& f)
{
    f.add(OX_FIELD(source));
    // Without a source the bone keeps its orientation.
    f.add(OX_FIELD(constantQuaternion)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(constantTranslation));
}

} // namespace Kel::Sg
