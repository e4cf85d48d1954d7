// The flood fill tool: a click recolours the 4-connected region of the
// clicked pixel's exact colour with the foreground colour, on one client-side
// copy of the picture.
#pragma once

#include "document/canvas.h"

struct VorpixImage;

// A new fill tool named name (kept, not copied); owned by the caller,
// released through its destroy operation.
VorpixTool *fill_create(const char *name);

enum FillResult {
  FILL_UNCHANGED,  // outside the image, or the seed has the new colour already
  FILL_DONE,
  FILL_NO_MEMORY,  // the bookkeeping could not be had; the image is unchanged
};

// Paints R, G, B into every pixel of image that is 4-connected to (x, y) and
// has exactly the R, G, B of (x, y); the fourth byte is left alone.  changed,
// when given, receives the rectangle around the painted pixels (empty unless
// FILL_DONE).  The work is that of the region and its border for a small or
// plain region, and a fixed number of passes over the rows for a large
// ragged one; the memory, a bit a pixel and a few numbers a run.
FillResult fill_image(VorpixImage *image, int x, int y, guint8 r, guint8 g, guint8 b,
                      GdkRectangle *changed = nullptr);

// How the region is found.  fill_image follows it from the seed while that
// stays cheap and takes the connected runs of the whole picture otherwise;
// the other two are for comparing the methods, which find the same region.
enum class FillMethod { kChosen, kFollow, kConnectedRuns };
FillResult fill_image_by(FillMethod method, VorpixImage *image, int x, int y, guint8 r, guint8 g,
                         guint8 b, GdkRectangle *changed = nullptr);
