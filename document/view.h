// The view: how one canvas shows its picture on the drawing area's window.
// It alone knows the zoom level and the scroll position.  It maps window
// positions to picture pixels and picture rectangles to window rectangles,
// repaints the damaged parts of the window from the picture, and draws the
// tools' transient marks (rubber bands, uncommitted text, the caret, the
// selection outline) and the pixel grid over it.  Tools work in picture
// pixels only and never ask the zoom.
//
// The drawing area is the size of the visible part; the scroll frame's two
// adjustments cover the zoomed picture and say which part is visible.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

struct VorpixCanvas;

struct VorpixView {
  VorpixCanvas *canvas;          // not owned: the canvas that owns the view
  GtkWidget *area;               // not owned: the canvas's drawing area
  gint32 level;                  // index into the zoom levels
  gint32 scroll_x, scroll_y;     // pixel of the zoomed picture at the window's top-left
  GtkAdjustment *hadjustment;    // one reference, or null
  GtkAdjustment *vadjustment;    // one reference, or null
  gint32 show_grid;              // 1: the grid is shown at 400% and above
  GdkGC *copy_gc;                // owned: plain copies onto the window
  GdkGC *mark_gc;                // owned: the marks, drawn with a copy of the caller's GC
  GdkGC *grid_gc;                // owned
  GdkGC *checker_gc;             // owned: tiles the checkerboard; made at its first use, or null
  GdkPixmap *alpha_source;       // one reference: the pixmap with alpha last shown, or null
  cairo_surface_t *alpha_colours;  // owned: alpha_source read without its alpha
  cairo_surface_t *alpha_mask;     // owned: alpha_source read with it
  GdkRegion *clip;               // owned: while repainting, the part repainted; else null
  GtkWidget *status_bar;         // not owned (weak pointer): the window's status bar
  guint status_idle;             // pending status update, or 0
  gint32 pointer_inside;         // 1 while the pointer is over the drawing area
  gint32 pointer_x, pointer_y;   // its last position there, window pixels
  GdkRegion *damage;             // owned: window pixels to repaint at the next flush, or null
  guint flush_idle;              // pending flush, or 0
};

// The zoom levels, in percent: 12.5, 25, 50, 100, 200, 300, 400, 600, 800,
// 1200, 1600, 2400, 3200.
int view_level_count();
int view_normal_level();  // the level of 100%
// The zoom factor of a level (0.125 to 32).
double view_level_factor(int level);

// The view of canvas, which must have its drawing area (realized) and its
// drawing.  Starts at 100% without grid, scrolled to the top-left.  The
// caller owns the view and frees it with view_destroy.
VorpixView *view_new(VorpixCanvas *canvas);
void view_destroy(VorpixView *view);
// The view whose drawing area widget is, or null (a drawing area that has
// no canvas).
VorpixView *view_of_widget(GtkWidget *widget);

// --- Zoom and scrolling

// Sets the level (clamped to the range), keeping the picture pixel at the
// centre of the visible part in place.
void view_set_level(VorpixView *view, int level);
// Sets the level keeping the picture pixel under the window position (wx, wy)
// where it is, as far as the scroll range allows.
void view_set_level_at(VorpixView *view, int level, int wx, int wy);
// The largest level at which the whole picture fits the visible area
// (without scrollbars); the smallest level when none does.
int view_best_fit_level(VorpixView *view);
void view_set_show_grid(VorpixView *view, gboolean show);
// Scrolls so that the zoomed picture's pixel (x, y) is at the window's
// top-left, clamped to the scroll range.
void view_scroll_to(VorpixView *view, int x, int y);

// --- Mapping

// The picture pixel under the window position: (w + scroll) / zoom, truncated
// toward zero (so positions left of or above the window, beyond the
// picture, stay as the canvas has always handed them on).
void view_window_to_picture(const VorpixView *view, double wx, double wy, int *px, int *py);
// The window rectangle showing the picture rectangle area (any part of a
// window pixel that shows it counts).
GdkRectangle view_picture_to_window(const VorpixView *view, GdkRectangle area);
// The part of the picture that is visible, in picture pixels; empty when
// none is.
GdkRectangle view_visible_area(const VorpixView *view);
// The size of the whole picture at the current zoom, in window pixels.
void view_zoomed_size(const VorpixView *view, int *width, int *height);

// --- Showing the picture

// The drawing was replaced or changed size: new scroll range, status and a
// whole repaint; the level stays.
void view_picture_changed(VorpixView *view);
// The picture changed in area (picture pixels): its part of the window is
// repainted at the next flush, or when the main loop next repaints.
void view_damage(VorpixView *view, GdkRectangle area);
// The same for the whole window.
void view_redraw(VorpixView *view);
// Repaints everything damaged, now, straight onto the window.
void view_flush(VorpixView *view);
// The drawing area's expose handler: the picture, the grid, the current
// tool's marks (its draw operation) and the selection outline, each within
// the exposed region only.
gboolean view_expose(VorpixView *view, GdkEventExpose *event);

// --- Marks: drawn on the window only, over the picture, from picture
// coordinates.  gc is the caller's (its function, colours, line width and
// dashes apply; the view supplies the clip: the picture, and while
// repainting only the part repainted).  Line widths are picture pixels and
// grow with the zoom.

void view_mark_line(VorpixView *view, GdkGC *gc, int x1, int y1, int x2, int y2);
// Unfilled, as gdk_draw_rectangle draws it.
void view_mark_rectangle(VorpixView *view, GdkGC *gc, int x, int y, int width, int height);
// Unfilled, as gdk_draw_arc draws it (angles in 64ths of a degree).
void view_mark_arc(VorpixView *view, GdkGC *gc, int x, int y, int width, int height,
                   int angle1, int angle2);
// A polyline along pixel edges (the selection outline): one window pixel
// wide at every zoom, the dashes in window pixels.
void view_mark_outline(VorpixView *view, GdkGC *gc, const GdkPoint *points, int n);
// Shows layout as it would be painted into the picture at (x, y) (text not
// yet committed), at the zoomed size.
void view_paint_layout(VorpixView *view, PangoLayout *layout, int x, int y);

// --- The status bar and the pointer

void view_pointer_moved(VorpixView *view, int wx, int wy);
void view_pointer_left(VorpixView *view);
// The selection outline changed: its size is shown soon (at the next flush
// at the latest).
void view_selection_changed(VorpixView *view);

// --- The drawing area

// A drawing area that takes the scroll adjustments a scrolling container
// (the scroll frame) hands it, for the view of its canvas.
GtkWidget *view_area_new();
