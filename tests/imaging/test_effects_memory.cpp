// Effects whose scratch memory cannot be had give std::bad_alloc to their
// caller, on whichever thread the allocation failed, and leave their input
// and the random sequence as they were.  The program's operator new is
// replaced here so that allocations can be refused on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>
#include <string>

#include "imaging/image_parallel.h"
#include "imaging/image_processing.h"
#include "imaging/image_stylize.h"
#include "tests/imaging/effect_pictures.h"

// GCC pairs the library's operator new with these deletes and warns about
// free(); here new is malloc() too.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

// While set, every allocation of at least this many bytes fails.
std::atomic<std::size_t> refuse_from{0};

}  // namespace

void *operator new(std::size_t size) {
  const std::size_t limit = refuse_from.load();
  if (limit != 0 && size >= limit) throw std::bad_alloc();
  if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

using namespace effect_test;

namespace {

// Runs the effect with large allocations refused; true when it gave up with
// std::bad_alloc.
bool runs_out_of_memory(VorpixEffectFunc effect, const Image &input, Image &output) {
  refuse_from = 4096;
  bool failed = false;
  try {
    effect(input.get(), output.get());
  } catch (const std::bad_alloc &) {
    failed = true;
  }
  refuse_from = 0;
  return failed;
}

TEST(EffectMemory, ScratchThatCannotBeHadComesBackAsBadAlloc) {
  // Effects whose scratch grows with the picture; the others may need none.
  const std::set<std::string> need_scratch = {
      "sharpen",  "smooth", "directional_smooth", "edge_detect",        "emboss",
      "oil_paint", "add_noise", "spread",          "normalize_contrast", "blend",
      "quantize_color"};
  const Image input = random_picture(1500, 700, Kind::kGradient, 3);
  const Image before = copy_image(input);
  for (int threads : {1, 2}) {
    image_parallel_set_threads(threads);
    for (const VorpixEffectEntry *effect = effect_table; effect->name; effect++) {
      Image output = new_image(1500, 700);
      const bool failed = runs_out_of_memory(effect->func, input, output);
      if (need_scratch.count(effect->name)) {
        EXPECT_TRUE(failed) << effect->name << " on " << threads << " threads";
      }
    }
  }
  image_parallel_set_threads(0);
  EXPECT_EQ(first_difference(input, before, 4), "");
}

TEST(EffectMemory, NoiseThatRanOutOfMemoryLeavesTheSequenceAlone) {
  srandom(31);
  const long expected = random();
  srandom(31);
  const Image input = random_picture(1500, 700, Kind::kGradient, 4);
  Image output = new_image(1500, 700);
  EXPECT_TRUE(runs_out_of_memory(ImageAddNoise, input, output));
  EXPECT_EQ(random(), expected);
}

}  // namespace
