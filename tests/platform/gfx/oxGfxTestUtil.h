#pragma once
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/oxOutput.h"
#include "platform/gfx/oxImage.h"
#include "platform/gfx/oxIndexArray.h"

namespace Kel::Gfx::TestUtil {

// Collects the warnings reported while it lives, so a test can say that bad input was
// reported and not merely survived.
class WarningCatcher {
public:
    WarningCatcher()
    {
        messages().clear();
        _previous = Core::oxSetWarningHandler(&WarningCatcher::collect);
    }
    ~WarningCatcher() { Core::oxSetWarningHandler(_previous); }
    WarningCatcher(const WarningCatcher&) = delete;
    WarningCatcher& operator=(const WarningCatcher&) = delete;

    const std::vector<std::string>& get() const { return messages(); }
    bool contains(const std::string& part) const
    {
        for (const std::string& m : messages())
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }
    size_t count() const { return messages().size(); }

private:
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> all;
        return all;
    }
    static void collect(const char* message) { messages().push_back(message); }

    Core::oxWarningHandler _previous = nullptr;
};

inline Core::oxSmartPointer<oxIndexArray> makeIndices(std::initializer_list<uint16_t> values)
{
    Core::oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
    for (uint16_t i : values)
        indices->append(i);
    return indices;
}

// Compares a frame with the reference image at `path`: the same size, every channel within
// 2 and at most 1% of the pixels differing at all (the software rasteriser is deterministic;
// the slack is for its versions). With OXSG_UPDATE_GOLDEN set the frame becomes the
// reference instead and `*updated` says so. A failing frame is written beside the test's
// temporary files for a look.
inline ::testing::AssertionResult matchesGolden(const oxImage* frame, const std::string& path, bool* updated = nullptr)
{
    if (std::getenv("OXSG_UPDATE_GOLDEN")) {
        if (updated)
            *updated = true;
        return frame->writePNG(path.c_str()) ? ::testing::AssertionSuccess()
                                             : ::testing::AssertionFailure() << "cannot write " << path;
    }
    Core::oxSmartPointer<oxImage> golden = oxImage::_instantiateRef();
    if (!golden->readPNG(path.c_str()))
        return ::testing::AssertionFailure() << "no reference image " << path << " (OXSG_UPDATE_GOLDEN=1 draws it)";
    const int width = frame->getWidth(), height = frame->getHeight();
    if (golden->getWidth() != width || golden->getHeight() != height)
        return ::testing::AssertionFailure() << path << " is " << golden->getWidth() << "x" << golden->getHeight()
                                             << ", the frame " << width << "x" << height;
    const oxImageDifference d = oxCompareImages(*frame, *golden);
    if (d.isSlight())
        return ::testing::AssertionSuccess();
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string actual = ::testing::TempDir() + name + ".actual.png";
    frame->writePNG(actual.c_str());
    return ::testing::AssertionFailure() << d.differingPixels << " pixels differ from " << path << ", by up to "
                                         << d.largestChannelDifference
                                         << "; the frame is in " << actual;
}

} // namespace Kel::Gfx::TestUtil
