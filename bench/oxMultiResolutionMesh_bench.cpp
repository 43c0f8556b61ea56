// Progressive meshes on a terrain of about a million triangles: building them, the error they
// leave at 50 %, 10 % and 1 % of the triangles, and what a change of resolution costs. With
// meshoptimizer installed, its simplifier runs on the same patches (and on the whole mesh)
// for comparison.
//
// The cores use 16-bit indices, and optimal placement adds a vertex per collapse, so a core
// takes at most 32,767 source vertices: the terrain is cut into 4 by 4 patches of 177 by 177
// squares (31,684 vertices, 62,658 triangles each), one core per patch.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/meshError.h"
#include "sg/OXSg.h"

#ifdef OXSG_HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

using namespace Kel::Sg;
using Kel::Gfx::oxVertexFormat;

namespace {

constexpr int kPatches = 4;
constexpr int kPatchSquares = 177;
constexpr int kSquares = kPatches * kPatchSquares; // 708: 1,002,528 triangles
const float kLevels[3] = {0.5f, 0.1f, 0.01f};

float height(float x, float y)
{
    float h = 0, amplitude = 0.06f, f = 3;
    for (int o = 0; o < 6; ++o) {
        h += amplitude * std::sin(f * x + 1.3f * float(o)) * std::cos(f * 1.1f * y + 0.7f * float(o));
        amplitude *= 0.5f;
        f *= 2.1f;
    }
    return h;
}

oxVec3f terrainPoint(int x, int y)
{
    const float fx = float(x) / kSquares, fy = float(y) / kSquares;
    return oxVec3f(fx, fy, height(fx, fy));
}

struct Patch {
    std::vector<float> positions;
    std::vector<uint32_t> indices;
};

const std::vector<Patch>& patches()
{
    static std::vector<Patch> all = [] {
        std::vector<Patch> out;
        for (int py = 0; py < kPatches; ++py)
            for (int px = 0; px < kPatches; ++px) {
                Patch p;
                const int n = kPatchSquares + 1;
                for (int y = 0; y < n; ++y)
                    for (int x = 0; x < n; ++x) {
                        const oxVec3f v = terrainPoint(px * kPatchSquares + x, py * kPatchSquares + y);
                        p.positions.insert(p.positions.end(), {v.x, v.y, v.z});
                    }
                for (int y = 0; y < kPatchSquares; ++y)
                    for (int x = 0; x < kPatchSquares; ++x) {
                        const uint32_t a = uint32_t(y * n + x), b = a + 1, c = a + uint32_t(n), d = c + 1;
                        p.indices.insert(p.indices.end(), {a, b, d, a, d, c});
                    }
                out.push_back(std::move(p));
            }
        return out;
    }();
    return all;
}

// The whole terrain as one mesh, shared vertices along the patch seams.
const meshError::Mesh& wholeMesh()
{
    static meshError::Mesh m = [] {
        meshError::Mesh out;
        const int n = kSquares + 1;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const oxVec3f v = terrainPoint(x, y);
                out.positions.insert(out.positions.end(), {v.x, v.y, v.z});
            }
        for (int y = 0; y < kSquares; ++y)
            for (int x = 0; x < kSquares; ++x) {
                const uint32_t a = uint32_t(y * n + x), b = a + 1, c = a + uint32_t(n), d = c + 1;
                out.indices.insert(out.indices.end(), {a, b, d, a, d, c});
            }
        return out;
    }();
    return m;
}

meshError::Grid& wholeGrid()
{
    static meshError::Grid g(wholeMesh());
    return g;
}

oxSmartPointer<oxMultiResolutionMeshCore> makeCore(const Patch& p)
{
    oxSmartPointer<oxVertexArray> v = oxVertexArray::_instantiateRef();
    const int count = int(p.positions.size() / 3);
    v->configure(oxVertexFormat::kPositions, count);
    for (int i = 0; i < count; ++i)
        v->setPosition(i, oxVec3f(p.positions[3 * size_t(i)], p.positions[3 * size_t(i) + 1], p.positions[3 * size_t(i) + 2]));
    oxSmartPointer<oxIndexArray> idx = oxIndexArray::_instantiateRef();
    idx->setCount(int(p.indices.size()));
    for (size_t i = 0; i < p.indices.size(); ++i)
        (*idx)[int(i)] = uint16_t(p.indices[i]);
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    core->setVertexArray(v);
    core->setIndexArray(idx);
    core->setPlacementPolicy(oxMultiResolutionMeshCore::PLACEMENT_OPTIMAL);
    return core;
}

size_t sourceTriangles()
{
    size_t n = 0;
    for (const Patch& p : patches())
        n += p.indices.size() / 3;
    return n;
}

void registerOnce()
{
    static bool done = [] {
        Kel::Sg::oxArkRegisterForOXBFiles();
        return true;
    }();
    (void)done;
}

// Every patch made progressive, from the full count down to one triangle.
void BM_MrmBuild(benchmark::State& state)
{
    registerOnce();
    const std::vector<Patch>& all = patches();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<oxSmartPointer<oxMultiResolutionMeshCore>> cores;
        for (const Patch& p : all)
            cores.push_back(makeCore(p));
        state.ResumeTiming();
        for (oxMultiResolutionMeshCore* c : cores)
            if (c->generate() != kSuccess)
                state.SkipWithError("generation failed");
        benchmark::DoNotOptimize(cores.data());
    }
    state.counters["triangles_per_s"] =
        benchmark::Counter(double(sourceTriangles()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MrmBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

const std::vector<oxSmartPointer<oxMultiResolutionMeshCore>>& generatedCores()
{
    static std::vector<oxSmartPointer<oxMultiResolutionMeshCore>> cores = [] {
        registerOnce();
        std::vector<oxSmartPointer<oxMultiResolutionMeshCore>> out;
        for (const Patch& p : patches()) {
            out.push_back(makeCore(p));
            out.back()->generate();
        }
        return out;
    }();
    return cores;
}

// The patches drawn at a fraction of their triangles, as one mesh.
meshError::Mesh mrmAt(float fraction, size_t& triangles)
{
    meshError::Mesh out;
    triangles = 0;
    for (oxMultiResolutionMeshCore* core : generatedCores()) {
        oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
        m->setMultiResolutionMeshCore(core);
        const float lo = float(core->getMinimumPolygonCount()), hi = float(core->getMaximumPolygonCount());
        const float target = fraction * hi;
        m->setTargetResolution(hi > lo ? (target - lo + 0.5f) / (hi - lo) : 1.0f);
        const uint32_t base = uint32_t(out.positions.size() / 3);
        const oxVertexArray* v = core->getVertexArray();
        for (int i = 0; i < v->getVertexCount(); ++i) {
            const oxVec3f p = v->getPosition(i);
            out.positions.insert(out.positions.end(), {p.x, p.y, p.z});
        }
        const oxIndexArray* idx = m->getInstanceArray();
        for (unsigned k = 0; k < m->getCurrentPolygonCount() * 3; ++k)
            out.indices.push_back(base + idx->get(int(k)));
        triangles += m->getCurrentPolygonCount();
    }
    return out;
}

void BM_MrmError(benchmark::State& state)
{
    registerOnce();
    for (auto _ : state) {
        for (int l = 0; l < 3; ++l) {
            size_t triangles = 0;
            const meshError::Mesh simplified = mrmAt(kLevels[l], triangles);
            double there = 0, back = 0;
            const double e = meshError::relativeHausdorff(wholeMesh(), wholeGrid(), simplified, 200000, &there, &back);
            char name[64];
            std::snprintf(name, sizeof name, "err_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = e;
            std::snprintf(name, sizeof name, "err_out_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = there;
            std::snprintf(name, sizeof name, "err_uncovered_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = back;
            std::snprintf(name, sizeof name, "tris_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = double(triangles);
        }
    }
}
BENCHMARK(BM_MrmError)->Unit(benchmark::kSecond)->Iterations(1);

// One instance on one patch moving between two counts that differ by state.range(0)
// triangles (and back): the time per change should follow the triangles that change.
void BM_MrmResolutionChange(benchmark::State& state)
{
    oxMultiResolutionMeshCore* core = generatedCores()[5];
    oxSmartPointer<oxMultiResolutionMeshInstance> m = oxMultiResolutionMeshInstance::_instantiateRef();
    m->setMultiResolutionMeshCore(core);
    const float lo = float(core->getMinimumPolygonCount()), hi = float(core->getMaximumPolygonCount());
    const float step = float(state.range(0));
    const float from = 0.4f * hi;
    const float r0 = (from - lo + 0.5f) / (hi - lo), r1 = (from + step - lo + 0.5f) / (hi - lo);
    m->setTargetResolution(r0);
    const unsigned n0 = m->getCurrentPolygonCount();
    m->setTargetResolution(r1);
    const unsigned n1 = m->getCurrentPolygonCount();
    bool up = false;
    for (auto _ : state) {
        m->setTargetResolution(up ? r1 : r0);
        up = !up;
    }
    state.counters["changed_tris"] = double(n1 - n0);
    state.counters["ns_per_changed_tri"] = benchmark::Counter(
        double(n1 - n0) * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MrmResolutionChange)->Arg(2)->Arg(64)->Arg(2048)->Arg(30000);

#ifdef OXSG_HAVE_MESHOPTIMIZER

// meshoptimizer's simplifier on the same patches, to state.range(0) per mille of the
// triangles of each.
void BM_MeshoptPatches(benchmark::State& state)
{
    const float fraction = float(state.range(0)) / 1000.0f;
    std::vector<uint32_t> out;
    for (auto _ : state)
        for (const Patch& p : patches()) {
            out.resize(p.indices.size());
            const size_t target = size_t(float(p.indices.size() / 3) * fraction) * 3;
            benchmark::DoNotOptimize(meshopt_simplify(out.data(), p.indices.data(), p.indices.size(), p.positions.data(),
                                                      p.positions.size() / 3, 12, target, 1e30f, 0, nullptr));
        }
    state.counters["triangles_per_s"] =
        benchmark::Counter(double(sourceTriangles()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeshoptPatches)->Arg(500)->Arg(100)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_MeshoptError(benchmark::State& state)
{
    for (auto _ : state) {
        for (int l = 0; l < 3; ++l) {
            // Patch by patch, as the cores are built.
            meshError::Mesh simplified;
            size_t triangles = 0;
            for (const Patch& p : patches()) {
                std::vector<uint32_t> out(p.indices.size());
                const size_t target = size_t(float(p.indices.size() / 3) * kLevels[l] + 0.5f) * 3;
                const size_t n = meshopt_simplify(out.data(), p.indices.data(), p.indices.size(), p.positions.data(),
                                                  p.positions.size() / 3, 12, target, 1e30f, 0, nullptr);
                const uint32_t base = uint32_t(simplified.positions.size() / 3);
                simplified.positions.insert(simplified.positions.end(), p.positions.begin(), p.positions.end());
                for (size_t k = 0; k < n; ++k)
                    simplified.indices.push_back(base + out[k]);
                triangles += n / 3;
            }
            char name[64];
            std::snprintf(name, sizeof name, "err_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = meshError::relativeHausdorff(wholeMesh(), wholeGrid(), simplified, 200000);
            std::snprintf(name, sizeof name, "tris_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = double(triangles);

            // The whole mesh at once.
            const meshError::Mesh& whole = wholeMesh();
            meshError::Mesh one;
            one.positions = whole.positions;
            one.indices.resize(whole.indices.size());
            const size_t target = size_t(float(whole.indices.size() / 3) * kLevels[l] + 0.5f) * 3;
            one.indices.resize(meshopt_simplify(one.indices.data(), whole.indices.data(), whole.indices.size(),
                                                whole.positions.data(), whole.positions.size() / 3, 12, target, 1e30f,
                                                0, nullptr));
            std::snprintf(name, sizeof name, "whole_err_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = meshError::relativeHausdorff(whole, wholeGrid(), one, 200000);
            std::snprintf(name, sizeof name, "whole_tris_%g%%", double(kLevels[l]) * 100);
            state.counters[name] = double(one.indices.size() / 3);
        }
    }
}
BENCHMARK(BM_MeshoptError)->Unit(benchmark::kSecond)->Iterations(1);

#endif

} // namespace
