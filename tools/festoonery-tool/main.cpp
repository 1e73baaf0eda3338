// festoonery-tool: command-line helpers for people who make productions with the engine.
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "engine_log.h"
#include "log.h"
#include "platform/files.h"
#include "platform/msgbox.h"

namespace tool {

namespace {

std::vector<Command>& registry() {
    static std::vector<Command> commands;
    return commands;
}

FILE* g_out = stdout;
FILE* g_err = stderr;
FILE* g_capture = nullptr;  // where the engine's stdout and stderr go while a command runs
const char* g_command = "";

void vreport(const char* format, va_list args) {
    if (*g_command) fprintf(g_err, "festoonery-tool %s: ", g_command);
    else fprintf(g_err, "festoonery-tool: ");
    vfprintf(g_err, format, args);
    fputc('\n', g_err);
    fflush(g_err);
}

// "\n" as written in a box record becomes one blank; runs of blanks shrink to one.
std::string unescapeToOneLine(const std::string& text) {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 'r')) {
            c = ' ';
            ++i;
        }
        if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// Called by the engine on a fatal error, after its box record went to the capture:
// turns the last box into one line "festoonery-tool NAME: DETAIL (at SOURCE:LINE)".
void reportFatalBox() {
    EngineLog::endActive();
    fflush(stdout);
    fflush(stderr);
    std::string box;
    if (g_capture) {
        fseek(g_capture, 0, SEEK_SET);
        std::string line;
        char buffer[4096];
        while (fgets(buffer, sizeof buffer, g_capture)) {
            line += buffer;
            if (line.empty() || line.back() != '\n') continue;
            if (line.rfind("[box] ", 0) == 0 && line.rfind("[box] answered ", 0) != 0) box = line;
            line.clear();
        }
    }
    while (!box.empty() && box.back() == '\n') box.pop_back();
    std::string caption, text;
    size_t bar = box.find(" | ");
    if (bar != std::string::npos) {
        caption = box.substr(6, bar - 6);
        text = box.substr(bar + 3);
    }
    // Fatal errors read "Error in file SOURCE:LINE\n\nDETAIL".
    const std::string where = "Error in file ";
    size_t gap = text.find("\\n\\n");
    if (text.rfind(where, 0) == 0 && gap != std::string::npos) {
        std::string location = text.substr(where.size(), gap - where.size());
        fail("%s (at %s)", unescapeToOneLine(text.substr(gap + 4)).c_str(), location.c_str());
    } else if (!box.empty()) {
        fail("%s: %s", caption.c_str(), unescapeToOneLine(text).c_str());
    } else {
        fail("fatal error in the engine");
    }
}

// Sends the engine's stdout (unless verbose) and stderr into a private temporary file;
// the tool itself writes to copies of the original descriptors.
void holdBackEngineOutput(bool verbose) {
    g_capture = tmpfile();
    if (!g_capture) return;  // then the engine's lines simply stay visible
    fflush(stdout);
    fflush(stderr);
    int errCopy = dup(2);
    FILE* err = errCopy >= 0 ? fdopen(errCopy, "w") : nullptr;
    if (!err) return;
    setvbuf(err, nullptr, _IONBF, 0);
    g_err = err;
    if (!verbose) {
        int outCopy = dup(1);
        FILE* out = outCopy >= 0 ? fdopen(outCopy, "w") : nullptr;
        if (out) {
            g_out = out;
            dup2(fileno(g_capture), 1);
        }
    }
    dup2(fileno(g_capture), 2);
}

void printOverview(FILE* to) {
    fprintf(to,
            "Usage: festoonery-tool [--verbose] SUBCOMMAND [ARGUMENTS...]\n"
            "       festoonery-tool SUBCOMMAND --help\n"
            "\n"
            "Tools for the Festoonery engine's asset archive (data.mvt) and assets.\n"
            "\n"
            "Subcommands:\n");
    for (int i = 0; i < commandCount(); ++i) {
        fprintf(to, "  %-12s %s\n", commandAt(i)->name, commandAt(i)->summary);
    }
    fprintf(to,
            "\n"
            "Options:\n"
            "  -v, --verbose  show the engine's own log lines on stdout\n"
            "  -h, --help     show this text\n"
            "\n"
            "Exit status: 0 on success, 1 when the work failed, 2 for a usage error.\n");
}

}  // namespace

void registerCommand(const Command& command) {
    registry().push_back(command);
    std::sort(registry().begin(), registry().end(),
              [](const Command& a, const Command& b) { return strcmp(a.name, b.name) < 0; });
}

const Command* findCommand(const char* name) {
    for (const Command& c : registry())
        if (strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

int commandCount() { return int(registry().size()); }
const Command* commandAt(int index) { return &registry()[size_t(index)]; }

FILE* out() { return g_out; }
FILE* err() { return g_err; }
const char* currentCommand() { return g_command; }

int fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(format, args);
    va_end(args);
    return kFailed;
}

int parseArguments(int argc, char** argv, const ValueOptions& valueOptions, Arguments* arguments) {
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            const std::string* what = nullptr;
            for (const auto& option : valueOptions)
                if (option.first == arg) what = &option.second;
            if (!what) return usageError("unknown option '%s'", arg.c_str());
            if (i + 1 >= argc || !*argv[i + 1])
                return usageError("%s needs %s", arg.c_str(), what->c_str());
            arguments->values[arg] = argv[++i];
        } else {
            arguments->positionals.push_back(arg);
        }
    }
    return kOk;
}

int usageError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(format, args);
    va_end(args);
    if (*g_command) fprintf(g_err, "Try 'festoonery-tool %s --help'.\n", g_command);
    else fprintf(g_err, "Try 'festoonery-tool --help'.\n");
    return kUsage;
}

}  // namespace tool

int main(int argc, char** argv) {
    // pack, extract and image write files: past a file-size limit they report the
    // failed write instead of being killed.
    platform::ignoreFileSizeSignal();
    // A tool never shows a dialog, whatever FESTOONERY_UI says.
    platform::setUiBackend(platform::UiBackend::Script);
    setenv("FESTOONERY_ANSWERS", "", 1);

    bool verbose = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        const char* option = argv[first];
        if (strcmp(option, "-h") == 0 || strcmp(option, "--help") == 0) {
            tool::printOverview(stdout);
            return tool::kOk;
        }
        if (strcmp(option, "-v") == 0 || strcmp(option, "--verbose") == 0) {
            verbose = true;
            continue;
        }
        return tool::usageError("unknown option '%s'", option);
    }
    if (first >= argc) {
        tool::printOverview(stderr);
        return tool::kUsage;
    }
    const tool::Command* command = tool::findCommand(argv[first]);
    if (!command) return tool::usageError("unknown subcommand '%s'", argv[first]);
    tool::g_command = command->name;
    for (int i = first + 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            fputs(command->usage, stdout);
            return tool::kOk;
        }
    }
    tool::holdBackEngineOutput(verbose);
    setFatalHook(tool::reportFatalBox);
    int status = command->run(argc - first, argv + first);
    fflush(tool::out());
    return status;
}
