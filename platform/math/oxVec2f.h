#pragma once

#include "platform/math/oxMathDefs.h"

namespace Kel::Math {

class oxVec2f
{
public:
    float x, y;

    constexpr oxVec2f() : x(0.0f), y(0.0f) {}
    constexpr oxVec2f(float x_, float y_) : x(x_), y(y_) {}

    constexpr void set(float x_, float y_)
    {
        x = x_;
        y = y_;
    }

    // Member pointers rather than (&x)[i]: indexing past a member is undefined behaviour,
    // and compilers fold this table to the same address arithmetic anyway.
    constexpr float& operator[](int i)
    {
        constexpr float oxVec2f::*kMembers[] = {&oxVec2f::x, &oxVec2f::y};
        return this->*kMembers[i];
    }
    constexpr float operator[](int i) const
    {
        constexpr float oxVec2f::*kMembers[] = {&oxVec2f::x, &oxVec2f::y};
        return this->*kMembers[i];
    }

    constexpr oxVec2f operator-() const { return {-x, -y}; }
    constexpr oxVec2f& operator+=(const oxVec2f& o) { x += o.x; y += o.y; return *this; }
    constexpr oxVec2f& operator-=(const oxVec2f& o) { x -= o.x; y -= o.y; return *this; }
    constexpr oxVec2f& operator*=(const oxVec2f& o) { x *= o.x; y *= o.y; return *this; }
    constexpr oxVec2f& operator*=(float s) { x *= s; y *= s; return *this; }
    constexpr oxVec2f& operator/=(float s) { x /= s; y /= s; return *this; }

    constexpr float dot(const oxVec2f& o) const { return x * o.x + y * o.y; }
    // The z of the 3D cross product: twice the signed area of the triangle (0, *this, o),
    // positive when o lies counter-clockwise of *this.
    constexpr float cross(const oxVec2f& o) const { return x * o.y - y * o.x; }

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
        }
        return len;
    }
    oxVec2f normalized() const
    {
        oxVec2f r = *this;
        r.normalize();
        return r;
    }

    constexpr void minimize(const oxVec2f& o)
    {
        x = o.x < x ? o.x : x;
        y = o.y < y ? o.y : y;
    }
    constexpr void maximize(const oxVec2f& o)
    {
        x = o.x > x ? o.x : x;
        y = o.y > y ? o.y : y;
    }

    constexpr bool operator==(const oxVec2f& o) const { return x == o.x && y == o.y; }
    constexpr bool operator!=(const oxVec2f& o) const { return !(*this == o); }
};

constexpr oxVec2f operator+(oxVec2f a, const oxVec2f& b) { return a += b; }
constexpr oxVec2f operator-(oxVec2f a, const oxVec2f& b) { return a -= b; }
// Component-wise; the dot product has its own name.
constexpr oxVec2f operator*(oxVec2f a, const oxVec2f& b) { return a *= b; }
constexpr oxVec2f operator*(oxVec2f a, float s) { return a *= s; }
constexpr oxVec2f operator*(float s, oxVec2f a) { return a *= s; }
constexpr oxVec2f operator/(oxVec2f a, float s) { return a /= s; }

constexpr float dot(const oxVec2f& a, const oxVec2f& b) { return a.dot(b); }
constexpr float cross(const oxVec2f& a, const oxVec2f& b) { return a.cross(b); }

constexpr oxVec2f minimize(oxVec2f a, const oxVec2f& b)
{
    a.minimize(b);
    return a;
}
constexpr oxVec2f maximize(oxVec2f a, const oxVec2f& b)
{
    a.maximize(b);
    return a;
}

// a + (b - a) * t would not return b exactly at t = 1.
constexpr oxVec2f lerp(const oxVec2f& a, const oxVec2f& b, float t) { return a * (1.0f - t) + b * t; }

// Cubic Bezier curve through p0 (t = 0) and p3 (t = 1), shaped by the control points p1 and p2.
constexpr oxVec2f bezier(const oxVec2f& p0, const oxVec2f& p1, const oxVec2f& p2, const oxVec2f& p3,
                         float t)
{
    const float s = 1.0f - t;
    return p0 * (s * s * s) + p1 * (3.0f * s * s * t) + p2 * (3.0f * s * t * t) + p3 * (t * t * t);
}

inline bool oxIsEqual(const oxVec2f& a, const oxVec2f& b, float eps = kEpsilon)
{
    return oxIsEqual(a.x, b.x, eps) && oxIsEqual(a.y, b.y, eps);
}

} // namespace Kel::Math
