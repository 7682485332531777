#pragma once

#include <string>

namespace kelvor {

// A normal file (not a folder, device or pipe) is at `path`, symbolic links followed. The path is
// the bytes it is: one from the key store need not be valid UTF-8, and a round trip through text
// would not name the same file.
bool IsNormalFile(const std::string& path);

}  // namespace kelvor
