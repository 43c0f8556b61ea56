#pragma once
#include "platform/math/oxIntersect.h"
#include "platform/math/oxMathLists.h"
#include "platform/math/oxMathTypes.h"
#include "platform/math/oxRay.h"
#include "platform/math/oxVolume.h"

namespace Kel {
// Registers the math library's classes (volumes, rays, lists).
void libOXMath_arkRegister();
} // namespace Kel
