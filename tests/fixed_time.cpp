// A clock fixed from outside the engine, for the tests of the real binary:
// preloaded into ostrel, it answers time() with $OSTREL_TEST_TIME and, when
// $OSTREL_TEST_NO_SLEEP is set, lets every pause end at once. Preloaded into
// Wine, it fixes the calendar clock of ostrel.exe too, through clock_gettime.
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

extern "C" time_t time(time_t* out) {
  const char* value = std::getenv("OSTREL_TEST_TIME");
  time_t now = value != nullptr ? static_cast<time_t>(std::atoll(value)) : 0;
  if (out != nullptr) *out = now;
  return now;
}

extern "C" int clock_nanosleep(clockid_t clock, int flags,
                               const struct timespec* request,
                               struct timespec* remain) {
  if (std::getenv("OSTREL_TEST_NO_SLEEP") != nullptr) return 0;
  // Sleep for real: wait out the deadline by polling the clock.
  struct timespec now;
  if (flags & TIMER_ABSTIME) {
    for (;;) {
      clock_gettime(clock, &now);
      if (now.tv_sec > request->tv_sec ||
          (now.tv_sec == request->tv_sec && now.tv_nsec >= request->tv_nsec)) {
        return 0;
      }
      struct timespec step = {0, 1000000};
      nanosleep(&step, nullptr);
    }
  }
  (void)remain;
  return nanosleep(request, nullptr);
}

extern "C" int clock_gettime(clockid_t clock, struct timespec* now) {
  using Real = int (*)(clockid_t, struct timespec*);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "clock_gettime"));
  int result = real(clock, now);
  const char* value = std::getenv("OSTREL_TEST_TIME");
  if (value != nullptr && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    now->tv_sec = static_cast<time_t>(std::atoll(value));
  }
  return result;
}
