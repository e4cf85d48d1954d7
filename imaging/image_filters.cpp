#include "imaging/image_filters.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/image_processing.h"
#include "imaging/image_processing_private.h"

using namespace effect_private;

namespace {

constexpr int kAlpha = 3;

// 3 x 3 kernels stored row by row.
constexpr int kReliefSize = 3;
constexpr float kSharpenKernel[] = {-1, -2, -1, -2, 20, -2, -1, -2, -1};
constexpr float kReliefKernel[] = {-1, -2, 0, -2, 0, 2, 0, 2, 1};
constexpr guchar kEmbossOffset[] = {128, 128, 128};

// Oil paint counts samples in bins of four levels.
constexpr int kOilBinShift = 2;
constexpr int kOilBins = 256 >> kOilBinShift;

// A float sum of products of 8-bit samples with whole-number entries is exact
// while every partial sum stays below 2^24.
constexpr int kExactFloatLimit = 1 << 24;

// Coordinates past an edge are mirrored: -1 reads 1, but size reads size - 1
// (the far edge pixel is repeated, the near one is not).
int mirror(int c, int size) {
  int a = std::abs(c);
  if (a >= size) {
    a %= 2 * size;
    if (a >= size) a = 2 * size - 1 - a;
  }
  return a;
}

bool is_whole_kernel(const float *kernel, int n) {
  float magnitude = 0.0f;
  for (int i = 0; i < n * n; i++) {
    if (kernel[i] != static_cast<float>(static_cast<int>(kernel[i]))) return false;
    magnitude += std::abs(kernel[i]);
  }
  return magnitude * kMaxSample < kExactFloatLimit;
}

// Convolution of R, G and B with an n x n kernel, mirrored borders.  The
// result of a pixel is trunc(acc / divisor) (+ offset), limited to 0..255,
// where acc is the float sum of kernel x sample.  The kernels have whole
// entries, so acc is an exact integer: it is accumulated in integers and
// turned into the output byte by a table built with the float division.
// Its methods only read the object, so threads may share one.
class Convolution {
 public:
  Convolution(const VorpixImage *input, VorpixImage *output, const float *kernel, int n,
              const guchar *offset, int absolute)
      : in_(input), out_(output), kernel_(kernel), n_(n), half_(n / 2) {
    g_assert(is_whole_kernel(kernel, n));
    float divisor = 0.0f;
    for (int i = 0; i < n * n; i++) divisor += kernel[i];
    if (!(divisor > 0.0f)) divisor = 1.0f;

    int negative = 0, positive = 0;
    box_ = true;
    for (int i = 0; i < n * n; i++) {
      const int k = static_cast<int>(kernel[i]);
      (k < 0 ? negative : positive) += k;
      if (k != 1) box_ = false;
    }
    min_acc_ = negative * kMaxSample;
    const int span = (positive - negative) * kMaxSample + 1;
    table_.resize(static_cast<gsize>(span) * 3);
    for (int c = 0; c < 3; c++) {
      for (int i = 0; i < span; i++) {
        int acc = min_acc_ + i;
        if (absolute) acc = std::abs(acc);
        int v = static_cast<int>(static_cast<float>(acc) / divisor);
        if (offset) v += offset[c];
        table_[static_cast<gsize>(c) * span + i] =
            static_cast<guchar>(std::clamp(v, 0, kMaxSample));
      }
    }
    span_ = span;
  }

  // Every column of output rows [first, last).
  void rows(int first, int last) const {
    if (out_.width == 0 || out_.height == 0) return;
    if (box_) {
      box_rows(first, last);
    } else {
      std::vector<Tap> taps;
      for (int y = first; y < last; y++) taps_row(taps, y, 0, in_.width);
    }
  }

  // Columns [x_first, x_last) of output row y.
  void columns(int y, int x_first, int x_last) const {
    if (x_first >= x_last) return;
    std::vector<Tap> taps;
    taps_row(taps, y, x_first, x_last);
  }

 private:
  struct Tap {
    const guchar *row;
    int dx;
    int k;
  };

  void store(guchar *d, int r, int g, int b) const {
    d[0] = table_[r - min_acc_];
    d[1] = table_[static_cast<gsize>(span_) + (g - min_acc_)];
    d[2] = table_[2 * static_cast<gsize>(span_) + (b - min_acc_)];
  }

  // General kernel: one row pointer per kernel row (mirrored rows resolved per
  // output row), direct column offsets in the interior, mirrored ones at the
  // left and right edges.
  void taps_row(std::vector<Tap> &taps, int y, int x_first, int x_last) const {
    const int width = in_.width, height = in_.height, n = n_, half = half_;
    const int left_end = std::min(half, width);
    const int right_start = std::max(left_end, width - n + half + 1);
    taps.clear();
    for (int l = 0; l < n; l++) {
      const guchar *row = in_.row(mirror(y - half + l, height));
      for (int m = 0; m < n; m++) {
        const int k = static_cast<int>(kernel_[l * n + m]);
        if (k != 0) taps.push_back({row, m - half, k});
      }
    }
    guchar *d = out_.row(y);
    for (int x = x_first; x < x_last; x++) {
      int r = 0, g = 0, b = 0;
      if (x < left_end || x >= right_start) {
        for (const Tap &t : taps) {
          const guchar *s = t.row + mirror(x + t.dx, width) * kPixelSize;
          r += t.k * s[0];
          g += t.k * s[1];
          b += t.k * s[2];
        }
      } else {
        for (const Tap &t : taps) {
          const guchar *s = t.row + (x + t.dx) * kPixelSize;
          r += t.k * s[0];
          g += t.k * s[1];
          b += t.k * s[2];
        }
      }
      store(d + x * kPixelSize, r, g, b);
    }
  }

  // Kernel of ones: running sums, down the columns and along the rows.  The
  // window's rows and columns are multisets of mirrored indices, so dropping
  // the oldest and adding the next keeps the sums exact at the edges too.
  void box_rows(int first, int last) const {
    const int width = in_.width, height = in_.height, n = n_, half = half_;
    std::vector<int> column(static_cast<gsize>(width) * 3, 0);
    auto add_row = [&](int y, int sign) {
      const guchar *s = in_.row(mirror(y, height));
      int *c = column.data();
      for (int x = 0; x < width; x++, s += kPixelSize, c += 3) {
        c[0] += sign * s[0];
        c[1] += sign * s[1];
        c[2] += sign * s[2];
      }
    };
    for (int l = 0; l < n; l++) add_row(first + l - half, 1);

    // Column index j of the widened row reads column mirror(j - half).
    std::vector<int> source(static_cast<gsize>(width) + n);
    for (int j = 0; j < width + n; j++) source[j] = 3 * mirror(j - half, width);

    for (int y = first; y < last; y++) {
      int r = 0, g = 0, b = 0;
      for (int j = 0; j < n; j++) {
        const int *c = column.data() + source[j];
        r += c[0];
        g += c[1];
        b += c[2];
      }
      guchar *d = out_.row(y);
      for (int x = 0; x < width; x++, d += kPixelSize) {
        store(d, r, g, b);
        const int *gone = column.data() + source[x];
        const int *next = column.data() + source[x + n];
        r += next[0] - gone[0];
        g += next[1] - gone[1];
        b += next[2] - gone[2];
      }
      if (y + 1 < last) {
        add_row(y - half, -1);
        add_row(y + 1 - half + n - 1, 1);
      }
    }
  }

  Raster in_, out_;
  const float *kernel_;
  int n_, half_;
  bool box_ = false;
  int min_acc_ = 0, span_ = 0;
  std::vector<guchar> table_;
};

void convolve(const VorpixImage *input, VorpixImage *output, const float *kernel, int n,
              const guchar *offset, int absolute) {
  const Convolution convolution(input, output, kernel, n, offset, absolute);
  for_row_ranges(image_height(input), image_width(input),
                 [&](int first, int last) { convolution.rows(first, last); });
}

#if defined(__SSE2__)
// A 3 x 3 neighbourhood of two pixels, samples widened to 16 bits:
// a b c above, d e f on the row, g h i below.
struct Neighbours {
  __m128i a, b, c, d, e, f, g, h, i;
};

// kernel(neighbours) gives each sample's result, saturated to 0..255 when
// stored.  Columns [x_first, x_end) in steps of four pixels, each with its
// left and right neighbour inside the picture.
template <typename Kernel>
void convolve3_vectors(const guchar *up, const guchar *mid, const guchar *down, guchar *d,
                       int x_first, int x_end, bool colours_only, Kernel kernel) {
  using namespace sse2;
  for (int x = x_first; x < x_end; x += kPixels) {
    const int o = x * kPixelSize;
    const __m128i a = load(up + o - kPixelSize), b = load(up + o), c = load(up + o + kPixelSize);
    const __m128i e_ = load(mid + o - kPixelSize), e = load(mid + o),
                  f = load(mid + o + kPixelSize);
    const __m128i g = load(down + o - kPixelSize), h = load(down + o),
                  i = load(down + o + kPixelSize);
    const Neighbours low = {low16(a),  low16(b), low16(c), low16(e_), low16(e),
                            low16(f),  low16(g), low16(h), low16(i)};
    const Neighbours high = {high16(a), high16(b), high16(c), high16(e_), high16(e),
                             high16(f), high16(g), high16(h), high16(i)};
    const __m128i v = _mm_packus_epi16(kernel(low), kernel(high));
    if (colours_only)
      store_colours(d + o, v);
    else
      store(d + o, v);
  }
}
#endif

// Rows [first, last) of a 3 x 3 convolution: the vector kernel inside, the
// general convolution for the first and last column and what the vector
// steps leave over.  With colours_only false the vector code writes alpha
// samples too, with no meaning.
template <typename Kernel>
void convolve3_rows(const Convolution &general, const Raster &in, const Raster &out, int first,
                    int last, bool colours_only, Kernel kernel) {
  const int end = vector_end(1, in.width - 1);
  for (int y = first; y < last; y++) {
#if defined(__SSE2__)
    if (end > 1)
      convolve3_vectors(in.row(mirror(y - 1, in.height)), in.row(y),
                        in.row(mirror(y + 1, in.height)), out.row(y), 1, end, colours_only,
                        kernel);
#else
    (void)kernel;
    (void)colours_only;
    (void)out;
#endif
    general.columns(y, 0, std::min(1, in.width));
    general.columns(y, end, in.width);
  }
}

// Edge detect and emboss after the convolution of a row: emboss turns it
// grey; both clear the alpha samples (so only the colours decide the
// stretch).  Returns the row's largest sample.
int finish_relief_row(guchar *d, int width, bool grey) {
  if (grey) grey_row(d, d, width);
  int largest = 0, x = 0;
#if defined(__SSE2__)
  const int end = vector_end(0, width);
  __m128i most = _mm_setzero_si128();
  for (; x < end; x += sse2::kPixels, d += 16) {
    const __m128i v = _mm_andnot_si128(sse2::alpha_mask(), sse2::load(d));
    sse2::store(d, v);
    most = _mm_max_epu8(most, v);
  }
  most = _mm_max_epu8(most, _mm_srli_si128(most, 8));
  most = _mm_max_epu8(most, _mm_srli_si128(most, 4));
  most = _mm_max_epu8(most, _mm_srli_si128(most, 2));
  most = _mm_max_epu8(most, _mm_srli_si128(most, 1));
  largest = _mm_cvtsi128_si32(most) & 0xff;
#endif
  for (; x < width; x++, d += kPixelSize) {
    d[kAlpha] = 0;
    largest = std::max({largest, int{d[0]}, int{d[1]}, int{d[2]}});
  }
  return largest;
}

// Scales every sample so that the largest, `largest`, becomes 255.
void stretch(VorpixImage *output, int largest) {
  if (largest == 0 || largest == kMaxSample) return;
  const Raster out(output);
  const Ramp ramp(0, largest, kMaxSample);
  for_row_ranges(out.height, out.width, [&](int first, int last) {
    for (int y = first; y < last; y++) ramp_row(ramp, out.row(y), out.row(y), out.width, true);
  });
}

// Edge detect and emboss: the relief kernel, then grey (emboss) and the stretch.
void relief(const VorpixImage *input, VorpixImage *output, bool emboss) {
  const Convolution general(input, output, kReliefKernel, kReliefSize,
                            emboss ? kEmbossOffset : nullptr, emboss ? 0 : 1);
  const Raster in(input), out(output);
  if (in.width == 0 || in.height == 0) return;
  std::mutex merge;
  int largest = 0;
  for_row_ranges(in.height, in.width, [&](int first, int last) {
#if defined(__SSE2__)
    // acc = (i - a) + 2 (f + h - b - d)
    const __m128i offset = _mm_set1_epi16(emboss ? kEmbossOffset[0] : 0);
    auto kernel = [&](const Neighbours &n) {
      const __m128i acc = _mm_add_epi16(
          _mm_sub_epi16(n.i, n.a),
          _mm_slli_epi16(_mm_sub_epi16(_mm_add_epi16(n.f, n.h), _mm_add_epi16(n.b, n.d)), 1));
      if (emboss) return _mm_add_epi16(acc, offset);
      return _mm_max_epi16(acc, _mm_sub_epi16(_mm_setzero_si128(), acc));
    };
#else
    auto kernel = 0;
#endif
    int most = 0;
    for (int y = first; y < last; y++) {
      convolve3_rows(general, in, out, y, y + 1, false, kernel);
      most = std::max(most, finish_relief_row(out.row(y), in.width, emboss));
    }
    std::lock_guard<std::mutex> hold(merge);
    largest = std::max(largest, most);
  });
  stretch(output, largest);
}
void fill_black(VorpixImage *output) {
  for_each_pixel(Raster(output), [](guchar *d) { d[0] = d[1] = d[2] = 0; });
}

void copy_colours(const VorpixImage *input, VorpixImage *output) {
  for_each_pixel(Raster(input), Raster(output), copy_colour);
}

// R, G and B of `width` pixels; d keeps its alpha samples.
void memcpy_colours(const guchar *s, guchar *d, int width) {
  for (int x = 0; x < width; x++, s += kPixelSize, d += kPixelSize) copy_colour(s, d);
}

int square(int v) { return v * v; }

// Despeckle over the general window, rows [first, last): collect and sort
// each channel.
void despeckle_window(const Raster &in, const Raster &out, int half, int first, int last) {
  std::array<std::vector<int>, 3> values;
  for (auto &v : values) v.reserve(static_cast<gsize>(4) * half * half);
  for (int y = first; y < last; y++) {
    const int y0 = std::max(y - half, 0), y1 = std::min(y + half, in.height);
    for (int x = 0; x < in.width; x++) {
      const int x0 = std::max(x - half, 0), x1 = std::min(x + half, in.width);
      for (auto &v : values) v.clear();
      for (int wy = y0; wy < y1; wy++) {
        const guchar *s = in.at(x0, wy);
        for (int wx = x0; wx < x1; wx++, s += kPixelSize)
          for (int c = 0; c < 3; c++) values[c].push_back(s[c]);
      }
      guchar *d = out.at(x, y);
      for (int c = 0; c < 3; c++) {
        std::vector<int> &v = values[c];
        const gsize count = v.size();
        std::sort(v.begin(), v.end());
        d[c] =
            static_cast<guchar>(count % 2 ? v[count / 2] : (v[count / 2 - 1] + v[count / 2]) / 2);
      }
    }
  }
}

// Despeckle with half = 1, rows [first, last): the window is the pixel, its
// left, upper and upper-left neighbours.  The median of four is the sum
// without the smallest and the largest, halved; of two, their mean.
void despeckle_2x2(const Raster &in, const Raster &out, int first, int last) {
  if (first == 0) {
    const guchar *s = in.row(0);
    guchar *d = out.row(0);
    copy_colour(s, d);
    for (int x = 1; x < in.width; x++)
      for (int c = 0; c < 3; c++)
        d[x * kPixelSize + c] =
            static_cast<guchar>((s[(x - 1) * kPixelSize + c] + s[x * kPixelSize + c]) / 2);
    first = 1;
  }

  const int end = vector_end(1, in.width);
  for (int y = first; y < last; y++) {
    const guchar *above = in.row(y - 1);
    const guchar *here = in.row(y);
    guchar *d = out.row(y);
    for (int c = 0; c < 3; c++) d[c] = static_cast<guchar>((above[c] + here[c]) / 2);
    int x = 1;
#if defined(__SSE2__)
    for (; x < end; x += sse2::kPixels) {
      using namespace sse2;
      const int i = x * kPixelSize;
      const __m128i a = load(above + i - kPixelSize), b = load(above + i);
      const __m128i e = load(here + i - kPixelSize), f = load(here + i);
      const __m128i low = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(e, f));
      const __m128i high = _mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(e, f));
      auto middle = [](__m128i a, __m128i b, __m128i e, __m128i f, __m128i low, __m128i high) {
        const __m128i sum = _mm_add_epi16(_mm_add_epi16(a, b), _mm_add_epi16(e, f));
        return _mm_srli_epi16(_mm_sub_epi16(sum, _mm_add_epi16(low, high)), 1);
      };
      store_colours(d + i, _mm_packus_epi16(middle(low16(a), low16(b), low16(e), low16(f),
                                                   low16(low), low16(high)),
                                            middle(high16(a), high16(b), high16(e), high16(f),
                                                   high16(low), high16(high))));
    }
#else
    (void)end;
#endif
    for (; x < in.width; x++) {
      const int i = x * kPixelSize;
      for (int c = 0; c < 3; c++) {
        const int a = above[i - kPixelSize + c], b = above[i + c];
        const int e = here[i - kPixelSize + c], f = here[i + c];
        const int low = std::min(std::min(a, b), std::min(e, f));
        const int high = std::max(std::max(a, b), std::max(e, f));
        d[i + c] = static_cast<guchar>((a + b + e + f - low - high) / 2);
      }
    }
  }
}

// Directional smooth of the pixels x_first..x_last - 1 of one inside row,
// whose pixels start at mid: each pixel's sum with the two neighbours on the
// line along which the luminance changes least (ties in the order: diagonal
// down-right, vertical, diagonal up-right, horizontal), divided by three.
// lu, lm and ld are the luminance levels of the rows above, of the row and
// below.
void directional_pixels(const guchar *mid, const guchar *lu, const guchar *lm, const guchar *ld,
                        guchar *d, int x_first, int x_last, int stride) {
  for (int x = x_first; x < x_last; x++) {
    const int l = lm[x];
    const guchar *s = mid + x * kPixelSize;
    // Candidate lines in tie-break order, each as two byte offsets.
    int best = square(l - lu[x - 1]) + square(l - ld[x + 1]);
    int first = -stride - kPixelSize, second = stride + kPixelSize;
    const int vertical = square(l - lu[x]) + square(l - ld[x]);
    if (vertical < best) {
      best = vertical;
      first = -stride;
      second = stride;
    }
    const int rising = square(l - lu[x + 1]) + square(l - ld[x - 1]);
    if (rising < best) {
      best = rising;
      first = -stride + kPixelSize;
      second = stride - kPixelSize;
    }
    const int horizontal = square(l - lm[x - 1]) + square(l - lm[x + 1]);
    if (horizontal < best) {
      first = -kPixelSize;
      second = kPixelSize;
    }
    guchar *p = d + x * kPixelSize;
    for (int c = 0; c < 3; c++)
      p[c] = static_cast<guchar>((s[c] + s[first + c] + s[second + c]) / 3);
  }
}

#if defined(__SSE2__)
// The same four pixels at a time, from x_first (at least 1) while x + 4
// stays inside the row.
void directional_vectors(const guchar *up, const guchar *mid, const guchar *down,
                         const guchar *lu, const guchar *lm, const guchar *ld, guchar *d,
                         int x_first, int x_end) {
  using namespace sse2;
  // floor(s / 3) = (s * 21846) >> 16 for every s up to 765.
  const __m128i third = _mm_set1_epi16(21846);
  const __m128i zero = _mm_setzero_si128();
  auto levels = [&](const guchar *p) {
    gint32 four;
    memcpy(&four, p, sizeof four);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero);
  };
  // (l - first)^2 + (l - second)^2 for four pixels, 32 bits each.
  auto change = [](__m128i l, __m128i first, __m128i second) {
    const __m128i pairs = _mm_unpacklo_epi16(_mm_sub_epi16(l, first), _mm_sub_epi16(l, second));
    return _mm_madd_epi16(pairs, pairs);
  };
  auto choose = [](__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  };
  for (int x = x_first; x < x_end; x += kPixels) {
    const __m128i l = levels(lm + x);
    const __m128i d0 = change(l, levels(lu + x - 1), levels(ld + x + 1));
    const __m128i d1 = change(l, levels(lu + x), levels(ld + x));
    const __m128i d2 = change(l, levels(lu + x + 1), levels(ld + x - 1));
    const __m128i d3 = change(l, levels(lm + x - 1), levels(lm + x + 1));
    const __m128i m1 = _mm_cmplt_epi32(d1, d0);
    const __m128i best1 = choose(m1, d1, d0);
    const __m128i m2 = _mm_cmplt_epi32(d2, best1);
    const __m128i m3 = _mm_cmplt_epi32(d3, choose(m2, d2, best1));

    const int o = x * kPixelSize;
    const __m128i centre = load(mid + o);
    const __m128i centre_low = low16(centre), centre_high = high16(centre);
    // The sums of the first two pixels and of the last two.
    struct Sums {
      __m128i low, high;
    };
    auto sum = [&](const guchar *p, const guchar *q) {
      const __m128i a = load(p), b = load(q);
      return Sums{_mm_add_epi16(_mm_add_epi16(centre_low, low16(a)), low16(b)),
                  _mm_add_epi16(_mm_add_epi16(centre_high, high16(a)), high16(b))};
    };
    Sums sums = sum(up + o - kPixelSize, down + o + kPixelSize);
    // Later lines win where they are strictly flatter than every earlier one.
    auto take = [&](__m128i mask, const Sums &line) {
      sums.low = choose(_mm_unpacklo_epi32(mask, mask), line.low, sums.low);
      sums.high = choose(_mm_unpackhi_epi32(mask, mask), line.high, sums.high);
    };
    take(m1, sum(up + o, down + o));
    take(m2, sum(up + o + kPixelSize, down + o - kPixelSize));
    take(m3, sum(mid + o - kPixelSize, mid + o + kPixelSize));
    store_colours(d + o, _mm_packus_epi16(_mm_mulhi_epu16(sums.low, third),
                                          _mm_mulhi_epu16(sums.high, third)));
  }
}
#endif

// Directional smooth of rows [first, last).  The outermost rows and columns
// keep the input.
void directional_rows(const Raster &in, const Raster &out, int first, int last) {
  const int width = in.width, height = in.height;
  for (int y = first; y < last; y++) {
    if (y == 0 || y == height - 1 || width < 3) {
      memcpy_colours(in.row(y), out.row(y), width);
      continue;
    }
    copy_colour(in.at(0, y), out.at(0, y));
    copy_colour(in.at(width - 1, y), out.at(width - 1, y));
  }
  const int inside_first = std::max(first, 1), inside_last = std::min(last, height - 1);
  if (width < 3 || inside_first >= inside_last) return;

  // Luminance of the rows above, at and below the current one.
  std::vector<guchar> levels(3 * static_cast<gsize>(width));
  guchar *lu = levels.data(), *lm = lu + width, *ld = lm + width;
  luminance_row(in.row(inside_first - 1), lu, width);
  luminance_row(in.row(inside_first), lm, width);
  const int end = vector_end(1, width - 1);
  for (int y = inside_first; y < inside_last; y++) {
    luminance_row(in.row(y + 1), ld, width);
    const guchar *up = in.row(y - 1), *mid = in.row(y), *down = in.row(y + 1);
    guchar *d = out.row(y);
#if defined(__SSE2__)
    directional_vectors(up, mid, down, lu, lm, ld, d, 1, end);
#endif
    directional_pixels(mid, lu, lm, ld, d, end, width - 1, in.stride);
    std::swap(lu, lm);
    std::swap(lm, ld);
  }
}

// Oil paint with a window sliding along each row.  In visiting order, the
// leader of a channel changes only when some bin reaches a new highest count;
// so the result is the sample at which a bin first held the window's highest
// count K: the last sample (in raster order) of a bin holding K samples, and
// among such bins the one whose last sample comes first.  The window keeps,
// per channel, the count of each bin, the set of bins holding each count,
// and for each of its rows the rightmost column where each bin occurs.
class OilPaintWindow {
 public:
  OilPaintWindow(const Raster &in, int half)
      : in_(in),
        half_(half),
        max_rows_(std::min(2 * half, in.height)),
        last_(static_cast<gsize>(3) * max_rows_ * kOilBins) {
    const int max_count = max_rows_ * std::min(2 * half, in.width);
    for (Channel &channel : channels_) channel.holding.resize(static_cast<gsize>(max_count) + 2);
  }

  void paint_row(int y, guchar *d) {
    const int width = in_.width;
    y0_ = std::max(y - half_, 0);
    rows_ = std::min(y + half_, in_.height) - y0_;
    for (Channel &channel : channels_) {
      channel.count.fill(0);
      std::fill(channel.holding.begin(), channel.holding.end(), 0);
      channel.top = 0;
    }
    std::fill(last_.begin(), last_.end(), -1);

    for (int col = 0; col < std::min(half_, width); col++) add_column(col);
    for (int x = 0; x < width; x++, d += kPixelSize) {
      if (x > 0) {
        const int gone = x - half_ - 1, next = x + half_ - 1;
        if (gone >= 0 && next < width)
          slide(gone, next);
        else if (gone >= 0)
          remove_column(gone);
        else if (next < width)
          add_column(next);
      }
      const int x0 = std::max(x - half_, 0);
      for (int c = 0; c < 3; c++) d[c] = leader(c, x0);
    }
  }

 private:
  struct Channel {
    std::array<int, kOilBins> count;
    std::vector<guint64> holding;  // holding[k]: the bins that hold k samples
    int top;                       // the highest count
  };

  int &last(int c, int r, int bin) {
    return last_[(static_cast<gsize>(c) * max_rows_ + r) * kOilBins + bin];
  }

  void add_column(int col) {
    for (int r = 0; r < rows_; r++) {
      const guchar *s = in_.at(col, y0_ + r);
      for (int c = 0; c < 3; c++) add(c, r, s[c] >> kOilBinShift, col);
    }
  }

  void add(int c, int r, int bin, int col) {
    Channel &channel = channels_[c];
    const guint64 bit = G_GUINT64_CONSTANT(1) << bin;
    const int k = channel.count[bin]++;
    channel.holding[k] &= ~bit;
    channel.holding[k + 1] |= bit;
    channel.top = std::max(channel.top, k + 1);
    last(c, r, bin) = col;
  }

  void remove(int c, int bin) {
    Channel &channel = channels_[c];
    const guint64 bit = G_GUINT64_CONSTANT(1) << bin;
    const int k = channel.count[bin]--;
    channel.holding[k] &= ~bit;
    channel.holding[k - 1] |= bit;
  }

  void lower_tops() {
    for (Channel &channel : channels_)
      while (channel.top > 0 && channel.holding[channel.top] == 0) channel.top--;
  }

  // Drops column gone and takes column next, row by row.
  void slide(int gone, int next) {
    for (int r = 0; r < rows_; r++) {
      const guchar *out = in_.at(gone, y0_ + r), *in = in_.at(next, y0_ + r);
      for (int c = 0; c < 3; c++) {
        const int out_bin = out[c] >> kOilBinShift, in_bin = in[c] >> kOilBinShift;
        remove(c, out_bin);
        add(c, r, in_bin, next);
      }
    }
    lower_tops();
  }

  void remove_column(int col) {
    for (int r = 0; r < rows_; r++) {
      const guchar *s = in_.at(col, y0_ + r);
      for (int c = 0; c < 3; c++) remove(c, s[c] >> kOilBinShift);
    }
    lower_tops();
  }

  guchar leader(int c, int x0) {
    guint64 candidates = channels_[c].holding[channels_[c].top];
    int best_row = G_MAXINT, best_col = 0;
    while (candidates) {
      const int bin = __builtin_ctzll(candidates);
      candidates &= candidates - 1;
      // The bin's last sample: its lowest row, rightmost column there.
      int r = rows_ - 1;
      while (last(c, r, bin) < x0) r--;
      const int col = last(c, r, bin);
      if (r < best_row || (r == best_row && col < best_col)) {
        best_row = r;
        best_col = col;
      }
    }
    return in_.at(best_col, y0_ + best_row)[c];
  }

  const Raster &in_;
  const int half_;
  const int max_rows_;
  std::vector<int> last_;  // [channel][window row][bin]: rightmost column, -1 before any
  Channel channels_[3];
  int y0_ = 0, rows_ = 0;
};

#if defined(__SSE2__)
// Oil paint for windows of up to kMaxVectorHalf pixels either way, with the
// same result as OilPaintWindow.  Each column keeps the bin counts of its
// samples in the window's rows, so that the window's 64 counts of a channel
// (four vectors) slide along a row by adding one column and taking one away.
// The highest count and the bins that hold it come from vector compares; the
// last sample of such a bin is found by scanning the window's rows of bins
// from the bottom.
class OilPaintVectors {
 public:
  static constexpr int kMaxVectorHalf = 7;  // counts up to 14 x 14 fit a byte

  OilPaintVectors(const Raster &in, const Raster &out, int half)
      : in_(in),
        out_(out),
        half_(half),
        ring_(2 * half),
        bin_stride_(in.width + kSearchWidth),
        columns_(static_cast<gsize>(3) * in.width * kOilBins, 0),
        bins_(static_cast<gsize>(3) * ring_ * bin_stride_, 0) {}

  void rows(int first, int last) {
    for (int r = std::max(first - half_, 0); r < std::min(first + half_, in_.height); r++)
      enter_row(r);
    for (int y = first; y < last; y++) {
      for (int c = 0; c < 3; c++) paint(y, c);
      if (y + 1 == last) break;
      if (y - half_ >= 0) leave_row(y - half_);
      if (y + half_ < in_.height) enter_row(y + half_);
    }
  }

 private:
  static constexpr int kSearchWidth = 16;  // one vector of bins

  guchar *column(int c, int x) {
    return columns_.data() + (static_cast<gsize>(c) * in_.width + x) * kOilBins;
  }
  guchar *bin_row(int c, int y) {
    return bins_.data() + (static_cast<gsize>(c) * ring_ + y % ring_) * bin_stride_;
  }

  void enter_row(int y) {
    const int width = in_.width;
    for (int c = 0; c < 3; c++) {
      const guchar *s = in_.row(y) + c;
      guchar *bins = bin_row(c, y);
      guchar *counts = column(c, 0);
      for (int x = 0; x < width; x++, s += kPixelSize, counts += kOilBins) {
        const int bin = *s >> kOilBinShift;
        bins[x] = static_cast<guchar>(bin);
        counts[bin]++;
      }
    }
  }

  void leave_row(int y) {
    const int width = in_.width;
    for (int c = 0; c < 3; c++) {
      const guchar *s = in_.row(y) + c;
      guchar *counts = column(c, 0);
      for (int x = 0; x < width; x++, s += kPixelSize, counts += kOilBins)
        counts[*s >> kOilBinShift]--;
    }
  }

  void paint(int y, int c) {
    const int width = in_.width, half = half_;
    const int y0 = std::max(y - half, 0), y1 = std::min(y + half, in_.height);
    // The window's rows of bins, bottom first.
    const guchar *window_rows[2 * OilPaintVectors::kMaxVectorHalf];
    const guchar *window_samples[2 * OilPaintVectors::kMaxVectorHalf];
    const int rows = y1 - y0;
    for (int r = 0; r < rows; r++) {
      window_rows[r] = bin_row(c, y1 - 1 - r);
      window_samples[r] = in_.row(y1 - 1 - r) + c;
    }
    const guchar *columns = column(c, 0);

    __m128i c0 = _mm_setzero_si128(), c1 = c0, c2 = c0, c3 = c0;
    auto add = [&](int x) {
      const guchar *p = columns + static_cast<gsize>(x) * kOilBins;
      c0 = _mm_add_epi8(c0, sse2::load(p));
      c1 = _mm_add_epi8(c1, sse2::load(p + 16));
      c2 = _mm_add_epi8(c2, sse2::load(p + 32));
      c3 = _mm_add_epi8(c3, sse2::load(p + 48));
    };
    auto remove = [&](int x) {
      const guchar *p = columns + static_cast<gsize>(x) * kOilBins;
      c0 = _mm_sub_epi8(c0, sse2::load(p));
      c1 = _mm_sub_epi8(c1, sse2::load(p + 16));
      c2 = _mm_sub_epi8(c2, sse2::load(p + 32));
      c3 = _mm_sub_epi8(c3, sse2::load(p + 48));
    };
    // Of the bins holding the most, the one whose last sample comes first:
    // found in the highest row from the bottom, then furthest left.  The
    // window spans columns x0 to x0 + bits of inside - 1.
    auto leader = [&](int x0, int inside) {
      // The highest count, in every byte.
      __m128i top = _mm_max_epu8(_mm_max_epu8(c0, c1), _mm_max_epu8(c2, c3));
      top = _mm_max_epu8(top, _mm_shuffle_epi32(top, _MM_SHUFFLE(1, 0, 3, 2)));
      top = _mm_max_epu8(top, _mm_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1)));
      top = _mm_max_epu8(top, _mm_shufflehi_epi16(_mm_shufflelo_epi16(top, _MM_SHUFFLE(2, 3, 0, 1)),
                                                  _MM_SHUFFLE(2, 3, 0, 1)));
      top = _mm_max_epu8(top, _mm_or_si128(_mm_srli_epi16(top, 8), _mm_slli_epi16(top, 8)));
      const guint32 low = static_cast<guint32>(_mm_movemask_epi8(_mm_cmpeq_epi8(c0, top)) |
                                               _mm_movemask_epi8(_mm_cmpeq_epi8(c1, top)) << 16);
      const guint32 high = static_cast<guint32>(_mm_movemask_epi8(_mm_cmpeq_epi8(c2, top)) |
                                                _mm_movemask_epi8(_mm_cmpeq_epi8(c3, top)) << 16);
      guint64 leaders = static_cast<guint64>(high) << 32 | low;
      int best_row = -1, best_at = 0;
      do {
        const __m128i wanted = _mm_set1_epi8(static_cast<char>(__builtin_ctzll(leaders)));
        leaders &= leaders - 1;
        for (int r = 0; r < rows; r++) {
          const int found =
              _mm_movemask_epi8(_mm_cmpeq_epi8(sse2::load(window_rows[r] + x0), wanted)) & inside;
          if (found) {
            const int at = 31 - __builtin_clz(static_cast<unsigned>(found));
            if (r > best_row || (r == best_row && at < best_at)) {
              best_row = r;
              best_at = at;
            }
            break;
          }
        }
      } while (leaders);
      return window_samples[best_row][(x0 + best_at) * kPixelSize];
    };

    guchar *d = out_.row(y) + c;
    // The window of column x spans columns x - half to x + half - 1; inside
    // the row it slides by one column in, one out.
    const int inside_first = std::min(half + 1, width), inside_last = std::max(width - half + 1, inside_first);
    const int full = (1 << (2 * half)) - 1;
    for (int x = 0; x < std::min(half, width); x++) add(x);
    for (int x = 0; x < inside_first; x++) {
      if (x > 0 && x + half - 1 < width) add(x + half - 1);
      const int x0 = std::max(x - half, 0), x1 = std::min(x + half, width);
      d[x * kPixelSize] = leader(x0, (1 << (x1 - x0)) - 1);
    }
    for (int x = inside_first; x < inside_last; x++) {
      add(x + half - 1);
      remove(x - half - 1);
      d[x * kPixelSize] = leader(x - half, full);
    }
    for (int x = inside_last; x < width; x++) {
      if (x + half - 1 < width) add(x + half - 1);
      if (x - half - 1 >= 0) remove(x - half - 1);
      const int x0 = std::max(x - half, 0), x1 = std::min(x + half, width);
      d[x * kPixelSize] = leader(x0, (1 << (x1 - x0)) - 1);
    }
  }

  const Raster &in_;
  const Raster &out_;
  const int half_;
  const int ring_;        // rows of bins kept: the window's height
  const int bin_stride_;  // a row of bins, with room for a whole vector past its end
  std::vector<guchar> columns_;  // [channel][column][bin]: counts in the window's rows
  std::vector<guchar> bins_;     // [channel][row modulo ring][column]: each sample's bin
};
#endif

}  // namespace

void ImageSharpen(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Convolution general(input, output, kSharpenKernel, kReliefSize, nullptr, 0);
  const Raster in(input), out(output);
  if (in.width == 0 || in.height == 0) return;
  for_row_ranges(in.height, in.width, [&](int first, int last) {
#if defined(__SSE2__)
    // The kernel is 24 times the centre less (1 2 1) x (1 2 1); the sum
    // divided by 8, where a negative sum ends at 0 whichever way it rounds.
    const __m128i centre = _mm_set1_epi16(20);
    auto kernel = [&](const Neighbours &n) {
      const __m128i corners = _mm_add_epi16(_mm_add_epi16(n.a, n.c), _mm_add_epi16(n.g, n.i));
      const __m128i sides = _mm_add_epi16(_mm_add_epi16(n.b, n.d), _mm_add_epi16(n.f, n.h));
      const __m128i around = _mm_add_epi16(corners, _mm_slli_epi16(sides, 1));
      return _mm_srai_epi16(_mm_sub_epi16(_mm_mullo_epi16(n.e, centre), around), 3);
    };
#else
    auto kernel = 0;
#endif
    convolve3_rows(general, in, out, first, last, true, kernel);
  });
}

void ImageSmooth(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const int n = ImgProcessInfo.smooth_window;
  if (n < 1) {
    // An empty kernel sums to nothing.
    fill_black(output);
    return;
  }
  std::vector<float> kernel(static_cast<gsize>(n) * n, 1.0f);
  if (n != kReliefSize) {
    convolve(input, output, kernel.data(), n, nullptr, 0);
    return;
  }
  const Convolution general(input, output, kernel.data(), n, nullptr, 0);
  const Raster in(input), out(output);
  if (in.width == 0 || in.height == 0) return;
  for_row_ranges(in.height, in.width, [&](int first, int last) {
#if defined(__SSE2__)
    // floor(s / 9) = (s * 7282) >> 16 for every s up to 9 x 255.
    const __m128i ninth = _mm_set1_epi16(7282);
    auto box = [&](const Neighbours &n) {
      const __m128i rows = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(n.a, n.b), n.c),
                                         _mm_add_epi16(_mm_add_epi16(n.d, n.e), n.f));
      const __m128i all = _mm_add_epi16(rows, _mm_add_epi16(_mm_add_epi16(n.g, n.h), n.i));
      return _mm_mulhi_epu16(all, ninth);
    };
#else
    auto box = 0;
#endif
    convolve3_rows(general, in, out, first, last, true, box);
  });
}

void ImageEdge(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  relief(input, output, false);
}

void ImageEmbose(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  relief(input, output, true);
}

void ImageDirectionalFilter(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  if (in.width == 0 || in.height == 0) return;
  for_row_ranges(in.height, in.width,
                 [&](int first, int last) { directional_rows(in, out, first, last); });
}

void ImageDespeckle(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int n = std::min({ImgProcessInfo.despeckle_window, in.width, in.height});
  const int half = n / 2;
  // A window that cannot reach beyond the pixel holds no pixel at all: keep the picture.
  if (half < 1) {
    copy_colours(input, output);
    return;
  }
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    if (half == 1)
      despeckle_2x2(in, out, first, last);
    else
      despeckle_window(in, out, half, first, last);
  });
}

void ImageOilPaint(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  // A window reaching past the picture on every side sees the whole of it.
  const int half = std::min(ImgProcessInfo.oil_paint_window / 2, std::max(in.width, in.height));
  if (half < 1) {
    // Empty window.
    fill_black(output);
    return;
  }
#if defined(__SSE2__)
  if (half <= OilPaintVectors::kMaxVectorHalf && image_parallel_vectors()) {
    for_row_ranges(in.height, in.width, [&](int first, int last) {
      OilPaintVectors(in, out, half).rows(first, last);
    });
    return;
  }
#endif
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    OilPaintWindow window(in, half);
    for (int y = first; y < last; y++) window.paint_row(y, out.row(y));
  });
}
