// Point arrays (every outline in the program) and the canvas's selection: an
// outline shown as a blinking, creeping dashed line drawn by inverting pixels.
// The selection never touches the drawing's pixels.
#pragma once

#include <gdk/gdk.h>

typedef struct _GtkWidget GtkWidget;

struct VorpixPointArray {
  GArray *array;  // owned; GdkPoint elements
};

struct VorpixSelection {
  VorpixPointArray *points;  // owned; drawing coordinates
  GtkWidget *widget;         // not owned: the drawing area the outline is drawn on
  GdkGC *gc;                 // owned; inverting dashed line
  int flashing;              // 1 while the timer animates the outline
  int phase;                 // outline draws so far, modulo 4; odd = shown
  guint timer;               // the 500 ms animation timer, nonzero while alive
  // Told, with changed_data, whenever the outline changed (commands that
  // need a selection follow it, the status bar shows its size); null when
  // nobody listens.
  void (*changed)(VorpixSelection *selection, gpointer data);
  gpointer changed_data;
};

VorpixPointArray *point_array_new();
void point_array_delete(VorpixPointArray *pa);
int point_array_size(const VorpixPointArray *pa);
GdkPoint *point_array_data(const VorpixPointArray *pa);  // valid until the size changes
void point_array_set(VorpixPointArray *pa, int index, int x, int y);
void point_array_append(VorpixPointArray *pa, int x, int y);
void point_array_remove_all(VorpixPointArray *pa);
void point_array_copy(VorpixPointArray *dest, const VorpixPointArray *src);
// Counts pixels inclusively; (0, 0, 0, 0) for an empty array.
void point_array_bounding_rectangle(const VorpixPointArray *pa, GdkRectangle *rect);

VorpixSelection *selection_new(GtkWidget *drawing_area);  // the widget must be realized
void selection_delete(VorpixSelection *selection);
void selection_size(VorpixSelection *selection, int width, int height);
VorpixPointArray *selection_points(VorpixSelection *selection);  // borrowed
GdkPoint *selection_data(VorpixSelection *selection);
int selection_num_points(VorpixSelection *selection);
void selection_enable_flash(VorpixSelection *selection);
void selection_disable_flash(VorpixSelection *selection);
void selection_clear_flash(VorpixSelection *selection);
void selection_draw_flash(VorpixSelection *selection);
// Draws the outline once more, without advancing the phase, if it is shown:
// for a repaint of the window from the picture, which wiped it there.
void selection_draw_shown(VorpixSelection *selection);
void selection_set_rectangle(VorpixSelection *selection, GdkRectangle rect);
void selection_set_points(VorpixSelection *selection, const VorpixPointArray *points);
void selection_add_point(VorpixSelection *selection, int x, int y);
void selection_change_last(VorpixSelection *selection, int x, int y);
void selection_remove_points(VorpixSelection *selection);
void selection_close_loop(VorpixSelection *selection);
void selection_move(VorpixSelection *selection, int x, int y);
