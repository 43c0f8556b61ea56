#pragma once

#include "platform/math/oxMathDefs.h"
#include "platform/math/oxVec3f.h"
#include "platform/math/oxVec4f.h"

namespace Kel::Math {

// 4x4 transform for row vectors: a point transforms as v' = v × M, so a composite reads in
// the order its parts apply, model × view × projection, and the translation sits in the
// fourth row, m[3][0..2]. m[row][column] is laid out row by row, which is exactly the
// sixteen floats glLoadMatrixf expects.
//
// Angles are in radians except perspective()'s field of view, which is in degrees.
// Functions that can refuse their input return false and leave the matrix unchanged.
class oxMatrix44f
{
public:
    float m[4][4];

    // Identity rather than zero: a default transform should leave things where they are.
    constexpr oxMatrix44f() : m{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}} {}
    constexpr oxMatrix44f(float m00, float m01, float m02, float m03,
                          float m10, float m11, float m12, float m13,
                          float m20, float m21, float m22, float m23,
                          float m30, float m31, float m32, float m33)
        : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}
    {
    }

    static constexpr oxMatrix44f identity() { return {}; }
    oxMatrix44f& makeIdentity() { return *this = oxMatrix44f(); }

    const float* data() const { return &m[0][0]; }
    float* data() { return &m[0][0]; }

    oxVec4f getRow(int i) const { return {m[i][0], m[i][1], m[i][2], m[i][3]}; }
    void setRow(int i, const oxVec4f& r)
    {
        m[i][0] = r.x;
        m[i][1] = r.y;
        m[i][2] = r.z;
        m[i][3] = r.w;
    }
    oxVec4f getColumn(int j) const { return {m[0][j], m[1][j], m[2][j], m[3][j]}; }
    void setColumn(int j, const oxVec4f& c)
    {
        m[0][j] = c.x;
        m[1][j] = c.y;
        m[2][j] = c.z;
        m[3][j] = c.w;
    }

    oxVec3f getTranslation() const { return {m[3][0], m[3][1], m[3][2]}; }
    void setTranslation(const oxVec3f& t)
    {
        m[3][0] = t.x;
        m[3][1] = t.y;
        m[3][2] = t.z;
    }

    // *this = a × b: a applies first. Either operand may be *this.
    void multiply(const oxMatrix44f& a, const oxMatrix44f& b);
    // *this = a × *this: a applies before the current transform.
    void preMultiply(const oxMatrix44f& a) { multiply(a, *this); }
    // *this = *this × b: b applies after the current transform.
    void postMultiply(const oxMatrix44f& b) { multiply(*this, b); }
    oxMatrix44f& operator*=(const oxMatrix44f& b)
    {
        multiply(*this, b);
        return *this;
    }

    // Pre-: scale(s) × *this, the scale applies in the local frame, before the transform.
    // Post-: *this × scale(s), the scale applies to the transform's output.
    void preScale(const oxVec3f& s);
    void postScale(const oxVec3f& s);
    void preTranslate(const oxVec3f& t);
    void postTranslate(const oxVec3f& t);

    oxMatrix44f& makeTranslation(const oxVec3f& t);
    oxMatrix44f& makeScale(const oxVec3f& s);
    oxMatrix44f& makeScale(float s) { return makeScale(oxVec3f(s, s, s)); }
    // Right-handed: seen from the tip of the axis looking back at the origin, positive angles
    // turn counter-clockwise. A zero axis yields the identity.
    oxMatrix44f& makeRotation(const oxVec3f& axis, float radians);
    oxMatrix44f& makeRotationX(float radians);
    oxMatrix44f& makeRotationY(float radians);
    oxMatrix44f& makeRotationZ(float radians);

    // View matrix of a right-handed camera at eye looking at center, -Z forward and +Y as
    // close to up as the view direction allows. False when eye == center or up is parallel
    // to the view direction.
    bool lookAt(const oxVec3f& eye, const oxVec3f& center, const oxVec3f& up);

    // Projections to OpenGL clip space: x, y, z all in [-w, w], the near plane at depth -1
    // and the far plane at +1. Near and far are positive distances along -Z. False when a
    // size is zero, or for the perspective ones when near or far is not positive.
    bool perspective(float fovyDegrees, float aspect, float zNear, float zFar);
    bool frustum(float left, float right, float bottom, float top, float zNear, float zFar);
    bool ortho(float left, float right, float bottom, float top, float zNear, float zFar);

    float determinant() const;
    // False when the matrix is singular to float precision.
    bool invert();
    // Cheaper inverse for matrices whose fourth column is (0, 0, 0, 1), which it assumes
    // without looking.
    bool invertAffine();
    void transpose();
    oxMatrix44f transposed() const
    {
        oxMatrix44f r = *this;
        r.transpose();
        return r;
    }

    oxVec4f transform(const oxVec4f& v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + v.w * m[3][0],
                v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + v.w * m[3][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + v.w * m[3][2],
                v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + v.w * m[3][3]};
    }
    // As the point (v, 1); a projective result is divided by w unless w is 0, where the
    // point has gone to infinity and no division can represent it.
    oxVec3f transformPoint(const oxVec3f& v) const
    {
        const oxVec4f r = transform(oxVec4f(v, 1.0f));
        if (r.w != 1.0f && r.w != 0.0f)
            return r.xyz() / r.w;
        return r.xyz();
    }
    // As the direction (v, 0): no translation, no projective divide.
    oxVec3f transformVector(const oxVec3f& v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0],
                v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    }

    // Exact comparisons: they answer whether work can be skipped, not whether two results
    // are close; oxIsEqual() does the latter.
    bool isIdentity() const { return *this == oxMatrix44f(); }
    bool isAffine() const
    {
        return m[0][3] == 0.0f && m[1][3] == 0.0f && m[2][3] == 0.0f && m[3][3] == 1.0f;
    }

    bool operator==(const oxMatrix44f& o) const;
    bool operator!=(const oxMatrix44f& o) const { return !(*this == o); }
};

inline void oxMatrix44f::multiply(const oxMatrix44f& a, const oxMatrix44f& b)
{
    oxMatrix44f r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    *this = r;
}

inline bool oxMatrix44f::operator==(const oxMatrix44f& o) const
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m[i][j] != o.m[i][j])
                return false;
    return true;
}

inline oxMatrix44f operator*(const oxMatrix44f& a, const oxMatrix44f& b)
{
    oxMatrix44f r;
    r.multiply(a, b);
    return r;
}

// Row vector times matrix, the order in which the transform applies.
inline oxVec4f operator*(const oxVec4f& v, const oxMatrix44f& m) { return m.transform(v); }

// Screen size of model-space lengths under a model-view and a projection matrix and a
// viewport: the result s makes an object of model-space diameter D centred at p cover
// D / (s · (p, 1)) pixels across. s · (p, 1) is the clip-space w of p (1 under an
// orthographic projection) over the pixels per eye-space unit at w = 1, so the same
// vector serves perspective and orthographic views.
inline oxVec4f oxPixelToModelScale(const oxMatrix44f& modelView, const oxMatrix44f& projection, int width,
                                   int height)
{
    (void)height; // square pixels: the horizontal scale stands for both axes
    const float modelScale = oxVec3f(modelView.m[0][0], modelView.m[0][1], modelView.m[0][2]).length();
    const float pixelsPerUnit = modelScale * projection.m[0][0] * float(width) * 0.5f;
    if (pixelsPerUnit == 0)
        return oxVec4f(0, 0, 0, 0);
    // Only the w column of model-view × projection is needed: it is computed once per
    // transform a culling walk passes.
    const oxVec4f w = projection.getColumn(3);
    return oxVec4f(modelView.getRow(0).dot(w), modelView.getRow(1).dot(w), modelView.getRow(2).dot(w),
                   modelView.getRow(3).dot(w)) *
           (1.0f / pixelsPerUnit);
}

inline float oxPixelSpaceDiameter(const oxVec4f& scale, const oxVec3f& centre, float diameter)
{
    const float d = scale.x * centre.x + scale.y * centre.y + scale.z * centre.z + scale.w;
    return d == 0 ? 0 : diameter / d;
}

inline float oxModelSpaceDiameter(const oxVec4f& scale, const oxVec3f& centre, float pixelDiameter)
{
    return pixelDiameter * (scale.x * centre.x + scale.y * centre.y + scale.z * centre.z + scale.w);
}

inline bool oxIsEqual(const oxMatrix44f& a, const oxMatrix44f& b, float eps = kEpsilon)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!oxIsEqual(a.m[i][j], b.m[i][j], eps))
                return false;
    return true;
}

} // namespace Kel::Math
