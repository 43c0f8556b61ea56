// OXSg's frame build side by side with OpenSceneGraph's cull traversal, on the same
// generated scene (oxOsgPeer.h says what each side does per frame).
//
// The two run alternately within every iteration (which goes first alternates too), each
// timed on its own. Counters: ours_us and osg_us per frame, ratio = ours / OSG, and heap
// allocations per frame of each. The second argument is the OSG scene's layout: 0 shared
// state sets and geometry, 1 a state set per leaf, 2 a state set and a geometry node per
// leaf (like for like).
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/peer/oxOsgPeer.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using sortertest::AllocationCounter;
using namespace osgpeer;

namespace {

void BM_OursVsOsg(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const int leaves = int(state.range(0));
    const auto layout = OsgLayout(state.range(1));
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> oursRoot = benchscene::buildScene(leaves);
    osg::ref_ptr<osg::Group> osgRoot = buildOsgScene(leaves, layout);
    OursFrame ours;
    OsgCull osgCull;
    for (int warm = 0; warm < 2; ++warm) {
        ours.frame(oursRoot);
        osgCull.frame(osgRoot);
    }
    if (osgCull.leaves() != size_t(leaves) || ours.packages() != leaves) {
        state.SkipWithError("the two frames do not hold one piece of work per leaf");
        return;
    }

    double oursSeconds = 0, osgSeconds = 0;
    long oursAllocations = 0, osgAllocations = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const bool runOurs = (side == 0) == (frames % 2 == 0);
            AllocationCounter::start();
            const Clock::time_point start = Clock::now();
            if (runOurs)
                ours.frame(oursRoot);
            else
                osgCull.frame(osgRoot);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const long allocations = AllocationCounter::stop();
            (runOurs ? oursSeconds : osgSeconds) += seconds;
            (runOurs ? oursAllocations : osgAllocations) += allocations;
        }
        benchmark::DoNotOptimize(ours.outputSize);
        ++frames;
    }
    const double n = double(frames);
    state.counters["ours_us"] = oursSeconds / n * 1e6;
    state.counters["osg_us"] = osgSeconds / n * 1e6;
    state.counters["ratio"] = osgSeconds > 0 ? oursSeconds / osgSeconds : 0;
    const bool counted = AllocationCounter::available();
    state.counters["ours_allocs/frame"] = counted ? double(oursAllocations) / n : -1.0;
    state.counters["osg_allocs/frame"] = counted ? double(osgAllocations) / n : -1.0;
}
BENCHMARK(BM_OursVsOsg)
    ->ArgNames({"leaves", "osgLayout"})
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

} // namespace
