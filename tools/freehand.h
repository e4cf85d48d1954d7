// The closed freehand tool: paints a freehand outline while dragging, closes
// it back to its start on release and, with the filled flag on, fills it.
#pragma once

#include <gtk/gtk.h>

#include "document/canvas.h"

struct VorpixPointArray;

struct VorpixFreehand : VorpixTool {
  gint32 in_stroke;          // 1 while last_x, last_y hold the previous point
  gint32 last_x, last_y;     // previous point of the outline
  gint32 start_x, start_y;   // where the outline is closed
  VorpixPointArray *points;  // owned: the outline's vertices in drawing order
  gint32 filled;             // the filled flag last received (attribute code 2)
};

// A new tool owned by the caller, released with its destroy operation.  name
// is not copied and must outlive the tool.
VorpixTool *closed_freehand_create(const char *name);
