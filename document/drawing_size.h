// Whole-picture commands that change the drawing's size: crop to an outline,
// canvas size, scale, rotation by any angle, and revert to the saved file.
//
// Each works on a copy of the picture and replaces the backing pixmap only
// once the whole result is at hand; any refusal leaves the drawing exactly as
// it was.  None of them marks the drawing modified, touches the window or the
// selection: the caller does (canvas_resize), and the caller tells the user.
#pragma once

#include <gtk/gtk.h>

#include "imaging/image_size.h"

struct VorpixDrawing;
struct VorpixPointArray;

enum DrawingSizeResult {
  DRAWING_SIZE_DONE = 0,
  DRAWING_SIZE_INVALID,     // the result would be beyond the size limits
  DRAWING_SIZE_NO_MEMORY,   // the client or the X server could not hold it
  DRAWING_SIZE_UNREADABLE,  // revert: the file can no longer be read
  DRAWING_SIZE_CANCELLED,   // revert: the user stopped the reading
};

// The picture becomes the pixels the outline encloses, clipped to it; those
// outside a non-rectangular outline take the background colour.
DrawingSizeResult drawing_crop(VorpixDrawing *drawing, const VorpixPointArray *outline);
// width x height with the picture kept at the anchor (ImageAnchor); new area
// in the background colour.
DrawingSizeResult drawing_resize_canvas(VorpixDrawing *drawing, int width, int height, int anchor);
DrawingSizeResult drawing_scale(VorpixDrawing *drawing, int width, int height,
                                ImageScaleKind kind);
// Turns by degrees (-360 to 360), clockwise on screen for positive angles;
// multiples of 90 are exact quarter turns, other angles leave the corners
// they uncover in the background colour.  A result beyond the size limits
// is DRAWING_SIZE_NO_MEMORY, refused before anything is allocated.
// command names the menu item whose label the status bar shows meanwhile.
DrawingSizeResult drawing_rotate_by(VorpixDrawing *drawing, double degrees,
                                    const char *command = "rotate_by_menu");
// The size a rotation by degrees gives a width x height picture.
void drawing_rotated_size(int width, int height, double degrees, gint64 *new_width,
                          gint64 *new_height);
// The picture becomes the one in the drawing's file, which stays its name;
// the drawing is then unmodified.  drawing_area is the drawing's own.
DrawingSizeResult drawing_revert(VorpixDrawing *drawing, GtkWidget *drawing_area);
