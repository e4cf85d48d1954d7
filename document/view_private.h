// What the two halves of the view module share: the zoom levels and the
// mapping between picture and window pixels (view.cpp), and painting them
// (view_paint.cpp).  Not for use outside the module.
#pragma once

#include <gtk/gtk.h>

#include <algorithm>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/view.h"

namespace view_detail {

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

inline long long floor_div(long long a, long long b) {
  long long q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

inline long long ceil_div(long long a, long long b) { return -floor_div(-a, b); }

inline const Level &level_of(const VorpixView *view) { return kLevels[view->level]; }

inline bool is_normal(const VorpixView *view) { return view->level == kNormalLevel; }

inline bool grid_shown(const VorpixView *view) {
  const Level &l = level_of(view);
  return view->show_grid && l.den == 1 && l.num >= kGridMinFactor;
}

inline VorpixDrawing *drawing_of(const VorpixView *view) { return view->canvas->drawing; }

inline GdkWindow *window_of(const VorpixView *view) { return view->area->window; }

// The window pixel where picture pixel p begins (the edge before it).
inline int edge_x(const VorpixView *view, long long p) {
  const Level &l = level_of(view);
  return static_cast<int>(floor_div(p * l.num, l.den) - view->scroll_x);
}

inline int edge_y(const VorpixView *view, long long p) {
  const Level &l = level_of(view);
  return static_cast<int>(floor_div(p * l.num, l.den) - view->scroll_y);
}

// Where a line through the centre of picture pixel p runs: the middle of its
// block when zoomed in, its one window pixel otherwise.
inline int centre_offset(const VorpixView *view) {
  const Level &l = level_of(view);
  return l.num > l.den ? l.num / l.den / 2 : 0;
}

inline int centre_x(const VorpixView *view, long long p) { return edge_x(view, p) + centre_offset(view); }
inline int centre_y(const VorpixView *view, long long p) { return edge_y(view, p) + centre_offset(view); }

inline int scaled_width(const VorpixView *view, int width) {
  const Level &l = level_of(view);
  if (width == 0) return l.num > l.den ? l.num / l.den : 0;
  return static_cast<int>(std::max<long long>(1, static_cast<long long>(width) * l.num / l.den));
}

inline GdkRectangle window_bounds(const VorpixView *view) {
  return {0, 0, view->area->allocation.width, view->area->allocation.height};
}

// Where the whole picture lies on the window, cut to the window.
inline GdkRectangle picture_on_window(const VorpixView *view) {
  VorpixDrawing *drawing = drawing_of(view);
  GdkRectangle all = {0, 0, drawing->width, drawing->height};
  GdkRectangle shown = view_picture_to_window(view, all);
  GdkRectangle bounds = window_bounds(view);
  GdkRectangle part = {0, 0, 0, 0};
  gdk_rectangle_intersect(&shown, &bounds, &part);
  return part;
}

// Paints every pixel of region (window pixels): the picture where it is, the
// background beside it, then the grid and the marks over the picture.
void repaint(VorpixView *view, const GdkRegion *region);
// Lets go of the pictures kept of the last pixmap with alpha shown.
void forget_alpha_source(VorpixView *view);
// The grid's GC for window, owned by the caller.
GdkGC *new_grid_gc(GdkWindow *window);

}  // namespace view_detail
