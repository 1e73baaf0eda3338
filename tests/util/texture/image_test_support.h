// Shared by the image loader tests: scratch files, loading with the box and log
// records captured, texture records.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/paths.h"
#include "util/texture/png_builder.h"
#include "util/texture/texture.h"

namespace imgtest {

inline std::string scratchFile(const std::string& name, const Bytes& bytes) {
    static std::string dir = testpaths::freshScratchDir("image_loaders");
    std::string path = dir + "/" + name;
    testpaths::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

struct Loaded {
    bool ok = false;
    Texture texture{};
    std::string err;  // stderr: the box records
    std::string out;  // stdout: the log lines
    Bytes pixels() const {
        if (!texture.imageData) return {};
        size_t n = size_t(texture.width) * size_t(texture.height) * size_t(texture.bitsPerPixel / 8);
        return Bytes(texture.imageData, texture.imageData + n);
    }
    Loaded() = default;
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() { free(texture.imageData); }
};

enum class Loader { TGA, BMP, JPG, PNG };

inline void load(Loader loader, const std::string& path, Loaded* result) {
    memset(&result->texture, 0, sizeof result->texture);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    switch (loader) {
        case Loader::TGA: result->ok = loadTGA(path.c_str(), &result->texture); break;
        case Loader::BMP: result->ok = loadBMP(path.c_str(), &result->texture); break;
        case Loader::JPG: result->ok = loadJPG(path.c_str(), &result->texture); break;
        case Loader::PNG: result->ok = loadPNG(&result->texture, path.c_str()); break;
    }
    fflush(stdout);
    result->out = testing::internal::GetCapturedStdout();
    result->err = testing::internal::GetCapturedStderr();
}

// A short description of the first difference of two pixel buffers, or "".
inline std::string firstDifference(const Bytes& expected, const Bytes& actual, size_t pixelBytes = 4) {
    if (expected.size() != actual.size())
        return "size " + std::to_string(expected.size()) + " expected, " + std::to_string(actual.size()) + " got";
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == actual[i]) continue;
        size_t p = i / pixelBytes;
        std::string e, a;
        for (size_t k = 0; k < pixelBytes; ++k) {
            e += std::to_string(expected[p * pixelBytes + k]) + " ";
            a += std::to_string(actual[p * pixelBytes + k]) + " ";
        }
        return "pixel " + std::to_string(p) + ": expected " + e + "got " + a;
    }
    return "";
}

}  // namespace imgtest
