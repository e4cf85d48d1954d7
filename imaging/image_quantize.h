// Colour quantization to ImgProcessInfo.quantize_palette_size colours.  Same
// contract as every effect (imaging/image_processing.h).  Writes "lost error
// term" on standard error when the palette walk has error left at its end.
#pragma once

#include "imaging/image.h"

void ImageQuantize(const VorpixImage *input, VorpixImage *output);
