#pragma once

#include "platform/math/oxMathDefs.h"
#include "platform/math/oxVec3f.h"

namespace Kel::Math {

// Homogeneous coordinates and RGBA colours: w is an ordinary fourth component here, and
// length() and dot() include it.
class oxVec4f
{
public:
    float x, y, z, w;

    constexpr oxVec4f() : x(0.0f), y(0.0f), z(0.0f), w(0.0f) {}
    constexpr oxVec4f(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr oxVec4f(const oxVec3f& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}

    constexpr void set(float x_, float y_, float z_, float w_)
    {
        x = x_;
        y = y_;
        z = z_;
        w = w_;
    }

    constexpr oxVec3f xyz() const { return {x, y, z}; }

    // Member pointers rather than (&x)[i]: indexing past a member is undefined behaviour,
    // and compilers fold this table to the same address arithmetic anyway.
    constexpr float& operator[](int i)
    {
        constexpr float oxVec4f::*kMembers[] = {&oxVec4f::x, &oxVec4f::y, &oxVec4f::z, &oxVec4f::w};
        return this->*kMembers[i];
    }
    constexpr float operator[](int i) const
    {
        constexpr float oxVec4f::*kMembers[] = {&oxVec4f::x, &oxVec4f::y, &oxVec4f::z, &oxVec4f::w};
        return this->*kMembers[i];
    }

    constexpr oxVec4f operator-() const { return {-x, -y, -z, -w}; }
    constexpr oxVec4f& operator+=(const oxVec4f& o) { x += o.x; y += o.y; z += o.z; w += o.w; return *this; }
    constexpr oxVec4f& operator-=(const oxVec4f& o) { x -= o.x; y -= o.y; z -= o.z; w -= o.w; return *this; }
    constexpr oxVec4f& operator*=(const oxVec4f& o) { x *= o.x; y *= o.y; z *= o.z; w *= o.w; return *this; }
    constexpr oxVec4f& operator*=(float s) { x *= s; y *= s; z *= s; w *= s; return *this; }
    constexpr oxVec4f& operator/=(float s) { x /= s; y /= s; z /= s; w /= s; return *this; }

    constexpr float dot(const oxVec4f& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }

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
            w /= len;
        }
        return len;
    }
    oxVec4f normalized() const
    {
        oxVec4f r = *this;
        r.normalize();
        return r;
    }

    constexpr void minimize(const oxVec4f& o)
    {
        x = o.x < x ? o.x : x;
        y = o.y < y ? o.y : y;
        z = o.z < z ? o.z : z;
        w = o.w < w ? o.w : w;
    }
    constexpr void maximize(const oxVec4f& o)
    {
        x = o.x > x ? o.x : x;
        y = o.y > y ? o.y : y;
        z = o.z > z ? o.z : z;
        w = o.w > w ? o.w : w;
    }

    constexpr bool operator==(const oxVec4f& o) const
    {
        return x == o.x && y == o.y && z == o.z && w == o.w;
    }
    constexpr bool operator!=(const oxVec4f& o) const { return !(*this == o); }
};

constexpr oxVec4f operator+(oxVec4f a, const oxVec4f& b) { return a += b; }
constexpr oxVec4f operator-(oxVec4f a, const oxVec4f& b) { return a -= b; }
// Component-wise; the dot product has its own name.
constexpr oxVec4f operator*(oxVec4f a, const oxVec4f& b) { return a *= b; }
constexpr oxVec4f operator*(oxVec4f a, float s) { return a *= s; }
constexpr oxVec4f operator*(float s, oxVec4f a) { return a *= s; }
constexpr oxVec4f operator/(oxVec4f a, float s) { return a /= s; }

constexpr float dot(const oxVec4f& a, const oxVec4f& b) { return a.dot(b); }

constexpr oxVec4f minimize(oxVec4f a, const oxVec4f& b)
{
    a.minimize(b);
    return a;
}
constexpr oxVec4f maximize(oxVec4f a, const oxVec4f& b)
{
    a.maximize(b);
    return a;
}

// a + (b - a) * t would not return b exactly at t = 1.
constexpr oxVec4f lerp(const oxVec4f& a, const oxVec4f& b, float t) { return a * (1.0f - t) + b * t; }

// Cubic Bezier curve through p0 (t = 0) and p3 (t = 1), shaped by the control points p1 and p2.
constexpr oxVec4f bezier(const oxVec4f& p0, const oxVec4f& p1, const oxVec4f& p2, const oxVec4f& p3,
                         float t)
{
    const float s = 1.0f - t;
    return p0 * (s * s * s) + p1 * (3.0f * s * s * t) + p2 * (3.0f * s * t * t) + p3 * (t * t * t);
}

inline bool oxIsEqual(const oxVec4f& a, const oxVec4f& b, float eps = kEpsilon)
{
    return oxIsEqual(a.x, b.x, eps) && oxIsEqual(a.y, b.y, eps) && oxIsEqual(a.z, b.z, eps) &&
           oxIsEqual(a.w, b.w, eps);
}

} // namespace Kel::Math
