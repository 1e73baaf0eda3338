// The subcommands of festoonery-tool. Each lives in its own cmd_NAME.cpp and registers
// itself with a static Registrar, so adding one needs no change elsewhere:
//
//     static int runShow(int argc, char** argv);
//     static const tool::Registrar registrar({"show", "one line for --help", "usage text", runShow});
//
// main() handles "festoonery-tool --help" and "festoonery-tool NAME --help" (prints
// `usage`), then calls run() with argv[0] = NAME and the arguments after it.
#pragma once

#include <cstdio>

namespace tool {

struct Command {
    const char* name;
    const char* summary;  // one line in the overview
    const char* usage;    // the whole help text, ending with a line feed
    int (*run)(int argc, char** argv);
};

// Exit statuses of the tool.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void registerCommand(const Command& command);
const Command* findCommand(const char* name);
int commandCount();
const Command* commandAt(int index);  // sorted by name

struct Registrar {
    explicit Registrar(const Command& command) { registerCommand(command); }
};

// The tool's own output. While a command runs the engine's log lines and message-box
// records are held back from stdout and stderr (a fatal engine error becomes one clean
// line on err()); --verbose lets the engine's log through to stdout.
FILE* out();
FILE* err();

// "festoonery-tool NAME: MESSAGE" on err(); returns kFailed.
int fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same plus a pointer to NAME --help; returns kUsage.
int usageError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name of the running subcommand (for messages).
const char* currentCommand();

}  // namespace tool
