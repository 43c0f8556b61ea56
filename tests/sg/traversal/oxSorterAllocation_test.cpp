#include <gtest/gtest.h>

#include "tests/sg/traversal/oxSorterAllocationCounter.h"
#include "tests/sg/traversal/oxSorterTestSupport.h"

using namespace sortertest;

namespace {

// One frame of a scene that touches every path of the sorter: lights under model-views,
// textures, transparent and two-sided geometry, compounds (nested, empty, first and
// transparent), merged and shared-state packages, flushed attributes and state resets.
struct Scene {
    explicit Scene(SorterRig& r) : r(r)
    {
        cullOn = r.make<oxCullFaceAttr>("cull on");
        cullOn->setEnabled(true);
        wipe = r.make<oxClearAttr>("wipe");
        lights = r.lights({"sun", "lamp"});
        for (int i = 0; i < 48; ++i)
            geometry.push_back(r.geometry("g" + std::to_string(i), oxVec3f(float(i % 5), 0, float(-i))));
    }

    void draw()
    {
        oxTextureBindAttr* textures[] = {r.tex.t3, r.tex.t1, nullptr, r.tex.t2};
        r.push(r.mv1);
        r.sorter->addLightSet(lights, r.manager);
        for (size_t i = 0; i < geometry.size(); ++i) {
            oxTextureBindAttr* t = textures[i % 4];
            const bool glass = i % 3 == 0, twoSided = i % 6 == 3, compound = i % 8 == 5;
            if (compound)
                r.sorter->beginCompoundRenderPackage(i % 16 == 5, i % 24 == 5);
            if (glass)
                r.push(r.blend);
            if (twoSided)
                r.push(cullOn);
            if (t)
                r.push(t);
            r.draw(geometry[i]);
            // Under unchanged state: merged, or a package of its own sharing the state.
            if (i % 4 == 1)
                r.draw(geometry[(i + 7) % geometry.size()]);
            if (t)
                r.pop(t);
            if (twoSided)
                r.pop(cullOn);
            if (glass)
                r.pop(r.blend);
            if (compound) {
                r.sorter->beginCompoundRenderPackage(false, false);
                r.sorter->endCompoundRenderPackage();
                r.sorter->endCompoundRenderPackage();
            }
            if (i % 10 == 9) {
                r.push(r.mv2);
                r.sorter->flushAttr(wipe, r.manager);
                r.sorter->resetAttrForRenderPackage(r.manager, oxModelViewMatrixAttr::getClassTypeSafe());
                r.pop(r.mv2);
            }
        }
        r.pop(r.mv1);
        r.sorter->getOutput(r.manager);
    }

    SorterRig& r;
    oxCullFaceAttr* cullOn;
    oxClearAttr* wipe;
    oxLightSet* lights;
    std::vector<oxGeometry*> geometry;
};

} // namespace

TEST(SorterAllocation, SteadyFramesAllocateNothing)
{
    if (!AllocationCounter::available())
        GTEST_SKIP() << "AddressSanitizer owns malloc and operator new, so allocations are counted only in the "
                        "build without sanitizers";
    const int modes[] = {0,
                         oxSorter::PACKAGE_OPAQUE,
                         oxSorter::PACKAGE_TRANSPARENT,
                         oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE,
                         oxSorter::SORT_OPAQUE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_TEXTURE,
                         oxSorter::SORT_OPAQUE_TEXTURE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_CUSTOM,
                         oxSorter::REQUIRE_RENDER_PACKAGE};
    for (int mode : modes) {
        for (int drawMode = 0; drawMode < 3; ++drawMode) {
            SorterRig r;
            Scene scene(r);
            r.sorter->setMode(mode);
            r.sorter->setTransparencyDrawMode(drawMode);
            r.sorter->customSort = [](oxRenderPackageList* packages, oxIntList* order) {
                std::sort(order->begin(), order->end(), [packages](int a, int b) {
                    return packages->get(a)->getDistance() < packages->get(b)->getDistance();
                });
            };
            r.sorter->configure = [](oxRenderPackage* p, oxGeometry*) { p->setDistance(-p->getDistance()); };
            std::string first;
            for (int frame = 1; frame <= 10; ++frame) {
                if (frame == 3)
                    AllocationCounter::start();
                r.nextFrame();
                scene.draw();
                if (frame == 1)
                    first = r.output();
            }
            long allocations = AllocationCounter::stop();
            EXPECT_EQ(allocations, 0) << "mode " << mode << ", transparency draw mode " << drawMode;
            // The frames were the same frame.
            EXPECT_EQ(r.output(), first) << "mode " << mode << ", transparency draw mode " << drawMode;
        }
    }
}
