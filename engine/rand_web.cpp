// rand() and srand() of the web build, in place of its C library's own: the
// GNU C library's numbers, so that the computer's moves of a given second
// are the same in the browser as at a Linux terminal.
#include "glibc_rand.h"

namespace {
GlibcRand& Generator() {
  static GlibcRand generator;
  return generator;
}
}  // namespace

extern "C" void srand(unsigned seed) { Generator().Seed(seed); }
extern "C" int rand(void) { return Generator().Next(); }
