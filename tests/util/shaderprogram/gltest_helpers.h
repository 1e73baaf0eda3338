// Shared helpers of the rendering-utility GL tests: regexes for the box records that
// fatal paths write to stderr, and death tests that are safe with a GL context.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gltest {

// A literal for POSIX extended regexes; a line feed becomes the two characters "\n"
// that box records carry in its place.
inline std::string re(const std::string& literal) {
    std::string out;
    for (char c : literal) {
        if (c == '\n') {
            out += "\\\\n";
        } else if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// The record of a fatalError box from the given source file.
inline std::string fatalBox(const std::string& file, const std::string& message) {
    std::string at = "Error in file " + re(file) + ":[0-9]+";
    return "\\[box\\] " + at + " \\| " + at + "\\\\n\\\\n" + re(message);
}

// The record of a fatalAt box from the given source file.
inline std::string fatalAtBox(const std::string& file) {
    return "\\[box\\] Error \\| Error in file " + re(file) + ":[0-9]+";
}

// The record of a checkGL box from the given source file.
inline std::string glErrorBox(const std::string& error, const std::string& file) {
    return "\\[box\\] OpenGL error detected \\| " + error + " in file " + re(file) + ":[0-9]+";
}

// A forked child would share the X connection and llvmpipe's threads with the parent:
// death tests re-run the binary instead, which opens a context of its own.
inline void useThreadsafeDeathTests() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

// In a death test's child: log lines join the box records on stderr, in order.
inline void logToStderr() {
    fflush(stdout);
    dup2(2, 1);
    setvbuf(stdout, nullptr, _IONBF, 0);
}

// Image fixtures: PNG files written here, independent of the decoders under test.
inline uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline std::string bigEndian(uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

inline std::string chunk(const std::string& type, const std::string& data) {
    return bigEndian(uint32_t(data.size())) + type + data + bigEndian(crc32(type + data));
}

// An 8-bit RGBA PNG, no filter, one zlib stored block (small images only).
inline std::string rgbaPng(int width, int height, const std::vector<unsigned char>& rgbaTopRowFirst) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(&rgbaTopRowFirst[size_t(y) * width * 4]), size_t(width) * 4);
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    std::string zlib = "\x78\x01";
    zlib += '\x01';  // final stored block
    zlib += char(raw.size() & 0xFF);
    zlib += char(raw.size() >> 8);
    zlib += char(~raw.size() & 0xFF);
    zlib += char((~raw.size() >> 8) & 0xFF);
    zlib += raw + bigEndian((b << 16) | a);
    std::string ihdr = bigEndian(uint32_t(width)) + bigEndian(uint32_t(height));
    ihdr += std::string{8, 6, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", zlib) +
           chunk("IEND", "");
}

}  // namespace gltest
