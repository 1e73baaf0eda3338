#include "main/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "main/log.h"
#include "platform/files.h"

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

// Reads one key token, cut at kKeyBufferSize - 1 characters; the rest of a longer token
// is dropped so that it is not mistaken for the value.
bool readKey(FILE* file, char* key) {
    static_assert(kKeyBufferSize == 4992, "the scan width below is kKeyBufferSize - 1");
    if (fscanf(file, "%4991s", key) != 1) return false;
    int c;
    while ((c = fgetc(file)) != EOF && !isspace(c)) {
    }
    return true;
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
    // A name of our own beside default.cfg, so the rename stays on one file system.
    char temporary[64];
    snprintf(temporary, sizeof temporary, "%s.tmp-%ld", kSettingsFileName, long(getpid()));
    int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    FILE* file = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!file) {
        if (fd >= 0) close(fd);
        unlink(temporary);
        logLine("Failed to save default configuration to %s... oh well, moving on.\n",
                kSettingsFileName);
        return;
    }
    logLine("Saving default configuration to %s\n", kSettingsFileName);
    for (const Key& k : kKeys) fprintf(file, "%s %i\n", k.name, int(*k.value));
    bool written = fflush(file) == 0 && !ferror(file);
    written = fsync(fileno(file)) == 0 && written;
    written = fclose(file) == 0 && written;
    if (!written || rename(temporary, kSettingsFileName) != 0) {
        unlink(temporary);
        logLine("Failed to save default configuration to %s... oh well, moving on.\n",
                kSettingsFileName);
    }
}
