// The standard streams and the data files on POSIX systems.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"

namespace {

// Waits until `fd` is ready for `events`; a stream in non-blocking mode
// answers EAGAIN instead of waiting itself.
void WaitFor(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

void PlatformOpenStandardStreams() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is `fd` itself.
    int flags = fd == STDERR_FILENO ? O_WRONLY : O_RDONLY;
    int opened = open("/dev/null", flags | O_NOCTTY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

std::FILE* PlatformOpenDataFile(const char* path) {
  PlatformOpenStandardStreams();
  // What is plainly no regular file is not opened at all: opening a device
  // or a FIFO can have effects of its own (a FIFO's writer goes on).
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  // Non-blocking, so that a file swapped for a FIFO meanwhile does not hold
  // the open; what was opened is checked again.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

size_t PlatformRead(char* buffer, size_t size) {
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(STDIN_FILENO, POLLIN);
    } else if (errno != EINTR) {
      return 0;  // a terminal that hung up, say
    }
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

bool PlatformWrite(const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        WaitFor(STDOUT_FILENO, POLLOUT);
        continue;
      }
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void PlatformWriteError(const char* text) {
  size_t size = std::strlen(text);
  while (size > 0) {
    ssize_t n = write(STDERR_FILENO, text, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (errno != EINTR) WaitFor(STDERR_FILENO, POLLOUT);
      continue;
    }
    if (n <= 0) return;
    text += n;
    size -= static_cast<size_t>(n);
  }
}
