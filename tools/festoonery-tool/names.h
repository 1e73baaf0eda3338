// Entry names as the tool shows and checks them.
#pragma once

#include <string>

namespace tool {

// The name with control bytes, backslash escapes and bytes >= 0x7f written as \xNN, so
// every entry prints as one line.
std::string printableName(const std::string& name);

// Whether an entry name can be extracted below a folder without leaving it: not empty,
// relative, no ".." component, not ending in '/'. Otherwise false and the reason.
bool staysInside(const std::string& name, std::string* why);

// A PATH argument of pack in entry-name form: '/' separators, no "." components or
// doubled or trailing slashes ("./data//common/" gives "data/common"; "." gives "").
// False with the reason for absolute paths and paths that leave the working folder.
bool packPathName(const std::string& path, std::string* name, std::string* why);

}  // namespace tool
