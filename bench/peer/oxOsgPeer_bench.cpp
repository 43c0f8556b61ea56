// OXSg's frame build side by side with OpenSceneGraph's cull traversal, on the same
// generated scene (benchScene.h) built once in each library.
//
// Ours: oxCommonTraversal reset, apply and getOutput with the sorter sorting opaque work
// by texture and transparent work back to front (mode 68).
// OSG: osgUtil::CullVisitor over the graph into a RenderStage and StateGraph (render
// leaves grouped by state, transparent leaves in the depth-sorted transparent bin), then
// the stage's sort and the graph's prune, as osgUtil::SceneView does per frame. Culling
// and near/far computation are off, so both do the whole graph; neither draws.
//
// The two run alternately within every iteration (which goes first alternates too), each
// timed on its own. Counters: ours_us and osg_us per frame, ratio = ours / OSG, and heap
// allocations per frame of each.
//
// The OSG scene: per leaf a MatrixTransform over a Group carrying the state set over the
// one shared Geometry. Its state sets are shared between leaves of the same texture,
// material and transparency (8 of them), as an OSG application would share them; the
// "perLeafStateSets" variant gives every leaf its own, like the attribute set per leaf of
// the OXSg scene.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <tuple>

#include <osg/BlendFunc>
#include <osg/Geometry>
#include <osg/Group>
#include <osg/Material>
#include <osg/MatrixTransform>
#include <osg/Texture2D>
#include <osg/Viewport>
#include <osgUtil/CullVisitor>
#include <osgUtil/RenderStage>
#include <osgUtil/StateGraph>

#include "bench/benchScene.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using sortertest::AllocationCounter;

namespace {

osg::ref_ptr<osg::Group> buildOsgScene(int leaves, bool perLeafStateSets)
{
    using namespace benchscene;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::Texture2D> textures[kTextures];
    for (auto& t : textures)
        t = new osg::Texture2D;
    osg::ref_ptr<osg::Material> materials[kMaterials];
    for (auto& m : materials)
        m = new osg::Material;
    osg::ref_ptr<osg::BlendFunc> blend = new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    osg::ref_ptr<osg::Geometry> shape = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(-1, -1, 0));
    vertices->push_back(osg::Vec3(1, -1, 0));
    vertices->push_back(osg::Vec3(0, 1, 0));
    shape->setVertexArray(vertices);
    shape->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, 3));

    std::map<std::tuple<int, int, bool>, osg::ref_ptr<osg::StateSet>> shared;
    auto makeStateSet = [&](int i) {
        osg::ref_ptr<osg::StateSet> s = new osg::StateSet;
        s->setTextureAttributeAndModes(0, textures[leafTexture(i)], osg::StateAttribute::ON);
        s->setAttributeAndModes(materials[leafMaterial(i)], osg::StateAttribute::ON);
        if (leafTransparent(i)) {
            s->setAttributeAndModes(blend, osg::StateAttribute::ON);
            s->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
        }
        return s;
    };

    osg::Group* block = nullptr;
    for (int i = 0; i < leaves; ++i) {
        if (i % kLeavesPerBlock == 0) {
            block = new osg::Group;
            root->addChild(block);
        }
        const Kel::Sg::oxVec3f p = leafPosition(i);
        auto* t = new osg::MatrixTransform(osg::Matrix::translate(p.x, p.y, p.z));
        auto* set = new osg::Group;
        if (perLeafStateSets)
            set->setStateSet(makeStateSet(i));
        else {
            osg::ref_ptr<osg::StateSet>& s = shared[{leafTexture(i), leafMaterial(i), leafTransparent(i)}];
            if (!s)
                s = makeStateSet(i);
            set->setStateSet(s);
        }
        set->addChild(shape);
        t->addChild(set);
        block->addChild(t);
    }
    return root;
}

// One OSG frame as osgUtil::SceneView::cull runs it, without the camera and draw.
struct OsgCull {
    osg::ref_ptr<osgUtil::CullVisitor> cull = new osgUtil::CullVisitor;
    osg::ref_ptr<osgUtil::StateGraph> graph = new osgUtil::StateGraph;
    osg::ref_ptr<osgUtil::RenderStage> stage = new osgUtil::RenderStage;
    osg::ref_ptr<osg::Viewport> viewport = new osg::Viewport(0, 0, 800, 600);
    osg::ref_ptr<osg::RefMatrix> projection =
        new osg::RefMatrix(osg::Matrix::perspective(47.0, 4.0 / 3.0, 0.1, 1000.0));
    osg::ref_ptr<osg::RefMatrix> view = new osg::RefMatrix(osg::Matrix::identity());
    osg::ref_ptr<osg::StateSet> global = new osg::StateSet;

    OsgCull()
    {
        cull->setCullingMode(osg::CullSettings::NO_CULLING);
        cull->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    }

    void frame(osg::Node* root)
    {
        cull->reset();
        cull->setStateGraph(graph);
        cull->setRenderStage(stage);
        stage->reset();
        graph->clean();
        stage->setViewport(viewport);
        stage->setInitialViewMatrix(view);
        cull->pushStateSet(global);
        cull->pushViewport(viewport);
        cull->pushProjectionMatrix(projection);
        cull->pushModelViewMatrix(view, osg::Transform::ABSOLUTE_RF);
        root->accept(*cull);
        cull->popModelViewMatrix();
        cull->popProjectionMatrix();
        cull->popViewport();
        cull->popStateSet();
        stage->sort();
        graph->prune();
    }

    static size_t leaves(osgUtil::RenderBin* bin)
    {
        size_t n = bin->getRenderLeafList().size();
        for (osgUtil::StateGraph* s : bin->getStateGraphList())
            n += s->_leaves.size();
        for (auto& child : bin->getRenderBinList())
            n += leaves(child.second.get());
        return n;
    }
    size_t leaves() { return leaves(stage.get()); }
};

struct OursFrame {
    Kel::Sg::oxSmartPointer<Kel::Sg::oxCommonTraversal> draw = Kel::Sg::oxCommonTraversal::_instantiateRef();
    int outputSize = 0;

    OursFrame()
    {
        draw->setVisualContext(nullptr);
        draw->getSorter()->setMode(Kel::Sg::oxSorter::SORT_OPAQUE_TEXTURE |
                                   Kel::Sg::oxSorter::SORT_TRANSPARENT_DISTANCE);
        draw->setPerspective(60, -1, 4.0f / 3, 0.1f, 1000);
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

void BM_OursVsOsg(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const int leaves = int(state.range(0));
    const bool perLeafStateSets = state.range(1) != 0;
    Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> oursRoot = benchscene::buildScene(leaves);
    osg::ref_ptr<osg::Group> osgRoot = buildOsgScene(leaves, perLeafStateSets);
    OursFrame ours;
    OsgCull osgCull;
    for (int warm = 0; warm < 2; ++warm) {
        ours.frame(oursRoot);
        osgCull.frame(osgRoot);
    }
    if (osgCull.leaves() != size_t(leaves) || ours.packages() != leaves) {
        state.SkipWithError("the two frames do not hold one piece of work per leaf");
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
    const bool counted = AllocationCounter::available();
    state.counters["ours_allocs/frame"] = counted ? double(oursAllocations) / n : -1.0;
    state.counters["osg_allocs/frame"] = counted ? double(osgAllocations) / n : -1.0;
}
BENCHMARK(BM_OursVsOsg)
    ->ArgNames({"leaves", "perLeafStateSets"})
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace
