#include "tools/fill.h"

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

}  // namespace

VorpixTool *fill_create(const char *name) {
  VorpixTool *tool = g_new0(VorpixTool, 1);
  g_assert(tool);
  tool->name = name;
  tool->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  tool->destroy = fill_destroy;
  tool->button_press = fill_button_press;
  return tool;
}

// Heckbert's scanline seed fill.  Each popped segment names a row to search
// beside an already painted run; runs found there are painted and pushed
// onward, and their overhangs past the parent run are pushed back the other
// way.
bool fill_image(VorpixImage *image, int x, int y, guint8 r, guint8 g, guint8 b) {
  const int width = image_width(image);
  const int height = image_height(image);
  if (x < 0 || x >= width || y < 0 || y >= height) return false;

  guchar *const pixels = image_pixels(image);
  const size_t stride = static_cast<size_t>(image_rowstride(image));
  const int bpp = image_pixelsize(image);
  const guchar *seed = pixels + y * stride + static_cast<size_t>(x) * bpp;
  if (seed[0] == r && seed[1] == g && seed[2] == b) return false;
  const guchar old_r = seed[0], old_g = seed[1], old_b = seed[2];

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
    auto matches = [row, bpp, old_r, old_g, old_b](int c) {
      const guchar *p = row + c * bpp;
      return p[0] == old_r && p[1] == old_g && p[2] == old_b;
    };
    auto paint = [row, bpp, r, g, b](int c) {
      guchar *p = row + c * bpp;
      p[0] = r;
      p[1] = g;
      p[2] = b;
    };

    int c = x1;
    while (c >= 0 && matches(c)) paint(c--);
    bool in_run = c < x1;
    int l = c + 1;
    if (in_run) {
      if (l < x1) push(row_y, l, x1 - 1, -dy);
      c = x1 + 1;
    }
    for (;;) {
      if (in_run) {
        while (c < width && matches(c)) paint(c++);
        push(row_y, l, c - 1, dy);
        if (c > x2 + 1) push(row_y, x2 + 1, c - 1, -dy);
      }
      for (c++; c <= x2 && !matches(c); c++) {
      }
      if (c > x2) break;
      l = c;
      in_run = true;
    }
  }
  return true;
}
