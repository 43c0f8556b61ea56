// Sampling the clip of bench/clipScene.h side by side with osgAnimation: every bone's
// translation and rotation at one time, ours through a keyframed sequence or its compressed
// form, osgAnimation through a linear Vec3 channel and a spherical-linear Quat channel per
// bone (Channel::update into its target, then the target's reset, as its animation
// manager does each frame). The two sides take turns within every iteration, each timed on
// its own with the steady clock (the thread's CPU clock is a system call here, as long as the
// work it would time). Counters: ours and OSG in ns per bone, and ours / OSG.
#include <benchmark/benchmark.h>

#include <chrono>

#include <osgAnimation/Channel>

#include "bench/clipScene.h"
#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace clipscene;

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct OsgBone {
    osg::ref_ptr<osgAnimation::Vec3LinearChannel> translation = new osgAnimation::Vec3LinearChannel;
    osg::ref_ptr<osgAnimation::QuatSphericalLinearChannel> rotation = new osgAnimation::QuatSphericalLinearChannel;
};

std::vector<OsgBone> osgClip(const std::vector<std::vector<Key>>& clip)
{
    std::vector<OsgBone> bones(clip.size());
    for (size_t b = 0; b < clip.size(); ++b)
        for (const Key& k : clip[b]) {
            const double seconds = double(k.time) * 1e-9;
            bones[b].translation->getOrCreateSampler()->getOrCreateKeyframeContainer()->push_back(
                osgAnimation::Vec3Keyframe(seconds, osg::Vec3(k.t[0], k.t[1], k.t[2])));
            bones[b].rotation->getOrCreateSampler()->getOrCreateKeyframeContainer()->push_back(
                osgAnimation::QuatKeyframe(seconds, osg::Quat(k.q[0], k.q[1], k.q[2], k.q[3])));
        }
    return bones;
}

std::vector<oxSmartPointer<oxTransformSource>> ourClip(const std::vector<std::vector<Key>>& clip, bool compressed)
{
    Kel::libOXCore_arkRegister();
    Kel::libOXSg_arkRegister();
    std::vector<oxSmartPointer<oxTransformSource>> bones;
    for (const std::vector<Key>& keys : clip) {
        oxSmartPointer<oxTransformSequence1_5> s = makeSequence(keys);
        if (!compressed) {
            bones.push_back(s.get());
            continue;
        }
        oxSmartPointer<oxCompressedAnimationSequenceQS> c = oxCompressedAnimationSequenceQS::_instantiateRef();
        c->configure(s);
        bones.push_back(c.get());
    }
    return bones;
}

void BM_SampleOursVsOsg(benchmark::State& state)
{
    const bool compressed = state.range(0) != 0;
    const bool random = state.range(1) != 0;
    const std::vector<std::vector<Key>> clip = makeClip();
    std::vector<oxSmartPointer<oxTransformSource>> ours = ourClip(clip, compressed);
    std::vector<OsgBone> theirs = osgClip(clip);
    const std::vector<int64_t> times = random ? randomTimes() : forwardTimes();
    size_t next = 0;
    double oursSeconds = 0, osgSeconds = 0;
    oxQuaternionf q;
    oxVec3f v;
    for (auto _ : state) {
        const int64_t t = times[next];
        next = next + 1 == times.size() ? 0 : next + 1;
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == ((next & 1) == 0);
            const double start = nowSeconds();
            if (oursNow) {
                for (const oxSmartPointer<oxTransformSource>& bone : ours) {
                    bone->getQuaternionAndTranslation(q, v, t);
                    benchmark::DoNotOptimize(q);
                    benchmark::DoNotOptimize(v);
                }
                oursSeconds += nowSeconds() - start;
            } else {
                const double seconds = double(t) * 1e-9;
                for (OsgBone& bone : theirs) {
                    bone.translation->update(seconds, 1.0f, 0);
                    bone.rotation->update(seconds, 1.0f, 0);
                    benchmark::DoNotOptimize(bone.translation->getTargetTyped()->getValue());
                    benchmark::DoNotOptimize(bone.rotation->getTargetTyped()->getValue());
                    bone.translation->reset();
                    bone.rotation->reset();
                }
                osgSeconds += nowSeconds() - start;
            }
        }
    }
    const double samples = double(state.iterations()) * kBones;
    state.counters["ours_ns/bone"] = oursSeconds / samples * 1e9;
    state.counters["osg_ns/bone"] = osgSeconds / samples * 1e9;
    state.counters["ratio"] = osgSeconds > 0 ? oursSeconds / osgSeconds : 0;
    state.SetLabel(std::string(compressed ? "compressed" : "sequence") + (random ? ", random" : ", forward"));
}

BENCHMARK(BM_SampleOursVsOsg)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"compressed", "random"});

} // namespace
