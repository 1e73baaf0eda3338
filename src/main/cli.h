// The two questions every program answers on its command line: --help and --version.
// Both are answered before anything starts (no SDL, no display, no settings file).
// Every other argument is ignored by the demo, apart from --dev (dev_mode.h) and, for a
// production with words, --words and --words-file (scenes/greeting_words.h).
#pragma once

#include <string>

struct ProductionInfo;

enum class CommandLineRequest { Run, Help, Version };

// The first of "--help" (or "-h") and "--version" among the arguments; Run when neither
// is there.
CommandLineRequest commandLineRequest(int argc, char** argv);

// The usage text of the production: what it is, --dev, the environment variables, the files, and
// where the tools are, as found from the program's folder `programFolder`.
std::string usageText(const std::string& programFolder, const ProductionInfo& production);

// "PROGRAM VERSION\n".
std::string versionText(const ProductionInfo& production);

// For --help or --version: writes the text to stdout and returns true (the program
// then ends with status 0, having touched nothing). False: the demo runs.
bool answerCommandLine(int argc, char** argv);
