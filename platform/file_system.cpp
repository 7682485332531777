#include "platform/file_system.h"

#include <sys/stat.h>

#include <algorithm>

namespace kelvor {

bool IsNormalFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> AbsoluteFolders(std::string_view list) {
  std::vector<std::string> folders;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string_view folder = list.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/') folders.emplace_back(folder);
    start = end + 1;
  }
  return folders;
}

}  // namespace kelvor
