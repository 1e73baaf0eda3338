// Shared by the fuzz targets: a fatal error of the engine (an orderly refusal of the
// input) must not end the fuzzer, so the fatal hook throws and the target catches it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "main/log.h"
#include "platform/msgbox.h"

namespace fuzzsupport {

struct Refused {};

inline void throwRefused() { throw Refused{}; }

// Once per process: script boxes, quiet stdout, the throwing fatal hook.
inline void setUp() {
    static bool done = false;
    if (done) return;
    done = true;
    platform::setUiBackend(platform::UiBackend::Script);
    setFatalHook(throwRefused);
    // The engine's log lines would flood the fuzzer's output. Box records on stderr stay:
    // run_fuzzer.sh has libFuzzer close the target's stderr while keeping its own reports.
    if (!getenv("FUZZ_VERBOSE")) {
        if (!freopen("/dev/null", "w", stdout)) return;
    }
}

// Writes the input to a private temporary file and returns its path (loaders that
// open by name read it from there).
inline std::string writeTemp(const uint8_t* data, size_t size, const char* suffix) {
    static std::string path;
    if (path.empty()) {
        char name[] = "/tmp/festoonery-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    std::string withSuffix = path + suffix;
    FILE* f = fopen(withSuffix.c_str(), "wb");
    if (f) {
        if (size) fwrite(data, 1, size, f);
        fclose(f);
    }
    return withSuffix;
}

}  // namespace fuzzsupport
