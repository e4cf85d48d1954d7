// Cropping masks, canvas resizing at an anchor, scaling and the size limits
// of image buffers.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/image_size.h"
#include "tests/imaging/image_testing.h"
#include "tools/selection.h"

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

VorpixPointArray *outline_of(std::vector<GdkPoint> points) {
  VorpixPointArray *pa = point_array_new();
  for (GdkPoint p : points) point_array_append(pa, p.x, p.y);
  return pa;
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

// An outline runs along pixel edges: a rectangle from (2, 3) to (7, 5)
// encloses 5 x 2 pixels, a lasso its own.  Pixels of the box outside the
// outline take the colour.
TEST(ImageSize, CropBoxAndMaskFollowTheOutline) {
  VorpixPointArray *rectangle = outline_of({{2, 3}, {7, 3}, {7, 5}, {2, 5}, {2, 3}});
  GdkRectangle box;
  ASSERT_TRUE(image_outline_box(rectangle, 20, 20, &box));
  EXPECT_EQ((std::vector<int>{box.x, box.y, box.width, box.height}),
            (std::vector<int>{2, 3, 5, 2}));
  // Clipped to the picture; nothing when the outline lies outside it.
  ASSERT_TRUE(image_outline_box(rectangle, 4, 4, &box));
  EXPECT_EQ((std::vector<int>{box.x, box.y, box.width, box.height}),
            (std::vector<int>{2, 3, 2, 1}));
  EXPECT_FALSE(image_outline_box(rectangle, 2, 20, &box));
  VorpixPointArray *two = outline_of({{0, 0}, {5, 5}});
  EXPECT_FALSE(image_outline_box(two, 20, 20, &box));

  // A triangle: the right-angled corner at the top-left of an 8 x 8 box.
  VorpixPointArray *lasso = outline_of({{4, 4}, {12, 4}, {4, 12}, {4, 4}});
  ASSERT_TRUE(image_outline_box(lasso, 20, 20, &box));
  EXPECT_EQ((std::vector<int>{box.x, box.y, box.width, box.height}),
            (std::vector<int>{4, 4, 8, 8}));
  VorpixImage *image = numbered(8, 8);
  image_fill_outside(image, lasso, 4, 4, kBackground);
  GdkRegion *inside = gdk_region_polygon(point_array_data(lasso), 4, GDK_EVEN_ODD_RULE);
  int kept = 0;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      const bool in = gdk_region_point_in(inside, x + 4, y + 4);
      kept += in;
      const Rgba expected = {guchar(x), guchar(y), guchar(x * 3 + y * 7), 255};
      EXPECT_EQ(pixel_at(image, x, y), in ? expected : kBackgroundPixel) << x << "," << y;
    }
  EXPECT_GT(kept, 20);
  EXPECT_LT(kept, 44);
  gdk_region_destroy(inside);
  image_free(image);
  for (VorpixPointArray *pa : {rectangle, two, lasso}) point_array_delete(pa);
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

TEST(ImageSize, NearestNeighbourScalingCopiesSourcePixelsExactly) {
  VorpixImage *source = numbered(40, 30);
  struct Case {
    int width, height;
  };
  for (Case c : {Case{20, 15}, Case{80, 60}}) {
    VorpixImage *result = image_scale(source, c.width, c.height, IMAGE_SCALE_PIXEL_EXACT);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(image_width(result), c.width);
    ASSERT_EQ(image_height(result), c.height);
    // Each pixel is the source pixel under its centre.
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < c.width; x++) {
        const int sx = (2 * x + 1) * 40 / (2 * c.width);
        const int sy = (2 * y + 1) * 30 / (2 * c.height);
        ASSERT_EQ(pixel_at(result, x, y), pixel_at(source, sx, sy)) << x << "," << y;
      }
    image_free(result);
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

// Smooth scaling blends: halving a one-pixel checkerboard gives its mean,
// where nearest neighbour keeps one of the two colours.
TEST(ImageSize, SmoothHalvingAveragesWhereNearestNeighbourPicks) {
  VorpixImage *board = image_new(8, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++)
      set_pixel(board, x, y, (x + y) % 2 ? Rgba{200, 200, 200, 255} : Rgba{0, 0, 0, 255});
  VorpixImage *smooth = image_scale(board, 4, 4, IMAGE_SCALE_SMOOTH);
  VorpixImage *exact = image_scale(board, 4, 4, IMAGE_SCALE_PIXEL_EXACT);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) {
      EXPECT_NEAR(pixel_at(smooth, x, y)[0], 100, 2) << x << "," << y;
      const guchar picked = pixel_at(exact, x, y)[0];
      EXPECT_TRUE(picked == 0 || picked == 200) << int(picked);
    }
  image_free(smooth);
  image_free(exact);
  image_free(board);
}

}  // namespace

namespace {

// What image_render would leave out (alpha below 127) becomes the colour;
// everything comes out opaque with its own colour otherwise.
TEST(ImageSize, FlattenPutsTheColourWhereRenderingWouldShowIt) {
  struct Case {
    Rgba in, out;
  };
  const Case cases[] = {
      {{1, 2, 3, 0}, kBackgroundPixel},
      {{1, 2, 3, 126}, kBackgroundPixel},
      {{1, 2, 3, 127}, {1, 2, 3, 255}},
      {{1, 2, 3, 255}, {1, 2, 3, 255}},
  };
  VorpixImage *image = image_new(4, 1);
  for (int i = 0; i < 4; i++) set_pixel(image, i, 0, cases[i].in);
  image_flatten(image, kBackground);
  for (int i = 0; i < 4; i++) EXPECT_EQ(pixel_at(image, i, 0), cases[i].out) << i;
  image_free(image);
}

}  // namespace
