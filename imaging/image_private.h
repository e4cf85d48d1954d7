// Helpers shared by the files of the image module; not for other modules.
#pragma once

#include <cstddef>

#include "imaging/image.h"

namespace image_private {

constexpr int kRgbaChannels = 4;
constexpr guchar kOpaque = 255;
// The X protocol limits pixmaps to this many pixels a side, so no picture of
// the program can be larger.
constexpr int kMaxSide = 32767;
// Larger pictures are refused when read: a small file claiming a giant size
// must not make the program decode (and the X server hold) gigabytes.
constexpr gint64 kMaxPixels = gint64(1) << 28;

// A new record holding the given reference.
VorpixImage *image_wrap(GdkPixbuf *pixbuf);
// Drops the image's buffer and keeps the given reference instead.
void image_replace_pixbuf(VorpixImage *image, GdkPixbuf *pixbuf);
// A zero-filled RGBA buffer, or null when its memory cannot be had.
GdkPixbuf *try_new_rgba_pixbuf(int width, int height);
// An RGBA buffer whose pixels are undefined, for a caller that writes every
// one; null when its memory cannot be had.
GdkPixbuf *try_new_rgba_pixbuf_unfilled(int width, int height);

inline guchar *row_of(GdkPixbuf *pixbuf, int y) {
  return gdk_pixbuf_get_pixels(pixbuf) +
         static_cast<std::ptrdiff_t>(y) * gdk_pixbuf_get_rowstride(pixbuf);
}

// Copies one pixel of a source of either layout into an RGBA pixel.
inline void copy_to_rgba(guchar *dst, const guchar *src, int src_channels) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
  dst[3] = src_channels == kRgbaChannels ? src[3] : kOpaque;
}

}  // namespace image_private
