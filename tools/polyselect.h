// Polygon selection: one vertex per click; the outline stays closed after
// every release.  Shapes the canvas's selection only; never touches pixels.
#pragma once

#include "document/canvas.h"

struct VorpixSelection;

struct PolygonSelectTool : VorpixTool {
  gint32 pressed;              // 1 from the first press inside the drawing on
  gint32 dragged;              // 1 from the first motion after that on
  VorpixSelection *selection;  // not owned: the canvas's, taken by select
};

// A new tool owned by the caller (released through its destroy operation).
// name is kept, not copied.
VorpixTool *polygon_select_create(const char *name);
