#include "imaging/image_processing.h"

#include <array>
#include <cstring>

#include "imaging/image_filters.h"
#include "imaging/image_processing_private.h"
#include "imaging/image_quantize.h"
#include "imaging/image_stylize.h"

static_assert(sizeof(VorpixEffectParams) == 16 * sizeof(gint32),
              "the parameter record is sixteen 32-bit integers");

VorpixEffectParams ImgProcessInfo = {
    7,   // oil_paint_window
    20,  // noise_amount
    2,   // spread_radius
    4,   // pixelize_width
    4,   // pixelize_height
    3,   // despeckle_window
    3,   // smooth_window
    20,  // reserved_8
    50,  // solarize_percent
    99,  // contrast_high_percent
    2,   // contrast_low_percent
    16,  // quantize_palette_size
    0,  0, 0, 0,
};

const VorpixEffectEntry effect_table[] = {
    {"sharpen", ImageSharpen},
    {"smooth", ImageSmooth},
    {"directional_smooth", ImageDirectionalFilter},
    {"despeckle", ImageDespeckle},
    {"edge_detect", ImageEdge},
    {"emboss", ImageEmbose},
    {"oil_paint", ImageOilPaint},
    {"add_noise", ImageAddNoise},
    {"spread", ImageSpread},
    {"pixelize", ImagePixelize},
    {"blend", ImageBlend},
    {"solarize", ImageSolarize},
    {"normalize_contrast", ImageNormContrast},
    {"quantize_color", ImageQuantize},
    {"convert_to_greyscale", ImageGrey},
    {nullptr, nullptr},
};

VorpixEffectFunc image_lookup_effect(const char *name) {
  g_return_val_if_fail(name != nullptr, nullptr);
  for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++) {
    if (strcmp(entry->name, name) == 0) return entry->func;
  }
  return nullptr;
}

bool image_effect_compatible(const VorpixImage *input, const VorpixImage *output) {
  if (!input || !output || !input->pixbuf || !output->pixbuf) return false;
  for (const VorpixImage *image : {input, output}) {
    if (gdk_pixbuf_get_n_channels(image->pixbuf) != 4 ||
        gdk_pixbuf_get_bits_per_sample(image->pixbuf) != 8)
      return false;
  }
  return image_width(input) == image_width(output) && image_height(input) == image_height(output);
}

using namespace effect_private;

namespace {

constexpr int kLevels = 256;

using LevelTable = std::array<guchar, kLevels>;

// Replaces R, G and B of every pixel through one table.
void map_samples(const VorpixImage *input, VorpixImage *output, const LevelTable &table) {
  for_each_pixel(Raster(input), Raster(output), [&](const guchar *s, guchar *d) {
    d[0] = table[s[0]];
    d[1] = table[s[1]];
    d[2] = table[s[2]];
  });
}

}  // namespace

void ImageGrey(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  for_each_pixel(Raster(input), Raster(output), [](const guchar *s, guchar *d) {
    d[0] = d[1] = d[2] = static_cast<guchar>(grey_of(s));
  });
}

void ImageSolarize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const int threshold = ImgProcessInfo.solarize_percent * 255 / 100;
  LevelTable table;
  for (int c = 0; c < kLevels; c++) table[c] = static_cast<guchar>(c > threshold ? 255 - c : c);
  map_samples(input, output, table);
}

void ImageNormContrast(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input);
  std::array<gint64, kLevels> histogram{};
  for_each_pixel(in, [&](const guchar *s) { histogram[luminance_of(s)]++; });

  const gint64 pixels = static_cast<gint64>(in.width) * in.height;
  const gint64 low_limit = ImgProcessInfo.contrast_low_percent * pixels / 100;
  const gint64 high_limit = (100 - ImgProcessInfo.contrast_high_percent) * pixels / 100;

  int lo = kLevels;
  gint64 sum = 0;
  for (int level = 0; level < kLevels; level++) {
    sum += histogram[level];
    if (sum > low_limit) {
      lo = level;
      break;
    }
  }

  // The downward scan meets the highest occupied level before it can stop.
  int hi = 0, top_level = 0;
  sum = 0;
  for (int level = kLevels - 1; level >= 1; level--) {
    if (histogram[level] != 0 && top_level == 0) top_level = level;
    sum += histogram[level];
    if (sum > high_limit) {
      hi = level;
      break;
    }
  }
  // The ramp ends one level above the brightest, but a sample cannot exceed
  // 255: white must stay white rather than wrap to black.
  const int top = top_level < kLevels - 1 ? top_level + 1 : kLevels - 1;

  LevelTable table;
  for (int v = 0; v < kLevels; v++) {
    int entry;
    if (v < lo)
      entry = 0;
    else if (hi < lo || v > hi)
      entry = top;
    else if (hi == lo)
      entry = 0;
    else
      entry = top * (v - lo) / (hi - lo);
    table[v] = static_cast<guchar>(entry);
  }
  map_samples(input, output, table);
}
