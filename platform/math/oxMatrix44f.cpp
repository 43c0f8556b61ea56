#include "platform/math/oxMatrix44f.h"

#include <cfloat>
#include <cmath>
#include <utility>

namespace Kel::Math {

namespace {

// A determinant is indistinguishable from zero when it is below the rounding error of its
// own evaluation. That error is bounded by a few ulps of the permanent of |M| (the
// determinant expansion with every term taken positive), which, unlike a fixed epsilon or
// the largest element, is invariant to scale and blind to large translations.
constexpr float kSingularTolerance = 16.0f * FLT_EPSILON;

bool isSingular(float det, float permanent)
{
    return !std::isfinite(det) || !(std::fabs(det) > kSingularTolerance * permanent);
}

} // namespace

void oxMatrix44f::preScale(const oxVec3f& s)
{
    for (int j = 0; j < 4; ++j) {
        m[0][j] *= s.x;
        m[1][j] *= s.y;
        m[2][j] *= s.z;
    }
}

void oxMatrix44f::postScale(const oxVec3f& s)
{
    for (int i = 0; i < 4; ++i) {
        m[i][0] *= s.x;
        m[i][1] *= s.y;
        m[i][2] *= s.z;
    }
}

void oxMatrix44f::preTranslate(const oxVec3f& t)
{
    for (int j = 0; j < 4; ++j)
        m[3][j] += t.x * m[0][j] + t.y * m[1][j] + t.z * m[2][j];
}

void oxMatrix44f::postTranslate(const oxVec3f& t)
{
    for (int i = 0; i < 4; ++i) {
        m[i][0] += m[i][3] * t.x;
        m[i][1] += m[i][3] * t.y;
        m[i][2] += m[i][3] * t.z;
    }
}

oxMatrix44f& oxMatrix44f::makeTranslation(const oxVec3f& t)
{
    makeIdentity();
    setTranslation(t);
    return *this;
}

oxMatrix44f& oxMatrix44f::makeScale(const oxVec3f& s)
{
    makeIdentity();
    m[0][0] = s.x;
    m[1][1] = s.y;
    m[2][2] = s.z;
    return *this;
}

oxMatrix44f& oxMatrix44f::makeRotation(const oxVec3f& axis, float radians)
{
    makeIdentity();
    oxVec3f a = axis;
    if (a.normalize() == 0.0f)
        return *this;
    const float c = std::cos(radians), s = std::sin(radians), k = 1.0f - c;
    // The transpose of the column-vector Rodrigues matrix c·I + s·[a]× + k·a·aᵀ.
    m[0][0] = c + k * a.x * a.x;
    m[0][1] = k * a.x * a.y + s * a.z;
    m[0][2] = k * a.x * a.z - s * a.y;
    m[1][0] = k * a.x * a.y - s * a.z;
    m[1][1] = c + k * a.y * a.y;
    m[1][2] = k * a.y * a.z + s * a.x;
    m[2][0] = k * a.x * a.z + s * a.y;
    m[2][1] = k * a.y * a.z - s * a.x;
    m[2][2] = c + k * a.z * a.z;
    return *this;
}

oxMatrix44f& oxMatrix44f::makeRotationX(float radians)
{
    makeIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m[1][1] = c;
    m[1][2] = s;
    m[2][1] = -s;
    m[2][2] = c;
    return *this;
}

oxMatrix44f& oxMatrix44f::makeRotationY(float radians)
{
    makeIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m[0][0] = c;
    m[0][2] = -s;
    m[2][0] = s;
    m[2][2] = c;
    return *this;
}

oxMatrix44f& oxMatrix44f::makeRotationZ(float radians)
{
    makeIdentity();
    const float c = std::cos(radians), s = std::sin(radians);
    m[0][0] = c;
    m[0][1] = s;
    m[1][0] = -s;
    m[1][1] = c;
    return *this;
}

bool oxMatrix44f::lookAt(const oxVec3f& eye, const oxVec3f& center, const oxVec3f& up)
{
    oxVec3f f = center - eye;
    if (f.normalize() == 0.0f)
        return false;
    oxVec3f s = f.cross(up);
    if (s.normalize() == 0.0f)
        return false;
    const oxVec3f u = s.cross(f);
    // The camera basis goes into the columns: the rows of the inverse of a rotation are its
    // columns, and this is the inverse of the camera's placement.
    *this = oxMatrix44f(s.x, u.x, -f.x, 0.0f,
                        s.y, u.y, -f.y, 0.0f,
                        s.z, u.z, -f.z, 0.0f,
                        -s.dot(eye), -u.dot(eye), f.dot(eye), 1.0f);
    return true;
}

bool oxMatrix44f::perspective(float fovyDegrees, float aspect, float zNear, float zFar)
{
    if (!(fovyDegrees > 0.0f && fovyDegrees < 180.0f) || aspect == 0.0f || !(zNear > 0.0f) ||
        !(zFar > 0.0f) || zNear == zFar)
        return false;
    const float f = 1.0f / std::tan(0.5f * oxDegToRad(fovyDegrees));
    const float depth = zNear - zFar;
    *this = oxMatrix44f(f / aspect, 0.0f, 0.0f, 0.0f,
                        0.0f, f, 0.0f, 0.0f,
                        0.0f, 0.0f, (zFar + zNear) / depth, -1.0f,
                        0.0f, 0.0f, 2.0f * zFar * zNear / depth, 0.0f);
    return true;
}

bool oxMatrix44f::frustum(float left, float right, float bottom, float top, float zNear, float zFar)
{
    if (left == right || bottom == top || !(zNear > 0.0f) || !(zFar > 0.0f) || zNear == zFar)
        return false;
    const float w = right - left, h = top - bottom, d = zFar - zNear;
    *this = oxMatrix44f(2.0f * zNear / w, 0.0f, 0.0f, 0.0f,
                        0.0f, 2.0f * zNear / h, 0.0f, 0.0f,
                        (right + left) / w, (top + bottom) / h, -(zFar + zNear) / d, -1.0f,
                        0.0f, 0.0f, -2.0f * zFar * zNear / d, 0.0f);
    return true;
}

bool oxMatrix44f::ortho(float left, float right, float bottom, float top, float zNear, float zFar)
{
    if (left == right || bottom == top || zNear == zFar)
        return false;
    const float w = right - left, h = top - bottom, d = zFar - zNear;
    *this = oxMatrix44f(2.0f / w, 0.0f, 0.0f, 0.0f,
                        0.0f, 2.0f / h, 0.0f, 0.0f,
                        0.0f, 0.0f, -2.0f / d, 0.0f,
                        -(right + left) / w, -(top + bottom) / h, -(zFar + zNear) / d, 1.0f);
    return true;
}

// Laplace expansion along the first two rows: the six 2x2 minors of rows 0-1 (s) pair
// with the complementary minors of rows 2-3 (c). The adjugate reuses all twelve.
namespace {

struct Minors
{
    float s[6], c[6];
};

template <typename Combine>
Minors minors(const float (&a)[4][4], Combine combine)
{
    Minors r;
    r.s[0] = combine(a[0][0] * a[1][1], a[1][0] * a[0][1]);
    r.s[1] = combine(a[0][0] * a[1][2], a[1][0] * a[0][2]);
    r.s[2] = combine(a[0][0] * a[1][3], a[1][0] * a[0][3]);
    r.s[3] = combine(a[0][1] * a[1][2], a[1][1] * a[0][2]);
    r.s[4] = combine(a[0][1] * a[1][3], a[1][1] * a[0][3]);
    r.s[5] = combine(a[0][2] * a[1][3], a[1][2] * a[0][3]);
    r.c[0] = combine(a[2][0] * a[3][1], a[3][0] * a[2][1]);
    r.c[1] = combine(a[2][0] * a[3][2], a[3][0] * a[2][2]);
    r.c[2] = combine(a[2][0] * a[3][3], a[3][0] * a[2][3]);
    r.c[3] = combine(a[2][1] * a[3][2], a[3][1] * a[2][2]);
    r.c[4] = combine(a[2][1] * a[3][3], a[3][1] * a[2][3]);
    r.c[5] = combine(a[2][2] * a[3][3], a[3][2] * a[2][3]);
    return r;
}

Minors minors(const float (&a)[4][4])
{
    return minors(a, [](float p, float q) { return p - q; });
}

float expand(const Minors& n)
{
    return n.s[0] * n.c[5] - n.s[1] * n.c[4] + n.s[2] * n.c[3] + n.s[3] * n.c[2] - n.s[4] * n.c[1] +
           n.s[5] * n.c[0];
}

float permanentOfAbs(const float (&a)[4][4])
{
    const Minors n = minors(a, [](float p, float q) { return std::fabs(p) + std::fabs(q); });
    return n.s[0] * n.c[5] + n.s[1] * n.c[4] + n.s[2] * n.c[3] + n.s[3] * n.c[2] + n.s[4] * n.c[1] +
           n.s[5] * n.c[0];
}

} // namespace

float oxMatrix44f::determinant() const
{
    return expand(minors(m));
}

bool oxMatrix44f::invert()
{
    const Minors n = minors(m);
    const float det = expand(n);
    if (isSingular(det, permanentOfAbs(m)))
        return false;
    const float (&a)[4][4] = m;
    const float* s = n.s;
    const float* c = n.c;
    const float inv = 1.0f / det;
    const oxMatrix44f r(
        (a[1][1] * c[5] - a[1][2] * c[4] + a[1][3] * c[3]) * inv,
        (-a[0][1] * c[5] + a[0][2] * c[4] - a[0][3] * c[3]) * inv,
        (a[3][1] * s[5] - a[3][2] * s[4] + a[3][3] * s[3]) * inv,
        (-a[2][1] * s[5] + a[2][2] * s[4] - a[2][3] * s[3]) * inv,

        (-a[1][0] * c[5] + a[1][2] * c[2] - a[1][3] * c[1]) * inv,
        (a[0][0] * c[5] - a[0][2] * c[2] + a[0][3] * c[1]) * inv,
        (-a[3][0] * s[5] + a[3][2] * s[2] - a[3][3] * s[1]) * inv,
        (a[2][0] * s[5] - a[2][2] * s[2] + a[2][3] * s[1]) * inv,

        (a[1][0] * c[4] - a[1][1] * c[2] + a[1][3] * c[0]) * inv,
        (-a[0][0] * c[4] + a[0][1] * c[2] - a[0][3] * c[0]) * inv,
        (a[3][0] * s[4] - a[3][1] * s[2] + a[3][3] * s[0]) * inv,
        (-a[2][0] * s[4] + a[2][1] * s[2] - a[2][3] * s[0]) * inv,

        (-a[1][0] * c[3] + a[1][1] * c[1] - a[1][2] * c[0]) * inv,
        (a[0][0] * c[3] - a[0][1] * c[1] + a[0][2] * c[0]) * inv,
        (-a[3][0] * s[3] + a[3][1] * s[1] - a[3][2] * s[0]) * inv,
        (a[2][0] * s[3] - a[2][1] * s[1] + a[2][2] * s[0]) * inv);
    *this = r;
    return true;
}

bool oxMatrix44f::invertAffine()
{
    const oxVec3f r0(m[0][0], m[0][1], m[0][2]);
    const oxVec3f r1(m[1][0], m[1][1], m[1][2]);
    const oxVec3f r2(m[2][0], m[2][1], m[2][2]);
    // The columns of the 3x3 inverse are the cross products of row pairs over the determinant.
    const oxVec3f c0 = r1.cross(r2), c1 = r2.cross(r0), c2 = r0.cross(r1);
    const float det = r0.dot(c0);
    const auto abs3 = [](const oxVec3f& v) { return oxVec3f(std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)); };
    const oxVec3f p0 = abs3(r0), p1 = abs3(r1), p2 = abs3(r2);
    const float perm = p0.x * (p1.y * p2.z + p1.z * p2.y) + p0.y * (p1.z * p2.x + p1.x * p2.z) +
                       p0.z * (p1.x * p2.y + p1.y * p2.x);
    if (isSingular(det, perm))
        return false;
    const float inv = 1.0f / det;
    const oxVec3f t = getTranslation();
    oxMatrix44f r(c0.x * inv, c1.x * inv, c2.x * inv, 0.0f,
                  c0.y * inv, c1.y * inv, c2.y * inv, 0.0f,
                  c0.z * inv, c1.z * inv, c2.z * inv, 0.0f,
                  0.0f, 0.0f, 0.0f, 1.0f);
    r.setTranslation(-r.transformVector(t));
    *this = r;
    return true;
}

void oxMatrix44f::transpose()
{
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            std::swap(m[i][j], m[j][i]);
}

} // namespace Kel::Math
