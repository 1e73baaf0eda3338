// Notices changes to the files of a few folders while the program runs (development
// mode reloads shaders, the sync description, images and fonts by itself). Linux:
// inotify.
#pragma once

#include <string>
#include <vector>

namespace platform {

class FileWatch {
public:
    FileWatch();
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Watches the files directly in folder: written (also while still being written),
    // closed after writing, created, moved in or out, deleted. False (and nothing
    // watched) when it cannot be watched.
    bool add(const char* folder);
    // The files that changed since the last call, as "folder/name", in the order of
    // their events (a file may come more than once). Never blocks.
    std::vector<std::string> changes();

private:
    int fd_ = -1;
    std::vector<std::pair<int, std::string>> folders_;  // watch descriptor, folder
};

}  // namespace platform
