#pragma once

#include <limits>

#include "platform/math/oxMatrix44f.h"
#include "platform/math/oxVec3f.h"

namespace Kel::Math {

// Axis-aligned box, bounds inclusive. The empty box has min = +big and max = -big, so that
// extending it by anything yields that thing with no special case, and every query on it
// fails naturally.
class oxBox3f
{
public:
    oxVec3f min, max;

    constexpr oxBox3f() : min(kBig, kBig, kBig), max(-kBig, -kBig, -kBig) {}
    constexpr oxBox3f(const oxVec3f& min_, const oxVec3f& max_) : min(min_), max(max_) {}

    // Makes the box empty; isEmpty() asks whether it is.
    constexpr void empty() { *this = oxBox3f(); }
    constexpr bool isEmpty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }

    constexpr void extendBy(const oxVec3f& p)
    {
        min.minimize(p);
        max.maximize(p);
    }
    constexpr void extendBy(const oxBox3f& b)
    {
        min.minimize(b.min);
        max.maximize(b.max);
    }

    // The origin and a zero size for the empty box.
    constexpr oxVec3f getCenter() const { return isEmpty() ? oxVec3f() : (min + max) * 0.5f; }
    constexpr oxVec3f getSize() const { return isEmpty() ? oxVec3f() : max - min; }

    constexpr bool contains(const oxVec3f& p) const
    {
        return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
    }
    constexpr bool contains(const oxBox3f& b) const { return !b.isEmpty() && contains(b.min) && contains(b.max); }
    constexpr bool intersects(const oxBox3f& b) const
    {
        return min.x <= b.max.x && b.min.x <= max.x && min.y <= b.max.y && b.min.y <= max.y &&
               min.z <= b.max.z && b.min.z <= max.z && !isEmpty() && !b.isEmpty();
    }

    // Becomes the box around the eight transformed corners; the empty box stays empty.
    void transform(const oxMatrix44f& m);

    constexpr bool operator==(const oxBox3f& o) const { return min == o.min && max == o.max; }
    constexpr bool operator!=(const oxBox3f& o) const { return !(*this == o); }

private:
    static constexpr float kBig = std::numeric_limits<float>::max();
};

inline void oxBox3f::transform(const oxMatrix44f& m)
{
    if (isEmpty())
        return;
    oxBox3f r;
    if (m.isAffine()) {
        // Each output bound sums, per input axis, the smaller or larger of the two products:
        // the same box as the corners give, for a third of the work.
        r.min = r.max = m.getTranslation();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const float a = m.m[i][j] * min[i], b = m.m[i][j] * max[i];
                r.min[j] += a < b ? a : b;
                r.max[j] += a < b ? b : a;
            }
    } else {
        for (int c = 0; c < 8; ++c)
            r.extendBy(m.transformPoint({(c & 1 ? max : min).x, (c & 2 ? max : min).y, (c & 4 ? max : min).z}));
    }
    *this = r;
}

} // namespace Kel::Math
