// Where tests find the repository, the build and the conformance files.
#pragma once

#include <string>

namespace testpaths {

// An absolute path below the repository root ("data/common/..." etc.).
std::string source(const std::string& relative);
// An absolute path below the conformance files kept in the repository (tests/data/).
std::string conformance(const std::string& relative);
// An absolute path below the build folder.
std::string build(const std::string& relative);
// A fresh empty folder for one test process to write into (named NAME-PID).
std::string freshScratchDir(const std::string& name);

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace testpaths
