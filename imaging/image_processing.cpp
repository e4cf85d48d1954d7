#include "imaging/image_processing.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

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
    {"spread", ImageSpread, true},
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

namespace effect_private {

Ramp::Ramp(int low, int high, int top_level) : lo(low), hi(high), top(top_level) {
  // top * u / (hi - lo) is (u * factor) >> 16 with factor the quotient
  // rounded up: the error stays below u / 65536 <= 255 / 65536, less than the
  // 1 / (hi - lo) that separates the true quotient from the next integer.
  const guint32 span = static_cast<guint32>(high - low);
  const guint32 factor = (static_cast<guint32>(top_level) * 65536u + span - 1) / span;
  whole = static_cast<int>(factor >> 16);
  fraction = static_cast<int>(factor & 0xffff);
}

int Ramp::operator()(int v) const {
  const int u = std::clamp(v, lo, hi) - lo;
  return (u * whole) + ((u * fraction) >> 16);
}

void ramp_row(const Ramp &ramp, const guchar *s, guchar *d, int width, bool alpha_too) {
  int x = 0;
#if defined(__SSE2__)
  const int end = vector_end(0, width);
  const __m128i lo = _mm_set1_epi8(static_cast<char>(ramp.lo));
  const __m128i hi = _mm_set1_epi8(static_cast<char>(ramp.hi));
  const __m128i whole = _mm_set1_epi16(static_cast<short>(ramp.whole));
  const __m128i fraction = _mm_set1_epi16(static_cast<short>(ramp.fraction));
  auto scale = [&](__m128i u) {
    return _mm_add_epi16(_mm_mullo_epi16(u, whole), _mm_mulhi_epu16(u, fraction));
  };
  for (; x < end; x += sse2::kPixels, s += 16, d += 16) {
    const __m128i u = _mm_sub_epi8(_mm_min_epu8(_mm_max_epu8(sse2::load(s), lo), hi), lo);
    const __m128i v = _mm_packus_epi16(scale(sse2::low16(u)), scale(sse2::high16(u)));
    if (alpha_too)
      sse2::store(d, v);
    else
      sse2::store_colours(d, v);
  }
#endif
  for (; x < width; x++, s += kPixelSize, d += kPixelSize) {
    for (int c = 0; c < 3; c++) d[c] = static_cast<guchar>(ramp(s[c]));
    if (alpha_too) d[3] = static_cast<guchar>(ramp(s[3]));
  }
}

void grey_row(const guchar *s, guchar *d, int width) {
  int x = 0;
#if defined(__SSE2__)
  const int end = vector_end(0, width);
  const __m128i weights = _mm_setr_epi16(kGreyRed, kGreyGreen, kGreyBlue, 0, kGreyRed, kGreyGreen,
                                         kGreyBlue, 0);
  // [11R + 16G, 5B] per pixel, then both halves added: the grey twice.
  auto greys = [&](__m128i samples) {
    const __m128i parts = _mm_madd_epi16(samples, weights);
    const __m128i sums = _mm_add_epi32(parts, _mm_shuffle_epi32(parts, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_srli_epi32(sums, kGreyShift);
  };
  for (; x < end; x += sse2::kPixels, s += 16, d += 16) {
    const __m128i p = sse2::load(s);
    const __m128i twice = _mm_packs_epi32(greys(sse2::low16(p)), greys(sse2::high16(p)));
    const __m128i bytes = _mm_packus_epi16(twice, twice);
    sse2::store_colours(d, _mm_unpacklo_epi8(bytes, bytes));
  }
#endif
  for (; x < width; x++, s += kPixelSize, d += kPixelSize)
    d[0] = d[1] = d[2] = static_cast<guchar>(grey_of(s));
}

void luminance_row(const guchar *s, guchar *levels, int width) {
  int x = 0;
#if defined(__SSE2__)
  const int end = vector_end(0, width);
  const __m128i weights =
      _mm_setr_epi16(kLumRed, kLumGreen, kLumBlue, 0, kLumRed, kLumGreen, kLumBlue, 0);
  for (; x < end; x += sse2::kPixels, s += 16) {
    const __m128i p = sse2::load(s);
    // [169R + 256G, 87B] per pixel; the first halves and the second halves
    // gathered and added.
    const __m128 front = _mm_castsi128_ps(_mm_madd_epi16(sse2::low16(p), weights));
    const __m128 back = _mm_castsi128_ps(_mm_madd_epi16(sse2::high16(p), weights));
    const __m128i sums =
        _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(front, back, _MM_SHUFFLE(2, 0, 2, 0))),
                      _mm_castps_si128(_mm_shuffle_ps(front, back, _MM_SHUFFLE(3, 1, 3, 1))));
    const __m128i words = _mm_srli_epi32(sums, kLumShift);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), words);
    const guint32 four = static_cast<guint32>(_mm_cvtsi128_si32(bytes));
    memcpy(levels + x, &four, sizeof four);
  }
#endif
  for (; x < width; x++, s += kPixelSize) levels[x] = static_cast<guchar>(luminance_of(s));
}

}  // namespace effect_private

namespace {

constexpr int kLevels = 256;
// Histograms counted side by side, so that a run of equal levels does not
// wait on one counter.
constexpr int kHistogramLanes = 4;

using LevelTable = std::array<guchar, kLevels>;

// Replaces R, G and B of every pixel through one table.
void map_samples(const VorpixImage *input, VorpixImage *output, const LevelTable &table) {
  const Raster in(input), out(output);
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    for (int y = first; y < last; y++) {
      const guchar *s = in.row(y);
      guchar *d = out.row(y);
      for (int x = 0; x < in.width; x++, s += kPixelSize, d += kPixelSize) {
        d[0] = table[s[0]];
        d[1] = table[s[1]];
        d[2] = table[s[2]];
      }
    }
  });
}

// Gives every pixel of output the alpha sample of input's pixel at its
// place; the colours stay as they are.
void keep_alpha(const VorpixImage *input, VorpixImage *output) {
  const Raster in(input), out(output);
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    for (int y = first; y < last; y++) {
      const guchar *s = in.row(y);
      guchar *d = out.row(y);
      int x = 0;
#if defined(__SSE2__)
      const int end = vector_end(0, in.width);
      const __m128i alpha = sse2::alpha_mask();
      for (; x < end; x += sse2::kPixels, s += 16, d += 16)
        sse2::store(d, _mm_or_si128(_mm_andnot_si128(alpha, sse2::load(d)),
                                    _mm_and_si128(alpha, sse2::load(s))));
#endif
      for (; x < in.width; x++, s += kPixelSize, d += kPixelSize) d[3] = s[3];
    }
  });
}

}  // namespace

void image_apply_effect(VorpixEffectFunc effect, const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(effect != nullptr && image_effect_compatible(input, output));
  effect(input, output);
  for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++)
    if (entry->func == effect && entry->moves_alpha) return;
  keep_alpha(input, output);
}

void ImageGrey(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    for (int y = first; y < last; y++) grey_row(in.row(y), out.row(y), in.width);
  });
}

void ImageSolarize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int threshold = ImgProcessInfo.solarize_percent * 255 / 100;
  // A sample is inverted when it reaches `first`: 255 - c is c with every bit flipped.
  const int first = std::clamp(threshold + 1, 0, kLevels);
  for_row_ranges(in.height, in.width, [&](int top, int bottom) {
    for (int y = top; y < bottom; y++) {
      const guchar *s = in.row(y);
      guchar *d = out.row(y);
      int x = 0;
#if defined(__SSE2__)
      if (first < kLevels) {
        const int end = vector_end(0, in.width);
        const __m128i from = _mm_set1_epi8(static_cast<char>(first));
        for (; x < end; x += sse2::kPixels, s += 16, d += 16) {
          const __m128i v = sse2::load(s);
          const __m128i inverted = _mm_cmpeq_epi8(_mm_max_epu8(v, from), v);
          sse2::store_colours(d, _mm_xor_si128(v, inverted));
        }
      }
#endif
      for (; x < in.width; x++, s += kPixelSize, d += kPixelSize)
        for (int c = 0; c < 3; c++) d[c] = static_cast<guchar>(s[c] >= first ? 255 - s[c] : s[c]);
    }
  });
}

void ImageNormContrast(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  std::array<gint64, kLevels> histogram{};
  std::mutex merge;
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    std::vector<guint32> lanes(kHistogramLanes * kLevels, 0);
    std::vector<guchar> levels(static_cast<gsize>(in.width) + kHistogramLanes);
    for (int y = first; y < last; y++) {
      luminance_row(in.row(y), levels.data(), in.width);
      int x = 0;
      for (; x + kHistogramLanes <= in.width; x += kHistogramLanes)
        for (int i = 0; i < kHistogramLanes; i++) lanes[i * kLevels + levels[x + i]]++;
      for (; x < in.width; x++) lanes[levels[x]]++;
    }
    std::lock_guard<std::mutex> hold(merge);
    for (int i = 0; i < kHistogramLanes; i++)
      for (int level = 0; level < kLevels; level++) histogram[level] += lanes[i * kLevels + level];
  });

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

  if (hi > lo) {
    // 0 below lo, top above hi, a straight line between.
    const Ramp ramp(lo, hi, top);
    for_row_ranges(in.height, in.width, [&](int first, int last) {
      for (int y = first; y < last; y++) ramp_row(ramp, in.row(y), out.row(y), in.width, false);
    });
    return;
  }
  // A step: 0 below lo (and at lo when the cuts meet), top above.
  LevelTable table;
  for (int v = 0; v < kLevels; v++)
    table[v] = static_cast<guchar>(v < lo || (hi == lo && v == lo) ? 0 : top);
  map_samples(input, output, table);
}
