#include "names.h"

#include <cstdio>
#include <filesystem>

namespace tool {

std::string printableName(const std::string& name) {
    std::string shown;
    for (unsigned char c : name) {
        if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            shown += hex;
        } else {
            shown += char(c);
        }
    }
    return shown;
}

bool staysInside(const std::string& name, std::string* why) {
    if (name.empty()) {
        *why = "it is empty";
        return false;
    }
    if (name[0] == '/') {
        *why = "it is an absolute path";
        return false;
    }
    if (name.back() == '/') {
        *why = "it names a folder, not a file";
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) {
            *why = "it has a '..' component";
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool packPathName(const std::string& path, std::string* name, std::string* why) {
    std::filesystem::path p(path);
    if (p.is_absolute()) {
        *why = "it is absolute; give a path relative to the working folder (the one holding data/)";
        return false;
    }
    std::string normal = p.lexically_normal().generic_string();
    while (!normal.empty() && normal.back() == '/') normal.pop_back();
    if (normal == ".") normal.clear();
    if (normal == ".." || normal.rfind("../", 0) == 0) {
        *why = "it leaves the working folder; run the tool in the folder that holds data/";
        return false;
    }
    *name = normal;
    return true;
}

}  // namespace tool
