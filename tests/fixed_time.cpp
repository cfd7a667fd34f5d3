// A clock fixed from outside the engine, for the tests of the real binary:
// preloaded into ostrel, it answers time() with $OSTREL_TEST_TIME and, when
// $OSTREL_TEST_NO_SLEEP is set, lets every pause end at once. When
// $OSTREL_TEST_PAUSES is set, every pause ends at once too and is written to
// standard output as "[[sleep N]]", where it falls among the engine's bytes,
// as ostrel-replay --show-pauses writes it: the engine's clock then moves on
// by its pauses alone, so N is exactly what the engine asked for. Preloaded
// into Wine, it fixes the calendar clock of ostrel.exe too, through
// clock_gettime.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// The monotonic clock while pauses are written: it moves by pauses alone.
long long g_pause_clock_ns = -1;

bool TracePauses() { return std::getenv("OSTREL_TEST_PAUSES") != nullptr; }

long long Nanoseconds(const struct timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

void WriteMarker(long long ms) {
  char marker[64];
  int size = std::snprintf(marker, sizeof marker, "[[sleep %lld]]", ms);
  for (int done = 0; done < size;) {
    ssize_t n = write(STDOUT_FILENO, marker + done, static_cast<size_t>(size - done));
    if (n <= 0) return;
    done += static_cast<int>(n);
  }
}

}  // namespace

extern "C" time_t time(time_t* out) {
  const char* value = std::getenv("OSTREL_TEST_TIME");
  time_t now = value != nullptr ? static_cast<time_t>(std::atoll(value)) : 0;
  if (out != nullptr) *out = now;
  return now;
}

extern "C" int clock_nanosleep(clockid_t clock, int flags,
                               const struct timespec* request,
                               struct timespec* remain) {
  if (TracePauses()) {
    if (g_pause_clock_ns < 0) {
      struct timespec start;
      clock_gettime(CLOCK_MONOTONIC, &start);
    }
    long long until = (flags & TIMER_ABSTIME)
                          ? Nanoseconds(*request)
                          : g_pause_clock_ns + Nanoseconds(*request);
    WriteMarker((until - g_pause_clock_ns + 500000) / 1000000);
    if (until > g_pause_clock_ns) g_pause_clock_ns = until;
    return 0;
  }
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
  if (clock == CLOCK_MONOTONIC && TracePauses()) {
    if (g_pause_clock_ns < 0) g_pause_clock_ns = Nanoseconds(*now);
    now->tv_sec = static_cast<time_t>(g_pause_clock_ns / 1000000000LL);
    now->tv_nsec = static_cast<long>(g_pause_clock_ns % 1000000000LL);
    return result;
  }
  const char* value = std::getenv("OSTREL_TEST_TIME");
  if (value != nullptr && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    now->tv_sec = static_cast<time_t>(std::atoll(value));
  }
  return result;
}
