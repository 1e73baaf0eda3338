// Feeds arbitrary bytes to the soundtrack decoder (OGG or MP3 through libsndfile, from
// memory): it must decode them or refuse them, and every frame it claims is read.
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "platform/audio/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    audio::DecodedAudio decoded;
    if (audio::decodeStream(data, size, &decoded)) {
        volatile int sum = 0;
        for (int64_t i = 0; i < decoded.frames * 2; ++i) sum = sum + decoded.samples[i];
    }
    free(decoded.samples);
    return 0;
}
