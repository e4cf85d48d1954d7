// The flood fill tool: a click recolours the 4-connected region of the
// clicked pixel's exact colour with the foreground colour, on one client-side
// copy of the picture.
#pragma once

#include "document/canvas.h"

struct VorpixImage;

// A new fill tool named name (kept, not copied); owned by the caller,
// released through its destroy operation.
VorpixTool *fill_create(const char *name);

// Paints R, G, B into every pixel of image that is 4-connected to (x, y) and
// has exactly the R, G, B of (x, y); the fourth byte is left alone.  Returns
// false, changing nothing, when (x, y) is outside the image or already has
// the new colour.  Works in a fixed number of passes over the rows, however
// ragged the region; it allocates two bits a pixel and one number a run.
bool fill_image(VorpixImage *image, int x, int y, guint8 r, guint8 g, guint8 b);
