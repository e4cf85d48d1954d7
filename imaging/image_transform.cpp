// Flips and rotations.  Every result is RGBA, whatever the source's layout.
#include <cmath>

#include "imaging/image.h"
#include "imaging/image_private.h"

using namespace image_private;

namespace {

// What rotation gives the corners that have no source pixel: transparent,
// and white where a caller draws the image opaque (as on a blank picture).
constexpr guchar kUncovered[kRgbaChannels] = {255, 255, 255, 0};
constexpr double kPi = 3.141592653589793;

// Builds a new RGBA buffer of the same size whose pixel (x, y) is the source
// pixel (source_x(x), source_y(y)).
template <typename MapX, typename MapY>
GdkPixbuf *remap(GdkPixbuf *src, MapX source_x, MapY source_y) {
  int width = gdk_pixbuf_get_width(src);
  int height = gdk_pixbuf_get_height(src);
  int channels = gdk_pixbuf_get_n_channels(src);
  GdkPixbuf *newpixbuf = try_new_rgba_pixbuf_unfilled(width, height);
  if (!newpixbuf) return nullptr;
  for (int y = 0; y < height; y++) {
    const guchar *src_row = row_of(src, source_y(y));
    guchar *dst = row_of(newpixbuf, y);
    for (int x = 0; x < width; x++, dst += kRgbaChannels)
      copy_to_rgba(dst, src_row + static_cast<std::ptrdiff_t>(source_x(x)) * channels, channels);
  }
  return newpixbuf;
}

int identity(int v) { return v; }

}  // namespace

int image_flip_x(VorpixImage *image) {
  g_assert(image && image->pixbuf);
  int last = gdk_pixbuf_get_width(image->pixbuf) - 1;
  GdkPixbuf *newpixbuf = remap(image->pixbuf, [last](int x) { return last - x; }, identity);
  if (!newpixbuf) return 1;
  image_replace_pixbuf(image, newpixbuf);
  return 0;
}

int image_flip_y(VorpixImage *image) {
  g_assert(image && image->pixbuf);
  int last = gdk_pixbuf_get_height(image->pixbuf) - 1;
  GdkPixbuf *newpixbuf = remap(image->pixbuf, identity, [last](int y) { return last - y; });
  if (!newpixbuf) return 1;
  image_replace_pixbuf(image, newpixbuf);
  return 0;
}

int image_rotate_simple(VorpixImage *image, int degrees) {
  g_return_val_if_fail(image && image->pixbuf, 1);
  GdkPixbufRotation rotation;
  switch (degrees) {
    case 0: rotation = GDK_PIXBUF_ROTATE_NONE; break;
    case 90: rotation = GDK_PIXBUF_ROTATE_COUNTERCLOCKWISE; break;
    case 180: rotation = GDK_PIXBUF_ROTATE_UPSIDEDOWN; break;
    case 270: rotation = GDK_PIXBUF_ROTATE_CLOCKWISE; break;
    default: return 1;
  }
  GdkPixbuf *newpixbuf = gdk_pixbuf_rotate_simple(image->pixbuf, rotation);
  if (!newpixbuf) return 1;
  image_replace_pixbuf(image, newpixbuf);
  return 0;
}

namespace {

// A free turn whose uncovered pixels take the RGBA value uncovered.
int rotate(VorpixImage *image, double degrees, const guchar uncovered[kRgbaChannels]) {
  GdkPixbuf *src = image->pixbuf;
  int w = gdk_pixbuf_get_width(src);
  int h = gdk_pixbuf_get_height(src);
  int channels = gdk_pixbuf_get_n_channels(src);

  double t = degrees * kPi / 180;
  double c = std::cos(t), s = std::sin(t);
  // With y growing downward, x' = c·x - s·y, y' = s·x + c·y turns clockwise on
  // screen; the rotated rectangle spans |c|·w + |s|·h by |s|·w + |c|·h.
  double extent_x = std::fabs(c) * w + std::fabs(s) * h;
  double extent_y = std::fabs(s) * w + std::fabs(c) * h;
  int new_w = static_cast<int>(extent_x + 0.5);
  int new_h = static_cast<int>(extent_y + 0.5);
  if (new_w > kMaxSide || new_h > kMaxSide || gint64(new_w) * new_h > kMaxPixels) {
    g_warning("Cannot rotate: the picture would be %d by %d pixels.", new_w, new_h);
    return 1;
  }
  // A result too big for the memory there is is a refusal, not an abort.
  GdkPixbuf *newpixbuf = try_new_rgba_pixbuf_unfilled(new_w, new_h);
  if (!newpixbuf) {
    g_warning("Cannot rotate: no memory for a picture of %d by %d pixels.", new_w, new_h);
    return 1;
  }

  // Each destination pixel centre, taken relative to the destination centre,
  // is turned back into the source and takes the pixel it lands in.
  for (int j = 0; j < new_h; j++) {
    double y = j + 0.5 - new_h / 2.0;
    guchar *dst = row_of(newpixbuf, j);
    for (int i = 0; i < new_w; i++, dst += kRgbaChannels) {
      double x = i + 0.5 - new_w / 2.0;
      double sx = c * x + s * y + w / 2.0;
      double sy = -s * x + c * y + h / 2.0;
      if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
        int px = static_cast<int>(sx), py = static_cast<int>(sy);
        copy_to_rgba(dst, row_of(src, py) + static_cast<std::ptrdiff_t>(px) * channels, channels);
      } else {
        for (int k = 0; k < kRgbaChannels; k++) dst[k] = uncovered[k];
      }
    }
  }
  image_replace_pixbuf(image, newpixbuf);
  return 0;
}

}  // namespace

int image_rotate(VorpixImage *image, double degrees) {
  g_return_val_if_fail(image && image->pixbuf, 1);
  g_return_val_if_fail(std::isfinite(degrees), 1);
  return rotate(image, degrees, kUncovered);
}

int image_rotate_filled(VorpixImage *image, double degrees, const guchar rgb[3]) {
  g_return_val_if_fail(image && image->pixbuf && rgb, 1);
  g_return_val_if_fail(std::isfinite(degrees), 1);
  const guchar uncovered[kRgbaChannels] = {rgb[0], rgb[1], rgb[2], kOpaque};
  return rotate(image, degrees, uncovered);
}
