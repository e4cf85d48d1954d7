// A picture of every benchmark that needs one without caring what it shows:
// red follows x, green y and blue x ^ y, opaque.
#pragma once

#include <cstddef>

#include "imaging/image.h"

inline VorpixImage *new_pattern_picture(int width, int height) {
  VorpixImage *image = image_new(width, height);
  guchar *pixels = image_pixels(image);
  const int stride = image_rowstride(image);
  for (int y = 0; y < height; y++) {
    guchar *p = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; x++, p += 4) {
      p[0] = static_cast<guchar>(x);
      p[1] = static_cast<guchar>(y);
      p[2] = static_cast<guchar>(x ^ y);
      p[3] = 0xff;
    }
  }
  return image;
}
