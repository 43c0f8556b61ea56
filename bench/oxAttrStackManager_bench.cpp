// Attribute stacks: the cost of one push and pop, by handle and by attribute, and of the
// two flushes as a traversal uses them. "ops" counts pushes plus pops; flush benchmarks
// also count the attributes they hand on.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;

namespace {

struct Scene {
    oxSmartPointer<oxAttrStackManager> manager;
    oxSmartPointer<oxNonRefCountedAttrList> out = oxNonRefCountedAttrList::_instantiateRef();
    std::vector<oxSmartPointer<oxAttr>> attrs; // one per stack, on distinct stacks
    std::vector<int> handles;

    explicit Scene(int stacks)
    {
        Kel::Sg::oxArkRegisterForOXBFiles();
        manager = oxAttrStackManager::_instantiateRef();
        manager->setup(oxAttr::getClassTypeSafe(), oxGenericAttrDefaultManager::_instantiateRef(),
                       oxGenericCapabilityManager::_instantiateRef());
        // Texture-unit classes give several stacks each; the rest one.
        for (int h = 0; h < manager->getNumAttrs() && int(attrs.size()) < stacks; ++h) {
            oxAttrStack* s = manager->getStack(h);
            if (!s || s->getDefault()->getMetaObject() == oxLightStateAttr::getClassTypeSafe())
                continue;
            oxSmartPointer<oxAttr> a = static_cast<oxAttr*>(s->getDefault()->getMetaObject()->createInstance());
            a->setUnit(s->getDefault()->getUnit());
            attrs.push_back(a);
            handles.push_back(h);
        }
    }
};

// One push and its pop on a stack already marked dirty: the cheapest path a node sees.
template <class PushPop>
void BM_PushPop(benchmark::State& state, PushPop pushPop)
{
    Scene scene(1);
    oxAttrStackManager& m = *scene.manager;
    oxAttr* a = scene.attrs[0];
    int h = scene.handles[0];
    for (auto _ : state)
        pushPop(m, a, h);
    state.counters["ops"] = benchmark::Counter(2.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

const auto byHandle = [](oxAttrStackManager& m, oxAttr* a, int h) {
    m.fastPushAttr(a, h);
    m.fastPopAttr(h);
};
const auto byAttribute = [](oxAttrStackManager& m, oxAttr* a, int) {
    m.pushAttr(a);
    m.popAttr(a);
};
const auto asOverride = [](oxAttrStackManager& m, oxAttr* a, int) {
    m.pushOverride(a);
    m.popOverride(a);
};
BENCHMARK_CAPTURE(BM_PushPop, by_handle, byHandle);
BENCHMARK_CAPTURE(BM_PushPop, by_attribute, byAttribute);
BENCHMARK_CAPTURE(BM_PushPop, override, asOverride);

// A node's life in a draw: push n attributes, hand on what changed, pop them, hand on again.
// Every push and pop here also lands a handle in the dirty lists.
void BM_PushFlushPopFlush(benchmark::State& state)
{
    const int n = int(state.range(0));
    Scene scene(n);
    oxAttrStackManager* m = scene.manager;
    int64_t handedOn = 0;
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            m->fastPushAttr(scene.attrs[i], scene.handles[i]);
        m->flushUpdateAttrs(scene.out);
        handedOn += scene.out->getCount();
        for (int i = n - 1; i >= 0; --i)
            m->fastPopAttr(scene.handles[i]);
        m->flushUpdateAttrs(scene.out);
        handedOn += scene.out->getCount();
        m->flushAttrs(scene.out); // keeps the root list from growing
    }
    state.counters["ops"] = benchmark::Counter(2.0 * n * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["handed on"] = benchmark::Counter(double(handedOn), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PushFlushPopFlush)->Arg(1)->Arg(8)->Arg(32);

// A render package's state: n stacks away from their defaults, collected whole.
void BM_FullFlush(benchmark::State& state)
{
    const int n = int(state.range(0));
    Scene scene(n);
    oxAttrStackManager* m = scene.manager;
    for (int i = 0; i < n; ++i)
        m->fastPushAttr(scene.attrs[i], scene.handles[i]);
    for (auto _ : state) {
        m->flushAttrs(scene.out);
        benchmark::DoNotOptimize(scene.out->getCount());
    }
    state.counters["attrs"] = benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullFlush)->Arg(1)->Arg(8)->Arg(32);

} // namespace
