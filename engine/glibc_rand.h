// The pseudo-random generator of the GNU C library's rand() and srand(), for
// the builds whose C library draws other numbers: the computer's moves of a
// given second are then the same in the browser as at a Linux terminal.
#ifndef ENGINE_GLIBC_RAND_H_
#define ENGINE_GLIBC_RAND_H_

#include <cstdint>

class GlibcRand {
 public:
  GlibcRand() { Seed(1); }
  // As srand(seed).
  void Seed(unsigned seed);
  // As rand(): 0 to 2147483647.
  int Next();

 private:
  // The additive feedback generator x[i] = x[i-3] + x[i-31], in a ring of 31.
  int32_t state_[31];
  int front_ = 3;
  int rear_ = 0;
};

#endif  // ENGINE_GLIBC_RAND_H_
