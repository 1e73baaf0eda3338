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
#include <map>
#include <string>
#include <vector>

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

// A subcommand's arguments (argv[1..]): the options of valueOptions ({"-o", "the
// archive's path"}: the option and what its value is) take the next argument as their
// value; "--" ends the options; any other "-x" is unknown.
struct Arguments {
    std::vector<std::string> positionals;
    std::map<std::string, std::string> values;  // option -> value, the last one given
};
// Returns kOk, or reports the usage error and returns kUsage.
using ValueOptions = std::vector<std::pair<std::string, std::string>>;
int parseArguments(int argc, char** argv, const ValueOptions& valueOptions, Arguments* arguments);

// The name of the running subcommand (for messages).
const char* currentCommand();

}  // namespace tool
