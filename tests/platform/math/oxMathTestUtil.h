#pragma once

#include <random>

#include <gtest/gtest.h>

#include "platform/math/oxMatrix44f.h"
#include "platform/math/oxQuaternionf.h"
#include "platform/math/oxVec3f.h"

namespace Kel::Math::TestUtil {

// Fixed seed: a failure must reproduce.
class Random
{
public:
    explicit Random(unsigned seed = 1234) : _engine(seed) {}

    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(_engine); }
    oxVec3f vec3(float lo = -1.0f, float hi = 1.0f) { return {uniform(lo, hi), uniform(lo, hi), uniform(lo, hi)}; }
    oxVec3f unitVec3()
    {
        for (;;) {
            oxVec3f v = vec3();
            const float len2 = v.lengthSquared();
            if (len2 > 0.01f && len2 <= 1.0f)
                return v / oxSqrtf(len2);
        }
    }
    oxQuaternionf rotation() { return oxQuaternionf::fromAxisAngle(unitVec3(), uniform(-kPi, kPi)); }

    // Rotation, non-uniform positive scale and translation, composed in the usual order.
    oxMatrix44f affine()
    {
        oxMatrix44f s, r, t;
        s.makeScale(vec3(0.2f, 3.0f));
        r.makeRotation(unitVec3(), uniform(-kPi, kPi));
        t.makeTranslation(vec3(-50.0f, 50.0f));
        return s * r * t;
    }

private:
    std::mt19937 _engine;
};

inline ::testing::AssertionResult near(const oxVec3f& a, const oxVec3f& b, float eps = 1e-5f)
{
    if (oxIsEqual(a, b, eps))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", "
                                         << b.y << ", " << b.z << ")";
}

inline ::testing::AssertionResult near(const oxMatrix44f& a, const oxMatrix44f& b, float eps = 1e-5f)
{
    if (oxIsEqual(a, b, eps))
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    for (int i = 0; i < 4; ++i)
        failure << "\n  [" << a.m[i][0] << ' ' << a.m[i][1] << ' ' << a.m[i][2] << ' ' << a.m[i][3] << "]  vs  ["
                << b.m[i][0] << ' ' << b.m[i][1] << ' ' << b.m[i][2] << ' ' << b.m[i][3] << ']';
    return failure;
}

// q and -q are the same rotation.
inline ::testing::AssertionResult sameRotation(const oxQuaternionf& a, const oxQuaternionf& b, float eps = 1e-5f)
{
    if (oxIsEqual(a, b, eps) || oxIsEqual(a, -b, eps))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

} // namespace Kel::Math::TestUtil
