// Lasso selection: the outline follows the pointer's path from press to
// release and is then closed.  Shapes the canvas's selection only; never
// touches pixels.
#pragma once

#include "document/canvas.h"

struct VorpixSelection;

struct LassoSelectTool : VorpixTool {
  VorpixSelection *selection;  // not owned: the canvas's, taken by select
};

// A new tool owned by the caller (released through its destroy operation).
// name is kept, not copied.
VorpixTool *lasso_select_create(const char *name);
