#include <gtest/gtest.h>

#include "tests/sg/animation/oxCharacterTestSupport.h"

using namespace chartest;

namespace {

using State = oxAnimationState;

class AnimationCombinerTest : public Registered {
protected:
    void SetUp() override
    {
        bones = skeleton({{"root", -1}, {"l_arm", 0}, {"r_arm", 0}});
        bones->setBoneTranslation(2, oxVec3f(0, 0, 9));
        combiner = oxAnimationCombiner::_instantiateRef();
        ASSERT_TRUE(combiner->configure(bones));
    }

    // Every bone held still at a rotation about z and a translation.
    oxSmartPointer<oxAnimation> still(const char* name, float radians, const oxVec3f& v, int64_t duration = kSecond)
    {
        oxSmartPointer<oxAnimation> a = animation(name, duration);
        for (const char* bone : {"root", "l_arm", "r_arm"})
            a->addTrack(constantTrack(bone, aboutZ(radians), v), true);
        return a;
    }

    oxQuaternionf rotation(int bone) const { return rotationOf(*combiner->getAnimationCacheMatrix(bone)); }
    oxVec3f translation(int bone) const { return combiner->getAnimationCacheMatrix(bone)->getTranslation(); }
    int entries(int bone) const { return combiner->getBoneInfoList(bone)->getCount(); }
    const State* entryState(int bone, int i) const
    {
        return combiner->getBoneInfoList(bone)->get(i)->getAnimationState();
    }

    oxSmartPointer<oxSkeleton> bones;
    oxSmartPointer<oxAnimationCombiner> combiner;
};

TEST_F(AnimationCombinerTest, StacksKeepPrioritiesPerBoneAndBlendAboveTheOverridingBase)
{
    EXPECT_TRUE(combiner->configured());
    EXPECT_EQ(combiner->getAnimationCacheMatrixArrayLength(), 3);
    oxSmartPointer<oxAnimation> idle = still("idle", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> wave = still("wave", kQuarterTurn, oxVec3f(2, 0, 0));
    oxSmartPointer<oxAnimation> other = still("other", 0, oxVec3f(0, 0, 0));

    // The first animation overrides whatever it asks for.
    ASSERT_TRUE(combiner->add(idle, State::kBlend, State::kEaseIn, State::kPlaying, 0));
    EXPECT_EQ(combiner->getAnimationState(idle)->getCombineMode(), State::kOverride);
    // Per-bone priorities: above the idle pose on the root, below it on both arms.
    const int priorities[] = {5, -5, -5};
    ASSERT_TRUE(combiner->addManual(wave, State::kPlaying, priorities, true, 0));
    State* waving = combiner->getAnimationState(wave);
    EXPECT_EQ(waving->getCombineMode(), State::kBlend);
    EXPECT_EQ(waving->getTransitionMode(), State::kManual);
    EXPECT_EQ(entryState(0, 1), waving);
    EXPECT_EQ(entryState(1, 0), waving);
    EXPECT_EQ(combiner->getBoneListBase(0), 0);
    // The idle entry was pushed up by the wave's below it, and stays the base.
    EXPECT_EQ(combiner->getBoneListBase(1), 1);

    waving->setCurrentBlendRatio(0.5f);
    combiner->updateAtTime(kSecond);
    EXPECT_TRUE(near(rotation(0), aboutZ(kQuarterTurn / 2), 1e-6f));
    EXPECT_TRUE(near(translation(0), oxVec3f(1, 0, 0)));
    // Entries below the base contribute nothing.
    EXPECT_TRUE(near(rotation(1), aboutZ(0), 1e-6f));
    EXPECT_TRUE(near(translation(1), oxVec3f(0, 0, 0)));
    EXPECT_TRUE(near(combiner->getResultQuaternion(0), aboutZ(kQuarterTurn / 2), 1e-6f));

    // An equal priority goes above the entries already there.
    ASSERT_TRUE(combiner->add(other, State::kBlend, State::kManual, State::kPlaying, 5));
    EXPECT_EQ(entries(0), 3);
    EXPECT_EQ(entryState(0, 2), combiner->getAnimationState(other));

    // Removal takes the state's entries out of every bone and recomputes the bases.
    EXPECT_TRUE(combiner->remove(idle));
    EXPECT_EQ(entries(0), 2);
    EXPECT_EQ(combiner->getBoneListBase(1), 0);
    EXPECT_FALSE(combiner->remove(idle));
    EXPECT_TRUE(combiner->remove(waving));
    // The last state left overrides.
    EXPECT_EQ(combiner->getAnimationState(other)->getCombineMode(), State::kOverride);
    EXPECT_TRUE(combiner->removeAll());
    EXPECT_FALSE(combiner->removeAll());
    EXPECT_EQ(entries(0), 0);

    // An animation that finds none of the bones is refused.
    oxSmartPointer<oxAnimation> stranger = animation("stranger", kSecond);
    stranger->addTrack(constantTrack("tail", aboutZ(0), oxVec3f(0, 0, 0)), false);
    EXPECT_FALSE(combiner->add(stranger, State::kOverride, State::kNone, State::kPlaying));
    EXPECT_FALSE(combiner->addReflected(idle, State::kOverride, State::kNone, State::kPlaying));
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 0);
}

TEST_F(AnimationCombinerTest, SourcesAreEvaluatedAtTheStateClockAndNotAgainForTheSameTime)
{
    oxSmartPointer<SpinSource> spin = SpinSource::_instantiateRef();
    oxSmartPointer<oxAnimation> turn = animation("turn", 4 * kSecond);
    turn->addTrack(sourcedTrack("l_arm", spin), false);
    turn->addTrack(sourcedTrack("r_arm", spin), true);
    ASSERT_TRUE(combiner->add(turn, State::kOverride, State::kNone, State::kPlaying));
    State* s = combiner->getAnimationState(turn);

    // The clock runs on a 2^18-ns grid: one second is 3814 steps.
    const int64_t oneSecond = (kSecond >> 18) << 18;
    combiner->updateAtTime(kSecond);
    EXPECT_EQ(s->getLocalTime(), oneSecond);
    EXPECT_FALSE(s->getNew());
    EXPECT_EQ(spin->_evaluations, 2);
    const float angle = kQuarterTurn * float(double(oneSecond) / double(kSecond));
    EXPECT_TRUE(near(rotation(1), aboutZ(angle), 1e-6f));
    EXPECT_TRUE(near(rotation(2), aboutZ(angle), 1e-6f));
    // Without its translation bit the bone keeps its bind translation.
    EXPECT_TRUE(near(translation(1), oxVec3f(0, 0, 0)));
    EXPECT_TRUE(near(translation(2), oxVec3f(float(double(oneSecond) / double(kSecond)), 0, 0)));
    EXPECT_TRUE(combiner->getCacheValid());
    EXPECT_EQ(combiner->getCacheTime(), kSecond);

    combiner->updateAtTime(kSecond);
    EXPECT_EQ(spin->_evaluations, 2);

    // Twice the speed from 2 s on: no jump at 2 s, then twice as fast.
    combiner->updateAtTime(2 * kSecond);
    const int64_t atTwo = s->getLocalTime();
    s->setPlaySpeed(2.0f, 2 * kSecond);
    s->updateLocalTime(2 * kSecond);
    EXPECT_EQ(s->getLocalTime(), atTwo);
    s->updateLocalTime(3 * kSecond);
    EXPECT_NEAR(double(s->getLocalTime() - atTwo), 2.0 * kSecond, 2.0 * 262144);
    s->setAnimationTime(kSecond / 2, 3 * kSecond);
    s->updateLocalTime(3 * kSecond);
    EXPECT_EQ(s->getLocalTime(), kSecond / 2);
}

TEST_F(AnimationCombinerTest, EaseInWithoutDefinitionRampsOverAThirdOfTheDurationThenOverrides)
{
    oxSmartPointer<oxAnimation> idle = still("idle", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> wave = still("wave", kQuarterTurn, oxVec3f(3, 0, 0), 3 * kSecond);
    ASSERT_TRUE(combiner->add(idle, State::kOverride, State::kNone, State::kPlaying));
    combiner->updateAtTime(kSecond);
    ASSERT_TRUE(combiner->add(wave, State::kBlend, State::kEaseIn, State::kPlaying));
    State* s = combiner->getAnimationState(wave);

    combiner->updateAtTime(2 * kSecond);
    EXPECT_EQ(s->getStatus(), State::kPlaying);
    EXPECT_EQ(s->getBlendDuration(), kSecond);
    EXPECT_EQ(s->getBlendStartTime(), 2 * kSecond);
    EXPECT_FLOAT_EQ(s->getCurrentBlendRatio(), 0.0f);
    EXPECT_TRUE(near(translation(0), oxVec3f(0, 0, 0)));

    combiner->updateAtTime(2 * kSecond + kSecond / 4);
    EXPECT_FLOAT_EQ(s->getCurrentBlendRatio(), 0.25f);
    EXPECT_TRUE(near(translation(0), oxVec3f(0.75f, 0, 0)));
    EXPECT_TRUE(near(rotation(0), aboutZ(kQuarterTurn / 4), 1e-6f));
    EXPECT_EQ(s->getCombineMode(), State::kBlend);

    combiner->updateAtTime(3 * kSecond);
    EXPECT_FLOAT_EQ(s->getCurrentBlendRatio(), 1.0f);
    EXPECT_EQ(s->getCombineMode(), State::kOverride);
    EXPECT_EQ(combiner->getBoneListBase(0), 1);
    EXPECT_TRUE(near(translation(0), oxVec3f(3, 0, 0)));
    // Easing in keeps the state below; it is just covered now.
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 2);
}

TEST_F(AnimationCombinerTest, TransitionsWaitForTheNextPointOfTheBaseCycleAndReplaceIt)
{
    oxSmartPointer<oxAnimation> walk = still("walk", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> run = still("run", kQuarterTurn, oxVec3f(4, 0, 0));
    oxSmartPointer<oxAnimationTransitionDefinition> fromWalk = oxAnimationTransitionDefinition::_instantiateRef();
    fromWalk->configure(walk);
    for (int64_t at : {kSecond / 5, 4 * kSecond / 5}) {
        oxSmartPointer<oxAnimationTransitionPoint> point = oxAnimationTransitionPoint::_instantiateRef();
        point->configure(at, 0.0f, 1.0f, kSecond / 2, kSecond / 10);
        fromWalk->addTransitionPoint(point);
    }
    run->addTransitionDefinition(fromWalk);

    ASSERT_TRUE(combiner->add(walk, State::kOverride, State::kNone, State::kPlaying));
    combiner->updateAtTime(kSecond / 2);
    ASSERT_TRUE(combiner->add(run, State::kBlend, State::kEaseInReplace, State::kPlaying));
    State* running = combiner->getAnimationState(run);
    State* walking = combiner->getAnimationState(walk);
    oxAnimationTransitionDefinition* found = nullptr;
    EXPECT_EQ(combiner->determineBase(running, found), walking);
    EXPECT_EQ(found, fromWalk.get());

    // The base is half-way through its cycle: the next point is at 0.8 s.
    combiner->updateAtTime(kSecond / 2 + kSecond / 100);
    EXPECT_EQ(running->getStatus(), State::kAwaitingTransitionPoint);
    EXPECT_EQ(running->getBaseState(), walking);
    EXPECT_EQ(running->getBaseTransitionTime(), 4 * kSecond / 5);
    // Waiting, it contributes nothing.
    EXPECT_TRUE(near(translation(0), oxVec3f(0, 0, 0)));
    combiner->updateAtTime(3 * kSecond / 4);
    EXPECT_EQ(running->getStatus(), State::kAwaitingTransitionPoint);
    EXPECT_TRUE(near(rotation(1), aboutZ(0), 1e-6f));

    // Past the point it starts at its target time with the point's ramp.
    const int64_t start = 4 * kSecond / 5 + kSecond / 100;
    combiner->updateAtTime(start);
    EXPECT_EQ(running->getStatus(), State::kPlaying);
    EXPECT_EQ(running->getBlendStartTime(), start);
    EXPECT_EQ(running->getLocalTime(), kSecond / 10);
    EXPECT_FLOAT_EQ(running->getCurrentBlendRatio(), 0.0f);
    combiner->updateAtTime(start + kSecond / 4);
    EXPECT_FLOAT_EQ(running->getCurrentBlendRatio(), 0.5f);
    EXPECT_TRUE(near(translation(0), oxVec3f(2, 0, 0)));

    // Once in, the replaced base finishes and is removed; the runner overrides alone.
    combiner->updateAtTime(start + kSecond / 2);
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 1);
    EXPECT_EQ(combiner->getAnimationState(walk), nullptr);
    EXPECT_EQ(running->getCombineMode(), State::kOverride);
    EXPECT_EQ(running->getBaseState(), nullptr);
    EXPECT_TRUE(near(translation(2), oxVec3f(4, 0, 0)));
}

TEST_F(AnimationCombinerTest, APointBehindTheBaseIsTakenInTheNextCycle)
{
    oxSmartPointer<oxAnimation> walk = still("walk", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> run = still("run", kQuarterTurn, oxVec3f(4, 0, 0));
    oxSmartPointer<oxAnimationTransitionDefinition> fromWalk = oxAnimationTransitionDefinition::_instantiateRef();
    fromWalk->configure(walk);
    for (int64_t at : {4 * kSecond / 5, kSecond / 5}) {
        oxSmartPointer<oxAnimationTransitionPoint> point = oxAnimationTransitionPoint::_instantiateRef();
        point->configure(at, 0.0f, 1.0f, kSecond / 2, 0);
        fromWalk->addTransitionPoint(point);
    }
    run->addTransitionDefinition(fromWalk);
    ASSERT_TRUE(combiner->add(walk, State::kOverride, State::kNone, State::kPlaying));
    ASSERT_TRUE(combiner->add(run, State::kBlend, State::kEaseInReplace, State::kPlaying));
    combiner->updateAtTime(2 * kSecond + 9 * kSecond / 10);
    State* running = combiner->getAnimationState(run);
    EXPECT_EQ(running->getStatus(), State::kAwaitingTransitionPoint);
    EXPECT_EQ(running->getBaseTransitionTime(), 3 * kSecond + kSecond / 5);
    combiner->updateAtTime(3 * kSecond + kSecond / 10);
    EXPECT_EQ(running->getStatus(), State::kAwaitingTransitionPoint);
    combiner->updateAtTime(3 * kSecond + kSecond / 4);
    EXPECT_EQ(running->getStatus(), State::kPlaying);
}

TEST_F(AnimationCombinerTest, ATweenPausesItsBaseAndReplacingAllFinishesEverythingBelow)
{
    oxSmartPointer<oxAnimation> walk = still("walk", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> jump = still("jump", kQuarterTurn, oxVec3f(0, 2, 0));
    oxSmartPointer<oxAnimation> wave = still("wave", 0, oxVec3f(0, 0, 1));
    oxSmartPointer<oxAnimationTransitionParams> ramp = oxAnimationTransitionParams::_instantiateRef();
    ramp->configure(0.0f, 1.0f, kSecond / 2, kSecond / 4);
    oxSmartPointer<oxAnimationTransitionDefinition> fromWalk = oxAnimationTransitionDefinition::_instantiateRef();
    fromWalk->configure(walk, ramp);
    jump->addTransitionDefinition(fromWalk);

    ASSERT_TRUE(combiner->add(walk, State::kOverride, State::kNone, State::kPlaying));
    combiner->updateAtTime(kSecond);
    ASSERT_TRUE(combiner->add(jump, State::kTween, State::kEaseInReplaceAll, State::kPlaying));
    // A tween with its ramp given but nothing to tween from just blends (here with no
    // weight at all).
    ASSERT_TRUE(
        combiner->addDynamic(wave, State::kTween, State::kEaseIn, State::kPlaying, 0.0f, 0.0f, 10 * kSecond, 0));
    State* walking = combiner->getAnimationState(walk);
    State* jumping = combiner->getAnimationState(jump);
    State* waving = combiner->getAnimationState(wave);

    // Without transition points the definition's ramp starts at once, and the base stops.
    combiner->updateAtTime(2 * kSecond);
    EXPECT_EQ(jumping->getStatus(), State::kPlaying);
    EXPECT_EQ(jumping->getBaseState(), walking);
    EXPECT_EQ(jumping->getLocalTime(), kSecond / 4);
    EXPECT_EQ(walking->getStatus(), State::kPaused);
    EXPECT_EQ(waving->getCombineMode(), State::kBlend);
    const int64_t walkedTo = walking->getLocalTime();
    combiner->updateAtTime(2 * kSecond + kSecond / 4);
    EXPECT_EQ(walking->getLocalTime(), walkedTo);
    EXPECT_FLOAT_EQ(jumping->getCurrentBlendRatio(), 0.5f);
    EXPECT_TRUE(near(rotation(0), aboutZ(kQuarterTurn / 2), 1e-6f));

    // Once in, everything below it finishes: the walk goes, the wave above it stays.
    combiner->updateAtTime(2 * kSecond + kSecond / 2);
    EXPECT_EQ(combiner->getAnimationState(walk), nullptr);
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 2);
    EXPECT_EQ(jumping->getCombineMode(), State::kOverride);
    EXPECT_EQ(combiner->getBoneListBase(0), 0);
    EXPECT_EQ(entryState(0, 0), jumping);
}

TEST_F(AnimationCombinerTest, EasingOutFinishesAndRemovesTheState)
{
    oxSmartPointer<oxAnimation> idle = still("idle", 0, oxVec3f(0, 0, 0));
    oxSmartPointer<oxAnimation> wave = still("wave", kQuarterTurn, oxVec3f(2, 0, 0));
    ASSERT_TRUE(combiner->add(idle, State::kOverride, State::kNone, State::kPlaying));
    ASSERT_TRUE(combiner->addDynamic(wave, State::kBlend, State::kEaseOut, State::kPlaying, 0.0f, 1.0f, kSecond, 0));
    State* s = combiner->getAnimationState(wave);
    EXPECT_EQ(s->getBlendStartTime(), 1);
    combiner->updateAtTime(kSecond);
    EXPECT_FLOAT_EQ(s->getCurrentBlendRatio(), 1.0f);
    EXPECT_TRUE(near(translation(0), oxVec3f(2, 0, 0)));
    combiner->updateAtTime(kSecond + 3 * kSecond / 4);
    EXPECT_FLOAT_EQ(s->getCurrentBlendRatio(), 0.25f);
    EXPECT_TRUE(near(translation(0), oxVec3f(0.5f, 0, 0)));
    combiner->updateAtTime(2 * kSecond);
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 1);
    EXPECT_EQ(combiner->getAnimationState(wave), nullptr);
}

TEST_F(AnimationCombinerTest, CycleMatchingKeepsTwoBlendedCyclesInStep)
{
    oxSmartPointer<oxAnimation> walk = still("walk", 0, oxVec3f(0, 0, 0), kSecond);
    oxSmartPointer<oxAnimation> run = still("run", kQuarterTurn, oxVec3f(1, 0, 0), 6 * kSecond / 10);
    ASSERT_TRUE(combiner->add(walk, State::kOverride, State::kNone, State::kPlaying));
    ASSERT_TRUE(combiner->addManual(run, State::kPlaying, 0));
    State* walking = combiner->getAnimationState(walk);
    State* running = combiner->getAnimationState(run);
    running->setCurrentBlendRatio(0.5f);
    ASSERT_TRUE(combiner->makeCycleMatchTarget(running));
    EXPECT_EQ(walking->getCycleMatchTargetState(), running);
    EXPECT_EQ(running->getCycleMatchBaseDuration(), kSecond);
    EXPECT_EQ(running->getCycleMatchDurationRange(), -4 * kSecond / 10);

    // Half-way between the two: both cycles last 0.8 s.
    combiner->updateAtTime(kSecond);
    EXPECT_EQ(running->getCycleMatchTargetDuration(), 8 * kSecond / 10);
    EXPECT_FLOAT_EQ(walking->getTimeScale(), 1.25f);
    EXPECT_FLOAT_EQ(running->getTimeScale(), 0.75f);

    // Over any stretch both run through the same share of their cycles.
    const auto phase = [](State* s) {
        uint64_t cycle = 0;
        int64_t duration = 0;
        const int64_t within = s->getLocalKeyframeTime(cycle, duration);
        return (double(cycle) * double(duration) + double(within)) / double(duration);
    };
    combiner->updateAtTime(2 * kSecond);
    const double walkFrom = phase(walking), runFrom = phase(running);
    for (int64_t later : {2 * kSecond + 3 * kSecond / 10, 2 * kSecond + 8 * kSecond / 10, 5 * kSecond}) {
        combiner->updateAtTime(later);
        const double expected = double(later - 2 * kSecond) / (0.8 * double(kSecond));
        EXPECT_NEAR(phase(walking) - walkFrom, expected, 3e-3) << later;
        EXPECT_NEAR(phase(running) - runFrom, expected, 3e-3) << later;
    }

    // Ending the match lets the walk go its own way.
    EXPECT_TRUE(combiner->endCycleMatchTarget(running));
    EXPECT_EQ(walking->getCycleMatchTargetState(), nullptr);
}

TEST_F(AnimationCombinerTest, AMirroredBindingSwapsSidesAndReflectsTheirRotations)
{
    const oxQuaternionf left = oxQuaternionf::fromAxisAngle(oxVec3f(1, 2, 3).normalized(), 0.7f);
    const oxQuaternionf right = oxQuaternionf::fromAxisAngle(oxVec3f(-2, 1, 1).normalized(), 0.4f);
    oxSmartPointer<oxAnimation> reach = animation("reach", kSecond);
    reach->addTrack(constantTrack("root", oxQuaternionf(), oxVec3f(0, 0, 0)), false);
    reach->addTrack(constantTrack("l_arm", left, oxVec3f(0, 0, 0)), false);
    reach->addTrack(constantTrack("r_arm", right, oxVec3f(0, 0, 0)), false);
    oxAnimationBinding* mirrored = nullptr;
    ASSERT_GT(reach->bindReflected(bones, mirrored, oxAnimationBinding::PlaneYZ), 0);

    ASSERT_TRUE(combiner->addReflected(reach, State::kOverride, State::kNone, State::kPlaying));
    combiner->updateAtTime(kSecond);
    // The left arm takes the right arm's rotation mirrored in the YZ plane: (x, -y, -z, w).
    EXPECT_TRUE(near(rotation(1), oxQuaternionf(right.x, -right.y, -right.z, right.w).normalized(), 1e-6f));
    EXPECT_TRUE(near(rotation(2), oxQuaternionf(left.x, -left.y, -left.z, left.w).normalized(), 1e-6f));
    // Untranslated tracks keep the bind translation.
    EXPECT_TRUE(near(translation(2), oxVec3f(0, 0, 9)));

    EXPECT_EQ(oxAnimationCombinerBoneInfo::reflectQuaternion(oxQuaternionf(1, 2, 3, 4), 1),
              oxQuaternionf(-1, 2, -3, 4));
    EXPECT_EQ(oxAnimationCombinerBoneInfo::reflectQuaternion(oxQuaternionf(1, 2, 3, 4), 2),
              oxQuaternionf(-1, -2, 3, 4));
}

} // namespace
