// The options every authors' tool answers alike; the tools' end on an
// exception that nobody catches.
#include "common/tool_options.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

const char* g_fatal_name = "";
int g_fatal_status = 1;

[[noreturn]] void OnUncaughtException() {
  // Built in place: the memory may be what ran out.
  char message[512];
  std::snprintf(message, sizeof message, "%s: fatal error", g_fatal_name);
  if (std::exception_ptr thrown = std::current_exception()) {
    try {
      std::rethrow_exception(thrown);
    } catch (const std::exception& e) {
      std::snprintf(message, sizeof message, "%s: fatal error: %s", g_fatal_name, e.what());
    } catch (...) {
    }
  }
  std::fputs(message, stderr);
  std::fputs("\n", stderr);
  std::_Exit(g_fatal_status);
}

}  // namespace

void EndOnUncaughtException(const char* name, int status) {
  g_fatal_name = name;
  g_fatal_status = status;
  std::set_terminate(OnUncaughtException);
}
