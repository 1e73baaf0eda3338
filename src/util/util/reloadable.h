// Assets that development mode loads again when their files change (images, fonts):
// each loader registers its file and how to load it again into its owner. Registering
// is off unless development mode turns it on, so the demo's run keeps no list.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace reloadable {

// On for the rest of the process (development mode, before anything is loaded).
void enable();
bool enabled();

// When enabled: path's reload, run by reload(path). It reads the file again and puts
// the result in place of the owner's (it may end in a fatal error, which reload
// recovers from: the owner then keeps what it had).
void add(const std::string& path, std::function<void()> reload);

// Whether any entry is registered for path.
bool watched(const std::string& path);

// Every entry of path run again, each on its own. Returns how many succeeded; the
// reason of each one that failed is appended to failures.
int reload(const std::string& path, std::vector<std::string>* failures);

// The paths registered, each once, in order of first registration.
std::vector<std::string> paths();

// Every entry forgotten (tests).
void clear();

}  // namespace reloadable
