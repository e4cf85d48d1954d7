// Values drawn through VorpixRandomDraws against the C library's own
// random(), from the same seeds, and the library's sequence afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "imaging/image_random.h"

namespace {

std::vector<guint32> library_values(unsigned seed, gsize count) {
  srandom(seed);
  std::vector<guint32> values(count);
  for (guint32 &v : values) v = static_cast<guint32>(random());
  return values;
}

// Draws the values in pieces of the given sizes, one holder for each piece
// (a new holder starts where the last one left the library's sequence).
std::vector<guint32> drawn_values(unsigned seed, const std::vector<gsize> &pieces) {
  srandom(seed);
  std::vector<guint32> values;
  for (gsize piece : pieces) {
    std::vector<guint32> part(piece);
    VorpixRandomDraws().draw(part.data(), piece);
    values.insert(values.end(), part.begin(), part.end());
  }
  return values;
}

TEST(RandomDraws, GiveTheLibrarysSequenceFromAnySeed) {
  // Seed 0 is taken as 1 by the library; the largest seeds turn negative in
  // its seeding arithmetic.
  const unsigned seeds[] = {0, 1, 2, 1234, 2147483647u, 2147483648u, 4294967295u};
  // Pieces shorter than, equal to and longer than the 31-value table, at
  // every position in it.
  const std::vector<gsize> pieces = {1, 2, 3, 4, 30, 31, 32, 5, 100, 1000, 7, 4096};
  gsize total = 0;
  for (gsize piece : pieces) total += piece;
  for (unsigned seed : seeds) EXPECT_EQ(drawn_values(seed, pieces), library_values(seed, total)) << seed;
}

TEST(RandomDraws, LibraryContinuesWhereTheDrawsStopped) {
  const std::vector<guint32> expected = library_values(99, 3000);
  srandom(99);
  std::vector<guint32> got(1000);
  {
    VorpixRandomDraws draws;
    draws.draw(got.data(), 500);
    draws.draw(got.data() + 500, 500);
  }
  for (int i = 0; i < 1000; i++) got.push_back(static_cast<guint32>(random()));
  got.resize(3000);
  VorpixRandomDraws().draw(got.data() + 2000, 1000);
  EXPECT_EQ(got, expected);
}

TEST(RandomDraws, OtherGeneratorsOfTheLibraryAreFollowedToo) {
  // A 256-byte state chooses another feedback generator, 8 bytes the linear
  // one: both are served by random() itself, still in step.
  for (gsize size : {gsize{8}, gsize{256}}) {
    std::vector<char> state(size);
    char *previous = initstate(5, state.data(), size);
    std::vector<guint32> expected(700);
    for (guint32 &v : expected) v = static_cast<guint32>(random());
    srandom(5);
    std::vector<guint32> got(700);
    VorpixRandomDraws().draw(got.data(), 300);
    for (gsize i = 300; i < 700; i++) got[i] = static_cast<guint32>(random());
    setstate(previous);
    EXPECT_EQ(got, expected) << size;
  }
}

TEST(RandomDraws, HoldersOnTwoThreadsTakeTheSequenceInTurn) {
  const std::vector<guint32> expected = library_values(7, 20000);
  srandom(7);
  std::vector<guint32> first(10000), second(10000);
  std::thread other([&] { VorpixRandomDraws().draw(second.data(), second.size()); });
  VorpixRandomDraws().draw(first.data(), first.size());
  other.join();
  // Whichever came first took the first half, whole.
  const std::vector<guint32> front(expected.begin(), expected.begin() + 10000);
  const std::vector<guint32> back(expected.begin() + 10000, expected.end());
  EXPECT_TRUE((first == front && second == back) || (first == back && second == front));
}

}  // namespace
