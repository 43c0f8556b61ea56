// The generated scene of benchScene.h (a transform, an attribute set and a geometry per
// leaf) drawn as a static subgraph two ways, one frame per iteration (reset, apply,
// getOutput): walked by the draw traversal, and through a compiled graph over the same
// children, whose frame recomputes one model-view matrix per leaf and appends the compiled
// list. Sorter mode 0 (traversal order), the order a compiled list is drawn in. Counters as
// in oxCommonTraversal_bench: ns/leaf, allocs/frame (-1 without the counter), and "draws",
// the geometry attributes the frame's display list holds, which must match between the two.
#include <benchmark/benchmark.h>

#include "bench/benchScene.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using namespace Kel::Sg;
using sortertest::AllocationCounter;

namespace {

int countDraws(const Kel::Attrs::oxAttr* attr)
{
    if (const auto* list = Kel::Attrs::oxDisplayListAttr::dynamicCast(attr)) {
        int n = 0;
        for (int i = 0; i < list->getCount(); ++i)
            n += countDraws(list->get(i));
        return n;
    }
    return Kel::Attrs::oxGeometryAttr::dynamicCast(attr) ? 1 : 0;
}

void drawFrames(benchmark::State& state, oxNode* root, int leaves)
{
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    draw->setVisualContext(nullptr);
    draw->setPerspective(60, -1, 4.0f / 3, 0.1f, 1000);
    // Two frames before timing: the first compiles (for the compiled graph) and sizes the pools.
    for (int warm = 0; warm < 2; ++warm) {
        draw->reset();
        draw->apply(root);
        draw->getOutput();
    }
    const int draws = countDraws(draw->getOutput());
    if (draws != leaves) {
        state.SkipWithError("the frame does not draw every leaf once");
        return;
    }
    AllocationCounter::start();
    for (auto _ : state) {
        draw->reset();
        draw->apply(root);
        benchmark::DoNotOptimize(draw->getOutput()->getCount());
    }
    const long allocations = AllocationCounter::stop();
    state.SetItemsProcessed(int64_t(state.iterations()) * leaves);
    state.counters["ns/leaf"] = benchmark::Counter(double(int64_t(state.iterations()) * leaves),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["draws"] = draws;
    state.counters["allocs/frame"] =
        AllocationCounter::available() ? double(allocations) / double(state.iterations()) : -1.0;
}

void BM_Walked(benchmark::State& state)
{
    const int leaves = int(state.range(0));
    oxSmartPointer<oxGroup> root = benchscene::buildScene(leaves);
    drawFrames(state, root, leaves);
}

void BM_Compiled(benchmark::State& state)
{
    const int leaves = int(state.range(0));
    oxSmartPointer<oxGroup> scene = benchscene::buildScene(leaves);
    oxSmartPointer<oxCompiledGraph> compiled = oxCompiledGraph::_instantiateRef();
    for (int i = 0; i < scene->getChildCount(); ++i)
        compiled->appendChild(scene->getChild(i));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(compiled);
    drawFrames(state, root, leaves);
    if (compiled->getLastCompileResult() != oxCompiledGraph::kNone)
        state.SkipWithError("the compile failed");
}

BENCHMARK(BM_Walked)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compiled)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
