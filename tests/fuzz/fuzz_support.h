// Shared by the fuzz targets: a fatal error of the engine (an orderly refusal of the
// input) must not end the fuzzer, so the fatal hook throws and the target catches it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "log.h"
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

// The folder for the targets' scratch files: /dev/shm where it is a usable folder (memory,
// so a run of millions of inputs never touches the disk), else /tmp.
inline const char* scratchRoot() {
    static const char* root = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
    return root;
}

// Writes the input to a private temporary file and returns its path (loaders that
// open by name read it from there).
inline std::string writeTemp(const uint8_t* data, size_t size, const char* suffix) {
    static std::string path;
    if (path.empty()) {
        std::string pattern = std::string(scratchRoot()) + "/festoonery-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = mkstemp(name.data());
        if (fd >= 0) close(fd);
        path = name.data();
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
