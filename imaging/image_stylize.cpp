#include "imaging/image_stylize.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/image_processing.h"
#include "imaging/image_processing_private.h"
#include "imaging/image_random.h"

using namespace effect_private;

namespace {

// Four uniform 15-bit numbers add up to a near-normal one: scaled by
// 2 sqrt(3) / 65534 and shifted by 2 sqrt(3) it has mean 0 and deviation ~1.
constexpr guint32 kNoiseBits = 0x7fff;
constexpr int kNoiseDraws = 4;
constexpr double kNoiseScale = 5.28596089837e-05;
constexpr double kNoiseShift = 3.46410161514;

// Spread turns random() into a fraction in [0, 1).
constexpr long kSpreadModulus = 268435455;
constexpr double kSpreadDivisor = 268435455.0;

double fraction_of(guint32 drawn) {
  return static_cast<double>(drawn % kSpreadModulus) / kSpreadDivisor;
}

// The range [x - d, x + d] limited to the picture, as spread uses it.
struct Reach {
  int low, high;
};

std::vector<Reach> reaches(int size, int d) {
  std::vector<Reach> result(static_cast<gsize>(size));
  for (int i = 0; i < size; i++) result[i] = {std::max(i - d, 0), i + d >= size ? size - 1 : i + d};
  return result;
}

int pick(const Reach &reach, guint32 drawn) {
  return static_cast<int>(reach.low + (reach.high - reach.low) * fraction_of(drawn));
}

}  // namespace

void ImageAddNoise(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const double deviation = 2.0 * ImgProcessInfo.noise_amount;
  constexpr int kDrawsPerPixel = 3 * kNoiseDraws;
  std::vector<guint32> draws(static_cast<gsize>(in.width) * kDrawsPerPixel);
  VorpixRandomDraws sequence;
  for (int y = 0; y < in.height; y++) {
    sequence.draw(draws.data(), draws.size());
    const guint32 *r = draws.data();
    const guchar *s = in.row(y);
    guchar *d = out.row(y);
    for (int x = 0; x < in.width; x++, s += kPixelSize, d += kPixelSize) {
      for (int c = 0; c < 3; c++, r += kNoiseDraws) {
        const long sum = (r[0] & kNoiseBits) + (r[1] & kNoiseBits) + (r[2] & kNoiseBits) +
                         (r[3] & kNoiseBits);
        const double noise = static_cast<double>(sum) * kNoiseScale - kNoiseShift;
        const int v = static_cast<int>(noise * deviation + s[c]);
        d[c] = static_cast<guchar>(std::clamp(v, 0, kMaxSample));
      }
    }
  }
}

void ImageSpread(const VorpixImage *input, VorpixImage *output) {
  // clang-format off
  g_assert(image_pixelsize (input) == image_pixelsize (output));
  g_assert(image_width (input) == image_width (output));
  g_assert(image_height (input) == image_height (output));
  // clang-format on
  const Raster in(input), out(output);
  const gsize row_bytes = static_cast<gsize>(in.width) * image_pixelsize(input);
  for_row_ranges(in.height, in.width, [&](int first, int last) {
    for (int y = first; y < last; y++) memcpy(out.row(y), in.row(y), row_bytes);
  });

  // A negative radius would reach outside the picture; one beyond its size
  // reaches no further than the picture's size does.
  const int d = std::clamp(ImgProcessInfo.spread_radius, 0, std::max(in.width, in.height));
  const std::vector<Reach> across = reaches(in.width, d), down = reaches(in.height, d);
  const int pixel_size = image_pixelsize(output);
  std::vector<guint32> draws(2 * static_cast<gsize>(in.width));
  VorpixRandomDraws sequence;
  for (int y = 0; y < in.height; y++) {
    sequence.draw(draws.data(), draws.size());
    const guint32 *r = draws.data();
    guchar *p = out.row(y);
    for (int x = 0; x < in.width; x++, p += pixel_size, r += 2) {
      const int nx = pick(across[x], r[0]);
      const int ny = pick(down[y], r[1]);
      // Whole pixels trade places: alpha goes with the colours.
      guchar *q = out.row(ny) + static_cast<gsize>(nx) * pixel_size;
      if (pixel_size == kPixelSize) {
        guint32 here, there;
        memcpy(&here, p, sizeof here);
        memcpy(&there, q, sizeof there);
        memcpy(p, &there, sizeof there);
        memcpy(q, &here, sizeof here);
      } else {
        for (int c = 0; c < pixel_size; c++) std::swap(p[c], q[c]);
      }
    }
  }
}

namespace {

// Pixelize with blocks four pixels wide, one vector a block row, bh rows of
// at most kMaxVectorRows (so that 16-bit sums cannot overflow) and an area
// that is a power of two (so that the division is a shift).
constexpr int kMaxVectorRows = 64;

bool pixelize_vectors_fit(int bw, int bh) {
  const int area = bw * bh;
  return bw == 4 && bh <= kMaxVectorRows && (area & (area - 1)) == 0;
}

#if defined(__SSE2__)
void pixelize_block_rows_vectors(const Raster &in, const Raster &out, int bh, int whole_columns,
                                 int by_first, int by_last) {
  using namespace sse2;
  const int shift = __builtin_ctz(static_cast<unsigned>(4 * bh));
  for (int by = by_first; by < by_last; by++) {
    const int y0 = by * bh;
    for (int bx = 0; bx < whole_columns; bx++) {
      const int o = bx * 4 * kPixelSize;
      __m128i front = _mm_setzero_si128(), back = front;
      for (int y = y0; y < y0 + bh; y++) {
        const __m128i p = load(in.row(y) + o);
        front = _mm_add_epi16(front, low16(p));
        back = _mm_add_epi16(back, high16(p));
      }
      // The four columns' sums folded into one pixel's, then averaged.
      __m128i sum = _mm_add_epi16(front, back);
      sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
      const __m128i mean = _mm_packus_epi16(_mm_srli_epi16(sum, shift), _mm_setzero_si128());
      const __m128i block = _mm_shuffle_epi32(mean, 0);
      for (int y = y0; y < y0 + bh; y++) store_colours(out.row(y) + o, block);
    }
  }
}
#endif

void pixelize_block_rows(const Raster &in, const Raster &out, int bw, int bh, int whole_columns,
                         int by_first, int by_last) {
  const int area = bw * bh;
  std::vector<int> sums(static_cast<gsize>(whole_columns) * 3);
  for (int by = by_first; by < by_last; by++) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int y = by * bh; y < (by + 1) * bh; y++) {
      const guchar *s = in.row(y);
      int *sum = sums.data();
      for (int bx = 0; bx < whole_columns; bx++, sum += 3) {
        for (int i = 0; i < bw; i++, s += kPixelSize) {
          sum[0] += s[0];
          sum[1] += s[1];
          sum[2] += s[2];
        }
      }
    }
    for (int &sum : sums) sum /= area;
    for (int y = by * bh; y < (by + 1) * bh; y++) {
      guchar *d = out.row(y);
      const int *mean = sums.data();
      for (int bx = 0; bx < whole_columns; bx++, mean += 3) {
        for (int i = 0; i < bw; i++, d += kPixelSize) {
          d[0] = static_cast<guchar>(mean[0]);
          d[1] = static_cast<guchar>(mean[1]);
          d[2] = static_cast<guchar>(mean[2]);
        }
      }
    }
  }
}

}  // namespace

void ImagePixelize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int width = in.width, height = in.height;
  if (width == 0 || height == 0) return;
  const int bw = std::clamp(ImgProcessInfo.pixelize_width, 1, width);
  const int bh = std::clamp(ImgProcessInfo.pixelize_height, 1, height);
  // Blocks cut by the right or bottom edge end up with the input's pixels, so
  // only whole blocks are averaged.
  const int whole_columns = width / bw, whole_rows = height / bh;

  const bool vectors = pixelize_vectors_fit(bw, bh) && vector_end(0, width) > 0;
  image_parallel_for(whole_rows, static_cast<gint64>(width) * bh, [&](int first, int last) {
#if defined(__SSE2__)
    if (vectors) {
      pixelize_block_rows_vectors(in, out, bh, whole_columns, first, last);
      return;
    }
#endif
    pixelize_block_rows(in, out, bw, bh, whole_columns, first, last);
  });
  (void)vectors;

  const int strip_x = whole_columns * bw, strip_y = whole_rows * bh;
  for (int y = 0; y < height; y++) {
    // Rows below the last whole block row keep every pixel; others only the right strip.
    const int from = y >= strip_y ? 0 : strip_x;
    const guchar *s = in.at(from, y);
    guchar *d = out.at(from, y);
    for (int x = from; x < width; x++, s += kPixelSize, d += kPixelSize) copy_colour(s, d);
  }
}

namespace {

// Blend inside the border: each pixel mixes the mean border colour with the
// border pixel where the ray from the centre through it leaves the picture,
// in proportion to its distance from the centre.  On a row the ray meets the
// top or bottom while |dx| is below a threshold and the left or right side
// from it on, so a row falls into three runs without a test per pixel.
class Blend {
 public:
  Blend(const Raster &in, const Raster &out, const int mean[3])
      : in_(in),
        out_(out),
        width_(in.width),
        height_(in.height),
        cx_(in.width / 2),
        cy_(in.height / 2),
        aspect_(static_cast<float>(std::fabs(static_cast<double>(in.height) / in.width))),
        widest_(std::max(cx_, width_ - 1 - cx_)) {
    for (int c = 0; c < 3; c++) mean_[c] = mean[c];
    if (!image_parallel_vectors()) return;
#if defined(__SSE2__)
    mean_vector_ = _mm_setr_ps(static_cast<float>(mean[0]), static_cast<float>(mean[1]),
                               static_cast<float>(mean[2]), 0.0f);
#endif
    // Distances from the centre to the border points, by their offset along
    // the border: the sides by ey - cy, the top and bottom by ex - cx (ex may
    // reach one column past the picture).
    auto distances = [](std::vector<double> &table, int across, int from, int to) {
      table.resize(static_cast<gsize>(to - from) + 1);
      for (int v = from; v <= to; v++)
        table[v - from] = std::sqrt(static_cast<double>(across * across + v * v));
    };
    distances(side_reach_[0], -cx_, -cy_, height_ - 1 - cy_);
    distances(side_reach_[1], width_ - 1 - cx_, -cy_, height_ - 1 - cy_);
    distances(end_reach_[0], -cy_, -cx_, width_ - cx_);
    distances(end_reach_[1], height_ - 1 - cy_, -cx_, width_ - cx_);
    // The side columns side by side: read down a column, pictures rows
    // apart would fall into the same few cache sets.
    left_.resize(static_cast<gsize>(height_) * kPixelSize);
    right_.resize(static_cast<gsize>(height_) * kPixelSize);
    for (int y = 0; y < height_; y++) {
      memcpy(&left_[static_cast<gsize>(y) * kPixelSize], in.at(0, y), kPixelSize);
      memcpy(&right_[static_cast<gsize>(y) * kPixelSize], in.at(width_ - 1, y), kPixelSize);
    }
  }

  // Inside rows [first, last) (row 0 and the last row are the border).
  void rows(int first, int last) const {
    std::vector<double> distances;
    if (image_parallel_vectors()) distances.resize(static_cast<gsize>(widest_) + 1);
    for (int y = std::max(first, 1); y < std::min(last, height_ - 1); y++) row(y, distances);
  }

 private:
  // Whether the ray through a pixel |dx| columns beside the centre, on a row
  // |dy| from it, meets a side; holds from some |dx| on, as the slope falls.
  bool meets_side(int dx, int dy) const {
    return aspect_ > static_cast<float>(std::fabs(static_cast<double>(dy) / dx));
  }

  // The smallest |dx| from which rays meet a side, one past the widest |dx|
  // when none does.
  int side_threshold(int dy) const {
    int low = 1, high = widest_ + 1;
    while (low < high) {
      const int middle = low + (high - low) / 2;
      if (meets_side(middle, dy))
        high = middle;
      else
        low = middle + 1;
    }
    return low;
  }

  void row(int y, std::vector<double> &distances) const {
    const int dy = y - cy_;
    const int first = 1, last = width_ - 2;  // inclusive
    if (distances.empty()) {
      for (int x = first; x <= last; x++) pixel(x, y);
      return;
    }
    for (int k = 0; k <= widest_; k++)
      distances[k] = std::sqrt(static_cast<double>(k * k + dy * dy));
    const int threshold = side_threshold(dy);
    // Left side: dx <= -threshold; middle: |dx| < threshold; right side: dx >= threshold.
    const int left_last = std::min(cx_ - threshold, last);
    const int right_first = std::max(cx_ + threshold, first);
    run(y, first, left_last, distances, side_reach_[0], -cx_, true);
    run(y, std::max(first, left_last + 1), std::min(last, right_first - 1), distances,
        dy > 0 ? end_reach_[1] : end_reach_[0], dy > 0 ? height_ - 1 - cy_ : -cy_, false);
    run(y, right_first, last, distances, side_reach_[1], width_ - 1 - cx_, true);
  }

  // Pixels x_first..x_last of row y whose rays all meet a side (side: the
  // fixed offset is ex - cx) or all the top or bottom (the fixed offset is
  // ey - cy).  reach holds the distance from the centre to each point of that
  // border by its other offset.
  void run(int y, int x_first, int x_last, const std::vector<double> &distances,
           const std::vector<double> &reach, int fixed, bool side) const {
    int x = x_first;
#if defined(__SSE2__)
    const int dy = y - cy_;
    // The centre pixel takes the mean; the vector steps leave it to pixel().
    if (!(dy == 0 && !side)) {
      const __m128d ddy = _mm_set1_pd(dy), dfixed = _mm_set1_pd(fixed);
      const __m128d fixed_times_dy = _mm_set1_pd(static_cast<double>(fixed) * dy);
      const int reach_origin = side ? cy_ : cx_;
      const int reach_last = static_cast<int>(reach.size()) - 1;
      alignas(16) gint32 offsets[4];
      for (; x + 1 <= x_last; x += 2) {
        const int dx0 = x - cx_, dx1 = dx0 + 1;
        const __m128d dx = _mm_setr_pd(dx0, dx1);
        // The other offset, truncated toward zero like the integer division.
        const __m128i other = side ? _mm_cvttpd_epi32(_mm_div_pd(fixed_times_dy, dx))
                                   : _mm_cvttpd_epi32(_mm_div_pd(_mm_mul_pd(dx, dfixed), ddy));
        _mm_store_si128(reinterpret_cast<__m128i *>(offsets), other);
        const int i0 = std::clamp(offsets[0] + reach_origin, 0, reach_last);
        const int i1 = std::clamp(offsets[1] + reach_origin, 0, reach_last);
        const __m128d f = _mm_div_pd(
            _mm_setr_pd(distances[std::abs(dx0)], distances[std::abs(dx1)]),
            _mm_setr_pd(reach[i0], reach[i1]));
        const __m128 fractions = _mm_cvtpd_ps(f);
        const __m128 f0 = _mm_shuffle_ps(fractions, fractions, 0x00);
        const __m128 f1 = _mm_shuffle_ps(fractions, fractions, 0x55);
        if (side) {
          const guchar *column = fixed < 0 ? left_.data() : right_.data();
          mix_vector(out_.at(x, y), column + (cy_ + offsets[0]) * kPixelSize, f0);
          mix_vector(out_.at(x + 1, y), column + (cy_ + offsets[1]) * kPixelSize, f1);
        } else {
          const guchar *row = in_.row(cy_ + fixed);
          mix_vector(out_.at(x, y), row + std::min(cx_ + offsets[0], width_ - 1) * kPixelSize, f0);
          mix_vector(out_.at(x + 1, y), row + std::min(cx_ + offsets[1], width_ - 1) * kPixelSize,
                     f1);
        }
      }
    }
#else
    (void)distances;
    (void)reach;
    (void)fixed;
    (void)side;
#endif
    for (; x <= x_last; x++) pixel(x, y);
  }

#if defined(__SSE2__)
  // mix() of the border pixel e, with f in every lane.
  void mix_vector(guchar *d, const guchar *e, __m128 f) const {
    gint32 edge;
    memcpy(&edge, e, sizeof edge);
    const __m128i zero = _mm_setzero_si128();
    const __m128 far = _mm_mul_ps(
        _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(edge), zero), zero)),
        f);
    const __m128 near = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), f), mean_vector_);
    const __m128i v = _mm_cvttps_epi32(_mm_add_ps(near, far));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
    guint32 colours = static_cast<guint32>(_mm_cvtsi128_si32(bytes)), old;
    memcpy(&old, d, sizeof old);
    colours = (colours & 0x00ffffffu) | (old & 0xff000000u);
    memcpy(d, &colours, sizeof colours);
  }
#endif

  // One pixel, as plainly as the definition.
  void pixel(int x, int y) const {
    const int dx = x - cx_, dy = y - cy_;
    guchar *d = out_.at(x, y);
    if (dx == 0 && dy == 0) {
      d[0] = static_cast<guchar>(mean_[0]);
      d[1] = static_cast<guchar>(mean_[1]);
      d[2] = static_cast<guchar>(mean_[2]);
      return;
    }
    // Where the ray from the centre through the pixel meets the border.
    int ex, ey;
    if (dx == 0) {
      ex = cx_;
      ey = dy > 0 ? height_ - 1 : 0;
    } else if (dy == 0) {
      ex = dx > 0 ? width_ - 1 : 0;
      ey = cy_;
    } else if (meets_side(dx, dy)) {
      ex = dx > 0 ? width_ - 1 : 0;
      ey = cy_ + (ex - cx_) * dy / dx;
    } else {
      ey = dy > 0 ? height_ - 1 : 0;
      ex = cx_ + dx * (ey - cy_) / dy;
    }
    const int ux = ex - cx_, uy = ey - cy_;
    const float f = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) /
                                       std::sqrt(static_cast<double>(ux * ux + uy * uy)));
    mix(d, ex, ey, f);
  }

  // (1 - f) x mean + f x the border pixel at (ex, ey), in single precision.
  void mix(guchar *d, int ex, int ey, float f) const {
    // On an even-sized picture the ray to the top-right corner ends one
    // column past the picture; its last column stands in for it.
    const guchar *e = in_.at(std::min(ex, width_ - 1), ey);
    const float rest = 1.0f - f;
    for (int c = 0; c < 3; c++) {
      const float near = rest * static_cast<float>(mean_[c]);
      const float far = static_cast<float>(e[c]) * f;
      d[c] = static_cast<guchar>(static_cast<int>(near + far));
    }
  }

  const Raster &in_;
  const Raster &out_;
  const int width_, height_, cx_, cy_;
  const float aspect_;
  const int widest_;  // the largest |dx| inside the picture
  int mean_[3];
#if defined(__SSE2__)
  __m128 mean_vector_;
#endif
  std::vector<double> side_reach_[2];  // left, right: by ey - cy + cy
  std::vector<double> end_reach_[2];   // top, bottom: by ex - cx + cx
  std::vector<guchar> left_, right_;   // the first and last column's pixels
};

}  // namespace

void ImageBlend(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int width = in.width, height = in.height;
  if (width == 0 || height == 0) return;

  // The border is kept; its mean (pixels copied twice count twice) becomes
  // the centre colour.
  gint64 sum[3] = {0, 0, 0};
  auto keep = [&](int x, int y) {
    const guchar *s = in.at(x, y);
    copy_colour(s, out.at(x, y));
    for (int c = 0; c < 3; c++) sum[c] += s[c];
  };
  for (int x = 0; x < width; x++) keep(x, 0);
  for (int x = 0; x < width; x++) keep(x, height - 1);
  for (int y = 1; y < height - 1; y++) {
    keep(0, y);
    keep(width - 1, y);
  }
  if (width < 3 || height < 3) return;
  const gint64 copies = 2 * (static_cast<gint64>(height) + width) - 4;
  int mean[3];
  for (int c = 0; c < 3; c++) mean[c] = static_cast<int>(sum[c] / copies);

  const Blend blend(in, out, mean);
  for_row_ranges(height, width, [&](int first, int last) { blend.rows(first, last); });
}
