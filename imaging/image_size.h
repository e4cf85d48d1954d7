// Changing a picture's size: the limits every picture keeps to, cropping to
// an outline, growing or cutting the canvas at an anchor, and scaling.  Pure
// functions on image buffers; nothing here knows about widgets or pixmaps.
//
// Every function that makes an image returns one owned by the caller, or null
// when the size is beyond the limits or the memory for it cannot be had: a
// refusal, never an abort.
#pragma once

#include <glib.h>

#include "imaging/image.h"

struct VorpixPointArray;

// Each side 1 to kImageMaxSide (what X can address), at most kImageMaxPixels
// in all (what the program is willing to hold).
constexpr int kImageMaxSide = 32767;
constexpr gint64 kImageMaxPixels = gint64{1} << 28;
bool image_size_allowed(gint64 width, gint64 height);

// A zero-filled (transparent) RGBA image, or null.
VorpixImage *image_try_new(int width, int height);
// As image_new_from_pixmap, but null when the image cannot be had.
VorpixImage *image_try_new_from_pixmap(GdkPixmap *pixmap, GdkRectangle area);

// The nine places a picture can keep when its canvas changes size, row by
// row from the top-left corner.
enum ImageAnchor {
  IMAGE_ANCHOR_TOP_LEFT = 0,
  IMAGE_ANCHOR_TOP,
  IMAGE_ANCHOR_TOP_RIGHT,
  IMAGE_ANCHOR_LEFT,
  IMAGE_ANCHOR_CENTER,
  IMAGE_ANCHOR_RIGHT,
  IMAGE_ANCHOR_BOTTOM_LEFT,
  IMAGE_ANCHOR_BOTTOM,
  IMAGE_ANCHOR_BOTTOM_RIGHT,
  IMAGE_ANCHOR_COUNT
};

// Where the old picture's top-left corner lands on the new canvas (negative
// where the picture is cut).
void image_anchor_offset(int anchor, int old_width, int old_height, int new_width,
                         int new_height, int *x, int *y);

// The box of the pixels the outline encloses (even-odd rule: it runs along
// pixel edges), clipped to a width x height picture.  False when it encloses
// none of them.
bool image_outline_box(const VorpixPointArray *outline, int width, int height, GdkRectangle *box);
// Paints every pixel of image that lies outside the outline with the opaque
// colour rgb[3].  The image's top-left corner is at (x, y) in the outline's
// coordinates.
void image_fill_outside(VorpixImage *image, const VorpixPointArray *outline, int x, int y,
                        const guchar rgb[3]);

// A width x height picture holding source with its anchor kept; new area is
// the opaque colour rgb[3], area beyond the new size is cut off.
VorpixImage *image_canvas_resize(const VorpixImage *source, int width, int height, int anchor,
                                 const guchar rgb[3]);

enum ImageScaleKind {
  // Bilinear; reductions by more than half integrate over each pixel's tile.
  IMAGE_SCALE_SMOOTH = 0,
  // Nearest neighbour: every pixel an exact copy of a source pixel.
  IMAGE_SCALE_PIXEL_EXACT = 1,
};
// source scaled to exactly width x height; RGBA whatever the source layout.
VorpixImage *image_scale(const VorpixImage *source, int width, int height, ImageScaleKind kind);
