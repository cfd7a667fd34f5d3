// A clock fixed from outside the engine, for the end-to-end tests: preloaded
// into the real ostrel, it answers time() with $OSTREL_TEST_TIME.
#include <cstdlib>
#include <ctime>

extern "C" time_t time(time_t* out) {
  const char* value = std::getenv("OSTREL_TEST_TIME");
  time_t now = value != nullptr ? static_cast<time_t>(std::atoll(value)) : 0;
  if (out != nullptr) *out = now;
  return now;
}
