// The draw traversal over generated scenes: n leaves, each a transform over an attribute
// set (one of eight textures and one of four materials; every fourth leaf transparent)
// over a small geometry. One frame is reset, apply and getOutput; items are leaves. The
// sorter modes: in traversal order (0), opaque by texture with transparent back to front,
// and opaque front to back by distance.
#include <benchmark/benchmark.h>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;

namespace {

oxSmartPointer<oxGroup> buildScene(int leaves)
{
    Kel::Sg::oxArkRegisterForOXBFiles();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTextureBindAttr> textures[8];
    for (auto& t : textures)
        t = oxTextureBindAttr::_instantiateRef();
    oxSmartPointer<oxMaterialAttr> materials[4];
    for (auto& m : materials)
        m = oxMaterialAttr::_instantiateRef();
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);
    oxSmartPointer<oxGeometryAttr> shape = oxGeometryAttr::_instantiateRef();
    shape->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, 3);
    shape->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);

    oxGroup* block = nullptr;
    for (int i = 0; i < leaves; ++i) {
        if (i % 100 == 0) {
            block = oxGroup::_instantiate();
            root->appendChild(block);
        }
        oxTransform* t = oxTransform::_instantiate();
        oxMatrix44f m;
        m.makeTranslation(oxVec3f(float(i % 97), float(i % 13), -float(i % 89) - 1));
        t->setMatrix(&m);
        oxAttrSet* set = oxAttrSet::_instantiate();
        set->appendAttr(textures[(i * 7) % 8]);
        set->appendAttr(materials[i % 4]);
        if (i % 4 == 3)
            set->appendAttr(blend);
        oxGeometry* g = oxGeometry::_instantiate();
        g->addGeometryAttr(shape);
        oxSphere* bound = oxSphere::_instantiate();
        bound->set(oxVec3f(0, 0, 0), 1);
        g->setBound(bound);
        set->appendChild(g);
        t->appendChild(set);
        block->appendChild(t);
    }
    return root;
}

void BM_DrawFrame(benchmark::State& state)
{
    const int leaves = int(state.range(0));
    const int mode = int(state.range(1));
    oxSmartPointer<oxGroup> root = buildScene(leaves);
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    draw->setVisualContext(nullptr);
    draw->getSorter()->setMode(mode);
    draw->setPerspective(60, -1, 4.0f / 3, 0.1f, 1000);
    int outputSize = 0;
    for (auto _ : state) {
        draw->reset();
        draw->apply(root);
        outputSize = draw->getOutput()->getCount();
        benchmark::DoNotOptimize(outputSize);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * leaves);
    state.counters["ns/leaf"] =
        benchmark::Counter(double(int64_t(state.iterations()) * leaves), benchmark::Counter::kIsRate |
                                                                              benchmark::Counter::kInvert);
    state.counters["output"] = outputSize;
}

constexpr int kTextureBackToFront = oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE;
constexpr int kDistance = oxSorter::SORT_OPAQUE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_DISTANCE;
BENCHMARK(BM_DrawFrame)
    ->ArgsProduct({{1000, 10000, 100000}, {0, kTextureBackToFront, kDistance}})
    ->Unit(benchmark::kMicrosecond);

} // namespace
