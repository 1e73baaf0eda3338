#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace platform {

FILE* openRegularFile(const char* path, const char* mode, const char** why) {
    const char* reason = nullptr;
    int error = 0;
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0) {
        error = errno;
    } else if (S_ISDIR(status.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(status.st_mode)) {
        error = EINVAL;
        reason = "Not a regular file (a pipe, device or socket)";
    } else {
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (!error) {
        FILE* file = fdopen(fd, mode);
        if (file) return file;
        error = errno;
    }
    if (fd >= 0) close(fd);
    if (why) *why = reason ? reason : strerror(error);
    errno = error;
    return nullptr;
}

void ignoreFileSizeSignal() { signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
