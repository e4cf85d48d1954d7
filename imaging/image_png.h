// The program's own PNG encoder: rows filtered as the reference library
// chooses them and deflated on every core, pigz-style, into one valid zlib
// stream.  Nothing here knows about widgets.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "imaging/image.h"

// Writes the image, 8 bits a sample with three or four channels, as a PNG of
// the same layout (RGB or RGBA), handing the bytes to write in order.  FALSE
// with the error set when write fails (its error is kept) or when memory for
// the compressed rows cannot be had; write may have been called before then.
// The image is only read, so another thread may encode it while the caller
// does other work, as long as nobody writes its pixels meanwhile.
gboolean image_png_save(const VorpixImage *image, GdkPixbufSaveFunc write, gpointer data,
                        GError **error);

// Level and strategy (a zlib one, or VORPIX_PNG_CHOOSE: run-length or
// full matching for each band, whichever gives less on a sample of it) of
// the compressor, for the benchmark to compare; the program keeps the
// defaults.
constexpr int VORPIX_PNG_CHOOSE = -1;
struct VorpixPngSettings {
  int level;
  int strategy;
};
VorpixPngSettings image_png_settings();
void image_png_set_settings(VorpixPngSettings settings);
