#include "support/paths.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace testpaths {

std::string source(const std::string& relative) {
    return std::string(FESTOONERY_SOURCE_DIR) + "/" + relative;
}

std::string conformance(const std::string& relative) {
    return std::string(FESTOONERY_SOURCE_DIR) + "/tests/data/" + relative;
}

std::string build(const std::string& relative) {
    return std::string(FESTOONERY_BINARY_DIR) + "/" + relative;
}

std::string freshScratchDir(const std::string& name) {
    // ctest runs tests as parallel processes: the pid keeps their folders apart.
    std::filesystem::path dir = std::filesystem::path(FESTOONERY_BINARY_DIR) / "scratch" /
                                (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace testpaths
