// The shipped effects against their plain versions, byte for byte, on random
// pictures of odd and even sizes, and with parameters other than the
// initial ones where an effect has a separate path for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/image_filters.h"
#include "imaging/image_processing.h"
#include "imaging/image_quantize.h"
#include "imaging/image_stylize.h"
#include "tests/imaging/effect_pictures.h"
#include "tests/imaging/reference_effects.h"

using namespace effect_test;

namespace {

struct EffectPair {
  const char *name;
  VorpixEffectFunc shipped;
  void (*plain)(const VorpixImage *, VorpixImage *);
  int channels;       // samples compared per pixel: 4 where the effect defines alpha
  bool random_draws;  // uses random(): re-seed before each version
};

void PrintTo(const EffectPair &effect, std::ostream *os) { *os << effect.name; }

const EffectPair kEffects[] = {
    {"sharpen", ImageSharpen, reference::sharpen, 3, false},
    {"smooth", ImageSmooth, reference::smooth, 3, false},
    {"directional_smooth", ImageDirectionalFilter, reference::directional, 3, false},
    {"despeckle", ImageDespeckle, reference::despeckle, 3, false},
    {"edge_detect", ImageEdge, reference::edge, 4, false},
    {"emboss", ImageEmbose, reference::emboss, 4, false},
    {"oil_paint", ImageOilPaint, reference::oil_paint, 3, false},
    {"add_noise", ImageAddNoise, reference::add_noise, 3, true},
    {"spread", ImageSpread, reference::spread, 4, true},
    {"pixelize", ImagePixelize, reference::pixelize, 3, false},
    {"blend", ImageBlend, reference::blend, 3, false},
    {"solarize", ImageSolarize, reference::solarize, 3, false},
    {"normalize_contrast", ImageNormContrast, reference::norm_contrast, 3, false},
    {"quantize_color", ImageQuantize, reference::quantize, 3, false},
    {"convert_to_greyscale", ImageGrey, reference::grey, 3, false},
};

struct Size {
  int width, height;
};

const Size kSizes[] = {{1, 1}, {2, 3}, {7, 5}, {64, 33}, {6, 6}, {3, 64}, {640, 480}};
const Kind kKinds[] = {Kind::kNoise, Kind::kFewLevels, Kind::kGradient};

// Runs both versions on one picture; the outputs start with different
// garbage so that an unwritten sample cannot pass unnoticed.
std::string compare(const EffectPair &effect, const Image &input) {
  const int w = image_width(input.get()), h = image_height(input.get());
  Image shipped = garbage_output(w, h, 0xa5);
  Image plain = garbage_output(w, h, 0x5a);
  if (effect.random_draws) srandom(1234);
  effect.shipped(input.get(), shipped.get());
  if (effect.random_draws) srandom(1234);
  effect.plain(input.get(), plain.get());
  return first_difference(shipped, plain, effect.channels);
}

class EffectMatchesReference : public testing::TestWithParam<EffectPair> {};

TEST_P(EffectMatchesReference, OnRandomPictures) {
  const EffectPair &effect = GetParam();
  unsigned seed = 1;
  for (const Size &size : kSizes) {
    for (Kind kind : kKinds) {
      // The biggest size once: the plain versions are slow.
      if (size.width == 640 && kind != Kind::kGradient && kind != Kind::kNoise) continue;
      Image input = random_picture(size.width, size.height, kind, seed++);
      EXPECT_EQ(compare(effect, input), "")
          << effect.name << " on " << size.width << "x" << size.height << " " << kind_name(kind);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllEffects, EffectMatchesReference, testing::ValuesIn(kEffects),
                         [](const testing::TestParamInfo<EffectPair> &info) {
                           return std::string(info.param.name);
                         });

void expect_match_on_pictures(const EffectPair &effect, const char *what) {
  unsigned seed = 100;
  for (const Size &size : {Size{1, 1}, Size{2, 3}, Size{7, 5}, Size{31, 17}, Size{64, 33}})
    for (Kind kind : kKinds) {
      Image input = random_picture(size.width, size.height, kind, seed++);
      EXPECT_EQ(compare(effect, input), "")
          << what << " on " << size.width << "x" << size.height << " " << kind_name(kind);
    }
}

const EffectPair &effect_named(const std::string &name) {
  for (const EffectPair &effect : kEffects)
    if (name == effect.name) return effect;
  abort();
}

TEST(EffectParameters, SmoothWithWiderKernelsMatchesReference) {
  for (int n : {1, 2, 5, 9}) {
    ParamOverride window(&ImgProcessInfo.smooth_window, n);
    expect_match_on_pictures(effect_named("smooth"),
                             ("smooth window " + std::to_string(n)).c_str());
  }
}

TEST(EffectParameters, DespeckleWithWiderWindowsMatchesReference) {
  for (int n : {1, 2, 4, 5, 7}) {
    ParamOverride window(&ImgProcessInfo.despeckle_window, n);
    expect_match_on_pictures(effect_named("despeckle"),
                             ("despeckle window " + std::to_string(n)).c_str());
  }
}

TEST(EffectParameters, OilPaintWithOtherWindowsMatchesReference) {
  // 17 needs counters wider than a byte.
  for (int n : {2, 3, 4, 8, 17}) {
    ParamOverride window(&ImgProcessInfo.oil_paint_window, n);
    expect_match_on_pictures(effect_named("oil_paint"),
                             ("oil paint window " + std::to_string(n)).c_str());
  }
}

TEST(EffectParameters, PixelizeWithOtherBlocksMatchesReference) {
  for (int bw : {1, 3, 5}) {
    for (int bh : {1, 2, 7}) {
      ParamOverride width(&ImgProcessInfo.pixelize_width, bw);
      ParamOverride height(&ImgProcessInfo.pixelize_height, bh);
      expect_match_on_pictures(effect_named("pixelize"), "pixelize");
    }
  }
}

TEST(EffectParameters, SpreadAndNoiseWithOtherAmountsMatchReference) {
  for (int d : {0, 1, 5}) {
    ParamOverride radius(&ImgProcessInfo.spread_radius, d);
    expect_match_on_pictures(effect_named("spread"), "spread");
  }
  for (int amount : {0, 3, 90}) {
    ParamOverride noise(&ImgProcessInfo.noise_amount, amount);
    expect_match_on_pictures(effect_named("add_noise"), "add noise");
  }
}

TEST(EffectParameters, QuantizeWithOtherPaletteSizesMatchesReference) {
  for (int size : {1, 2, 7, 64}) {
    ParamOverride palette(&ImgProcessInfo.quantize_palette_size, size);
    expect_match_on_pictures(effect_named("quantize_color"), "quantize");
  }
}

TEST(EffectParameters, PerPixelEffectsWithOtherPercentagesMatchReference) {
  for (int percent : {0, 10, 90, 100}) {
    ParamOverride solarize(&ImgProcessInfo.solarize_percent, percent);
    expect_match_on_pictures(effect_named("solarize"), "solarize");
  }
  for (int low : {0, 10, 50}) {
    for (int high : {100, 90, 50}) {
      ParamOverride lo(&ImgProcessInfo.contrast_low_percent, low);
      ParamOverride hi(&ImgProcessInfo.contrast_high_percent, high);
      expect_match_on_pictures(effect_named("normalize_contrast"), "normalize contrast");
    }
  }
}

}  // namespace
