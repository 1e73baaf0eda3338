#include "platform/watch/settled_changes.h"

#include <sys/stat.h>

#include <utility>

namespace platform {

FileStamp stampOf(const std::string& path) {
    FileStamp stamp;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return stamp;
    stamp.exists = true;
    stamp.size = int64_t(info.st_size);
    stamp.modifiedNs = int64_t(info.st_mtim.tv_sec) * 1000000000 + int64_t(info.st_mtim.tv_nsec);
    return stamp;
}

SettledChanges::SettledChanges(int64_t quietMs, Stamp stamp) : quietMs_(quietMs), stamp_(std::move(stamp)) {}

void SettledChanges::note(const std::vector<std::string>& paths, int64_t nowMs) {
    for (const std::string& path : paths) {
        Held& held = held_[path];
        held.lastEventMs = nowMs;
        held.looked = false;
    }
}

std::vector<std::string> SettledChanges::take(int64_t nowMs) {
    std::vector<std::string> done;
    for (auto it = held_.begin(); it != held_.end();) {
        Held& held = it->second;
        if (nowMs - held.lastEventMs < quietMs_) {
            ++it;
            continue;
        }
        FileStamp now = stamp_(it->first);
        if (!now.exists) {
            it = held_.erase(it);
            continue;
        }
        // Stable at two looks a quiet time apart, and not empty.
        if (held.looked && now == held.seen && now.size > 0) {
            done.push_back(it->first);
            it = held_.erase(it);
            continue;
        }
        held.seen = now;
        held.looked = true;
        held.lastEventMs = nowMs;  // look again after another quiet time
        ++it;
    }
    return done;
}

}  // namespace platform
