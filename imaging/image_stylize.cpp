#include "imaging/image_stylize.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/image_processing.h"
#include "imaging/image_processing_private.h"

using namespace effect_private;

namespace {

// Four uniform 15-bit numbers add up to a near-normal one: scaled by
// 2 sqrt(3) / 65534 and shifted by 2 sqrt(3) it has mean 0 and deviation ~1.
constexpr long kNoiseBits = 0x7fff;
constexpr int kNoiseDraws = 4;
constexpr double kNoiseScale = 5.28596089837e-05;
constexpr double kNoiseShift = 3.46410161514;

// Spread turns random() into a fraction in [0, 1).
constexpr long kSpreadModulus = 268435455;
constexpr double kSpreadDivisor = 268435455.0;

double random_fraction() { return static_cast<double>(random() % kSpreadModulus) / kSpreadDivisor; }

// The range [x - d, x + d] limited to the picture, as spread uses it.
struct Reach {
  int low, high;
};

std::vector<Reach> reaches(int size, int d) {
  std::vector<Reach> result(static_cast<gsize>(size));
  for (int i = 0; i < size; i++) result[i] = {std::max(i - d, 0), i + d >= size ? size - 1 : i + d};
  return result;
}

int pick(const Reach &reach) {
  return static_cast<int>(reach.low + (reach.high - reach.low) * random_fraction());
}

}  // namespace

void ImageAddNoise(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const double deviation = 2.0 * ImgProcessInfo.noise_amount;
  for_each_pixel(Raster(input), Raster(output), [&](const guchar *s, guchar *d) {
    for (int c = 0; c < 3; c++) {
      long sum = 0;
      for (int k = 0; k < kNoiseDraws; k++) sum += random() & kNoiseBits;
      const double noise = static_cast<double>(sum) * kNoiseScale - kNoiseShift;
      const int v = static_cast<int>(noise * deviation + s[c]);
      d[c] = static_cast<guchar>(std::clamp(v, 0, kMaxSample));
    }
  });
}

void ImageSpread(const VorpixImage *input, VorpixImage *output) {
  // clang-format off
  g_assert(image_pixelsize (input) == image_pixelsize (output));
  g_assert(image_width (input) == image_width (output));
  g_assert(image_height (input) == image_height (output));
  // clang-format on
  const Raster in(input), out(output);
  const gsize row_bytes = static_cast<gsize>(in.width) * image_pixelsize(input);
  for (int y = 0; y < in.height; y++) memcpy(out.row(y), in.row(y), row_bytes);

  // A negative radius would reach outside the picture; one beyond its size
  // reaches no further than the picture's size does.
  const int d = std::clamp(ImgProcessInfo.spread_radius, 0, std::max(in.width, in.height));
  const std::vector<Reach> across = reaches(in.width, d), down = reaches(in.height, d);
  const int pixel_size = image_pixelsize(output);
  for (int y = 0; y < in.height; y++) {
    guchar *p = out.row(y);
    for (int x = 0; x < in.width; x++, p += pixel_size) {
      const int nx = pick(across[x]);
      const int ny = pick(down[y]);
      // Colours trade places; alpha stays put.
      guchar *q = out.row(ny) + static_cast<gsize>(nx) * pixel_size;
      std::swap(p[0], q[0]);
      std::swap(p[1], q[1]);
      std::swap(p[2], q[2]);
    }
  }
}

void ImagePixelize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const int width = in.width, height = in.height;
  if (width == 0 || height == 0) return;
  const int bw = std::clamp(ImgProcessInfo.pixelize_width, 1, width);
  const int bh = std::clamp(ImgProcessInfo.pixelize_height, 1, height);
  const int area = bw * bh;
  // Blocks cut by the right or bottom edge end up with the input's pixels, so
  // only whole blocks are averaged.
  const int whole_columns = width / bw, whole_rows = height / bh;

  std::vector<int> sums(static_cast<gsize>(whole_columns) * 3);
  for (int by = 0; by < whole_rows; by++) {
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

  const int strip_x = whole_columns * bw, strip_y = whole_rows * bh;
  for (int y = 0; y < height; y++) {
    // Rows below the last whole block row keep every pixel; others only the right strip.
    const int from = y >= strip_y ? 0 : strip_x;
    const guchar *s = in.at(from, y);
    guchar *d = out.at(from, y);
    for (int x = from; x < width; x++, s += kPixelSize, d += kPixelSize) copy_colour(s, d);
  }
}

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

  const int cx = width / 2, cy = height / 2;
  const float aspect = static_cast<float>(std::fabs(static_cast<double>(height) / width));
  for (int y = 1; y < height - 1; y++) {
    const int dy = y - cy;
    guchar *d = out.at(1, y);
    for (int x = 1; x < width - 1; x++, d += kPixelSize) {
      const int dx = x - cx;
      if (dx == 0 && dy == 0) {
        d[0] = static_cast<guchar>(mean[0]);
        d[1] = static_cast<guchar>(mean[1]);
        d[2] = static_cast<guchar>(mean[2]);
        continue;
      }
      // Where the ray from the centre through the pixel meets the border.
      int ex, ey;
      if (dx == 0) {
        ex = cx;
        ey = dy > 0 ? height - 1 : 0;
      } else if (dy == 0) {
        ex = dx > 0 ? width - 1 : 0;
        ey = cy;
      } else if (aspect > static_cast<float>(std::fabs(static_cast<double>(dy) / dx))) {
        ex = dx > 0 ? width - 1 : 0;
        ey = cy + (ex - cx) * dy / dx;
      } else {
        ey = dy > 0 ? height - 1 : 0;
        ex = cx + dx * (ey - cy) / dy;
      }
      const int ux = ex - cx, uy = ey - cy;
      const float f = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) /
                                         std::sqrt(static_cast<double>(ux * ux + uy * uy)));
      // On an even-sized picture the ray to the top-right corner ends one
      // column past the picture; its last column stands in for it.
      const guchar *e = in.at(std::min(ex, width - 1), ey);
      const float rest = 1.0f - f;
      for (int c = 0; c < 3; c++) {
        const float near = rest * static_cast<float>(mean[c]);
        const float far = static_cast<float>(e[c]) * f;
        d[c] = static_cast<guchar>(static_cast<int>(near + far));
      }
    }
  }
}
