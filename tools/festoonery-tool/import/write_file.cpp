#include "write_file.h"

#include <cerrno>
#include <cstring>

#include "util/util/atomic_file.h"

namespace tool {

bool writeWholeFile(const std::string& path, const void* bytes, size_t size, std::string* why) {
    AtomicFile out;
    if (!atomicFileOpen(&out, path.c_str())) {
        *why = strerror(errno);
        return false;
    }
    if (size && fwrite(bytes, 1, size, out.file) != size) {
        int error = errno;
        atomicFileDiscard(&out);
        *why = strerror(error ? error : EIO);
        return false;
    }
    if (!atomicFileFinish(&out) || !atomicFileReplace(&out)) {
        *why = strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tool
