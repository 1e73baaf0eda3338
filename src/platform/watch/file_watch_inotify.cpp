#include "platform/watch/file_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

FileWatch::FileWatch() { fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC); }

FileWatch::~FileWatch() {
    if (fd_ >= 0) close(fd_);
}

bool FileWatch::add(const char* folder) {
    if (fd_ < 0) return false;
    // Editors save by writing in place (possibly truncating first) or by writing a new
    // file and renaming it over; the writes themselves are seen too, so that a file is
    // not taken while it is still being written.
    const uint32_t events =
        IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
    int wd = inotify_add_watch(fd_, folder, events);
    if (wd < 0) return false;
    folders_.emplace_back(wd, folder);
    return true;
}

std::vector<std::string> FileWatch::changes() {
    std::vector<std::string> changed;
    if (fd_ < 0) return changed;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return changed;  // EAGAIN: nothing more queued
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event)) + ssize_t(event->len);
            if (event->len == 0) continue;
            for (const auto& folder : folders_) {
                if (folder.first != event->wd) continue;
                changed.push_back(folder.second + "/" + std::string(event->name, strnlen(event->name, event->len)));
                break;
            }
        }
    }
}

}  // namespace platform
