// Notices changes to the files of a few folders while the program runs (development
// mode reloads shaders and the sync description by itself). Linux: inotify.
#pragma once

namespace platform {

class FileWatch {
public:
    FileWatch();
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Watches the files directly in folder: written and closed, created, moved in or
    // out, deleted. False (and nothing watched) when it cannot be watched.
    bool add(const char* folder);
    // Whether any watched file changed since the last call. Never blocks.
    bool changed();

private:
    int fd_ = -1;
};

}  // namespace platform
