// Plain versions of the fifteen effects, written for clarity rather than
// speed: one pixel at a time through the image accessors, float and double
// arithmetic exactly where the effects use it.  The shipped effects must give
// the same bytes.  Header-only so that tests and benchmarks can include it.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/image.h"
#include "imaging/image_processing.h"

namespace reference {

inline int sample(const VorpixImage *image, int x, int y, int c) {
  return image_pixels(image)[y * image_rowstride(image) + x * image_pixelsize(image) + c];
}

inline void set_sample(VorpixImage *image, int x, int y, int c, int v) {
  image_pixels(image)[y * image_rowstride(image) + x * image_pixelsize(image) + c] =
      static_cast<guchar>(v);
}

inline int limit(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// ---- per-pixel effects ----

inline void grey(const VorpixImage *in, VorpixImage *out) {
  for (int y = 0; y < image_height(in); y++)
    for (int x = 0; x < image_width(in); x++) {
      int g = (11 * sample(in, x, y, 0) + 16 * sample(in, x, y, 1) + 5 * sample(in, x, y, 2)) >> 5;
      for (int c = 0; c < 3; c++) set_sample(out, x, y, c, g);
    }
}

inline void solarize(const VorpixImage *in, VorpixImage *out) {
  int t = ImgProcessInfo.solarize_percent * 255 / 100;
  for (int y = 0; y < image_height(in); y++)
    for (int x = 0; x < image_width(in); x++)
      for (int c = 0; c < 3; c++) {
        int v = sample(in, x, y, c);
        set_sample(out, x, y, c, v > t ? 255 - v : v);
      }
}

inline void norm_contrast(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  long long counter[256] = {0};
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      counter[(169 * sample(in, x, y, 0) + 256 * sample(in, x, y, 1) + 87 * sample(in, x, y, 2)) >>
              9]++;
  long long n = (long long)w * h;
  long long low_limit = ImgProcessInfo.contrast_low_percent * n / 100;
  long long high_limit = (100 - ImgProcessInfo.contrast_high_percent) * n / 100;
  int lo = 256;
  long long run = 0;
  for (int level = 0; level <= 255; level++) {
    run += counter[level];
    if (run > low_limit) {
      lo = level;
      break;
    }
  }
  int hi = 0, lmax = 0;
  bool seen = false;
  run = 0;
  for (int level = 255; level >= 1; level--) {
    if (!seen && counter[level]) {
      lmax = level;
      seen = true;
    }
    run += counter[level];
    if (run > high_limit) {
      hi = level;
      break;
    }
  }
  int top = lmax == 255 ? 255 : lmax + 1;
  int table[256];
  for (int v = 0; v < 256; v++) {
    if (v < lo) {
      table[v] = 0;
    } else if (hi >= lo) {
      if (v <= hi)
        table[v] = hi == lo ? 0 : top * (v - lo) / (hi - lo);
      else
        table[v] = top;
    } else {
      table[v] = top;
    }
  }
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int c = 0; c < 3; c++) set_sample(out, x, y, c, table[sample(in, x, y, c)]);
}

// ---- neighbourhood filters ----

inline int mirrored(int c, int size) {
  int a = c < 0 ? -c : c;
  if (a >= size) {
    a = a % (2 * size);
    if (a >= size) a = 2 * size - 1 - a;
  }
  return a;
}

inline void convolve(const VorpixImage *in, VorpixImage *out, const float *kernel, int n,
                     const unsigned char *offset, int absolute) {
  float divisor = 0.0f;
  for (int i = 0; i < n * n; i++) divisor += kernel[i];
  if (!(divisor > 0.0f)) divisor = 1.0f;
  int half = n / 2;
  int w = image_width(in), h = image_height(in);
  for (int Y = 0; Y < h; Y++)
    for (int X = 0; X < w; X++)
      for (int c = 0; c < 3; c++) {
        float acc = 0.0f;
        for (int l = 0; l < n; l++)
          for (int m = 0; m < n; m++) {
            int sx = mirrored(X - half + m, w), sy = mirrored(Y - half + l, h);
            acc += (float)sample(in, sx, sy, c) * kernel[l * n + m];
          }
        if (absolute) acc = std::fabs(acc);
        int v = (int)(acc / divisor);
        if (offset) v += offset[c];
        set_sample(out, X, Y, c, limit(v));
      }
}

inline const float sharpen_kernel[9] = {-1, -2, -1, -2, 20, -2, -1, -2, -1};
inline const float relief_kernel[9] = {-1, -2, 0, -2, 0, 2, 0, 2, 1};

inline void sharpen(const VorpixImage *in, VorpixImage *out) {
  convolve(in, out, sharpen_kernel, 3, nullptr, 0);
}

inline void smooth(const VorpixImage *in, VorpixImage *out) {
  int n = ImgProcessInfo.smooth_window;
  std::vector<float> ones(n > 0 ? n * n : 0, 1.0f);
  convolve(in, out, ones.data(), n > 0 ? n : 0, nullptr, 0);
}

// The pass over all bytes: alpha is 0 when it runs.
inline void stretch(VorpixImage *out) {
  int w = image_width(out), h = image_height(out);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) set_sample(out, x, y, 3, 0);
  int most = 0;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int c = 0; c < 4; c++)
        if (sample(out, x, y, c) > most) most = sample(out, x, y, c);
  if (most == 0) return;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int c = 0; c < 4; c++) set_sample(out, x, y, c, sample(out, x, y, c) * 255 / most);
}

inline void edge(const VorpixImage *in, VorpixImage *out) {
  convolve(in, out, relief_kernel, 3, nullptr, 1);
  stretch(out);
}

inline void emboss(const VorpixImage *in, VorpixImage *out) {
  const unsigned char offset[3] = {128, 128, 128};
  convolve(in, out, relief_kernel, 3, offset, 0);
  for (int y = 0; y < image_height(out); y++)
    for (int x = 0; x < image_width(out); x++) {
      int g =
          (11 * sample(out, x, y, 0) + 16 * sample(out, x, y, 1) + 5 * sample(out, x, y, 2)) >> 5;
      for (int c = 0; c < 3; c++) set_sample(out, x, y, c, g);
    }
  stretch(out);
}

inline int luminance(const VorpixImage *in, int x, int y) {
  return (169 * sample(in, x, y, 0) + 256 * sample(in, x, y, 1) + 87 * sample(in, x, y, 2)) >> 9;
}

inline void directional(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      if (y == 0 || y == h - 1 || x == 0 || x == w - 1)
        for (int c = 0; c < 3; c++) set_sample(out, x, y, c, sample(in, x, y, c));
  // (first dx, first dy, second dx, second dy) in tie-break order.
  const int lines[4][4] = {{-1, -1, 1, 1}, {0, -1, 0, 1}, {1, -1, -1, 1}, {-1, 0, 1, 0}};
  for (int y = 1; y < h - 1; y++)
    for (int x = 1; x < w - 1; x++) {
      int lc = luminance(in, x, y);
      int chosen = 0;
      long best = -1;
      for (int i = 0; i < 4; i++) {
        int a = lc - luminance(in, x + lines[i][0], y + lines[i][1]);
        int b = lc - luminance(in, x + lines[i][2], y + lines[i][3]);
        long d = (long)a * a + (long)b * b;
        if (best < 0 || d < best) {
          best = d;
          chosen = i;
        }
      }
      const int *line = lines[chosen];
      for (int c = 0; c < 3; c++)
        set_sample(out, x, y, c,
                   (sample(in, x, y, c) + sample(in, x + line[0], y + line[1], c) +
                    sample(in, x + line[2], y + line[3], c)) /
                       3);
    }
}

// Shell sort with gaps count/2, count/4, ..., 1.
inline void shell_sort(int *v, int count) {
  for (int gap = count / 2; gap > 0; gap /= 2)
    for (int i = gap; i < count; i++)
      for (int j = i - gap; j >= 0 && v[j] > v[j + gap]; j -= gap) {
        int t = v[j];
        v[j] = v[j + gap];
        v[j + gap] = t;
      }
}

// An image 1 pixel wide or high comes out equal to the input.
inline void despeckle(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  int n = ImgProcessInfo.despeckle_window;
  if (n > w) n = w;
  if (n > h) n = h;
  int half = n / 2;
  if (half == 0) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        for (int c = 0; c < 3; c++) set_sample(out, x, y, c, sample(in, x, y, c));
    return;
  }
  std::vector<int> buf[3];
  for (auto &b : buf) b.assign(n * n, 0);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int count = 0;
      int ya = y - half < 0 ? 0 : y - half, yb = y + half < h ? y + half : h;
      int xa = x - half < 0 ? 0 : x - half, xb = x + half < w ? x + half : w;
      for (int wy = ya; wy < yb; wy++)
        for (int wx = xa; wx < xb; wx++) {
          for (int c = 0; c < 3; c++) buf[c][count] = sample(in, wx, wy, c);
          count++;
        }
      for (int c = 0; c < 3; c++) {
        shell_sort(buf[c].data(), count);
        int v =
            count % 2 == 1 ? buf[c][count / 2] : (buf[c][count / 2 - 1] + buf[c][count / 2]) / 2;
        set_sample(out, x, y, c, v);
      }
    }
}

inline void oil_paint(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  int half = ImgProcessInfo.oil_paint_window / 2;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int counters[3][256] = {{0}};
      int leader_count[3] = {0, 0, 0}, leader_value[3] = {0, 0, 0};
      for (int wy = y - half; wy < y + half; wy++)
        for (int wx = x - half; wx < x + half; wx++) {
          if (wx < 0 || wy < 0 || wx >= w || wy >= h) continue;
          for (int c = 0; c < 3; c++) {
            int v = sample(in, wx, wy, c);
            int k = counters[c][v / 4];
            counters[c][v / 4] = k + 1;
            if (k >= leader_count[c]) {
              leader_count[c] = k + 1;
              leader_value[c] = v;
            }
          }
        }
      for (int c = 0; c < 3; c++) set_sample(out, x, y, c, leader_value[c]);
    }
}

// ---- noise, spread, pixelize, blend ----

inline void add_noise(const VorpixImage *in, VorpixImage *out) {
  double sd = (double)(2 * ImgProcessInfo.noise_amount);
  for (int y = 0; y < image_height(in); y++)
    for (int x = 0; x < image_width(in); x++)
      for (int c = 0; c < 3; c++) {
        long s = 0;
        for (int i = 0; i < 4; i++) s += random() % 32768;
        double n = s * 5.28596089837e-05 - 3.46410161514;
        set_sample(out, x, y, c, limit((int)(n * sd + sample(in, x, y, c))));
      }
}

inline void spread(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in), ps = image_pixelsize(in);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int c = 0; c < ps; c++) set_sample(out, x, y, c, sample(in, x, y, c));
  int d = ImgProcessInfo.spread_radius;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int x0 = x - d > 0 ? x - d : 0, x1 = x + d >= w ? w - 1 : x + d;
      int y0 = y - d > 0 ? y - d : 0, y1 = y + d >= h ? h - 1 : y + d;
      double t = (random() % 268435455) / 268435455.0;
      int nx = (int)(x0 + (x1 - x0) * t);
      double t2 = (random() % 268435455) / 268435455.0;
      int ny = (int)(y0 + (y1 - y0) * t2);
      for (int c = 0; c < ps; c++) {
        int a = sample(out, x, y, c), b = sample(out, nx, ny, c);
        set_sample(out, x, y, c, b);
        set_sample(out, nx, ny, c, a);
      }
    }
}

inline void pixelize(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  int bw = ImgProcessInfo.pixelize_width < w ? ImgProcessInfo.pixelize_width : w;
  int bh = ImgProcessInfo.pixelize_height < h ? ImgProcessInfo.pixelize_height : h;
  for (int by = 0; by < h; by += bh)
    for (int bx = 0; bx < w; bx += bw) {
      int sum[3] = {0, 0, 0};
      for (int y = by; y < by + bh && y < h; y++)
        for (int x = bx; x < bx + bw && x < w; x++)
          for (int c = 0; c < 3; c++) sum[c] += sample(in, x, y, c);
      for (int y = by; y < by + bh && y < h; y++)
        for (int x = bx; x < bx + bw && x < w; x++)
          for (int c = 0; c < 3; c++) set_sample(out, x, y, c, sum[c] / (bw * bh));
    }
  if (w % bw != 0)
    for (int y = 0; y < h; y++)
      for (int x = w - w % bw; x < w; x++)
        for (int c = 0; c < 3; c++) set_sample(out, x, y, c, sample(in, x, y, c));
  if (h % bh != 0)
    for (int y = h - h % bh; y < h; y++)
      for (int x = 0; x < w; x++)
        for (int c = 0; c < 3; c++) set_sample(out, x, y, c, sample(in, x, y, c));
}

inline void blend(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  long sum[3] = {0, 0, 0};
  auto copy = [&](int x, int y) {
    for (int c = 0; c < 3; c++) {
      set_sample(out, x, y, c, sample(in, x, y, c));
      sum[c] += sample(in, x, y, c);
    }
  };
  for (int x = 0; x < w; x++) copy(x, 0);
  for (int x = 0; x < w; x++) copy(x, h - 1);
  for (int y = 1; y <= h - 2; y++) {
    copy(0, y);
    copy(w - 1, y);
  }
  if (w < 3 || h < 3) return;
  long k = 2L * (h + w) - 4;
  int mean[3] = {(int)(sum[0] / k), (int)(sum[1] / k), (int)(sum[2] / k)};
  int cx = w / 2, cy = h / 2;
  float aspect = (float)std::fabs((double)h / (double)w);
  for (int y = 1; y <= h - 2; y++)
    for (int x = 1; x <= w - 2; x++) {
      int dx = x - cx, dy = y - cy;
      if (dx == 0 && dy == 0) {
        for (int c = 0; c < 3; c++) set_sample(out, x, y, c, mean[c]);
        continue;
      }
      int ex, ey;
      if (dx == 0) {
        ex = cx;
        ey = dy > 0 ? h - 1 : 0;
      } else if (dy == 0) {
        ex = dx > 0 ? w - 1 : 0;
        ey = cy;
      } else {
        float slope = (float)std::fabs((double)dy / (double)dx);
        if (aspect > slope) {
          ex = dx > 0 ? w - 1 : 0;
          ey = cy + (ex - cx) * dy / dx;
        } else {
          ey = dy > 0 ? h - 1 : 0;
          ex = cx + dx * (ey - cy) / dy;
        }
      }
      float f = (float)(std::sqrt((double)(dx * dx + dy * dy)) /
                        std::sqrt((double)((ex - cx) * (ex - cx) + (ey - cy) * (ey - cy))));
      int read_x = ex < w - 1 ? ex : w - 1;
      for (int c = 0; c < 3; c++) {
        float first = (1.0f - f) * (float)mean[c];
        float v = first + (float)sample(in, read_x, ey, c) * f;
        set_sample(out, x, y, c, (int)v);
      }
    }
}

// ---- colour quantization ----

struct QuantizeWalk {
  std::vector<int> &cell;  // indexed r * 2048 + g * 32 + b
  int palette_size;
  std::vector<int> &pr, &pg, &pb;
  int npal = 0, quota = 0, threshold = 0;

  int &at(int r, int g, int b) { return cell[r * 2048 + g * 32 + b]; }

  void visit(int r, int g, int b, int dR, int dG, int dB) {
    if (npal == palette_size) {
      at(r, g, b) = -1;
      return;
    }
    int e = at(r, g, b);
    if (e > threshold) {
      pr[npal] = r * 8 + 4;
      pg[npal] = g * 4 + 2;
      pb[npal] = b * 8 + 4;
      npal++;
      e = e - quota;
    }
    int f7 = 7 * e / 32, f3 = 3 * e / 32;
    at(r, g, b) = 0;
    at(r, g, b + dB) += f7;
    at(r, g + dG, b) += f7;
    at(r + dR, g, b) += f7;
    at(r, g + dG, b + dB) += f3;
    at(r + dR, g, b + dB) += f3;
    at(r + dR, g + dG, b) += f3;
    at(r + dR, g + dG, b + dB) += e - 3 * (f7 + f3);
    int rest = at(r, g, b);
    if (dG == 1)
      at(r, g + 1, b) += rest;
    else if (dR != 0)
      at(r + dR, g, b) += rest;
    else if (dB != 0)
      at(r, g, b + dB) += rest;
    else if (rest != 0)
      fprintf(stderr, "lost error term\n");
    at(r, g, b) = -1;
  }
};

inline int quantize_nearest(int R, int G, int B, const std::vector<int> &pr,
                            const std::vector<int> &pg, const std::vector<int> &pb) {
  int best = -1;
  long best_d = 0;
  for (size_t i = 0; i < pr.size(); i++) {
    long d = 3L * (R - pr[i]) * (R - pr[i]) + 4L * (G - pg[i]) * (G - pg[i]) +
             2L * (B - pb[i]) * (B - pb[i]);
    if (best < 0 || d < best_d) {
      best = (int)i;
      best_d = d;
    }
  }
  return best;
}

inline void quantize(const VorpixImage *in, VorpixImage *out) {
  int w = image_width(in), h = image_height(in);
  int size = ImgProcessInfo.quantize_palette_size;
  std::vector<int> cell(65536, 0);
  auto index = [&](int x, int y) {
    return (sample(in, x, y, 0) / 8) * 2048 + (sample(in, x, y, 1) / 4) * 32 +
           sample(in, x, y, 2) / 8;
  };
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) cell[index(x, y)]++;

  int weight[128];
  weight[0] = 0;
  for (int i = 1; i < 128; i++) weight[i] = (int)(100 * std::log((double)i));
  long long n = (long long)w * h;
  long long s = n < 512 ? 1 : n / 512;
  int occupied = 0, total = 0;
  int slice[64];
  for (int g = 0; g < 64; g++) {
    for (int r = 0; r < 32; r++)
      for (int b = 0; b < 32; b++) {
        int &c = cell[r * 2048 + g * 32 + b];
        long long v = (long long)c * 2048 / s;
        if (v != 0) occupied++;
        c = weight[v < 127 ? v : 127];
        total += c;
      }
    slice[g] = total;
  }

  std::vector<int> pr(size, 0), pg(size, 0), pb(size, 0);
  QuantizeWalk walk{cell, size, pr, pg, pb};
  walk.quota = total / size;
  walk.threshold = (110000 / occupied + 28) * total / 95000;
  for (int g = 0; g < 64; g++) {
    int dG = g == 63 ? 0 : 1;
    if (g % 2 == 0) {
      for (int r = 0; r <= 31; r++) {
        int dR = r == 31 ? 0 : 1;
        if ((r + g) % 2 == 0)
          for (int b = 0; b <= 31; b++) walk.visit(r, g, b, dR, dG, b == 31 ? 0 : 1);
        else
          for (int b = 31; b >= 0; b--) walk.visit(r, g, b, dR, dG, b == 0 ? 0 : -1);
      }
    } else {
      for (int r = 31; r >= 0; r--) {
        int dR = r == 0 ? 0 : -1;
        if ((r + g) % 2 == 0)
          for (int b = 0; b <= 31; b++) walk.visit(r, g, b, dR, dG, b == 31 ? 0 : 1);
        else
          for (int b = 31; b >= 0; b--) walk.visit(r, g, b, dR, dG, b == 0 ? 0 : -1);
      }
    }
    int expected = (int)((long long)slice[g] * size / total);
    if (walk.npal != expected) walk.threshold += 4 * (walk.npal - expected);
  }

  std::vector<long> sr(size, 0), sg(size, 0), sb(size, 0), count(size, 0);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int &c = cell[index(x, y)];
      int R = sample(in, x, y, 0), G = sample(in, x, y, 1), B = sample(in, x, y, 2);
      if (c == -1) c = quantize_nearest(R, G, B, pr, pg, pb);
      sr[c] += R - pr[c];
      sg[c] += G - pg[c];
      sb[c] += B - pb[c];
      count[c]++;
    }
  for (int i = 0; i < size; i++) {
    long d = count[i] == 0 ? 1 : 4 * count[i];
    pr[i] += 4 * (int)(sr[i] / d);
    pg[i] += 4 * (int)(sg[i] / d);
    pb[i] += 4 * (int)(sb[i] / d);
  }
  for (auto &c : cell) c = -1;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int &c = cell[index(x, y)];
      if (c == -1)
        c = quantize_nearest(sample(in, x, y, 0), sample(in, x, y, 1), sample(in, x, y, 2), pr, pg,
                             pb);
      set_sample(out, x, y, 0, pr[c]);
      set_sample(out, x, y, 1, pg[c]);
      set_sample(out, x, y, 2, pb[c]);
    }
}

}  // namespace reference
