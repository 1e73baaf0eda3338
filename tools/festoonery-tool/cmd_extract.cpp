// festoonery-tool extract: entries of an archive back into files.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "command.h"
#include "names.h"
#include "util/data/data.h"

namespace {

namespace fs = std::filesystem;

const char kUsageText[] =
    "Usage: festoonery-tool extract [-C DIR] ARCHIVE [NAME...]\n"
    "\n"
    "Writes the named entries of ARCHIVE (default: all) as files under DIR (default: the\n"
    "working folder), each at the path its name gives, creating folders as needed and\n"
    "replacing files that exist. NAME is an entry name exactly as 'list' shows it, e.g.\n"
    "data/common/fonts/courier_new.ttf.\n"
    "\n"
    "Nothing is written when any chosen entry is missing from the archive, or has a name\n"
    "that would leave DIR (absolute, with a '..' component, or through a symbolic link\n"
    "inside DIR).\n"
    "\n"
    "Options:\n"
    "  -C DIR      extract below DIR (created when missing)\n"
    "  -h, --help  show this text\n";

// Refuses a target whose folders or file below dir are symbolic links: writing through
// one could land anywhere.
bool noLinksOnTheWay(const fs::path& dir, const std::string& name, std::string* why) {
    fs::path at = dir;
    for (const fs::path& part : fs::path(name)) {
        if (part.empty() || part == ".") continue;
        at /= part;
        std::error_code ec;
        fs::file_status status = fs::symlink_status(at, ec);
        if (ec || !fs::exists(status)) return true;  // nothing below exists yet
        if (fs::is_symlink(status)) {
            *why = "it would be written through the symbolic link " + at.string();
            return false;
        }
    }
    return true;
}

bool writeEntry(const fs::path& target, const std::string& name) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        tool::fail("cannot create the folder %s: %s", target.parent_path().c_str(), ec.message().c_str());
        return false;
    }
    if (fs::is_directory(target, ec)) {
        tool::fail("cannot write %s: a folder of that name exists", target.c_str());
        return false;
    }
    FILE* in = dataOpen(name.c_str(), "rb");
    if (!in) {
        tool::fail("cannot read the entry %s back from the archive", tool::printableName(name).c_str());
        return false;
    }
    // A new file beside the target, renamed over it when complete: writing through an
    // existing file would also change every hard link to it, wherever that lies.
    std::string temporary = target.string() + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!out) {
        int error = errno;
        if (fd >= 0) {
            close(fd);
            unlink(temporary.c_str());
        }
        fclose(in);
        tool::fail("cannot write %s: %s", target.c_str(), strerror(error));
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    char buffer[65536];
    size_t got;
    bool ok = true;
    while (ok && (got = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, got, out) == got;
    int error = errno;
    fclose(in);
    if (fclose(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        tool::fail("cannot write %s: %s", target.c_str(), strerror(error));
    }
    return ok;
}

int runExtract(int argc, char** argv) {
    tool::Arguments args;
    if (int status = tool::parseArguments(argc, argv, {{"-C", "a folder"}}, &args)) return status;
    if (args.positionals.empty())
        return tool::usageError("which archive? Give its path (e.g. data.mvt)");
    std::string dir = args.values.count("-C") ? args.values["-C"] : ".";
    std::string archive = args.positionals[0];
    std::vector<std::string> names(args.positionals.begin() + 1, args.positionals.end());

    dataClearEntries();
    readArchiveFile(archive.c_str());
    setDataMode(Archive);
    struct ClearAtEnd {
        ~ClearAtEnd() { dataClearEntries(); }
    } clearAtEnd;

    std::map<std::string, int> stored;  // name -> how often the archive holds it
    for (int i = 0; i < dataEntryCount(); ++i) ++stored[dataEntry(i)->name];
    // Every chosen name once, in archive order or in the order given.
    std::vector<std::string> chosen;
    std::map<std::string, bool> taken;
    if (names.empty()) {
        for (int i = 0; i < dataEntryCount(); ++i) names.push_back(dataEntry(i)->name);
    } else {
        for (const std::string& n : names) {
            if (!stored.count(n)) {
                return tool::fail("%s has no entry named %s (nothing written)", archive.c_str(),
                                  tool::printableName(n).c_str());
            }
        }
    }
    for (const std::string& n : names) {
        if (!taken[n]) chosen.push_back(n);
        taken[n] = true;
    }
    for (const std::string& n : chosen) {
        std::string why;
        if (stored[n] > 1) {
            return tool::fail("%s holds the entry %s %d times; refusing to choose (nothing written)",
                              archive.c_str(), tool::printableName(n).c_str(), stored[n]);
        }
        if (!tool::staysInside(n, &why) || !noLinksOnTheWay(dir, n, &why)) {
            return tool::fail("refusing the entry %s: %s (nothing written)", tool::printableName(n).c_str(),
                              why.c_str());
        }
    }

    long long bytes = 0;
    for (const std::string& n : chosen) {
        if (!writeEntry(fs::path(dir) / n, n)) return tool::kFailed;
        for (int i = 0; i < dataEntryCount(); ++i)
            if (n == dataEntry(i)->name) bytes += dataEntry(i)->length;
        fprintf(tool::out(), "%s\n", tool::printableName(n).c_str());
    }
    fprintf(tool::out(), "Extracted %zu files (%lld bytes) into %s.\n", chosen.size(), bytes, dir.c_str());
    return tool::kOk;
}

const tool::Registrar registrar({"extract", "write entries of an archive back into files", kUsageText,
                                 runExtract});

}  // namespace
