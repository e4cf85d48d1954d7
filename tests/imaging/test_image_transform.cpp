// Flips and rotations of image buffers.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "tests/imaging/image_testing.h"

namespace {

using namespace image_testing;

// Every pixel different from its neighbours, alpha included.
VorpixImage *numbered(int width, int height) {
  VorpixImage *image = image_new(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      set_pixel(image, x, y, {guchar(x), guchar(y), guchar(x * 3 + y * 7), guchar(200 + x % 50)});
  return image;
}

// A three-channel image whose rows are padded (width 5 -> stride 16).
VorpixImage *numbered_rgb(int width, int height) {
  VorpixImage *image = g_new0(VorpixImage, 1);
  image->pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) set_pixel(image, x, y, {guchar(x), guchar(y), 99, 0});
  return image;
}

bool same_pixels(const VorpixImage *a, const VorpixImage *b) {
  if (image_width(a) != image_width(b) || image_height(a) != image_height(b)) return false;
  for (int y = 0; y < image_height(a); y++)
    for (int x = 0; x < image_width(a); x++)
      if (pixel_at(a, x, y) != pixel_at(b, x, y)) return false;
  return true;
}

// ---- flips ----

TEST(Flip, FlipXMirrorsLeftRight) {
  VorpixImage *image = numbered(9, 4);
  VorpixImage *original = image_new_copy(image);
  EXPECT_EQ(image_flip_x(image), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 9; x++) ASSERT_EQ(pixel_at(image, x, y), pixel_at(original, 8 - x, y));
  image_free(original);
  image_free(image);
}

TEST(Flip, FlipYMirrorsTopBottom) {
  VorpixImage *image = numbered(9, 4);
  VorpixImage *original = image_new_copy(image);
  EXPECT_EQ(image_flip_y(image), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 9; x++) ASSERT_EQ(pixel_at(image, x, y), pixel_at(original, x, 3 - y));
  image_free(original);
  image_free(image);
}

TEST(Flip, FlippingTwiceRestoresTheBytes) {
  VorpixImage *image = numbered(31, 17);
  VorpixImage *original = image_new_copy(image);
  image_flip_x(image);
  EXPECT_FALSE(same_pixels(image, original));
  image_flip_x(image);
  EXPECT_TRUE(same_pixels(image, original));
  image_flip_y(image);
  EXPECT_FALSE(same_pixels(image, original));
  image_flip_y(image);
  EXPECT_TRUE(same_pixels(image, original));
  image_free(original);
  image_free(image);
}

TEST(Flip, ThreeChannelSourceWithPaddedRowsGivesOpaqueRgba) {
  VorpixImage *image = numbered_rgb(5, 3);
  ASSERT_GT(image_rowstride(image), 5 * 3);
  image_flip_x(image);
  ASSERT_EQ(image_pixelsize(image), 4);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 5; x++)
      ASSERT_EQ(pixel_at(image, x, y), (Rgba{guchar(4 - x), guchar(y), 99, 255}));
  image_free(image);

  image = numbered_rgb(5, 3);
  image_flip_y(image);
  ASSERT_EQ(image_pixelsize(image), 4);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 5; x++)
      ASSERT_EQ(pixel_at(image, x, y), (Rgba{guchar(x), guchar(2 - y), 99, 255}));
  image_free(image);
}

// ---- right angles ----

TEST(RotateSimple, NinetyTurnsCounterClockwise) {
  VorpixImage *image = numbered(640, 480);
  VorpixImage *original = image_new_copy(image);
  EXPECT_EQ(image_rotate_simple(image, 90), 0);
  ASSERT_EQ(image_width(image), 480);
  ASSERT_EQ(image_height(image), 640);
  // The top-right corner comes to the top-left.
  for (int y = 0; y < 640; y += 7)
    for (int x = 0; x < 480; x += 5)
      ASSERT_EQ(pixel_at(image, x, y), pixel_at(original, 639 - y, x));
  image_free(original);
  image_free(image);
}

TEST(RotateSimple, OtherAnglesAreRefusedAndChangeNothing) {
  VorpixImage *image = numbered(20, 10);
  GdkPixbuf *before = image_pixbuf(image);
  VorpixImage *original = image_new_copy(image);
  EXPECT_EQ(image_rotate_simple(image, 45), 1);
  EXPECT_EQ(image_rotate_simple(image, -90), 1);
  EXPECT_EQ(image_rotate_simple(image, 360), 1);
  EXPECT_EQ(image_pixbuf(image), before);
  EXPECT_TRUE(same_pixels(image, original));
  image_free(original);
  image_free(image);
}

// ---- free rotation ----

TEST(Rotate, NewSizeIsTheRoundedExtentOfTheTurnedRectangle) {
  struct Case {
    double degrees;
    int width, height;
  };
  // 200 x 100: 45 -> 300 / sqrt 2 = 212.1 both ways; 30 -> 223.2 x 186.6.
  for (Case c : {Case{45, 212, 212}, Case{315, 212, 212}, Case{30, 223, 187},
                 Case{-30, 223, 187}, Case{10, 214, 133}}) {
    VorpixImage *image = numbered(200, 100);
    EXPECT_EQ(image_rotate(image, c.degrees), 0);
    EXPECT_EQ(image_width(image), c.width) << c.degrees;
    EXPECT_EQ(image_height(image), c.height) << c.degrees;
    EXPECT_EQ(image_pixelsize(image), 4);
    image_free(image);
  }
}

TEST(Rotate, RightAnglesMatchTheExactRotations) {
  VorpixImage *source = numbered(37, 23);
  struct Case {
    double degrees;
    int simple;  // the library's angle for the same turn
  };
  for (Case c : {Case{90, 270}, Case{-90, 90}, Case{270, 90}, Case{180, 180}, Case{0, 0},
                 Case{360, 0}}) {
    VorpixImage *turned = image_new_copy(source);
    VorpixImage *exact = image_new_copy(source);
    EXPECT_EQ(image_rotate(turned, c.degrees), 0);
    image_rotate_simple(exact, c.simple);
    EXPECT_TRUE(same_pixels(turned, exact)) << c.degrees;
    image_free(exact);
    image_free(turned);
  }
  image_free(source);
}

TEST(Rotate, PortraitPicturesRotateToo) {
  VorpixImage *image = numbered(480, 640);
  WarningCapture warnings;
  EXPECT_EQ(image_rotate(image, 45), 0);
  EXPECT_TRUE(warnings.messages().empty());
  EXPECT_EQ(image_width(image), 792);  // 1120 / sqrt 2 = 791.96
  EXPECT_EQ(image_height(image), 792);
  image_free(image);
}

// Every source pixel carries its own coordinates as colour.  Each one, away
// from the border, is followed forward to where the turn takes it
// (x' = c·x - s·y, y' = s·x + c·y about the centres: clockwise on screen); the
// destination pixel there must hold that source pixel or one of its
// four neighbours (nearest-pixel sampling lands within half a diagonal).
void check_forward_mapping(double degrees) {
  constexpr int kW = 200, kH = 100;
  VorpixImage *image = image_new(kW, kH);
  for (int y = 0; y < kH; y++)
    for (int x = 0; x < kW; x++) set_pixel(image, x, y, {guchar(x), guchar(y), 7, 255});

  ASSERT_EQ(image_rotate(image, degrees), 0);
  int nw = image_width(image), nh = image_height(image);
  double t = degrees * M_PI / 180, c = std::cos(t), s = std::sin(t);
  for (int y = 1; y < kH - 1; y++)
    for (int x = 1; x < kW - 1; x++) {
      double rx = x + 0.5 - kW / 2.0, ry = y + 0.5 - kH / 2.0;
      double dx = c * rx - s * ry + nw / 2.0, dy = s * rx + c * ry + nh / 2.0;
      int px = int(std::floor(dx)), py = int(std::floor(dy));
      ASSERT_TRUE(px >= 0 && px < nw && py >= 0 && py < nh) << x << "," << y;
      Rgba found = pixel_at(image, px, py);
      ASSERT_EQ(found[3], 255) << degrees << ": " << x << "," << y;
      ASSERT_EQ(found[2], 7);
      // Less than a pixel's diagonal away: never off in both directions at once.
      ASSERT_LE(std::abs(found[0] - x) + std::abs(found[1] - y), 1)
          << degrees << ": " << x << "," << y << " found " << int(found[0]) << ","
          << int(found[1]);
    }

  // Outside the turned rectangle nothing is covered: the corners are clear.
  for (auto [x, y] : {std::pair{0, 0}, {nw - 1, 0}, {0, nh - 1}, {nw - 1, nh - 1}})
    EXPECT_EQ(pixel_at(image, x, y)[3], 0) << degrees;

  // The covered area is the source's, give or take the border pixels, and it is
  // centred: the opaque pixels' bounding box has even margins.
  int opaque = 0, min_x = nw, max_x = -1, min_y = nh, max_y = -1;
  for (int y = 0; y < nh; y++)
    for (int x = 0; x < nw; x++)
      if (pixel_at(image, x, y)[3] == 255) {
        opaque++;
        min_x = std::min(min_x, x);
        max_x = std::max(max_x, x);
        min_y = std::min(min_y, y);
        max_y = std::max(max_y, y);
      }
  EXPECT_NEAR(opaque, kW * kH, 2 * (kW + kH)) << degrees;
  EXPECT_LE(std::abs(min_x - (nw - 1 - max_x)), 1) << degrees;
  EXPECT_LE(std::abs(min_y - (nh - 1 - max_y)), 1) << degrees;
  image_free(image);
}

TEST(Rotate, FollowsTheForwardTurnAt45) { check_forward_mapping(45); }
TEST(Rotate, FollowsTheForwardTurnAt315) { check_forward_mapping(315); }
TEST(Rotate, FollowsTheForwardTurnAt30) { check_forward_mapping(30); }

TEST(Rotate, ThreeChannelSourceIsOpaqueInside) {
  VorpixImage *image = numbered_rgb(40, 30);
  EXPECT_EQ(image_rotate(image, 30), 0);
  ASSERT_EQ(image_pixelsize(image), 4);
  Rgba centre = pixel_at(image, image_width(image) / 2, image_height(image) / 2);
  EXPECT_EQ(centre[3], 255);
  EXPECT_EQ(centre[2], 99);
  EXPECT_EQ(pixel_at(image, 0, 0)[3], 0);
  image_free(image);
}

TEST(Rotate, RefusesResultsLargerThanAnyPixmap) {
  // 32767 wide turned by 1 degree would become more than 32767 wide.
  VorpixImage *image = image_new(32767, 400);
  GdkPixbuf *before = image_pixbuf(image);
  WarningCapture warnings;
  EXPECT_EQ(image_rotate(image, 1), 1);
  EXPECT_EQ(image_pixbuf(image), before);
  EXPECT_EQ(warnings.messages().size(), 1u);
  image_free(image);
}

TEST(Rotate, NonFiniteAngleIsRefused) {
  VorpixImage *image = numbered(10, 10);
  GdkPixbuf *before = image_pixbuf(image);
  WarningCapture warnings;
  EXPECT_EQ(image_rotate(image, NAN), 1);
  EXPECT_EQ(image_rotate(image, INFINITY), 1);
  EXPECT_EQ(image_pixbuf(image), before);
  EXPECT_EQ(warnings.messages().size(), 2u);
  image_free(image);
}

}  // namespace
