// Rays side by side with OpenSceneGraph, on the mesh and the scene of raysScene.h built
// once in each library: every hit of each ray, with its node path.
//
// Ours: oxPickRay per ray (a traversal of its own, the ray's segment as probe volume,
// attributes searched through their box hierarchy, hits sorted nearest first).
// OSG: an osgUtil::LineSegmentIntersector over the same segment per ray, through an
// osgUtil::IntersectionVisitor, with the geometry's KdTree (built by osg::KdTreeBuilder)
// and without it.
//
// The sides take turns within every iteration (which goes first alternates too), each timed
// on its own in CPU time of the thread: the development machine is shared, and wall-clock
// time there counts other programs' turns too. Counters: ours_us, osg_kd_us, osg_us (per ray; the last on a few rays only, it
// tests every triangle), ratio_kd = ours / OSG with KdTree, hits per ray of each side (they
// should agree), and the one-off build times of our search structure and of OSG's KdTree.
#include <benchmark/benchmark.h>

#include <ctime>

#include <osg/Geometry>
#include <osg/Group>
#include <osg/KdTree>
#include <osg/MatrixTransform>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

#include "bench/raysScene.h"

namespace {

using raysscene::Ray;

// CPU time of this thread, in seconds.
struct Clock {
    using time_point = double;
    static double now()
    {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
};

double secondsSince(double start)
{
    return Clock::now() - start;
}

osg::ref_ptr<osg::Geometry> osgGeometry(const std::vector<Kel::Sg::oxVec3f>& corners)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->reserve(corners.size());
    for (const Kel::Sg::oxVec3f& c : corners)
        vertices->push_back(osg::Vec3(c.x, c.y, c.z));
    osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
    g->setVertexArray(vertices.get());
    g->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, GLsizei(corners.size())));
    return g;
}

osg::ref_ptr<osg::Group> osgScene(osg::Geometry* shape)
{
    const std::vector<raysscene::Placement> placements = raysscene::scenePlacements();
    osg::ref_ptr<osg::Group> root = new osg::Group;
    for (int g = 0; g < raysscene::kGroups; ++g) {
        osg::Group* group = new osg::Group;
        for (int k = 0; k < raysscene::kPerGroup; ++k) {
            // Both libraries apply row vectors to matrices laid out row by row.
            const Kel::Sg::oxMatrix44f m = raysscene::placementMatrix(placements[size_t(g * raysscene::kPerGroup + k)]);
            osg::MatrixTransform* t = new osg::MatrixTransform(osg::Matrix(m.data()));
            t->addChild(shape);
            group->addChild(t);
        }
        root->addChild(group);
    }
    return root;
}

// Builds the KdTree of every geometry under `node` that has none; seconds.
double buildKdTrees(osg::Node* node)
{
    osg::ref_ptr<osg::KdTreeBuilder> builder = new osg::KdTreeBuilder;
    const Clock::time_point start = Clock::now();
    node->accept(*builder);
    return secondsSince(start);
}

size_t osgRay(osg::Node* root, const Ray& r, bool kdTree)
{
    const Kel::Sg::oxVec3f end = r.origin + r.direction * r.length;
    osg::ref_ptr<osgUtil::LineSegmentIntersector> li = new osgUtil::LineSegmentIntersector(
        osg::Vec3d(r.origin.x, r.origin.y, r.origin.z), osg::Vec3d(end.x, end.y, end.z));
    osgUtil::IntersectionVisitor iv(li.get());
    iv.setUseKdTreeWhenAvailable(kdTree);
    root->accept(iv);
    return li->getIntersections().size();
}

size_t oursRay(Kel::Sg::oxNode* root, const Ray& r, std::vector<Kel::Sg::oxPickHit>& hits)
{
    Kel::Sg::oxPickRay(root, r.origin, r.direction, r.length, Kel::Sg::ISET_BOTH, hits);
    return hits.size();
}

// `batch` rays per iteration on both sides with a KdTree, `slowBatch` of them also without.
void raysSideBySide(benchmark::State& state, Kel::Sg::oxNode* ours, osg::Node* osgRoot,
                    const std::vector<Ray>& rays, int batch, int slowBatch)
{
    std::vector<Kel::Sg::oxPickHit> hits;
    double oursSeconds = 0, kdSeconds = 0, plainSeconds = 0;
    size_t oursHits = 0, kdHits = 0, plainHits = 0, oursRays = 0, plainRays = 0;
    size_t next = 0;
    int64_t iteration = 0;
    for (auto _ : state) {
        const size_t first = next;
        next = (next + size_t(batch)) % rays.size();
        for (int side = 0; side < 2; ++side) {
            const bool runOurs = (side == 0) == (iteration % 2 == 0);
            const Clock::time_point start = Clock::now();
            size_t found = 0;
            for (int i = 0; i < batch; ++i) {
                const Ray& r = rays[(first + size_t(i)) % rays.size()];
                found += runOurs ? oursRay(ours, r, hits) : osgRay(osgRoot, r, true);
            }
            (runOurs ? oursSeconds : kdSeconds) += secondsSince(start);
            (runOurs ? oursHits : kdHits) += found;
        }
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < slowBatch; ++i)
            plainHits += osgRay(osgRoot, rays[(first + size_t(i)) % rays.size()], false);
        plainSeconds += secondsSince(start);
        oursRays += size_t(batch);
        plainRays += size_t(slowBatch);
        ++iteration;
    }
    const double n = double(oursRays);
    state.counters["ours_us"] = oursSeconds / n * 1e6;
    state.counters["osg_kd_us"] = kdSeconds / n * 1e6;
    state.counters["osg_us"] = plainRays ? plainSeconds / double(plainRays) * 1e6 : 0;
    state.counters["ratio_kd"] = kdSeconds > 0 ? oursSeconds / kdSeconds : 0;
    state.counters["ours_hits"] = double(oursHits) / n;
    state.counters["osg_kd_hits"] = double(kdHits) / n;
    state.counters["osg_hits"] = plainRays ? double(plainHits) / double(plainRays) : 0;
}

void BM_RaysMesh(benchmark::State& state)
{
    const std::vector<Kel::Sg::oxVec3f> corners = raysscene::meshTriangles();
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGeometry> ours = raysscene::buildMesh();
    osg::ref_ptr<osg::Geometry> mesh = osgGeometry(corners);

    // The one-off builds: our search structure on the first ray, OSG's KdTree.
    std::vector<Kel::Sg::oxPickHit> hits;
    const Clock::time_point start = Clock::now();
    oursRay(ours, raysscene::meshRays(1, 99)[0], hits);
    state.counters["ours_build_ms"] = secondsSince(start) * 1e3;
    state.counters["osg_kd_build_ms"] = buildKdTrees(mesh.get()) * 1e3;
    state.counters["triangles"] = double(corners.size() / 3);

    raysSideBySide(state, ours, mesh.get(), raysscene::meshRays(1000), 100, 1);
}
BENCHMARK(BM_RaysMesh)->Unit(benchmark::kMillisecond);

void BM_RaysScene(benchmark::State& state)
{
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> ours = raysscene::buildScene();
    osg::ref_ptr<osg::Geometry> shape = osgGeometry(raysscene::sceneShape());
    osg::ref_ptr<osg::Group> scene = osgScene(shape.get());
    std::vector<Kel::Sg::oxPickHit> hits;
    const Clock::time_point start = Clock::now();
    oursRay(ours, raysscene::sceneRays(1, 99)[0], hits);
    state.counters["ours_first_ray_ms"] = secondsSince(start) * 1e3;
    state.counters["osg_kd_build_ms"] = buildKdTrees(scene.get()) * 1e3;
    raysSideBySide(state, ours, scene.get(), raysscene::sceneRays(1000), 100, 20);
}
BENCHMARK(BM_RaysScene)->Unit(benchmark::kMillisecond);

} // namespace
