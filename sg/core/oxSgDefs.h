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
// Sections of the global registry that the scene graph reads by name, e.g.
// "[Rendering] simpleLightManagementState = true". "maxLightStateCount" and
// "disableBumpDotProduct" are read from the shader settings' section, "[Shaders]".
inline constexpr const char* kRegistrySectionCompile = "Compile";   // generateCompileGraphBounds
inline constexpr const char* kRegistrySectionRendering = "Rendering"; // simpleLightManagementState
} // namespace Kel::Sg
