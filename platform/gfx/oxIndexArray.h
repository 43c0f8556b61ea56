#pragma once
#include <cstdint>

#include "platform/core/oxDataList.h"

namespace Kel::Gfx {

// 16-bit vertex indices of a geometry (glDrawElements with GL_UNSIGNED_SHORT).
OX_DATA_LIST(oxIndexArray, uint16_t)

// Per-primitive vertex (or index) counts of strips and fans.
OX_DATA_LIST(oxPrimLengthArray, uint32_t)

} // namespace Kel::Gfx
