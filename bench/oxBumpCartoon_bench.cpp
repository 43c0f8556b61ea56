// What the bump-map and cartoon nodes add to a frame: the same geometry drawn through the
// draw traversal on the OpenGL device (640x480) with and without the node above it. A
// frame is reset, apply, the output applied to the device and glFinish, so the times
// include the per-vertex work on the processor, the extra passes and the device's drawing.
// The bump-mapped wall has 64 x 64 cells (24,576 vertices), the cartoon ball 48 x 96 cells
// (27,648 vertices). The technique is forced through the capabilities the traversal is
// given: 0 dot product, 1 emboss on two units, 2 emboss on one unit; for the cartoon node 0
// two units, 1 one unit (two passes).
//
// The device uses whatever rasteriser EGL gives; the label says which.
#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using namespace Kel::Attrs;

namespace {

constexpr int kWidth = 640, kHeight = 480;

oxSmartPointer<oxTextureBindAttr> bind(oxImage* image)
{
    oxSmartPointer<oxTextureAttr> t = oxTextureAttr::_instantiateRef();
    t->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> b = oxTextureBindAttr::_instantiateRef();
    b->setTexture(t);
    return b;
}

oxSmartPointer<oxGeometry> wall(int n)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors |
                                oxVertexFormat::texCoords(2),
                            6 * n * n);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * n * n);
    int v = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            for (const auto& c : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 0},
                                  std::pair{1, 1}, std::pair{0, 1}}) {
                const float u = float(i + c.first) / float(n), w = float(j + c.second) / float(n);
                g->setPosition(v, oxVec3f(3 * u - 1.5f, 3 * w - 1.5f, 0));
                g->setNormal(v, oxVec3f(0, 0, 1));
                g->setColor(v, oxVec4f(1, 1, 1, 1));
                g->setTextureCoord(v, 0, Kel::Math::oxVec2f(4 * u, 4 * w));
                ++v;
            }
    oxVertexArrayHelper::_instantiateRef()->generateTangentsAndBinormals(g, 0);
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

oxSmartPointer<oxGeometry> ball(int rings, int segments)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::texCoords(2),
                            6 * rings * segments);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * rings * segments);
    const float pi = 3.14159265f;
    int v = 0;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s)
            for (const auto& c : {std::pair{0, 0}, std::pair{1, 1}, std::pair{1, 0}, std::pair{0, 0},
                                  std::pair{0, 1}, std::pair{1, 1}}) {
                const float theta = pi * float(r + c.first) / float(rings);
                const float phi = 2 * pi * float(s + c.second) / float(segments);
                const oxVec3f p(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
                g->setPosition(v, p);
                g->setNormal(v, p);
                ++v;
            }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->addGeometryAttr(g);
    return node;
}

struct Scene {
    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxCommonTraversal> draw;
    oxSmartPointer<oxGenericCapabilityManager> caps;
    oxSmartPointer<oxGeometry> wall, ball;
    oxSmartPointer<oxBumpMapShader> bump;
    oxSmartPointer<oxCartoonShader> cartoon;
    const char* problem = nullptr;
};

Scene& scene()
{
    static Scene s = [] {
        Scene s;
        Kel::Sg::oxArkRegisterForOXBFiles();
        s.vc = oxGLVisualContext::create(kWidth, kHeight);
        if (!s.vc) {
            s.problem = "no OpenGL device (see the warning above)";
            return s;
        }
        s.draw = oxCommonTraversal::_instantiateRef();
        s.draw->setVisualContext(s.vc);
        s.caps = oxGenericCapabilityManager::_instantiateRef();
        s.draw->setCapabilityManager(s.caps);
        oxMatrix44f view;
        view.lookAt(oxVec3f(0, 0, 4.5f), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        s.draw->setViewMatrix(view);
        s.draw->setPerspective(-1, 40, float(kWidth) / kHeight, 0.5f, 100);
        s.vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, s.draw->getProjectionMatrix());
        s.vc->setViewMatrix(view);

        s.wall = wall(64);
        std::vector<uint8_t> heights;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                heights.push_back(uint8_t((x / 16 + y / 16) % 2 ? 200 : 60));
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        image->loadBuffer(heights.data(), OX_GFX_PIXEL_L8, 128, 128);
        s.bump = oxBumpMapShader::_instantiateRef();
        s.bump->setBumpTexture(bind(image));
        s.bump->setBumpTextureCoordIndex(0);
        s.bump->setReservedTextureCoordIndex(1);
        s.bump->setLightCount(2);
        s.bump->setLightPosition(0, oxVec3f(-2, 2, 2));
        s.bump->setLightPosition(1, oxVec3f(2, -1, 3));
        s.bump->setLightIntensity(0, 0.8f);
        s.bump->setLightIntensity(1, 0.5f);
        s.bump->appendChild(s.wall);

        s.ball = ball(48, 96);
        const uint8_t ramp[4 * 3] = {60, 30, 10, 120, 70, 20, 200, 120, 40, 255, 180, 80};
        oxSmartPointer<oxImage> shading = oxImage::_instantiateRef();
        shading->loadBuffer(ramp, OX_GFX_PIXEL_RGB8, 4, 1);
        const uint8_t ink[4 * 3] = {10, 10, 10, 10, 10, 10, 255, 255, 255, 255, 255, 255};
        oxSmartPointer<oxImage> outline = oxImage::_instantiateRef();
        outline->loadBuffer(ink, OX_GFX_PIXEL_RGB8, 4, 1);
        s.cartoon = oxCartoonShader::_instantiateRef();
        s.cartoon->setShadingTexture(bind(shading));
        s.cartoon->setOutlineTexture(bind(outline));
        s.cartoon->setShadingTextureCoordIndex(0);
        s.cartoon->setOutlineTextureCoordIndex(1);
        s.cartoon->setLightPosition(oxVec4f(-1, -1, -1, 0));
        s.cartoon->appendChild(s.ball);
        return s;
    }();
    return s;
}

void frame(Scene& s, oxNode* root)
{
    s.draw->reset();
    s.draw->apply(root);
    oxClearValues clear;
    clear.color = oxVec4f(0.2f, 0.2f, 0.25f, 1);
    s.vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
    s.draw->getOutput()->apply(s.vc);
    s.vc->finish();
}

void run(benchmark::State& state, oxNode* root)
{
    Scene& s = scene();
    for (int i = 0; i < 2; ++i)
        frame(s, root);
    for (auto _ : state)
        frame(s, root);
    state.SetLabel(s.vc->getRenderer());
}

void device(Scene& s, int units, bool dot3)
{
    s.caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, units);
    s.caps->setCapability(OX_GFX_CAP_TEXTURE_DOT3, dot3 ? 1 : 0);
}

void BM_Wall(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    run(state, s.wall);
}
BENCHMARK(BM_Wall)->Unit(benchmark::kMillisecond);

void BM_BumpedWall(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    const int technique = int(state.range(0));
    device(s, technique == 2 ? 1 : 4, technique == 0);
    run(state, s.bump);
}
BENCHMARK(BM_BumpedWall)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Ball(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    run(state, s.ball);
}
BENCHMARK(BM_Ball)->Unit(benchmark::kMillisecond);

void BM_CartoonBall(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    device(s, state.range(0) == 0 ? 4 : 1, false);
    run(state, s.cartoon);
}
BENCHMARK(BM_CartoonBall)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The per-vertex work alone, on the processor: what a frame spends before the device
// draws anything. Counter: ns per vertex.
void BM_BumpVertices(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    s.draw->reset();
    s.draw->begin(s.bump);
    s.bump->collectGeometries(s.draw);
    s.draw->end(s.bump);
    const bool dot3 = state.range(0) == 0;
    for (auto _ : state) {
        if (dot3)
            s.bump->computeColorForDot3(s.draw);
        else
            s.bump->computeReservedTextureCoord(s.draw);
    }
    const int vertices = static_cast<oxGeometryAttr*>(s.wall->getGeometryAttr(0))->getVertexCount();
    state.counters["ns/vertex"] =
        benchmark::Counter(double(vertices), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BumpVertices)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CartoonVertices(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem)
        return state.SkipWithError(s.problem);
    frame(s, s.cartoon);
    for (auto _ : state)
        s.cartoon->computeShading(s.draw);
    const int vertices = static_cast<oxGeometryAttr*>(s.ball->getGeometryAttr(0))->getVertexCount();
    state.counters["ns/vertex"] =
        benchmark::Counter(double(vertices), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CartoonVertices)->Unit(benchmark::kMicrosecond);

} // namespace
