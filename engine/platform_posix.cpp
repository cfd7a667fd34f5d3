// Raw standard input and output on POSIX systems.
#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "platform.h"

size_t PlatformRead(char* buffer, size_t size) {
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;  // a terminal that hung up, say
  }
}

bool PlatformInputReady(int timeout_ms) {
  struct pollfd p = {STDIN_FILENO, POLLIN, 0};
  for (;;) {
    int r = poll(&p, 1, timeout_ms);
    if (r >= 0) return r > 0;
    if (errno != EINTR) return false;
  }
}

void PlatformWrite(const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to show it; the run goes on
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}
