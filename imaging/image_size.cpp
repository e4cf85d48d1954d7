#include "imaging/image_size.h"

#include <algorithm>
#include <cstring>

#include "imaging/image_private.h"
#include "tools/selection.h"

using namespace image_private;

namespace {

// Below this scale a bilinear reduction would skip source pixels: tiles
// integrate over all of them.
constexpr double kTileBelow = 0.5;
constexpr int kMinPolygonPoints = 3;

GdkRegion *outline_region(const VorpixPointArray *outline) {
  if (point_array_size(outline) < kMinPolygonPoints) return gdk_region_new();
  return gdk_region_polygon(point_array_data(outline), point_array_size(outline),
                            GDK_EVEN_ODD_RULE);
}

void fill_rect(VorpixImage *image, const GdkRectangle &r, const guchar rgb[3]) {
  for (int y = r.y; y < r.y + r.height; y++) {
    guchar *p = row_of(image->pixbuf, y) + static_cast<std::ptrdiff_t>(r.x) * kRgbaChannels;
    for (int x = 0; x < r.width; x++, p += kRgbaChannels) {
      p[0] = rgb[0];
      p[1] = rgb[1];
      p[2] = rgb[2];
      p[3] = kOpaque;
    }
  }
}

// Paints every pixel of image outside kept (image coordinates).
void fill_all_but(VorpixImage *image, const GdkRegion *kept, const guchar rgb[3]) {
  GdkRectangle whole = {0, 0, image_width(image), image_height(image)};
  GdkRegion *outside = gdk_region_rectangle(&whole);
  gdk_region_subtract(outside, kept);
  GdkRectangle *rects = nullptr;
  int count = 0;
  gdk_region_get_rectangles(outside, &rects, &count);
  for (int i = 0; i < count; i++) fill_rect(image, rects[i], rgb);
  g_free(rects);
  gdk_region_destroy(outside);
}

}  // namespace

bool image_size_allowed(gint64 width, gint64 height) {
  return width >= 1 && height >= 1 && width <= kImageMaxSide && height <= kImageMaxSide &&
         width * height <= kImageMaxPixels;
}

VorpixImage *image_try_new(int width, int height) {
  return image_size_allowed(width, height) ? image_new(width, height) : nullptr;
}

VorpixImage *image_try_new_from_pixmap(GdkPixmap *pixmap, GdkRectangle area) {
  if (!image_size_allowed(area.width, area.height)) return nullptr;
  return image_new_from_pixmap(pixmap, area);
}

void image_anchor_offset(int anchor, int old_width, int old_height, int new_width,
                         int new_height, int *x, int *y) {
  g_return_if_fail(anchor >= 0 && anchor < IMAGE_ANCHOR_COUNT);
  // Column and row 0, 1, 2: the near edge, the middle, the far edge.
  const int column = anchor % 3, row = anchor / 3;
  *x = (new_width - old_width) * column / 2;
  *y = (new_height - old_height) * row / 2;
}

bool image_outline_box(const VorpixPointArray *outline, int width, int height,
                       GdkRectangle *box) {
  GdkRegion *region = outline_region(outline);
  GdkRectangle clip;
  gdk_region_get_clipbox(region, &clip);
  gdk_region_destroy(region);
  GdkRectangle whole = {0, 0, width, height};
  return gdk_rectangle_intersect(&clip, &whole, box);
}

void image_fill_outside(VorpixImage *image, const VorpixPointArray *outline, int x, int y,
                        const guchar rgb[3]) {
  g_return_if_fail(image && gdk_pixbuf_get_n_channels(image->pixbuf) == kRgbaChannels);
  GdkRegion *inside = outline_region(outline);
  gdk_region_offset(inside, -x, -y);
  fill_all_but(image, inside, rgb);
  gdk_region_destroy(inside);
}

VorpixImage *image_canvas_resize(const VorpixImage *source, int width, int height, int anchor,
                                 const guchar rgb[3]) {
  g_return_val_if_fail(source && anchor >= 0 && anchor < IMAGE_ANCHOR_COUNT, nullptr);
  // Every pixel is written below.
  VorpixImage *result =
      image_size_allowed(width, height) ? image_new_unfilled(width, height) : nullptr;
  if (!result) return nullptr;
  const int sw = image_width(source), sh = image_height(source);
  int dx = 0, dy = 0;
  image_anchor_offset(anchor, sw, sh, width, height, &dx, &dy);

  // The part of the source that lands on the new canvas.
  GdkRectangle placed = {dx, dy, sw, sh};
  GdkRectangle whole = {0, 0, width, height};
  GdkRectangle kept;
  if (!gdk_rectangle_intersect(&placed, &whole, &kept)) kept = GdkRectangle{0, 0, 0, 0};

  // New area only: the kept part is overwritten below.
  GdkRegion *covered = gdk_region_rectangle(&kept);
  fill_all_but(result, covered, rgb);
  gdk_region_destroy(covered);

  const int channels = gdk_pixbuf_get_n_channels(source->pixbuf);
  for (int y = kept.y; y < kept.y + kept.height; y++) {
    const guchar *src = row_of(source->pixbuf, y - dy) +
                        static_cast<std::ptrdiff_t>(kept.x - dx) * channels;
    guchar *dst = row_of(result->pixbuf, y) + static_cast<std::ptrdiff_t>(kept.x) * kRgbaChannels;
    if (channels == kRgbaChannels) {
      memcpy(dst, src, static_cast<size_t>(kept.width) * kRgbaChannels);
      continue;
    }
    for (int x = 0; x < kept.width; x++, src += channels, dst += kRgbaChannels)
      copy_to_rgba(dst, src, channels);
  }
  return result;
}

VorpixImage *image_scale(const VorpixImage *source, int width, int height, ImageScaleKind kind) {
  g_return_val_if_fail(source, nullptr);
  // The scaling writes every pixel.
  VorpixImage *result =
      image_size_allowed(width, height) ? image_new_unfilled(width, height) : nullptr;
  if (!result) return nullptr;
  const double scale_x = static_cast<double>(width) / image_width(source);
  const double scale_y = static_cast<double>(height) / image_height(source);
  GdkInterpType interpolation = GDK_INTERP_NEAREST;
  if (kind == IMAGE_SCALE_SMOOTH)
    interpolation =
        scale_x < kTileBelow || scale_y < kTileBelow ? GDK_INTERP_TILES : GDK_INTERP_BILINEAR;
  gdk_pixbuf_scale(source->pixbuf, result->pixbuf, 0, 0, width, height, 0, 0, scale_x, scale_y,
                   interpolation);
  return result;
}
