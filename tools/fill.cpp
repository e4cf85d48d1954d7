#include "tools/fill.h"

#include <cstring>
#include <vector>

#include "document/drawing.h"
#include "imaging/image.h"
#include "panels/color_palette.h"

namespace {

// Segments the stack holds before it first grows; a blank picture needs only
// a few, a noisy one can need far more.
constexpr size_t kStackSegments = 10000;

// Pixels xl to xr of row y are painted; row y + dy is to be searched next to
// them.
struct Segment {
  gint32 y, xl, xr, dy;
};

void fill_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(tool);
}

void fill_button_press(VorpixTool *tool, int x, int y) {
  VorpixDrawing *drawing = tool->drawing;
  VorpixImage *image = drawing_create_image(drawing);
  g_assert(image);

  GdkGCValues values = {};
  gdk_gc_get_values(drawing->gc, &values);
  guint8 r, g, b;
  convert_color(&values.foreground, &r, &g, &b);
  fill_image(image, x, y, r, g, b);

  image_draw_on_pixmap(image, &drawing->backing_pixmap, drawing->gc);
  gtk_widget_queue_draw_area(tool->canvas->drawing_area, 0, 0, drawing->width, drawing->height);
  image_free(image);
  drawing_modified(drawing);
}

// The pixel tests of the fill for kBpp bytes a pixel: only the first three
// bytes are compared and written.  Four-byte pixels go through one masked
// word each; the mask is built from bytes, so byte order does not matter.
template <int kBpp>
struct PixelOps;

template <>
struct PixelOps<4> {
  guint32 mask, old_rgb, new_rgb;
  PixelOps(const guchar *old_pixel, guint8 r, guint8 g, guint8 b) {
    const guchar mask_bytes[4] = {0xFF, 0xFF, 0xFF, 0x00};
    const guchar old_bytes[4] = {old_pixel[0], old_pixel[1], old_pixel[2], 0};
    const guchar new_bytes[4] = {r, g, b, 0};
    memcpy(&mask, mask_bytes, 4);
    memcpy(&old_rgb, old_bytes, 4);
    memcpy(&new_rgb, new_bytes, 4);
  }
  bool matches(const guchar *p) const {
    guint32 w;
    memcpy(&w, p, 4);
    return (w & mask) == old_rgb;
  }
  void paint(guchar *p) const {
    guint32 w;
    memcpy(&w, p, 4);
    w = (w & ~mask) | new_rgb;
    memcpy(p, &w, 4);
  }
};

template <>
struct PixelOps<3> {
  guchar old_r, old_g, old_b, new_r, new_g, new_b;
  PixelOps(const guchar *old_pixel, guint8 r, guint8 g, guint8 b)
      : old_r(old_pixel[0]), old_g(old_pixel[1]), old_b(old_pixel[2]), new_r(r), new_g(g),
        new_b(b) {}
  bool matches(const guchar *p) const { return p[0] == old_r && p[1] == old_g && p[2] == old_b; }
  void paint(guchar *p) const {
    p[0] = new_r;
    p[1] = new_g;
    p[2] = new_b;
  }
};

// Heckbert's scanline seed fill from (x, y), which matches.  Each popped
// segment names a row to search beside an already painted run; runs found
// there are painted and pushed onward, and their overhangs past the parent
// run are pushed back the other way.
template <int kBpp>
void seed_fill(guchar *pixels, size_t stride, int width, int height, int x, int y,
               const PixelOps<kBpp> ops) {
  std::vector<Segment> stack;
  stack.reserve(kStackSegments);
  auto push = [&stack, height](int sy, int xl, int xr, int dy) {
    if (sy + dy >= 0 && sy + dy < height) stack.push_back({sy, xl, xr, dy});
  };

  push(y, x, x, 1);
  push(y + 1, x, x, -1);
  while (!stack.empty()) {
    const Segment s = stack.back();
    stack.pop_back();
    const int dy = s.dy, x1 = s.xl, x2 = s.xr;
    const int row_y = s.y + dy;
    guchar *const row = pixels + row_y * stride;

    int c = x1;
    for (guchar *p = row + c * kBpp; c >= 0 && ops.matches(p); c--, p -= kBpp) ops.paint(p);
    bool in_run = c < x1;
    int l = c + 1;
    if (in_run) {
      if (l < x1) push(row_y, l, x1 - 1, -dy);
      c = x1 + 1;
    }
    for (;;) {
      if (in_run) {
        for (guchar *p = row + c * kBpp; c < width && ops.matches(p); c++, p += kBpp)
          ops.paint(p);
        push(row_y, l, c - 1, dy);
        if (c > x2 + 1) push(row_y, x2 + 1, c - 1, -dy);
      }
      c++;
      for (const guchar *p = row + c * kBpp; c <= x2 && !ops.matches(p); c++, p += kBpp) {
      }
      if (c > x2) break;
      l = c;
      in_run = true;
    }
  }
}

}  // namespace

VorpixTool *fill_create(const char *name) {
  VorpixTool *fill = g_new0(VorpixTool, 1);
  g_assert(fill);
  fill->name = name;
  fill->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  fill->destroy = fill_destroy;
  fill->button_press = fill_button_press;
  return fill;
}

bool fill_image(VorpixImage *image, int x, int y, guint8 r, guint8 g, guint8 b) {
  const int width = image_width(image);
  const int height = image_height(image);
  if (x < 0 || x >= width || y < 0 || y >= height) return false;

  guchar *const pixels = image_pixels(image);
  const size_t stride = static_cast<size_t>(image_rowstride(image));
  const int bpp = image_pixelsize(image);
  const guchar *seed = pixels + y * stride + static_cast<size_t>(x) * bpp;
  if (seed[0] == r && seed[1] == g && seed[2] == b) return false;

  if (bpp == 4) {
    seed_fill<4>(pixels, stride, width, height, x, y, PixelOps<4>(seed, r, g, b));
  } else {
    g_assert(bpp == 3);
    seed_fill<3>(pixels, stride, width, height, x, y, PixelOps<3>(seed, r, g, b));
  }
  return true;
}
