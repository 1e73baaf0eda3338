// Fuzzes the BMP loader with whole files.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzsupport::fuzzImageLoader(data, size, ".bmp", loadBMP);
}
