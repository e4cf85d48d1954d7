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

constexpr FillMethod kMethods[] = {FillMethod::kChosen, FillMethod::kFollow,
                                   FillMethod::kConnectedRuns};

// The rectangle around the pixels that differ between two pictures.
GdkRectangle changed_between(const Picture &before, const Picture &after) {
  int left = before.width, top = before.height, right = -1, bottom = -1;
  for (int y = 0; y < before.height; y++)
    for (int x = 0; x < before.width; x++)
      if (before.rgb[size_t(y) * before.width + x] != after.rgb[size_t(y) * after.width + x]) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  if (right < 0) return GdkRectangle{0, 0, 0, 0};
  return GdkRectangle{left, top, right - left + 1, bottom - top + 1};
}

// Fills picture at (x, y) by every method and compares each result, and
// the rectangle it reports, with the breadth-first fill's.
void expect_fills_like_reference(const Picture &picture, int x, int y) {
  Picture expected = picture;
  expected.reference_fill(x, y, kRed);
  const GdkRectangle want = changed_between(picture, expected);
  for (FillMethod method : kMethods) {
    SCOPED_TRACE(::testing::Message() << "method " << static_cast<int>(method));
    VorpixImage *image = picture.to_image();
    GdkRectangle changed = {-1, -1, -1, -1};
    EXPECT_EQ(fill_image_by(method, image, x, y, 0xFF, 0, 0, &changed), FILL_DONE);
    EXPECT_EQ(differences(Picture::rgb_of(image), expected.rgb), 0u);
    EXPECT_TRUE(changed.x == want.x && changed.y == want.y && changed.width == want.width &&
                changed.height == want.height)
        << changed.x << "," << changed.y << " " << changed.width << "x" << changed.height
        << " instead of " << want.x << "," << want.y << " " << want.width << "x" << want.height;
    image_free(image);
  }
}

TEST(FillImage, EveryMethodMatchesBreadthFirstFillOnRandomPictures) {
  for (unsigned seed = 1; seed <= 60; seed++) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    int w = 1 + seed % 37, h = 1 + (seed * 7) % 29;
    Picture picture = noise(w, h, 0.3 + (seed % 6) * 0.1, seed, kBlack, kWhite);
    expect_fills_like_reference(picture, (seed * 5) % w, (seed * 3) % h);
  }
}

TEST(FillImage, EveryMethodMatchesBreadthFirstFillAcrossWordBoundaries) {
  // Widths around multiples of 64, where rows of the fill's bookkeeping split.
  unsigned seed = 100;
  for (int w : {63, 64, 65, 127, 128, 129, 191, 200}) {
    for (double density : {0.5, 0.6, 0.7, 0.9, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "width " << w << " density " << density);
      Picture picture = noise(w, 23, density, ++seed, kWhite, kBlack);
      int x = w - 1 - int(seed % 3), y = int(seed % 23);
      picture.at(x, y) = kWhite;
      expect_fills_like_reference(picture, x, y);
    }
  }
}

TEST(FillImage, EveryMethodMatchesBreadthFirstFillFromSmallToWholeRegions) {
  // A maze of walls with gaps: regions from a single pixel to nearly the
  // whole picture, plain and ragged, on both sides of the method's choice.
  const int w = 300, h = 200;
  for (double density : {0.0, 0.3, 0.45, 0.6, 0.8, 0.97}) {
    SCOPED_TRACE(::testing::Message() << "density " << density);
    Picture picture = noise(w, h, density, unsigned(density * 100), kBlack, kWhite);
    for (int x = 0; x < w; x += 37) picture.at(x, h / 2) = kBlack;
    for (auto [x, y] : {std::pair{w / 2, h / 2 + 1}, {3, 3}, {w - 1, h - 1}}) {
      if (picture.at(x, y) == kBlack) picture.at(x, y) = kWhite;
      expect_fills_like_reference(picture, x, y);
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
  EXPECT_EQ(fill_image(image, w - 1, 1, 0xFF, 0, 0), FILL_DONE);
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
  EXPECT_EQ(fill_image(&image, 0, 0, 0x10, 0x20, 0x30), FILL_DONE);
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
  EXPECT_EQ(fill_image(image, -1, 0, 0xFF, 0, 0), FILL_UNCHANGED);
  EXPECT_EQ(fill_image(image, 8, 0, 0xFF, 0, 0), FILL_UNCHANGED);
  EXPECT_EQ(fill_image(image, 0, 8, 0xFF, 0, 0), FILL_UNCHANGED);
  EXPECT_EQ(fill_image(image, 0, -1, 0xFF, 0, 0), FILL_UNCHANGED);
  EXPECT_EQ(fill_image(image, 2, 2, 0xFF, 0, 0), FILL_UNCHANGED);
  EXPECT_EQ(differences(Picture::rgb_of(image), picture.rgb), 0u);
  EXPECT_EQ(fill_image(image, 0, 0, 0xFF, 0, 0), FILL_DONE);
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
