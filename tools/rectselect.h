// Rectangle selection: an axis-parallel outline spanned between the press
// point and the pointer.  Shapes the canvas's selection only; never touches
// pixels.
#pragma once

#include "document/canvas.h"

struct VorpixSelection;

struct RectangleSelectTool : VorpixTool {
  gint32 start_x, start_y;     // the press point
  gint32 end_x, end_y;         // the opposite corner as last recorded
  VorpixSelection *selection;  // not owned: the canvas's, taken by select
};

// A new tool owned by the caller (released through its destroy operation).
// name is kept, not copied.
VorpixTool *rectangle_select_create(const char *name);
