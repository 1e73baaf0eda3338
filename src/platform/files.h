// File services shared by the engine and its tools: opening input files without ever
// blocking, and writing past a file-size limit as an error rather than a signal.
#pragma once

#include <cstdio>

namespace platform {

// Opens path with the C mode (a read mode) only when it is a regular file. A named pipe,
// a device or a socket is refused without waiting for a writer and without reading a
// byte, as is a folder. Returns null on failure, with errno set and *why (when given)
// pointing to the reason: the system's text (strerror; "Is a directory" for a folder) or
// "Not a regular file (a pipe, device or socket)".
FILE* openRegularFile(const char* path, const char* mode, const char** why = nullptr);

// Writes that would pass the file-size limit (ulimit -f) then fail with EFBIG instead
// of ending the process with SIGXFSZ. Programs that write files call it at start-up.
void ignoreFileSizeSignal();

}  // namespace platform
