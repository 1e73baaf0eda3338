// Files the capture writes: PNG frames (8-bit RGBA, deflated with zlib) and the
// soundtrack's section as a 16-bit stereo WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace offline {

// Writes width x height RGBA pixels, rows `stride` bytes apart. bottomUp: the first row
// in memory is the image's bottom row (as OpenGL reads them back); the file is always
// top row first. keepAlpha: an RGBA file, else RGB (a rendered frame's alpha is what the
// blending left there, not transparency). level: zlib's 0 (stored) to 9. False with a
// reason on any failure; a partly written file is removed.
bool writePng(const char* path, int width, int height, const unsigned char* rgba, long stride,
              bool bottomUp, bool keepAlpha, int level, std::string* error);

// The same PNG into an open stream.
bool writePngStream(FILE* out, int width, int height, const unsigned char* rgba, long stride,
                    bool bottomUp, bool keepAlpha, int level);

// A RIFF WAVE file of 16-bit stereo frames at `rate`. The header is completed by
// finish(); frames are appended in between.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const char* path, int rate, std::string* error);
    bool append(const int16_t* interleaved, int64_t frames);
    bool finish(std::string* error);
    int64_t frames() const { return frames_; }

private:
    FILE* file_ = nullptr;
    std::string path_;
    int rate_ = 44100;
    int64_t frames_ = 0;
    bool failed_ = false;
};

}  // namespace offline
