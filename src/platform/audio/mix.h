// The output mix of the device callback: streams are added at their volume into a
// 32-bit accumulator, then cut to 16 bits.
#pragma once

#include <cstdint>

namespace audio {

// Adds `values` 16-bit samples scaled by `volume` (1.0 = unchanged) into `into`.
void mixAdd(int32_t* into, const int16_t* from, int64_t values, float volume);
// Writes the accumulated values as 16-bit samples, clipping at the 16-bit limits.
void mixStore(int16_t* out, const int32_t* from, int64_t values);

}  // namespace audio
