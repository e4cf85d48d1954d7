#include "document/view.h"

#include <cairo.h>
#include <glade/glade.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "panels/status_bar.h"
#include "tools/selection.h"

namespace {

// A zoom factor as a fraction, so that every mapping is exact.
struct Level {
  int num, den;
};
constexpr Level kLevels[] = {{1, 8}, {1, 4}, {1, 2},  {1, 1},  {2, 1},  {3, 1}, {4, 1},
                             {6, 1}, {8, 1}, {12, 1}, {16, 1}, {24, 1}, {32, 1}};
constexpr int kLevelCount = sizeof kLevels / sizeof kLevels[0];
constexpr int kNormalLevel = 3;
// Below 400% grid lines would cover too much of the picture.
constexpr int kGridMinFactor = 4;

// The grid flips the top bit of every channel: each grid pixel differs from
// the picture's by half the range in red, green and blue, on any picture.
constexpr guint16 kGridFlip = 0x8080;

// X requests carry 16-bit coordinates: a mark reaching beyond this is cut to
// the window first.
constexpr int kSafeCoordinate = 16000;
constexpr int kArcSegments = 256;
constexpr double kFullCircle = 360 * 64;

// Scrolling steps, as fractions of the visible size.
constexpr double kPageIncrement = 0.9;
constexpr double kStepIncrement = 0.1;

constexpr char kZoomInItem[] = "zoom_in_menu";
constexpr char kZoomOutItem[] = "zoom_out_menu";

long long floor_div(long long a, long long b) {
  long long q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

long long ceil_div(long long a, long long b) { return -floor_div(-a, b); }

const Level &level_of(const VorpixView *view) { return kLevels[view->level]; }

bool is_normal(const VorpixView *view) { return view->level == kNormalLevel; }

bool grid_shown(const VorpixView *view) {
  const Level &l = level_of(view);
  return view->show_grid && l.den == 1 && l.num >= kGridMinFactor;
}

VorpixDrawing *drawing_of(const VorpixView *view) { return view->canvas->drawing; }

GdkWindow *window_of(const VorpixView *view) { return view->area->window; }

// The window pixel where picture pixel p begins (the edge before it).
int edge_x(const VorpixView *view, long long p) {
  const Level &l = level_of(view);
  return static_cast<int>(floor_div(p * l.num, l.den) - view->scroll_x);
}

int edge_y(const VorpixView *view, long long p) {
  const Level &l = level_of(view);
  return static_cast<int>(floor_div(p * l.num, l.den) - view->scroll_y);
}

// Where a line through the centre of picture pixel p runs: the middle of its
// block when zoomed in, its one window pixel otherwise.
int centre_offset(const VorpixView *view) {
  const Level &l = level_of(view);
  return l.num > l.den ? l.num / l.den / 2 : 0;
}

int centre_x(const VorpixView *view, long long p) { return edge_x(view, p) + centre_offset(view); }
int centre_y(const VorpixView *view, long long p) { return edge_y(view, p) + centre_offset(view); }

int scaled_width(const VorpixView *view, int width) {
  const Level &l = level_of(view);
  if (width == 0) return l.num > l.den ? l.num / l.den : 0;
  return static_cast<int>(std::max<long long>(1, static_cast<long long>(width) * l.num / l.den));
}

GdkRectangle window_bounds(const VorpixView *view) {
  return {0, 0, view->area->allocation.width, view->area->allocation.height};
}

// Where the whole picture lies on the window, cut to the window.
GdkRectangle picture_on_window(const VorpixView *view) {
  VorpixDrawing *drawing = drawing_of(view);
  GdkRectangle all = {0, 0, drawing->width, drawing->height};
  GdkRectangle shown = view_picture_to_window(view, all);
  GdkRectangle bounds = window_bounds(view);
  GdkRectangle part = {0, 0, 0, 0};
  gdk_rectangle_intersect(&shown, &bounds, &part);
  return part;
}

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

// The grid lines over the window box: one between every two picture pixels.
// Vertical lines leave out the rows of the horizontal ones, so that no
// crossing is flipped twice.
void draw_grid(const VorpixView *view, GdkRectangle box) {
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
  if (!lines.empty())
    gdk_draw_segments(window, view->grid_gc, lines.data(), static_cast<gint>(lines.size()));

  lines.clear();
  const long long first_col = std::max<long long>(1, ceil_div(box.x + view->scroll_x, z));
  const long long last_col = std::min<long long>(
      drawing->width - 1, floor_div(box.x + box.width - 1 + view->scroll_x, z));
  for (long long col = first_col; col <= last_col; col++) {
    const int x = edge_x(view, col);
    lines.push_back({x, box.y, x, box.y + box.height - 1});
  }
  if (!lines.empty()) {
    gdk_gc_set_clip_region(view->grid_gc, between);
    gdk_draw_segments(window, view->grid_gc, lines.data(), static_cast<gint>(lines.size()));
    gdk_gc_set_clip_region(view->grid_gc, nullptr);
  }
  gdk_region_destroy(between);
}

// The one place that puts picture pixels on the window: the part of area
// (picture pixels) that falls in the window box, taken from source, whose
// (0, 0) holds picture pixel (origin_x, origin_y).  At 100% a plain copy;
// otherwise the X server scales it (RENDER through cairo), each picture pixel
// an exact block from 100% up.  The grid goes over it.
void show_pixels(VorpixView *view, GdkDrawable *source, int origin_x, int origin_y,
                 GdkRectangle area, GdkRectangle box) {
  GdkRectangle shown = view_picture_to_window(view, area);
  GdkRectangle part;
  if (!gdk_rectangle_intersect(&shown, &box, &part)) return;
  GdkWindow *window = window_of(view);
  if (is_normal(view)) {
    gdk_draw_drawable(window, view->copy_gc, source, part.x + view->scroll_x - origin_x,
                      part.y + view->scroll_y - origin_y, part.x, part.y, part.width,
                      part.height);
  } else {
    const Level &l = level_of(view);
    // The first picture pixel the part shows is the source's origin here, so
    // the numbers handed to the server stay small at every zoom.
    int first_x, first_y;
    view_window_to_picture(view, part.x, part.y, &first_x, &first_y);
    first_x = std::max(first_x, area.x);
    first_y = std::max(first_y, area.y);
    const double factor = static_cast<double>(l.num) / l.den;
    cairo_t *cr = gdk_cairo_create(window);
    cairo_rectangle(cr, part.x, part.y, part.width, part.height);
    cairo_clip(cr);
    cairo_translate(cr, static_cast<double>(first_x) * l.num / l.den - view->scroll_x,
                    static_cast<double>(first_y) * l.num / l.den - view->scroll_y);
    cairo_scale(cr, factor, factor);
    gdk_cairo_set_source_pixmap(cr, GDK_PIXMAP(source), origin_x - first_x, origin_y - first_y);
    cairo_pattern_t *pattern = cairo_get_source(cr);
    // Zoomed in, every picture pixel is a block of its exact colour; zoomed
    // out, the server blends (bilinear stays on the server, unlike GOOD).
    cairo_pattern_set_filter(pattern, l.num >= l.den ? CAIRO_FILTER_NEAREST
                                                     : CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  if (grid_shown(view)) draw_grid(view, part);
}

// --- the status bar and the menu

void update_position(VorpixView *view) {
  if (!view->status_bar) return;
  VorpixDrawing *drawing = drawing_of(view);
  int x = 0, y = 0;
  bool over = view->pointer_inside;
  if (over) {
    view_window_to_picture(view, view->pointer_x, view->pointer_y, &x, &y);
    over = x >= 0 && y >= 0 && x < drawing->width && y < drawing->height;
  }
  status_bar_set_position(view->status_bar, over, x, y);
}

// Everything but the position, which follows the pointer.
void update_status(VorpixView *view) {
  if (view->status_idle) {
    g_source_remove(view->status_idle);
    view->status_idle = 0;
  }
  GtkWidget *bar = view->status_bar;
  if (!bar) return;
  VorpixDrawing *drawing = drawing_of(view);
  status_bar_set_picture_size(bar, drawing->width, drawing->height);
  // The outline runs along pixel edges: its extent is the selected size.
  VorpixPointArray *outline = selection_points(view->canvas->selection);
  GdkRectangle box;
  point_array_bounding_rectangle(outline, &box);
  status_bar_set_selection_size(bar, point_array_size(outline) > 0, box.width - 1,
                                box.height - 1);
  status_bar_set_zoom(bar, view_level_factor(view->level) * 100);
}

gboolean on_status_idle(gpointer data) {
  auto *view = static_cast<VorpixView *>(data);
  view->status_idle = 0;
  update_status(view);
  return FALSE;
}

// The zoom items can only go as far as the levels do.
void update_menu(VorpixView *view) {
  GtkWidget *toplevel = view->canvas->toplevel;
  GladeXML *xml = toplevel ? glade_get_widget_tree(toplevel) : nullptr;
  if (!xml) return;
  if (GtkWidget *item = glade_xml_get_widget(xml, kZoomInItem))
    gtk_widget_set_sensitive(item, view->level < kLevelCount - 1);
  if (GtkWidget *item = glade_xml_get_widget(xml, kZoomOutItem))
    gtk_widget_set_sensitive(item, view->level > 0);
}

// --- scrolling

void invalidate_all(VorpixView *view) {
  if (GTK_WIDGET_REALIZED(view->area)) gdk_window_invalidate_rect(window_of(view), nullptr, FALSE);
}

// The scroll range is the zoomed picture, the page what the window shows.
void configure(GtkAdjustment *adjustment, int upper, int page, int value) {
  if (!adjustment) return;
  upper = std::max(upper, page);
  // Configuring always tells the scrollbar: only do it for a change.
  if (adjustment->lower == 0 && adjustment->upper == upper && adjustment->page_size == page &&
      adjustment->value == value)
    return;
  gtk_adjustment_configure(adjustment, value, 0, upper, page * kStepIncrement,
                           page * kPageIncrement, page);
}

// Keeps the scroll position within the range and gives the adjustments the
// current range; true when the position had to change.
bool update_adjustments(VorpixView *view) {
  int width, height;
  view_zoomed_size(view, &width, &height);
  const GdkRectangle bounds = window_bounds(view);
  const int x = std::clamp(view->scroll_x, 0, std::max(0, width - bounds.width));
  const int y = std::clamp(view->scroll_y, 0, std::max(0, height - bounds.height));
  const bool moved = x != view->scroll_x || y != view->scroll_y;
  view->scroll_x = x;
  view->scroll_y = y;
  configure(view->hadjustment, width, bounds.width, x);
  configure(view->vadjustment, height, bounds.height, y);
  return moved;
}

// Scrolling repaints the whole window rather than moving its pixels: the
// marks, cut to the window at high zoom, must be drawn afresh to be
// inverted away exactly.
void on_value_changed(GtkAdjustment *adjustment, gpointer data) {
  auto *view = static_cast<VorpixView *>(data);
  const int value = static_cast<int>(std::lround(gtk_adjustment_get_value(adjustment)));
  gint32 &scroll = adjustment == view->hadjustment ? view->scroll_x : view->scroll_y;
  if (value == scroll) return;
  scroll = value;
  invalidate_all(view);
  update_position(view);
}

void set_adjustments(VorpixView *view, GtkAdjustment *hadjustment, GtkAdjustment *vadjustment) {
  GtkAdjustment **slots[] = {&view->hadjustment, &view->vadjustment};
  GtkAdjustment *values[] = {hadjustment, vadjustment};
  for (int i = 0; i < 2; i++) {
    GtkAdjustment *&slot = *slots[i];
    if (slot == values[i]) continue;
    if (slot) {
      g_signal_handlers_disconnect_by_func(slot, reinterpret_cast<gpointer>(on_value_changed),
                                           view);
      g_object_unref(slot);
    }
    slot = values[i];
    if (slot) {
      g_object_ref(slot);
      g_signal_connect(slot, "value-changed", G_CALLBACK(on_value_changed), view);
    }
  }
  update_adjustments(view);
}

void on_size_allocate(GtkWidget *, GtkAllocation *, gpointer data) {
  auto *view = static_cast<VorpixView *>(data);
  if (update_adjustments(view)) invalidate_all(view);
}

void on_drawing_changed(VorpixDrawing *drawing, const GdkRectangle *area, gpointer data) {
  auto *view = static_cast<VorpixView *>(data);
  if (drawing == drawing_of(view)) view_damage(view, *area);
}

// --- the drawing area

struct VorpixViewArea {
  GtkDrawingArea parent_instance;
  VorpixView *view;           // not owned: the view of the area's canvas, once there is one
  GtkAdjustment *hadjustment;  // one reference, or null
  GtkAdjustment *vadjustment;  // one reference, or null
};

struct VorpixViewAreaClass {
  GtkDrawingAreaClass parent_class;
  void (*set_scroll_adjustments)(VorpixViewArea *area, GtkAdjustment *hadjustment,
                                 GtkAdjustment *vadjustment);
};

GType view_area_get_type();
GtkObjectClass *view_area_parent_class = nullptr;

bool is_view_area(GtkWidget *widget) {
  return widget && G_TYPE_CHECK_INSTANCE_TYPE(widget, view_area_get_type());
}

VorpixViewArea *as_view_area(GtkWidget *widget) {
  return G_TYPE_CHECK_INSTANCE_CAST(widget, view_area_get_type(), VorpixViewArea);
}

void hold(GtkAdjustment *&slot, GtkAdjustment *adjustment) {
  if (adjustment) g_object_ref_sink(adjustment);
  if (slot) g_object_unref(slot);
  slot = adjustment;
}

void view_area_set_scroll_adjustments(VorpixViewArea *area, GtkAdjustment *hadjustment,
                                      GtkAdjustment *vadjustment) {
  hold(area->hadjustment, hadjustment);
  hold(area->vadjustment, vadjustment);
  if (area->view) set_adjustments(area->view, hadjustment, vadjustment);
}

void view_area_destroy(GtkObject *object) {
  VorpixViewArea *area = as_view_area(GTK_WIDGET(object));
  hold(area->hadjustment, nullptr);
  hold(area->vadjustment, nullptr);
  view_area_parent_class->destroy(object);
}

void view_area_class_init(gpointer klass, gpointer) {
  view_area_parent_class = GTK_OBJECT_CLASS(g_type_class_peek_parent(klass));
  GTK_OBJECT_CLASS(klass)->destroy = view_area_destroy;
  auto *area_class = static_cast<VorpixViewAreaClass *>(klass);
  area_class->set_scroll_adjustments = view_area_set_scroll_adjustments;
  // A null marshaller picks GLib's generic one.
  GTK_WIDGET_CLASS(klass)->set_scroll_adjustments_signal = g_signal_new(
      "set-scroll-adjustments", G_TYPE_FROM_CLASS(klass),
      static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_STRUCT_OFFSET(VorpixViewAreaClass, set_scroll_adjustments), nullptr, nullptr, nullptr,
      G_TYPE_NONE, 2, GTK_TYPE_ADJUSTMENT, GTK_TYPE_ADJUSTMENT);
}

GType view_area_get_type() {
  static GType type = 0;
  if (!type) {
    type = g_type_register_static_simple(GTK_TYPE_DRAWING_AREA, "VorpixViewArea",
                                         sizeof(VorpixViewAreaClass), view_area_class_init,
                                         sizeof(VorpixViewArea), nullptr,
                                         static_cast<GTypeFlags>(0));
  }
  return type;
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

}  // namespace

int view_level_count() { return kLevelCount; }

int view_normal_level() { return kNormalLevel; }

double view_level_factor(int level) {
  level = std::clamp(level, 0, kLevelCount - 1);
  return static_cast<double>(kLevels[level].num) / kLevels[level].den;
}

VorpixView *view_new(VorpixCanvas *canvas) {
  g_assert(canvas);
  g_assert(canvas->drawing_area && canvas->drawing_area->window);
  g_assert(canvas->drawing);
  VorpixView *view = g_new0(VorpixView, 1);
  view->canvas = canvas;
  view->area = canvas->drawing_area;
  view->level = kNormalLevel;
  GdkWindow *window = window_of(view);
  view->copy_gc = gdk_gc_new(window);
  gdk_gc_set_exposures(view->copy_gc, FALSE);
  view->mark_gc = gdk_gc_new(window);
  view->grid_gc = new_grid_gc(window);
  g_assert(view->copy_gc && view->mark_gc && view->grid_gc);

  view->status_bar = status_bar_lookup(view->area);
  if (view->status_bar)
    g_object_add_weak_pointer(G_OBJECT(view->status_bar),
                              reinterpret_cast<gpointer *>(&view->status_bar));
  drawing_add_change_watch(on_drawing_changed, view);
  g_signal_connect_after(view->area, "size-allocate", G_CALLBACK(on_size_allocate), view);
  if (is_view_area(view->area)) {
    VorpixViewArea *area = as_view_area(view->area);
    area->view = view;
    set_adjustments(view, area->hadjustment, area->vadjustment);
  }
  update_adjustments(view);
  update_status(view);
  update_position(view);
  update_menu(view);
  return view;
}

void view_destroy(VorpixView *view) {
  g_assert(view);
  drawing_remove_change_watch(on_drawing_changed, view);
  if (view->status_idle) g_source_remove(view->status_idle);
  set_adjustments(view, nullptr, nullptr);
  // The drawing area is going away too; it must not point here any longer.
  if (is_view_area(view->area) && as_view_area(view->area)->view == view) {
    as_view_area(view->area)->view = nullptr;
    g_signal_handlers_disconnect_by_func(view->area, reinterpret_cast<gpointer>(on_size_allocate),
                                         view);
  }
  if (view->status_bar)
    g_object_remove_weak_pointer(G_OBJECT(view->status_bar),
                                 reinterpret_cast<gpointer *>(&view->status_bar));
  if (view->clip) gdk_region_destroy(view->clip);
  g_object_unref(view->copy_gc);
  g_object_unref(view->mark_gc);
  g_object_unref(view->grid_gc);
  g_free(view);
}

VorpixView *view_of_widget(GtkWidget *widget) {
  return is_view_area(widget) ? as_view_area(widget)->view : nullptr;
}

GtkWidget *view_area_new() { return GTK_WIDGET(g_object_new(view_area_get_type(), nullptr)); }

// --- zoom and scrolling

void view_set_level(VorpixView *view, int level) {
  const GdkRectangle bounds = window_bounds(view);
  view_set_level_at(view, level, bounds.width / 2, bounds.height / 2);
}

void view_set_level_at(VorpixView *view, int level, int wx, int wy) {
  level = std::clamp(level, 0, kLevelCount - 1);
  if (level == view->level) return;
  const Level old = level_of(view), now = kLevels[level];
  // The zoomed picture's pixel under (wx, wy) at the new level, exactly.
  const long long under_x = wx + static_cast<long long>(view->scroll_x);
  const long long under_y = wy + static_cast<long long>(view->scroll_y);
  const long long scale = static_cast<long long>(old.num) * now.den;
  view->level = level;
  view->scroll_x = static_cast<int>(floor_div(under_x * old.den * now.num, scale) - wx);
  view->scroll_y = static_cast<int>(floor_div(under_y * old.den * now.num, scale) - wy);
  update_adjustments(view);
  invalidate_all(view);
  update_status(view);
  update_position(view);
  update_menu(view);
}

int view_best_fit_level(VorpixView *view) {
  // The room the picture has once no scrollbar is needed.
  GtkWidget *frame = view->area->parent;
  GtkAllocation room = frame ? frame->allocation : view->area->allocation;
  if (frame && GTK_IS_CONTAINER(frame)) {
    const int border = 2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(frame)));
    room.width -= border;
    room.height -= border;
  }
  VorpixDrawing *drawing = drawing_of(view);
  for (int level = kLevelCount - 1; level > 0; level--) {
    const Level &l = kLevels[level];
    if (ceil_div(static_cast<long long>(drawing->width) * l.num, l.den) <= room.width &&
        ceil_div(static_cast<long long>(drawing->height) * l.num, l.den) <= room.height)
      return level;
  }
  return 0;
}

void view_set_show_grid(VorpixView *view, gboolean show) {
  const gint32 value = show ? 1 : 0;
  if (view->show_grid == value) return;
  view->show_grid = value;
  const Level &l = level_of(view);
  if (l.den == 1 && l.num >= kGridMinFactor) invalidate_all(view);
}

void view_scroll_to(VorpixView *view, int x, int y) {
  view->scroll_x = x;
  view->scroll_y = y;
  update_adjustments(view);
  invalidate_all(view);
  update_position(view);
}

// --- mapping

void view_window_to_picture(const VorpixView *view, double wx, double wy, int *px, int *py) {
  const Level &l = level_of(view);
  *px = static_cast<int>(std::trunc((wx + view->scroll_x) * l.den / l.num));
  *py = static_cast<int>(std::trunc((wy + view->scroll_y) * l.den / l.num));
}

GdkRectangle view_picture_to_window(const VorpixView *view, GdkRectangle area) {
  const Level &l = level_of(view);
  const long long x0 = floor_div(static_cast<long long>(area.x) * l.num, l.den);
  const long long y0 = floor_div(static_cast<long long>(area.y) * l.num, l.den);
  const long long x1 = ceil_div((static_cast<long long>(area.x) + area.width) * l.num, l.den);
  const long long y1 = ceil_div((static_cast<long long>(area.y) + area.height) * l.num, l.den);
  return {static_cast<int>(x0 - view->scroll_x), static_cast<int>(y0 - view->scroll_y),
          static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}

GdkRectangle view_visible_area(const VorpixView *view) {
  const Level &l = level_of(view);
  const GdkRectangle bounds = window_bounds(view);
  const long long x0 = floor_div(static_cast<long long>(view->scroll_x) * l.den, l.num);
  const long long y0 = floor_div(static_cast<long long>(view->scroll_y) * l.den, l.num);
  const long long x1 =
      ceil_div((static_cast<long long>(view->scroll_x) + bounds.width) * l.den, l.num);
  const long long y1 =
      ceil_div((static_cast<long long>(view->scroll_y) + bounds.height) * l.den, l.num);
  VorpixDrawing *drawing = drawing_of(view);
  GdkRectangle visible = {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                          static_cast<int>(y1 - y0)};
  GdkRectangle picture = {0, 0, drawing->width, drawing->height};
  GdkRectangle part = {0, 0, 0, 0};
  gdk_rectangle_intersect(&visible, &picture, &part);
  return part;
}

void view_zoomed_size(const VorpixView *view, int *width, int *height) {
  const Level &l = level_of(view);
  VorpixDrawing *drawing = drawing_of(view);
  *width = static_cast<int>(ceil_div(static_cast<long long>(drawing->width) * l.num, l.den));
  *height = static_cast<int>(ceil_div(static_cast<long long>(drawing->height) * l.num, l.den));
}

// --- showing the picture

void view_picture_changed(VorpixView *view) {
  update_adjustments(view);
  invalidate_all(view);
  update_status(view);
  update_position(view);
}

void view_damage(VorpixView *view, GdkRectangle area) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  GdkRectangle shown = view_picture_to_window(view, area);
  GdkRectangle bounds = window_bounds(view);
  GdkRectangle part;
  if (gdk_rectangle_intersect(&shown, &bounds, &part))
    gdk_window_invalidate_rect(window_of(view), &part, FALSE);
}

void view_flush(VorpixView *view) {
  if (GTK_WIDGET_REALIZED(view->area)) gdk_window_process_updates(window_of(view), FALSE);
  if (view->status_idle) update_status(view);
}

gboolean view_expose(VorpixView *view, GdkEventExpose *event) {
  GdkRectangle extent = picture_on_window(view);
  GdkRegion *clip = gdk_region_rectangle(&extent);
  gdk_region_intersect(clip, event->region);
  if (!gdk_region_empty(clip)) {
    GdkRectangle box;
    gdk_region_get_clipbox(clip, &box);
    VorpixDrawing *drawing = drawing_of(view);
    GdkRectangle all = {0, 0, drawing->width, drawing->height};
    show_pixels(view, drawing->backing_pixmap, 0, 0, all, box);
  }
  // The marks are drawn again where the picture was repainted, and only
  // there: everywhere else they are still on the window.
  if (view->clip) gdk_region_destroy(view->clip);
  view->clip = clip;
  VorpixTool *tool = view->canvas->tool;
  if (tool && tool->draw) tool->draw(tool);
  selection_draw_shown(view->canvas->selection);
  view->clip = nullptr;
  gdk_region_destroy(clip);
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

void view_mark_rectangle(VorpixView *view, GdkGC *gc, int x, int y, int width, int height) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  int line_width;
  GdkGC *mark = mark_gc_from(view, gc, true, &line_width);
  const int left = centre_x(view, x), top = centre_y(view, y);
  const int right = centre_x(view, static_cast<long long>(x) + width);
  const int bottom = centre_y(view, static_cast<long long>(y) + height);
  std::vector<GdkPoint> corners = {{left, top}, {right, bottom}};
  if (all_safe(corners)) {
    gdk_draw_rectangle(window_of(view), mark, FALSE, left, top, right - left, bottom - top);
    return;
  }
  std::vector<GdkPoint> outline = {
      {left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
  draw_cut_polyline(view, mark, outline, line_width + 2);
}

void view_mark_arc(VorpixView *view, GdkGC *gc, int x, int y, int width, int height, int angle1,
                   int angle2) {
  if (!GTK_WIDGET_REALIZED(view->area)) return;
  int line_width;
  GdkGC *mark = mark_gc_from(view, gc, true, &line_width);
  const int left = centre_x(view, x), top = centre_y(view, y);
  const int right = centre_x(view, static_cast<long long>(x) + width);
  const int bottom = centre_y(view, static_cast<long long>(y) + height);
  std::vector<GdkPoint> corners = {{left, top}, {right, bottom}};
  if (all_safe(corners)) {
    gdk_draw_arc(window_of(view), mark, FALSE, left, top, right - left, bottom - top, angle1,
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
  draw_cut_polyline(view, mark, points, line_width + 2);
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
  GdkPixmap *scratch = gdk_pixmap_new(window_of(view), part.width, part.height, -1);
  gdk_draw_drawable(scratch, view->copy_gc, drawing->backing_pixmap, part.x, part.y, 0, 0,
                    part.width, part.height);
  GtkWidget *area = view->area;
  gtk_paint_layout(area->style, scratch, GTK_STATE_NORMAL, TRUE, nullptr, area, nullptr,
                   x - part.x, y - part.y, layout);
  show_pixels(view, scratch, part.x, part.y, part, window_bounds(view));
  g_object_unref(scratch);
}

// --- the status bar and the pointer

void view_pointer_moved(VorpixView *view, int wx, int wy) {
  view->pointer_inside = 1;
  view->pointer_x = wx;
  view->pointer_y = wy;
  update_position(view);
}

void view_pointer_left(VorpixView *view) {
  view->pointer_inside = 0;
  update_position(view);
}

void view_selection_changed(VorpixView *view) {
  if (!view->status_idle) view->status_idle = g_idle_add(on_status_idle, view);
}
