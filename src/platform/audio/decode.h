// Decoding a whole OGG or MP3 file image in memory into 16-bit stereo frames at 44100 Hz.
#pragma once

#include <cstddef>
#include <cstdint>

namespace audio {

constexpr int kOutputRate = 44100;
constexpr int kBytesPerFrame = 4;  // 16-bit left, 16-bit right

struct DecodedAudio {
    int16_t* samples = nullptr;  // frames * 2 values, left first; malloc'ed, caller frees
    int64_t frames = 0;
    int sourceRate = 0;
    int sourceChannels = 0;
};

// Decodes the image (libsndfile over the bytes in memory, nothing is copied). Only OGG
// and MPEG files are taken. Mono is duplicated to both channels; of more than two
// channels the first two are kept; another sample rate is resampled linearly to 44100.
// Logs why and returns false when the image is not a decodable OGG or MP3 stream or
// holds no frames.
bool decodeStream(const void* image, size_t length, DecodedAudio* out);

// Linear interpolation of interleaved stereo float frames from `fromRate` to `toRate`.
// Writes round(frames * toRate / fromRate) frames into a malloc'ed block (caller frees).
float* resampleLinear(const float* in, int64_t frames, int fromRate, int toRate,
                      int64_t* outFrames);

}  // namespace audio
