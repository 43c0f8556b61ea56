// Sampling a clip of keyframed bones (bench/clipScene.h): every bone's rotation and
// translation at one time per iteration, forwards at frame rate or at random times, through
// the keyframed sequence and each compressed form. Counter: ns/bone (CPU time).
#include <benchmark/benchmark.h>

#include "bench/clipScene.h"
#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace clipscene;

namespace {

enum Form { kSequence, kCompressed, kCompressedBezier };

std::vector<oxSmartPointer<oxTransformSource>> makeBones(Form form)
{
    Kel::libOXCore_arkRegister();
    Kel::libOXSg_arkRegister();
    std::vector<oxSmartPointer<oxTransformSource>> bones;
    for (const std::vector<Key>& keys : makeClip()) {
        oxSmartPointer<oxTransformSequence1_5> s = makeSequence(keys);
        if (form == kSequence) {
            bones.push_back(s.get());
            continue;
        }
        oxSmartPointer<oxCompressedAnimationSequenceQS> c =
            form == kCompressed ? oxCompressedAnimationSequenceQS::_instantiateRef()
                                : oxSmartPointer<oxCompressedAnimationSequenceQS>(
                                      oxCompressedBezierAnimationSequenceQS::_instantiateRef());
        c->configure(s);
        bones.push_back(c.get());
    }
    return bones;
}

void BM_Sample(benchmark::State& state)
{
    const Form form = Form(state.range(0));
    const bool random = state.range(1) != 0;
    std::vector<oxSmartPointer<oxTransformSource>> bones = makeBones(form);
    const std::vector<int64_t> times = random ? randomTimes() : forwardTimes();
    size_t next = 0;
    oxQuaternionf q;
    oxVec3f v;
    for (auto _ : state) {
        const int64_t t = times[next];
        next = next + 1 == times.size() ? 0 : next + 1;
        for (const oxSmartPointer<oxTransformSource>& bone : bones) {
            bone->getQuaternionAndTranslation(q, v, t);
            benchmark::DoNotOptimize(q);
            benchmark::DoNotOptimize(v);
        }
    }
    state.counters["ns/bone"] = benchmark::Counter(double(state.iterations()) * kBones,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(form == kSequence ? "sequence" : form == kCompressed ? "compressed" : "bezier") +
                   (random ? ", random" : ", forward"));
}

BENCHMARK(BM_Sample)->ArgsProduct({{kSequence, kCompressed, kCompressedBezier}, {0, 1}})->ArgNames({"form", "random"});

} // namespace
