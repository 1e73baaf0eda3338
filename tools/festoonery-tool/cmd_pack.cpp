// festoonery-tool pack: the asset tree into an archive, through the engine's own
// recording data layer and archive writer.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "command.h"
#include "names.h"
#include "util/data/data.h"

namespace {

namespace fs = std::filesystem;

const char kUsageText[] =
    "Usage: festoonery-tool pack [-o ARCHIVE] [--from LIST] [PATH...]\n"
    "\n"
    "Packs every file under each PATH (default: data/common) into the archive ARCHIVE\n"
    "(default: data.mvt), which the demo reads at start-up.\n"
    "\n"
    "Run it in the folder that holds data/. Each entry is named by its path relative to\n"
    "that folder with '/' separators, e.g. data/common/fonts/courier_new.ttf, exactly as\n"
    "the demo asks for the file. A PATH may be a folder (packed with all its subfolders)\n"
    "or one file; it must stay inside the working folder. Entries are stored in name\n"
    "order. Empty files are skipped with a note, since an archive cannot hold them.\n"
    "\n"
    "Options:\n"
    "  -o ARCHIVE  the archive to write (default: data.mvt). It is written beside its\n"
    "              final place and renamed into place when complete, so a failed pack\n"
    "              leaves an existing archive as it was.\n"
    "  --from LIST more PATHs, one a line, from the file LIST (a production's build\n"
    "              lists there the common files its program uses)\n"
    "  -h, --help  show this text\n";

// The archive's sizes are signed 32-bit: one entry's data and the whole chunk stream
// (15 header bytes, the name and the data per entry) hold at most this many bytes.
constexpr uintmax_t kLargestStream = 2147483647;
constexpr uintmax_t kChunkHeaderBytes = 15;

struct Packing {
    std::set<std::string> names;
    std::string output;  // entry-name form of the archive path, never packed into itself
    int skipped = 0;
    uintmax_t streamBytes = 0;  // the chunk stream the chosen files make
    std::string tooLarge;       // the first problem with the sizes, if any
};

void addFile(Packing& packing, const std::string& name, uintmax_t size) {
    if (name == packing.output) return;
    // Checked before any byte is read: what the format cannot hold is refused whole.
    if (packing.tooLarge.empty() && size > kLargestStream) {
        packing.tooLarge = tool::printableName(name) + " is " + std::to_string(size) +
                           " bytes; an archive entry holds at most " + std::to_string(kLargestStream) +
                           " bytes";
    }
    if (size == 0) {
        fprintf(tool::err(), "festoonery-tool pack: skipping empty file %s (an archive cannot hold "
                             "empty files)\n",
                tool::printableName(name).c_str());
        ++packing.skipped;
        return;
    }
    if (packing.names.insert(name).second) packing.streamBytes += kChunkHeaderBytes + name.size() + size;
}

// Adds the files under one PATH; false after reporting a problem.
bool collect(Packing& packing, const std::string& argument) {
    std::string root, why;
    if (!tool::packPathName(argument, &root, &why)) {
        tool::fail("cannot pack '%s': %s", argument.c_str(), why.c_str());
        return false;
    }
    const fs::path rootPath(root.empty() ? "." : root);
    std::error_code ec;
    fs::file_status status = fs::status(rootPath, ec);
    if (ec || !fs::exists(status)) {
        tool::fail("no such file or folder: %s", argument.c_str());
        return false;
    }
    if (fs::is_regular_file(status)) {
        addFile(packing, root, fs::file_size(rootPath, ec));
        return true;
    }
    if (!fs::is_directory(status)) {
        tool::fail("'%s' is neither a file nor a folder", argument.c_str());
        return false;
    }
    fs::recursive_directory_iterator it(rootPath, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError)) continue;  // folders, sockets, dangling links
        std::string name = it->path().lexically_normal().generic_string();
        addFile(packing, name, it->file_size(entryError));
    }
    if (ec) {
        tool::fail("cannot read folder '%s': %s", argument.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

int runPack(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {{"-o", "the archive's path"}, {"--from", "a list of paths"}},
                                          &args))
        return status;
    std::string output = args.values.count("-o") ? args.values["-o"] : kDatafileName;
    std::vector<std::string> paths = args.positionals;
    if (args.values.count("--from")) {
        const std::string& list = args.values["--from"];
        std::ifstream in(list);
        if (!in) return tool::fail("cannot read the list %s: %s", list.c_str(), strerror(errno));
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) paths.push_back(line);
        if (paths.empty()) return tool::fail("the list %s names no path", list.c_str());
    }
    if (paths.empty()) paths.push_back("data/common");

    Packing packing;
    std::string outputName, why;
    if (tool::packPathName(output, &outputName, &why)) packing.output = outputName;
    std::error_code ec;
    if (fs::is_directory(output, ec)) return tool::fail("the archive path '%s' is a folder", output.c_str());
    for (const std::string& path : paths) {
        if (!collect(packing, path)) return tool::kFailed;
    }
    if (packing.names.empty()) {
        std::string list;
        for (const std::string& p : paths) list += (list.empty() ? "" : ", ") + p;
        return tool::fail("nothing to pack: no non-empty files under %s", list.c_str());
    }

    if (!packing.tooLarge.empty()) return tool::fail("cannot pack: %s", packing.tooLarge.c_str());
    if (packing.streamBytes > kLargestStream) {
        return tool::fail("cannot pack: the %zu files make %ju bytes of archive contents; an archive "
                          "holds at most %ju bytes",
                          packing.names.size(), packing.streamBytes, kLargestStream);
    }

    dataClearEntries();
    setDataMode(Record);
    long long bytes = 0;
    for (const std::string& name : packing.names) {
        FILE* file = dataOpen(name.c_str(), "rb");
        if (!file) {
            int error = errno;
            dataClearEntries();
            return tool::fail("cannot open %s: %s", tool::printableName(name).c_str(), strerror(error));
        }
        fclose(file);
    }
    for (int i = 0; i < dataEntryCount(); ++i) bytes += dataEntry(i)->length;
    writeArchiveFile(output.c_str());
    int packed = dataEntryCount();
    dataClearEntries();  // the entries are done with once written

    long long archiveSize = (long long)fs::file_size(output, ec);
    double change = bytes ? 100.0 * double(bytes - archiveSize) / double(bytes) : 0.0;
    fprintf(tool::out(), "Packed %d files (%lld bytes) into %s: %lld bytes, %.2f %% %s", packed, bytes,
            output.c_str(), archiveSize, change < 0 ? -change : change, change < 0 ? "larger" : "smaller");
    if (packing.skipped) fprintf(tool::out(), "; %d empty files skipped", packing.skipped);
    fprintf(tool::out(), ".\n");
    return tool::kOk;
}

const tool::Registrar registrar({"pack", "pack the asset tree into an archive (data.mvt)", kUsageText, runPack});

}  // namespace
