#include "platform/gfx/oxImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

namespace {
uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return r | g << 8 | b << 16 | a << 24;
}

uint32_t channel(uint32_t c, int i)
{
    return (c >> (8 * i)) & 0xFF;
}

uint32_t luminance(uint32_t c)
{
    return (77 * channel(c, 0) + 150 * channel(c, 1) + 29 * channel(c, 2) + 128) >> 8;
}

uint16_t read16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void write16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

uint32_t expand5(uint32_t v)
{
    return (v << 3) | (v >> 2);
}

uint32_t expand6(uint32_t v)
{
    return (v << 2) | (v >> 4);
}

uint32_t decode(int format, const uint8_t* p, const Core::oxUnsignedIntList* clut)
{
    switch (format) {
    case OX_GFX_PIXEL_L8: return rgba(p[0], p[0], p[0], 255);
    case OX_GFX_PIXEL_A8: return rgba(0, 0, 0, p[0]);
    case OX_GFX_PIXEL_LA8: return rgba(p[0], p[0], p[0], p[1]);
    case OX_GFX_PIXEL_RGB565: {
        uint32_t v = read16(p);
        return rgba(expand5(v >> 11), expand6((v >> 5) & 0x3F), expand5(v & 0x1F), 255);
    }
    case OX_GFX_PIXEL_RGB8: return rgba(p[0], p[1], p[2], 255);
    case OX_GFX_PIXEL_RGBA8: return rgba(p[0], p[1], p[2], p[3]);
    case OX_GFX_PIXEL_RGBA4444: {
        uint32_t v = read16(p);
        return rgba((v >> 12) * 17, ((v >> 8) & 0xF) * 17, ((v >> 4) & 0xF) * 17, (v & 0xF) * 17);
    }
    case OX_GFX_PIXEL_RGBA5551: {
        uint32_t v = read16(p);
        return rgba(expand5(v >> 11), expand5((v >> 6) & 0x1F), expand5((v >> 1) & 0x1F), (v & 1) ? 255 : 0);
    }
    case OX_GFX_PIXEL_INDEX8: return clut && p[0] < clut->getCount() ? clut->get(p[0]) : 0;
    }
    return 0;
}

void encode(int format, uint32_t c, uint8_t* p)
{
    uint32_t r = channel(c, 0), g = channel(c, 1), b = channel(c, 2), a = channel(c, 3);
    switch (format) {
    case OX_GFX_PIXEL_L8: p[0] = uint8_t(luminance(c)); return;
    case OX_GFX_PIXEL_A8: p[0] = uint8_t(a); return;
    case OX_GFX_PIXEL_LA8:
        p[0] = uint8_t(luminance(c));
        p[1] = uint8_t(a);
        return;
    case OX_GFX_PIXEL_RGB565: write16(p, (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); return;
    case OX_GFX_PIXEL_RGB8:
        p[0] = uint8_t(r);
        p[1] = uint8_t(g);
        p[2] = uint8_t(b);
        return;
    case OX_GFX_PIXEL_RGBA8: std::memcpy(p, &c, 4); return;
    case OX_GFX_PIXEL_RGBA4444: write16(p, (r >> 4) << 12 | (g >> 4) << 8 | (b >> 4) << 4 | (a >> 4)); return;
    case OX_GFX_PIXEL_RGBA5551: write16(p, (r >> 3) << 11 | (g >> 3) << 6 | (b >> 3) << 1 | (a >= 128)); return;
    }
}
} // namespace

void oxImage::arkRegisterInitialize(oxFields<oxImage>& f)
{
    f.add(OX_FIELD(format)).enumeration(&getOX_GFX_PIXELMetaEnum);
    f.add(OX_FIELD(width));
    f.add(OX_FIELD(height));
    f.add(OX_FIELD(pixels));
    f.add(OX_FIELD(clut)).constructWithOwner();
}

int oxImage::getBitsPerPixel(int format)
{
    switch (format) {
    case OX_GFX_PIXEL_L8:
    case OX_GFX_PIXEL_A8:
    case OX_GFX_PIXEL_INDEX8: return 8;
    case OX_GFX_PIXEL_LA8:
    case OX_GFX_PIXEL_RGB565:
    case OX_GFX_PIXEL_RGBA4444:
    case OX_GFX_PIXEL_RGBA5551: return 16;
    case OX_GFX_PIXEL_RGB8: return 24;
    case OX_GFX_PIXEL_RGBA8: return 32;
    }
    return 0;
}

bool oxImage::canConvert(int from, int to)
{
    return isValidFormat(from) && isValidFormat(to) && (to != OX_GFX_PIXEL_INDEX8 || from == OX_GFX_PIXEL_INDEX8);
}

bool oxImage::isConsistent() const
{
    return isValidFormat(_format) && _width > 0 && _height > 0 && int64_t(_width) * _height <= kMaxPixels &&
           _pixels.size() == getRowBytes() * size_t(_height);
}

void oxImage::postFileRead()
{
    oxNamedObject::postFileRead();
    if (hasImageMemory() && !isConsistent()) {
        Core::oxReportWarning("oxImage \"%s\": %zu bytes do not hold %dx%d pixels of format %d; pixels dropped",
                              _name.c_str(), _pixels.size(), _width, _height, int(_format));
        _pixels.clear();
    }
}

bool oxImage::setFormat(int format)
{
    if (!hasImageMemory()) {
        if (format != OX_GFX_PIXEL_NONE && !isValidFormat(format))
            return false;
        _format = OX_GFX_PIXEL(format);
        return true;
    }
    if (format == OX_GFX_PIXEL_NONE || format == _format) {
        touch();
        return true;
    }
    return convert(format, this);
}

bool oxImage::setSize(int width, int height)
{
    if (width < 0 || height < 0 || int64_t(width) * height > kMaxPixels)
        return false;
    if (width != _width || height != _height)
        _pixels.clear();
    _width = width;
    _height = height;
    return true;
}

bool oxImage::allocateImageMemory()
{
    if (!isValidFormat(_format) || _width <= 0 || _height <= 0 || int64_t(_width) * _height > kMaxPixels) {
        Core::oxReportWarning("oxImage \"%s\": cannot allocate %dx%d pixels of format %d", _name.c_str(), _width,
                              _height, int(_format));
        return false;
    }
    _pixels.clear();
    try {
        _pixels.resize(getRowBytes() * size_t(_height));
    } catch (const std::bad_alloc&) {
        Core::oxReportWarning("oxImage \"%s\": no memory for %dx%d pixels of format %d", _name.c_str(), _width,
                              _height, int(_format));
        return false;
    }
    if (_format == OX_GFX_PIXEL_INDEX8 && _clut && _clut->getCount() == 0)
        _clut->resizeAndSetCount(256);
    touch();
    return true;
}

bool oxImage::allocateImageMemory(int width, int height, int format)
{
    if (!isValidFormat(format) || !setSize(width, height)) {
        Core::oxReportWarning("oxImage \"%s\": cannot allocate %dx%d pixels of format %d", _name.c_str(), width,
                              height, format);
        return false;
    }
    _pixels.clear();
    _format = OX_GFX_PIXEL(format);
    return allocateImageMemory();
}

bool oxImage::loadBuffer(const void* pixels, int format, int width, int height)
{
    if (!pixels || !allocateImageMemory(width, height, format))
        return false;
    std::memcpy(_pixels.data(), pixels, _pixels.size());
    return true;
}

bool oxImage::convert(int format, const oxImage* source)
{
    if (!source || !source->isConsistent() || !canConvert(source->_format, format)) {
        Core::oxReportWarning("oxImage: cannot convert %s to format %d",
                              source ? "an image without valid pixels" : "a null image", format);
        return false;
    }
    int width = source->_width, height = source->_height;
    int from = source->_format;
    Core::oxMemoryBlock converted;
    try {
        converted.resize(size_t(width) * size_t(height) * size_t(getBitsPerPixel(format) / 8));
    } catch (const std::bad_alloc&) {
        Core::oxReportWarning("oxImage: no memory to convert %dx%d pixels to format %d", width, height, format);
        return false;
    }
    if (from == format)
        std::memcpy(converted.data(), source->_pixels.data(), converted.size());
    else {
        int inBytes = getBitsPerPixel(from) / 8, outBytes = getBitsPerPixel(format) / 8;
        size_t n = size_t(width) * size_t(height);
        for (size_t i = 0; i < n; ++i)
            encode(format, decode(from, source->_pixels.data() + i * inBytes, source->_clut),
                   converted.data() + i * outBytes);
    }
    if (source != this && format == OX_GFX_PIXEL_INDEX8 && _clut && source->_clut)
        _clut->copy(source->_clut);
    _pixels = std::move(converted);
    _format = OX_GFX_PIXEL(format);
    _width = width;
    _height = height;
    touch();
    return true;
}

uint32_t oxImage::getColor(int x, int y) const
{
    if (!isConsistent() || x < 0 || y < 0 || x >= _width || y >= _height)
        return 0;
    size_t offset = size_t(y) * getRowBytes() + size_t(x) * size_t(getTotalBitsPerPixel() / 8);
    return decode(_format, _pixels.data() + offset, _clut);
}

oxImageDifference oxCompareImages(const oxImage& a, const oxImage& b)
{
    oxImageDifference d;
    if (a.getWidth() != b.getWidth() || a.getHeight() != b.getHeight())
        return d;
    d.comparable = true;
    d.pixels = int64_t(a.getWidth()) * a.getHeight();
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x) {
            const uint32_t p = a.getColor(x, y), q = b.getColor(x, y);
            int largest = 0;
            for (int shift = 0; shift < 32; shift += 8)
                largest = std::max(largest, std::abs(int(p >> shift & 0xFF) - int(q >> shift & 0xFF)));
            d.differingPixels += largest > 0;
            d.largestChannelDifference = std::max(d.largestChannelDifference, largest);
        }
    return d;
}

bool oxImageDifference::isSlight() const
{
    return comparable && largestChannelDifference <= 2 && differingPixels <= pixels / 100;
}

} // namespace Kel::Gfx
