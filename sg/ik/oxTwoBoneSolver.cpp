#include "sg/ik/oxTwoBoneSolver.h"

#include <algorithm>
#include <cmath>

namespace Kel::Sg {

oxQuaternionf oxIKAxisAngle(const oxVec3f& axis, float radians)
{
    const float len2 = axis.lengthSquared();
    if (len2 <= kIKEpsilon)
        return oxQuaternionf();
    // An axis already of unit length within the tolerance is taken as it stands, so that
    // rounding does not move a caller's exact axis.
    const oxVec3f w = std::fabs(len2 - 1.0f) <= kIKEpsilon ? axis : axis / std::sqrt(len2);
    // This library's quaternions turn right-handed (v × toMatrix() == rotate(v)), so the
    // sine carries the angle's own sign.
    const float s = std::sin(0.5f * radians);
    return oxQuaternionf(w.x * s, w.y * s, w.z * s, std::cos(0.5f * radians));
}

oxQuaternionf oxIKArc(const oxVec3f& from, const oxVec3f& to)
{
    const float lengths = from.length() * to.length();
    if (lengths <= kIKEpsilon)
        return oxQuaternionf();
    const float cosine = std::clamp(from.dot(to) / lengths, -1.0f, 1.0f);
    const float angle = std::acos(cosine);
    oxVec3f w = from.cross(to);
    if (cosine < 0.0f && w.length() < kIKEpsilon) {
        // Opposite directions have no cross product to turn about: any axis perpendicular
        // to `from` does, built from its largest component so that it cannot vanish.
        int i = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(from[k]) >= std::fabs(from[i]))
                i = k;
        const int j = (i + 1) % 3;
        w[i] = -from[j];
        w[j] = from[i];
        w[(i + 2) % 3] = 0.0f;
    }
    return oxIKAxisAngle(w, angle);
}

bool oxIKParallel(const oxVec3f& a, const oxVec3f& b)
{
    return std::fabs(std::fabs(a.normalized().dot(b.normalized())) - 1.0f) <= kIKEpsilon;
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

    const float lengths = l1 * l2;
    const float theta = lengths > 0.0f ? std::acos(std::clamp(u.dot(v) / lengths, -1.0f, 1.0f)) : 0.0f;
    // A straight chain has no bend plane of its own; the pole vector gives it one.
    const oxVec3f k = std::fabs(theta) <= kIKEpsilon ? pole : u.cross(v).normalized();

    // The bend that puts the end effector at the goal's distance; beyond reach the cosine
    // clamps and the chain stretches straight.
    const float cosine = lengths > 0.0f ? std::clamp((lg2 - l1 * l1 - l2 * l2) / (2.0f * lengths), -1.0f, 1.0f) : 1.0f;
    const float phi = std::acos(cosine);
    q2 = oxIKAxisAngle(k, phi - theta);

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
