// The OpenGL device against plain OpenGL: one frame of a lit 100,352-triangle height field
// at 1024x768, drawn by applying attributes to the device, and the same vertex and index
// arrays drawn with the GL calls a hand-written renderer would make, in the same context.
// Every frame ends with glFinish, so the times are what drawing takes, not what queuing it
// takes. "Overhead" draws both alternately and reports their ratio; "ThroughARenderList"
// draws the frame's geometry from a display list recorded once.
//
// The device uses whatever rasteriser EGL gives (a GPU if there is one); the label says
// which. LIBGL_ALWAYS_SOFTWARE=1 forces the software one.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <dlfcn.h>

#include <chrono>
#include <cmath>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;

namespace {
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kGrid = 225; // 224 x 224 squares, two triangles each

// The plain path's GL 1.1 entry points, found in the GL library the device loaded.
struct PlainGL {
#define OX_PLAIN_GL(X) \
    X(glClearColor) \
    X(glClear) \
    X(glMatrixMode) \
    X(glLoadMatrixf) \
    X(glPushMatrix) \
    X(glPopMatrix) \
    X(glEnable) \
    X(glLightfv) \
    X(glMaterialfv) \
    X(glEnableClientState) \
    X(glVertexPointer) \
    X(glNormalPointer) \
    X(glDrawElements) \
    X(glPushAttrib) \
    X(glPopAttrib) \
    X(glPushClientAttrib) \
    X(glPopClientAttrib)
#define OX_PLAIN_GL_MEMBER(name) decltype(&::name) name = nullptr;
    OX_PLAIN_GL(OX_PLAIN_GL_MEMBER)

    bool load()
    {
        bool ok = true;
#define OX_PLAIN_GL_LOAD(name) ok = ok && (name = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_DEFAULT, #name)));
        OX_PLAIN_GL(OX_PLAIN_GL_LOAD)
        return ok;
    }
};

struct Scene {
    oxSmartPointer<oxGLVisualContext> vc;
    PlainGL gl;
    oxMatrix44f projection, view;
    oxSmartPointer<oxGeometryAttr> mesh;
    oxSmartPointer<oxAttrList> state; // everything but the clear and the mesh
    oxSmartPointer<oxClearAttr> clear;
    oxSmartPointer<oxLightAttr> light;
    oxSmartPointer<oxMaterialAttr> material;
    oxSmartPointer<oxRenderListAttr> renderList;
    const char* problem = nullptr;
};

oxSmartPointer<oxGeometryAttr> heightField()
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, kGrid * kGrid);
    auto height = [](float x, float z) { return 0.15f * std::sin(6 * x) * std::cos(5 * z); };
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            float x = 2.0f * float(i) / float(kGrid - 1) - 1, z = 2.0f * float(j) / float(kGrid - 1) - 1, e = 0.01f;
            g->setPosition(j * kGrid + i, {x, height(x, z), z});
            oxVec3f dx(2 * e, height(x + e, z) - height(x - e, z), 0), dz(0, height(x, z + e) - height(x, z - e), 2 * e);
            g->setNormal(j * kGrid + i, dz.cross(dx).normalized());
        }
    int squares = (kGrid - 1) * (kGrid - 1);
    oxIndexArray* indices = g->configureIndexArray(squares * 6);
    int k = 0;
    for (int j = 0; j + 1 < kGrid; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            uint16_t a = uint16_t(j * kGrid + i), b = uint16_t(a + kGrid);
            for (uint16_t index : {a, b, uint16_t(a + 1), uint16_t(a + 1), b, uint16_t(b + 1)})
                indices->set(k++, index);
        }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, squares * 2);
    return g;
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
        if (!s.gl.load()) {
            s.problem = "the GL library's entry points are not visible";
            return s;
        }
        s.projection.perspective(45.0f, float(kWidth) / float(kHeight), 0.1f, 10.0f);
        s.view.lookAt({0, 1.3f, 1.9f}, {0, -0.1f, 0}, {0, 1, 0});
        s.mesh = heightField();

        s.clear = oxClearAttr::_instantiateRef();
        s.clear->setColor({0.1f, 0.1f, 0.2f, 1});
        s.clear->setBuffers(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH);
        s.light = oxLightAttr::_instantiateRef();
        s.light->setDirection(oxVec3f(-1, -2, -1).normalized());
        s.material = oxMaterialAttr::_instantiateRef();
        s.material->setDiffuse({0.3f, 0.7f, 0.4f, 1});
        oxSmartPointer<oxProjectionMatrixAttr> projection = oxProjectionMatrixAttr::_instantiateRef();
        projection->setMatrix(s.projection);
        oxSmartPointer<oxModelViewMatrixAttr> modelView = oxModelViewMatrixAttr::_instantiateRef();
        modelView->setMatrix(s.view);
        oxSmartPointer<oxLightStateAttr> lightOn = oxLightStateAttr::_instantiateRef();
        lightOn->setLight(s.light);
        oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
        lighting->setEnabled(true);
        s.state = oxAttrList::_instantiateRef();
        for (oxAttr* a : std::initializer_list<oxAttr*>{projection, modelView, s.light, lightOn, lighting, s.material})
            s.state->append(a);
        s.vc->setViewMatrix(s.view);

        oxSmartPointer<oxAttrList> geometry = oxAttrList::_instantiateRef();
        geometry->append(s.mesh);
        s.renderList = oxRenderListAttr::_instantiateRef();
        if (!s.renderList->record(s.vc, geometry))
            s.problem = "the device recorded no display list";
        return s;
    }();
    return s;
}

void frameThroughContext(Scene& s, oxAttr* geometry)
{
    s.clear->apply(s.vc);
    for (int i = 0; i < s.state->getCount(); ++i)
        s.state->get(i)->apply(s.vc);
    geometry->apply(s.vc);
    s.vc->finish();
}

// What the device does for the same frame, written out in GL calls.
void framePlain(Scene& s)
{
    const PlainGL& gl = s.gl;
    gl.glClearColor(0.1f, 0.1f, 0.2f, 1);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.glMatrixMode(GL_PROJECTION);
    gl.glLoadMatrixf(s.projection.data());
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadMatrixf(s.view.data());
    oxVec4f towardsLight(-s.light->getDirection(), 0.0f);
    gl.glLightfv(GL_LIGHT0, GL_POSITION, &towardsLight.x);
    gl.glLightfv(GL_LIGHT0, GL_DIFFUSE, &s.light->getDiffuse().x);
    gl.glEnable(GL_LIGHT0);
    gl.glEnable(GL_LIGHTING);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &s.material->getDiffuse().x);
    const oxVertexArray* v = s.mesh->getVertexArray();
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glEnableClientState(GL_NORMAL_ARRAY);
    gl.glVertexPointer(3, GL_FLOAT, v->getStride(), v->getVertexData());
    gl.glNormalPointer(GL_FLOAT, v->getStride(), v->getVertexData() + 12);
    gl.glDrawElements(GL_TRIANGLES, s.mesh->getIndexArray()->getCount(), GL_UNSIGNED_SHORT,
                      s.mesh->getIndexArray()->data());
    s.vc->finish();
}

// The plain frames leave GL as they found it, so that the device's idea of it holds.
struct PlainScope {
    const PlainGL& gl;
    explicit PlainScope(const PlainGL& g) : gl(g)
    {
        gl.glPushAttrib(GL_ALL_ATTRIB_BITS);
        gl.glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glPushMatrix();
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glPushMatrix();
    }
    ~PlainScope()
    {
        gl.glMatrixMode(GL_PROJECTION);
        gl.glPopMatrix();
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glPopMatrix();
        gl.glPopClientAttrib();
        gl.glPopAttrib();
    }
};

bool ready(benchmark::State& state)
{
    Scene& s = scene();
    if (s.problem) {
        state.SkipWithError(s.problem);
        return false;
    }
    state.SetLabel(s.vc->getRenderer());
    return true;
}

template <class Frame>
void timeFrames(benchmark::State& state, Frame&& frame)
{
    for (auto _ : state)
        frame();
    state.counters["triangles"] = double(scene().mesh->getPrimitiveCount());
    state.SetItemsProcessed(state.iterations() * scene().mesh->getPrimitiveCount());
}

void ThroughTheContext(benchmark::State& state)
{
    if (ready(state))
        timeFrames(state, [] { frameThroughContext(scene(), scene().mesh); });
}

void ThroughARenderList(benchmark::State& state)
{
    if (ready(state))
        timeFrames(state, [] { frameThroughContext(scene(), scene().renderList); });
}

void PlainOpenGL(benchmark::State& state)
{
    if (!ready(state))
        return;
    PlainScope scope(scene().gl);
    timeFrames(state, [] { framePlain(scene()); });
}

// Both paths in turn, so that both see the same machine load; context_ms / plain_ms.
void Overhead(benchmark::State& state)
{
    if (!ready(state))
        return;
    using Clock = std::chrono::steady_clock;
    Clock::duration context{}, plain{};
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        frameThroughContext(scene(), scene().mesh);
        Clock::time_point t1 = Clock::now();
        {
            PlainScope scope(scene().gl);
            Clock::time_point t2 = Clock::now();
            framePlain(scene());
            plain += Clock::now() - t2;
        }
        context += t1 - t0;
    }
    double n = double(state.iterations());
    double contextMs = std::chrono::duration<double, std::milli>(context).count() / n;
    double plainMs = std::chrono::duration<double, std::milli>(plain).count() / n;
    state.counters["context_ms"] = contextMs;
    state.counters["plain_ms"] = plainMs;
    state.counters["overhead_ms"] = contextMs - plainMs;
    state.counters["ratio"] = contextMs / plainMs;
}
} // namespace

BENCHMARK(ThroughTheContext)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PlainOpenGL)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ThroughARenderList)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Overhead)->Unit(benchmark::kMillisecond)->MinTime(4.0);
