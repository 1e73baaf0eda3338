// Changed files taken only once they are complete. Editors save in steps (truncate and
// then write, or write a temporary file and rename it over), so a change is held until
// no event has come for the file for a quiet time and its size and modification time
// are the same at two looks; an empty file is taken as not yet written, and a file that
// is gone (a temporary renamed away) is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

struct FileStamp {
    bool exists = false;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && size == o.size && modifiedNs == o.modifiedNs;
    }
};
// The file's stamp from stat().
FileStamp stampOf(const std::string& path);

class SettledChanges {
public:
    using Stamp = std::function<FileStamp(const std::string& path)>;
    // quietMs: how long a file must have had no event.
    explicit SettledChanges(int64_t quietMs = 150, Stamp stamp = stampOf);

    // Events for these files at nowMs.
    void note(const std::vector<std::string>& paths, int64_t nowMs);
    // The files complete at nowMs, each once, in path order; those still being written
    // stay held.
    std::vector<std::string> take(int64_t nowMs);
    bool pending() const { return !held_.empty(); }

private:
    struct Held {
        int64_t lastEventMs;
        FileStamp seen;  // at the last look (exists false before the first)
        bool looked;
    };
    int64_t quietMs_;
    Stamp stamp_;
    std::map<std::string, Held> held_;
};

}  // namespace platform
