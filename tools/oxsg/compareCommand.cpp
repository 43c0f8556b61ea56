// oxsg compare: whether two pictures are the same within what separates two frames of the
// software rasteriser's versions (the rule of the reference-image tests).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gfx/oxImage.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"

namespace {

using namespace Kel::Gfx;

int runCompare(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "oxsg compare: give two PNG images (usage: oxsg compare A.png B.png)\n");
        return 2;
    }
    oxsg::WarningScope warnings;
    Kel::Core::oxSmartPointer<oxImage> image[2] = {oxImage::_instantiateRef(), oxImage::_instantiateRef()};
    for (int i = 0; i < 2; ++i)
        if (!image[i]->readPNG(argv[i + 1])) {
            std::fprintf(stderr, "oxsg compare: %s\n", warnings.last().c_str());
            return 2;
        }
    const oxImageDifference d = oxCompareImages(*image[0], *image[1]);
    if (!d.comparable) {
        std::printf("different sizes: %dx%d and %dx%d\n", image[0]->getWidth(), image[0]->getHeight(),
                    image[1]->getWidth(), image[1]->getHeight());
        return 1;
    }
    std::printf("%s: %lld of %lld pixels differ, by up to %d\n", d.isSlight() ? "alike" : "different",
                static_cast<long long>(d.differingPixels), static_cast<long long>(d.pixels), d.largestChannelDifference);
    return d.isSlight() ? 0 : 1;
}

} // namespace

OXSG_COMMAND(compare, "compare A.png B.png",
             "whether two pictures are alike (every channel within 2, at most 1% of pixels differing)", runCompare)
