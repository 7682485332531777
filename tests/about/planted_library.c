// Planted under the name of a library the game uses: when the loader ever picks it up, its
// constructor creates the file named by KELVOR_PLANTED_MARKER.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void LeaveMark(void) {
  const char* marker = getenv("KELVOR_PLANTED_MARKER");
  if (marker != NULL) {
    const int fd = open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
  }
}
