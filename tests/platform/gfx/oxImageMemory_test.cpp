// Pictures whose size comes from outside (files, render targets): sizes past the maximum are
// refused, and an allocation the machine cannot satisfy is a failure with a warning, not an
// exception out of the library.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/gfx/OXGfx.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {

// Bytes of address space the process has mapped now.
size_t mappedBytes()
{
    unsigned long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return size_t(pages) * size_t(sysconf(_SC_PAGESIZE));
}

// Limits the address space to what is mapped now plus `headroom` while it lives.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(size_t headroom)
    {
        getrlimit(RLIMIT_AS, &_old);
        struct rlimit tight = _old;
        tight.rlim_cur = mappedBytes() + headroom;
        _set = setrlimit(RLIMIT_AS, &tight) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &_old); }
    bool isSet() const { return _set; }

private:
    struct rlimit _old;
    bool _set = false;
};

} // namespace

TEST(oxImageMemory, RefusedSizesAndFailedAllocationsLeaveNoPixels)
{
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    {
        WarningCatcher warnings;
        EXPECT_FALSE(image->allocateImageMemory(16385, 16384, OX_GFX_PIXEL_L8));
        EXPECT_TRUE(warnings.contains("cannot allocate 16385x16384 pixels")) << "past the maximum";
        EXPECT_FALSE(image->readPNG("/tmp"));
        EXPECT_TRUE(warnings.contains("/tmp: cannot read the file: it is a directory"));
        EXPECT_FALSE(image->readPNG("/dev/zero"));
        EXPECT_TRUE(warnings.contains("/dev/zero: cannot read the file: it is a character device"));
        EXPECT_EQ(warnings.count(), 3u);
    }
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit this test could set";
#else
    // The largest picture allowed, with less memory left than it needs.
    ASSERT_TRUE(image->allocateImageMemory(64, 64, OX_GFX_PIXEL_L8));
    oxSmartPointer<oxImage> wide = oxImage::_instantiateRef();
    {
        AddressSpaceLimit limit(size_t(256) << 20);
        ASSERT_TRUE(limit.isSet());
        WarningCatcher warnings;
        EXPECT_FALSE(image->allocateImageMemory(16384, 16384, OX_GFX_PIXEL_RGBA8));
        EXPECT_TRUE(warnings.contains("no memory for 16384x16384 pixels")) << (warnings.count() ? warnings.get()[0] : "");
        EXPECT_FALSE(image->hasImageMemory());
        // 128 MB of grey fit; the same pixels as RGBA do not.
        ASSERT_TRUE(wide->allocateImageMemory(16384, 8192, OX_GFX_PIXEL_L8));
        EXPECT_FALSE(wide->convert(OX_GFX_PIXEL_RGBA8, wide));
        EXPECT_TRUE(warnings.contains("no memory to convert 16384x8192 pixels"));
        EXPECT_EQ(warnings.count(), 2u);
    }
    EXPECT_EQ(wide->getFormat(), OX_GFX_PIXEL_L8) << "a failed conversion keeps the picture";
    EXPECT_EQ(wide->getPixelBytes(), size_t(16384) * 8192);
    EXPECT_TRUE(image->allocateImageMemory(64, 64, OX_GFX_PIXEL_RGBA8)) << "and memory comes back";
#endif
}
