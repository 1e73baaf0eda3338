// Test sound files made on the spot with libsndfile: a known sine in each channel, so
// nothing binary is committed and decoded samples can be checked against the formula.
#pragma once

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/paths.h"

namespace sinefixture {

constexpr double kFrequency = 441.0;  // 100 frames per period at 44100 Hz

// Left: 0.5 sin, right: 0.25 cos (so swapped or duplicated channels show). Mono files
// hold the left channel's wave.
inline double wave(int channel, double seconds) {
    double phase = 2.0 * M_PI * kFrequency * seconds;
    return channel == 0 ? 0.5 * std::sin(phase) : 0.25 * std::cos(phase);
}

// Scratch folder names of one process: ctest runs tests of this file side by side.
inline std::string perProcess(const std::string& name) {
    return name + "_" + std::to_string(getpid());
}

enum class Kind { Ogg, Mp3, Wav };

inline int sndfileFormat(Kind kind) {
    switch (kind) {
        case Kind::Ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case Kind::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case Kind::Wav: break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// Writes the file and returns its bytes (empty when libsndfile could not write it).
inline std::string write(const std::string& path, Kind kind, int rate, int channels,
                         double seconds) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = sndfileFormat(kind);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return std::string();
    int frames = int(std::lround(rate * seconds));
    std::vector<float> samples(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) samples[size_t(i) * channels + c] = float(wave(c, double(i) / rate));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    return testpaths::readFile(path);
}

}  // namespace sinefixture
