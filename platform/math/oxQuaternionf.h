#pragma once

#include "platform/math/oxMathDefs.h"
#include "platform/math/oxMatrix44f.h"
#include "platform/math/oxVec3f.h"

namespace Kel::Math {

// Rotation quaternion (x, y, z) = axis · sin(angle/2), w = cos(angle/2), right-handed like
// oxMatrix44f::makeRotation. q and -q are the same rotation; == tells them apart.
//
// Products read left to right like the row-vector matrices: a * b rotates by a first, then
// by b, and toMatrix(a * b) == toMatrix(a) * toMatrix(b). In Hamilton's notation a * b is
// the product b·a.
class oxQuaternionf
{
public:
    float x, y, z, w;

    constexpr oxQuaternionf() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    constexpr oxQuaternionf(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    static constexpr oxQuaternionf identity() { return {}; }
    // A zero axis yields the identity.
    static oxQuaternionf fromAxisAngle(const oxVec3f& axis, float radians);
    // Reads the rotation of the upper 3x3, after dividing each row by its length so that a
    // positive scale does not disturb it. Mirroring has no quaternion and gives nonsense.
    static oxQuaternionf fromMatrix(const oxMatrix44f& m);
    // Rotation about the fixed X axis by rx first, then about Y by ry, then about Z by rz:
    // fromEuler(rx, ry, rz) == fromAxisAngle(X, rx) * fromAxisAngle(Y, ry) * fromAxisAngle(Z, rz),
    // whose matrix is makeRotationX(rx) × makeRotationY(ry) × makeRotationZ(rz).
    static oxQuaternionf fromEuler(float rx, float ry, float rz);

    // Angle in [0, pi] about a unit axis; the identity reports the X axis.
    void getAxisAngle(oxVec3f& axis, float& radians) const;
    // Row-vector rotation matrix: v × toMatrix() == rotate(v). A non-unit quaternion gives
    // the matrix of its normalised self.
    oxMatrix44f toMatrix() const;

    // Assumes a unit quaternion.
    oxVec3f rotate(const oxVec3f& v) const
    {
        const oxVec3f u(x, y, z);
        const oxVec3f t = 2.0f * u.cross(v);
        return v + w * t + u.cross(t);
    }

    constexpr float dot(const oxQuaternionf& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    constexpr float lengthSquared() const { return dot(*this); }
    float length() const { return oxSqrtf(lengthSquared()); }
    // Returns the old length. The zero quaternion becomes the identity, the only rotation a
    // caller could have meant by it.
    float normalize();
    oxQuaternionf normalized() const
    {
        oxQuaternionf r = *this;
        r.normalize();
        return r;
    }

    constexpr void conjugate()
    {
        x = -x;
        y = -y;
        z = -z;
    }
    constexpr oxQuaternionf conjugated() const { return {-x, -y, -z, w}; }
    // The conjugate over the squared length, so non-unit quaternions invert too. False, and
    // unchanged, for the zero quaternion.
    bool invert();
    oxQuaternionf inverse() const
    {
        oxQuaternionf r = *this;
        r.invert();
        return r;
    }

    constexpr oxQuaternionf operator-() const { return {-x, -y, -z, -w}; }
    oxQuaternionf& operator*=(const oxQuaternionf& b);

    constexpr bool operator==(const oxQuaternionf& o) const
    {
        return x == o.x && y == o.y && z == o.z && w == o.w;
    }
    constexpr bool operator!=(const oxQuaternionf& o) const { return !(*this == o); }
};

// Rotates by a, then by b.
inline oxQuaternionf operator*(const oxQuaternionf& a, const oxQuaternionf& b)
{
    return {b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y,
            b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
            b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w,
            b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

inline oxQuaternionf& oxQuaternionf::operator*=(const oxQuaternionf& b) { return *this = *this * b; }

constexpr float dot(const oxQuaternionf& a, const oxQuaternionf& b) { return a.dot(b); }

// Both interpolations take the shorter way round, flipping b into a's hemisphere, and
// expect unit quaternions. lerp() is the cheaper, normalised linear blend: same path,
// uneven speed.
oxQuaternionf lerp(const oxQuaternionf& a, const oxQuaternionf& b, float t);
oxQuaternionf slerp(const oxQuaternionf& a, const oxQuaternionf& b, float t);

inline bool oxIsEqual(const oxQuaternionf& a, const oxQuaternionf& b, float eps = kEpsilon)
{
    return oxIsEqual(a.x, b.x, eps) && oxIsEqual(a.y, b.y, eps) && oxIsEqual(a.z, b.z, eps) &&
           oxIsEqual(a.w, b.w, eps);
}

} // namespace Kel::Math
