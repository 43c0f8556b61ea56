#pragma once
// What every scene-graph header stands on: the object system, math and utilities, whose
// names the scene graph uses unqualified.
#include "platform/core/OXCore.h"
#include "platform/math/OXMath.h"
#include "platform/utils/OXUtils.h"

namespace Kel::Sg {
using namespace Kel::Core;
using namespace Kel::Math;
using namespace Kel::Utils;
} // namespace Kel::Sg

namespace Kel::Sg {
// Sections of the global registry that the scene graph reads. Keys are looked up in the
// section's name, e.g. "[Rendering] maxLightStateCount = 8".
inline constexpr const char* kRegistrySectionCompile = "Compile";   // generateCompileGraphBounds
inline constexpr const char* kRegistrySectionRendering = "Rendering"; // maxLightStateCount, ...
} // namespace Kel::Sg
