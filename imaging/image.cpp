#include "imaging/image.h"

#include <cstring>

const int BITS_PER_SAMPLE = 8;

namespace {

VorpixImage *image_wrap(GdkPixbuf *pixbuf) {
  VorpixImage *image = g_new0(VorpixImage, 1);
  g_assert(image);
  image->pixbuf = pixbuf;
  return image;
}

}  // namespace

VorpixImage *image_new(int width, int height) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, BITS_PER_SAMPLE, width, height);
  g_assert(pixbuf);
  // Zero-filled so that every result built on a new image is deterministic.
  memset(gdk_pixbuf_get_pixels(pixbuf), 0,
         static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf)) * static_cast<size_t>(height));
  return image_wrap(pixbuf);
}

VorpixImage *image_new_copy(const VorpixImage *source) {
  g_assert(source);
  GdkPixbuf *pixbuf = gdk_pixbuf_copy(source->pixbuf);
  g_assert(pixbuf);
  return image_wrap(pixbuf);
}

void image_free(VorpixImage *image) {
  g_assert(image);
  if (image->pixbuf) g_object_unref(image->pixbuf);
  g_free(image);
}

int image_width(const VorpixImage *image) { return gdk_pixbuf_get_width(image->pixbuf); }

int image_height(const VorpixImage *image) { return gdk_pixbuf_get_height(image->pixbuf); }

int image_rowstride(const VorpixImage *image) { return gdk_pixbuf_get_rowstride(image->pixbuf); }

int image_pixelsize(const VorpixImage *image) {
  return gdk_pixbuf_get_n_channels(image->pixbuf) * gdk_pixbuf_get_bits_per_sample(image->pixbuf) /
         8;
}

guchar *image_pixels(const VorpixImage *image) { return gdk_pixbuf_get_pixels(image->pixbuf); }

GdkPixbuf *image_pixbuf(const VorpixImage *image) { return image->pixbuf; }
