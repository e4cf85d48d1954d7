// Add noise, spread, pixelize and blend.  Same contract as every effect
// (imaging/image_processing.h).  Add noise and spread draw from the C
// library's random() sequence, which the program never seeds, so the noise
// continues across applications.  ImageSpread moves whole pixels, the
// input's alpha samples along with their colours; it aborts when the
// output's size or pixel size differs from the input's.
#pragma once

#include "imaging/image.h"

void ImageAddNoise(const VorpixImage *input, VorpixImage *output);
void ImageSpread(const VorpixImage *input, VorpixImage *output);
void ImagePixelize(const VorpixImage *input, VorpixImage *output);
void ImageBlend(const VorpixImage *input, VorpixImage *output);
