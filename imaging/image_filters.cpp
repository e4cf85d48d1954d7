#include "imaging/image_filters.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
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
class Convolution {
 public:
  Convolution(const VorpixImage *input, VorpixImage *output, const float *kernel, int n,
              const guchar *offset, int absolute)
      : in_(input), out_(output), kernel_(kernel), n_(n), half_(n / 2) {
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

  void run() {
    if (out_.width == 0 || out_.height == 0) return;
    if (box_)
      run_box();
    else
      run_taps();
  }

 private:
  void store(guchar *d, int r, int g, int b) const {
    d[0] = table_[r - min_acc_];
    d[1] = table_[static_cast<gsize>(span_) + (g - min_acc_)];
    d[2] = table_[2 * static_cast<gsize>(span_) + (b - min_acc_)];
  }

  // General kernel: one row pointer per kernel row (mirrored rows resolved per
  // output row), direct column offsets in the interior, mirrored ones at the
  // left and right edges.
  void run_taps() {
    struct Tap {
      const guchar *row;
      int dx;
      int k;
    };
    std::vector<Tap> taps;
    const int width = in_.width, height = in_.height, n = n_, half = half_;
    const int left_end = std::min(half, width);
    const int right_start = std::max(left_end, width - n + half + 1);
    for (int y = 0; y < height; y++) {
      taps.clear();
      for (int l = 0; l < n; l++) {
        const guchar *row = in_.row(mirror(y - half + l, height));
        for (int m = 0; m < n; m++) {
          const int k = static_cast<int>(kernel_[l * n + m]);
          if (k != 0) taps.push_back({row, m - half, k});
        }
      }
      guchar *d = out_.row(y);
      auto edge_pixel = [&](int x) {
        int r = 0, g = 0, b = 0;
        for (const Tap &t : taps) {
          const guchar *s = t.row + mirror(x + t.dx, width) * kPixelSize;
          r += t.k * s[0];
          g += t.k * s[1];
          b += t.k * s[2];
        }
        store(d + x * kPixelSize, r, g, b);
      };
      for (int x = 0; x < left_end; x++) edge_pixel(x);
      for (int x = left_end; x < right_start; x++) {
        int r = 0, g = 0, b = 0;
        for (const Tap &t : taps) {
          const guchar *s = t.row + (x + t.dx) * kPixelSize;
          r += t.k * s[0];
          g += t.k * s[1];
          b += t.k * s[2];
        }
        store(d + x * kPixelSize, r, g, b);
      }
      for (int x = right_start; x < width; x++) edge_pixel(x);
    }
  }

  // Kernel of ones: running sums, down the columns and along the rows.  The
  // window's rows and columns are multisets of mirrored indices, so dropping
  // the oldest and adding the next keeps the sums exact at the edges too.
  void run_box() {
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
    for (int l = 0; l < n; l++) add_row(l - half, 1);

    // Column index j of the widened row reads column mirror(j - half).
    std::vector<int> source(static_cast<gsize>(width) + n);
    for (int j = 0; j < width + n; j++) source[j] = 3 * mirror(j - half, width);

    for (int y = 0; y < height; y++) {
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
      if (y + 1 < height) {
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
  g_assert(is_whole_kernel(kernel, n));
  Convolution(input, output, kernel, n, offset, absolute).run();
}

// Emboss: every pixel becomes its own grey.
void grey_pass(VorpixImage *output) {
  for_each_pixel(Raster(output),
                 [](guchar *d) { d[0] = d[1] = d[2] = static_cast<guchar>(grey_of(d)); });
}

// Scales the output so that its largest sample becomes 255.  Alpha samples
// are made 0 first, so only the colours decide the scale.
void stretch_pass(VorpixImage *output) {
  const Raster out(output);
  int largest = 0;
  for_each_pixel(out, [&](guchar *d) {
    d[kAlpha] = 0;
    largest = std::max({largest, int{d[0]}, int{d[1]}, int{d[2]}});
  });
  if (largest == 0) return;
  std::array<guchar, 256> table;
  for (int b = 0; b < 256; b++)
    table[b] = static_cast<guchar>(std::min(b * kMaxSample / largest, 255));
  for_each_pixel(out, [&](guchar *d) {
    d[0] = table[d[0]];
    d[1] = table[d[1]];
    d[2] = table[d[2]];
  });
}

void fill_black(VorpixImage *output) {
  for_each_pixel(Raster(output), [](guchar *d) { d[0] = d[1] = d[2] = 0; });
}

void copy_colours(const VorpixImage *input, VorpixImage *output) {
  for_each_pixel(Raster(input), Raster(output), copy_colour);
}

int square(int v) { return v * v; }

// Despeckle over the general window: collect and sort each channel.
void despeckle_window(const Raster &in, const Raster &out, int half) {
  std::array<std::vector<int>, 3> values;
  for (auto &v : values) v.reserve(static_cast<gsize>(4) * half * half);
  for (int y = 0; y < in.height; y++) {
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

// Despeckle with half = 1: the window is the pixel, its left, upper and
// upper-left neighbours.  The median of four is the sum without the smallest
// and the largest, halved; of two, their mean.
void despeckle_2x2(const Raster &in, const Raster &out) {
  const guchar *s = in.row(0);
  guchar *d = out.row(0);
  copy_colour(s, d);
  for (int x = 1; x < in.width; x++)
    for (int c = 0; c < 3; c++)
      d[x * kPixelSize + c] =
          static_cast<guchar>((s[(x - 1) * kPixelSize + c] + s[x * kPixelSize + c]) / 2);

  for (int y = 1; y < in.height; y++) {
    const guchar *above = in.row(y - 1);
    const guchar *here = in.row(y);
    d = out.row(y);
    for (int c = 0; c < 3; c++) d[c] = static_cast<guchar>((above[c] + here[c]) / 2);
    for (int x = 1; x < in.width; x++) {
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

}  // namespace

void ImageSharpen(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  convolve(input, output, kSharpenKernel, kReliefSize, nullptr, 0);
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
  convolve(input, output, kernel.data(), n, nullptr, 0);
}

void ImageEdge(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  convolve(input, output, kReliefKernel, kReliefSize, nullptr, 1);
  stretch_pass(output);
}

void ImageEmbose(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  convolve(input, output, kReliefKernel, kReliefSize, kEmbossOffset, 0);
  grey_pass(output);
  stretch_pass(output);
}

void ImageDirectionalFilter(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int width = in.width, height = in.height;
  if (width == 0 || height == 0) return;

  for (int x = 0; x < width; x++) {
    copy_colour(in.at(x, 0), out.at(x, 0));
    copy_colour(in.at(x, height - 1), out.at(x, height - 1));
  }
  for (int y = 1; y < height - 1; y++) {
    copy_colour(in.at(0, y), out.at(0, y));
    copy_colour(in.at(width - 1, y), out.at(width - 1, y));
  }
  if (width < 3 || height < 3) return;

  std::vector<int> luminance(static_cast<gsize>(width) * height);
  int *next = luminance.data();
  for_each_pixel(in, [&](const guchar *s) { *next++ = luminance_of(s); });

  const int stride = in.stride;
  for (int y = 1; y < height - 1; y++) {
    const int *lum = luminance.data() + static_cast<gsize>(y) * width;
    const int *up = lum - width, *down = lum + width;
    const guchar *s = in.at(1, y);
    guchar *d = out.at(1, y);
    for (int x = 1; x < width - 1; x++, s += kPixelSize, d += kPixelSize) {
      const int l = lum[x];
      // Candidate lines in tie-break order, each as two byte offsets.
      int best = square(l - up[x - 1]) + square(l - down[x + 1]);
      int first = -stride - kPixelSize, second = stride + kPixelSize;
      const int vertical = square(l - up[x]) + square(l - down[x]);
      if (vertical < best) {
        best = vertical;
        first = -stride;
        second = stride;
      }
      const int rising = square(l - up[x + 1]) + square(l - down[x - 1]);
      if (rising < best) {
        best = rising;
        first = -stride + kPixelSize;
        second = stride - kPixelSize;
      }
      const int horizontal = square(l - lum[x - 1]) + square(l - lum[x + 1]);
      if (horizontal < best) {
        first = -kPixelSize;
        second = kPixelSize;
      }
      for (int c = 0; c < 3; c++)
        d[c] = static_cast<guchar>((s[c] + s[first + c] + s[second + c]) / 3);
    }
  }
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
  if (half == 1)
    despeckle_2x2(in, out);
  else
    despeckle_window(in, out, half);
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
  OilPaintWindow window(in, half);
  for (int y = 0; y < in.height; y++) window.paint_row(y, out.row(y));
}
