// The web build's rand(): the GNU C library's numbers for every seed, so that
// a second of the clock gives the same computer moves in the browser.
#include "glibc_rand.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

#ifdef __GLIBC__
TEST(GlibcRandTest, SameNumbersAsTheCLibrary) {
  // 0 is taken as 1; seeds past 2^31 wrap to negative words.
  const unsigned seeds[] = {0u,          1u,          2u,          1000u,      127773u,
                            1765000000u, 2147483647u, 2147483648u, 4294967295u};
  GlibcRand generator;
  for (unsigned seed : seeds) {
    srand(seed);
    generator.Seed(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(generator.Next(), rand()) << "seed " << seed;
  }
}

TEST(GlibcRandTest, UnseededAsSeededWithOne) {
  GlibcRand unseeded;
  srand(1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(unseeded.Next(), rand());
}
#endif

TEST(GlibcRandTest, SeedingAgainStartsOver) {
  GlibcRand generator;
  generator.Seed(42);
  int first = generator.Next();
  generator.Next();
  generator.Seed(42);
  EXPECT_EQ(generator.Next(), first);
}

}  // namespace
