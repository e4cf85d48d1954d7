// Putting the picture, the grid and the marks on the window.
#include <X11/extensions/Xrender.h>
#include <cairo-xlib-xrender.h>
#include <cairo.h>
#include <gdk/gdkx.h>

#include <cmath>
#include <vector>

#include "document/view_private.h"
#include "imaging/image.h"
#include "tools/selection.h"

namespace view_detail {
namespace {

// The grid flips the top bit of every channel: each grid pixel differs from
// the picture's by half the range in red, green and blue, on any picture.
constexpr guint16 kGridFlip = 0x8080;

// X requests carry 16-bit coordinates: a mark reaching beyond this is cut to
// the window first.
constexpr int kSafeCoordinate = 16000;
constexpr int kArcSegments = 256;
constexpr double kFullCircle = 360 * 64;

bool safe(int v) { return v > -kSafeCoordinate && v < kSafeCoordinate; }

bool all_safe(const std::vector<GdkPoint> &points) {
  return std::all_of(points.begin(), points.end(),
                     [](const GdkPoint &p) { return safe(p.x) && safe(p.y); });
}

// Cuts the segment to box (Liang-Barsky); false when nothing of it is inside.
bool clip_segment(double box_x0, double box_y0, double box_x1, double box_y1, double &x0,
                  double &y0, double &x1, double &y1) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - box_x0, box_x1 - x0, y0 - box_y0, box_y1 - y0};
  for (int i = 0; i < 4; i++) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double sx = x0, sy = y0;
  x0 = sx + t0 * dx, y0 = sy + t0 * dy;
  x1 = sx + t1 * dx, y1 = sy + t1 * dy;
  return true;
}

// A polyline too far out for one X request: the parts of its segments near
// the window, each drawn on its own.
void draw_cut_polyline(const VorpixView *view, GdkGC *gc, const std::vector<GdkPoint> &points,
                       int margin) {
  const GdkRectangle bounds = window_bounds(view);
  const double x0 = -margin, y0 = -margin;
  const double x1 = bounds.width + margin, y1 = bounds.height + margin;
  std::vector<GdkSegment> segments;
  for (size_t i = 0; i + 1 < points.size(); i++) {
    double ax = points[i].x, ay = points[i].y, bx = points[i + 1].x, by = points[i + 1].y;
    if (!clip_segment(x0, y0, x1, y1, ax, ay, bx, by)) continue;
    segments.push_back({static_cast<gint>(std::lround(ax)), static_cast<gint>(std::lround(ay)),
                        static_cast<gint>(std::lround(bx)), static_cast<gint>(std::lround(by))});
  }
  if (!segments.empty())
    gdk_draw_segments(window_of(view), gc, segments.data(), static_cast<gint>(segments.size()));
}

void draw_polyline(const VorpixView *view, GdkGC *gc, const std::vector<GdkPoint> &points,
                   int line_width) {
  if (points.size() < 2) return;
  if (all_safe(points)) {
    gdk_draw_lines(window_of(view), gc, const_cast<GdkPoint *>(points.data()),
                   static_cast<gint>(points.size()));
    return;
  }
  draw_cut_polyline(view, gc, points, line_width + 2);
}

// mark_gc becomes a copy of gc clipped to the picture (and, while repainting,
// to the part repainted); with scale_width its line width is zoomed.
GdkGC *mark_gc_from(VorpixView *view, GdkGC *gc, bool scale_width, int *line_width) {
  GdkGC *mark = view->mark_gc;
  gdk_gc_copy(mark, gc);
  GdkGCValues values;
  gdk_gc_get_values(gc, &values);
  *line_width = values.line_width;
  if (scale_width && !is_normal(view)) {
    *line_width = scaled_width(view, values.line_width);
    gdk_gc_set_line_attributes(mark, *line_width, values.line_style, values.cap_style,
                               values.join_style);
  }
  GdkRectangle extent = picture_on_window(view);
  gdk_gc_set_clip_origin(mark, 0, 0);
  if (view->clip) {
    GdkRegion *region = gdk_region_rectangle(&extent);
    gdk_region_intersect(region, view->clip);
    gdk_gc_set_clip_region(mark, region);
    gdk_region_destroy(region);
  } else {
    gdk_gc_set_clip_rectangle(mark, &extent);
  }
  return mark;
}

// The grid lines over the window box, within clip: one between every two
// picture pixels.  Vertical lines leave out the rows of the horizontal ones,
// so that no crossing is flipped twice.
void draw_grid(const VorpixView *view, GdkRectangle box, const GdkRegion *clip) {
  const Level &l = level_of(view);
  VorpixDrawing *drawing = drawing_of(view);
  const int z = l.num / l.den;
  GdkWindow *window = window_of(view);
  std::vector<GdkSegment> lines;
  GdkRegion *between = gdk_region_new();
  int top = box.y;
  const long long first_row = std::max<long long>(1, ceil_div(box.y + view->scroll_y, z));
  const long long last_row = std::min<long long>(
      drawing->height - 1, floor_div(box.y + box.height - 1 + view->scroll_y, z));
  for (long long row = first_row; row <= last_row; row++) {
    const int y = edge_y(view, row);
    lines.push_back({box.x, y, box.x + box.width - 1, y});
    GdkRectangle band = {box.x, top, box.width, y - top};
    if (band.height > 0) gdk_region_union_with_rect(between, &band);
    top = y + 1;
  }
  GdkRectangle last = {box.x, top, box.width, box.y + box.height - top};
  if (last.height > 0) gdk_region_union_with_rect(between, &last);
  if (!lines.empty()) {
    gdk_gc_set_clip_region(view->grid_gc, clip);
    gdk_draw_segments(window, view->grid_gc, lines.data(), static_cast<gint>(lines.size()));
  }

  lines.clear();
  const long long first_col = std::max<long long>(1, ceil_div(box.x + view->scroll_x, z));
  const long long last_col = std::min<long long>(
      drawing->width - 1, floor_div(box.x + box.width - 1 + view->scroll_x, z));
  for (long long col = first_col; col <= last_col; col++) {
    const int x = edge_x(view, col);
    lines.push_back({x, box.y, x, box.y + box.height - 1});
  }
  if (!lines.empty()) {
    gdk_region_intersect(between, clip);
    gdk_gc_set_clip_region(view->grid_gc, between);
    gdk_draw_segments(window, view->grid_gc, lines.data(), static_cast<gint>(lines.size()));
  }
  gdk_gc_set_clip_region(view->grid_gc, nullptr);
  gdk_region_destroy(between);
}

// Transparent parts of a picture show this checkerboard behind them, in
// window pixels so that it looks the same at every zoom.
constexpr int kCheckSize = 8;
constexpr double kCheckLight = 0.8, kCheckDark = 0.6;
constexpr int kAlphaDepth = 32;

// Fills region (window pixels) with the checkerboard, aligned to the
// window: a tile the server repeats.
void paint_checkerboard(VorpixView *view, const GdkRegion *region) {
  GdkWindow *window = window_of(view);
  if (!view->checker_gc) {
    GdkPixmap *tile = gdk_pixmap_new(window, 2 * kCheckSize, 2 * kCheckSize, -1);
    cairo_t *t = gdk_cairo_create(tile);
    cairo_set_source_rgb(t, kCheckLight, kCheckLight, kCheckLight);
    cairo_paint(t);
    cairo_set_source_rgb(t, kCheckDark, kCheckDark, kCheckDark);
    cairo_rectangle(t, 0, 0, kCheckSize, kCheckSize);
    cairo_rectangle(t, kCheckSize, kCheckSize, kCheckSize, kCheckSize);
    cairo_fill(t);
    cairo_destroy(t);
    view->checker_gc = gdk_gc_new(window);
    gdk_gc_set_tile(view->checker_gc, tile);
    gdk_gc_set_fill(view->checker_gc, GDK_TILED);
    g_object_unref(tile);
  }
  GdkRectangle box;
  gdk_region_get_clipbox(region, &box);
  gdk_gc_set_clip_region(view->checker_gc, region);
  gdk_draw_rectangle(window, view->checker_gc, TRUE, box.x, box.y, box.width, box.height);
  gdk_gc_set_clip_region(view->checker_gc, nullptr);
}

// Scales cr from picture pixels to the window and puts the first picture
// pixel that part (window pixels) shows, limited to area, at the origin, so
// the numbers handed to the server stay small at every zoom; that pixel
// goes to *first_x, *first_y.
void from_first_shown(cairo_t *cr, const VorpixView *view, const GdkRectangle &part,
                      const GdkRectangle &area, int *first_x, int *first_y) {
  view_window_to_picture(view, part.x, part.y, first_x, first_y);
  *first_x = std::max(*first_x, area.x);
  *first_y = std::max(*first_y, area.y);
  const Level &l = level_of(view);
  cairo_translate(cr, static_cast<double>(*first_x) * l.num / l.den - view->scroll_x,
                  static_cast<double>(*first_y) * l.num / l.den - view->scroll_y);
  cairo_scale(cr, static_cast<double>(l.num) / l.den, static_cast<double>(l.num) / l.den);
}

// Zoomed in, every picture pixel is a block of its exact colour; zoomed
// out, neighbours blend (bilinear stays on the server, unlike GOOD).
void sample_for(cairo_pattern_t *pattern, const VorpixView *view) {
  const Level &l = level_of(view);
  cairo_pattern_set_filter(pattern, l.num >= l.den ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
}

// The window's cairo context clipped to region (window pixels), which
// already shows the checkerboard: what a picture with alpha is put on.
cairo_t *checkered_context(VorpixView *view, const GdkRegion *region) {
  paint_checkerboard(view, region);
  cairo_t *cr = gdk_cairo_create(window_of(view));
  gdk_cairo_region(cr, region);
  cairo_clip(cr);
  return cr;
}

// The area of a pixmap with alpha as a premultiplied cairo surface; null
// when its pixels cannot be read.
cairo_surface_t *alpha_surface(GdkDrawable *source, const GdkRectangle &area) {
  VorpixImage *image = image_new_from_pixmap(GDK_PIXMAP(source), area);
  if (!image) return nullptr;
  cairo_surface_t *surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.width, area.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    image_free(image);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  guchar *out = cairo_image_surface_get_data(surface);
  for (int y = 0; y < area.height; y++) {
    const guchar *p = image_pixels(image) + static_cast<ptrdiff_t>(y) * image_rowstride(image);
    guint32 *q = reinterpret_cast<guint32 *>(out + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < area.width; x++, p += 4) {
      const guint a = p[3];
      auto pre = [a](guint c) { return (c * a + 127) / 255; };
      q[x] = a << 24 | pre(p[0]) << 16 | pre(p[1]) << 8 | pre(p[2]);
    }
  }
  image_free(image);
  cairo_surface_mark_dirty(surface);
  return surface;
}

// The server's formats for reading a 32-bit pixmap with and without its
// alpha; null when it has none such.
XRenderPictFormat *pixmap_format(Display *display, bool with_alpha) {
  XRenderPictFormat wanted = {};
  wanted.type = PictTypeDirect;
  wanted.depth = kAlphaDepth;
  wanted.direct.red = 16;
  wanted.direct.redMask = 0xff;
  wanted.direct.green = 8;
  wanted.direct.greenMask = 0xff;
  wanted.direct.blue = 0;
  wanted.direct.blueMask = 0xff;
  wanted.direct.alpha = with_alpha ? 24 : 0;
  wanted.direct.alphaMask = with_alpha ? 0xff : 0;
  unsigned long fields = PictFormatType | PictFormatDepth | PictFormatRed | PictFormatRedMask |
                        PictFormatGreen | PictFormatGreenMask | PictFormatBlue |
                        PictFormatBlueMask | PictFormatAlphaMask;
  if (with_alpha) fields |= PictFormatAlpha;
  return XRenderFindFormat(display, fields, &wanted, 0);
}

// The picture keeps straight colours, which RENDER cannot blend as they
// are.  Read without its alpha, as the source, and masked by the same
// pixels read with it, OVER gives colour x alpha + window x (1 - alpha):
// the straight blend, on the server, with no pixels read back.  Only from
// 100% up: blending neighbours for a zoomed-out view must weigh colours by
// their alpha, or hidden colours of transparent pixels bleed in.  False
// when not shown.
bool show_alpha_on_server(VorpixView *view, GdkDrawable *source, int origin_x, int origin_y,
                          const GdkRectangle &area, const GdkRegion *part_region) {
  if (level_of(view).num < level_of(view).den) return false;
  // The server's pictures of the pixmap are kept while it is the one shown:
  // a repaint per pointer event need not make them anew.
  if (view->alpha_source != GDK_PIXMAP(source)) {
    forget_alpha_source(view);
    Display *display = GDK_DRAWABLE_XDISPLAY(source);
    XRenderPictFormat *colours_format = pixmap_format(display, false);
    XRenderPictFormat *alpha_format = pixmap_format(display, true);
    if (!colours_format || !alpha_format) return false;
    int width = 0, height = 0;
    gdk_drawable_get_size(source, &width, &height);
    Screen *screen = GDK_SCREEN_XSCREEN(gdk_drawable_get_screen(source));
    const Drawable xid = GDK_DRAWABLE_XID(source);
    view->alpha_source = GDK_PIXMAP(g_object_ref(source));
    view->alpha_colours = cairo_xlib_surface_create_with_xrender_format(
        display, xid, screen, colours_format, width, height);
    view->alpha_mask = cairo_xlib_surface_create_with_xrender_format(display, xid, screen,
                                                                     alpha_format, width, height);
  }
  cairo_surface_t *colours = view->alpha_colours, *alpha = view->alpha_mask;
  cairo_t *cr = checkered_context(view, part_region);
  GdkRectangle part;
  gdk_region_get_clipbox(part_region, &part);
  int first_x, first_y;
  from_first_shown(cr, view, part, area, &first_x, &first_y);
  cairo_set_source_surface(cr, colours, origin_x - first_x, origin_y - first_y);
  sample_for(cairo_get_source(cr), view);
  cairo_pattern_t *mask = cairo_pattern_create_for_surface(alpha);
  cairo_matrix_t at_origin;
  cairo_matrix_init_translate(&at_origin, first_x - origin_x, first_y - origin_y);
  cairo_pattern_set_matrix(mask, &at_origin);
  sample_for(mask, view);
  cairo_mask(cr, mask);
  cairo_pattern_destroy(mask);
  cairo_destroy(cr);
  return true;
}

// As show_alpha_on_server, zoomed out or for a server without the formats:
// the part of the picture that part (window pixels) shows is read,
// composited over the checkerboard on the client and scaled as the opaque
// path scales.
void show_alpha_pixels(VorpixView *view, GdkDrawable *source, int origin_x, int origin_y,
                       const GdkRectangle &area, const GdkRectangle &part,
                       const GdkRegion *part_region) {
  int first_x, first_y, last_x, last_y;
  view_window_to_picture(view, part.x, part.y, &first_x, &first_y);
  view_window_to_picture(view, part.x + part.width - 1, part.y + part.height - 1, &last_x,
                         &last_y);
  // One pixel more each side for the blending of a zoomed-out view.
  GdkRectangle wanted = {first_x - 1, first_y - 1, last_x - first_x + 3, last_y - first_y + 3};
  GdkRectangle in_area;
  if (!gdk_rectangle_intersect(&wanted, &area, &in_area)) return;
  int source_width = 0, source_height = 0;
  gdk_drawable_get_size(source, &source_width, &source_height);
  GdkRectangle read = {in_area.x - origin_x, in_area.y - origin_y, in_area.width,
                       in_area.height};
  GdkRectangle whole = {0, 0, source_width, source_height}, inside;
  if (!gdk_rectangle_intersect(&read, &whole, &inside)) return;
  cairo_surface_t *surface = alpha_surface(source, inside);
  if (!surface) return;
  const Level &l = level_of(view);
  const double factor = static_cast<double>(l.num) / l.den;
  cairo_t *cr = checkered_context(view, part_region);
  const int picture_x = inside.x + origin_x, picture_y = inside.y + origin_y;
  cairo_translate(cr, static_cast<double>(picture_x) * l.num / l.den - view->scroll_x,
                  static_cast<double>(picture_y) * l.num / l.den - view->scroll_y);
  cairo_scale(cr, factor, factor);
  cairo_set_source_surface(cr, surface, 0, 0);
  sample_for(cairo_get_source(cr), view);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// The one place that puts picture pixels on the window: the part of area
// (picture pixels) that falls in clip (window pixels), taken from source,
// whose (0, 0) holds picture pixel (origin_x, origin_y).  At 100% a plain
// copy; otherwise the X server scales it (RENDER through cairo), each picture
// pixel an exact block from 100% up.  The grid goes over it.
void show_pixels(VorpixView *view, GdkDrawable *source, int origin_x, int origin_y,
                 GdkRectangle area, const GdkRegion *clip) {
  GdkRectangle shown = view_picture_to_window(view, area);
  GdkRegion *part_region = gdk_region_rectangle(&shown);
  gdk_region_intersect(part_region, clip);
  GdkRectangle part;
  gdk_region_get_clipbox(part_region, &part);
  if (gdk_region_empty(part_region)) {
    gdk_region_destroy(part_region);
    return;
  }
  GdkWindow *window = window_of(view);
  const bool with_alpha = gdk_drawable_get_depth(source) == kAlphaDepth;
  // An opaque picture shown now: the pictures of the last one with alpha,
  // and so that pixmap, need not be kept.
  if (!with_alpha && view->alpha_source) forget_alpha_source(view);
  if (with_alpha) {
    if (!show_alpha_on_server(view, source, origin_x, origin_y, area, part_region))
      show_alpha_pixels(view, source, origin_x, origin_y, area, part, part_region);
  } else if (is_normal(view)) {
    gdk_gc_set_clip_region(view->copy_gc, part_region);
    gdk_draw_drawable(window, view->copy_gc, source, part.x + view->scroll_x - origin_x,
                      part.y + view->scroll_y - origin_y, part.x, part.y, part.width,
                      part.height);
    gdk_gc_set_clip_region(view->copy_gc, nullptr);
  } else {
    cairo_t *cr = gdk_cairo_create(window);
    gdk_cairo_region(cr, part_region);
    cairo_clip(cr);
    int first_x, first_y;
    from_first_shown(cr, view, part, area, &first_x, &first_y);
    gdk_cairo_set_source_pixmap(cr, GDK_PIXMAP(source), origin_x - first_x, origin_y - first_y);
    sample_for(cairo_get_source(cr), view);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  if (grid_shown(view)) draw_grid(view, part, part_region);
  gdk_region_destroy(part_region);
}

}  // namespace

// Paints every pixel of region (window pixels): the picture where it is, the
// background beside it, then the grid and the marks over the picture.
void repaint(VorpixView *view, const GdkRegion *region) {
  GdkRectangle extent = picture_on_window(view);
  GdkRegion *clip = gdk_region_rectangle(&extent);
  GdkRegion *beside = gdk_region_copy(region);
  gdk_region_subtract(beside, clip);
  if (!gdk_region_empty(beside)) {
    GtkWidget *area = view->area;
    // The normal background even while the area is insensitive (under work).
    GdkGC *background = area->style->bg_gc[GTK_STATE_NORMAL];
    gdk_gc_set_clip_region(background, beside);
    GdkRectangle box;
    gdk_region_get_clipbox(beside, &box);
    gdk_draw_rectangle(window_of(view), background, TRUE, box.x, box.y, box.width, box.height);
    gdk_gc_set_clip_region(background, nullptr);
  }
  gdk_region_destroy(beside);
  gdk_region_intersect(clip, region);
  VorpixDrawing *drawing = drawing_of(view);
  GdkRectangle all = {0, 0, drawing->width, drawing->height};
  show_pixels(view, drawing->backing_pixmap, 0, 0, all, clip);
  // The marks are drawn again where the picture was repainted, and only
  // there: everywhere else they are still on the window.
  if (view->clip) gdk_region_destroy(view->clip);
  view->clip = clip;
  VorpixTool *tool = view->canvas->tool;
  if (tool && tool->draw) tool->draw(tool);
  selection_draw_shown(view->canvas->selection);
  view->clip = nullptr;
  gdk_region_destroy(clip);
}

GdkGC *new_grid_gc(GdkWindow *window) {
  GdkGC *gc = gdk_gc_new(window);
  GdkColor flip = {0, kGridFlip, kGridFlip, kGridFlip};
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &flip, FALSE, TRUE);
  gdk_gc_set_foreground(gc, &flip);
  gdk_gc_set_function(gc, GDK_XOR);
  gdk_gc_set_line_attributes(gc, 1, GDK_LINE_SOLID, GDK_CAP_BUTT, GDK_JOIN_MITER);
  return gc;
}

void forget_alpha_source(VorpixView *view) {
  if (view->alpha_colours) cairo_surface_destroy(view->alpha_colours);
  if (view->alpha_mask) cairo_surface_destroy(view->alpha_mask);
  if (view->alpha_source) g_object_unref(view->alpha_source);
  view->alpha_colours = view->alpha_mask = nullptr;
  view->alpha_source = nullptr;
}

}  // namespace view_detail

using namespace view_detail;

gboolean view_expose(VorpixView *view, GdkEventExpose *event) {
  repaint(view, event->region);
  return FALSE;
}

// --- marks

void view_mark_line(VorpixView *view, GdkGC *gc, int x1, int y1, int x2, int y2) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  int width;
  GdkGC *mark = mark_gc_from(view, gc, true, &width);
  std::vector<GdkPoint> points = {{centre_x(view, x1), centre_y(view, y1)},
                                  {centre_x(view, x2), centre_y(view, y2)}};
  if (all_safe(points))
    gdk_draw_line(window_of(view), mark, points[0].x, points[0].y, points[1].x, points[1].y);
  else
    draw_cut_polyline(view, mark, points, width + 2);
}

namespace {

// The box of a rectangle or an arc mark on the window, with the GC to draw it.
struct MarkBox {
  GdkGC *mark;
  int line_width;
  int left, top, right, bottom;
  bool safe;  // one X request can carry it
};

MarkBox mark_box(VorpixView *view, GdkGC *gc, int x, int y, int width, int height) {
  MarkBox box;
  box.mark = mark_gc_from(view, gc, true, &box.line_width);
  box.left = centre_x(view, x);
  box.top = centre_y(view, y);
  box.right = centre_x(view, static_cast<long long>(x) + width);
  box.bottom = centre_y(view, static_cast<long long>(y) + height);
  box.safe = all_safe({{box.left, box.top}, {box.right, box.bottom}});
  return box;
}

}  // namespace

void view_mark_rectangle(VorpixView *view, GdkGC *gc, int x, int y, int width, int height) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  const MarkBox b = mark_box(view, gc, x, y, width, height);
  if (b.safe) {
    gdk_draw_rectangle(window_of(view), b.mark, FALSE, b.left, b.top, b.right - b.left,
                       b.bottom - b.top);
    return;
  }
  draw_cut_polyline(view, b.mark,
                    {{b.left, b.top}, {b.right, b.top}, {b.right, b.bottom}, {b.left, b.bottom},
                     {b.left, b.top}},
                    b.line_width + 2);
}

void view_mark_arc(VorpixView *view, GdkGC *gc, int x, int y, int width, int height, int angle1,
                   int angle2) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  const MarkBox b = mark_box(view, gc, x, y, width, height);
  const int left = b.left, top = b.top, right = b.right, bottom = b.bottom;
  if (b.safe) {
    gdk_draw_arc(window_of(view), b.mark, FALSE, left, top, right - left, bottom - top, angle1,
                 angle2);
    return;
  }
  // Too big for X's arcs: a polyline along the same ellipse.
  const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
  const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
  std::vector<GdkPoint> points;
  for (int i = 0; i <= kArcSegments; i++) {
    const double angle = (angle1 + static_cast<double>(angle2) * i / kArcSegments) / kFullCircle *
                         2 * G_PI;
    points.push_back({static_cast<gint>(std::lround(cx + rx * std::cos(angle))),
                      static_cast<gint>(std::lround(cy - ry * std::sin(angle)))});
  }
  draw_cut_polyline(view, b.mark, points, b.line_width + 2);
}

void view_mark_outline(VorpixView *view, GdkGC *gc, const GdkPoint *points, int n) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  int line_width;
  GdkGC *mark = mark_gc_from(view, gc, false, &line_width);
  std::vector<GdkPoint> shown(static_cast<size_t>(std::max(n, 0)));
  for (int i = 0; i < n; i++) shown[i] = {edge_x(view, points[i].x), edge_y(view, points[i].y)};
  draw_polyline(view, mark, shown, line_width);
}

void view_paint_layout(VorpixView *view, PangoLayout *layout, int x, int y) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  GdkRectangle inked = {x + ink.x, y + ink.y, ink.width, ink.height};
  GdkRectangle laid = {x + logical.x, y + logical.y, logical.width, logical.height};
  GdkRectangle box;
  gdk_rectangle_union(&inked, &laid, &box);
  VorpixDrawing *drawing = drawing_of(view);
  GdkRectangle picture = {0, 0, drawing->width, drawing->height};
  GdkRectangle part;
  if (!gdk_rectangle_intersect(&box, &picture, &part)) return;
  // Painted onto a copy of the picture there, exactly as a commit would
  // paint it, and shown like the picture itself.
  // A scratch of the picture's own depth, so a picture with alpha keeps it.
  GdkPixmap *scratch = gdk_pixmap_new(drawing->backing_pixmap, part.width, part.height, -1);
  GdkGC *copy_gc = view->copy_gc;
  if (drawing->has_alpha) {
    gdk_drawable_set_colormap(scratch, gdk_drawable_get_colormap(drawing->backing_pixmap));
    copy_gc = gdk_gc_new(scratch);
  }
  gdk_draw_drawable(scratch, copy_gc, drawing->backing_pixmap, part.x, part.y, 0, 0, part.width,
                    part.height);
  if (copy_gc != view->copy_gc) g_object_unref(copy_gc);
  GtkWidget *area = view->area;
  gtk_paint_layout(area->style, scratch, GTK_STATE_NORMAL, TRUE, nullptr, area, nullptr,
                   x - part.x, y - part.y, layout);
  GdkRectangle bounds = window_bounds(view);
  GdkRegion *everywhere = gdk_region_rectangle(&bounds);
  show_pixels(view, scratch, part.x, part.y, part, view->clip ? view->clip : everywhere);
  gdk_region_destroy(everywhere);
  g_object_unref(scratch);
}
