// What each effect computes on pictures small enough to work out by hand, and
// the properties every effect keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/image_filters.h"
#include "imaging/image_processing.h"
#include "imaging/image_quantize.h"
#include "imaging/image_stylize.h"
#include "tests/imaging/effect_pictures.h"

using namespace effect_test;

namespace {

using Colour = std::tuple<int, int, int>;

struct Size {
  int width, height;
};

Colour colour_at(const Image &image, int x, int y) {
  const guchar *p = pixel(image, x, y);
  return {p[0], p[1], p[2]};
}

Image run_effect(VorpixEffectFunc effect, const Image &input) {
  Image output = new_image(image_width(input.get()), image_height(input.get()));
  effect(input.get(), output.get());
  return output;
}

// A black picture whose column x is white.
Image white_column(int width, int height, int column) {
  Image image = uniform(width, height, 0, 0, 0);
  for (int y = 0; y < height; y++) set_colour(image, column, y, 255, 255, 255);
  return image;
}

std::multiset<Colour> colours_of(const Image &image) {
  std::multiset<Colour> colours;
  for (int y = 0; y < image_height(image.get()); y++)
    for (int x = 0; x < image_width(image.get()); x++) colours.insert(colour_at(image, x, y));
  return colours;
}

// ---- table and lookup ----

TEST(EffectLookup, FindsEffectsByExactName) {
  EXPECT_EQ(image_lookup_effect("emboss"), &ImageEmbose);
  EXPECT_EQ(image_lookup_effect("Emboss"), nullptr);
  EXPECT_EQ(image_lookup_effect("invert"), nullptr);
  EXPECT_EQ(image_lookup_effect(""), nullptr);
  EXPECT_EQ(image_lookup_effect("quantize_color"), &ImageQuantize);
  EXPECT_EQ(image_lookup_effect("convert_to_greyscale"), &ImageGrey);
}

TEST(EffectLookup, TableHoldsFifteenEffectsClosedByNulls) {
  int rows = 0;
  while (effect_table[rows].name) {
    EXPECT_NE(effect_table[rows].func, nullptr) << effect_table[rows].name;
    EXPECT_EQ(image_lookup_effect(effect_table[rows].name), effect_table[rows].func);
    rows++;
  }
  EXPECT_EQ(rows, 15);
  EXPECT_EQ(effect_table[rows].func, nullptr);
  EXPECT_STREQ(effect_table[0].name, "sharpen");
  EXPECT_STREQ(effect_table[14].name, "convert_to_greyscale");
}

TEST(EffectContract, EveryEffectLeavesItsInputUnchanged) {
  for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++) {
    Image input = random_picture(23, 17, Kind::kNoise, 7);
    Image before = copy_image(input);
    Image output = run_effect(entry->func, input);
    EXPECT_EQ(first_difference(input, before, 4), "") << entry->name;
  }
}

TEST(EffectContract, EveryEffectWritesEveryColourSample) {
  // Two runs into outputs holding different garbage must agree wherever the
  // effect defines the result.
  for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++) {
    Image input = random_picture(19, 11, Kind::kGradient, 3);
    Image first = garbage_output(19, 11, 0x00), second = garbage_output(19, 11, 0xff);
    srandom(99);
    entry->func(input.get(), first.get());
    srandom(99);
    entry->func(input.get(), second.get());
    EXPECT_EQ(first_difference(first, second, 3), "") << entry->name;
  }
}

// ---- per-pixel effects ----

TEST(Greyscale, WeighsRedGreenAndBlue) {
  Image input = new_image(4, 1);
  set_colour(input, 0, 0, 255, 0, 0);
  set_colour(input, 1, 0, 0, 255, 0);
  set_colour(input, 2, 0, 0, 0, 255);
  set_colour(input, 3, 0, 255, 255, 255);
  Image output = run_effect(ImageGrey, input);
  EXPECT_EQ(colour_at(output, 0, 0), Colour(87, 87, 87));
  EXPECT_EQ(colour_at(output, 1, 0), Colour(127, 127, 127));
  EXPECT_EQ(colour_at(output, 2, 0), Colour(39, 39, 39));
  EXPECT_EQ(colour_at(output, 3, 0), Colour(255, 255, 255));
}

TEST(Solarize, InvertsSamplesAboveHalf) {
  Image input = new_image(2, 1);
  set_colour(input, 0, 0, 127, 128, 255);
  set_colour(input, 1, 0, 0, 200, 1);
  Image output = run_effect(ImageSolarize, input);
  EXPECT_EQ(colour_at(output, 0, 0), Colour(127, 127, 0));
  EXPECT_EQ(colour_at(output, 1, 0), Colour(0, 55, 1));
}

TEST(NormalizeContrast, UniformGreyBecomesBlack) {
  for (int level : {0, 1, 77, 254, 255}) {
    Image output = run_effect(ImageNormContrast, uniform(9, 7, level, level, level));
    EXPECT_EQ(colour_at(output, 4, 3), Colour(0, 0, 0)) << level;
  }
}

TEST(NormalizeContrast, StretchesEvenRampBetweenPercentiles) {
  // Levels 10..200, 100 pixels each: the 2 % cut falls on level 13, the 1 %
  // cut on 199, and the ramp reaches 201, one above the brightest level.
  Image input = new_image(191, 100);
  for (int x = 0; x < 191; x++)
    for (int y = 0; y < 100; y++) set_colour(input, x, y, 10 + x, 10 + x, 10 + x);
  Image output = run_effect(ImageNormContrast, input);
  auto out = [&](int level) { return std::get<0>(colour_at(output, level - 10, 50)); };
  EXPECT_EQ(out(10), 0);
  EXPECT_EQ(out(13), 0);
  EXPECT_EQ(out(14), 1);
  EXPECT_EQ(out(106), 100);
  EXPECT_EQ(out(198), 199);
  EXPECT_EQ(out(199), 201);
  EXPECT_EQ(out(200), 201);
  for (int level = 11; level <= 200; level++) EXPECT_LE(out(level - 1), out(level));
}

TEST(NormalizeContrast, WhiteStaysWhite) {
  // Black and white halves: the ramp spans the whole range and must end at
  // 255, not wrap past it to 0.
  Image input = uniform(10, 10, 0, 0, 0);
  for (int x = 5; x < 10; x++)
    for (int y = 0; y < 10; y++) set_colour(input, x, y, 255, 255, 255);
  Image output = run_effect(ImageNormContrast, input);
  EXPECT_EQ(colour_at(output, 7, 3), Colour(255, 255, 255));
  EXPECT_EQ(colour_at(output, 2, 3), Colour(0, 0, 0));
}

// ---- convolutions ----

TEST(Convolution, SharpenAndSmoothKeepUniformPicture) {
  for (VorpixEffectFunc effect : {ImageSharpen, ImageSmooth}) {
    Image output = run_effect(effect, uniform(6, 5, 200, 31, 7));
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 6; x++) EXPECT_EQ(colour_at(output, x, y), Colour(200, 31, 7));
  }
}

TEST(Convolution, SmoothSpreadsOnePixelLineOverThreeColumns) {
  Image output = run_effect(ImageSmooth, white_column(7, 5, 3));
  for (int y = 0; y < 5; y++) {
    EXPECT_EQ(colour_at(output, 1, y), Colour(0, 0, 0));
    EXPECT_EQ(colour_at(output, 2, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(output, 3, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(output, 4, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(output, 5, y), Colour(0, 0, 0));
  }
}

TEST(Convolution, MirrorRepeatsRightEdgeButNotLeftEdge) {
  // Column width reads width-1 (the white column twice): 170.  Column -1
  // reads column 1 (black): 85.
  Image right = run_effect(ImageSmooth, white_column(6, 4, 5));
  Image left = run_effect(ImageSmooth, white_column(6, 4, 0));
  for (int y = 0; y < 4; y++) {
    EXPECT_EQ(colour_at(right, 5, y), Colour(170, 170, 170));
    EXPECT_EQ(colour_at(right, 4, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(right, 3, y), Colour(0, 0, 0));
    EXPECT_EQ(colour_at(left, 0, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(left, 1, y), Colour(85, 85, 85));
    EXPECT_EQ(colour_at(left, 2, y), Colour(0, 0, 0));
  }
}

TEST(Convolution, EdgeOfUniformPictureIsBlack) {
  Image output = run_effect(ImageEdge, uniform(5, 4, 90, 180, 30));
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 5; x++) EXPECT_EQ(colour_at(output, x, y), Colour(0, 0, 0));
}

TEST(Convolution, StretchReachesWhiteWhateverTheOutputHeld) {
  // An opaque output would stop the stretch at alpha 255; the alpha samples
  // are cleared first, so the brightest colour becomes 255.
  Image input = uniform(7, 7, 0, 0, 0);
  set_colour(input, 3, 3, 40, 40, 40);
  Image edge = garbage_output(7, 7, 0xff);
  ImageEdge(input.get(), edge.get());
  Image emboss = garbage_output(5, 5, 0xff);
  ImageEmbose(uniform(5, 5, 60, 60, 60).get(), emboss.get());
  int brightest = 0;
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 7; x++) {
      brightest = std::max(brightest, int{pixel(edge, x, y)[0]});
      EXPECT_EQ(pixel(edge, x, y)[3], 0);
    }
  EXPECT_EQ(brightest, 255);
  // Emboss of a uniform picture is the grey 128 before the stretch.
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) {
      EXPECT_EQ(colour_at(emboss, x, y), Colour(255, 255, 255));
      EXPECT_EQ(pixel(emboss, x, y)[3], 0);
    }
}

// ---- directional smooth ----

TEST(DirectionalSmooth, PictureTwoPixelsHighIsUnchanged) {
  Image input = random_picture(9, 2, Kind::kNoise, 5);
  Image output = run_effect(ImageDirectionalFilter, input);
  EXPECT_EQ(first_difference(input, output, 3), "");
}

TEST(DirectionalSmooth, ThreeByThreeChangesOnlyTheCentre) {
  Image input = random_picture(3, 3, Kind::kNoise, 6);
  Image output = run_effect(ImageDirectionalFilter, input);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++)
      if (x != 1 || y != 1) {
        EXPECT_EQ(colour_at(output, x, y), colour_at(input, x, y));
      }
}

TEST(DirectionalSmooth, TiesGoToTheDownRightDiagonal) {
  // Grey 100 and green (0, 200, 0) have the same luminance: all four lines
  // tie, and the greens on the down-right diagonal show which line was used.
  Image input = uniform(3, 3, 100, 100, 100);
  set_colour(input, 0, 0, 0, 200, 0);
  set_colour(input, 2, 2, 0, 200, 0);
  Image output = run_effect(ImageDirectionalFilter, input);
  EXPECT_EQ(colour_at(output, 1, 1), Colour(33, 166, 33));
}

TEST(DirectionalSmooth, SmoothsAlongTheFlattestLine) {
  // A horizontal white line through the centre: only the horizontal line
  // keeps the centre's luminance.
  Image input = uniform(3, 3, 0, 0, 0);
  for (int x = 0; x < 3; x++) set_colour(input, x, 1, 255, 255, 255);
  set_colour(input, 2, 1, 240, 240, 240);
  Image output = run_effect(ImageDirectionalFilter, input);
  EXPECT_EQ(colour_at(output, 1, 1), Colour(250, 250, 250));
}

// ---- despeckle ----

TEST(Despeckle, RemovesIsolatedPixelInside) {
  Image input = uniform(5, 5, 0, 0, 0);
  set_colour(input, 2, 2, 255, 255, 255);
  Image output = run_effect(ImageDespeckle, input);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) EXPECT_EQ(colour_at(output, x, y), Colour(0, 0, 0));
}

TEST(Despeckle, IsolatedPixelInLeftColumnHalvesIntoTwo) {
  Image input = uniform(5, 5, 0, 0, 0);
  set_colour(input, 0, 2, 255, 255, 255);
  Image output = run_effect(ImageDespeckle, input);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) {
      const int expected = x == 0 && (y == 2 || y == 3) ? 127 : 0;
      EXPECT_EQ(colour_at(output, x, y), Colour(expected, expected, expected)) << x << "," << y;
    }
}

TEST(Despeckle, TopLeftPixelIsKept) {
  Image input = random_picture(6, 4, Kind::kNoise, 8);
  Image output = run_effect(ImageDespeckle, input);
  EXPECT_EQ(colour_at(output, 0, 0), colour_at(input, 0, 0));
}

TEST(Despeckle, PictureOnePixelWideOrHighIsUnchanged) {
  for (Size size : {Size{1, 9}, Size{9, 1}, Size{1, 1}}) {
    Image input = random_picture(size.width, size.height, Kind::kNoise, 9);
    Image output = run_effect(ImageDespeckle, input);
    EXPECT_EQ(first_difference(input, output, 3), "") << size.width << "x" << size.height;
  }
}

// ---- oil paint ----

TEST(OilPaint, MostPopulatedBinGivesItsLatestSample) {
  // Five pixels in one row all fall into the window of the middle one.
  Image input = new_image(5, 1);
  const int samples[] = {8, 4, 9, 7, 5};
  for (int x = 0; x < 5; x++) set_colour(input, x, 0, samples[x], 0, 0);
  Image output = run_effect(ImageOilPaint, input);
  EXPECT_EQ(std::get<0>(colour_at(output, 2, 0)), 5);
}

TEST(OilPaint, TieGoesToTheBinThatGotThereFirst) {
  Image input = new_image(2, 1);
  set_colour(input, 0, 0, 8, 0, 0);
  set_colour(input, 1, 0, 4, 0, 0);
  Image output = run_effect(ImageOilPaint, input);
  EXPECT_EQ(std::get<0>(colour_at(output, 0, 0)), 8);
}

// ---- noise and spread ----

TEST(AddNoise, StaysWithinBoundAndChangesBetweenApplications) {
  Image input = uniform(64, 64, 128, 128, 128);
  Image first = run_effect(ImageAddNoise, input);
  Image second = run_effect(ImageAddNoise, input);
  int largest = 0;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++)
      for (int c = 0; c < 3; c++)
        largest = std::max(largest, std::abs(pixel(first, x, y)[c] - 128));
  EXPECT_LE(largest, 138);
  EXPECT_GT(largest, 90);  // a deviation of 40 reaches this often in 12288 samples
  EXPECT_NE(first_difference(first, second, 3), "");
}

TEST(AddNoise, BlackPictureKeepsAboutHalfItsSamples) {
  Image output = run_effect(ImageAddNoise, uniform(50, 50, 0, 0, 0));
  int zeros = 0;
  for (int y = 0; y < 50; y++)
    for (int x = 0; x < 50; x++)
      for (int c = 0; c < 3; c++) zeros += pixel(output, x, y)[c] == 0;
  EXPECT_GT(zeros, 7500 * 4 / 10);
  EXPECT_LT(zeros, 7500 * 6 / 10);
}

TEST(Spread, OnePixelWidePictureOnlyShufflesItsColumn) {
  Image input = random_picture(1, 12, Kind::kNoise, 10);
  Image output = run_effect(ImageSpread, input);
  EXPECT_EQ(colours_of(output), colours_of(input));
  EXPECT_NE(first_difference(input, output, 3), "");
}

TEST(Spread, UniformPictureIsUnchangedAlphaIncluded) {
  Image input = new_image(8, 6);
  fill(input, 10, 20, 30, 77);
  Image output = run_effect(ImageSpread, input);
  EXPECT_EQ(first_difference(input, output, 4), "");
}

// Whole pixels move: each keeps the alpha it had with its colours.
TEST(Spread, AlphaTravelsWithItsColours) {
  Image input = random_picture(13, 9, Kind::kNoise, 12);
  auto alpha_of = [](const guchar *p) { return static_cast<guchar>(p[0] ^ p[1] ^ p[2]); };
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 13; x++) pixel(input, x, y)[3] = alpha_of(pixel(input, x, y));
  Image output = run_effect(ImageSpread, input);
  EXPECT_NE(first_difference(input, output, 4), "");
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 13; x++)
      ASSERT_EQ(pixel(output, x, y)[3], alpha_of(pixel(output, x, y))) << x << "," << y;
}

TEST(Spread, MovesColoursButKeepsEveryOne) {
  Image input = random_picture(13, 9, Kind::kNoise, 11);
  Image output = run_effect(ImageSpread, input);
  EXPECT_EQ(colours_of(output), colours_of(input));
}

TEST(SpreadDeathTest, OutputOfAnotherSizeAborts) {
  Image input = new_image(4, 4);
  Image narrow = new_image(3, 4);
  EXPECT_DEATH(ImageSpread(input.get(), narrow.get()),
               "image_width \\(input\\) == image_width \\(output\\)");
}

// ---- pixelize and blend ----

TEST(Pixelize, WholeBlocksBecomeFlatAndStripsKeepTheInput) {
  Image input = random_picture(10, 10, Kind::kNoise, 12);
  Image output = run_effect(ImagePixelize, input);
  for (int by = 0; by < 8; by += 4)
    for (int bx = 0; bx < 8; bx += 4) {
      int sum[3] = {0, 0, 0};
      for (int y = by; y < by + 4; y++)
        for (int x = bx; x < bx + 4; x++)
          for (int c = 0; c < 3; c++) sum[c] += pixel(input, x, y)[c];
      for (int y = by; y < by + 4; y++)
        for (int x = bx; x < bx + 4; x++)
          EXPECT_EQ(colour_at(output, x, y), Colour(sum[0] / 16, sum[1] / 16, sum[2] / 16));
    }
  for (int i = 0; i < 10; i++)
    for (int j = 8; j < 10; j++) {
      EXPECT_EQ(colour_at(output, j, i), colour_at(input, j, i));
      EXPECT_EQ(colour_at(output, i, j), colour_at(input, i, j));
    }
}

TEST(Pixelize, SmallPictureBecomesItsAverage) {
  Image input = random_picture(3, 3, Kind::kNoise, 13);
  int sum[3] = {0, 0, 0};
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++)
      for (int c = 0; c < 3; c++) sum[c] += pixel(input, x, y)[c];
  Image output = run_effect(ImagePixelize, input);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++)
      EXPECT_EQ(colour_at(output, x, y), Colour(sum[0] / 9, sum[1] / 9, sum[2] / 9));
}

TEST(Blend, ThreeByThreeCentreIsTheBorderMean) {
  Image input = random_picture(3, 3, Kind::kNoise, 14);
  int sum[3] = {0, 0, 0};
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++)
      if (x != 1 || y != 1)
        for (int c = 0; c < 3; c++) sum[c] += pixel(input, x, y)[c];
  Image output = run_effect(ImageBlend, input);
  EXPECT_EQ(colour_at(output, 1, 1), Colour(sum[0] / 8, sum[1] / 8, sum[2] / 8));
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++)
      if (x != 1 || y != 1) {
        EXPECT_EQ(colour_at(output, x, y), colour_at(input, x, y));
      }
}

TEST(Blend, NarrowPictureIsUnchanged) {
  for (Size size : {Size{2, 7}, Size{7, 2}, Size{1, 1}}) {
    Image input = random_picture(size.width, size.height, Kind::kNoise, 15);
    Image output = run_effect(ImageBlend, input);
    EXPECT_EQ(first_difference(input, output, 3), "") << size.width << "x" << size.height;
  }
}

TEST(Blend, RayToTopRightCornerOfEvenPictureReadsLastColumn) {
  // On 6 x 6 the ray through (4, 2) ends at (6, 0), one column past the
  // picture; it reads (5, 0), the only white pixel.  f = 1/3 and the mean is
  // 255 / 20 = 12, so the pixel gets 2/3 x 12 + 255/3 = 93.  Reading past the
  // row would give the black (0, 1) and 8.
  Image input = uniform(6, 6, 0, 0, 0);
  set_colour(input, 5, 0, 255, 255, 255);
  Image output = run_effect(ImageBlend, input);
  EXPECT_EQ(colour_at(output, 4, 2), Colour(93, 93, 93));
}

// ---- quantization ----

TEST(Quantize, LeavesAtMostPaletteSizeColours) {
  for (Kind kind : {Kind::kNoise, Kind::kGradient}) {
    Image input = random_picture(160, 120, kind, 16);
    Image output = run_effect(ImageQuantize, input);
    const std::multiset<Colour> colours = colours_of(output);
    const std::set<Colour> distinct(colours.begin(), colours.end());
    EXPECT_LE(distinct.size(), 16u) << kind_name(kind);
    EXPECT_GE(distinct.size(), 4u) << kind_name(kind);
  }
}

TEST(Quantize, PixelsOfOneCellGetOneColour) {
  Image input = random_picture(97, 61, Kind::kGradient, 17);
  Image output = run_effect(ImageQuantize, input);
  std::vector<int> colour_of_cell(65536, -1);
  for (int y = 0; y < 61; y++)
    for (int x = 0; x < 97; x++) {
      const guchar *s = pixel(input, x, y), *d = pixel(output, x, y);
      const int cell = (s[0] / 8) * 2048 + (s[1] / 4) * 32 + s[2] / 8;
      const int colour = d[0] << 16 | d[1] << 8 | d[2];
      if (colour_of_cell[cell] < 0) colour_of_cell[cell] = colour;
      EXPECT_EQ(colour_of_cell[cell], colour);
    }
}

TEST(Quantize, UniformPictureStaysUniform) {
  for (const Colour &c : {Colour(200, 30, 90), Colour(0, 0, 0), Colour(255, 255, 255)}) {
    Image output =
        run_effect(ImageQuantize, uniform(33, 21, std::get<0>(c), std::get<1>(c), std::get<2>(c)));
    EXPECT_EQ(colours_of(output).count(colour_at(output, 0, 0)), 33u * 21u);
  }
}

TEST(Quantize, ReportsErrorLeftAtTheEndOfTheWalk) {
  // Everything in the walk's last cell, whose weight stays below the
  // threshold: no colour is chosen and the cell keeps its whole value.
  testing::internal::CaptureStderr();
  Image output = run_effect(ImageQuantize, uniform(20, 20, 4, 254, 4));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "lost error term\n");
  // The black entry 0 serves the picture and moves towards it in steps of 4.
  EXPECT_EQ(colour_at(output, 5, 5), Colour(4, 252, 4));
}

TEST(Quantize, SilentWhenThePaletteFills) {
  testing::internal::CaptureStderr();
  run_effect(ImageQuantize, random_picture(64, 33, Kind::kNoise, 18));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
