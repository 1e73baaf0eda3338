// The texture's ".jpg" / ".jpeg" loader, decoding through libjpeg (6b interface).
#include "util/texture/jpg_loader.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "log.h"
#include "util/data/data.h"
#include "util/texture/loader_image.h"
#include "util/texture/texture.h"

namespace {

constexpr JDIMENSION kMaxDimension = 16384;

struct ErrorManager {
    jpeg_error_mgr base;  // first, so libjpeg's pointer is also ours
    const char* path;
    FILE* file;       // released before the fatal box, so a hook that
    JSAMPLE** lines;  // unwinds instead of exiting (fuzzing) leaks nothing
};

// libjpeg's own handler ends the process from inside the library; this one does the
// same through the system's fatal box, with libjpeg's message.
[[noreturn]] void exitThroughFatalBox(j_common_ptr info) {
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    ErrorManager* errors = reinterpret_cast<ErrorManager*>(info->err);
    jpeg_destroy(info);
    fclose(errors->file);
    free(*errors->lines);
    *errors->lines = nullptr;
    fatalError(__FILE__, __LINE__, "Could not decode JPEG %s: %s", errors->path, message);
}

}  // namespace

bool readJPG(LoaderImage* image, const char* path) {
    FILE* file = dataOpen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = exitThroughFatalBox;
    JSAMPLE* lines = nullptr;
    errors.path = path;
    errors.file = file;
    errors.lines = &lines;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxDimension || info.image_height > kMaxDimension) {
        logLine("  JPEG %s is %u x %u pixels, more than %u in a direction\n", path, info.image_width,
                info.image_height, kMaxDimension);
        jpeg_destroy_decompress(&info);
        fclose(file);
        return false;
    }
    info.out_color_space = image->type() == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    size_t stride = size_t(info.output_width) * size_t(info.output_components);
    lines = static_cast<JSAMPLE*>(malloc(stride * info.output_height + 1));
    bool sized = lines && image->setSize(int(info.output_width), int(info.output_height));
    if (!sized) {
        logLine("  Out of memory for JPEG %s\n", path);
        free(lines);
        jpeg_destroy_decompress(&info);
        fclose(file);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = lines + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    int components = info.output_components;
    for (JDIMENSION y = 0; y < info.output_height; ++y) {
        const JSAMPLE* p = lines + stride * y;
        for (JDIMENSION x = 0; x < info.output_width; ++x, p += components) {
            if (components >= 3)
                image->setPixel(int(x), int(y), p[0], p[1], p[2]);
            else
                image->setPixel(int(x), int(y), p[0], p[0], p[0]);
        }
    }
    free(lines);
    lines = nullptr;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    fclose(file);
    return true;
}

bool loadJPG(const char* path, Texture* texture) {
    LoaderImage image(3);
    if (!readJPG(&image, path)) {
        logLine("Failed reading %s\n", path);
        return false;
    }
    return loaderImageToTexture(image, texture, path, __FILE__, __LINE__);
}
