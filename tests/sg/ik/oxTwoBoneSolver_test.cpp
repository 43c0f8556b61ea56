// The analytic two-bone solve on its own: a chain is posed by applying q2 at the middle
// joint and q1 at the root, as both settings of the solver do, and the pose is measured.
#include <gtest/gtest.h>

#include <cmath>

#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {

struct Chain {
    oxVec3f a, b, c;
};

// The chain after the solver's rotations: the lower bone turns about the middle joint,
// then the whole chain about the root.
Chain pose(const Chain& chain, const oxQuaternionf& q1, const oxQuaternionf& q2)
{
    const oxVec3f b = chain.a + q1.rotate(chain.b - chain.a);
    return {chain.a, b, b + q1.rotate(q2.rotate(chain.c - chain.b))};
}

Chain solveOnce(const Chain& chain, const oxVec3f& goal, const oxVec3f& pole, float twist = 0.0f)
{
    oxQuaternionf q1, q2;
    oxInverseKinematicsSolver::twoBoneInverseKinematicSolver(chain.a, chain.b, chain.c, goal, pole, twist, q1, q2);
    return pose(chain, q1, q2);
}

void expectNear(const oxVec3f& actual, const oxVec3f& expected, float tolerance, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

TEST(TwoBoneSolver, ReachableGoalsAreReachedAndBonesKeepTheirLengths)
{
    const Chain bent{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const Chain straight{{0, 0, 0}, {0, 2, 0}, {0, 3, 0}};
    const Chain offset{{3, -1, 2}, {3, 0.5f, 2}, {4, 1, 1}};
    for (const Chain& chain : {bent, straight, offset}) {
        const float l1 = (chain.b - chain.a).length(), l2 = (chain.c - chain.b).length();
        for (const oxVec3f& direction : {oxVec3f(1, 1, 0), oxVec3f(-1, 0.2f, 0.5f), oxVec3f(0, -1, 3)}) {
            const oxVec3f goal = chain.a + direction.normalized() * (0.8f * (l1 + l2));
            Chain posed = chain;
            // Each solve works from the pose the previous one left; after the first the
            // chain is there, and later solves keep it there.
            for (int frame = 0; frame < 4; ++frame) {
                posed = solveOnce(posed, goal, oxVec3f(0, 0, 1));
                EXPECT_NEAR((posed.c - goal).length(), 0.0f, 1e-4f) << "frame " << frame;
                EXPECT_NEAR((posed.b - posed.a).length(), l1, 1e-4f);
                EXPECT_NEAR((posed.c - posed.b).length(), l2, 1e-4f);
            }
        }
    }
}

TEST(TwoBoneSolver, GoalsBeyondReachStretchTheChainStraightTowardThem)
{
    const Chain chain{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const oxVec3f goal(-3, 4, 5);
    Chain posed = chain;
    for (int frame = 0; frame < 3; ++frame) {
        posed = solveOnce(posed, goal, oxVec3f(0, 0, 1));
        const oxVec3f toward = goal.normalized();
        expectNear(posed.b, toward, 1e-4f, "middle joint on the line, one upper bone out");
        expectNear(posed.c, toward * 2.0f, 1e-4f, "end effector at full reach");
    }
}

TEST(TwoBoneSolver, TheChainBendsInThePlaneOfGoalAndPoleOnThePoleSide)
{
    // A straight chain bends about the pole itself: a pole across the chain gets there in
    // one solve.
    const Chain straight{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const oxVec3f goal(1.2f, 0.3f, 0.0f);
    const Chain once = solveOnce(straight, goal, oxVec3f(0, 0, 1));
    EXPECT_NEAR((once.c - goal).length(), 0.0f, 1e-4f);
    EXPECT_GT(once.b.z, 0.5f);
    // Any other pole: the chain is bent after the first solve and settles in the plane of
    // goal and pole by the next ones.
    for (const oxVec3f& pole : {oxVec3f(0, 0, -1), oxVec3f(0, 1, 1), oxVec3f(-0.3f, 1, 0), oxVec3f(1, 1, 1)}) {
        Chain posed = straight;
        for (int frame = 0; frame < 4; ++frame)
            posed = solveOnce(posed, goal, pole);
        EXPECT_NEAR((posed.c - goal).length(), 0.0f, 1e-4f);
        const oxVec3f normal = goal.cross(pole).normalized();
        EXPECT_NEAR((posed.b - posed.a).dot(normal), 0.0f, 1e-4f) << "middle joint off the goal-pole plane";
        const oxVec3f poleAcross = pole - goal * (pole.dot(goal) / goal.lengthSquared());
        EXPECT_GT((posed.b - posed.a).dot(poleAcross), 0.1f) << "bent away from the pole";
    }
    // An already bent chain is turned over to the pole's side as well.
    const Chain bent{{0, 0, 0}, {1, 0, 0}, {1, -1, 0}};
    const Chain posed = solveOnce(bent, oxVec3f(1, 1, 0), oxVec3f(-1, 1, 0));
    EXPECT_NEAR((posed.c - oxVec3f(1, 1, 0)).length(), 0.0f, 1e-4f);
    EXPECT_NEAR(posed.b.z, 0.0f, 1e-4f);
    EXPECT_GT(posed.b.dot(oxVec3f(-1, 1, 0)), 0.1f);
}

TEST(TwoBoneSolver, TwistTurnsTheRootAboutTheGoalDirection)
{
    const Chain chain{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const oxVec3f goal(0.5f, 1.0f, 0.7f);
    const oxVec3f pole(0, 0, 1);
    const Chain plain = solveOnce(chain, goal, pole);
    const float quarter = 1.5707964f;
    const Chain twisted = solveOnce(chain, goal, pole, quarter);
    // The end effector stays on the goal; the middle joint goes a quarter turn about it.
    EXPECT_NEAR((twisted.c - goal).length(), 0.0f, 1e-4f);
    oxMatrix44f turn;
    turn.makeRotation(goal, quarter);
    expectNear(twisted.b, turn.transformVector(plain.b), 1e-4f, "quarter turn of the middle joint");
    EXPECT_GT((twisted.b - plain.b).length(), 0.5f);
}

TEST(TwoBoneSolver, DegenerateInputsGiveFiniteRotations)
{
    oxQuaternionf q1, q2;
    // Goal on the root: no pole alignment, and nothing divides by zero.
    oxTwoBoneSolve({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {0, 0, 1}, 0.0f, q1, q2);
    for (float f : {q1.x, q1.y, q1.z, q1.w, q2.x, q2.y, q2.z, q2.w})
        EXPECT_TRUE(std::isfinite(f));
    EXPECT_NEAR(q1.length(), 1.0f, 1e-5f);
    // A pole along the goal direction leaves the pole rotation out: the result equals the
    // one with no usable pole information, and still reaches.
    const Chain chain{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    const Chain posed = solveOnce(chain, {0, 1.5f, 0}, {0, 1, 0});
    EXPECT_NEAR((posed.c - oxVec3f(0, 1.5f, 0)).length(), 0.0f, 1e-4f);
    // Zero-length bones.
    oxTwoBoneSolve({1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}, {0, 0, 1}, 0.0f, q1, q2);
    for (float f : {q1.x, q1.y, q1.z, q1.w, q2.x, q2.y, q2.z, q2.w})
        EXPECT_TRUE(std::isfinite(f));
}

TEST(TwoBoneSolver, RotationHelpers)
{
    // Too short an axis has no direction.
    EXPECT_EQ(oxIKAxisAngle(oxVec3f(0.001f, 0, 0), 1.0f), oxQuaternionf());
    // Any length of axis, right-handed.
    expectNear(oxIKAxisAngle(oxVec3f(0, 0, 5), 1.5707964f).rotate(oxVec3f(1, 0, 0)), oxVec3f(0, 1, 0), 1e-6f,
               "x to y about +z");
    // The arc takes one direction onto the other, also when they are opposite.
    const oxVec3f pairs[][2] = {{{1, 0, 0}, {0, 3, 0}},   {{1, 2, 3}, {-2, 0.5f, 1}}, {{2, 0, 0}, {-1, 0, 0}},
                                {{0, 0, 1}, {0, 0, -4}}, {{1, -1, 1}, {-2, 2, -2}}, {{0.5f, 3, 0}, {-1, -6, 0}}};
    for (const auto& p : pairs) {
        const oxQuaternionf q = oxIKArc(p[0], p[1]);
        // acos loses precision next to half a turn, hence the tolerance.
        expectNear(q.rotate(p[0].normalized()), p[1].normalized(), 1e-3f, "arc");
    }
    EXPECT_EQ(oxIKArc(oxVec3f(0, 0, 0), oxVec3f(1, 0, 0)), oxQuaternionf());
    EXPECT_TRUE(oxIKParallel(oxVec3f(1, 1, 0), oxVec3f(-3, -3, 0)));
    EXPECT_FALSE(oxIKParallel(oxVec3f(1, 1, 0), oxVec3f(1, 0.9f, 0)));
}

} // namespace
