// Stands in for the system-information program in tests: appends the path it was started by,
// its number of arguments, the descriptors it inherited and the standard signals (1 to 31) it was
// started with ignored ("-" for none) to the file named in KELVOR_TEST_RECORD, so a test can
// tell that, and how, it ran.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

int main(int argc, char* argv[]) {
  const char* record = std::getenv("KELVOR_TEST_RECORD");
  if (record == nullptr || argc < 1) return 2;
  std::set<int> inherited;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(folder)) {
        inherited.insert(std::atoi(entry->d_name));
      }
    }
    closedir(folder);
  }
  // Appended piece by piece: GCC 12 at -O3 takes a temporary string's operator+ for an
  // overlapping copy (-Wrestrict) and stops a -Werror build.
  std::string fds;
  for (int fd : inherited) {
    if (!fds.empty()) fds += ',';
    fds += std::to_string(fd);
  }
  unsigned long long mask = 0;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigIgn:\t", 0) == 0) mask = std::stoull(line.substr(8), nullptr, 16);
  }
  std::string ignored;
  for (int signal = 1; signal < 32; ++signal) {
    if ((mask & (1ULL << (signal - 1))) == 0) continue;
    if (!ignored.empty()) ignored += ',';
    ignored += std::to_string(signal);
  }
  std::FILE* file = std::fopen(record, "a");
  if (file == nullptr) return 3;
  std::fprintf(file, "%s %d %s %s\n", argv[0], argc, fds.c_str(),
               ignored.empty() ? "-" : ignored.c_str());
  std::fclose(file);
  return 0;
}
