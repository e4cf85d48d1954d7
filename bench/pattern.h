// A picture of every benchmark that needs one without caring what it shows:
// red follows x, green y and blue x ^ y, opaque.
#pragma once

#include <cstddef>
#include <cstring>

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

// The picture's colours without its alpha, as a photo's file holds them; the
// caller owns it.  Null when it cannot be had.
inline GdkPixbuf *new_rgb_pixbuf(VorpixImage *image) {
  GdkPixbuf *source = image_pixbuf(image);
  const int width = gdk_pixbuf_get_width(source), height = gdk_pixbuf_get_height(source);
  GdkPixbuf *rgb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  for (int y = 0; rgb && y < height; y++) {
    const guchar *from =
        gdk_pixbuf_read_pixels(source) + size_t(y) * gdk_pixbuf_get_rowstride(source);
    guchar *to = gdk_pixbuf_get_pixels(rgb) + size_t(y) * gdk_pixbuf_get_rowstride(rgb);
    for (int x = 0; x < width; x++) std::memcpy(to + 3 * x, from + 4 * x, 3);
  }
  return rgb;
}
