#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/oxDataList.h"
#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxNamedObject.h"
#include "platform/core/oxObjectList.h"

namespace Kel::Gfx {

using Core::oxFields;

// Pixel formats. Multi-byte pixels are little-endian 16-bit words with the channels from the
// highest bits down (RGB565: red in bits 11-15), so that they upload as GL's packed types;
// byte formats list their channels in memory order. INDEX8 pixels index the colour lookup
// table (getClut).
OX_NAMESPACE_ENUM(OX_GFX_PIXEL, OX_GFX_PIXEL_NONE = 0, OX_GFX_PIXEL_L8 = 1, OX_GFX_PIXEL_A8 = 2,
                  OX_GFX_PIXEL_LA8 = 3, OX_GFX_PIXEL_RGB565 = 4, OX_GFX_PIXEL_RGB8 = 5, OX_GFX_PIXEL_RGBA8 = 6,
                  OX_GFX_PIXEL_RGBA4444 = 7, OX_GFX_PIXEL_RGBA5551 = 8, OX_GFX_PIXEL_INDEX8 = 9)

// A two-dimensional picture: a format, a size, tightly packed rows from the top, and for
// indexed pictures a colour lookup table of packed RGBA colours (red in the lowest byte,
// the packing of vertex colours). Images are what textures hold; they read and write PNG.
class oxImage : public Core::oxNamedObject {
    OX_CLASS(oxImage, Core::oxNamedObject)
    OX_FIELDS(format, width, height, pixels, clut)
public:
    // The most pixels a picture may have (16384 × 16384): larger sizes are refused before
    // anything is allocated. A size within it whose memory cannot be had is refused too,
    // when the allocation fails: false and a warning, never an exception.
    static constexpr int64_t kMaxPixels = int64_t(1) << 28;

    static int getBitsPerPixel(int format);
    static bool isValidFormat(int format) { return getBitsPerPixel(format) > 0; }
    // Whether convert() can turn pixels of one format into the other (nothing converts into
    // INDEX8, which would need a palette to be chosen).
    static bool canConvert(int from, int to);

    int getFormat() const { return _format; }
    int getWidth() const { return _width; }
    int getHeight() const { return _height; }
    int getTotalBitsPerPixel() const { return getBitsPerPixel(_format); }
    size_t getRowBytes() const { return size_t(_width) * size_t(getTotalBitsPerPixel() / 8); }
    bool hasImageMemory() const { return !_pixels.empty(); }
    uint8_t* getPixels() { return _pixels.data(); }
    const uint8_t* getPixels() const { return _pixels.data(); }
    size_t getPixelBytes() const { return _pixels.size(); }
    Core::oxUnsignedIntList* getClut() const { return _clut; }

    // Without pixel memory: sets the format that allocateImageMemory will use. With pixels:
    // converts them to `format`, or, for OX_GFX_PIXEL_NONE, keeps them as they are (the call
    // then only marks the picture as changed). False when the conversion is not possible.
    bool setFormat(int format);
    // Sets the size; pixels of another size are dropped.
    bool setSize(int width, int height);
    // Zeroed pixels for the current format and size (an INDEX8 image also gets a table of
    // 256 black entries if it has none). False (with a warning) when either is missing.
    bool allocateImageMemory();
    bool allocateImageMemory(int width, int height, int format);
    void freeImageMemory() { _pixels.clear(); }
    // Copies width × height tightly packed pixels of `format`.
    bool loadBuffer(const void* pixels, int format, int width, int height);
    // This image becomes `source` in another format (source may be this image).
    bool convert(int format, const oxImage* source);

    // One pixel as packed RGBA (0 outside the picture).
    uint32_t getColor(int x, int y) const;

    // PNG files. Reading keeps the file's own layout where a format holds it (grey, grey and
    // alpha, RGB, RGBA, palette); 16-bit channels are cut to 8 and transparency keys become
    // alpha. Writing stores L8, LA8, RGB8, RGBA8 and INDEX8 as they are and the other formats
    // as RGBA8 (RGB8 for RGB565). A file that is missing, damaged or cut short gives false
    // and a warning and leaves the image as it was.
    bool readPNG(const char* path);
    bool readPNG(const void* data, size_t size, const char* label = "memory");
    bool writePNG(const char* path) const;
    bool writePNG(std::vector<uint8_t>& out) const;

    // Moves on whenever the pixels change through this interface; code that writes through
    // getPixels() calls touch(). Devices compare it with the version they uploaded.
    uint32_t getVersion() const { return _version; }
    void touch() { ++_version; }

    void postFileRead() override;

protected:
    oxImage() = default;
    static void arkRegisterInitialize(oxFields<oxImage>& f);

    OX_GFX_PIXEL _format = OX_GFX_PIXEL_NONE;
    int32_t _width = 0;
    int32_t _height = 0;
    Core::oxMemoryBlock _pixels;
    Core::oxSmartPointer<Core::oxUnsignedIntList> _clut;

private:
    bool isConsistent() const;
    uint32_t _version = 0;
};

OX_OBJECT_LIST(oxImageList, oxImage)

// How far two pictures of the same size are apart, channel by channel of their colours
// (getColor): the pixels that differ at all and the largest difference of one channel.
// `comparable` is false when the sizes differ.
struct oxImageDifference {
    bool comparable = false;
    int64_t pixels = 0;
    int64_t differingPixels = 0;
    int largestChannelDifference = 0;
    // Within what separates two frames of the software rasteriser's versions: every channel
    // within 2 and at most 1% of the pixels differing.
    bool isSlight() const;
};
oxImageDifference oxCompareImages(const oxImage& a, const oxImage& b);

} // namespace Kel::Gfx
