// The image effects: the table that names them, the lookup by name, the
// record of their numeric parameters, and the per-pixel effects.  The
// neighbourhood filters live in imaging/image_filters.h, noise, spread,
// pixelize and blend in imaging/image_stylize.h, colour quantization in
// imaging/image_quantize.h.
//
// Every effect is called as effect(input, output).  It reads `input` only and
// writes the red, green and blue samples of every pixel of `output`, a new
// RGBA image of the input's size (image_new).  It keeps no reference to
// either image: the caller owns and frees both.  Alpha samples are left alone
// except by ImageSpread (moves the input's along with the colours), ImageEdge
// and ImageEmbose (alpha 0); image_apply_effect gives every result the
// input's alpha.  The colours never depend on the input's alpha.  Nothing
// here knows about widgets.
//
// Effects may run on any thread, several at once on different images: they
// keep no state between calls and share nothing but the read-only
// parameters and the random() sequence (add noise and spread take it in
// turn).  They spread their rows over the cores themselves
// (imaging/image_parallel.h) and give the same bytes on any number of
// threads.  Scratch memory that grows with the picture is taken with new
// (std::vector): when it cannot be had the effect throws std::bad_alloc to
// its caller, from whichever thread the allocation failed on, with the input
// untouched, the output partly written and the random() sequence where it
// was.  Nothing aborts the program for want of memory.
#pragma once

#include <glib.h>

#include "imaging/image.h"

typedef void (*VorpixEffectFunc)(const VorpixImage *input, VorpixImage *output);

struct VorpixEffectEntry {
  const char *name;  // also the widget name of the effect's menu item
  VorpixEffectFunc func;
  // The effect moves pixels (spread) and their alpha with them; every other
  // effect's output pixel takes the alpha of the input pixel at its place.
  bool moves_alpha = false;
};

// The fifteen effects in menu order, closed by a row whose members are null.
extern const VorpixEffectEntry effect_table[];

// The effect whose name equals `name` byte for byte; null when none does.
VorpixEffectFunc image_lookup_effect(const char *name);

// Applies an effect of the table as the program does: effect(input, output),
// then every output pixel gets the alpha of the input pixel it comes from
// (the one its colours came from for an effect that moves alpha, the one at
// its place for the others), whatever the effect left there.  The colours
// are the effect's own.  Throws std::bad_alloc as the effect does.
void image_apply_effect(VorpixEffectFunc effect, const VorpixImage *input, VorpixImage *output);

// The effects' parameters.  Nothing in the program changes them; every effect
// reads its field anew on each application.
struct VorpixEffectParams {
  gint32 oil_paint_window;  // window size; reaches half of it from the pixel
  gint32 noise_amount;      // the noise's standard deviation is twice this
  gint32 spread_radius;     // how far a pixel may move in x and in y
  gint32 pixelize_width;    // block size in pixels, at least 1
  gint32 pixelize_height;
  gint32 despeckle_window;       // median window size
  gint32 smooth_window;          // box kernel size
  gint32 reserved_8;             // read by no effect
  gint32 solarize_percent;       // threshold as a percentage of 255
  gint32 contrast_high_percent;  // upper luminance percentile kept
  gint32 contrast_low_percent;   // lower luminance percentile cut
  gint32 quantize_palette_size;  // number of palette entries, at least 1
  gint32 reserved_13;            // read by no effect
  gint32 reserved_14;
  gint32 reserved_15;
  gint32 reserved_16;
};

extern VorpixEffectParams ImgProcessInfo;

// True when input and output are RGBA buffers of 8-bit samples and output has
// the input's width and height: the layout every effect relies on.
bool image_effect_compatible(const VorpixImage *input, const VorpixImage *output);

void ImageGrey(const VorpixImage *input, VorpixImage *output);
void ImageSolarize(const VorpixImage *input, VorpixImage *output);
void ImageNormContrast(const VorpixImage *input, VorpixImage *output);
