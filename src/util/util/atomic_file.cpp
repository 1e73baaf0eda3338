#include "util/util/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// Symbolic links resolved up to this depth, as the kernel's own limit.
constexpr int kMaxLinks = 40;
// A temporary file this old is stale whatever process made it (seconds).
constexpr time_t kStaleAge = 24 * 60 * 60;

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that writing to path would reach: links followed, relative link texts taken
// from the link's folder. The result need not exist.
bool resolveTarget(const char* path, std::string* target) {
    std::string current = path;
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *target = current;
            return true;
        }
        std::string text(size_t(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        ssize_t length = readlink(current.c_str(), &text[0], text.size());
        if (length < 0) return false;
        if (size_t(length) >= text.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        text.resize(size_t(length));
        current = text[0] == '/' ? text : folderOf(current) + "/" + text;
    }
    errno = ELOOP;
    return false;
}

// "NAME.tmp-PID" or "NAME.tmp-PID-N": the PID, or -1 for any other name.
long temporaryOwner(const char* entry, const std::string& name) {
    const std::string prefix = name + ".tmp-";
    if (strncmp(entry, prefix.c_str(), prefix.size()) != 0) return -1;
    const char* digits = entry + prefix.size();
    char* end = nullptr;
    errno = 0;
    long pid = strtol(digits, &end, 10);
    if (end == digits || !isdigit(static_cast<unsigned char>(*digits)) || errno != 0 || pid <= 0 ||
        pid > long(INT_MAX)) {
        return -1;
    }
    if (*end == '-') {
        const char* counter = end + 1;
        strtol(counter, &end, 10);
        if (end == counter || !isdigit(static_cast<unsigned char>(*counter))) return -1;
    }
    return *end == '\0' ? pid : -1;
}

// Removes temporary files of earlier writes to the same file that were interrupted:
// those of this process's PID (a former process's, since this one writes one at a time),
// of a process that no longer exists, or older than kStaleAge.
void removeStaleTemporaries(const std::string& target) {
    const std::string folder = folderOf(target);
    const std::string name = nameOf(target);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    time_t now = time(nullptr);
    while (dirent* entry = readdir(dir)) {
        long pid = temporaryOwner(entry->d_name, name);
        if (pid < 0) continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        bool gone = pid == long(getpid()) || (kill(pid_t(pid), 0) != 0 && errno == ESRCH);
        if (gone || now - info.st_mtime > kStaleAge) unlink(path.c_str());
    }
    closedir(dir);
}

void release(AtomicFile* out) {
    free(out->target);
    free(out->temporary);
    *out = AtomicFile{};
}

}  // namespace

bool atomicFileOpen(AtomicFile* out, const char* path) {
    *out = AtomicFile{};
    std::string target;
    if (!resolveTarget(path, &target)) return false;
    struct stat old = {};
    bool exists = stat(target.c_str(), &old) == 0;
    // Writing over a file needs the right to write it, as opening it for writing would.
    if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    removeStaleTemporaries(target);

    std::string base = target + ".tmp-" + std::to_string(long(getpid()));
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    FILE* file = fdopen(fd, "w");
    if (!file) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    char* targetCopy = strdup(target.c_str());
    char* temporaryCopy = strdup(temporary.c_str());
    if (!targetCopy || !temporaryCopy) {
        fclose(file);
        unlink(temporary.c_str());
        free(targetCopy);
        free(temporaryCopy);
        errno = ENOMEM;
        return false;
    }
    out->file = file;
    out->target = targetCopy;
    out->temporary = temporaryCopy;
    out->keep = exists;
    out->mode = old.st_mode & 07777;
    out->uid = old.st_uid;
    out->gid = old.st_gid;
    return true;
}

bool atomicFileFinish(AtomicFile* out) {
    if (!out->file) {
        errno = EBADF;
        return false;
    }
    int error = 0;
    errno = 0;
    if (fflush(out->file) != 0 || ferror(out->file)) error = errno ? errno : EIO;
    if (!error && out->keep) {
        // The owner first: a change of owner clears set-id bits that the mode then restores.
        // Owner and group are best effort, as cp -p: a group only takes where the user is
        // a member.
        int fd = fileno(out->file);
        int owned = 0;
        if (geteuid() == 0) owned = fchown(fd, out->uid, out->gid);
        else if (out->gid != getegid()) owned = fchown(fd, uid_t(-1), out->gid);
        (void)owned;
        if (fchmod(fd, out->mode) != 0) error = errno;
    }
    if (!error && fsync(fileno(out->file)) != 0) error = errno;
    int closed = fclose(out->file);
    out->file = nullptr;
    if (!error && closed != 0) error = errno;
    if (error) {
        atomicFileDiscard(out);
        errno = error;
        return false;
    }
    return true;
}

bool atomicFileReplace(AtomicFile* out) {
    if (out->file || !out->temporary) {
        atomicFileDiscard(out);
        errno = EBADF;
        return false;
    }
    if (rename(out->temporary, out->target) != 0) {
        int error = errno;
        atomicFileDiscard(out);
        errno = error;
        return false;
    }
    // The rename itself reaches the disk with the folder. The new file is in place
    // already, so a failure here is no failure of the write.
    int folder = open(folderOf(out->target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    release(out);
    return true;
}

void atomicFileDiscard(AtomicFile* out) {
    if (out->file) fclose(out->file);
    if (out->temporary) unlink(out->temporary);
    release(out);
}
