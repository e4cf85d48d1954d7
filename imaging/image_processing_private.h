// Helpers shared by the files of the effects (image_processing, image_filters,
// image_stylize, image_quantize); not for other modules.  They assume the
// layout every effect checks first: RGBA, 8 bits a sample
// (image_effect_compatible).
#pragma once

#include <glib.h>

#include "imaging/image.h"

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

}  // namespace effect_private
