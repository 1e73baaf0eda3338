#include "platform/audio/mix.h"

#include <cmath>

namespace audio {

void mixAdd(int32_t* into, const int16_t* from, int64_t values, float volume) {
    if (volume == 1.0f) {
        for (int64_t i = 0; i < values; ++i) into[i] += from[i];
        return;
    }
    for (int64_t i = 0; i < values; ++i) into[i] += int32_t(lrintf(float(from[i]) * volume));
}

void mixStore(int16_t* out, const int32_t* from, int64_t values) {
    for (int64_t i = 0; i < values; ++i) {
        int32_t v = from[i];
        out[i] = int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
}

}  // namespace audio
