// Pictures for the effect tests and benchmarks: owned images, random and
// hand-made contents, byte comparisons.
#pragma once

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "imaging/image.h"
#include "imaging/image_processing.h"

namespace effect_test {

struct ImageDeleter {
  void operator()(VorpixImage *image) const { image_free(image); }
};
using Image = std::unique_ptr<VorpixImage, ImageDeleter>;

inline guchar *pixel(const Image &image, int x, int y) {
  return image_pixels(image.get()) + y * image_rowstride(image.get()) +
         x * image_pixelsize(image.get());
}

inline Image new_image(int width, int height) { return Image(image_new(width, height)); }

inline Image copy_image(const Image &image) { return Image(image_new_copy(image.get())); }

inline void fill(const Image &image, guchar r, guchar g, guchar b, guchar a = 255) {
  for (int y = 0; y < image_height(image.get()); y++)
    for (int x = 0; x < image_width(image.get()); x++) {
      guchar *p = pixel(image, x, y);
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = a;
    }
}

inline void set_colour(const Image &image, int x, int y, guchar r, guchar g, guchar b) {
  guchar *p = pixel(image, x, y);
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

inline Image uniform(int width, int height, guchar r, guchar g, guchar b) {
  Image image = new_image(width, height);
  fill(image, r, g, b);
  return image;
}

enum class Kind {
  kNoise,      // every sample random, alpha included
  kFewLevels,  // samples from four levels: big ties and full bins
  kGradient,   // smooth ramps with a little noise, like a photograph
};

inline const char *kind_name(Kind kind) {
  switch (kind) {
    case Kind::kNoise:
      return "noise";
    case Kind::kFewLevels:
      return "few_levels";
    case Kind::kGradient:
      return "gradient";
  }
  return "?";
}

inline Image random_picture(int width, int height, Kind kind, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> byte(0, 255), level(0, 3), jitter(-6, 6);
  Image image = new_image(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      guchar *p = pixel(image, x, y);
      for (int c = 0; c < 4; c++) {
        int v = 0;
        switch (kind) {
          case Kind::kNoise:
            v = byte(engine);
            break;
          case Kind::kFewLevels:
            v = level(engine) * 85;
            break;
          case Kind::kGradient:
            v = (c == 0   ? x * 255 / (width > 1 ? width - 1 : 1)
                 : c == 1 ? y * 255 / (height > 1 ? height - 1 : 1)
                          : (x + y) * 127 / (width + height)) +
                jitter(engine);
            break;
        }
        p[c] = static_cast<guchar>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  return image;
}

// Every byte set, so that a pixel an effect forgets to write shows.
inline Image garbage_output(int width, int height, guchar value) {
  Image image = new_image(width, height);
  for (int y = 0; y < height; y++)
    memset(image_pixels(image.get()) + y * image_rowstride(image.get()), value,
           static_cast<size_t>(width) * 4);
  return image;
}

// Sets one effect parameter for the life of the guard.
class ParamOverride {
 public:
  ParamOverride(gint32 *field, gint32 value) : field_(field), saved_(*field) { *field = value; }
  ~ParamOverride() { *field_ = saved_; }
  ParamOverride(const ParamOverride &) = delete;
  ParamOverride &operator=(const ParamOverride &) = delete;

 private:
  gint32 *field_;
  gint32 saved_;
};

// Empty when equal; otherwise the first differing sample, for the failure message.
inline std::string first_difference(const Image &a, const Image &b, int channels) {
  for (int y = 0; y < image_height(a.get()); y++)
    for (int x = 0; x < image_width(a.get()); x++)
      for (int c = 0; c < channels; c++) {
        int va = pixel(a, x, y)[c], vb = pixel(b, x, y)[c];
        if (va != vb)
          return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") sample " +
                 std::to_string(c) + ": " + std::to_string(va) + " vs " + std::to_string(vb);
      }
  return "";
}

}  // namespace effect_test
