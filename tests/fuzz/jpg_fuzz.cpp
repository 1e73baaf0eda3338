// Fuzzes the JPEG loader (libjpeg behind the engine's error handler) with whole files.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzsupport::fuzzImageLoader(data, size, ".jpg", [](const char* path, Texture* texture) {
        return loadJPG(path, texture);
    });
}
