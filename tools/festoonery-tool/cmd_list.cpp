// festoonery-tool list: the entries of an archive and how well it is compressed.
#include <cstdint>
#include <cstdio>
#include <string>

#include "command.h"
#include "names.h"
#include "util/data/data.h"
#include "util/data/huffman.h"

namespace {

const char kUsageText[] =
    "Usage: festoonery-tool list [ARCHIVE]\n"
    "\n"
    "Reads the archive ARCHIVE (default: data.mvt) as the demo does and prints one line\n"
    "per entry, its size in bytes and its name, in archive order, then the compression\n"
    "figures. A damaged archive gives one line naming the damage and exit status 1.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

constexpr long kFileHeaderSize = 21;  // header text, major and minor version

int runList(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {}, &args)) return status;
    if (args.positionals.size() > 1)
        return tool::usageError("one archive at a time; '%s' is one too many",
                                args.positionals[1].c_str());
    std::string archive = args.positionals.empty() ? kDatafileName : args.positionals[0];

    dataClearEntries();
    readArchiveFile(archive.c_str());  // a damaged archive ends the tool here
    struct ClearAtEnd {
        ~ClearAtEnd() { dataClearEntries(); }
    } clearAtEnd;

    long long data = 0;
    for (int i = 0; i < dataEntryCount(); ++i) {
        const DataEntry* entry = dataEntry(i);
        fprintf(tool::out(), "%12d  %s\n", entry->length, tool::printableName(entry->name).c_str());
        data += entry->length;
    }
    // The reader accepted the file, so it has its header and a whole block header.
    FILE* file = fopen(archive.c_str(), "rb");
    uint8_t block[kHuffmanHeaderSize] = {};
    long fileSize = 0;
    if (file) {
        fseek(file, 0, SEEK_END);
        fileSize = ftell(file);
        fseek(file, kFileHeaderSize, SEEK_SET);
        if (fread(block, 1, sizeof block, file) != sizeof block) fileSize = 0;
        fclose(file);
    }
    if (fileSize <= 0) return tool::fail("cannot read %s again for its figures", archive.c_str());
    HuffmanHeader header = huffmanReadHeader(block);
    long long stream = header.uncompressedSize;
    long long body = fileSize - kFileHeaderSize;
    fprintf(tool::out(), "%d entries, %lld bytes of file data\n", dataEntryCount(), data);
    fprintf(tool::out(), "chunk stream %lld bytes, compressed to %lld bytes (%.2f %% saved, %u symbols); "
                         "archive file %ld bytes\n",
            stream, body, stream ? 100.0 * double(stream - body) / double(stream) : 0.0, header.symbols,
            fileSize);
    return tool::kOk;
}

const tool::Registrar registrar({"list", "list the entries of an archive and its compression", kUsageText,
                                 runList});

}  // namespace
