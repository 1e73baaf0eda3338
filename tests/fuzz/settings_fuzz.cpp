// Any bytes as default.cfg: loadSettings must read within its key buffer and never fail.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"
#include "main/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    static bool inFolder = false;
    if (!inFolder) {
        char dir[] = "/tmp/festoonery-settings-fuzz-XXXXXX";
        if (!mkdtemp(dir) || chdir(dir) != 0) abort();
        inFolder = true;
    }
    FILE* file = fopen("default.cfg", "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);
    DisplaySettings::resetToDefaults();
    loadSettings();
    return 0;
}
