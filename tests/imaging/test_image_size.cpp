// Canvas resizing at an anchor, smooth scaling and the size limits of image
// buffers (crop masks and nearest-neighbour scaling are checked through the
// menus).
#include <gtest/gtest.h>

#include "imaging/image_size.h"
#include "tests/imaging/image_testing.h"

namespace {

using namespace image_testing;

constexpr guchar kBackground[3] = {10, 200, 30};
constexpr Rgba kBackgroundPixel = {10, 200, 30, 255};

// Every pixel different from its neighbours, opaque.
VorpixImage *numbered(int width, int height) {
  VorpixImage *image = image_new(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      set_pixel(image, x, y, {guchar(x), guchar(y), guchar(x * 3 + y * 7), 255});
  return image;
}

VorpixImage *uniform(int width, int height, Rgba colour) {
  VorpixImage *image = image_new(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) set_pixel(image, x, y, colour);
  return image;
}

TEST(ImageSize, LimitsAreEachSideAndTheNumberOfPixels) {
  struct Case {
    gint64 width, height;
    bool allowed;
  };
  for (Case c : {Case{1, 1, true}, Case{32767, 8192, true}, Case{16384, 16384, true},
                 Case{32768, 1, false}, Case{1, 32768, false}, Case{0, 10, false},
                 Case{10, 0, false}, Case{-5, 10, false}, Case{16385, 16384, false},
                 Case{32767, 32767, false}}) {
    EXPECT_EQ(image_size_allowed(c.width, c.height), c.allowed) << c.width << "x" << c.height;
    // Only the refusals are made here: the others would take gigabytes.
    if (!c.allowed) {
      EXPECT_EQ(image_try_new(c.width, c.height), nullptr);
    }
  }
  VorpixImage *source = numbered(4, 4);
  EXPECT_EQ(image_scale(source, 32768, 2, IMAGE_SCALE_PIXEL_EXACT), nullptr);
  EXPECT_EQ(image_canvas_resize(source, 0, 2, IMAGE_ANCHOR_CENTER, kBackground), nullptr);
  EXPECT_EQ(image_canvas_resize(source, 20000, 20000, IMAGE_ANCHOR_CENTER, kBackground), nullptr);
  image_free(source);
}

// The source pixel that lands on (x, y), or none: growing by 4 x 2 and
// shrinking by 4 x 2 at each of the nine anchors.
TEST(ImageSize, CanvasResizeKeepsThePictureAtEachAnchor) {
  constexpr int kWidth = 10, kHeight = 6;
  VorpixImage *source = numbered(kWidth, kHeight);
  for (int grow : {4, -4}) {
    const int width = kWidth + grow, height = kHeight + grow / 2;
    for (int anchor = 0; anchor < IMAGE_ANCHOR_COUNT; anchor++) {
      SCOPED_TRACE(testing::Message() << "anchor " << anchor << " grow " << grow);
      // Near edge: no shift; middle: half the difference; far edge: all of it.
      const int dx = grow * (anchor % 3) / 2, dy = grow / 2 * (anchor / 3) / 2;
      VorpixImage *result = image_canvas_resize(source, width, height, anchor, kBackground);
      ASSERT_NE(result, nullptr);
      ASSERT_EQ(image_width(result), width);
      ASSERT_EQ(image_height(result), height);
      for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
          const int sx = x - dx, sy = y - dy;
          const bool inside = sx >= 0 && sy >= 0 && sx < kWidth && sy < kHeight;
          ASSERT_EQ(pixel_at(result, x, y), inside ? pixel_at(source, sx, sy) : kBackgroundPixel)
              << x << "," << y;
        }
      image_free(result);
    }
  }
  image_free(source);
}

TEST(ImageSize, SmoothScalingOfAUniformPictureStaysUniformAtTheSizeAsked) {
  constexpr Rgba kColour = {90, 120, 250, 255};
  VorpixImage *source = uniform(101, 57, kColour);
  struct Case {
    int width, height;
  };
  // Half, double, an odd reduction by more than half, and a stretch.
  for (Case c : {Case{50, 28}, Case{202, 114}, Case{13, 7}, Case{300, 20}}) {
    VorpixImage *result = image_scale(source, c.width, c.height, IMAGE_SCALE_SMOOTH);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(image_width(result), c.width);
    ASSERT_EQ(image_height(result), c.height);
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < c.width; x++)
        ASSERT_EQ(pixel_at(result, x, y), kColour) << c.width << ": " << x << "," << y;
    image_free(result);
  }
  image_free(source);
}

}  // namespace
