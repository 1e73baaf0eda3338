// Replacing a file as a whole: the new contents go into a fresh temporary file beside the
// file's real location and are renamed over it only once they are complete and on disk,
// so a failure at any step leaves the old file exactly as it was.
//
//     AtomicFile out;
//     if (!atomicFileOpen(&out, "default.cfg")) ...;    // nothing created
//     fprintf(out.file, ...);
//     if (!atomicFileFinish(&out)) ...;                  // write error: temporary file gone
//     if (!atomicFileReplace(&out)) ...;                 // rename error: temporary file gone
//
// What the viewer had is kept: a symbolic link stays a link (the file it points to is
// replaced, links followed to the end, even a dangling one), the new file gets the old
// one's permission bits and group (and owner, for root), and a file the process may not
// write is refused as opening it for writing would be. A new file gets the permissions
// that the umask gives a file created with 0666.
//
// Temporary files are named "NAME.tmp-PID" (NAME the real file's name, PID this process;
// "-N" appended if that exists). One left by an interrupted run (its process gone, or
// older than a day) is removed by the next atomicFileOpen of the same file.
#pragma once

#include <sys/types.h>

#include <cstdio>

struct AtomicFile {
    FILE* file = nullptr;        // open for writing between open and finish
    char* target = nullptr;      // the real file (links resolved)
    char* temporary = nullptr;   // the temporary file while it exists
    // The old file's permission bits and owner, given to the new one once it is written
    // (a write clears set-id bits; until then only the owner may read it).
    bool keep = false;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Creates the temporary file. False (errno set) when the target cannot be resolved or
// written, or no temporary file can be created; nothing is left behind then.
bool atomicFileOpen(AtomicFile* out, const char* path);

// Flushes, syncs and closes the temporary file. False (errno set) on any write error;
// the temporary file is removed and `out` released.
bool atomicFileFinish(AtomicFile* out);

// Renames the finished temporary file over the target and syncs the folder. False
// (errno set) when the rename fails; the temporary file is removed. Releases `out`.
bool atomicFileReplace(AtomicFile* out);

// Drops an unfinished write: closes and removes the temporary file, releases `out`.
// Safe on a released or never-opened AtomicFile.
void atomicFileDiscard(AtomicFile* out);
