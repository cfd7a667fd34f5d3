// Raw standard input and output on Windows.
#include <windows.h>

#include "platform.h"

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

void PlatformWrite(const char* data, size_t size) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return;  // nowhere to show it; the run goes on
    }
    data += written;
    size -= written;
  }
}
