// Neighbourhood filters: each output pixel is computed from a window of input
// pixels.  Same contract as every effect (imaging/image_processing.h): reads
// `input` only, writes R, G and B of every pixel of `output` (an image of the
// input's size), keeps no reference to either.  ImageEdge and ImageEmbose
// also set every alpha sample of the output to 0.  Window sizes come from
// ImgProcessInfo.
#pragma once

#include "imaging/image.h"

void ImageSharpen(const VorpixImage *input, VorpixImage *output);
void ImageSmooth(const VorpixImage *input, VorpixImage *output);
void ImageDirectionalFilter(const VorpixImage *input, VorpixImage *output);
void ImageDespeckle(const VorpixImage *input, VorpixImage *output);
void ImageEdge(const VorpixImage *input, VorpixImage *output);
void ImageEmbose(const VorpixImage *input, VorpixImage *output);
void ImageOilPaint(const VorpixImage *input, VorpixImage *output);
