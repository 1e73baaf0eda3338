#include "main/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "platform/files.h"
#include "util/util/atomic_file.h"

namespace DisplaySettings {

int32_t width = -1;
int32_t height = -1;
int32_t flags = int32_t(0x80000000u);
int32_t samples = 4;
int32_t vsync = 1;

void resetToDefaults() {
    width = -1;
    height = -1;
    flags = int32_t(0x80000000u);
    samples = 4;
    vsync = 1;
}

}  // namespace DisplaySettings

const char* const kSettingsFileName = "default.cfg";

namespace {

struct Key {
    const char* name;
    int32_t* value;
};

const Key kKeys[] = {
    {"width", &DisplaySettings::width},     {"height", &DisplaySettings::height},
    {"flags", &DisplaySettings::flags},     {"samples", &DisplaySettings::samples},
    {"vsync", &DisplaySettings::vsync},
};

// Key tokens are read into a buffer of this many bytes; longer tokens are cut.
constexpr size_t kKeyBufferSize = 4992;

// Reads one key token, cut at kKeyBufferSize - 1 characters. The rest of a longer token
// stays in the stream and is what the value is then read from ("%4991s %i").
bool readKey(FILE* file, char* key) {
    static_assert(kKeyBufferSize == 4992, "the scan width below is kKeyBufferSize - 1");
    return fscanf(file, "%4991s", key) == 1;
}

}  // namespace

void loadSettings() {
    // A pipe, device or folder in its place counts as unreadable: reading it could block
    // the start-up for ever or never end.
    FILE* file = platform::openRegularFile(kSettingsFileName, "r");
    if (!file) {
        logLine("No default configuration file found... oh well, moving on.\n");
        return;
    }
    logLine("Loading default configuration from %s\n", kSettingsFileName);
    char* key = static_cast<char*>(malloc(kKeyBufferSize));
    if (!key) FATAL("Out of memory reading %s\n", kSettingsFileName);
    long value;
    while (readKey(file, key) && fscanf(file, "%li", &value) == 1) {
        for (const Key& k : kKeys) {
            // Values keep their low 32 bits, as %i into an int does.
            if (strcmp(key, k.name) == 0) *k.value = int32_t(uint32_t(uint64_t(value)));
        }
    }
    free(key);
    fclose(file);
}

void saveSettings() {
    // The whole file is replaced at once, keeping a link, the permissions and the owner of
    // the one the viewer had; it is announced only once it is in place.
    AtomicFile out;
    bool saved = atomicFileOpen(&out, kSettingsFileName);
    if (saved) {
        for (const Key& k : kKeys) fprintf(out.file, "%s %i\n", k.name, int(*k.value));
        saved = atomicFileFinish(&out) && atomicFileReplace(&out);
    }
    if (saved) {
        logLine("Saving default configuration to %s\n", kSettingsFileName);
    } else {
        logLine("Failed to save default configuration to %s... oh well, moving on.\n",
                kSettingsFileName);
    }
}
