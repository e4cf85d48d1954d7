// Moving pixels between server-side drawables and client-side RGBA buffers
// through memory shared with the X server (MIT-SHM), with the conversion
// between X pixels and RGBA bytes done a vector register at a time.  Part
// of the image module; other modules go through image.h.
//
// Only main-thread code may transfer (the calls go to GDK's display).
#pragma once

#include <gdk/gdk.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

// How 32-bit X pixels (as little-endian words) hold their colour.
enum class TransferLayout {
  kOpaque,  // 0x00RRGGBB on a 24-bit visual: RGBA comes out with alpha 255
  kAlpha,   // 0xAARRGGBB on a 32-bit visual: alpha is carried both ways
};

// count X pixels to RGBA bytes; the two may not overlap.
void image_transfer_pixels_to_rgba(const guint32 *pixels, guchar *rgba, int count,
                                   TransferLayout layout);
// count pixels of 3 or 4 bytes (R, G, B[, A]) to X pixels.  The top byte
// gets the alpha (255 for three channels): ignored by a 24-bit drawable.
void image_transfer_rgba_to_pixels(const guchar *rgba, int channels, guint32 *pixels, int count);

// Reads the area of drawable (a pixmap or the root window), whose pixels
// mean what colormap says, into dest from its top-left: RGBA, 8 bits a
// sample, at least the area's size.  False when shared memory cannot do it
// (no extension, a remote display, another visual, an area that is not
// wholly inside): the caller takes the plain path then, and dest's contents
// are undefined.
bool image_transfer_read(GdkDrawable *drawable, GdkColormap *colormap, const GdkRectangle &area,
                         GdkPixbuf *dest);
// Draws width by height pixels of src (3 or 4 channels) from (src_x, src_y)
// at (dest_x, dest_y) of pixmap with gc, every pixel opaque; the rectangle
// must lie inside src.  False when shared memory cannot do it, with part of
// the rectangle perhaps drawn: the caller draws it the plain way then.
bool image_transfer_draw(GdkDrawable *pixmap, GdkGC *gc, GdkPixbuf *src, int src_x, int src_y,
                         int dest_x, int dest_y, int width, int height);
