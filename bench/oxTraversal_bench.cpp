// Traversal dispatch: the cost of visiting one node through the class-wide function table,
// on a wide graph (one group, many leaves: the table walk at its plainest) and on a deep
// one (a chain of groups: one recursion level per node). Items are nodes visited. The
// leaves of the wide graph are spread over several node classes so that the indirect call
// does not always land on the same target.
#include <benchmark/benchmark.h>

#include <vector>

#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {

// Node functions that count, so the walk has a visible effect and cannot be elided.
class CountingTraversal : public oxTraversal {
    OX_TRAVERSAL_CLASS(CountingTraversal, oxTraversal)
public:
    int64_t count = 0;
    static OX_TRAVERSAL_RETURN leaf(oxTraversal* t, oxObject*)
    {
        ++static_cast<CountingTraversal*>(t)->count;
        return OX_TRAVERSAL_CONTINUE;
    }
    static OX_TRAVERSAL_RETURN group(oxTraversal* t, oxObject* node)
    {
        ++static_cast<CountingTraversal*>(t)->count;
        return oxTraverseGroup(t, node);
    }
    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
    {
        if (meta->isDerivedFrom(oxGroup::getClassTypeSafe()))
            _setFunction(list, meta, &group);
        else
            _setFunction(list, meta, &leaf);
    }

protected:
    CountingTraversal() = default;
};

void registerOnce()
{
    Kel::libOXSg_arkRegister();
    CountingTraversal::arkRegister();
}

oxSmartPointer<oxGroup> wide(int leaves)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    for (int i = 0; i < leaves; ++i) {
        switch (i % 3) {
        case 0: root->appendChild(oxNode::_instantiate()); break;
        case 1: root->appendChild(oxGroup::_instantiate()); break;
        default: root->appendChild(oxTransform::_instantiate()); break;
        }
    }
    return root;
}

oxSmartPointer<oxGroup> deep(int depth)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxGroup* at = root;
    for (int i = 1; i < depth; ++i) {
        oxGroup* next = (i % 2) ? static_cast<oxGroup*>(oxTransform::_instantiate()) : oxGroup::_instantiate();
        at->appendChild(next);
        at = next;
    }
    return root;
}

void run(benchmark::State& state, oxGroup* root, int64_t nodes)
{
    oxSmartPointer<CountingTraversal> t = CountingTraversal::_instantiateRef();
    for (auto _ : state) {
        t->apply(root);
        benchmark::DoNotOptimize(t->count);
    }
    if (t->count != nodes * int64_t(state.iterations()))
        state.SkipWithError("the walk did not visit every node");
    state.SetItemsProcessed(t->count);
    state.counters["ns/node"] =
        benchmark::Counter(double(t->count), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DispatchWide(benchmark::State& state)
{
    registerOnce();
    const int leaves = int(state.range(0));
    oxSmartPointer<oxGroup> root = wide(leaves);
    run(state, root, leaves + 1);
}
BENCHMARK(BM_DispatchWide)->Arg(1000)->Arg(100000);

void BM_DispatchDeep(benchmark::State& state)
{
    registerOnce();
    const int depth = int(state.range(0));
    oxSmartPointer<oxGroup> root = deep(depth);
    run(state, root, depth);
}
BENCHMARK(BM_DispatchDeep)->Arg(1000)->Arg(10000);

} // namespace
