#include "util/data/datafile_path.h"

#include <sys/stat.h>

#include <filesystem>

#include "util/data/data.h"

#ifndef FESTOONERY_DATAROOT_FROM_BINDIR
#define FESTOONERY_DATAROOT_FROM_BINDIR "../share"
#endif

namespace {
std::string& dataName() {
    static std::string name = "festoonery";
    return name;
}
}  // namespace

void setInstalledDataName(const std::string& name) { dataName() = name; }
const std::string& installedDataName() { return dataName(); }

std::vector<std::string> datafileCandidates(const std::string& programFolder) {
    namespace fs = std::filesystem;
    const fs::path folder(programFolder);
    return {kDatafileName, (folder / kDatafileName).lexically_normal().string(),
            (folder / FESTOONERY_DATAROOT_FROM_BINDIR / dataName() / kDatafileName).lexically_normal().string()};
}

std::string findDatafile(const std::vector<std::string>& places) {
    for (const std::string& place : places) {
        struct stat info;
        if (stat(place.c_str(), &info) == 0) return place;
    }
    return "";
}

std::string describePlaces(const std::vector<std::string>& places) {
    std::string text;
    for (size_t i = 0; i < places.size(); ++i) {
        if (i > 0) text += i + 1 == places.size() ? " or " : ", ";
        text += places[i];
    }
    return text;
}
