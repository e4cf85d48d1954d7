// The brush and the eraser: a fixed-size mark (a dab) stamped at regular
// distances along the path of a drag.  The brush's dab is a disc in the
// foreground colour; the eraser's a square in the background colour.
#pragma once

#include "document/canvas.h"

struct VorpixBrush : VorpixTool {
  void (*dab)(VorpixTool *tool, int x, int y);  // one mark centred at (x, y)
  double spacing;     // path length between successive dabs
  gint32 size;        // width and height of a dab
  double distance;    // path travelled over all strokes of this tool
  gint32 in_stroke;   // 1 while last_x, last_y hold the previous position
  gint32 last_x;
  gint32 last_y;
};

struct VorpixEraser : VorpixBrush {
  // Owned copy of the user's foreground while the eraser is current (the GC's
  // foreground then holds the background colour); null otherwise.
  GdkColor *fgcolor;
};

#define VORPIX_BRUSH(tool) (static_cast<VorpixBrush *>(tool))
#define VORPIX_ERASER(tool) (static_cast<VorpixEraser *>(tool))

// New tools named name (kept, not copied); owned by the caller, released
// through their destroy operation.
VorpixTool *paint_brush_create(const char *name);
VorpixTool *eraser_create(const char *name);
