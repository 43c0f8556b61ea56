// Culled frames side by side with OpenSceneGraph: the generated leaves laid out on a plane
// (benchScene.h, planePosition) and seen from above, the view holding about a quarter of
// them. Ours: oxFrustCullTraversal with frustum and small-feature culling, bounds from
// oxBoundingBoxesMaker, then the sorted display list (mode 68). OSG: osgUtil::CullVisitor
// with VIEW_FRUSTUM_CULLING | SMALL_FEATURE_CULLING, both at a 5-pixel threshold, into the
// render stage, sorted and pruned as SceneView does. Neither draws.
//
// Counters as in oxOsgPeer_bench, and the leaves each side kept: the two bound the leaves
// differently (boxes against OSG's spheres), so the counts differ a little at the edges.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

#include "bench/peer/oxOsgPeer.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using sortertest::AllocationCounter;
using namespace osgpeer;

namespace {

constexpr float kPixels = 5;
constexpr int kViewport = 800;
constexpr double kFov = 60;

// The eye above the middle of the ground, looking down; the view spans half the ground's
// width each way, a quarter of its area.
struct View {
    Kel::Sg::oxVec3f eye, centre;
    explicit View(int leaves)
    {
        const int tiles = (leaves + benchscene::kLeavesPerBlock - 1) / benchscene::kLeavesPerBlock;
        const float width = 10.0f * float(std::min(tiles, 32));
        const float depth = 10.0f * float((tiles + 31) / 32);
        centre = Kel::Sg::oxVec3f(width / 2, 0, depth / 2);
        const float height = float(std::max(width, depth) / 4 / std::tan(kFov / 2 * M_PI / 180));
        eye = centre + Kel::Sg::oxVec3f(0, height, 0);
    }
};

struct OursCulled {
    Kel::Sg::oxSmartPointer<Kel::Sg::oxFrustCullTraversal> draw = Kel::Sg::oxFrustCullTraversal::_instantiateRef();
    Kel::Sg::oxSmartPointer<Kel::Gfx::oxRecordingVisualContext> vc =
        Kel::Gfx::oxRecordingVisualContext::_instantiateRef();
    int outputSize = 0;

    explicit OursCulled(const View& v)
    {
        using namespace Kel::Sg;
        oxMatrix44f projection, view;
        projection.perspective(float(kFov), 1, 1, 1000);
        view.lookAt(v.eye, v.centre, oxVec3f(0, 0, -1));
        // The device's projection and viewport are the frame's defaults, as when drawing.
        vc->setMatrix(Kel::Gfx::OX_GFX_MATRIX_PROJECTION, 0, projection);
        vc->setViewport(Kel::Gfx::oxViewport{0, 0, kViewport, kViewport});
        draw->setVisualContext(vc);
        draw->setProjectionMatrix(projection);
        draw->setViewMatrix(view);
        draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
        draw->setMode(oxFrustCullTraversal::SMALL_FEATURE_CULL);
        draw->setSmallFeatureCullPixelSize(kPixels);
    }
    void frame(Kel::Sg::oxGroup* root)
    {
        draw->reset();
        draw->apply(root);
        outputSize = draw->getOutput()->getCount();
    }
    int packages() const
    {
        int n = 0;
        for (Kel::Sg::oxRenderPackageList* list : {draw->getSorter()->getOpaqueRenderPackages(),
                                                   draw->getSorter()->getTransparentRenderPackages()})
            for (int i = 0; i < list->getCount(); ++i)
                n += list->get(i)->getGeometryAttrs()->getCount();
        return n;
    }
};

void BM_CulledOursVsOsg(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const int leaves = int(state.range(0));
    const View v(leaves);
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> oursRoot = benchscene::buildScene(leaves, benchscene::planePosition);
    Kel::Sg::oxBoundingBoxesMaker::_instantiateRef()->apply(oursRoot);
    osg::ref_ptr<osg::Group> osgRoot = buildOsgScene(leaves, OsgLayout::SharedStateSets, benchscene::planePosition);

    OursCulled ours(v);
    OsgCull osgCull;
    osgCull.cull->setCullingMode(osg::CullSettings::VIEW_FRUSTUM_CULLING | osg::CullSettings::SMALL_FEATURE_CULLING);
    osgCull.cull->setSmallFeatureCullingPixelSize(kPixels);
    osgCull.viewport = new osg::Viewport(0, 0, kViewport, kViewport);
    osgCull.projection = new osg::RefMatrix(osg::Matrix::perspective(kFov, 1.0, 1.0, 1000.0));
    osgCull.view = new osg::RefMatrix(osg::Matrix::lookAt(osg::Vec3(v.eye.x, v.eye.y, v.eye.z),
                                                          osg::Vec3(v.centre.x, v.centre.y, v.centre.z),
                                                          osg::Vec3(0, 0, -1)));
    for (int warm = 0; warm < 2; ++warm) {
        ours.frame(oursRoot);
        osgCull.frame(osgRoot);
    }
    const double oursKept = ours.packages(), osgKept = double(osgCull.leaves());
    if (oursKept < 0.2 * leaves || oursKept > 0.3 * leaves || std::fabs(oursKept - osgKept) > 0.05 * osgKept) {
        state.SkipWithError("the two sides do not keep about a quarter of the leaves each");
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
    state.counters["ours_kept"] = oursKept;
    state.counters["osg_kept"] = osgKept;
    const bool counted = AllocationCounter::available();
    state.counters["ours_allocs/frame"] = counted ? double(oursAllocations) / n : -1.0;
    state.counters["osg_allocs/frame"] = counted ? double(osgAllocations) / n : -1.0;
}
BENCHMARK(BM_CulledOursVsOsg)->ArgName("leaves")->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
