#pragma once

#include "platform/math/oxMathDefs.h"

namespace Kel::Math {

class oxVec3f
{
public:
    float x, y, z;

    constexpr oxVec3f() : x(0.0f), y(0.0f), z(0.0f) {}
    constexpr oxVec3f(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr void set(float x_, float y_, float z_)
    {
        x = x_;
        y = y_;
        z = z_;
    }

    // Member pointers rather than (&x)[i]: indexing past a member is undefined behaviour,
    // and compilers fold this table to the same address arithmetic anyway.
    constexpr float& operator[](int i)
    {
        constexpr float oxVec3f::*kMembers[] = {&oxVec3f::x, &oxVec3f::y, &oxVec3f::z};
        return this->*kMembers[i];
    }
    constexpr float operator[](int i) const
    {
        constexpr float oxVec3f::*kMembers[] = {&oxVec3f::x, &oxVec3f::y, &oxVec3f::z};
        return this->*kMembers[i];
    }

    constexpr oxVec3f operator-() const { return {-x, -y, -z}; }
    constexpr oxVec3f& operator+=(const oxVec3f& o) { x += o.x; y += o.y; z += o.z; return *this; }
    constexpr oxVec3f& operator-=(const oxVec3f& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    constexpr oxVec3f& operator*=(const oxVec3f& o) { x *= o.x; y *= o.y; z *= o.z; return *this; }
    constexpr oxVec3f& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    constexpr oxVec3f& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }

    constexpr float dot(const oxVec3f& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr oxVec3f cross(const oxVec3f& o) const
    {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }

    constexpr float lengthSquared() const { return dot(*this); }
    float length() const { return oxSqrtf(lengthSquared()); }

    // No threshold: short vectors are still directions. Only one whose squared length
    // underflows to zero is left as it is.
    float normalize()
    {
        const float len = length();
        if (len > 0.0f) {
            x /= len;
            y /= len;
            z /= len;
        }
        return len;
    }
    oxVec3f normalized() const
    {
        oxVec3f r = *this;
        r.normalize();
        return r;
    }

    constexpr void minimize(const oxVec3f& o)
    {
        x = o.x < x ? o.x : x;
        y = o.y < y ? o.y : y;
        z = o.z < z ? o.z : z;
    }
    constexpr void maximize(const oxVec3f& o)
    {
        x = o.x > x ? o.x : x;
        y = o.y > y ? o.y : y;
        z = o.z > z ? o.z : z;
    }

    constexpr bool operator==(const oxVec3f& o) const { return x == o.x && y == o.y && z == o.z; }
    constexpr bool operator!=(const oxVec3f& o) const { return !(*this == o); }
};

constexpr oxVec3f operator+(oxVec3f a, const oxVec3f& b) { return a += b; }
constexpr oxVec3f operator-(oxVec3f a, const oxVec3f& b) { return a -= b; }
// Component-wise; the dot product has its own name.
constexpr oxVec3f operator*(oxVec3f a, const oxVec3f& b) { return a *= b; }
constexpr oxVec3f operator*(oxVec3f a, float s) { return a *= s; }
constexpr oxVec3f operator*(float s, oxVec3f a) { return a *= s; }
constexpr oxVec3f operator/(oxVec3f a, float s) { return a /= s; }

constexpr float dot(const oxVec3f& a, const oxVec3f& b) { return a.dot(b); }
constexpr oxVec3f cross(const oxVec3f& a, const oxVec3f& b) { return a.cross(b); }

constexpr oxVec3f minimize(oxVec3f a, const oxVec3f& b)
{
    a.minimize(b);
    return a;
}
constexpr oxVec3f maximize(oxVec3f a, const oxVec3f& b)
{
    a.maximize(b);
    return a;
}

// a + (b - a) * t would not return b exactly at t = 1.
constexpr oxVec3f lerp(const oxVec3f& a, const oxVec3f& b, float t) { return a * (1.0f - t) + b * t; }

// Cubic Bezier curve through p0 (t = 0) and p3 (t = 1), shaped by the control points p1 and p2.
constexpr oxVec3f bezier(const oxVec3f& p0, const oxVec3f& p1, const oxVec3f& p2, const oxVec3f& p3,
                         float t)
{
    const float s = 1.0f - t;
    return p0 * (s * s * s) + p1 * (3.0f * s * s * t) + p2 * (3.0f * s * t * t) + p3 * (t * t * t);
}

inline bool oxIsEqual(const oxVec3f& a, const oxVec3f& b, float eps = kEpsilon)
{
    return oxIsEqual(a.x, b.x, eps) && oxIsEqual(a.y, b.y, eps) && oxIsEqual(a.z, b.z, eps);
}

} // namespace Kel::Math
