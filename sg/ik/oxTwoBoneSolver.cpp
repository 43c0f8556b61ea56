#include "sg/ik/oxTwoBoneSolver.h"

#include <algorithm>
#include <cmath>

namespace Kel::Sg {

namespace {

// The rotation about `axis` whose half angle has this sine and cosine, with the axis rules
// of the solve: too short an axis turns nothing, one of unit length within the tolerance
// is taken as it stands, so that rounding does not move a caller's exact axis.
oxQuaternionf axisHalfAngle(const oxVec3f& axis, float sine, float cosine)
{
    const float len2 = axis.lengthSquared();
    if (len2 <= kIKEpsilon)
        return oxQuaternionf();
    const oxVec3f w = std::fabs(len2 - 1.0f) <= kIKEpsilon ? axis : axis / std::sqrt(len2);
    return oxQuaternionf(w.x * sine, w.y * sine, w.z * sine, cosine);
}

} // namespace

oxQuaternionf oxIKAxisAngle(const oxVec3f& axis, float radians)
{
    // This library's quaternions turn right-handed (v × toMatrix() == rotate(v)), so the
    // sine carries the angle's own sign.
    return axisHalfAngle(axis, std::sin(0.5f * radians), std::cos(0.5f * radians));
}

oxQuaternionf oxIKArc(const oxVec3f& from, const oxVec3f& to)
{
    const float lengths = from.length() * to.length();
    if (lengths <= kIKEpsilon)
        return oxQuaternionf();
    const float dot = from.dot(to);
    const oxVec3f w = from.cross(to);
    const float w2 = w.lengthSquared();
    if (dot < 0.0f && w2 < kIKEpsilon * kIKEpsilon) {
        // Opposite directions have no cross product to turn about: any axis perpendicular
        // to `from` does, built from its largest component so that it cannot vanish.
        oxVec3f axis;
        int i = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(from[k]) >= std::fabs(from[i]))
                i = k;
        const int j = (i + 1) % 3;
        axis[i] = -from[j];
        axis[j] = from[i];
        return oxIKAxisAngle(axis, std::acos(std::clamp(dot / lengths, -1.0f, 1.0f)));
    }
    if (w2 <= kIKEpsilon)
        return oxQuaternionf();
    // The rotation by the angle between them about their cross product, by the half-angle
    // identity: (w, |a||b| + a.b) has the direction of (sin(α/2) ŵ, cos(α/2)), so one
    // square root replaces acos, sin and cos.
    const float real = lengths + dot;
    const float scale = 1.0f / std::sqrt(w2 + real * real);
    return oxQuaternionf(w.x * scale, w.y * scale, w.z * scale, real * scale);
}

bool oxIKParallel(const oxVec3f& a, const oxVec3f& b)
{
    const float lengths2 = a.lengthSquared() * b.lengthSquared();
    if (lengths2 <= 0.0f)
        return false;
    const float dot = a.dot(b);
    return std::fabs(std::sqrt(dot * dot / lengths2) - 1.0f) <= kIKEpsilon;
}

void oxTwoBoneSolve(const oxVec3f& a, const oxVec3f& b, const oxVec3f& c, const oxVec3f& goal, const oxVec3f& pole,
                    float twist, oxQuaternionf& q1, oxQuaternionf& q2)
{
    const oxVec3f u = b - a;
    const oxVec3f v = c - b;
    const oxVec3f g = goal - a;
    const oxVec3f e = c - a;
    const float l1 = u.length();
    const float l2 = v.length();
    const float lg2 = g.lengthSquared();

    // The upper bone's part across the root-to-end line: what still tells the bend's side
    // once the upper bone itself lines up with the goal.
    const float e2 = e.lengthSquared();
    const oxVec3f n = e2 > 0.0f ? u - e * (u.dot(e) / e2) : u;

    // θ, the bones' angle now, and φ, the one that puts the end effector at the goal's
    // distance (beyond reach the cosine clamps and the chain stretches straight), are kept
    // as sines and cosines: the middle joint turns by φ - θ, whose half angle follows
    // from them without a trigonometric call.
    const float lengths = l1 * l2;
    const oxVec3f bend = u.cross(v);
    const float cosTheta = lengths > 0.0f ? std::clamp(u.dot(v) / lengths, -1.0f, 1.0f) : 1.0f;
    const float sinTheta = lengths > 0.0f ? std::fmin(bend.length() / lengths, 1.0f) : 0.0f;
    const float cosPhi = lengths > 0.0f ? std::clamp((lg2 - l1 * l1 - l2 * l2) / (2.0f * lengths), -1.0f, 1.0f) : 1.0f;
    const float sinPhi = std::sqrt(std::fmax(1.0f - cosPhi * cosPhi, 0.0f));
    // A straight chain has no bend plane of its own; the pole vector gives it one.
    // (θ ≤ ε, with tan θ standing for θ at that size.)
    const bool straight = cosTheta > 0.0f && sinTheta <= kIKEpsilon * cosTheta;
    const oxVec3f k = straight ? pole : bend.normalized();
    const float cosTurn = cosPhi * cosTheta + sinPhi * sinTheta;
    const float sinTurn = sinPhi * cosTheta - cosPhi * sinTheta;
    const float halfCos = std::sqrt(std::fmax(0.5f * (1.0f + cosTurn), 0.0f));
    float halfSin;
    if (halfCos > 1e-3f)
        halfSin = sinTurn / (2.0f * halfCos);
    else  // a half turn either way: the sign is that of φ - θ
        halfSin = std::copysign(std::sqrt(std::fmax(0.5f * (1.0f - cosTurn), 0.0f)), cosTheta - cosPhi);
    q2 = axisHalfAngle(k, halfSin, halfCos);

    const oxVec3f bentEnd = u + q2.rotate(v);
    const oxQuaternionf qA = oxIKArc(bentEnd, g);
    oxVec3f upper = qA.rotate(u);
    if (oxIKParallel(upper, g))
        upper = qA.rotate(n);

    // Turns the chain about the goal direction until the upper bone leans toward the pole;
    // meaningless when the pole lies along that direction or the goal sits on the root.
    oxQuaternionf qP;
    if (lg2 != 0.0f && !oxIKParallel(pole, g)) {
        const oxVec3f across = upper - g * (upper.dot(g) / lg2);
        const oxVec3f poleAcross = pole - g * (pole.dot(g) / lg2);
        const float s = across.dot(poleAcross) / (across.length() * poleAcross.length()) + 1.0f;
        qP = std::fabs(s) < kIKEpsilon ? oxIKAxisAngle(g, 3.1415927f) : oxIKArc(across, poleAcross);
    }
    const oxQuaternionf qT = oxIKAxisAngle(g, twist);
    q1 = qA * (qP * qT);
}

oxMatrix44f oxIKMiddleJointCorrection(const oxQuaternionf& q2, const oxMatrix44f& rootRotation)
{
    oxMatrix44f m = q2.toMatrix();
    m.preMultiply(rootRotation);
    oxMatrix44f inverse = rootRotation;
    inverse.invertAffine();
    m.postMultiply(inverse);
    return m;
}

oxMatrix44f oxIKPose(const oxMatrix44f& initial, const oxMatrix44f& solution)
{
    oxMatrix44f rest = initial;
    rest.setTranslation(oxVec3f(0, 0, 0));
    oxMatrix44f pose = rest * solution;
    pose.postTranslate(initial.getTranslation());
    return pose;
}

} // namespace Kel::Sg
