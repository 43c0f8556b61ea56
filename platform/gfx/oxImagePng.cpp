// PNG reading and writing through libpng.
//
// libpng reports errors by longjmp back to the setjmp of the function that created its
// structures. A longjmp skips destructors, so everything the jump can cross is plain data:
// the state lives in one struct of pointers and numbers (its buffers come from malloc and
// are freed on both paths), the work after setjmp runs in a function of its own whose frame
// is simply abandoned, and C++ objects are touched only before decoding starts or after it
// has returned.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/core/oxFiles.h"
#include "platform/core/oxOutput.h"
#include "platform/gfx/oxImage.h"

namespace Kel::Gfx {

namespace {
constexpr uint32_t kMaxSide = 1u << 15;

struct PngState {
    const uint8_t* input = nullptr; // reading: the encoded bytes
    size_t size = 0;
    size_t offset = 0;
    std::vector<uint8_t>* output = nullptr; // writing: where encoded bytes go
    char message[200] = {};
    uint8_t* pixels = nullptr; // reading: malloc'd rows, top first
    png_bytep* rows = nullptr; // malloc'd row pointers
    int format = OX_GFX_PIXEL_NONE;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t palette[256] = {};
    int paletteCount = 0;
};

void onError(png_structp png, png_const_charp message)
{
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    png_longjmp(png, 1);
}

// libpng's warnings concern recoverable details (a bad checksum of an ancillary chunk ...);
// the decoded picture is what counts.
void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep out, png_size_t n)
{
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (n > s->size - s->offset)
        png_error(png, "the data ends early");
    std::memcpy(out, s->input + s->offset, n);
    s->offset += n;
}

void onWrite(png_structp png, png_bytep data, png_size_t n)
{
    // An exception must not cross libpng's C frames; the failure leaves by its own jump,
    // and only once the handler is done.
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        s->output->insert(s->output->end(), data, data + n);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored)
        png_error(png, "out of memory for the encoded picture");
}

void onFlush(png_structp) {}

void freeBuffers(PngState* s)
{
    std::free(s->rows);
    std::free(s->pixels);
    s->rows = nullptr;
    s->pixels = nullptr;
}

// Everything after setjmp; any libpng error leaves this frame by longjmp.
void decodeBody(png_structp png, png_infop info, PngState* s)
{
    png_set_read_fn(png, s, onRead);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
    bool keyed = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (depth == 16)
        png_set_strip_16(png);
    switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
        if (depth < 8)
            png_set_packing(png);
        png_colorp colors = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &colors, &count);
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        if (keyed)
            png_get_tRNS(png, info, &alpha, &alphaCount, nullptr);
        s->paletteCount = count < 256 ? count : 256;
        for (int i = 0; i < s->paletteCount; ++i)
            s->palette[i] = uint32_t(colors[i].red) | uint32_t(colors[i].green) << 8 |
                            uint32_t(colors[i].blue) << 16 | uint32_t(i < alphaCount ? alpha[i] : 255) << 24;
        s->format = OX_GFX_PIXEL_INDEX8;
        break;
    }
    case PNG_COLOR_TYPE_GRAY:
        if (depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (keyed)
            png_set_tRNS_to_alpha(png);
        s->format = keyed ? OX_GFX_PIXEL_LA8 : OX_GFX_PIXEL_L8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: s->format = OX_GFX_PIXEL_LA8; break;
    case PNG_COLOR_TYPE_RGB:
        if (keyed)
            png_set_tRNS_to_alpha(png);
        s->format = keyed ? OX_GFX_PIXEL_RGBA8 : OX_GFX_PIXEL_RGB8;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA: s->format = OX_GFX_PIXEL_RGBA8; break;
    default: png_error(png, "unknown colour type");
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != size_t(width) * size_t(oxImage::getBitsPerPixel(s->format) / 8))
        png_error(png, "unexpected row layout");
    s->pixels = static_cast<uint8_t*>(std::malloc(rowBytes * height));
    s->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!s->pixels || !s->rows)
        png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y)
        s->rows[y] = s->pixels + y * rowBytes;
    png_read_image(png, s->rows);
    png_read_end(png, nullptr);
    s->width = width;
    s->height = height;
}

bool decode(PngState* s)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::snprintf(s->message, sizeof s->message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        freeBuffers(s);
        return false;
    }
    decodeBody(png, info, s);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(s->rows);
    s->rows = nullptr;
    return true;
}

void encodeBody(png_structp png, png_infop info, PngState* s, const uint8_t* pixels, size_t rowBytes)
{
    png_set_write_fn(png, s, onWrite, onFlush);
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    switch (s->format) {
    case OX_GFX_PIXEL_L8: colorType = PNG_COLOR_TYPE_GRAY; break;
    case OX_GFX_PIXEL_LA8: colorType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
    case OX_GFX_PIXEL_RGB8: colorType = PNG_COLOR_TYPE_RGB; break;
    case OX_GFX_PIXEL_INDEX8: colorType = PNG_COLOR_TYPE_PALETTE; break;
    }
    png_set_IHDR(png, info, s->width, s->height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color colors[256];
        png_byte alpha[256];
        int lastTranslucent = -1;
        for (int i = 0; i < s->paletteCount; ++i) {
            uint32_t c = s->palette[i];
            colors[i] = {png_byte(c), png_byte(c >> 8), png_byte(c >> 16)};
            alpha[i] = png_byte(c >> 24);
            if (alpha[i] != 255)
                lastTranslucent = i;
        }
        png_set_PLTE(png, info, colors, s->paletteCount);
        if (lastTranslucent >= 0)
            png_set_tRNS(png, info, alpha, lastTranslucent + 1, nullptr);
    }
    png_write_info(png, info);
    for (uint32_t y = 0; y < s->height; ++y)
        png_write_row(png, pixels + y * rowBytes);
    png_write_end(png, info);
}

bool encode(PngState* s, const uint8_t* pixels, size_t rowBytes)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, s, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(s->message, sizeof s->message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    encodeBody(png, info, s, pixels, rowBytes);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

bool oxImage::readPNG(const void* data, size_t size, const char* label)
{
    if (!data && size > 0) {
        Core::oxReportWarning("oxImage: no PNG data given for %s", label ? label : "memory");
        return false;
    }
    PngState s;
    s.input = static_cast<const uint8_t*>(data);
    s.size = size;
    if (!decode(&s)) {
        Core::oxReportWarning("oxImage: cannot read PNG %s: %s", label ? label : "memory", s.message);
        return false;
    }
    bool ok = loadBuffer(s.pixels, s.format, int(s.width), int(s.height));
    std::free(s.pixels);
    if (ok && s.format == OX_GFX_PIXEL_INDEX8 && _clut) {
        _clut->resizeAndSetCount(s.paletteCount);
        std::memcpy(_clut->data(), s.palette, sizeof(uint32_t) * size_t(s.paletteCount));
    }
    return ok;
}

bool oxImage::readPNG(const char* path)
{
    // A PNG file larger than the largest picture it may hold, uncompressed, is not one.
    std::vector<uint8_t> bytes;
    std::string error;
    if (!Core::oxReadWholeFile(path, uint64_t(kMaxPixels) * 4, bytes, error)) {
        Core::oxReportWarning("oxImage: cannot read PNG file %s", error.c_str());
        return false;
    }
    return readPNG(bytes.data(), bytes.size(), path);
}

bool oxImage::writePNG(std::vector<uint8_t>& out) const
{
    if (!isConsistent()) {
        Core::oxReportWarning("oxImage \"%s\": no pixels to write", _name.c_str());
        return false;
    }
    const oxImage* source = this;
    Core::oxSmartPointer<oxImage> converted;
    int stored = _format;
    if (stored == OX_GFX_PIXEL_RGB565)
        stored = OX_GFX_PIXEL_RGB8;
    else if (stored == OX_GFX_PIXEL_A8 || stored == OX_GFX_PIXEL_RGBA4444 || stored == OX_GFX_PIXEL_RGBA5551)
        stored = OX_GFX_PIXEL_RGBA8;
    if (stored != _format) {
        converted = oxImage::_instantiateFromPool(getMemoryPool());
        if (!converted->convert(stored, this))
            return false;
        source = converted;
    }
    PngState s;
    s.output = &out;
    s.format = stored;
    s.width = uint32_t(_width);
    s.height = uint32_t(_height);
    if (stored == OX_GFX_PIXEL_INDEX8) {
        s.paletteCount = _clut ? (_clut->getCount() < 256 ? _clut->getCount() : 256) : 0;
        if (s.paletteCount == 0) {
            Core::oxReportWarning("oxImage \"%s\": an indexed image without colour table", _name.c_str());
            return false;
        }
        std::memcpy(s.palette, _clut->data(), sizeof(uint32_t) * size_t(s.paletteCount));
    }
    out.clear();
    if (!encode(&s, source->getPixels(), source->getRowBytes())) {
        Core::oxReportWarning("oxImage \"%s\": cannot write PNG: %s", _name.c_str(), s.message);
        out.clear();
        return false;
    }
    return true;
}

bool oxImage::writePNG(const char* path) const
{
    std::vector<uint8_t> bytes;
    if (!path || !writePNG(bytes))
        return false;
    std::FILE* file = std::fopen(path, "wb");
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0)
        ok = false;
    if (!ok)
        Core::oxReportWarning("oxImage: cannot write PNG file \"%s\"", path);
    return ok;
}

} // namespace Kel::Gfx
