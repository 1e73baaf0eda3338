#include "platform/watch/file_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileWatch::FileWatch() { fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC); }

FileWatch::~FileWatch() {
    if (fd_ >= 0) close(fd_);
}

bool FileWatch::add(const char* folder) {
    if (fd_ < 0) return false;
    // Editors save by writing in place or by writing a new file and renaming it over.
    const uint32_t events = IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
    return inotify_add_watch(fd_, folder, events) >= 0;
}

bool FileWatch::changed() {
    if (fd_ < 0) return false;
    bool any = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            any = true;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return any;  // EAGAIN: nothing more queued
    }
}

}  // namespace platform
