// Helpers shared by the files of the effects (image_processing, image_filters,
// image_stylize, image_quantize); not for other modules.  They assume the
// layout every effect checks first: RGBA, 8 bits a sample
// (image_effect_compatible).
#pragma once

#include <glib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/image.h"
#include "imaging/image_parallel.h"

namespace effect_private {

constexpr int kPixelSize = 4;  // R, G, B, A
constexpr int kMaxSample = 255;

// Greyscale weights 11/32, 16/32, 5/32.
constexpr int kGreyRed = 11, kGreyGreen = 16, kGreyBlue = 5, kGreyShift = 5;
// Luminance weights 169/512, 256/512, 87/512.
constexpr int kLumRed = 169, kLumGreen = 256, kLumBlue = 87, kLumShift = 9;

inline int grey_of(const guchar *p) {
  return (kGreyRed * p[0] + kGreyGreen * p[1] + kGreyBlue * p[2]) >> kGreyShift;
}

inline int luminance_of(const guchar *p) {
  return (kLumRed * p[0] + kLumGreen * p[1] + kLumBlue * p[2]) >> kLumShift;
}

// An image's pixels by row and column; borrows the image's buffer.
struct Raster {
  guchar *pixels;
  int stride;
  int width;
  int height;

  explicit Raster(const VorpixImage *image)
      : pixels(image_pixels(image)),
        stride(image_rowstride(image)),
        width(image_width(image)),
        height(image_height(image)) {}
  guchar *row(int y) const { return pixels + static_cast<gsize>(y) * static_cast<gsize>(stride); }
  guchar *at(int x, int y) const { return row(y) + static_cast<gsize>(x) * kPixelSize; }
};

// Copies R, G and B; alpha stays as it is.
inline void copy_colour(const guchar *from, guchar *to) {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
}

// Calls visit(p) for every pixel, in raster order.
template <typename Visit>
void for_each_pixel(const Raster &image, Visit visit) {
  // Locals, so that the compiler need not reload them after every byte stored.
  const int width = image.width, height = image.height;
  for (int y = 0; y < height; y++) {
    guchar *p = image.row(y);
    for (int x = 0; x < width; x++, p += kPixelSize) visit(p);
  }
}

// Calls visit(s, d) for every pixel s of in, in raster order, with d the
// pixel at the same place of out (an image at least as large).
template <typename Visit>
void for_each_pixel(const Raster &in, const Raster &out, Visit visit) {
  const int width = in.width, height = in.height;
  for (int y = 0; y < height; y++) {
    const guchar *s = in.row(y);
    guchar *d = out.row(y);
    for (int x = 0; x < width; x++, s += kPixelSize, d += kPixelSize) visit(s, d);
  }
}

// Runs rows(first, last) over every row of a picture `width` wide, spread
// over the cores.
template <typename Rows>
void for_row_ranges(int height, int width, Rows rows) {
  image_parallel_for(height, width, [&](int first, int last) { rows(first, last); });
}

#if defined(__SSE2__)
// Four pixels at a time.  Loads and stores need no alignment.
namespace sse2 {

constexpr int kPixels = 4;  // pixels in one vector

inline __m128i load(const guchar *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store(guchar *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

inline __m128i alpha_mask() { return _mm_set1_epi32(static_cast<int>(0xff000000u)); }

// Stores the colours of four pixels, keeping the alpha samples already at d.
inline void store_colours(guchar *d, __m128i colours) {
  const __m128i alpha = alpha_mask();
  store(d, _mm_or_si128(_mm_andnot_si128(alpha, colours), _mm_and_si128(alpha, load(d))));
}

// Samples widened to 16 bits: the first two pixels, the last two.
inline __m128i low16(__m128i v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
inline __m128i high16(__m128i v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }

}  // namespace sse2
#endif

// The line that is 0 up to lo, top from hi on, and top * (v - lo) / (hi - lo)
// in between (integer division), for 0 <= lo < hi <= 255 and top <= 255.
struct Ramp {
  Ramp(int low, int high, int top_level);
  int operator()(int v) const;

  int lo, hi, top;
  int whole, fraction;  // top / (hi - lo) as a 16.16 fraction, rounded up
};

// Maps R, G and B of `width` pixels through the ramp (the alpha samples too
// when alpha_too; otherwise d keeps its own).  s may equal d.
void ramp_row(const Ramp &ramp, const guchar *s, guchar *d, int width, bool alpha_too);

// Every pixel's R, G and B become its grey; d keeps its alpha.  s may equal d.
void grey_row(const guchar *s, guchar *d, int width);

// The luminance level of each of `width` pixels, one byte each.
void luminance_row(const guchar *s, guchar *levels, int width);

// The first column from which plain code takes over: vector code handles
// [first, result) in steps of four pixels, or nothing when vectors are off.
inline int vector_end(int first, int last) {
#if defined(__SSE2__)
  if (image_parallel_vectors() && last - first >= 4) return first + (last - first) / 4 * 4;
#endif
  return first;
}

}  // namespace effect_private
