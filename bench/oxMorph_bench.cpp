// The processor blend of a morph instance: 50 active targets on a 10,000-vertex mesh, each
// moving 20 to 40 % of the vertices. Every iteration changes every weight, so every target
// is blended again; the figure that matters is the time per displaced vertex per target.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "sg/OXSg.h"

using namespace Kel::Sg;
using Kel::Gfx::oxVertexFormat;

namespace {

constexpr int kVertices = 10000;
constexpr int kTargets = 50;

struct Scene {
    oxSmartPointer<oxMorphInstance> instance;
    long displaced = 0; // (vertex, target) pairs of one blend
};

Scene build(bool normals)
{
    Kel::libOXSg_arkRegister();
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(-1, 1);
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    va->configure(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(1), kVertices);
    for (int i = 0; i < kVertices; ++i) {
        va->setPosition(i, oxVec3f(u(rng), u(rng), u(rng)));
        va->setNormal(i, oxVec3f(0, 0, 1));
    }
    oxSmartPointer<oxMorphBase> base = oxMorphBase::_instantiateRef();
    base->setVertexArray(va);
    base->setMaxCoefficients(kTargets);
    Scene s;
    for (int c = 0; c < kTargets; ++c) {
        const unsigned share = 20 + unsigned(c * 20 / kTargets); // 20 % to 39 %
        oxSmartPointer<oxIntList> index = oxIntList::_instantiateRef();
        oxSmartPointer<oxVec3fList> disp = oxVec3fList::_instantiateRef();
        oxSmartPointer<oxIntList> nIndex = oxIntList::_instantiateRef();
        oxSmartPointer<oxVec3fList> nDisp = oxVec3fList::_instantiateRef();
        for (int i = 0; i < kVertices; ++i)
            if (rng() % 100 < share) {
                index->append(i);
                disp->append(oxVec3f(u(rng), u(rng), u(rng)) * 0.1f);
                nIndex->append(i);
                nDisp->append(oxVec3f(u(rng), u(rng), 0) * 0.2f);
            }
        s.displaced += disp->getCount();
        base->setPositionDisplacementVec(c, disp);
        base->setPositionIndexArray(c, index);
        if (normals) {
            base->setNormalDisplacementVec(c, nDisp);
            base->setNormalIndexArray(c, nIndex);
        }
    }
    s.instance = oxMorphInstance::_instantiateRef();
    s.instance->setBase(base);
    return s;
}

void blend(benchmark::State& state, bool normals)
{
    Scene s = build(normals);
    float phase = 0;
    for (auto _ : state) {
        phase += 0.01f;
        for (int c = 0; c < kTargets; ++c)
            s.instance->setCoefficient(c, 0.5f + 0.4f * float((c + int(phase * 100)) % 7) / 7.0f + phase * 1e-3f);
        s.instance->update();
        benchmark::DoNotOptimize(s.instance->getMorphedVertexArray()->getVertexData());
    }
    // Seconds per (vertex, target) pair: the displayed value is in ns with the "n" prefix.
    state.counters["per_vertex_target"] =
        benchmark::Counter(double(s.displaced), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["pairs"] = double(s.displaced);
}

void BM_MorphBlendPositions(benchmark::State& state)
{
    blend(state, false);
}
BENCHMARK(BM_MorphBlendPositions)->Unit(benchmark::kMicrosecond);

// Normals double the pairs (each moved vertex has a normal displacement too) and add the
// renormalisation of every moved normal; the counter still divides by the position pairs.
void BM_MorphBlendPositionsAndNormals(benchmark::State& state)
{
    blend(state, true);
}
BENCHMARK(BM_MorphBlendPositionsAndNormals)->Unit(benchmark::kMicrosecond);

} // namespace
