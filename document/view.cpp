#include "document/view.h"

#include <glade/glade.h>

#include <algorithm>
#include <cmath>

#include "document/view_private.h"
#include "panels/status_bar.h"
#include "tools/selection.h"

using namespace view_detail;

namespace {

// Scrolling steps, as fractions of the visible size.
constexpr double kPageIncrement = 0.9;
constexpr double kStepIncrement = 0.1;

constexpr char kZoomInItem[] = "zoom_in_menu";
constexpr char kZoomOutItem[] = "zoom_out_menu";

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

gboolean on_flush_idle(gpointer data) {
  auto *view = static_cast<VorpixView *>(data);
  view->flush_idle = 0;
  view_flush(view);
  return FALSE;
}

// The view paints its own damage straight onto the window, outside the
// toolkit's repaint machinery, which would paint it through a buffer first.
void damage_window(VorpixView *view, GdkRectangle area) {
  GdkRectangle bounds = window_bounds(view);
  GdkRectangle part;
  if (!gdk_rectangle_intersect(&area, &bounds, &part)) return;
  if (!view->damage) view->damage = gdk_region_new();
  gdk_region_union_with_rect(view->damage, &part);
  if (!view->flush_idle)
    view->flush_idle = g_idle_add_full(GDK_PRIORITY_REDRAW, on_flush_idle, view, nullptr);
}

// --- scrolling

void invalidate_all(VorpixView *view) { damage_window(view, window_bounds(view)); }

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
  gtk_widget_set_double_buffered(view->area, FALSE);
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
  if (view->flush_idle) g_source_remove(view->flush_idle);
  if (view->damage) gdk_region_destroy(view->damage);
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
  if (view->checker_gc) g_object_unref(view->checker_gc);
  forget_alpha_source(view);
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
  damage_window(view, view_picture_to_window(view, area));
}

void view_redraw(VorpixView *view) { invalidate_all(view); }

void view_flush(VorpixView *view) {
  if (view->flush_idle) {
    g_source_remove(view->flush_idle);
    view->flush_idle = 0;
  }
  GdkRegion *damage = view->damage;
  view->damage = nullptr;
  if (damage && GTK_WIDGET_REALIZED(view->area)) repaint(view, damage);
  if (damage) gdk_region_destroy(damage);
  // What the toolkit was asked to repaint, too.
  if (GTK_WIDGET_REALIZED(view->area)) gdk_window_process_updates(window_of(view), FALSE);
  if (view->status_idle) update_status(view);
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
