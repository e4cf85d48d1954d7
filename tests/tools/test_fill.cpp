#include "tools/fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "document/drawing.h"
#include "imaging/image.h"
#include "tests/harness/window_fixture.h"

namespace {

constexpr guint32 kBlack = 0x000000;
constexpr guint32 kWhite = 0xFFFFFF;
constexpr guint32 kRed = 0xFF0000;

// A plain picture of 0xRRGGBB values with its own breadth-first reference
// fill, independent of the tool's scanline algorithm.
struct Picture {
  int width, height;
  std::vector<guint32> rgb;

  Picture(int w, int h, guint32 ground) : width(w), height(h), rgb(size_t(w) * h, ground) {}
  guint32 &at(int x, int y) { return rgb[size_t(y) * width + x]; }

  void reference_fill(int x, int y, guint32 color) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    guint32 old = at(x, y);
    if (old == color) return;
    std::vector<std::pair<int, int>> queue{{x, y}};
    at(x, y) = color;
    for (size_t i = 0; i < queue.size(); i++) {
      auto [cx, cy] = queue[i];
      const int nx[4] = {cx - 1, cx + 1, cx, cx};
      const int ny[4] = {cy, cy, cy - 1, cy + 1};
      for (int k = 0; k < 4; k++) {
        if (nx[k] < 0 || ny[k] < 0 || nx[k] >= width || ny[k] >= height) continue;
        if (at(nx[k], ny[k]) != old) continue;
        at(nx[k], ny[k]) = color;
        queue.push_back({nx[k], ny[k]});
      }
    }
  }

  // An RGBA image of the picture, alpha a function of the position.
  VorpixImage *to_image() const {
    VorpixImage *image = image_new(width, height);
    guchar *pixels = image_pixels(image);
    int stride = image_rowstride(image);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) {
        guchar *p = pixels + y * stride + x * 4;
        guint32 v = rgb[size_t(y) * width + x];
        p[0] = v >> 16;
        p[1] = (v >> 8) & 0xFF;
        p[2] = v & 0xFF;
        p[3] = static_cast<guchar>(x * 7 + y * 13);
      }
    return image;
  }

  static std::vector<guint32> rgb_of(const VorpixImage *image) {
    std::vector<guint32> out;
    const guchar *pixels = image_pixels(image);
    int stride = image_rowstride(image);
    for (int y = 0; y < image_height(image); y++)
      for (int x = 0; x < image_width(image); x++) {
        const guchar *p = pixels + y * stride + x * 4;
        out.push_back((guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2]);
      }
    return out;
  }
};

// The number of pixels that differ; 0 when the pictures are equal.
size_t differences(const std::vector<guint32> &a, const std::vector<guint32> &b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  size_t n = 0;
  for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
  return n;
}

// Two colours scattered at random; density is the share of the first.
Picture noise(int w, int h, double density, unsigned seed, guint32 a, guint32 b) {
  Picture picture(w, h, b);
  std::mt19937 random(seed);
  std::bernoulli_distribution pick(density);
  for (guint32 &v : picture.rgb)
    if (pick(random)) v = a;
  return picture;
}

TEST(FillImage, MatchesBreadthFirstFillOnRandomPictures) {
  for (unsigned seed = 1; seed <= 60; seed++) {
    int w = 1 + seed % 37, h = 1 + (seed * 7) % 29;
    Picture picture = noise(w, h, 0.3 + (seed % 6) * 0.1, seed, kBlack, kWhite);
    int x = (seed * 5) % w, y = (seed * 3) % h;
    VorpixImage *image = picture.to_image();
    fill_image(image, x, y, 0xFF, 0, 0);
    picture.reference_fill(x, y, kRed);
    EXPECT_EQ(differences(Picture::rgb_of(image), picture.rgb), 0u) << "seed " << seed;
    image_free(image);
  }
}

TEST(FillImage, MatchesBreadthFirstFillAcrossWordBoundaries) {
  // Widths around multiples of 64, where rows of the fill's bookkeeping split.
  unsigned seed = 100;
  for (int w : {63, 64, 65, 127, 128, 129, 191, 200}) {
    for (double density : {0.5, 0.6, 0.7, 0.9, 1.0}) {
      Picture picture = noise(w, 23, density, ++seed, kWhite, kBlack);
      int x = w - 1 - int(seed % 3), y = int(seed % 23);
      picture.at(x, y) = kWhite;
      VorpixImage *image = picture.to_image();
      fill_image(image, x, y, 0xFF, 0, 0);
      picture.reference_fill(x, y, kRed);
      EXPECT_EQ(differences(Picture::rgb_of(image), picture.rgb), 0u)
          << "width " << w << " density " << density;
      image_free(image);
    }
  }
}

TEST(FillImage, RowWithMoreThan65535RunsIsFilledCompletely) {
  // Every other pixel of the top row is black: 70000 separate runs, each
  // joined to the region through the white row below.
  const int w = 140000;
  Picture picture(w, 2, kWhite);
  for (int x = 0; x < w; x += 2) picture.at(x, 0) = kBlack;
  VorpixImage *image = picture.to_image();
  fill_image(image, w - 1, 1, 0xFF, 0, 0);
  picture.reference_fill(w - 1, 1, kRed);
  EXPECT_EQ(differences(Picture::rgb_of(image), picture.rgb), 0u);
  image_free(image);
}

TEST(FillImage, ThreeBytePixelsAreFilledToo) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 70, 5);
  gdk_pixbuf_fill(pixbuf, 0xFFFFFFFF);
  guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
  int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < 5; y++) memset(pixels + y * stride + 30 * 3, 0, 3);  // a wall at x 30
  VorpixImage image = {pixbuf};
  EXPECT_TRUE(fill_image(&image, 0, 0, 0x10, 0x20, 0x30));
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 70; x++) {
      const guchar *p = pixels + y * stride + x * 3;
      guint32 v = (guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2];
      ASSERT_EQ(v, x < 30 ? 0x102030u : x == 30 ? kBlack : kWhite) << x << "," << y;
    }
  g_object_unref(pixbuf);
}

TEST(FillImage, LeavesTheFourthByteAlone) {
  Picture picture(20, 10, kWhite);
  VorpixImage *image = picture.to_image();
  fill_image(image, 3, 3, 0x12, 0x34, 0x56);
  const guchar *pixels = image_pixels(image);
  int stride = image_rowstride(image);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 20; x++) {
      const guchar *p = pixels + y * stride + x * 4;
      ASSERT_EQ(p[0], 0x12);
      ASSERT_EQ(p[2], 0x56);
      ASSERT_EQ(p[3], static_cast<guchar>(x * 7 + y * 13));
    }
  image_free(image);
}

TEST(FillImage, NothingToDoOutsideOrOnTheFillColour) {
  Picture picture(8, 8, kWhite);
  picture.at(2, 2) = kRed;
  VorpixImage *image = picture.to_image();
  EXPECT_FALSE(fill_image(image, -1, 0, 0xFF, 0, 0));
  EXPECT_FALSE(fill_image(image, 8, 0, 0xFF, 0, 0));
  EXPECT_FALSE(fill_image(image, 0, 8, 0xFF, 0, 0));
  EXPECT_FALSE(fill_image(image, 0, -1, 0xFF, 0, 0));
  EXPECT_FALSE(fill_image(image, 2, 2, 0xFF, 0, 0));
  EXPECT_EQ(differences(Picture::rgb_of(image), picture.rgb), 0u);
  EXPECT_TRUE(fill_image(image, 0, 0, 0xFF, 0, 0));
  image_free(image);
}

class FillTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    fill = fill_create("fill");
    canvas_set_tool(canvas, fill);
    // The foreground through the colour palette: swatch 2 is red.
    press_swatch(2);
  }
  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    fill->destroy(fill);
    MainWindowTest::TearDown();
  }

  void show(const Picture &picture) {
    VorpixImage *image = picture.to_image();
    image_draw_on_pixmap(image, &drawing()->backing_pixmap, drawing()->gc);
    image_free(image);
  }

  std::vector<guint32> picture() const {
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }

  VorpixTool *fill = nullptr;
};

TEST_F(FillTest, FillsExactlyTheInsideOfAnOutline) {
  Picture expected(640, 480, kWhite);
  for (int x = 100; x <= 200; x++) expected.at(x, 100) = expected.at(x, 150) = kBlack;
  for (int y = 100; y <= 150; y++) expected.at(100, y) = expected.at(200, y) = kBlack;
  show(expected);
  click(150, 125);
  for (int y = 101; y < 150; y++)
    for (int x = 101; x < 200; x++) expected.at(x, y) = kRed;
  EXPECT_EQ(differences(picture(), expected.rgb), 0u);
  EXPECT_EQ(drawing()->modified, 1);
  vorpix_test::pump();  // the queued repaint shows it on the window too
  EXPECT_EQ(window_pixel(150, 125), kRed);
  EXPECT_EQ(window_pixel(50, 50), kWhite);
}

TEST_F(FillTest, DoesNotLeakThroughDiagonalGap) {
  // A staircase: the two sides touch only at the corners of its pixels.
  Picture expected(640, 480, kWhite);
  for (int i = 0; i < 480; i++) expected.at(i, i) = kBlack;
  show(expected);
  click(300, 10);
  for (int y = 0; y < 480; y++)
    for (int x = y + 1; x < 640; x++) expected.at(x, y) = kRed;
  EXPECT_EQ(differences(picture(), expected.rgb), 0u);
}

TEST_F(FillTest, ReachesAllFourEdges) {
  click(320, 240);
  std::vector<guint32> all = picture();
  EXPECT_EQ(differences(all, std::vector<guint32>(all.size(), kRed)), 0u);
}

TEST_F(FillTest, ColourOneUnitOffIsNotFilled) {
  Picture expected(640, 480, kWhite);
  expected.at(10, 10) = 0xFEFFFF;
  expected.at(20, 10) = 0xFFFEFF;
  expected.at(30, 10) = 0xFFFFFE;
  for (int x = 400; x < 500; x++) expected.at(x, 300) = 0xFFFFFE;
  show(expected);
  click(0, 0);
  for (guint32 &v : expected.rgb)
    if (v == kWhite) v = kRed;
  EXPECT_EQ(differences(picture(), expected.rgb), 0u);
}

TEST_F(FillTest, ClickOutsideOrOnFillColourChangesNothingButMarksModified) {
  Picture expected(640, 480, kWhite);
  for (int x = 0; x < 640; x++) expected.at(x, 200) = kRed;
  show(expected);
  for (auto [x, y] : {std::pair{-1, 10}, {640, 10}, {10, -1}, {10, 480}, {300, 200}}) {
    drawing()->modified = 0;
    click(x, y);
    EXPECT_EQ(differences(picture(), expected.rgb), 0u) << x << "," << y;
    EXPECT_EQ(drawing()->modified, 1) << x << "," << y;
  }
}

TEST_F(FillTest, RaggedRegionOfALargeNoisyPictureIsFilledCompletely) {
  constexpr int kSide = 4096;
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, kSide, kSide));
  // Above the percolation threshold: one huge region riddled with holes,
  // millions of runs joined along winding paths.
  Picture expected = noise(kSide, kSide, 0.65, 2024, kWhite, kBlack);
  show(expected);
  int x = 2048, y = 2048;
  while (expected.at(x, y) != kWhite) x++;
  click(x, y);
  expected.reference_fill(x, y, kRed);
  std::vector<guint32> result = picture();
  size_t filled = 0;
  for (guint32 v : expected.rgb) filled += v == kRed;
  EXPECT_GT(filled, size_t(kSide) * kSide / 4);
  EXPECT_EQ(differences(result, expected.rgb), 0u);
}

}  // namespace
