// Shared by the image loader fuzz targets: one whole file per input, written where the
// loader can open it by name. The loader must refuse or decode, never read or write out
// of bounds; every byte it claims to have produced is read.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "util/texture/texture.h"

namespace fuzzsupport {

inline int fuzzImageLoader(const uint8_t* data, size_t size, const char* suffix,
                           bool (*load)(const char* path, Texture* texture)) {
    setUp();
    std::string path = writeTemp(data, size, suffix);
    Texture texture;
    memset(&texture, 0, sizeof texture);
    try {
        if (load(path.c_str(), &texture)) {
            size_t bytes = size_t(texture.width) * size_t(texture.height) * size_t(texture.bitsPerPixel / 8);
            volatile unsigned sum = 0;
            for (size_t i = 0; i < bytes; ++i) sum = sum + texture.imageData[i];
        }
    } catch (const Refused&) {
    }
    free(texture.imageData);
    return 0;
}

}  // namespace fuzzsupport
