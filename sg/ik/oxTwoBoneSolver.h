#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// The analytic two-bone solve shared by the scene-graph chains and the character chains.
// Positions are points of one frame: a root joint A, a middle joint B, an end effector C and
// a goal G; P chooses the plane the chain bends in and `twist` (radians) turns the solution
// about the root-to-goal direction. q1 is the rotation still missing at the root, q2 the one
// at the middle joint, both in that frame and about the joints themselves. A goal out of
// reach leaves the chain straight toward it.
void oxTwoBoneSolve(const oxVec3f& a, const oxVec3f& b, const oxVec3f& c, const oxVec3f& goal, const oxVec3f& pole,
                    float twist, oxQuaternionf& q1, oxQuaternionf& q2);

// Tolerance of every test the solve makes.
inline constexpr float kIKEpsilon = 0.00001f;

// Right-handed rotation by `radians` about `axis` (any length); the identity for an axis
// too short to have a direction.
oxQuaternionf oxIKAxisAngle(const oxVec3f& axis, float radians);
// The shortest rotation taking the direction of `from` onto that of `to`; opposite vectors
// turn half a turn about an axis perpendicular to `from`.
oxQuaternionf oxIKArc(const oxVec3f& from, const oxVec3f& to);
// Same or opposite directions once both are normalised.
bool oxIKParallel(const oxVec3f& a, const oxVec3f& b);

// A middle-joint rotation q2 solved in the root's parent frame, re-expressed as a rotation
// of the middle joint's own parent frame: rootRotation × matrix(q2) × rootRotation⁻¹,
// where `rootRotation` is the root's local matrix before this solve's root rotation.
oxMatrix44f oxIKMiddleJointCorrection(const oxQuaternionf& q2, const oxMatrix44f& rootRotation);
// A chain member's local matrix: its rest rotation, then the accumulated solution, then
// its rest translation.
oxMatrix44f oxIKPose(const oxMatrix44f& initial, const oxMatrix44f& solution);

} // namespace Kel::Sg
