// Client-side pixel buffers.  Whenever pixels are touched directly the picture
// is copied out of its pixmap into a VorpixImage, worked on, and drawn back.
// Nothing here knows about widgets.
#pragma once

#include <gdk/gdk.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

struct VorpixPointArray;

struct VorpixImage {
  GdkPixbuf *pixbuf;  // one owned reference
};

extern const int BITS_PER_SAMPLE;  // always 8

// Every creation returns an image owned by the caller, freed with image_free,
// or null when the memory for its pixels cannot be had (or, for the pixmap
// and the desktop, when the server cannot give the pixels): nothing is left
// allocated then.  Images made here are RGBA; image_new's pixels are
// zero-filled.
VorpixImage *image_new(int width, int height);
// As image_new, but the pixels are undefined: for a result the caller
// overwrites whole (an effect's output), which then costs no clearing.
VorpixImage *image_new_unfilled(int width, int height);
VorpixImage *image_new_copy(const VorpixImage *source);
VorpixImage *image_new_from_pixmap(GdkPixmap *pixmap, GdkRectangle area);
VorpixImage *image_new_from_desktop();
// Null when the file cannot be loaded, is no regular file, or claims more than
// 32767 pixels a side (checked before anything is allocated).  Keeps the
// file's own layout (three channels are possible).
VorpixImage *image_new_readfile(const char *filename);
void image_free(VorpixImage *image);
// The pixel memory of freed large images is kept a few seconds for the next
// image of its size; this gives it back to the system now.
void image_release_kept_memory();

// Pixels move between pixmaps and images through memory shared with the X
// server when it offers that (not on a remote display), and through GdkRGB
// otherwise; both give the same pixels.  FALSE takes the plain way from now
// on.  Returns whether shared memory is used from now on.
gboolean image_use_shared_memory(gboolean allow);

// Both draw opaque, ignoring alpha, except on a pixmap that keeps alpha
// (depth 32), which takes the image's along; *ppixmap is read at the time of
// the call.  gc must be of the pixmap's depth.
int image_draw_on_pixmap(VorpixImage *image, GdkPixmap **ppixmap, GdkGC *gc);
int image_draw_region_on_pixmap(VorpixImage *image, GdkRectangle area, GdkPixmap **ppixmap,
                                GdkGC *gc);
// Honours transparency: cut at alpha 127 (the drawable's pixel stays below
// it), except on a drawable that keeps alpha (depth 32), where the image is
// blended over the drawable's pixels.
int image_render(VorpixImage *image, GdkDrawable *drawable, int src_x, int src_y,
                 GdkRectangle dest);
// Source over the drawable's pixels, straight alpha, whatever its depth: on
// a drawable without alpha the result stays opaque.  FALSE, nothing drawn,
// when the drawable's pixels or the memory to blend them cannot be had.
gboolean image_composite(VorpixImage *image, GdkDrawable *drawable, int src_x, int src_y,
                         GdkRectangle dest);

// Whether any pixel is less than opaque.
gboolean image_has_transparency(const VorpixImage *image);
// Whether any pixel is neither transparent nor opaque: one that a one-bit
// mask cannot show.
gboolean image_has_partial_alpha(const VorpixImage *image);
// Composites the image over an opaque colour: every pixel opaque afterwards.
void image_over_colour(VorpixImage *image, guchar red, guchar green, guchar blue);

int image_width(const VorpixImage *image);
int image_height(const VorpixImage *image);
int image_rowstride(const VorpixImage *image);
int image_pixelsize(const VorpixImage *image);
guchar *image_pixels(const VorpixImage *image);    // owned by the image
GdkPixbuf *image_pixbuf(const VorpixImage *image);  // borrowed

// Writes in the format named by the extension of the file's own name (PNG
// without one, JPEG at quality 100), replacing an existing file only once the
// new one is complete: on failure the old file is untouched and the error is
// set.  An existing file keeps its mode; a symbolic link keeps pointing at it.
gboolean image_write(VorpixImage *image, const char *filename, GError **error);
// The picture in the format of GdkPixbuf's writer type, into *buffer (the
// caller frees it); a format without alpha gets a picture with some over
// white, as image_write writes it.
gboolean image_encode(VorpixImage *image, const char *type, gchar **buffer, gsize *size,
                      GError **error);
gboolean is_writable(GSList *formats, const char *extension);
void add_if_writable(gpointer format, gpointer list);

// The outline's bounding rectangle clipped to the drawable, opaque inside the
// outline and transparent outside; null when nothing of it is on the drawable.
VorpixImage *image_from_selection(GdkDrawable *drawable, VorpixPointArray *outline);
// Mirror in place; the result is RGBA whatever the source layout.  1, image
// unchanged, when the memory for the result cannot be had.
int image_flip_x(VorpixImage *image);
int image_flip_y(VorpixImage *image);
// 0, 90, 180, 270 (90 turns counter-clockwise); 1 for any other angle or
// when the memory for the result cannot be had (image unchanged).
int image_rotate_simple(VorpixImage *image, int degrees);
// Positive angles turn clockwise on screen; uncovered pixels are transparent
// white.  1, image unchanged, only for a non-finite angle, a result larger
// than 32767 pixels a side or 2^28 pixels in all, or one whose memory cannot
// be had.
int image_rotate(VorpixImage *image, double degrees);
// As image_rotate, but the uncovered pixels are the opaque colour rgb[3];
// every turned pixel keeps its source pixel's alpha.
int image_rotate_filled(VorpixImage *image, double degrees, const guchar rgb[3]);
