// Time to the first frame of an imported model (the two-cylinder engine of Debian's
// assimp-testmodels): Assimp reading the file, our making of the graph, and our first
// frame drawn on the OpenGL device and read back.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "import/oxImporter.h"
#include "platform/gfxgl/OXGfxGL.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;

namespace {

const char* kEngine = "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

void BM_EngineToFirstFrame(benchmark::State& state)
{
    if (!std::filesystem::exists(kEngine)) {
        state.SkipWithError("no assimp-testmodels");
        return;
    }
    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(640, 480);
    if (!vc) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    double read = 0, convert = 0, frame = 0;
    for (auto _ : state) {
        oxImporter importer;
        oxSmartPointer<oxNode> engine = importer.importFile(kEngine);
        if (!engine) {
            state.SkipWithError(importer.getError().c_str());
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        oxSmartPointer<oxFrustCullTraversal> draw = oxFrustCullTraversal::_instantiateRef();
        draw->setVisualContext(vc);
        oxMatrix44f view;
        view.lookAt(oxVec3f(300, 250, 500), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
        draw->setViewMatrix(view);
        draw->setPerspective(-1, 40, 640.0f / 480.0f, 10, 3000);
        vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, draw->getProjectionMatrix());
        vc->setViewMatrix(view);
        draw->apply(engine);
        oxClearValues clear;
        vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
        draw->getOutput()->apply(vc);
        oxSmartPointer<oxImage> pixels = oxImage::_instantiateRef();
        vc->readPixels(0, 0, 640, 480, pixels);
        frame += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        read += importer.getReadSeconds();
        convert += importer.getConvertSeconds();
    }
    const double n = double(state.iterations());
    state.counters["assimp_ms"] = read / n * 1e3;
    state.counters["convert_ms"] = convert / n * 1e3;
    state.counters["first_frame_ms"] = frame / n * 1e3;
    state.counters["ours_share"] = (convert + frame) / (read + convert + frame);
}
BENCHMARK(BM_EngineToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
