// Writing a subcommand's output file as a whole (through the engine's atomic file
// replacement): a failed write leaves an existing file as it was.
#pragma once

#include <cstddef>
#include <string>

namespace tool {

// False with the reason in *why (strerror text) when the file could not be written.
bool writeWholeFile(const std::string& path, const void* bytes, size_t size, std::string* why);

}  // namespace tool
