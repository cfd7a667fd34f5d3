// The save on Windows: one file per story directory under
// %LOCALAPPDATA%\ostrel\, locked for the run by a file beside it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "journal.h"
#include "save_store.h"

namespace {

namespace fs = std::filesystem;

// A save larger than this is read this far: a game of millions of answers.
constexpr DWORD kMaxSaveBytes = DWORD{256} << 20;

struct SaveFile {
  fs::path directory;  // %LOCALAPPDATA%\ostrel
  fs::path path;       // the save
  fs::path lock_path;  // the file whose lock says the save is taken
  HANDLE lock = INVALID_HANDLE_VALUE;
  HANDLE file = INVALID_HANDLE_VALUE;  // open for appending
};

SaveFile g_save;

std::string Text(const fs::path& path) {
  std::string text;
  for (char c : path.u8string()) text += c;
  return text;
}

std::string Reason(const std::string& what, const fs::path& path, DWORD error) {
  std::string message = std::system_category().message(static_cast<int>(error));
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return what + " " + Text(path) + ": " + message;
}

void Close(HANDLE* handle) {
  if (*handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = INVALID_HANDLE_VALUE;
}

// The save's name: see SaveFileStem.
std::wstring SaveName(const fs::path& canonical) {
  return fs::path(SaveFileStem(Text(canonical.filename()), Text(canonical))).wstring();
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  const char* data = bytes.data();
  size_t size = bytes.size();
  while (size > 0) {
    DWORD chunk = size > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool ReadSave(std::string* bytes, std::string* err) {
  bytes->clear();
  DWORD attributes = GetFileAttributesW(g_save.path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    *err = Reason("cannot read the save", g_save.path, error);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A directory in the save's place is left as it is.
    *err = "cannot use the save " + Text(g_save.path) + ": Is a directory";
    return false;
  }
  HANDLE file = CreateFileW(g_save.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *err = Reason("cannot read the save", g_save.path, GetLastError());
    return false;
  }
  char buffer[1 << 16];
  DWORD got = 0;
  while (bytes->size() < kMaxSaveBytes && ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    bytes->append(buffer, got);
  }
  CloseHandle(file);
  return true;
}

HANDLE OpenForAppending(const fs::path& path, DWORD disposition) {
  return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

StoreOpened StoreOpen(const std::string& story_dir, std::string* bytes, std::string* err) {
  Close(&g_save.file);
  Close(&g_save.lock);
  g_save = SaveFile();
  std::error_code error;
  fs::path story = fs::canonical(fs::u8path(story_dir), error);
  if (error) {
    *err = "cannot find the story's directory " + story_dir + ": " + error.message();
    return StoreOpened::kUnavailable;
  }
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || local[0] == L'\0') {
    *err = "no place for saves: LOCALAPPDATA is not set";
    return StoreOpened::kUnavailable;
  }
  g_save.directory = fs::path(local) / L"ostrel";
  fs::create_directories(g_save.directory, error);
  if (error || !fs::is_directory(g_save.directory, error)) {
    *err = "cannot create the directory " + Text(g_save.directory) + ": " +
           (error ? error.message() : std::string("Not a directory"));
    return StoreOpened::kUnavailable;
  }
  std::wstring name = SaveName(story);
  g_save.path = g_save.directory / (name + L".save");
  g_save.lock_path = g_save.directory / (name + L".lock");
  g_save.lock = CreateFileW(g_save.lock_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_save.lock == INVALID_HANDLE_VALUE) {
    *err = Reason("cannot create", g_save.lock_path, GetLastError());
    return StoreOpened::kUnavailable;
  }
  OVERLAPPED whole = {};
  if (!LockFileEx(g_save.lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &whole)) {
    DWORD failure = GetLastError();
    Close(&g_save.lock);
    if (failure == ERROR_LOCK_VIOLATION || failure == ERROR_IO_PENDING) {
      return StoreOpened::kInUse;
    }
    *err = Reason("cannot lock", g_save.lock_path, failure);
    return StoreOpened::kUnavailable;
  }
  if (!ReadSave(bytes, err)) return StoreOpened::kUnavailable;
  return StoreOpened::kOpened;
}

bool StoreAppend(const std::string& bytes, std::string* err) {
  if (g_save.file == INVALID_HANDLE_VALUE) g_save.file = OpenForAppending(g_save.path, OPEN_ALWAYS);
  if (g_save.file == INVALID_HANDLE_VALUE) {
    *err = Reason("cannot write the save", g_save.path, GetLastError());
    return false;
  }
  if (!WriteAll(g_save.file, bytes)) {
    *err = Reason("cannot write the save", g_save.path, GetLastError());
    return false;
  }
  return true;
}

bool StoreSync(std::string* err) {
  if (g_save.file == INVALID_HANDLE_VALUE) return true;
  if (!FlushFileBuffers(g_save.file)) {
    *err = Reason("cannot write the save", g_save.path, GetLastError());
    return false;
  }
  return true;
}

// Every record is written when it comes: there is no room made ahead.
void StoreClose() {}

bool StoreReplace(const std::string& bytes, std::string* err) {
  fs::path temporary = g_save.path;
  temporary += L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *err = Reason("cannot write", temporary, GetLastError());
    return false;
  }
  bool written = WriteAll(file, bytes) && FlushFileBuffers(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  Close(&g_save.file);
  if (!written || !MoveFileExW(temporary.c_str(), g_save.path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (written) error = GetLastError();
    DeleteFileW(temporary.c_str());
    *err = Reason("cannot write the save", g_save.path, error);
    return false;
  }
  g_save.file = OpenForAppending(g_save.path, OPEN_EXISTING);
  if (g_save.file == INVALID_HANDLE_VALUE) {
    *err = Reason("cannot write the save", g_save.path, GetLastError());
    return false;
  }
  return true;
}

void StoreDiscard(bool for_good) {
  Close(&g_save.file);
  if (!g_save.path.empty()) DeleteFileW(g_save.path.c_str());
  if (for_good && g_save.lock != INVALID_HANDLE_VALUE) {
    Close(&g_save.lock);
    DeleteFileW(g_save.lock_path.c_str());
  }
}

std::string StoreName() { return Text(g_save.path); }
