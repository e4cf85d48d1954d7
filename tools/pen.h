// The pen: a continuous line through the pointer positions of a drag, drawn
// with the shared GC (so the line width setting applies).
#pragma once

#include "document/canvas.h"

struct VorpixPen : VorpixTool {
  gint32 in_stroke;  // 1 while last_x, last_y hold the stroke's previous point
  gint32 last_x;
  gint32 last_y;
};

// A new pen named name (kept, not copied); owned by the caller, released
// through its destroy operation.
VorpixTool *pen_create(const char *name);
