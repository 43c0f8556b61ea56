#include <type_traits>

#include <gtest/gtest.h>

#include "platform/math/oxMatrix44f.h"
#include "tests/platform/math/oxMathTestUtil.h"

using namespace Kel::Math;
using Kel::Math::TestUtil::near;
using Kel::Math::TestUtil::Random;

static_assert(std::is_trivially_copyable_v<oxMatrix44f> && sizeof(oxMatrix44f) == 16 * sizeof(float));

namespace {

oxMatrix44f translation(float x, float y, float z) { return oxMatrix44f().makeTranslation({x, y, z}); }

oxMatrix44f randomProjective(Random& rnd)
{
    oxMatrix44f m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = rnd.uniform(-2.0f, 2.0f);
    return m;
}

} // namespace

TEST(oxMatrix44fLayout, TranslationLivesInTheFourthRowOfContiguousStorage)
{
    const oxMatrix44f t = translation(5, 6, 7);
    EXPECT_EQ(t.data()[12], 5.0f);
    EXPECT_EQ(t.data()[13], 6.0f);
    EXPECT_EQ(t.data()[14], 7.0f);
    EXPECT_EQ(t.getRow(3), oxVec4f(5, 6, 7, 1));
    EXPECT_EQ(t.getColumn(3), oxVec4f(0, 0, 0, 1));
    EXPECT_TRUE(oxMatrix44f().isIdentity());
    EXPECT_FALSE(t.isIdentity());
}

TEST(oxMatrix44fTransform, RowVectorsComposeLeftToRight)
{
    oxMatrix44f r;
    r.makeRotationZ(kHalfPi);
    const oxMatrix44f t = translation(10, 0, 0);
    // Translate, then rotate a quarter turn about Z: (1,0,0) -> (11,0,0) -> (0,11,0).
    EXPECT_TRUE(near((t * r).transformPoint({1, 0, 0}), oxVec3f(0, 11, 0)));
    EXPECT_TRUE(near((r * t).transformPoint({1, 0, 0}), oxVec3f(10, 1, 0)));
    EXPECT_TRUE(near((oxVec4f(1, 0, 0, 1) * (t * r)).xyz(), oxVec3f(0, 11, 0)));
}

TEST(oxMatrix44fTransform, MultiplyMayAliasItsOperands)
{
    Random rnd;
    const oxMatrix44f a = rnd.affine(), b = rnd.affine();
    oxMatrix44f m = a;
    m.postMultiply(b);
    EXPECT_EQ(m, a * b);
    m = b;
    m.preMultiply(a);
    EXPECT_EQ(m, a * b);
    m = a;
    m.multiply(m, m);
    EXPECT_EQ(m, a * a);
}

TEST(oxMatrix44fTransform, PointsTranslateVectorsDoNotAndWDivides)
{
    oxMatrix44f m;
    m.makeScale({2, 3, 4});
    m.setTranslation({1, 1, 1});
    EXPECT_EQ(m.transformPoint({1, 1, 1}), oxVec3f(3, 4, 5));
    EXPECT_EQ(m.transformVector({1, 1, 1}), oxVec3f(2, 3, 4));
    EXPECT_EQ(m.transform({1, 1, 1, 0}), oxVec4f(2, 3, 4, 0));

    oxMatrix44f w;
    w.m[0][3] = 1.0f; // w = x + 1
    EXPECT_EQ(w.transformPoint({1, 4, 6}), oxVec3f(0.5f, 2, 3));
    // w = 0: nothing finite to divide into, the homogeneous xyz is returned.
    EXPECT_EQ(w.transformPoint({-1, 4, 6}), oxVec3f(-1, 4, 6));
}

TEST(oxMatrix44fTransform, PreAndPostOperationsMatchMultiplication)
{
    Random rnd;
    const oxMatrix44f m = rnd.affine();
    const oxVec3f s(2, -3, 0.5f), t(4, 5, -6);
    oxMatrix44f a = m, b = m, c = m, d = m;
    a.preScale(s);
    b.postScale(s);
    c.preTranslate(t);
    d.postTranslate(t);
    EXPECT_TRUE(near(a, oxMatrix44f().makeScale(s) * m));
    EXPECT_TRUE(near(b, m * oxMatrix44f().makeScale(s)));
    EXPECT_TRUE(near(c, oxMatrix44f().makeTranslation(t) * m, 1e-5f));
    EXPECT_TRUE(near(d, m * oxMatrix44f().makeTranslation(t), 1e-5f));

    // Post-translation must also be right for projective matrices, whose w column is not (0,0,0,1).
    oxMatrix44f p = randomProjective(rnd), q = p;
    q.postTranslate(t);
    EXPECT_TRUE(near(q, p * oxMatrix44f().makeTranslation(t), 1e-5f));
}

TEST(oxMatrix44fRotation, AxisAngleAgreesWithPrincipalAxes)
{
    for (float a : {0.3f, -1.7f, 3.0f}) {
        oxMatrix44f r, e;
        EXPECT_TRUE(near(r.makeRotation({2, 0, 0}, a), e.makeRotationX(a)));
        EXPECT_TRUE(near(r.makeRotation({0, 0.5f, 0}, a), e.makeRotationY(a)));
        EXPECT_TRUE(near(r.makeRotation({0, 0, 1}, a), e.makeRotationZ(a)));
    }
    oxMatrix44f r;
    EXPECT_TRUE(r.makeRotation({0, 0, 0}, 1.0f).isIdentity());
}

TEST(oxMatrix44fRotation, FixesItsAxisAndPreservesLengthAndHandedness)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const oxVec3f axis = rnd.unitVec3();
        const float angle = rnd.uniform(-kPi, kPi);
        oxMatrix44f r;
        r.makeRotation(axis, angle);
        EXPECT_TRUE(near(r.transformVector(axis), axis));
        const oxVec3f v = rnd.vec3();
        EXPECT_NEAR(r.transformVector(v).length(), v.length(), 1e-5f);
        EXPECT_NEAR(r.determinant(), 1.0f, 1e-5f);
        // The angle between a perpendicular vector and its image is the rotation angle,
        // and the turn is counter-clockwise about the axis.
        const oxVec3f p = cross(axis, rnd.unitVec3()).normalized();
        const oxVec3f q = r.transformVector(p);
        EXPECT_NEAR(dot(p, q), std::cos(angle), 1e-5f);
        EXPECT_NEAR(dot(cross(p, q), axis), std::sin(angle), 1e-5f);
    }
}

TEST(oxMatrix44fInverse, InverseTimesMatrixIsIdentity)
{
    Random rnd;
    for (int i = 0; i < 100; ++i) {
        const oxMatrix44f m = rnd.affine();
        oxMatrix44f inv = m, aff = m;
        ASSERT_TRUE(inv.invert());
        ASSERT_TRUE(aff.invertAffine());
        EXPECT_TRUE(near(m * inv, oxMatrix44f(), 1e-4f));
        EXPECT_TRUE(near(inv * m, oxMatrix44f(), 1e-4f));
        EXPECT_TRUE(near(aff, inv, 1e-4f));
        EXPECT_TRUE(aff.isAffine());
    }
    int tested = 0;
    for (int i = 0; i < 200; ++i) {
        const oxMatrix44f m = randomProjective(rnd);
        // Random matrices can be ill-conditioned; keep the ones a float inverse can answer.
        if (std::fabs(m.determinant()) < 0.5f)
            continue;
        oxMatrix44f inv = m;
        ASSERT_TRUE(inv.invert());
        EXPECT_TRUE(near(m * inv, oxMatrix44f(), 1e-4f));
        EXPECT_TRUE(near(inv * m, oxMatrix44f(), 1e-4f));
        ++tested;
    }
    EXPECT_GT(tested, 50);

    oxMatrix44f p;
    ASSERT_TRUE(p.perspective(60, 1.5f, 0.1f, 1000));
    EXPECT_FALSE(p.isAffine());
    oxMatrix44f inv = p;
    ASSERT_TRUE(inv.invert());
    EXPECT_TRUE(near(p * inv, oxMatrix44f(), 1e-4f));
}

TEST(oxMatrix44fInverse, SingularMatricesAreRefusedAndLeftUnchanged)
{
    oxMatrix44f flat;
    flat.makeScale({1, 1, 0});
    flat.setTranslation({1, 2, 3});
    oxMatrix44f m = flat;
    EXPECT_FALSE(m.invert());
    EXPECT_EQ(m, flat);
    EXPECT_FALSE(m.invertAffine());
    EXPECT_EQ(m, flat);

    // Rows that are dependent only up to rounding: row 2 = row 0 + row 1.
    oxMatrix44f dep(0.1f, 0.7f, 0.3f, 0.2f,
                    0.3f, 0.9f, 0.6f, 0.1f,
                    0.1f + 0.3f, 0.7f + 0.9f, 0.3f + 0.6f, 0.2f + 0.1f,
                    1.0f, 2.0f, 3.0f, 1.0f);
    m = dep;
    EXPECT_FALSE(m.invert());
    EXPECT_EQ(m, dep);
}

TEST(oxMatrix44fInverse, SingularityIsJudgedRelativeToScale)
{
    // Tiny scales and far translations are perfectly invertible.
    oxMatrix44f m;
    m.makeScale(1e-4f);
    m.setTranslation({1e6f, -2e6f, 5e5f});
    oxMatrix44f expected;
    expected.makeScale(1e4f);
    expected.setTranslation({-1e10f, 2e10f, -5e9f});
    oxMatrix44f inv = m;
    ASSERT_TRUE(inv.invert());
    EXPECT_TRUE(near(inv, expected));
    inv = m;
    ASSERT_TRUE(inv.invertAffine());
    EXPECT_TRUE(near(inv, expected));
}

TEST(oxMatrix44fAlgebra, DeterminantIsMultiplicativeAndTransposeReversesProducts)
{
    Random rnd;
    EXPECT_FLOAT_EQ(oxMatrix44f().makeScale({2, 3, -4}).determinant(), -24.0f);
    for (int i = 0; i < 50; ++i) {
        const oxMatrix44f a = randomProjective(rnd), b = randomProjective(rnd);
        EXPECT_NEAR((a * b).determinant(), a.determinant() * b.determinant(), 1e-3f);
        EXPECT_NEAR(a.transposed().determinant(), a.determinant(), 1e-4f);
        EXPECT_TRUE(near((a * b).transposed(), b.transposed() * a.transposed()));
    }
    oxMatrix44f c = translation(1, 2, 3);
    c.transpose();
    EXPECT_EQ(c.getColumn(3), oxVec4f(1, 2, 3, 1));
}

TEST(oxMatrix44fView, LookAtPutsTheEyeAtTheOriginLookingDownMinusZ)
{
    Random rnd;
    for (int i = 0; i < 50; ++i) {
        const oxVec3f eye = rnd.vec3(-20, 20), center = rnd.vec3(-20, 20), up = rnd.unitVec3();
        oxMatrix44f v;
        if (cross(center - eye, up).length() < 1e-2f)
            continue;
        ASSERT_TRUE(v.lookAt(eye, center, up));
        EXPECT_TRUE(near(v.transformPoint(eye), oxVec3f(), 1e-4f));
        const float dist = (center - eye).length();
        EXPECT_TRUE(near(v.transformPoint(center), oxVec3f(0, 0, -dist), 1e-4f));
        // Up lands in the upper half of the view plane, and the frame stays rigid.
        const oxVec3f upView = v.transformVector(up);
        EXPECT_NEAR(upView.x, 0.0f, 1e-5f);
        EXPECT_GT(upView.y, 0.0f);
        EXPECT_NEAR(v.determinant(), 1.0f, 1e-4f);
        const oxVec3f w = rnd.vec3();
        EXPECT_NEAR(v.transformVector(w).length(), w.length(), 1e-4f);
    }
}

TEST(oxMatrix44fView, LookAtRefusesDegenerateInput)
{
    oxMatrix44f v = translation(1, 2, 3);
    EXPECT_FALSE(v.lookAt({1, 1, 1}, {1, 1, 1}, {0, 1, 0}));
    EXPECT_FALSE(v.lookAt({0, 0, 0}, {0, 5, 0}, {0, 1, 0}));
    EXPECT_EQ(v, translation(1, 2, 3));
}

TEST(oxMatrix44fProjection, PerspectiveMapsNearAndFarToMinusOneAndOne)
{
    const float n = 0.5f, f = 200.0f, fovy = 60.0f, aspect = 2.0f;
    oxMatrix44f p;
    ASSERT_TRUE(p.perspective(fovy, aspect, n, f));
    EXPECT_NEAR(p.transformPoint({0, 0, -n}).z, -1.0f, 1e-5f);
    EXPECT_NEAR(p.transformPoint({0, 0, -f}).z, 1.0f, 1e-4f);
    // Clip w is the distance in front of the camera.
    EXPECT_FLOAT_EQ(p.transform({0, 0, -7, 1}).w, 7.0f);
    // The field of view's top edge lands on y = 1 at any depth; the sides follow the aspect.
    const float h = std::tan(oxDegToRad(fovy) / 2);
    for (float d : {n, 3.0f, f}) {
        const oxVec3f c = p.transformPoint({aspect * h * d, h * d, -d});
        EXPECT_NEAR(c.x, 1.0f, 1e-5f);
        EXPECT_NEAR(c.y, 1.0f, 1e-5f);
    }
    // The same volume as a symmetric frustum.
    oxMatrix44f q;
    ASSERT_TRUE(q.frustum(-aspect * h * n, aspect * h * n, -h * n, h * n, n, f));
    EXPECT_TRUE(near(p, q, 1e-5f));
}

TEST(oxMatrix44fProjection, OffCentreFrustumMapsItsCornersToTheClipCube)
{
    oxMatrix44f p;
    ASSERT_TRUE(p.frustum(-1, 3, -2, 0.5f, 2, 10));
    EXPECT_TRUE(near(p.transformPoint({-1, -2, -2}), oxVec3f(-1, -1, -1)));
    EXPECT_TRUE(near(p.transformPoint({3, 0.5f, -2}), oxVec3f(1, 1, -1)));
    // At the far plane the window scales by far / near.
    EXPECT_TRUE(near(p.transformPoint({15, 2.5f, -10}), oxVec3f(1, 1, 1)));
}

TEST(oxMatrix44fProjection, OrthoMapsTheBoxToTheClipCube)
{
    oxMatrix44f o;
    ASSERT_TRUE(o.ortho(-4, 2, -1, 3, -5, 10));
    EXPECT_TRUE(o.isAffine());
    EXPECT_TRUE(near(o.transformPoint({-4, -1, 5}), oxVec3f(-1, -1, -1)));
    EXPECT_TRUE(near(o.transformPoint({2, 3, -10}), oxVec3f(1, 1, 1)));
    EXPECT_TRUE(near(o.transformPoint({-1, 1, -2.5f}), oxVec3f(0, 0, 0)));
}

TEST(oxMatrix44fProjection, DegenerateVolumesAreRefused)
{
    oxMatrix44f m = translation(1, 2, 3);
    EXPECT_FALSE(m.perspective(60, 1, 0, 10));
    EXPECT_FALSE(m.perspective(60, 1, 5, 5));
    EXPECT_FALSE(m.perspective(0, 1, 1, 10));
    EXPECT_FALSE(m.perspective(60, 0, 1, 10));
    EXPECT_FALSE(m.frustum(1, 1, -1, 1, 1, 10));
    EXPECT_FALSE(m.frustum(-1, 1, -1, 1, -1, 10));
    EXPECT_FALSE(m.ortho(-1, 1, 2, 2, 1, 10));
    EXPECT_FALSE(m.ortho(-1, 1, -1, 1, 3, 3));
    EXPECT_EQ(m, translation(1, 2, 3));
}
