#include "import/oxImageFiles.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "platform/core/oxOutput.h"

namespace Kel::Sg {

using Gfx::oxImage;

namespace {

// libjpeg reports errors through a callback that must not return: it jumps back here.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr info)
{
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->back, 1);
}

void jpegNote(j_common_ptr, int) {}

bool readJpeg(oxImage* image, const unsigned char* data, size_t size, const char* label)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFail;
    errors.manager.emit_message = jpegNote;
    // Nothing with a destructor lives between here and the jump.
    std::vector<unsigned char>* pixels = new std::vector<unsigned char>();
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        delete pixels;
        Core::oxReportWarning("%s: broken JPEG: %s", label, errors.message);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const size_t row = size_t(info.output_width) * 3;
    pixels->resize(row * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW at = pixels->data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &at, 1);
    }
    jpeg_finish_decompress(&info);
    const bool ok = image->loadBuffer(pixels->data(), Gfx::OX_GFX_PIXEL_RGB8, int(info.output_width),
                                      int(info.output_height));
    jpeg_destroy_decompress(&info);
    delete pixels;
    return ok;
}

} // namespace

bool readImage(oxImage* image, const void* data, size_t size, const char* label)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (size >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return image->readPNG(data, size, label);
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return readJpeg(image, bytes, size, label);
    Core::oxReportWarning("%s: neither PNG nor JPEG", label);
    return false;
}

bool readImageFile(oxImage* image, const char* path)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        Core::oxReportWarning("%s: cannot be opened", path);
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return readImage(image, bytes.data(), bytes.size(), path);
}

} // namespace Kel::Sg
