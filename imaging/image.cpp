#include "imaging/image.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/image_private.h"
#include "imaging/image_transfer.h"
#include "tools/selection.h"

const int BITS_PER_SAMPLE = 8;

using namespace image_private;

namespace image_private {

VorpixImage *image_wrap(GdkPixbuf *pixbuf) {
  VorpixImage *image = g_new0(VorpixImage, 1);
  g_assert(image);
  image->pixbuf = pixbuf;
  return image;
}

void image_replace_pixbuf(VorpixImage *image, GdkPixbuf *pixbuf) {
  g_object_unref(image->pixbuf);
  image->pixbuf = pixbuf;
}

}  // namespace image_private

namespace {

// Below this alpha image_render leaves the drawable's pixel visible.
constexpr int kAlphaThreshold = 127;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using ObjectRef = std::unique_ptr<T, GObjectUnref>;

constexpr int kAlphaDepth = 32;

bool holds_alpha(GdkDrawable *drawable) { return gdk_drawable_get_depth(drawable) == kAlphaDepth; }

// The colormap a pixmap's pixels are read with: its own when it holds alpha
// (the screen's RGBA one), GdkRGB's otherwise.
GdkColormap *pixmap_colormap(GdkDrawable *pixmap) {
  GdkColormap *own = holds_alpha(pixmap) ? gdk_drawable_get_colormap(pixmap) : nullptr;
  return own ? own : gdk_rgb_get_colormap();
}

// Reads pixels of drawable into an existing buffer of at least the area's size.
bool read_drawable(GdkPixbuf *dest, GdkDrawable *drawable, GdkColormap *colormap,
                   const GdkRectangle &area) {
  return image_transfer_read(drawable, colormap, area, dest) ||
         gdk_pixbuf_get_from_drawable(dest, drawable, colormap, area.x, area.y, 0, 0, area.width,
                                      area.height) != nullptr;
}

// A new image of the area of drawable; null when memory or the read fails.
VorpixImage *image_of_area(GdkDrawable *drawable, GdkColormap *colormap,
                           const GdkRectangle &area) {
  GdkPixbuf *pixbuf = try_new_rgba_pixbuf_unfilled(area.width, area.height);
  if (!pixbuf) return nullptr;
  // An RGBA destination comes back opaque.
  if (!read_drawable(pixbuf, drawable, colormap, area)) {
    g_object_unref(pixbuf);
    return nullptr;
  }
  return image_wrap(pixbuf);
}

// Moves a negative start of a copy to 0, the other side's start along with
// it, and shortens the copy by as much.
void clip_start(int &start, int &other, int &length) {
  if (start < 0) {
    other -= start;
    length += start;
    start = 0;
  }
}

// Clips a copy of width x height pixels from (src_x, src_y) of the image to
// (dest_x, dest_y) so that it stays inside the image and at non-negative
// destination coordinates.  False when nothing is left.
bool clip_copy(const VorpixImage *image, int &src_x, int &src_y, int &dest_x, int &dest_y,
               int &width, int &height) {
  clip_start(src_x, dest_x, width);
  clip_start(src_y, dest_y, height);
  clip_start(dest_x, src_x, width);
  clip_start(dest_y, src_y, height);
  width = std::min(width, image_width(image) - src_x);
  height = std::min(height, image_height(image) - src_y);
  return width > 0 && height > 0;
}

// Draws pixels through GdkRGB, which ignores any alpha byte: every pixel
// opaque, except on a drawable that holds alpha, which takes it along.
void draw_opaque(const VorpixImage *image, GdkDrawable *drawable, GdkGC *gc, int src_x,
                 int src_y, int dest_x, int dest_y, int width, int height, GdkRgbDither dither) {
  GdkPixbuf *pixbuf = image->pixbuf;
  if (image_transfer_draw(drawable, gc, pixbuf, src_x, src_y, dest_x, dest_y, width, height))
    return;
  int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  guchar *pixels = row_of(pixbuf, src_y) + static_cast<ptrdiff_t>(src_x) * channels;
  if (channels == kRgbaChannels)
    gdk_draw_rgb_32_image_dithalign(drawable, gc, dest_x, dest_y, width, height, dither, pixels,
                                    rowstride, 0, 0);
  else
    gdk_draw_rgb_image_dithalign(drawable, gc, dest_x, dest_y, width, height, dither, pixels,
                                 rowstride, 0, 0);
}

struct PolygonFill {
  VorpixImage *image;
};

void fill_span(GdkSpan *span, gpointer data) {
  VorpixImage *image = static_cast<PolygonFill *>(data)->image;
  if (span->y < 0 || span->y >= image_height(image)) return;
  int x0 = std::max(span->x, 0);
  int x1 = std::min(span->x + span->width, image_width(image));
  guchar *p = row_of(image->pixbuf, span->y) + static_cast<ptrdiff_t>(x0) * kRgbaChannels;
  // Only the alpha byte: the colour (0, 0, 0, 255) through the mask (0, 0, 0, 1).
  for (int x = x0; x < x1; x++, p += kRgbaChannels) p[3] = kOpaque;
}

// Makes the pixels inside the outline (even-odd rule) opaque.  The outline is
// in drawing coordinates; the image's top-left is at (xoffset, yoffset).
void fill_polygon(VorpixImage *image, VorpixPointArray *outline, int xoffset, int yoffset) {
  g_assert(xoffset >= 0);
  g_assert(yoffset >= 0);
  int n = point_array_size(outline);
  if (n == 0) return;
  GdkRegion *region = gdk_region_polygon(point_array_data(outline), n, GDK_EVEN_ODD_RULE);
  gdk_region_offset(region, -xoffset, -yoffset);
  GdkRectangle clip;
  gdk_region_get_clipbox(region, &clip);
  // Rows outside the image would only be clipped away again.
  int top = std::max(clip.y, 0);
  int bottom = std::min(clip.y + clip.height, image_height(image));
  std::vector<GdkSpan> spans;
  for (int y = top; y < bottom; y++) spans.push_back(GdkSpan{clip.x, y, clip.width});
  PolygonFill fill = {image};
  if (!spans.empty())
    gdk_region_spans_intersect_foreach(region, spans.data(), static_cast<int>(spans.size()), TRUE,
                                       fill_span, &fill);
  gdk_region_destroy(region);
}

// Source over destination, both with straight (not premultiplied) alpha;
// an opaque source pixel replaces, a transparent one leaves dest as it is.
void blend_over(const guchar *s, guchar *d) {
  const guint sa = s[3], da = d[3];
  if (sa == 0) return;
  const guint top = sa * 255, under = da * (255 - sa);
  const guint total = top + under;
  for (int c = 0; c < 3; c++) d[c] = static_cast<guchar>((s[c] * top + d[c] * under + total / 2) / total);
  d[3] = static_cast<guchar>((total + 127) / 255);
}

// Composites the part of image over the drawable's pixels there; 0 when the
// drawable's pixels cannot be read (nothing drawn then).
int render_blended(VorpixImage *image, GdkDrawable *drawable, GdkGC *gc, int src_x, int src_y,
                   const GdkRectangle &dest) {
  VorpixImage *under = image_of_area(drawable, pixmap_colormap(drawable), dest);
  if (!under) return 0;
  const int channels = gdk_pixbuf_get_n_channels(image->pixbuf);
  for (int y = 0; y < dest.height; y++) {
    const guchar *s = row_of(image->pixbuf, src_y + y) + static_cast<ptrdiff_t>(src_x) * channels;
    guchar *d = row_of(under->pixbuf, y);
    for (int x = 0; x < dest.width; x++, s += channels, d += kRgbaChannels) {
      if (channels == kRgbaChannels) {
        blend_over(s, d);
      } else {
        copy_to_rgba(d, s, channels);
      }
    }
  }
  draw_opaque(under, drawable, gc, 0, 0, dest.x, dest.y, dest.width, dest.height,
              GDK_RGB_DITHER_MAX);
  image_free(under);
  return 1;
}

void set_alpha(VorpixImage *image, guchar alpha) {
  int width = image_width(image);
  for (int y = 0; y < image_height(image); y++) {
    guchar *p = row_of(image->pixbuf, y);
    for (int x = 0; x < width; x++, p += kRgbaChannels) p[3] = alpha;
  }
}

}  // namespace

VorpixImage *image_new(int width, int height) {
  // Zero-filled so that every result built on a new image is deterministic.
  GdkPixbuf *pixbuf = try_new_rgba_pixbuf(width, height);
  return pixbuf ? image_wrap(pixbuf) : nullptr;
}

VorpixImage *image_new_unfilled(int width, int height) {
  GdkPixbuf *pixbuf = try_new_rgba_pixbuf_unfilled(width, height);
  return pixbuf ? image_wrap(pixbuf) : nullptr;
}

VorpixImage *image_new_copy(const VorpixImage *source) {
  g_assert(source);
  GdkPixbuf *pixbuf = gdk_pixbuf_copy(source->pixbuf);
  return pixbuf ? image_wrap(pixbuf) : nullptr;
}

VorpixImage *image_new_from_pixmap(GdkPixmap *pixmap, GdkRectangle area) {
  g_return_val_if_fail(GDK_IS_DRAWABLE(pixmap), nullptr);
  return image_of_area(pixmap, pixmap_colormap(pixmap), area);
}

VorpixImage *image_new_from_desktop() {
  GdkWindow *root = gdk_get_default_root_window();
  int width = 0, height = 0;
  gdk_drawable_get_size(root, &width, &height);
  return image_of_area(root, gdk_drawable_get_colormap(root), GdkRectangle{0, 0, width, height});
}

void image_free(VorpixImage *image) {
  g_assert(image);
  if (image->pixbuf) g_object_unref(image->pixbuf);
  g_free(image);
}

int image_draw_on_pixmap(VorpixImage *image, GdkPixmap **ppixmap, GdkGC *gc) {
  g_assert(image && image->pixbuf);
  g_assert(ppixmap && *ppixmap);
  g_assert(gc);
  draw_opaque(image, *ppixmap, gc, 0, 0, 0, 0, image_width(image), image_height(image),
              GDK_RGB_DITHER_NORMAL);
  return 0;
}

int image_draw_region_on_pixmap(VorpixImage *image, GdkRectangle area, GdkPixmap **ppixmap,
                                GdkGC *gc) {
  g_assert(image && image->pixbuf);
  g_assert(ppixmap && *ppixmap);
  g_assert(gc);
  int src_x = area.x, src_y = area.y, dest_x = area.x, dest_y = area.y;
  if (clip_copy(image, src_x, src_y, dest_x, dest_y, area.width, area.height))
    draw_opaque(image, *ppixmap, gc, src_x, src_y, dest_x, dest_y, area.width, area.height,
                GDK_RGB_DITHER_NORMAL);
  return 0;
}

int image_render(VorpixImage *image, GdkDrawable *drawable, int src_x, int src_y,
                 GdkRectangle dest) {
  g_return_val_if_fail(image && image->pixbuf, 0);
  g_return_val_if_fail(GDK_IS_DRAWABLE(drawable), 0);
  if (!clip_copy(image, src_x, src_y, dest.x, dest.y, dest.width, dest.height)) return 0;

  ObjectRef<GdkGC> gc(gdk_gc_new(drawable));
  // A drawable keeping alpha of its own gets the piece blended over it;
  // elsewhere a mask on the server cuts the piece's alpha at the threshold.
  if (holds_alpha(drawable)) {
    render_blended(image, drawable, gc.get(), src_x, src_y, dest);
    return 0;
  }
  ObjectRef<GdkBitmap> mask;
  if (gdk_pixbuf_get_has_alpha(image->pixbuf)) {
    // Pixels are either drawn or left alone: a one-bit mask cut at the threshold.
    mask.reset(gdk_pixmap_new(drawable, dest.width, dest.height, 1));
    gdk_pixbuf_render_threshold_alpha(image->pixbuf, mask.get(), src_x, src_y, 0, 0, dest.width,
                                      dest.height, kAlphaThreshold);
    gdk_gc_set_clip_mask(gc.get(), mask.get());
    gdk_gc_set_clip_origin(gc.get(), dest.x, dest.y);
  }
  draw_opaque(image, drawable, gc.get(), src_x, src_y, dest.x, dest.y, dest.width, dest.height,
              GDK_RGB_DITHER_MAX);
  return 0;
}

namespace {

// Whether some pixel's alpha passes the test; false for an image without alpha.
template <typename Test>
gboolean any_alpha(const VorpixImage *image, Test test) {
  g_return_val_if_fail(image && image->pixbuf, FALSE);
  if (!gdk_pixbuf_get_has_alpha(image->pixbuf)) return FALSE;
  const int width = image_width(image);
  for (int y = 0; y < image_height(image); y++) {
    const guchar *p = row_of(image->pixbuf, y);
    for (int x = 0; x < width; x++, p += kRgbaChannels)
      if (test(p[3])) return TRUE;
  }
  return FALSE;
}

}  // namespace

gboolean image_composite(VorpixImage *image, GdkDrawable *drawable, int src_x, int src_y,
                         GdkRectangle dest) {
  g_return_val_if_fail(image && image->pixbuf, FALSE);
  g_return_val_if_fail(GDK_IS_DRAWABLE(drawable), FALSE);
  if (!clip_copy(image, src_x, src_y, dest.x, dest.y, dest.width, dest.height)) return TRUE;
  ObjectRef<GdkGC> gc(gdk_gc_new(drawable));
  return render_blended(image, drawable, gc.get(), src_x, src_y, dest) != 0;
}

gboolean image_has_partial_alpha(const VorpixImage *image) {
  return any_alpha(image, [](guchar alpha) { return alpha != 0 && alpha != kOpaque; });
}

gboolean image_has_transparency(const VorpixImage *image) {
  return any_alpha(image, [](guchar alpha) { return alpha != kOpaque; });
}

void image_over_colour(VorpixImage *image, guchar red, guchar green, guchar blue) {
  g_return_if_fail(image && image->pixbuf);
  if (!gdk_pixbuf_get_has_alpha(image->pixbuf)) return;
  const guchar ground[4] = {red, green, blue, kOpaque};
  const int width = image_width(image);
  for (int y = 0; y < image_height(image); y++) {
    guchar *p = row_of(image->pixbuf, y);
    for (int x = 0; x < width; x++, p += kRgbaChannels) {
      guchar over[4] = {ground[0], ground[1], ground[2], ground[3]};
      blend_over(p, over);
      memcpy(p, over, sizeof over);
    }
  }
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

VorpixImage *image_from_selection(GdkDrawable *drawable, VorpixPointArray *outline) {
  g_return_val_if_fail(GDK_IS_DRAWABLE(drawable), nullptr);
  g_return_val_if_fail(outline != nullptr, nullptr);
  GdkRectangle box;
  point_array_bounding_rectangle(outline, &box);
  GdkRectangle whole = {0, 0, 0, 0};
  gdk_drawable_get_size(drawable, &whole.width, &whole.height);
  GdkRectangle area;
  if (!gdk_rectangle_intersect(&box, &whole, &area)) {
    g_warning("selection does not intersect the drawing");
    return nullptr;
  }
  VorpixImage *image = image_of_area(drawable, pixmap_colormap(drawable), area);
  if (!image) return nullptr;
  // Inside the outline each pixel keeps its own alpha.
  std::vector<guchar> alpha;
  if (holds_alpha(drawable)) {
    alpha.reserve(static_cast<size_t>(area.width) * area.height);
    for (int y = 0; y < area.height; y++) {
      const guchar *p = row_of(image->pixbuf, y);
      for (int x = 0; x < area.width; x++, p += kRgbaChannels) alpha.push_back(p[3]);
    }
  }
  set_alpha(image, 0);
  fill_polygon(image, outline, area.x, area.y);
  if (!alpha.empty()) {
    const guchar *a = alpha.data();
    for (int y = 0; y < area.height; y++) {
      guchar *p = row_of(image->pixbuf, y);
      for (int x = 0; x < area.width; x++, p += kRgbaChannels, a++)
        if (p[3]) p[3] = *a;
    }
  }
  return image;
}
