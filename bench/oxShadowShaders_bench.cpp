// What each shadow effect adds to a frame: a lit floor with 16 crates above it, 640x480 on the
// OpenGL device, drawn through the draw traversal (reset, apply, getOutput, drawing, glFinish)
// with and without the effect. Both frames run in turn within every iteration, so that both
// see the same machine load; the counters are their times per frame and the difference.
//
// Effects: 1 projected shadow, blurred (the shader's default, 128x128 texture); 2 the same
// unblurred; 3 the same with the texture kept from an earlier frame (no render pass);
// 4 planar shadow, opaque; 5 planar shadow, blended with stencil.
//
// The device uses whatever rasteriser EGL gives; the label says which.
#include <benchmark/benchmark.h>

#include <chrono>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"
#include "sg/OXSg.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using namespace Kel::Gfx;

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;

oxSmartPointer<oxGeometry> box(const oxVec3f& low, const oxVec3f& high)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, 36);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 12);
    int v = 0;
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            oxVec3f n(0, 0, 0);
            (&n.x)[axis] = side ? 1.0f : -1.0f;
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            oxVec3f corner[4];
            for (int c = 0; c < 4; ++c) {
                oxVec3f p;
                (&p.x)[axis] = side ? (&high.x)[axis] : (&low.x)[axis];
                (&p.x)[u] = (c == 1 || c == 2) ? (&high.x)[u] : (&low.x)[u];
                (&p.x)[w] = (c >= 2) ? (&high.x)[w] : (&low.x)[w];
                corner[c] = p;
            }
            const int order[2][6] = {{0, 3, 2, 0, 2, 1}, {0, 1, 2, 0, 2, 3}};
            for (int k : order[side]) {
                g->setPosition(v, corner[k]);
                g->setNormal(v++, n);
            }
        }
    oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
    node->appendAttr(oxMaterialAttr::_instantiateRef());
    node->addGeometryAttr(g);
    return node;
}

struct Scene {
    oxSmartPointer<oxGLVisualContext> vc;
    oxSmartPointer<oxCommonTraversal> draw;
    oxSmartPointer<oxGroup> plain, projective, projectiveSharp, projectiveKept, planar, planarBlended;
    oxSmartPointer<oxProjectiveShadowShader> kept;
    oxSmartPointer<oxImage> image;
    const char* problem = nullptr;
};

// The floor and the crates under the light, with `content` taking the crates' place.
oxSmartPointer<oxGroup> lit(oxLightAttr* light, oxNode* content)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxLightSet> lights = oxLightSet::_instantiateRef();
    lights->appendLightAttr(light);
    root->appendChild(lights);
    oxSmartPointer<oxLightStateSet> on = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> state = oxLightStateAttr::_instantiateRef();
    state->setLight(light);
    on->appendLightStateAttr(state);
    oxSmartPointer<oxAttrSet> world = oxAttrSet::_instantiateRef();
    oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
    lighting->setEnabled(true);
    world->appendAttr(lighting);
    root->appendChild(world);
    world->appendChild(on);
    on->appendChild(content);
    return root;
}

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
        s.image = oxImage::_instantiateRef();
        oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
        light->setDirection(oxVec3f(0.3f, -1, -0.2f).normalized());

        oxSmartPointer<oxGroup> crates = oxGroup::_instantiateRef();
        for (int i = 0; i < 16; ++i) {
            const float x = float(i % 4) - 1.5f, z = float(i / 4) - 1.5f;
            crates->appendChild(box(oxVec3f(x - 0.25f, 1, z - 0.25f), oxVec3f(x + 0.25f, 1.5f, z + 0.25f)));
        }
        oxSmartPointer<oxGeometry> ground = box(oxVec3f(-4, -0.1f, -4), oxVec3f(4, 0, 4));

        oxSmartPointer<oxGroup> plain = oxGroup::_instantiateRef();
        plain->appendChild(ground);
        plain->appendChild(crates);
        s.plain = lit(light, plain);

        auto projective = [&](bool blur, oxSmartPointer<oxProjectiveShadowShader>* keep) {
            oxSmartPointer<oxProjectiveShadowShader> shadow = oxProjectiveShadowShader::_instantiateRef();
            if (keep)
                *keep = shadow;
            shadow->setLightPosition(oxVec3f(0, 6, 0));
            shadow->setCutoffAngle(35);
            shadow->setBlurState(blur);
            shadow->appendShadowCaster(crates);
            shadow->appendShadowReceiver(ground);
            oxSmartPointer<oxGroup> g = oxGroup::_instantiateRef();
            g->appendChild(shadow);
            g->appendChild(crates);
            return lit(light, g);
        };
        s.projective = projective(true, nullptr);
        s.projectiveSharp = projective(false, nullptr);
        s.projectiveKept = projective(true, &s.kept);

        auto planar = [&](bool blend) {
            oxSmartPointer<oxPlanarShadowShader> shadow = oxPlanarShadowShader::_instantiateRef();
            shadow->addLight(light);
            shadow->setShadowPlane(oxVec3f(0, 1, 0), 0.01f);
            shadow->setShadowUseBlend(blend);
            shadow->setShadowUseStencil(blend);
            shadow->setShadowColor(oxVec4f(0, 0, 0, blend ? 0.5f : 1));
            shadow->appendChild(crates);
            oxSmartPointer<oxGroup> g = oxGroup::_instantiateRef();
            g->appendChild(ground);
            g->appendChild(shadow);
            return lit(light, g);
        };
        s.planar = planar(false);
        s.planarBlended = planar(true);

        oxMatrix44f view;
        view.lookAt(oxVec3f(0, 6, 8), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        s.draw->setViewMatrix(view);
        s.draw->setPerspective(-1, 45, float(kWidth) / kHeight, 0.5f, 100);
        s.vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, s.draw->getProjectionMatrix());
        s.vc->setViewMatrix(view);
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
    s.vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH | OX_GFX_CLEAR_STENCIL, clear);
    s.draw->getOutput()->apply(s.vc);
    s.vc->finish();
}

void AddedByTheEffect(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem) {
        state.SkipWithError(s.problem);
        return;
    }
    state.SetLabel(s.vc->getRenderer());
    oxNode* effects[] = {nullptr, s.projective, s.projectiveSharp, s.projectiveKept, s.planar, s.planarBlended};
    oxNode* effect = effects[state.range(0)];
    // The kept texture is rendered once, by a frame that updates it.
    s.kept->setUpdateShadowMap(true);
    frame(s, s.projectiveKept);
    s.kept->setUpdateShadowMap(false);
    frame(s, effect);
    frame(s, s.plain);
    using Clock = std::chrono::steady_clock;
    Clock::duration plainTime{}, effectTime{};
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        frame(s, s.plain);
        Clock::time_point t1 = Clock::now();
        frame(s, effect);
        effectTime += Clock::now() - t1;
        plainTime += t1 - t0;
    }
    const double n = double(state.iterations());
    const double plainMs = std::chrono::duration<double, std::milli>(plainTime).count() / n;
    const double effectMs = std::chrono::duration<double, std::milli>(effectTime).count() / n;
    state.counters["plain_ms"] = plainMs;
    state.counters["effect_ms"] = effectMs;
    state.counters["added_ms"] = effectMs - plainMs;
}
} // namespace

BENCHMARK(AddedByTheEffect)->DenseRange(1, 5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
