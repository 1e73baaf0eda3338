// The engine's log lines as a subcommand shows them: what the engine writes to stdout
// while a loader runs is collected, and each line loses its timestamp prefix.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tool {

// Collects the engine's stdout between begin() and end(). A fatal engine error in
// between ends the process as usual (its box goes to stderr, which is not touched).
class EngineLog {
public:
    void begin();
    // The lines written since begin(), without line feeds and timestamp prefixes. Where
    // the engine's stdout is the tool's own (--verbose), the raw text is copied there too.
    std::vector<std::string> end();
    // For the fatal-error hook: ends the collecting log, if one is running, so that with
    // --verbose the engine's lines before the refusal still reach stdout.
    static void endActive();

private:
    FILE* capture_ = nullptr;
    int savedOut_ = -1;
};

// The line without its log prefix "YYYY-MM-DD HH:MM:SS:mmm " (hour padded with a
// blank); a line without one comes back unchanged.
std::string stripLogPrefix(const std::string& line);

}  // namespace tool
