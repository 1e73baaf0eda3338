#include "util/data/data.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "log.h"
#include "platform/files.h"
#include "platform/system.h"
#include "util/data/datafile_path.h"
#include "util/data/huffman.h"
#include "util/util/atomic_file.h"

namespace {
DataMode g_mode = Disk;
std::vector<DataEntry*> g_entries;

// The 19 header bytes: the text and its terminating zero.
const char kHeaderText[] = "Morvaset Data File";
constexpr size_t kHeaderSize = sizeof kHeaderText;
constexpr int kMajorVersion = 0;
constexpr int kMinorVersion = 2;
// The 7 chunk magic bytes: the text and its terminating zero.
const char kChunkMagic[] = "MVTDFC";
constexpr size_t kChunkMagicSize = sizeof kChunkMagic;
constexpr double kBytesToMB = 1.0 / 1048576.0;

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
    // A short copy would hand the loader a cut file as if it were whole.
    if (entry->length > 0 && fwrite(entry->data, 1, size_t(entry->length), file) != size_t(entry->length)) {
        logLine("[DATA] Failed to write %s into its tmpfile()\n", path);
        fclose(file);
        return nullptr;
    }
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
    // Entry lengths are signed 32-bit: a larger file would be stored cut short.
    if (length > long(INT32_MAX)) {
        FATAL("File %s is %ld bytes; an archive entry holds at most %d bytes.", path, length, INT32_MAX);
    }
    // One spare byte so an empty file still gets a real buffer.
    unsigned char* buffer = static_cast<unsigned char*>(malloc(size_t(length) + 1));
    if (!buffer) FATAL("Failed to allocate memory for data buffer loading %s!", path);
    long got = long(fread(buffer, 1, size_t(length), file));
    if (got <= 0) FATAL("Tried to read %i bytes from %s, got %i", int(length), path, int(got));
    rewind(file);
    DataEntry* entry = static_cast<DataEntry*>(malloc(sizeof(DataEntry)));
    char* name = strdup(path);
    if (!entry || !name) FATAL("Failed to allocate memory for data buffer loading %s!", path);
    entry->name = name;
    entry->length = int32_t(got);
    entry->data = buffer;
    g_entries.push_back(entry);
}

bool read32(FILE* file, uint32_t* value) {
    uint8_t bytes[4];
    if (fread(bytes, 1, 4, file) != 4) return false;
    *value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
             uint32_t(bytes[3]) << 24;
    return true;
}

bool write32(FILE* file, uint32_t value) {
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                        uint8_t(value >> 24)};
    return fwrite(bytes, 1, 4, file) == 4;
}

// Everything the reader holds while it runs. Released before every fatal error, so a
// refused archive leaves nothing open behind (the fuzz harness reads many in a process).
struct ReadState {
    FILE* archive = nullptr;
    FILE* temp = nullptr;
    uint8_t* body = nullptr;
    uint8_t* decoded = nullptr;
    char* name = nullptr;
    unsigned char* data = nullptr;

    void release() {
        if (archive) fclose(archive);
        if (temp) fclose(temp);
        free(body);
        free(decoded);
        free(name);
        free(data);
        *this = ReadState{};
    }
};

#define READ_FAIL(...)         \
    do {                       \
        state.release();       \
        FATAL(__VA_ARGS__);    \
    } while (0)

// Everything the writer holds; on a fatal error the temporary archive is removed.
struct WriteState {
    FILE* temp = nullptr;
    uint8_t* stream = nullptr;
    uint8_t* block = nullptr;
    AtomicFile out;  // the new archive, beside the old one until complete

    void release() {
        if (temp) fclose(temp);
        atomicFileDiscard(&out);
        free(stream);
        free(block);
        *this = WriteState{};
    }
};

#define WRITE_FAIL(...)        \
    do {                       \
        state.release();       \
        FATAL(__VA_ARGS__);    \
    } while (0)

// The same for a failed system call: the message is followed by the system's reason (a
// missing folder, a full disk, the file-size limit), taken before the clean-up.
#define FAIL_WITH_REASON(format, ...)                  \
    do {                                               \
        const char* reason_ = strerror(errno);         \
        state.release();                               \
        FATAL(format "\n%s", ##__VA_ARGS__, reason_);  \
    } while (0)

// Refuses a body longer than its block can be: the table must hold 1 to 256 symbols, and
// no code is longer than n - 1 bits (1 bit for a single symbol), so the bit stream
// holds at most uncompressed size x that many bits (plus the byte the next bit would
// take). `head` holds the first headSize bytes (at least the block header) of a body of
// bodySize bytes.
void checkBodyBound(ReadState& state, const uint8_t* head, size_t headSize, size_t bodySize,
                    const char* path) {
    char why[200];
    HuffmanHeader header = huffmanReadHeader(head);
    if (header.symbols < 1 || header.symbols > 256) {
        huffmanCheckBlock(head, headSize, why, sizeof why);
        READ_FAIL("Damaged datafile %s: %s.", path, why);
    }
    uint64_t tableEnd = kHuffmanHeaderSize + kHuffmanRecordSize * uint64_t(header.symbols);
    uint64_t longestCode = header.symbols > 1 ? header.symbols - 1 : 1;
    uint64_t largest = tableEnd + uint64_t(header.uncompressedSize) * longestCode / 8 + 1;
    if (uint64_t(bodySize) > largest) {
        READ_FAIL("Damaged datafile %s: its block of %llu bytes is longer than %u bytes of %u "
                  "symbols can need (%llu bytes at most).",
                  path, (unsigned long long)bodySize, header.uncompressedSize, header.symbols,
                  (unsigned long long)largest);
    }
}
}  // namespace

DataMode dataMode() { return g_mode; }
void setDataMode(DataMode mode) { g_mode = mode; }

void selectStartupDataMode() {
    const char* choice = getenv("FESTOONERY_DATA");
    if (!choice || !*choice || strcmp(choice, "archive") == 0) {
        g_mode = Archive;
    } else if (strcmp(choice, "disk") == 0) {
        g_mode = Disk;
    } else if (strcmp(choice, "record") == 0) {
        g_mode = Record;
    } else {
        logLine("[DATA] Unknown FESTOONERY_DATA value '%s' (archive, disk or record), reading "
                "the archive\n",
                choice);
        g_mode = Archive;
    }
}

FILE* dataOpen(const char* path, const char* mode) {
    if (g_mode == Archive) return openFromArchive(path);
    // Assets are read from regular files only: a pipe would block the loader and a
    // device such as /dev/zero would never end.
    bool reading = mode[0] == 'r' && !strchr(mode, '+');
    FILE* file = reading ? platform::openRegularFile(path, mode) : fopen(path, mode);
    if (!file) return nullptr;
    if (g_mode == Record) recordOpenedFile(file, path);
    return file;
}

void dataAppendEntry(DataEntry* entry) { g_entries.push_back(entry); }
int dataEntryCount() { return int(g_entries.size()); }
DataEntry* dataEntry(int index) {
    return index >= 0 && size_t(index) < g_entries.size() ? g_entries[index] : nullptr;
}
void dataClearEntries() {
    for (DataEntry* entry : g_entries) {
        free(entry->name);
        free(entry->data);
        free(entry);
    }
    g_entries.clear();
}

void readDatafile() {
    if (g_mode != Archive) return;
    std::vector<std::string> places = datafileCandidates(platform::executableFolder());
    std::string found = findDatafile(places);
    if (found.empty()) {
        // The reader's own error names the working folder's data.mvt; this line says
        // where else it was looked for.
        logLine("[DATA] No archive at %s\n", describePlaces(places).c_str());
        found = kDatafileName;
    }
    readArchiveFile(found.c_str());
}

void writeDatafile() {
    if (g_mode != Record) return;
    writeArchiveFile(kDatafileName);
}

void readArchiveFile(const char* path) {
    ReadState state;
    logLine("Reading datafile %s...\n", path);
    const char* reason = nullptr;
    // Only a regular file: a pipe would block here and a device never end.
    state.archive = platform::openRegularFile(path, "rb", &reason);
    if (!state.archive) READ_FAIL("Failed to open data file %s for reading.\n%s\n", path, reason);
    fseek(state.archive, 0, SEEK_END);
    long length = ftell(state.archive);
    rewind(state.archive);
    if (length <= 0) READ_FAIL("Negative or zero file length: %i", int(length));

    char header[kHeaderSize + 1] = {};
    if (fread(header, 1, kHeaderSize, state.archive) != kHeaderSize) READ_FAIL("Failed to read header!");
    if (memcmp(header, kHeaderText, kHeaderSize) != 0) READ_FAIL("Unrecognized datafile header: %s", header);
    int major = fgetc(state.archive);
    if (major == EOF) READ_FAIL("Failed to read major version!");
    int minor = fgetc(state.archive);
    if (minor == EOF) READ_FAIL("Failed to read minor version!");
    if (major != kMajorVersion || minor != kMinorVersion) {
        READ_FAIL("Expected datafile format %i.%i, got %i.%i\n", kMajorVersion, kMinorVersion, major,
                  minor);
    }

    size_t bodySize = size_t(length) - kHeaderSize - 2;
    // The block header and its symbol table come first and bound the whole body: a
    // damaged or padded file is refused before its bulk is read into memory.
    uint8_t head[kHuffmanHeaderSize + kHuffmanRecordSize * 256];
    size_t headSize = bodySize < sizeof head ? bodySize : sizeof head;
    if (headSize == 0 || fread(head, 1, headSize, state.archive) != headSize) {
        READ_FAIL("Failed to read %i bytes from %s.", int(bodySize), path);
    }
    if (headSize >= kHuffmanHeaderSize) checkBodyBound(state, head, headSize, bodySize, path);
    state.body = static_cast<uint8_t*>(malloc(bodySize + 1));
    if (!state.body) READ_FAIL("Failed to allocate memory for data buffer loading %s!", path);
    memcpy(state.body, head, headSize);
    size_t rest = bodySize - headSize;
    if (rest > 0 && fread(state.body + headSize, 1, rest, state.archive) != rest) {
        READ_FAIL("Failed to read %i bytes from %s.", int(bodySize), path);
    }
    fclose(state.archive);
    state.archive = nullptr;

    if (bodySize >= kHuffmanHeaderSize) {
        logLine("Uncompressed_buffer_size is %i from %i\n",
                int(huffmanReadHeader(state.body).uncompressedSize), int(bodySize));
    }
    // A damaged block must never steer an allocation or a read: its sizes are checked
    // against the bytes the file really holds first.
    char why[200];
    if (!huffmanCheckBlock(state.body, bodySize, why, sizeof why)) {
        READ_FAIL("Damaged datafile %s: %s.", path, why);
    }
    uint32_t decodedSize = huffmanReadHeader(state.body).uncompressedSize;
    state.decoded = static_cast<uint8_t*>(malloc(size_t(decodedSize) + 1));
    if (!state.decoded) {
        READ_FAIL("Failed to allocate %u bytes for the contents of datafile %s!", decodedSize, path);
    }
    size_t produced = huffmanDecode(state.body, bodySize, state.decoded, decodedSize);
    if (produced != decodedSize) {
        READ_FAIL("Damaged datafile %s: its bit stream ends after %u of %u bytes.", path,
                  unsigned(produced), decodedSize);
    }

    state.temp = tmpfile();
    if (!state.temp) READ_FAIL("Failed to create tmpfile()");
    if (decodedSize > 0 && fwrite(state.decoded, 1, decodedSize, state.temp) != decodedSize) {
        FAIL_WITH_REASON("Failed to write file contents!");
    }
    rewind(state.temp);

    int chunks = 0;
    uint32_t total = 0;
    char magic[kChunkMagicSize + 1] = {};
    while (fread(magic, 1, kChunkMagicSize, state.temp) == kChunkMagicSize) {
        if (memcmp(magic, kChunkMagic, kChunkMagicSize) != 0) {
            READ_FAIL("Unrecognized chunk header: %s. \nRead %i chunks, %.1f MB before this\n", magic,
                      chunks, float(total) * kBytesToMB);
        }
        uint32_t nameLength, chunkSize;
        if (!read32(state.temp, &nameLength)) READ_FAIL("Unexpected end of datafile!");
        if (!read32(state.temp, &chunkSize)) READ_FAIL("Unexpected end of datafile!");
        uint32_t left = decodedSize - uint32_t(ftell(state.temp));
        if (nameLength == 0) READ_FAIL("Unexpected end of datafile!");
        if (nameLength > left || chunkSize > left - nameLength || chunkSize > uint32_t(INT32_MAX)) {
            // A name or data cut off by the end: the reader's end-of-data message, then
            // what the header claimed.
            READ_FAIL("Unexpected end of datafile!\nDamaged chunk header in datafile %s: chunk %i "
                      "claims a %u-byte name and %u data bytes, but only %u bytes are left.",
                      path, chunks + 1, nameLength, chunkSize, left);
        }
        state.name = static_cast<char*>(malloc(size_t(nameLength) + 1));
        if (!state.name) READ_FAIL("Failed to allocate memory for filename string!");
        if (fread(state.name, 1, nameLength, state.temp) != nameLength) READ_FAIL("Unexpected end of datafile!");
        state.name[nameLength] = '\0';
        if (chunkSize == 0) READ_FAIL("Unexpected end of datafile!");
        state.data = static_cast<unsigned char*>(malloc(chunkSize));
        if (!state.data) READ_FAIL("Failed to allocate memory for data chunk!");
        if (fread(state.data, 1, chunkSize, state.temp) != chunkSize) READ_FAIL("Unexpected end of datafile!");
        DataEntry* entry = static_cast<DataEntry*>(malloc(sizeof(DataEntry)));
        if (!entry) READ_FAIL("Failed to allocate memory for data chunk!");
        entry->name = state.name;
        entry->length = int32_t(chunkSize);
        entry->data = state.data;
        state.name = nullptr;
        state.data = nullptr;
        dataAppendEntry(entry);
        ++chunks;
        total += chunkSize;
    }
    state.release();
    logLine("Done reading datafile %s: %i chunks, %.1f MB\n", path, chunks, float(total) * kBytesToMB);
}

void writeArchiveFile(const char* path) {
    WriteState state;
    logLine("Writing datafile %s:\n", path);
    state.temp = tmpfile();
    if (!state.temp) WRITE_FAIL("Failed to create tmpfile()");
    for (size_t i = 0; i < g_entries.size(); ++i) {
        const DataEntry* entry = g_entries[i];
        logLine("..file: %s, %i bytes\n", entry->name, entry->length);
        // The reader refuses empty names and empty data, so such a chunk is never written.
        if (!entry->name[0] || entry->length <= 0) {
            WRITE_FAIL("Cannot store entry %i (\"%s\", %i bytes): an archive entry needs a name "
                       "and at least one byte of data.",
                       int(i), entry->name, entry->length);
        }
        uint32_t nameLength = uint32_t(strlen(entry->name));
        if (fwrite(kChunkMagic, 1, kChunkMagicSize, state.temp) != kChunkMagicSize) {
            FAIL_WITH_REASON("Failed to write chunk header!");
        }
        if (!write32(state.temp, nameLength)) FAIL_WITH_REASON("Failed to write fname_length!");
        if (!write32(state.temp, uint32_t(entry->length))) FAIL_WITH_REASON("Failed to write chunk size!");
        if (fwrite(entry->name, 1, nameLength, state.temp) != nameLength) FAIL_WITH_REASON("Failed to write filename!");
        if (fwrite(entry->data, 1, size_t(entry->length), state.temp) != size_t(entry->length)) {
            FAIL_WITH_REASON("Failed to write chunk!");
        }
    }

    fseek(state.temp, 0, SEEK_END);
    long length = ftell(state.temp);
    rewind(state.temp);
    if (length <= 0) WRITE_FAIL("Negative or zero file length: %i", int(length));
    // Sizes in the format and the log are signed 32-bit.
    if (length > long(INT32_MAX)) {
        WRITE_FAIL("Datafile contents of %ld bytes are too large, 2 GB at most.", length);
    }
    state.stream = static_cast<uint8_t*>(malloc(size_t(length)));
    if (!state.stream || fread(state.stream, 1, size_t(length), state.temp) != size_t(length)) {
        WRITE_FAIL("Failed to read %i bytes from %s.", int(length), path);
    }
    fclose(state.temp);
    state.temp = nullptr;

    size_t blockCapacity = huffmanEncodedSize(state.stream, size_t(length));
    state.block = static_cast<uint8_t*>(malloc(blockCapacity));
    if (!state.block) WRITE_FAIL("Failed to allocate memory for data buffer loading %s!", path);
    size_t blockSize = huffmanEncode(state.stream, size_t(length), state.block);

    // Written beside the archive (a link's target) and renamed over it once complete.
    if (!atomicFileOpen(&state.out, path)) {
        const char* reason = strerror(errno);
        WRITE_FAIL("Failed to open data file %s for writing. Gimme permissions, bitch!\n%s\n", path, reason);
    }
    FILE* out = state.out.file;
    if (fwrite(kHeaderText, 1, kHeaderSize, out) != kHeaderSize) FAIL_WITH_REASON("Failed to write header!");
    if (fputc(kMajorVersion, out) == EOF) FAIL_WITH_REASON("Failed to write major version!");
    if (fputc(kMinorVersion, out) == EOF) FAIL_WITH_REASON("Failed to write minor version!");
    if (fwrite(state.block, 1, blockSize, out) != blockSize || !atomicFileFinish(&state.out)) {
        FAIL_WITH_REASON("Failed to write file contents!");
    }
    if (!atomicFileReplace(&state.out)) {
        int error = errno;
        WRITE_FAIL("Failed to replace %s with the new datafile: %s", path, strerror(error));
    }
    state.release();

    int original = int(length);
    int compressed = int(blockSize);
    logLine("Done writing datafile \"%s\" of %.1fMB!\n", path, double(length) * kBytesToMB);
    logLine(" ..original file size:  %9i bytes\n", original);
    logLine(" ..compressed file size:%9i bytes\n", compressed);
    logLine(" ..lost in compression: %9i bytes\n", original - compressed);
    logLine(" ..compression rate:      %7.2f %%\n",
            100.0 * double(original - compressed) / double(original));
}
