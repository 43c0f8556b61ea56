// Skinned vertices blended on the GPU by the device's vertex program against blended on the
// host: one lit tube of 10,000 vertices (100 rings of 100), each vertex with four weights
// naming four of 32 bones, drawn at 512x384 with a new pose every frame (so the palette is
// uploaded, or every vertex blended, every frame). Every frame ends with glFinish.
//
// The device uses whatever rasteriser EGL gives (a GPU if there is one); the label says
// which. LIBGL_ALWAYS_SOFTWARE=1 forces the software one, where the "GPU" is the CPU too.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;

namespace {
constexpr int kWidth = 512;
constexpr int kHeight = 384;
constexpr int kRings = 100;
constexpr int kSides = 100;
constexpr int kBones = 32;

struct Scene {
    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxGeometryAttr> tube;
    oxSmartPointer<oxAttrList> state;
    oxSmartPointer<oxClearAttr> clear;
    std::vector<oxMatrix44f> palette;
    int frame = 0;
    const char* problem = nullptr;
};

// Along x from -1 to 1; bone b sits at x = -1 + 2b / (kBones - 1), and a vertex takes the
// four bones nearest to it, weighted by closeness.
oxSmartPointer<oxGeometryAttr> skinnedTube()
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::blendWeights(4) |
                                oxVertexFormat::blendIndices(4),
                            kRings * kSides);
    oxVertexArray* v = g->getVertexArray();
    for (int r = 0; r < kRings; ++r) {
        const float x = -1.0f + 2.0f * float(r) / float(kRings - 1);
        const float at = (x + 1.0f) * 0.5f * float(kBones - 1);
        const int first = std::clamp(int(at) - 1, 0, kBones - 4);
        float weights[4], total = 0;
        for (int k = 0; k < 4; ++k)
            total += weights[k] = std::max(0.0f, 2.0f - std::abs(at - float(first + k)));
        for (int a = 0; a < kSides; ++a) {
            const int i = r * kSides + a;
            const float angle = 2.0f * float(M_PI) * float(a) / float(kSides);
            const oxVec3f n(0, std::cos(angle), std::sin(angle));
            g->setPosition(i, oxVec3f(x, 0, 0) + n * 0.15f);
            g->setNormal(i, n);
            for (int k = 0; k < 4; ++k) {
                v->setBlendIndex(i, k, first + k);
                v->setBlendWeight(i, k, weights[k] / total);
            }
        }
    }
    oxIndexArray* indices = g->configureIndexArray((kRings - 1) * kSides * 6);
    int k = 0;
    for (int r = 0; r + 1 < kRings; ++r)
        for (int a = 0; a < kSides; ++a) {
            const uint16_t p = uint16_t(r * kSides + a), q = uint16_t(r * kSides + (a + 1) % kSides);
            for (uint16_t index : {p, uint16_t(p + kSides), q, q, uint16_t(p + kSides), uint16_t(q + kSides)})
                indices->set(k++, index);
        }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, (kRings - 1) * kSides * 2);
    return g;
}

// A wave along the tube: each bone turns a little about z through its own place, and the
// turns add up from the left end.
void pose(Scene& s)
{
    const float phase = 0.05f * float(s.frame++);
    oxMatrix44f chain;
    for (int b = 0; b < kBones; ++b) {
        const float x = -1.0f + 2.0f * float(b) / float(kBones - 1);
        oxMatrix44f to, turn, back;
        to.makeTranslation({-x, 0, 0});
        turn.makeRotationZ(0.04f * std::sin(phase + 0.3f * float(b)));
        back.makeTranslation({x, 0, 0});
        chain = chain * to * turn * back;
        s.palette[size_t(b)] = chain;
    }
}

Scene& scene()
{
    static Scene s = [] {
        Scene s;
        Kel::libOXAttrs_arkRegister();
        s.vc = oxGLVisualContext::create(kWidth, kHeight);
        if (!s.vc) {
            s.problem = "no OpenGL device (see the warning above)";
            return s;
        }
        s.tube = skinnedTube();
        s.palette.resize(kBones);
        s.clear = oxClearAttr::_instantiateRef();
        s.clear->setColor({0.1f, 0.1f, 0.2f, 1});
        s.clear->setBuffers(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH);

        oxMatrix44f projection, view;
        projection.perspective(45.0f, float(kWidth) / float(kHeight), 0.1f, 10.0f);
        view.lookAt({0, 0.4f, 2.6f}, {0, 0, 0}, {0, 1, 0});
        s.vc->setViewMatrix(view);
        oxSmartPointer<oxProjectionMatrixAttr> p = oxProjectionMatrixAttr::_instantiateRef();
        p->setMatrix(projection);
        oxSmartPointer<oxModelViewMatrixAttr> modelView = oxModelViewMatrixAttr::_instantiateRef();
        modelView->setMatrix(view);
        oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
        light->setDirection(oxVec3f(-1, -2, -1).normalized());
        oxSmartPointer<oxLightStateAttr> lightOn = oxLightStateAttr::_instantiateRef();
        lightOn->setLight(light);
        oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
        lighting->setEnabled(true);
        oxSmartPointer<oxVertexBlendStateAttr> blending = oxVertexBlendStateAttr::_instantiateRef();
        blending->setEnabled(true);
        oxSmartPointer<oxMaterialAttr> material = oxMaterialAttr::_instantiateRef();
        material->setDiffuse({0.3f, 0.7f, 0.4f, 1});
        material->setSpecular({1, 1, 1, 1});
        material->setShininess(20);
        s.state = oxAttrList::_instantiateRef();
        for (oxAttr* a : std::initializer_list<oxAttr*>{p, modelView, light, lightOn, lighting, blending, material})
            s.state->append(a);
        return s;
    }();
    return s;
}

void frame(Scene& s)
{
    s.clear->apply(s.vc);
    for (int i = 0; i < s.state->getCount(); ++i)
        s.state->get(i)->apply(s.vc);
    pose(s);
    s.vc->setBlendMatrices(s.palette.data(), kBones);
    s.tube->apply(s.vc);
    s.vc->finish();
}

void timeFrames(benchmark::State& state, bool gpu)
{
    Scene& s = scene();
    if (s.problem) {
        state.SkipWithError(s.problem);
        return;
    }
    s.vc->setGpuVertexBlending(gpu);
    frame(s);
    if (gpu && !s.vc->hasVertexBlendProgram()) {
        state.SkipWithError("the device has no vertex blending program (see the warning above)");
        return;
    }
    state.SetLabel(s.vc->getRenderer());
    for (auto _ : state)
        frame(s);
    state.counters["vertices"] = double(kRings * kSides);
    state.SetItemsProcessed(state.iterations() * kRings * kSides);
}

void GpuBlending(benchmark::State& state)
{
    timeFrames(state, true);
}

void HostBlending(benchmark::State& state)
{
    timeFrames(state, false);
}
} // namespace

BENCHMARK(GpuBlending)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(HostBlending)->Unit(benchmark::kMillisecond)->MinTime(2.0);
