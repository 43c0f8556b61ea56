#include <gtest/gtest.h>

#include "tests/sg/traversal/oxSorterAllocationCounter.h"
#include "tests/sg/traversal/oxSorterTestSupport.h"

using namespace sortertest;

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
