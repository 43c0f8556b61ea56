#include "platform/math/oxQuaternionf.h"

#include <cmath>

namespace Kel::Math {

oxQuaternionf oxQuaternionf::fromAxisAngle(const oxVec3f& axis, float radians)
{
    oxVec3f a = axis;
    if (a.normalize() == 0.0f)
        return {};
    const float s = std::sin(0.5f * radians);
    return {a.x * s, a.y * s, a.z * s, std::cos(0.5f * radians)};
}

oxQuaternionf oxQuaternionf::fromMatrix(const oxMatrix44f& m)
{
    // r[i][j] is the column-vector rotation matrix, the transpose of m's 3x3.
    float r[3][3];
    for (int i = 0; i < 3; ++i) {
        oxVec3f row(m.m[i][0], m.m[i][1], m.m[i][2]);
        row.normalize();
        for (int j = 0; j < 3; ++j)
            r[j][i] = row[j];
    }
    // Take the square root of the largest of 4w², 4x², 4y², 4z² so the divisor is never small.
    oxQuaternionf q;
    const float trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0.0f) {
        const float s = 2.0f * oxSqrtf(1.0f + trace);
        q = {(r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s, 0.25f * s};
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const float s = 2.0f * oxSqrtf(1.0f + r[0][0] - r[1][1] - r[2][2]);
        q = {0.25f * s, (r[0][1] + r[1][0]) / s, (r[0][2] + r[2][0]) / s, (r[2][1] - r[1][2]) / s};
    } else if (r[1][1] > r[2][2]) {
        const float s = 2.0f * oxSqrtf(1.0f + r[1][1] - r[0][0] - r[2][2]);
        q = {(r[0][1] + r[1][0]) / s, 0.25f * s, (r[1][2] + r[2][1]) / s, (r[0][2] - r[2][0]) / s};
    } else {
        const float s = 2.0f * oxSqrtf(1.0f + r[2][2] - r[0][0] - r[1][1]);
        q = {(r[0][2] + r[2][0]) / s, (r[1][2] + r[2][1]) / s, 0.25f * s, (r[1][0] - r[0][1]) / s};
    }
    q.normalize();
    return q;
}

oxQuaternionf oxQuaternionf::fromEuler(float rx, float ry, float rz)
{
    const float cx = std::cos(0.5f * rx), sx = std::sin(0.5f * rx);
    const float cy = std::cos(0.5f * ry), sy = std::sin(0.5f * ry);
    const float cz = std::cos(0.5f * rz), sz = std::sin(0.5f * rz);
    return oxQuaternionf(sx, 0.0f, 0.0f, cx) * oxQuaternionf(0.0f, sy, 0.0f, cy) *
           oxQuaternionf(0.0f, 0.0f, sz, cz);
}

void oxQuaternionf::getAxisAngle(oxVec3f& axis, float& radians) const
{
    const oxQuaternionf q = w < 0.0f ? -normalized() : normalized();
    axis.set(q.x, q.y, q.z);
    // atan2 keeps its precision near 0 and pi, where acos(w) and asin(|axis|) lose it.
    const float s = axis.normalize();
    radians = 2.0f * std::atan2(s, q.w);
    if (s == 0.0f)
        axis.set(1.0f, 0.0f, 0.0f);
}

oxMatrix44f oxQuaternionf::toMatrix() const
{
    const float n = lengthSquared();
    if (n == 0.0f)
        return {};
    const float s = 2.0f / n;
    const float xx = s * x * x, yy = s * y * y, zz = s * z * z;
    const float xy = s * x * y, xz = s * x * z, yz = s * y * z;
    const float wx = s * w * x, wy = s * w * y, wz = s * w * z;
    return {1.0f - yy - zz, xy + wz, xz - wy, 0.0f,
            xy - wz, 1.0f - xx - zz, yz + wx, 0.0f,
            xz + wy, yz - wx, 1.0f - xx - yy, 0.0f,
            0.0f, 0.0f, 0.0f, 1.0f};
}

float oxQuaternionf::normalize()
{
    const float len = length();
    if (len > 0.0f) {
        x /= len;
        y /= len;
        z /= len;
        w /= len;
    } else {
        *this = oxQuaternionf();
    }
    return len;
}

bool oxQuaternionf::invert()
{
    const float n = lengthSquared();
    if (n == 0.0f)
        return false;
    *this = {-x / n, -y / n, -z / n, w / n};
    return true;
}

oxQuaternionf lerp(const oxQuaternionf& a, const oxQuaternionf& b, float t)
{
    const float sb = a.dot(b) < 0.0f ? -t : t;
    const float sa = 1.0f - t;
    oxQuaternionf r(sa * a.x + sb * b.x, sa * a.y + sb * b.y, sa * a.z + sb * b.z, sa * a.w + sb * b.w);
    r.normalize();
    return r;
}

oxQuaternionf slerp(const oxQuaternionf& a, const oxQuaternionf& b, float t)
{
    float d = a.dot(b);
    const float sign = d < 0.0f ? -1.0f : 1.0f;
    d *= sign;
    // Within about two degrees of each other (four degrees of rotation) sin(theta) is too
    // small to divide by, and the normalised blend is indistinguishable from the arc.
    if (d > 0.9995f)
        return lerp(a, b, t);
    const float theta = std::acos(d);
    // sin θ from the cosine: 1 - d is exact for d in [0.5, 1], so the product keeps full
    // precision where a sine of θ would cost a call.
    const float s = std::sqrt((1.0f - d) * (1.0f + d));
    const float wa = std::sin((1.0f - t) * theta) / s;
    const float wb = sign * std::sin(t * theta) / s;
    return {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
}

} // namespace Kel::Math
