// Every effect gives the bytes of its plain code on one thread whatever the
// number of threads and whether vector code runs, and effects applied at
// the same time on different threads do not disturb each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_parallel.h"
#include "imaging/image_processing.h"
#include "imaging/image_stylize.h"
#include "tests/imaging/effect_pictures.h"

using namespace effect_test;

namespace {

// The effects that define the output's alpha samples.
bool defines_alpha(const std::string &name) {
  return name == "spread" || name == "edge_detect" || name == "emboss";
}

Image apply(VorpixEffectFunc effect, const Image &input, int threads, bool vectors) {
  image_parallel_set_threads(threads);
  image_parallel_set_vectors(vectors);
  Image output = garbage_output(image_width(input.get()), image_height(input.get()), 0x5a);
  // Add noise and spread draw from random(): the same values every time.
  srandom(77);
  effect(input.get(), output.get());
  image_parallel_set_threads(0);
  image_parallel_set_vectors(true);
  return output;
}

struct Path {
  int threads;
  bool vectors;
};

// More threads than cores, and counts that split the rows unevenly.
const Path kPaths[] = {{1, true}, {2, true}, {3, true}, {7, true}, {5, false}};

void expect_every_path_alike(const VorpixEffectEntry &effect, const Image &input,
                             const std::string &what) {
  const Image plain = apply(effect.func, input, 1, false);
  const int channels = defines_alpha(effect.name) ? 4 : 3;
  for (const Path &path : kPaths)
    EXPECT_EQ(first_difference(apply(effect.func, input, path.threads, path.vectors), plain,
                               channels),
              "")
        << effect.name << " " << what << " on " << path.threads << " threads, vectors "
        << path.vectors;
}

struct Picture {
  int width, height;
  Kind kind;
};

// Big enough to be split over several threads; narrow, wide and odd shapes
// put the vector steps' leftovers and the range boundaries everywhere.
const Picture kPictures[] = {
    {640, 480, Kind::kGradient}, {517, 333, Kind::kNoise}, {45, 2001, Kind::kFewLevels},
    {2001, 45, Kind::kGradient}, {7, 9000, Kind::kNoise},
};

TEST(EffectPaths, EveryThreadCountAndPathGivesThePlainBytes) {
  unsigned seed = 1;
  for (const Picture &picture : kPictures) {
    const Image input = random_picture(picture.width, picture.height, picture.kind, seed++);
    const std::string what = std::to_string(picture.width) + "x" + std::to_string(picture.height);
    for (const VorpixEffectEntry *effect = effect_table; effect->name; effect++)
      expect_every_path_alike(*effect, input, what);
  }
}

// Parameters at the edges of the vector paths: oil paint windows whose
// counts just fit a byte and just do not, pixelize blocks four wide whose
// area is and is not a power of two, a smooth window the vector code does
// not take.
TEST(EffectPaths, ParametersAtTheEdgesOfTheVectorPathsGiveThePlainBytes) {
  struct Case {
    const char *effect;
    gint32 *field;
    gint32 value;
    gint32 *second_field;
    gint32 second_value;
  };
  const Case cases[] = {
      {"oil_paint", &ImgProcessInfo.oil_paint_window, 15, nullptr, 0},
      {"oil_paint", &ImgProcessInfo.oil_paint_window, 16, nullptr, 0},
      {"oil_paint", &ImgProcessInfo.oil_paint_window, 2, nullptr, 0},
      {"pixelize", &ImgProcessInfo.pixelize_width, 4, &ImgProcessInfo.pixelize_height, 2},
      {"pixelize", &ImgProcessInfo.pixelize_width, 4, &ImgProcessInfo.pixelize_height, 3},
      {"pixelize", &ImgProcessInfo.pixelize_width, 4, &ImgProcessInfo.pixelize_height, 64},
      {"pixelize", &ImgProcessInfo.pixelize_width, 4, &ImgProcessInfo.pixelize_height, 128},
      {"smooth", &ImgProcessInfo.smooth_window, 5, nullptr, 0},
      {"despeckle", &ImgProcessInfo.despeckle_window, 5, nullptr, 0},
  };
  const Image input = random_picture(300, 250, Kind::kFewLevels, 11);
  for (const Case &c : cases) {
    ParamOverride first(c.field, c.value);
    gint32 unused = 0;
    ParamOverride second(c.second_field ? c.second_field : &unused, c.second_value);
    expect_every_path_alike({c.effect, image_lookup_effect(c.effect)}, input,
                            "with parameter " + std::to_string(c.value) + "/" +
                                std::to_string(c.second_value));
  }
}

TEST(EffectPaths, EffectsAppliedTogetherOnTwoThreadsGiveTheirOwnResults) {
  const Image left = random_picture(400, 300, Kind::kGradient, 21);
  const Image right = random_picture(300, 400, Kind::kNoise, 22);
  for (const VorpixEffectEntry *a = effect_table; a->name; a++) {
    const VorpixEffectEntry *b = a[1].name ? a + 1 : effect_table;
    const std::string names = std::string(a->name) + " with " + b->name;
    if (names.find("noise") != std::string::npos || names.find("spread") != std::string::npos)
      continue;  // they share the random sequence; see below
    const Image expected_a = apply(a->func, left, 0, true), expected_b = apply(b->func, right, 0, true);
    Image got_a = garbage_output(400, 300, 0x5a), got_b = garbage_output(300, 400, 0x5a);
    std::thread other([&] { b->func(right.get(), got_b.get()); });
    a->func(left.get(), got_a.get());
    other.join();
    EXPECT_EQ(first_difference(got_a, expected_a, defines_alpha(a->name) ? 4 : 3), "") << names;
    EXPECT_EQ(first_difference(got_b, expected_b, defines_alpha(b->name) ? 4 : 3), "") << names;
  }
}

TEST(EffectPaths, NoiseAppliedTogetherTakesTheSequenceOnceForEach) {
  const Image input = random_picture(300, 200, Kind::kGradient, 23);
  srandom(5);
  Image first = garbage_output(300, 200, 0), second = garbage_output(300, 200, 0);
  ImageAddNoise(input.get(), first.get());
  ImageAddNoise(input.get(), second.get());

  srandom(5);
  Image a = garbage_output(300, 200, 0), b = garbage_output(300, 200, 0);
  std::thread other([&] { ImageAddNoise(input.get(), b.get()); });
  ImageAddNoise(input.get(), a.get());
  other.join();
  const bool in_order = first_difference(a, first, 3).empty() && first_difference(b, second, 3).empty();
  const bool swapped = first_difference(b, first, 3).empty() && first_difference(a, second, 3).empty();
  EXPECT_TRUE(in_order || swapped);
}

TEST(ParallelFor, CoversEveryUnitOnceAndRethrowsOnTheCallingThread) {
  image_parallel_set_threads(4);
  std::vector<int> visits(100000, 0);
  image_parallel_for(100000, 1, [&](int first, int last) {
    for (int i = first; i < last; i++) visits[i]++;
  });
  EXPECT_EQ(std::count(visits.begin(), visits.end(), 1), 100000);

  std::vector<int> finished(100000, 0);
  EXPECT_THROW(image_parallel_for(100000, 1,
                                  [&](int first, int last) {
                                    if (first > 0 && first < 50000) throw std::bad_alloc();
                                    for (int i = first; i < last; i++) finished[i] = 1;
                                  }),
               std::bad_alloc);
  // The other ranges ran to their end before the exception came back.
  EXPECT_EQ(finished.back(), 1);
  EXPECT_EQ(finished.front(), 1);
  image_parallel_set_threads(0);
}

}  // namespace
