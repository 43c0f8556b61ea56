// Scene files: writing and reading graphs of groups and nodes at several sizes. Bytes per
// second come from the file's size; "heap/node" (the heap the read graph holds, per node)
// and the fitted complexity show that time and memory grow linearly with the file.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"

using namespace Kel::Core;
using namespace Kel::Sg;

namespace {

// A tree of groups of 16 children, `nodes` objects in all (groups included); every node is
// named and every eighth carries a bound, every thirty-second shares its parent's.
oxSmartPointer<oxGroup> buildScene(int nodes)
{
    Kel::libOXCore_arkRegister();
    Kel::libOXSg_arkRegister();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    root->setName("root");
    std::vector<oxGroup*> open{root.get()};
    size_t parent = 0;
    for (int i = 1; i < nodes; ++i) {
        oxGroup* into = open[parent];
        oxSmartPointer<oxNode> node;
        if (i % 4 == 0) {
            oxGroup* g = oxGroup::_instantiate();
            open.push_back(g);
            node = g;
        } else
            node = oxNode::_instantiate();
        node->setName(("node" + std::to_string(i)).c_str());
        node->setFlags(i & 0x3f);
        if (i % 8 == 0) {
            oxSmartPointer<oxAABox> box = oxAABox::_instantiate();
            box->set(oxVec3f(float(i), 0, 0), oxVec3f(float(i) + 1, 1, 1));
            node->setBound(box);
        } else if (i % 32 == 1 && into->getBound())
            node->setBound(into->getBound());
        into->appendChild(node);
        if (into->getChildCount() == 16)
            ++parent;
    }
    return root;
}

size_t heapInUse()
{
    return mallinfo2().uordblks;
}

void BM_WriteScene(benchmark::State& state)
{
    oxSmartPointer<oxGroup> root = buildScene(int(state.range(0)));
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        if (oxOXBWriter::writeMemory(root, bytes) != kSuccess)
            state.SkipWithError("write failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.SetComplexityN(state.range(0));
    state.counters["file bytes/node"] = double(bytes.size()) / double(state.range(0));
}

void BM_ReadScene(benchmark::State& state)
{
    std::vector<uint8_t> bytes;
    oxOXBWriter::writeMemory(buildScene(int(state.range(0))), bytes);
    size_t held = 0;
    for (auto _ : state) {
        // mallinfo2 walks the allocator's free lists and consolidates them, which costs as
        // much as a small read: it stays outside the timed part.
        state.PauseTiming();
        size_t before = heapInUse();
        state.ResumeTiming();
        oxSmartPointer<oxObject> root = oxOXBReader::readObject(bytes.data(), bytes.size(), "bench.oxb");
        state.PauseTiming();
        if (!root)
            state.SkipWithError("read failed");
        held = heapInUse() - before;
        root = nullptr;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.SetComplexityN(state.range(0));
    state.counters["heap/node"] = double(held) / double(state.range(0));
}

} // namespace

// Several sizes, enough iterations at each that the first one, which pays for the
// process's first touch of that much memory, does not dominate.
static void sizes(benchmark::internal::Benchmark* b)
{
    b->RangeMultiplier(10)->Range(1000, 100000)->Arg(300000)->MinTime(2);
    b->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

BENCHMARK(BM_WriteScene)->Apply(sizes);
BENCHMARK(BM_ReadScene)->Apply(sizes);
