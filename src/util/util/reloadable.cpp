#include "util/util/reloadable.h"

#include <utility>

#include "log.h"
#include "recover.h"

namespace reloadable {
namespace {

struct Entry {
    std::string path;
    std::function<void()> reload;
};

bool g_enabled = false;

std::vector<Entry>& entries() {
    static std::vector<Entry> list;
    return list;
}

}  // namespace

void enable() { g_enabled = true; }

bool enabled() { return g_enabled; }

void add(const std::string& path, std::function<void()> reload) {
    if (g_enabled) entries().push_back(Entry{path, std::move(reload)});
}

bool watched(const std::string& path) {
    for (const Entry& e : entries())
        if (e.path == path) return true;
    return false;
}

int reload(const std::string& path, std::vector<std::string>* failures) {
    int done = 0;
    for (const Entry& e : entries()) {
        if (e.path != path) continue;
        std::string reason;
        if (recoverFatal(e.reload, &reason)) {
            ++done;
        } else if (failures) {
            failures->push_back(reason);
        }
    }
    return done;
}

std::vector<std::string> paths() {
    std::vector<std::string> list;
    for (const Entry& e : entries()) {
        bool seen = false;
        for (const std::string& p : list) seen = seen || p == e.path;
        if (!seen) list.push_back(e.path);
    }
    return list;
}

void clear() { entries().clear(); }

}  // namespace reloadable
