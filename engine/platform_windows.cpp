// The standard streams and the data files on Windows.
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform.h"

// The console gives every program its standard handles; one that is missing
// reads as the end of input or fails to write, and no file can take its place.
void PlatformOpenStandardStreams() {}

std::FILE* PlatformOpenDataFile(const char* path) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) return nullptr;
  return std::fopen(path, "rb");
}

size_t PlatformRead(char* buffer, size_t size) {
  DWORD got = 0;
  // A broken pipe, like the end of a file, ends the input.
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, static_cast<DWORD>(size), &got,
                nullptr)) {
    return 0;
  }
  return got;
}

bool PlatformInputReady(int timeout_ms) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  switch (GetFileType(in)) {
    case FILE_TYPE_DISK:
      return true;
    case FILE_TYPE_CHAR:
      return WaitForSingleObject(in, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
    case FILE_TYPE_PIPE:
      for (int waited = 0;; ++waited) {
        DWORD available = 0;
        if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;
        if (available > 0) return true;
        if (waited >= timeout_ms) return false;
        Sleep(1);
      }
    default:
      return false;
  }
}

bool PlatformWrite(const char* data, size_t size) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

void PlatformWriteError(const char* text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD size = static_cast<DWORD>(strlen(text));
  DWORD written = 0;
  while (size > 0 && WriteFile(err, text, size, &written, nullptr) && written > 0) {
    text += written;
    size -= written;
  }
}
