#pragma once

#include <algorithm>
#include <cmath>

namespace Kel::Math {

inline constexpr float kPi = 3.14159265358979323846f;
inline constexpr float kTwoPi = 2.0f * kPi;
inline constexpr float kHalfPi = 0.5f * kPi;
inline constexpr float kInvPi = 1.0f / kPi;
inline constexpr float kDegToRad = kPi / 180.0f;
inline constexpr float kRadToDeg = 180.0f / kPi;

// Default tolerance of the approximate comparisons: a few ulps above 1.0f, large enough to
// absorb the rounding of a handful of chained float operations.
inline constexpr float kEpsilon = 1e-6f;

inline float oxSqrtf(float x) { return std::sqrt(x); }

inline constexpr float oxDegToRad(float degrees) { return degrees * kDegToRad; }
inline constexpr float oxRadToDeg(float radians) { return radians * kRadToDeg; }

// eps is an absolute tolerance for magnitudes up to 1 and a relative one above, so the
// same eps serves both unit directions and world-space coordinates.
inline bool oxIsEqual(float a, float b, float eps = kEpsilon)
{
    const float scale = std::max({1.0f, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) <= eps * scale;
}

} // namespace Kel::Math
