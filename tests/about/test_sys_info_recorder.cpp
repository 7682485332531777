// Stands in for the system-information program in tests: appends the path it was started by
// to the file named in KELVOR_TEST_RECORD, so a test can tell that, and how, it ran.
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  const char* record = std::getenv("KELVOR_TEST_RECORD");
  if (record == nullptr || argc < 1) return 2;
  std::FILE* file = std::fopen(record, "a");
  if (file == nullptr) return 3;
  std::fprintf(file, "%s %d\n", argv[0], argc);
  std::fclose(file);
  return 0;
}
