// The draw traversal over the generated scene of benchScene.h. One frame is reset, apply
// and getOutput; items are leaves. The sorter modes: in traversal order (0), opaque by
// texture with transparent back to front (68), and opaque by distance with transparent
// back to front (36). "allocs/frame" counts heap allocations of the timed frames (a steady
// frame must make none); it is -1 where the counter is not available.
#include <benchmark/benchmark.h>

#include "bench/benchScene.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using namespace Kel::Sg;
using sortertest::AllocationCounter;

namespace {

void BM_DrawFrame(benchmark::State& state)
{
    const int leaves = int(state.range(0));
    const int mode = int(state.range(1));
    oxSmartPointer<oxGroup> root = benchscene::buildScene(leaves);
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    draw->setVisualContext(nullptr);
    draw->getSorter()->setMode(mode);
    draw->setPerspective(60, -1, 4.0f / 3, 0.1f, 1000);
    int outputSize = 0;
    // Two frames before timing: the first sizes the pools, the second runs on the order it kept.
    for (int warm = 0; warm < 2; ++warm) {
        draw->reset();
        draw->apply(root);
        draw->getOutput();
    }
    AllocationCounter::start();
    for (auto _ : state) {
        draw->reset();
        draw->apply(root);
        outputSize = draw->getOutput()->getCount();
        benchmark::DoNotOptimize(outputSize);
    }
    const long allocations = AllocationCounter::stop();
    state.SetItemsProcessed(int64_t(state.iterations()) * leaves);
    state.counters["ns/leaf"] =
        benchmark::Counter(double(int64_t(state.iterations()) * leaves), benchmark::Counter::kIsRate |
                                                                              benchmark::Counter::kInvert);
    state.counters["output"] = outputSize;
    state.counters["allocs/frame"] =
        AllocationCounter::available() ? double(allocations) / double(state.iterations()) : -1.0;
}

constexpr int kTextureBackToFront = oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE;
constexpr int kDistance = oxSorter::SORT_OPAQUE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_DISTANCE;
static_assert(kTextureBackToFront == 68 && kDistance == 36);
BENCHMARK(BM_DrawFrame)
    ->ArgsProduct({{1000, 10000, 100000}, {0, kTextureBackToFront, kDistance}})
    ->Unit(benchmark::kMicrosecond);

} // namespace
