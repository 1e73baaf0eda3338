// Fuzzes the archive reader: any file as data.mvt. A refused archive is an orderly fatal
// error (caught here); anything the reader accepts is then opened entry by entry as the
// loaders would.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "util/data/data.h"

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
