#pragma once

#include "platform/math/oxBox3f.h"
#include "platform/math/oxVec3f.h"

namespace Kel::Math {

// Which faces of a triangle a ray may hit. The front face is the one whose vertices
// v0, v1, v2 appear counter-clockwise from the ray origin.
enum ISET_SIDES { ISET_FRONT = 1, ISET_BACK = 2, ISET_BOTH = 3 };

// Möller–Trumbore. On a hit at origin + t·dir, t >= 0, fills t and the barycentric u, v of
// the hit point v0 + u·(v1 - v0) + v·(v2 - v0); any of the three outputs may be null.
// dir need not be unit length; t is measured in units of it. A ray within about 1e-6
// radians of the triangle's plane, and a degenerate triangle, never hit.
bool oxIntersectRayTriangle(const oxVec3f& origin, const oxVec3f& dir, const oxVec3f& v0, const oxVec3f& v1,
                            const oxVec3f& v2, ISET_SIDES side, float* t, float* u, float* v);

// Slab test against a closed box. On a hit fills the parameters where the ray enters and
// leaves the box, tNear = 0 when the origin is inside; either output may be null. The empty
// box is never hit.
bool oxIntersectRayBox(const oxVec3f& origin, const oxVec3f& dir, const oxBox3f& box, float* tNear, float* tFar);

} // namespace Kel::Math
