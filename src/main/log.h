// Log lines and error reporting: every diagnostic of the system goes through here.
// Log lines go to stdout with a UTC timestamp prefix; fatal problems are shown in a
// message box (src/platform/msgbox.h) and end the process with status 1.
#pragma once

#include <cstddef>

struct LogTime {
    int year, month, day, hour, minute, second, millisecond;
};

// Formats "%04d-%02d-%02d %2d:%02d:%02d:%03d " (hour padded with a blank) into out,
// cut at size bytes. Returns out.
char* formatLogPrefix(char* out, size_t size, const LogTime& t);

void logPrefix();
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

[[noreturn]] void fatalError(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void fatalAt(const char* file, int line);
// fatalAt's box (caption "Error", text "Error in file %s:%i") with the reason after the
// location, separated by an empty line.
[[noreturn]] void fatalAtReason(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// A box captioned "Error" that holds text as it is, without a source location (the
// text names what failed in the terms of the one who made the data, such as a shader
// program's files and the driver's message), then the fatal end.
[[noreturn]] void fatalText(const char* text);
void checkGL(const char* file, int line);
// Caption "ERROR at file:line"; returns to the caller, which goes on with a failure result.
void errorAt(const char* file, int line, const char* message);
// Asks whether to go on without a required OpenGL extension; returns only on OK.
void askExtension(const char* name);

// A driver may lack entry points of an extension the viewer chose to go on without
// (askExtension answered OK): calling a missing one would crash, so the first use of
// each group checks them and ends the process with a box naming the missing one.
void requireGL(const void* entryPoint, const char* name, const char* file, int line);
#define REQUIRE_GL(entryPoint) \
    requireGL(reinterpret_cast<const void*>(entryPoint), #entryPoint, __FILE__, __LINE__)

// The text checkGL shows for an OpenGL error code, cut at size bytes (200 in checkGL).
void formatGLError(char* out, size_t size, unsigned code, const char* file, int line);

// Test and tool hook: called instead of exit(1) on every fatal path, after the box.
// A hook that returns still ends the process with exit(1). Fuzz harnesses install
// one that throws, so a rejected input does not end the fuzzer.
using FatalHook = void (*)();
void setFatalHook(FatalHook hook);
[[noreturn]] void endProcessFatally();

#define FATAL(...) fatalError(__FILE__, __LINE__, __VA_ARGS__)
#define FATAL_AT() fatalAt(__FILE__, __LINE__)
#define FATAL_AT_REASON(...) fatalAtReason(__FILE__, __LINE__, __VA_ARGS__)
#define CHECK_GL() checkGL(__FILE__, __LINE__)
