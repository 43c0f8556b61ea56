#pragma once
// The two frames the comparison with OpenSceneGraph measures, on the generated scene
// (benchScene.h) built once in each library; shared by the timing benchmark and the
// cache-miss driver.
//
// Ours: oxCommonTraversal reset, apply and getOutput with the sorter sorting opaque work
// by texture and transparent work back to front (mode 68).
// OSG: osgUtil::CullVisitor over the graph into a RenderStage and StateGraph (render
// leaves grouped by state, transparent leaves in the depth-sorted transparent bin), then
// the stage's sort and the graph's prune, as osgUtil::SceneView does per frame. Culling
// and near/far computation are off, so both do the whole graph; neither draws.
//
// The OSG scene: per leaf a MatrixTransform over a Group carrying the leaf's state set over
// a Geometry, in one of three layouts (OsgLayout).
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

namespace osgpeer {

enum class OsgLayout {
    // State sets shared between leaves of the same texture, material and transparency (8),
    // and one Geometry under every leaf: how an OSG application would build this scene,
    // and OSG's fastest case.
    SharedStateSets = 0,
    // One state set per leaf, like the attribute set per leaf of the OXSg scene; the
    // Geometry still shared.
    PerLeafStateSets = 1,
    // Like for like: one state set and one Geometry node per leaf, as the OXSg scene has
    // an attribute set and an oxGeometry per leaf.
    LikeForLike = 2,
};

inline const char* layoutName(OsgLayout layout)
{
    switch (layout) {
    case OsgLayout::SharedStateSets: return "shared state sets, shared geometry";
    case OsgLayout::PerLeafStateSets: return "state set per leaf, shared geometry";
    case OsgLayout::LikeForLike: return "state set and geometry per leaf";
    }
    return "?";
}

inline osg::ref_ptr<osg::Group> buildOsgScene(int leaves, OsgLayout layout,
                                              benchscene::PositionFunction position = benchscene::leafPosition)
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

    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(-1, -1, 0));
    vertices->push_back(osg::Vec3(1, -1, 0));
    vertices->push_back(osg::Vec3(0, 1, 0));
    osg::ref_ptr<osg::DrawArrays> triangle = new osg::DrawArrays(GL_TRIANGLES, 0, 3);
    auto makeGeometry = [&] {
        osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
        g->setVertexArray(vertices);
        g->addPrimitiveSet(triangle);
        return g;
    };
    osg::ref_ptr<osg::Geometry> shared = makeGeometry();

    std::map<std::tuple<int, int, bool>, osg::ref_ptr<osg::StateSet>> sharedStateSets;
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
        const Kel::Sg::oxVec3f p = position(i);
        auto* t = new osg::MatrixTransform(osg::Matrix::translate(p.x, p.y, p.z));
        auto* set = new osg::Group;
        if (layout == OsgLayout::SharedStateSets) {
            osg::ref_ptr<osg::StateSet>& s = sharedStateSets[{leafTexture(i), leafMaterial(i), leafTransparent(i)}];
            if (!s)
                s = makeStateSet(i);
            set->setStateSet(s);
        } else
            set->setStateSet(makeStateSet(i));
        // The leaf's geometry node: its own, with its own bound, over the shared vertex
        // array and primitive set, as each OXSg leaf has an oxGeometry over a shared
        // geometry attribute; or the one geometry every leaf shares.
        if (layout == OsgLayout::LikeForLike)
            set->addChild(makeGeometry());
        else
            set->addChild(shared);
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

} // namespace osgpeer
