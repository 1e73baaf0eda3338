// Fuzzes the archive reader: any file as data.mvt. A refused archive is an orderly fatal
// error (caught here); anything the reader accepts is then opened entry by entry as the
// loaders would.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "util/data/data.h"

// The reader's and dataOpen's anonymous temporary files, served from memory: an ordinary
// read/write stream all the same, but creating and dropping one per input and per entry
// costs no file system work. Replaces the C library's tmpfile in this program only.
extern "C" FILE* tmpfile(void) {
    int fd = memfd_create("festoonery-fuzz-tmpfile", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "w+b");
    if (!file) close(fd);
    return file;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    std::string path = fuzzsupport::writeTemp(data, size, ".mvt");
    dataClearEntries();
    setDataMode(Archive);
    try {
        readArchiveFile(path.c_str());
        for (int i = 0; i < dataEntryCount(); ++i) {
            FILE* file = dataOpen(dataEntry(i)->name, "rb");
            if (!file) continue;
            fseek(file, 0, SEEK_END);
            if (ftell(file) != dataEntry(i)->length) __builtin_trap();
            fclose(file);
        }
    } catch (const fuzzsupport::Refused&) {
    }
    dataClearEntries();
    setDataMode(Disk);
    return 0;
}
