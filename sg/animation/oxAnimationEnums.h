#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// The vocabulary shared by every per-bone sequence, keyframed or compressed: which parts of
// a pose a sequence drives (bits, combined), how it fills the time between two keys, and
// what it does past its last key. The sequence classes hand these out as their own.

OX_NAMESPACE_ENUM(DRIVEN_CHANNEL, TRANSLATION = 1, QUATERNION_ROTATION = 2, EULER_ROTATION = 4, SCALE = 8)

OX_NAMESPACE_ENUM(INTERPOLATION_METHOD, NONE = 0, LINEAR = 1, BEZIER = 2, SLERP = 3)

OX_NAMESPACE_ENUM(PLAY_MODE, REPEAT = 0, CLAMP = 1, BOUNCE = 2, LOOP = 3)

} // namespace Kel::Sg
