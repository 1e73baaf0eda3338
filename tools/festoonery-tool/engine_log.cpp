#include "engine_log.h"

#include <unistd.h>

#include <cctype>

#include "command.h"

namespace tool {

namespace {
EngineLog* g_active = nullptr;  // the log between begin() and end()
}

void EngineLog::endActive() {
    if (g_active) g_active->end();
}

void EngineLog::begin() {
    fflush(stdout);
    capture_ = tmpfile();
    if (!capture_) return;  // the lines then go where the engine's stdout goes anyway
    savedOut_ = dup(1);
    if (savedOut_ < 0 || dup2(fileno(capture_), 1) < 0) {
        if (savedOut_ >= 0) close(savedOut_);
        savedOut_ = -1;
        fclose(capture_);
        capture_ = nullptr;
        return;
    }
    g_active = this;
}

std::vector<std::string> EngineLog::end() {
    std::vector<std::string> lines;
    if (!capture_) return lines;
    g_active = nullptr;
    fflush(stdout);
    dup2(savedOut_, 1);
    close(savedOut_);
    savedOut_ = -1;

    // With --verbose the engine's stdout is the tool's stdout: show the raw log there too.
    bool passThrough = out() == stdout;
    fseek(capture_, 0, SEEK_SET);
    std::string line;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, capture_)) > 0) {
        if (passThrough) fwrite(buffer, 1, got, stdout);
        for (size_t i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            lines.push_back(stripLogPrefix(line));
            line.clear();
        }
    }
    if (!line.empty()) lines.push_back(stripLogPrefix(line));
    if (passThrough) fflush(stdout);
    fclose(capture_);
    capture_ = nullptr;
    return lines;
}

std::string stripLogPrefix(const std::string& line) {
    // "%04d-%02d-%02d %2d:%02d:%02d:%03d ": 24 characters.
    static const char kShape[] = "dddd-dd-dd hd:dd:dd:ddd ";
    const size_t length = sizeof kShape - 1;
    if (line.size() < length) return line;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        bool fits = kShape[i] == 'd'   ? isdigit(c) != 0
                    : kShape[i] == 'h' ? (isdigit(c) != 0 || c == ' ')
                                       : c == static_cast<unsigned char>(kShape[i]);
        if (!fits) return line;
    }
    return line.substr(length);
}

}  // namespace tool
