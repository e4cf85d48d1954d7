#include "tools/selection.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "document/view.h"

namespace {

constexpr guint kFlashPeriod = 500;  // ms between outline draws while flashing
constexpr int kPhases = 4;           // shown, hidden, shown one pixel on, hidden
constexpr gint8 kDashList[] = {5, 5};
constexpr int kDashCount = sizeof kDashList / sizeof kDashList[0];

// The outline with the dashes at offset, where the picture is: through the
// canvas's view, or straight onto a drawing area that has none.
void paint_outline(VorpixSelection *s, int offset) {
  int n = point_array_size(s->points);
  gdk_gc_set_dashes(s->gc, offset, const_cast<gint8 *>(kDashList), kDashCount);
  if (VorpixView *view = view_of_widget(s->widget)) {
    view_mark_outline(view, s->gc, point_array_data(s->points), n);
    return;
  }
  GdkWindow *window = gtk_widget_get_window(s->widget);
  if (window) gdk_draw_lines(window, s->gc, point_array_data(s->points), n);
}

// One draw of the outline.  The GC inverts, so draws alternate between
// showing and removing it; odd phases are the ones where it is on the window.
void draw_outline(VorpixSelection *s) {
  if (point_array_size(s->points) == 0) return;
  paint_outline(s, s->phase / 2);
  s->phase = (s->phase + 1) % kPhases;
}

// Inverting draws until the phase is back at 0 leaves the window as it was
// before the first of them.
void erase_outline(VorpixSelection *s) {
  if (point_array_size(s->points) == 0) {
    s->phase = 0;
    return;
  }
  while (s->phase != 0) draw_outline(s);
}

gboolean on_flash_timeout(gpointer data) {
  auto *s = static_cast<VorpixSelection *>(data);
  if (s->flashing) draw_outline(s);
  return TRUE;
}

// Runs body with the outline off the window when it is being animated, and
// restores the animation afterwards.  Nothing is drawn at the end: the next
// tick shows the outline again.
template <typename Body>
void with_flash_suspended(VorpixSelection *s, Body body) {
  int was_flashing = s->flashing;
  if (was_flashing) {
    erase_outline(s);
    s->flashing = 0;
  }
  body();
  if (was_flashing) s->flashing = 1;
}

}  // namespace

VorpixPointArray *point_array_new() {
  VorpixPointArray *pa = g_new0(VorpixPointArray, 1);
  pa->array = g_array_new(FALSE, FALSE, sizeof(GdkPoint));
  return pa;
}

void point_array_delete(VorpixPointArray *pa) {
  g_assert(pa);
  g_array_free(pa->array, TRUE);
  g_free(pa);
}

int point_array_size(const VorpixPointArray *pa) { return static_cast<int>(pa->array->len); }

GdkPoint *point_array_data(const VorpixPointArray *pa) {
  return reinterpret_cast<GdkPoint *>(pa->array->data);
}

void point_array_set(VorpixPointArray *pa, int index, int x, int y) {
  // The signed index is checked for >= 0 before it is compared with the length.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
  g_assert(index>=0 && index<pa->array->len);
#pragma GCC diagnostic pop
  GdkPoint &p = g_array_index(pa->array, GdkPoint, index);
  p.x = x;
  p.y = y;
}

void point_array_append(VorpixPointArray *pa, int x, int y) {
  GdkPoint p = {x, y};
  g_array_append_val(pa->array, p);
}

void point_array_remove_all(VorpixPointArray *pa) { g_array_set_size(pa->array, 0); }

void point_array_copy(VorpixPointArray *dest, const VorpixPointArray *src) {
  if (dest == src) return;
  g_array_set_size(dest->array, src->array->len);
  std::copy_n(point_array_data(src), src->array->len, point_array_data(dest));
}

void point_array_bounding_rectangle(const VorpixPointArray *pa, GdkRectangle *rect) {
  int n = point_array_size(pa);
  if (n == 0) {
    *rect = GdkRectangle{0, 0, 0, 0};
    return;
  }
  const GdkPoint *p = point_array_data(pa);
  int min_x = p[0].x, max_x = p[0].x, min_y = p[0].y, max_y = p[0].y;
  for (int i = 1; i < n; i++) {
    min_x = std::min(min_x, p[i].x);
    max_x = std::max(max_x, p[i].x);
    min_y = std::min(min_y, p[i].y);
    max_y = std::max(max_y, p[i].y);
  }
  *rect = GdkRectangle{min_x, min_y, max_x - min_x + 1, max_y - min_y + 1};
}

VorpixSelection *selection_new(GtkWidget *drawing_area) {
  g_return_val_if_fail(GTK_IS_WIDGET(drawing_area), nullptr);
  GdkWindow *window = gtk_widget_get_window(drawing_area);
  g_return_val_if_fail(window != nullptr, nullptr);

  VorpixSelection *selection = g_new0(VorpixSelection, 1);
  selection->points = point_array_new();
  selection->widget = drawing_area;

  selection->gc = gdk_gc_new(window);
  g_assert(selection->gc);
  GdkColormap *colormap = gdk_colormap_get_system();
  GdkColor black = {0, 0, 0, 0};
  GdkColor white = {0, 0xffff, 0xffff, 0xffff};
  gdk_colormap_alloc_color(colormap, &black, FALSE, TRUE);
  gdk_colormap_alloc_color(colormap, &white, FALSE, TRUE);
  gdk_gc_set_foreground(selection->gc, &black);
  gdk_gc_set_background(selection->gc, &white);
  gdk_gc_set_function(selection->gc, GDK_INVERT);
  gdk_gc_set_line_attributes(selection->gc, 1, GDK_LINE_ON_OFF_DASH, GDK_CAP_ROUND,
                             GDK_JOIN_ROUND);
  gdk_gc_set_clip_origin(selection->gc, 0, 0);

  selection->timer = g_timeout_add(kFlashPeriod, on_flash_timeout, selection);
  return selection;
}

void selection_delete(VorpixSelection *s) {
  g_assert(s);
  g_assert(s->timer);
  erase_outline(s);
  g_source_remove(s->timer);
  s->timer = 0;
  g_object_unref(s->gc);
  point_array_delete(s->points);
  g_free(s);
}

void selection_size(VorpixSelection *selection, int width, int height) {
  GdkRectangle clip = {0, 0, width, height};
  gdk_gc_set_clip_rectangle(selection->gc, &clip);
}

VorpixPointArray *selection_points(VorpixSelection *selection) { return selection->points; }

GdkPoint *selection_data(VorpixSelection *selection) {
  return point_array_data(selection->points);
}

int selection_num_points(VorpixSelection *selection) {
  return point_array_size(selection->points);
}

void selection_enable_flash(VorpixSelection *selection) { selection->flashing = 1; }

void selection_disable_flash(VorpixSelection *selection) {
  erase_outline(selection);
  selection->flashing = 0;
}

void selection_clear_flash(VorpixSelection *selection) { erase_outline(selection); }

void selection_draw_flash(VorpixSelection *selection) { draw_outline(selection); }

void selection_draw_shown(VorpixSelection *selection) {
  // Shown at phase 1 with the offset of phase 0, at phase 3 with that of 2.
  if (selection->phase % 2 == 0 || point_array_size(selection->points) == 0) return;
  paint_outline(selection, (selection->phase - 1) / 2);
}

namespace {

void tell_changed(VorpixSelection *selection) {
  if (selection->changed) selection->changed(selection, selection->changed_data);
}

}  // namespace

void selection_set_rectangle(VorpixSelection *selection, GdkRectangle rect) {
  with_flash_suspended(selection, [&] {
    VorpixPointArray *pa = selection->points;
    point_array_remove_all(pa);
    point_array_append(pa, rect.x, rect.y);
    point_array_append(pa, rect.x + rect.width, rect.y);
    point_array_append(pa, rect.x + rect.width, rect.y + rect.height);
    point_array_append(pa, rect.x, rect.y + rect.height);
    point_array_append(pa, rect.x, rect.y);
  });
  tell_changed(selection);
}

void selection_set_points(VorpixSelection *selection, const VorpixPointArray *points) {
  with_flash_suspended(selection, [&] { point_array_copy(selection->points, points); });
  tell_changed(selection);
}

void selection_add_point(VorpixSelection *selection, int x, int y) {
  erase_outline(selection);
  point_array_append(selection->points, std::max(x, 0), std::max(y, 0));
  tell_changed(selection);
}

void selection_change_last(VorpixSelection *selection, int x, int y) {
  int n = point_array_size(selection->points);
  if (n == 0) return;
  erase_outline(selection);
  point_array_set(selection->points, n - 1, x, y);
  tell_changed(selection);
}

void selection_remove_points(VorpixSelection *selection) {
  erase_outline(selection);
  point_array_remove_all(selection->points);
  tell_changed(selection);
}

void selection_close_loop(VorpixSelection *selection) {
  if (point_array_size(selection->points) == 0) return;
  GdkPoint first = point_array_data(selection->points)[0];
  selection_add_point(selection, first.x, first.y);
}

void selection_move(VorpixSelection *selection, int x, int y) {
  VorpixPointArray *pa = selection->points;
  int n = point_array_size(pa);
  if (n == 0) return;
  with_flash_suspended(selection, [&] {
    GdkRectangle box;
    point_array_bounding_rectangle(pa, &box);
    int dx = x - box.x;
    int dy = y - box.y;
    GdkPoint *p = point_array_data(pa);
    for (int i = 0; i < n; i++) {
      p[i].x += dx;
      p[i].y += dy;
    }
  });
  tell_changed(selection);
}
