// The line, rectangle, oval, arc and multiline tools: a figure dragged from a
// start point to an end point, shown as an inverted rubber band on the window
// while dragging and painted into window and picture on release.  The five
// tools share one record and one set of operations and differ only in the
// figure their draw_shape paints.
#pragma once

#include <gtk/gtk.h>

#include "document/canvas.h"

struct VorpixShape : VorpixTool {
  GdkFunction saved_function;  // the GC's function when the tool was selected
  gint32 preview;              // 1: draw_shape paints a transient figure on the window only
  gint32 anchored;             // 1 while a start point is held
  gint32 start_x, start_y;     // start of the figure (the press point)
  gint32 shown;                // 1 while a rubber band is on the window
  gint32 end_x, end_y;         // end of the figure (latest pointer position)
  gint32 have_vertex;          // 1 once a release point is held (multiline chains)
  gint32 vertex_x, vertex_y;   // the last release point
  gint32 filled;               // the filled flag last received (attribute code 2)
  // Paints the figure from the start to the end point, filled when filled is
  // 1 and the figure honours it.
  void (*draw_shape)(VorpixShape *shape, int filled);
};

// Each returns a new tool owned by the caller, who releases it with its
// destroy operation.  name is not copied and must outlive the tool.
VorpixTool *shape_create(const char *name, void (*draw_shape)(VorpixShape *, int));
VorpixTool *line_shape_create(const char *name);
VorpixTool *rectangle_shape_create(const char *name);
VorpixTool *oval_shape_create(const char *name);
VorpixTool *arc_shape_create(const char *name);
// Successive drags are joined into one polyline until the tool is deselected.
VorpixTool *multiline_shape_create(const char *name);
