#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/gfx/OXGfx.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {
// A picture whose every byte differs from its neighbours, so that a swapped channel, a
// shifted row or a lost byte shows.
oxSmartPointer<oxImage> makeImage(int format, int width, int height)
{
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    EXPECT_TRUE(image->allocateImageMemory(width, height, format));
    for (size_t i = 0; i < image->getPixelBytes(); ++i)
        image->getPixels()[i] = uint8_t(i * 37 + 11);
    if (format == OX_GFX_PIXEL_INDEX8) {
        image->getClut()->setCount(256);
        for (int i = 0; i < 256; ++i)
            image->getClut()->set(i, uint32_t(i) * 0x01020304u ^ (i % 3 ? 0xFF000000u : 0x40000000u));
    }
    return image;
}

bool samePixels(const oxImage* a, const oxImage* b)
{
    return a->getFormat() == b->getFormat() && a->getWidth() == b->getWidth() && a->getHeight() == b->getHeight() &&
           a->getPixelBytes() == b->getPixelBytes() &&
           std::memcmp(a->getPixels(), b->getPixels(), a->getPixelBytes()) == 0;
}

std::string tempPath(const char* name)
{
    return (testing::TempDir() + "oxImageTest_" + std::to_string(getpid()) + "_") + name;
}
} // namespace

TEST(oxImage, RowsAreTightAndUnknownFormatsHaveNoSize)
{
    EXPECT_EQ(oxImage::getBitsPerPixel(OX_GFX_PIXEL_RGB565), 16);
    EXPECT_EQ(oxImage::getBitsPerPixel(OX_GFX_PIXEL_NONE), 0);
    EXPECT_EQ(oxImage::getBitsPerPixel(42), 0);
    oxSmartPointer<oxImage> image = makeImage(OX_GFX_PIXEL_RGB8, 5, 3);
    EXPECT_EQ(image->getRowBytes(), 15u);
    EXPECT_EQ(image->getPixelBytes(), 45u);
}

TEST(oxImage, AFormatIsSetBeforeMemoryAndConvertsAfter)
{
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    ASSERT_TRUE(image->setFormat(OX_GFX_PIXEL_RGB8));
    ASSERT_TRUE(image->setSize(2, 2));
    ASSERT_TRUE(image->allocateImageMemory());
    EXPECT_EQ(image->getPixelBytes(), 12u);
    image->getPixels()[0] = 200;
    uint32_t version = image->getVersion();
    // NONE keeps the pixels and only marks them changed.
    EXPECT_TRUE(image->setFormat(OX_GFX_PIXEL_NONE));
    EXPECT_EQ(image->getFormat(), OX_GFX_PIXEL_RGB8);
    EXPECT_GT(image->getVersion(), version);
    ASSERT_TRUE(image->setFormat(OX_GFX_PIXEL_RGBA8));
    EXPECT_EQ(image->getPixelBytes(), 16u);
    EXPECT_EQ(image->getColor(0, 0), 0xFF0000C8u);
    EXPECT_FALSE(image->setFormat(OX_GFX_PIXEL_INDEX8));
}

TEST(oxImage, AllocationNeedsAFormatAndASize)
{
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    WarningCatcher warnings;
    EXPECT_FALSE(image->allocateImageMemory());
    EXPECT_FALSE(image->allocateImageMemory(0, 4, OX_GFX_PIXEL_L8));
    EXPECT_FALSE(image->allocateImageMemory(4, 4, 99));
    EXPECT_FALSE(image->allocateImageMemory(1 << 20, 1 << 20, OX_GFX_PIXEL_L8));
    EXPECT_FALSE(image->loadBuffer(nullptr, OX_GFX_PIXEL_L8, 2, 2));
    EXPECT_EQ(warnings.count(), 4u);
    EXPECT_FALSE(image->hasImageMemory());
}

TEST(oxImage, LoadBufferCopiesTightRows)
{
    const uint8_t pixels[] = {1, 2, 3, 4, 5, 6};
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    ASSERT_TRUE(image->loadBuffer(pixels, OX_GFX_PIXEL_LA8, 3, 1));
    EXPECT_EQ(image->getColor(1, 0), 0x04030303u);
    EXPECT_EQ(image->getColor(3, 0), 0u);
}

TEST(oxImage, ConversionsThroughColourKeepWhatBothFormatsHold)
{
    oxSmartPointer<oxImage> grey = makeImage(OX_GFX_PIXEL_L8, 7, 3);
    oxSmartPointer<oxImage> wide = oxImage::_instantiateRef();
    oxSmartPointer<oxImage> back = oxImage::_instantiateRef();
    for (int format : {OX_GFX_PIXEL_LA8, OX_GFX_PIXEL_RGB8, OX_GFX_PIXEL_RGBA8}) {
        ASSERT_TRUE(wide->convert(format, grey)) << format;
        ASSERT_TRUE(back->convert(OX_GFX_PIXEL_L8, wide)) << format;
        EXPECT_TRUE(samePixels(grey, back)) << format;
    }
    oxSmartPointer<oxImage> rgba = makeImage(OX_GFX_PIXEL_RGBA8, 4, 4);
    ASSERT_TRUE(wide->convert(OX_GFX_PIXEL_RGBA4444, rgba));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ((wide->getColor(x, y) >> (8 * c)) & 0xF0, (rgba->getColor(x, y) >> (8 * c)) & 0xF0);
    ASSERT_TRUE(wide->convert(OX_GFX_PIXEL_RGB565, rgba));
    uint32_t c = wide->getColor(2, 1), o = rgba->getColor(2, 1);
    EXPECT_EQ(c & 0xF8, o & 0xF8);
    EXPECT_EQ(c & 0xFC00, o & 0xFC00);
    EXPECT_EQ(c >> 24, 0xFFu);
}

TEST(oxImage, IndexedPicturesLookUpTheirTable)
{
    oxSmartPointer<oxImage> indexed = makeImage(OX_GFX_PIXEL_INDEX8, 3, 2);
    oxSmartPointer<oxImage> rgba = oxImage::_instantiateRef();
    ASSERT_TRUE(rgba->convert(OX_GFX_PIXEL_RGBA8, indexed));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(rgba->getColor(x, y), indexed->getClut()->get(indexed->getPixels()[y * 3 + x]));
    EXPECT_TRUE(oxImage::canConvert(OX_GFX_PIXEL_INDEX8, OX_GFX_PIXEL_RGB8));
    EXPECT_FALSE(oxImage::canConvert(OX_GFX_PIXEL_RGB8, OX_GFX_PIXEL_INDEX8));
    EXPECT_FALSE(oxImage::canConvert(OX_GFX_PIXEL_NONE, OX_GFX_PIXEL_RGB8));
    WarningCatcher warnings;
    EXPECT_FALSE(rgba->convert(OX_GFX_PIXEL_INDEX8, rgba));
    EXPECT_FALSE(rgba->convert(OX_GFX_PIXEL_RGB8, nullptr));
    EXPECT_EQ(warnings.count(), 2u);
}

TEST(oxImagePng, EveryStoredFormatSurvivesARoundTripBitForBit)
{
    for (int format : {OX_GFX_PIXEL_L8, OX_GFX_PIXEL_LA8, OX_GFX_PIXEL_RGB8, OX_GFX_PIXEL_RGBA8, OX_GFX_PIXEL_INDEX8}) {
        oxSmartPointer<oxImage> image = makeImage(format, 13, 7);
        std::vector<uint8_t> png;
        ASSERT_TRUE(image->writePNG(png)) << format;
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0);
        oxSmartPointer<oxImage> read = oxImage::_instantiateRef();
        ASSERT_TRUE(read->readPNG(png.data(), png.size())) << format;
        EXPECT_TRUE(samePixels(image, read)) << format;
        if (format == OX_GFX_PIXEL_INDEX8) {
            ASSERT_EQ(read->getClut()->getCount(), 256);
            EXPECT_EQ(std::memcmp(read->getClut()->data(), image->getClut()->data(), 256 * 4), 0);
        }
    }
}

TEST(oxImagePng, FormatsPngLacksAreStoredWidened)
{
    oxSmartPointer<oxImage> image = makeImage(OX_GFX_PIXEL_RGB565, 4, 2);
    std::vector<uint8_t> png;
    ASSERT_TRUE(image->writePNG(png));
    oxSmartPointer<oxImage> read = oxImage::_instantiateRef();
    ASSERT_TRUE(read->readPNG(png.data(), png.size()));
    EXPECT_EQ(read->getFormat(), OX_GFX_PIXEL_RGB8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(read->getColor(x, y), image->getColor(x, y));
}

TEST(oxImagePng, FilesRoundTripAndMissingFilesAreReported)
{
    oxSmartPointer<oxImage> image = makeImage(OX_GFX_PIXEL_RGBA8, 16, 9);
    std::string path = tempPath("roundtrip.png");
    ASSERT_TRUE(image->writePNG(path.c_str()));
    oxSmartPointer<oxImage> read = oxImage::_instantiateRef();
    ASSERT_TRUE(read->readPNG(path.c_str()));
    EXPECT_TRUE(samePixels(image, read));
    std::remove(path.c_str());

    WarningCatcher warnings;
    EXPECT_FALSE(read->readPNG(path.c_str()));
    EXPECT_FALSE(read->readPNG(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(image->writePNG("/nonexistent-folder/x.png"));
    EXPECT_EQ(warnings.count(), 3u);
    EXPECT_TRUE(samePixels(image, read));
}

TEST(oxImagePng, DamagedDataIsAnErrorThatLeavesTheImageAlone)
{
    oxSmartPointer<oxImage> image = makeImage(OX_GFX_PIXEL_RGB8, 32, 32);
    std::vector<uint8_t> png;
    ASSERT_TRUE(image->writePNG(png));
    oxSmartPointer<oxImage> target = makeImage(OX_GFX_PIXEL_L8, 2, 2);
    oxSmartPointer<oxImage> before = makeImage(OX_GFX_PIXEL_L8, 2, 2);

    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut : {size_t(0), size_t(7), size_t(30), png.size() / 2, png.size() - 13})
        damaged.emplace_back(png.begin(), png.begin() + long(cut));
    std::vector<uint8_t> badSignature = png;
    badSignature[1] = 'X';
    damaged.push_back(badSignature);
    std::vector<uint8_t> badHeader = png;
    badHeader[20] ^= 0x40; // the width, under the header's checksum
    damaged.push_back(badHeader);
    std::vector<uint8_t> badData = png;
    for (size_t i = 60; i < 90 && i < badData.size(); ++i)
        badData[i] ^= 0x5A;
    damaged.push_back(badData);

    for (size_t k = 0; k < damaged.size(); ++k) {
        WarningCatcher warnings;
        EXPECT_FALSE(target->readPNG(damaged[k].data(), damaged[k].size(), "damaged")) << k;
        ASSERT_EQ(warnings.count(), 1u) << k;
        EXPECT_TRUE(warnings.contains("cannot read PNG damaged")) << warnings.get()[0];
        EXPECT_TRUE(samePixels(target, before)) << k;
    }
    WarningCatcher warnings;
    EXPECT_FALSE(target->readPNG(nullptr, 10));
    EXPECT_EQ(warnings.count(), 1u);
}

TEST(oxImagePng, NothingToWriteIsReported)
{
    oxSmartPointer<oxImage> empty = oxImage::_instantiateRef();
    std::vector<uint8_t> png{1, 2, 3};
    WarningCatcher warnings;
    EXPECT_FALSE(empty->writePNG(png));
    oxSmartPointer<oxImage> indexed = makeImage(OX_GFX_PIXEL_INDEX8, 2, 2);
    indexed->getClut()->setCount(0);
    EXPECT_FALSE(indexed->writePNG(png));
    EXPECT_EQ(warnings.count(), 2u);
}

// Pictures are alike within 2 per channel on at most 1% of their pixels; sizes must agree.
TEST(oxImage, ComparisonCountsPixelsAndTheLargestChannelStep)
{
    oxSmartPointer<oxImage> a = makeImage(OX_GFX_PIXEL_RGBA8, 20, 10);
    oxSmartPointer<oxImage> b = oxImage::_instantiateRef();
    ASSERT_TRUE(b->convert(OX_GFX_PIXEL_RGBA8, a));
    oxImageDifference d = oxCompareImages(*a, *b);
    EXPECT_TRUE(d.comparable && d.isSlight());
    EXPECT_EQ(d.differingPixels, 0);
    b->getPixels()[4 * 7 + 2] ^= 2;  // one pixel's blue moves by 2
    d = oxCompareImages(*a, *b);
    EXPECT_EQ(d.differingPixels, 1);
    EXPECT_EQ(d.largestChannelDifference, 2);
    EXPECT_TRUE(d.isSlight());
    b->getPixels()[4 * 9 + 3] ^= 0x40;  // another pixel's alpha by 64
    EXPECT_FALSE(oxCompareImages(*a, *b).isSlight());
    b->getPixels()[4 * 9 + 3] ^= 0x40;
    b->getPixels()[4 * 11] ^= 1;  // three pixels of 200 differ: past 1%
    b->getPixels()[4 * 12] ^= 1;
    EXPECT_FALSE(oxCompareImages(*a, *b).isSlight());
    EXPECT_FALSE(oxCompareImages(*a, *makeImage(OX_GFX_PIXEL_RGBA8, 10, 20)).comparable);
    EXPECT_TRUE(oxCompareImages(*a, *a).isSlight());
}
