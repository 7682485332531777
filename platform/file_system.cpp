#include "platform/file_system.h"

#include <sys/stat.h>

namespace kelvor {

bool IsNormalFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace kelvor
