#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvor {

// Not a folder, device or pipe; links followed. The path stays bytes: one from the key store
// need not be UTF-8, and a round trip through text would name another file.
bool IsNormalFile(const std::string& path);

// The full paths of a colon-separated folder list (PATH, XDG_DATA_DIRS), in order. An empty or
// relative entry is left out: it means a folder under the working folder, which may hold
// anything.
std::vector<std::string> AbsoluteFolders(std::string_view list);

}  // namespace kelvor
