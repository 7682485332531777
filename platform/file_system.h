#pragma once

#include <string>

namespace kelvor {

// Questions about files asked by their path as the bytes it is: a path from the key store need
// not be valid UTF-8, and a round trip through text would not name the same file.
class FileSystem {
 public:
  // A normal file (not a folder, device or pipe) is at `path`, symbolic links followed.
  static bool IsNormalFile(const std::string& path);
};

}  // namespace kelvor
