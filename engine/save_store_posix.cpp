// The save on POSIX systems: one file per story directory under
// $XDG_STATE_HOME/ostrel/ (~/.local/state/ostrel/ by default), locked for
// the run by a file beside it.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "journal.h"
#include "save_store.h"

namespace {

// A save larger than this is read this far: a game of millions of answers.
constexpr size_t kMaxSaveBytes = size_t{256} << 20;

// Room made in the save ahead of its records: the first stretch, and the
// most one stretch adds.
constexpr size_t kFirstStretch = size_t{256} << 10;
constexpr size_t kLongestStretch = size_t{8} << 20;

struct SaveFile {
  std::string directory;  // the state directory, with "/ostrel"
  std::string path;       // the save
  std::string lock_path;  // the file whose lock says the save is taken
  int lock_fd = -1;
  int fd = -1;            // open for writing, once something was appended
  size_t size = 0;        // the bytes of the save that are records
  char* map = nullptr;    // the file mapped, `mapped` bytes, the file that long
  size_t mapped = 0;
  bool sync_directory = false;  // the save's name is not durable yet
};

SaveFile g_save;

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state; with
// "/ostrel" after it.
bool StateDirectory(std::string* directory, std::string* err) {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    *directory = std::string(state) + "/ostrel";
    return true;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    struct passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] != '/') {
    *err = "no place for saves: neither XDG_STATE_HOME nor HOME names a directory";
    return false;
  }
  *directory = std::string(home) + "/.local/state/ostrel";
  return true;
}

// Creates `path` and the directories above it that are missing, each only
// for its owner to use, as the XDG convention asks.
bool MakeDirectories(const std::string& path, std::string* err) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *err = Reason("cannot create the directory", part);
      return false;
    }
    if (slash == std::string::npos) break;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    *err = Reason("cannot use the directory", path);
    return false;
  }
  return true;
}

// The save's name: see SaveFileStem.
std::string SaveName(const std::string& canonical) {
  return SaveFileStem(canonical.substr(canonical.rfind('/') + 1), canonical);
}

// Takes the lock file's lock. A lock file removed and made anew meanwhile (by
// an engine whose game ended) is taken anew.
StoreOpened Lock(std::string* err) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(g_save.lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      *err = Reason("cannot create", g_save.lock_path);
      return StoreOpened::kUnavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      close(fd);
      if (error == EWOULDBLOCK) return StoreOpened::kInUse;
      errno = error;
      *err = Reason("cannot lock", g_save.lock_path);
      return StoreOpened::kUnavailable;
    }
    struct stat held, named;
    if (fstat(fd, &held) == 0 && stat(g_save.lock_path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      g_save.lock_fd = fd;
      return StoreOpened::kOpened;
    }
    close(fd);
  }
  errno = EAGAIN;
  *err = Reason("cannot lock", g_save.lock_path);
  return StoreOpened::kUnavailable;
}

bool ReadSave(std::string* bytes, std::string* err) {
  bytes->clear();
  int fd = open(g_save.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    *err = Reason("cannot read the save", g_save.path);
    return false;
  }
  struct stat info = {};
  bool status_known = fstat(fd, &info) == 0;
  if (!status_known || !S_ISREG(info.st_mode)) {
    // A directory or a device in the save's place is left as it is.
    if (status_known) errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
    *err = Reason("cannot use the save", g_save.path);
    close(fd);
    return false;
  }
  char buffer[1 << 16];
  while (bytes->size() < kMaxSaveBytes) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *err = Reason("cannot read the save", g_save.path);
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

// Writes `bytes` at `offset` of the file, or at its end when `offset` is -1.
bool WriteAll(int fd, const std::string& bytes, off_t offset = -1) {
  const char* data = bytes.data();
  size_t size = bytes.size();
  while (size > 0) {
    ssize_t n = offset < 0 ? write(fd, data, size) : pwrite(fd, data, size, offset);
    if (n > 0 && offset >= 0) offset += n;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void SyncDirectory() {
  int fd = open(g_save.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
  g_save.sync_directory = false;
}

void Unmap() {
  if (g_save.map != nullptr) munmap(g_save.map, g_save.mapped);
  g_save.map = nullptr;
  g_save.mapped = 0;
}

void CloseSave() {
  Unmap();
  if (g_save.fd >= 0) close(g_save.fd);
  g_save.fd = -1;
}

// Records are copied into the file mapped in memory: a copy costs no system
// call, and the kernel holds it at once, so that a process killed the next
// moment loses nothing of it. The file is made longer ahead of the records,
// a stretch at a time, with its disk space taken (so that a full disk fails
// here and not at a copy); the zero bytes after the last record go when the
// run ends, and a reader passes over them when it does not. False when there
// is no room to be had this way: the bytes are then written as ever.
bool MakeRoom(size_t more) {
  size_t needed = g_save.size + more;
  if (g_save.map != nullptr && needed <= g_save.mapped) return true;
  Unmap();
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t stretch = g_save.size < kFirstStretch ? kFirstStretch : g_save.size;
  if (stretch > kLongestStretch) stretch = kLongestStretch;
  size_t length = (needed + stretch + page - 1) / page * page;
  if (posix_fallocate(g_save.fd, 0, static_cast<off_t>(length)) != 0) {
    if (ftruncate(g_save.fd, static_cast<off_t>(g_save.size)) != 0) {
      // The zeros after the records are passed over by a reader.
    }
    return false;
  }
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, g_save.fd, 0);
  if (map == MAP_FAILED) return false;
  g_save.map = static_cast<char*>(map);
  g_save.mapped = length;
  return true;
}

}  // namespace

StoreOpened StoreOpen(const std::string& story_dir, std::string* bytes, std::string* err) {
  CloseSave();
  if (g_save.lock_fd >= 0) close(g_save.lock_fd);
  g_save = SaveFile();
  char resolved[PATH_MAX];
  if (realpath(story_dir.c_str(), resolved) == nullptr) {
    *err = Reason("cannot find the story's directory", story_dir);
    return StoreOpened::kUnavailable;
  }
  if (!StateDirectory(&g_save.directory, err) || !MakeDirectories(g_save.directory, err)) {
    return StoreOpened::kUnavailable;
  }
  std::string base = g_save.directory + "/" + SaveName(resolved);
  g_save.path = base + ".save";
  g_save.lock_path = base + ".lock";
  StoreOpened locked = Lock(err);
  if (locked != StoreOpened::kOpened) return locked;
  if (!ReadSave(bytes, err)) return StoreOpened::kUnavailable;
  // A file that cannot be written is no place for a save, even to read.
  if (access(g_save.directory.c_str(), W_OK) != 0) {
    *err = Reason("cannot write in", g_save.directory);
    return StoreOpened::kUnavailable;
  }
  return StoreOpened::kOpened;
}

bool StoreAppend(const std::string& bytes, std::string* err) {
  if (g_save.fd < 0) {
    g_save.fd = open(g_save.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info;
    if (g_save.fd < 0 || fstat(g_save.fd, &info) != 0) {
      *err = Reason("cannot write the save", g_save.path);
      CloseSave();
      return false;
    }
    g_save.size = static_cast<size_t>(info.st_size);
    g_save.sync_directory = true;
  }
  if (MakeRoom(bytes.size())) {
    std::memcpy(g_save.map + g_save.size, bytes.data(), bytes.size());
    g_save.size += bytes.size();
    return true;
  }
  if (!WriteAll(g_save.fd, bytes, static_cast<off_t>(g_save.size))) {
    *err = Reason("cannot write the save", g_save.path);
    // What was written of the record goes, so that the save stays whole.
    if (ftruncate(g_save.fd, static_cast<off_t>(g_save.size)) != 0) {
      // The reader drops a record cut short.
    }
    return false;
  }
  g_save.size += bytes.size();
  return true;
}

bool StoreSync(std::string* err) {
  if (g_save.fd < 0) return true;
  bool synced = g_save.map != nullptr ? msync(g_save.map, g_save.mapped, MS_SYNC) == 0
                                      : fdatasync(g_save.fd) == 0;
  if (!synced) {
    *err = Reason("cannot write the save", g_save.path);
    return false;
  }
  if (g_save.sync_directory) SyncDirectory();
  return true;
}

void StoreClose() {
  if (g_save.fd < 0) return;
  Unmap();
  // The room made ahead goes; the records stay.
  if (ftruncate(g_save.fd, static_cast<off_t>(g_save.size)) == 0) fdatasync(g_save.fd);
  CloseSave();
}

bool StoreReplace(const std::string& bytes, std::string* err) {
  std::string temporary = g_save.path + ".new";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *err = Reason("cannot write", temporary);
    return false;
  }
  bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
  int error = errno;
  close(fd);
  if (!written || rename(temporary.c_str(), g_save.path.c_str()) != 0) {
    if (written) error = errno;
    unlink(temporary.c_str());
    errno = error;
    *err = Reason("cannot write the save", g_save.path);
    return false;
  }
  SyncDirectory();
  CloseSave();
  g_save.fd = open(g_save.path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (g_save.fd < 0) {
    *err = Reason("cannot write the save", g_save.path);
    return false;
  }
  g_save.size = bytes.size();
  return true;
}

void StoreDiscard(bool for_good) {
  CloseSave();
  if (!g_save.path.empty()) unlink(g_save.path.c_str());
  if (for_good && g_save.lock_fd >= 0) {
    // Removed while it is held, so that no engine takes the old one after.
    unlink(g_save.lock_path.c_str());
    close(g_save.lock_fd);
    g_save.lock_fd = -1;
  }
}

std::string StoreName() { return g_save.path; }
