// Shared helpers of the rendering-utility GL tests: regexes for the box records that
// fatal paths write to stderr, and death tests that are safe with a GL context.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

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

}  // namespace gltest
