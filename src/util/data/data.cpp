#include "util/data/data.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "main/log.h"

namespace {
DataMode g_mode = Disk;
std::vector<DataEntry*> g_entries;

// Index of the only entry named path, -1 when there is none; two are fatal.
int findEntry(const char* path) {
    int found = -1;
    for (size_t i = 0; i < g_entries.size(); ++i) {
        if (strcmp(g_entries[i]->name, path) != 0) continue;
        if (found >= 0) {
            FATAL("Ouch, found more than one entry for %s in datafile. Duplicates make no sense "
                  "here.",
                  path);
        }
        found = int(i);
    }
    return found;
}

FILE* openFromArchive(const char* path) {
    int index = findEntry(path);
    if (index < 0) return nullptr;
    FILE* file = tmpfile();
    if (!file) {
        logLine("[DATA] Failed to create tmpfile()");
        return nullptr;
    }
    const DataEntry* entry = g_entries[index];
    if (entry->length > 0) fwrite(entry->data, 1, size_t(entry->length), file);
    rewind(file);
    return file;
}

void recordOpenedFile(FILE* file, const char* path) {
    for (const DataEntry* entry : g_entries) {
        if (strcmp(entry->name, path) == 0) {
            logLine("[DATA] Skipping duplicate entry for %s\n", path);
            return;
        }
    }
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    rewind(file);
    if (length < 0) FATAL("Negative file length: %i", int(length));
    // One spare byte so an empty file still gets a real buffer.
    unsigned char* buffer = static_cast<unsigned char*>(malloc(size_t(length) + 1));
    if (!buffer) FATAL("Failed to allocate memory for data buffer loading %s!", path);
    long got = long(fread(buffer, 1, size_t(length), file));
    if (got <= 0) FATAL("Tried to read %i bytes from %s, got %i", int(length), path, int(got));
    rewind(file);
    DataEntry* entry = static_cast<DataEntry*>(malloc(sizeof(DataEntry)));
    if (!entry) FATAL("Failed to allocate memory for data buffer loading %s!", path);
    entry->name = strdup(path);
    entry->length = int32_t(got);
    entry->data = buffer;
    g_entries.push_back(entry);
}
}  // namespace

DataMode dataMode() { return g_mode; }
void setDataMode(DataMode mode) { g_mode = mode; }

FILE* dataOpen(const char* path, const char* mode) {
    if (g_mode == Archive) return openFromArchive(path);
    FILE* file = fopen(path, mode);
    if (!file) return nullptr;
    if (g_mode == Record) recordOpenedFile(file, path);
    return file;
}

void dataAppendEntry(DataEntry* entry) { g_entries.push_back(entry); }
int dataEntryCount() { return int(g_entries.size()); }
DataEntry* dataEntry(int index) {
    return index >= 0 && size_t(index) < g_entries.size() ? g_entries[index] : nullptr;
}
void dataClearEntries() { g_entries.clear(); }
