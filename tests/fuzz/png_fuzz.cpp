// Fuzzes the PNG loader with whole files: it must refuse or decode, never read or
// write out of bounds.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "util/texture/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    std::string path = fuzzsupport::writeTemp(data, size, ".png");
    Texture texture;
    memset(&texture, 0, sizeof texture);
    try {
        if (loadPNG(&texture, path.c_str())) {
            // Touch every byte the loader claims to have produced.
            size_t bytes = size_t(texture.width) * size_t(texture.height) * size_t(texture.bitsPerPixel / 8);
            volatile unsigned sum = 0;
            for (size_t i = 0; i < bytes; ++i) sum = sum + texture.imageData[i];
        }
    } catch (const fuzzsupport::Refused&) {
    }
    free(texture.imageData);
    return 0;
}
