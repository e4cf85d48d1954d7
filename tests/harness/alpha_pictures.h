// Pictures with transparency for tests: a file with fully transparent, half
// transparent and opaque bands, and reading RGBA back.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

namespace vorpix_test {

struct Rgba {
  guchar r, g, b, a;
  bool operator==(const Rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

inline std::ostream &operator<<(std::ostream &out, const Rgba &p) {
  return out << "(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << "," << int(p.a) << ")";
}

// Three bands of kBandWidth columns: alpha 0, 128 and 255, each its own colour.
constexpr int kBandWidth = 10;
constexpr int kBandsWidth = 3 * kBandWidth, kBandsHeight = 12;
inline Rgba band_colour(int x) {
  static const Rgba kBands[3] = {{10, 20, 30, 0}, {200, 100, 50, 128}, {1, 2, 3, 255}};
  return kBands[x / kBandWidth];
}

inline Rgba rgba_of(GdkPixbuf *pixbuf, int x, int y) {
  const guchar *p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                    x * gdk_pixbuf_get_n_channels(pixbuf);
  return {p[0], p[1], p[2], gdk_pixbuf_get_has_alpha(pixbuf) ? p[3] : guchar(255)};
}

inline void set_rgba(GdkPixbuf *pixbuf, int x, int y, Rgba v) {
  guchar *p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) + x * 4;
  p[0] = v.r, p[1] = v.g, p[2] = v.b, p[3] = v.a;
}

// The banded picture as a new RGBA buffer.
inline GdkPixbuf *new_banded_pixbuf() {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kBandsWidth, kBandsHeight);
  for (int y = 0; y < kBandsHeight; y++)
    for (int x = 0; x < kBandsWidth; x++) set_rgba(pixbuf, x, y, band_colour(x));
  return pixbuf;
}

inline void write_banded_png(const std::string &path) {
  GdkPixbuf *pixbuf = new_banded_pixbuf();
  ASSERT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr)) << path;
  g_object_unref(pixbuf);
}

// Source over an opaque colour with straight alpha, rounded as the program does.
inline Rgba over_colour(Rgba s, Rgba ground) {
  auto mix = [&](int c, int g) { return guchar((c * s.a + g * (255 - s.a) + 127) / 255); };
  return {mix(s.r, ground.r), mix(s.g, ground.g), mix(s.b, ground.b), 255};
}

// Source over any ground, straight alpha, each result rounded to nearest:
// over an opaque ground the same as over_colour.
inline Rgba over_rgba(Rgba s, Rgba d) {
  const int top = s.a * 255, under = d.a * (255 - s.a), total = top + under;
  if (s.a == 0) return d;
  auto mix = [&](int c, int g) { return guchar((c * top + g * under + total / 2) / total); };
  return {mix(s.r, d.r), mix(s.g, d.g), mix(s.b, d.b), guchar((total + 127) / 255)};
}

// The largest channel difference between pixbuf and the banded picture as
// a file gives it back: with its alpha (the colour of a fully transparent
// pixel aside; with premultiplied_ok, partial alpha may come premultiplied,
// as the TIFF loader gives it) or, without, over white.  At first_mismatch
// (may be null) the first pixel that differs most, as "x,y got want".
inline int bands_difference(GdkPixbuf *pixbuf, bool with_alpha, bool premultiplied_ok = false,
                            std::string *first_mismatch = nullptr) {
  int worst = 0;
  for (int y = 0; y < kBandsHeight; y++) {
    for (int x = 0; x < kBandsWidth; x++) {
      const Rgba want = with_alpha ? band_colour(x) : over_colour(band_colour(x), {255, 255, 255, 255});
      Rgba got = rgba_of(pixbuf, x, y);
      if (with_alpha && want.a == 0 && got.a == 0) got = want;
      auto pre = [&](guchar v) { return guchar((v * want.a + 127) / 255); };
      if (premultiplied_ok && got == Rgba{pre(want.r), pre(want.g), pre(want.b), want.a}) got = want;
      const int d = std::max({std::abs(got.r - want.r), std::abs(got.g - want.g),
                              std::abs(got.b - want.b), std::abs(got.a - want.a)});
      if (d > worst && first_mismatch) {
        std::ostringstream where;
        where << x << "," << y << " " << got << " " << want;
        *first_mismatch = where.str();
      }
      worst = std::max(worst, d);
    }
  }
  return worst;
}

}  // namespace vorpix_test
