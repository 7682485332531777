#pragma once

#include <string>

namespace kelvor {

// Not a folder, device or pipe; links followed. The path stays bytes: one from the key store
// need not be UTF-8, and a round trip through text would name another file.
bool IsNormalFile(const std::string& path);

}  // namespace kelvor
