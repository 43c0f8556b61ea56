// Rays through the intersection traversal, on the mesh and the scene of raysScene.h: every
// hit of each ray, nearest first, through oxPickRay (a traversal of its own per ray, the
// hits kept with their paths) and through one traversal reused for every ray (its hit
// function only counts). Counters: per_ray (CPU time), hits/ray. The mesh's search
// structure is built before timing; BM_BuildSearch times that build alone, BM_WalkMesh a
// ray that walks every triangle instead.
#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>

#include "bench/raysScene.h"

using namespace Kel::Sg;

namespace {

int64_t g_hits = 0;

OX_TRAVERSAL_RETURN countPolygonHits(oxIntersectTraversal*, oxNode*, const oxHit& hit)
{
    g_hits += hit.type == oxIntersectTraversal::RAYS_POLYGON;
    return OX_TRAVERSAL_CONTINUE;
}

void report(benchmark::State& state, size_t rays, int64_t hits)
{
    const double n = double(state.iterations()) * double(rays);
    // CPU time per ray.
    state.counters["per_ray"] = benchmark::Counter(n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["hits/ray"] = double(hits) / n;
}

void pickAll(benchmark::State& state, oxNode* root, const std::vector<raysscene::Ray>& rays)
{
    std::vector<oxPickHit> hits;
    int64_t total = 0;
    for (auto _ : state)
        for (const raysscene::Ray& r : rays) {
            oxPickRay(root, r.origin, r.direction, r.length, ISET_BOTH, hits);
            total += int64_t(hits.size());
        }
    report(state, rays.size(), total);
}

void traverseAll(benchmark::State& state, oxNode* root, const std::vector<raysscene::Ray>& rays)
{
    oxSmartPointer<oxIntersectTraversal> t = oxIntersectTraversal::_instantiateRef();
    oxProbe* probe = t->getProbe();
    oxSmartPointer<oxCapsule> segment = oxCapsule::_instantiateRef();
    probe->setVolume(segment);
    probe->setRayCount(1);
    t->clearMode(~0);
    t->setMode(oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    t->setHitFunction(&countPolygonHits);
    g_hits = 0;
    for (auto _ : state)
        for (const raysscene::Ray& r : rays) {
            probe->setRay(0, r.origin, r.direction, r.length, ISET_BOTH);
            segment->set(r.origin, r.origin + r.direction * r.length, 0);
            t->reset();
            t->apply(root);
        }
    report(state, rays.size(), g_hits);
}

oxGeometry* mesh()
{
    static oxSmartPointer<oxGeometry> g = [] {
        oxSmartPointer<oxGeometry> m = raysscene::buildMesh();
        std::vector<oxPickHit> hits;
        oxPickRay(m, {0, 0, 40}, {0, 0, -1}, 100, ISET_BOTH, hits); // builds the search
        return m;
    }();
    return g;
}

oxGroup* scene()
{
    static oxSmartPointer<oxGroup> s = raysscene::buildScene();
    return s;
}

void BM_PickMesh(benchmark::State& state)
{
    pickAll(state, mesh(), raysscene::meshRays(1000));
}
BENCHMARK(BM_PickMesh)->Unit(benchmark::kMillisecond);

void BM_TraverseMesh(benchmark::State& state)
{
    traverseAll(state, mesh(), raysscene::meshRays(1000));
}
BENCHMARK(BM_TraverseMesh)->Unit(benchmark::kMillisecond);

void BM_PickScene(benchmark::State& state)
{
    pickAll(state, scene(), raysscene::sceneRays(1000));
}
BENCHMARK(BM_PickScene)->Unit(benchmark::kMillisecond);

void BM_TraverseScene(benchmark::State& state)
{
    traverseAll(state, scene(), raysscene::sceneRays(1000));
}
BENCHMARK(BM_TraverseScene)->Unit(benchmark::kMillisecond);

// The first ray after a change pays for the build.
void BM_BuildSearch(benchmark::State& state)
{
    auto* attr = static_cast<oxGeometryAttr*>(mesh()->getGeometryAttr(0));
    oxSmartPointer<oxRay> ray = oxRay::_instantiateRef();
    ray->set({0, 0, 40}, {0, 0, -1}, 100);
    oxVec3f point, normal;
    for (auto _ : state) {
        attr->touch();
        int primitive = -1, position = -1;
        benchmark::DoNotOptimize(
            oxIntersectTraversal::intersectRay(attr, ray, point, normal, primitive, position, ISET_BOTH, false));
    }
    state.counters["triangles"] = double(attr->getPrimitiveCount());
}
BENCHMARK(BM_BuildSearch)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WalkMesh(benchmark::State& state)
{
    const int threshold = oxIntersectTraversal::getTriangleSearchThreshold();
    oxIntersectTraversal::setTriangleSearchThreshold(INT_MAX);
    pickAll(state, mesh(), raysscene::meshRays(10));
    oxIntersectTraversal::setTriangleSearchThreshold(threshold);
}
BENCHMARK(BM_WalkMesh)->Unit(benchmark::kMillisecond);

} // namespace
