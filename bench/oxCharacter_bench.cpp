// A character's frame: the combiner mixes three clips of 60 bones (one overriding, one
// blended at half weight, one easing in), then the skeleton turns the pose into bone and
// blend matrices. And one analytic two-bone IK solve.
#include <benchmark/benchmark.h>

#include "bench/characterScene.h"
#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "sg/ik/oxTwoBoneSolver.h"

using namespace Kel::Sg;
using namespace characterscene;

namespace {

oxSmartPointer<oxAnimation> animationOf(const std::vector<std::vector<Key>>& clip, const char* name)
{
    oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
    a->setName(name);
    a->setDuration(int64_t(kSeconds) * kSecond);
    for (int b = 0; b < kBones; ++b) {
        oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
        track->setName(boneName(b).c_str());
        track->setSource(makeSequence(clip[size_t(b)]));
        a->addTrack(track, true);
    }
    return a;
}

void BM_CharacterFrame(benchmark::State& state)
{
    Kel::libOXCore_arkRegister();
    Kel::libOXSg_arkRegister();
    oxSmartPointer<oxSkeleton> skeleton = oxSkeleton::_instantiateRef();
    for (int b = 0; b < kBones; ++b)
        skeleton->insertBone(boneName(b).c_str(), parentOf(b), oxVec3f(0, 0.2f, 0));
    skeleton->allocateInverseJointArray(kBones);
    for (int b = 0; b < kBones; ++b)
        skeleton->getBoneInfo(b)->setBmIdx(b);
    oxSmartPointer<oxAnimationCombiner> combiner = oxAnimationCombiner::_instantiateRef();
    combiner->configure(skeleton);
    oxSmartPointer<oxAnimation> base = animationOf(shiftedClip(kClipShifts[0]), "base");
    oxSmartPointer<oxAnimation> second = animationOf(shiftedClip(kClipShifts[1]), "second");
    oxSmartPointer<oxAnimation> third = animationOf(shiftedClip(kClipShifts[2]), "third");
    combiner->add(base, oxAnimationState::kOverride, oxAnimationState::kNone, oxAnimationState::kPlaying, 0);
    combiner->addManual(second, oxAnimationState::kPlaying, 0);
    combiner->getAnimationState(second)->setCurrentBlendRatio(kSecondWeight);
    // A ramp as long as the run: the transition never completes, so every frame blends it.
    combiner->addDynamic(third, oxAnimationState::kBlend, oxAnimationState::kEaseIn, oxAnimationState::kPlaying, 0,
                         1, kRamp, 0);

    const std::vector<int64_t> times = forwardTimes();
    std::vector<oxMatrix44f> bones(kBones), blends(kBones);
    size_t next = 0;
    for (auto _ : state) {
        // Past the ramp the times wrap round; the combiner only sees a new time.
        const int64_t t = times[next] + 1;
        next = next + 1 == times.size() ? 0 : next + 1;
        const oxMatrix44f* local = combiner->updateAtTime(t);
        skeleton->update(nullptr, nullptr, local, bones.data(), blends.data(), nullptr);
        benchmark::DoNotOptimize(blends.data());
    }
}
BENCHMARK(BM_CharacterFrame);

void BM_TwoBoneSolve(benchmark::State& state)
{
    // Goals on a loop around the chain, some out of reach, with a pole and a twist.
    std::vector<oxVec3f> goals;
    for (int i = 0; i < 64; ++i) {
        const float a = 0.1f * float(i);
        goals.emplace_back(1.2f * std::cos(a), 0.8f + 1.5f * std::sin(1.3f * a), 0.6f * std::sin(a));
    }
    const oxVec3f root(0, 0, 0), middle(0.1f, 1, 0), end(0.9f, 1.3f, 0.1f), pole(0, 0, 1);
    size_t next = 0;
    oxQuaternionf q1, q2;
    for (auto _ : state) {
        oxTwoBoneSolve(root, middle, end, goals[next], pole, 0.25f, q1, q2);
        next = (next + 1) & 63;
        benchmark::DoNotOptimize(q1);
        benchmark::DoNotOptimize(q2);
    }
}
BENCHMARK(BM_TwoBoneSolve);

} // namespace
