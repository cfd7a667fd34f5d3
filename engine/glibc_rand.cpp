// The GNU C library's rand() generator (its default "TYPE_3" state of 31
// words), step for step.
#include "glibc_rand.h"

void GlibcRand::Seed(unsigned seed) {
  if (seed == 0) seed = 1;
  int32_t word = static_cast<int32_t>(seed);
  state_[0] = word;
  for (int i = 1; i < 31; ++i) {
    // 16807 * word % 2147483647 without overflowing 31 bits (Schrage).
    int32_t hi = word / 127773;
    int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    state_[i] = word;
  }
  front_ = 3;
  rear_ = 0;
  // The first 310 numbers are thrown away.
  for (int i = 0; i < 310; ++i) Next();
}

int GlibcRand::Next() {
  uint32_t value = static_cast<uint32_t>(state_[front_]) + static_cast<uint32_t>(state_[rear_]);
  state_[front_] = static_cast<int32_t>(value);
  front_ = (front_ + 1) % 31;
  rear_ = (rear_ + 1) % 31;
  return static_cast<int>(value >> 1);
}
