// Any bytes as default.cfg: loadSettings must read within its key buffer and never fail.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "main/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    // default.cfg is read from the working directory: visit a private folder for the
    // call only, since the fuzzer writes its corpus by relative paths.
    static std::string folder;
    if (folder.empty()) {
        std::string pattern = std::string(fuzzsupport::scratchRoot()) + "/festoonery-settings-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) abort();
        folder = pattern;
    }
    int back = open(".", O_RDONLY | O_DIRECTORY);
    if (back < 0 || chdir(folder.c_str()) != 0) abort();
    FILE* file = fopen("default.cfg", "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);
    DisplaySettings::resetToDefaults();
    loadSettings();
    if (fchdir(back) != 0) abort();
    close(back);
    return 0;
}
