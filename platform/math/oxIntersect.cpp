#include "platform/math/oxIntersect.h"

#include <cmath>
#include <utility>

namespace Kel::Math {

bool oxIntersectRayTriangle(const oxVec3f& origin, const oxVec3f& dir, const oxVec3f& v0, const oxVec3f& v1,
                            const oxVec3f& v2, ISET_SIDES side, float* t, float* u, float* v)
{
    const oxVec3f e1 = v1 - v0, e2 = v2 - v0;
    const oxVec3f p = dir.cross(e2);
    // det = -dir·(e1 × e2): positive when the ray meets the counter-clockwise side.
    const float det = e1.dot(p);
    if (!(side & (det > 0.0f ? ISET_FRONT : ISET_BACK)))
        return false;
    // det is |dir|·|e1 × e2| times the sine of the ray's angle to the plane; testing that sine
    // keeps the parallel cut-off independent of the scene's scale.
    constexpr float kMinSine = 1e-6f;
    if (det * det <= kMinSine * kMinSine * dir.lengthSquared() * e1.cross(e2).lengthSquared())
        return false;

    const float inv = 1.0f / det;
    const oxVec3f s = origin - v0;
    const float bu = s.dot(p) * inv;
    if (bu < 0.0f || bu > 1.0f)
        return false;
    const oxVec3f q = s.cross(e1);
    const float bv = dir.dot(q) * inv;
    if (bv < 0.0f || bu + bv > 1.0f)
        return false;
    const float bt = e2.dot(q) * inv;
    if (!(bt >= 0.0f))
        return false;
    if (t)
        *t = bt;
    if (u)
        *u = bu;
    if (v)
        *v = bv;
    return true;
}

bool oxIntersectRayBox(const oxVec3f& origin, const oxVec3f& dir, const oxBox3f& box, float* tNear, float* tFar)
{
    if (box.isEmpty())
        return false;
    float t0 = 0.0f, t1 = INFINITY;
    for (int i = 0; i < 3; ++i) {
        // A ray parallel to a slab is inside it everywhere or nowhere; dividing would give
        // 0·inf = NaN for an origin on the boundary.
        if (dir[i] == 0.0f) {
            if (origin[i] < box.min[i] || origin[i] > box.max[i])
                return false;
            continue;
        }
        float a = (box.min[i] - origin[i]) / dir[i];
        float b = (box.max[i] - origin[i]) / dir[i];
        if (a > b)
            std::swap(a, b);
        t0 = a > t0 ? a : t0;
        t1 = b < t1 ? b : t1;
        if (t0 > t1)
            return false;
    }
    if (tNear)
        *tNear = t0;
    if (tFar)
        *tFar = t1;
    return true;
}

} // namespace Kel::Math
