// Fuzzes the JPEG loader (libjpeg behind the engine's error handler) with whole files.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "image_fuzz.h"

namespace {

// libjpeg decodes a truncated scan as grey, so a 200-byte input can declare a picture of
// 50 megapixels and have it decoded in full: legitimate, but tens of seconds of per-pixel
// loops under coverage instrumentation, which libFuzzer reports as a timeout. Such inputs
// are skipped here (large pictures are the unit tests' business); the header is read by
// libjpeg itself, so the loader sees the same dimensions.
constexpr unsigned long kMaxFuzzedPixels = 4u << 20;

struct HeaderErrors {
    jpeg_error_mgr base;
    jmp_buf escape;
};

bool declaresHugePicture(const uint8_t* data, size_t size) {
    jpeg_decompress_struct info;
    HeaderErrors errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = [](j_common_ptr common) {
        longjmp(reinterpret_cast<HeaderErrors*>(common->err)->escape, 1);
    };
    errors.base.output_message = [](j_common_ptr) {};
    jpeg_create_decompress(&info);
    bool huge = false;
    if (setjmp(errors.escape) == 0) {
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK)
            huge = static_cast<unsigned long>(info.image_width) * info.image_height > kMaxFuzzedPixels;
    }
    jpeg_destroy_decompress(&info);
    return huge;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size && declaresHugePicture(data, size)) return 0;
    return fuzzsupport::fuzzImageLoader(data, size, ".jpg", [](const char* path, Texture* texture) {
        return loadJPG(path, texture);
    });
}
