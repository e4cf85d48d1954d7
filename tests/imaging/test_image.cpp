// Image buffers: pixmaps, the desktop, reading files and capturing outlines.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "tests/harness/scratch_dir.h"
#include "tests/imaging/image_testing.h"
#include "tools/selection.h"

namespace {

using namespace image_testing;
using vorpix_test::TempDir;

// A server-side pixmap of the screen's depth, filled with one colour.
class PixmapTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64;
  static constexpr int kHeight = 48;

  void SetUp() override {
    pixmap_ = gdk_pixmap_new(gdk_get_default_root_window(), kWidth, kHeight, -1);
    gdk_drawable_set_colormap(pixmap_, gdk_rgb_get_colormap());
    gc_ = gdk_gc_new(pixmap_);
    fill(0, 0, kWidth, kHeight, {255, 255, 255, 255});
  }
  void TearDown() override {
    g_object_unref(gc_);
    g_object_unref(pixmap_);
  }

  void fill(int x, int y, int w, int h, Rgba c) {
    GdkColor colour = {0, guint16(c[0] * 257), guint16(c[1] * 257), guint16(c[2] * 257)};
    gdk_gc_set_rgb_fg_color(gc_, &colour);
    gdk_draw_rectangle(pixmap_, gc_, TRUE, x, y, w, h);
  }

  // What the pixmap holds now, read independently of the module.
  Rgba pixmap_pixel(int x, int y) {
    GdkPixbuf *pb =
        gdk_pixbuf_get_from_drawable(nullptr, pixmap_, gdk_rgb_get_colormap(), x, y, 0, 0, 1, 1);
    const guchar *p = gdk_pixbuf_get_pixels(pb);
    Rgba c = {p[0], p[1], p[2], 255};
    g_object_unref(pb);
    return c;
  }

  GdkPixmap *pixmap_ = nullptr;
  GdkGC *gc_ = nullptr;
};

constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kRed = {255, 0, 0, 255};
constexpr Rgba kBlue = {0, 0, 255, 255};

TEST_F(PixmapTest, ImageFromPixmapIsOpaqueRgbaOfTheArea) {
  fill(10, 5, 4, 3, kRed);
  VorpixImage *image = image_new_from_pixmap(pixmap_, GdkRectangle{8, 4, 20, 10});
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_width(image), 20);
  EXPECT_EQ(image_height(image), 10);
  EXPECT_EQ(image_pixelsize(image), 4);
  EXPECT_EQ(BITS_PER_SAMPLE, 8);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 20; x++) {
      bool red = x >= 2 && x < 6 && y >= 1 && y < 4;
      ASSERT_EQ(pixel_at(image, x, y), red ? kRed : kWhite) << x << "," << y;
    }
  image_free(image);
}

TEST_F(PixmapTest, DrawOnPixmapIgnoresAlpha) {
  VorpixImage *image = image_new(kWidth, kHeight);  // zero-filled: transparent black
  set_pixel(image, 3, 4, {0, 0, 255, 0});
  set_pixel(image, 5, 6, {255, 0, 0, 100});
  GdkPixmap *target = pixmap_;
  EXPECT_EQ(image_draw_on_pixmap(image, &target, gc_), 0);
  EXPECT_EQ(pixmap_pixel(0, 0), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(pixmap_pixel(3, 4), kBlue);
  EXPECT_EQ(pixmap_pixel(5, 6), kRed);
  image_free(image);
}

TEST_F(PixmapTest, PixmapRoundTripKeepsEveryPixel) {
  VorpixImage *image = image_new(kWidth, kHeight);
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++)
      set_pixel(image, x, y, {guchar(x * 4), guchar(y * 5), guchar(x ^ y), 255});
  GdkPixmap *target = pixmap_;
  image_draw_on_pixmap(image, &target, gc_);
  VorpixImage *back = image_new_from_pixmap(pixmap_, GdkRectangle{0, 0, kWidth, kHeight});
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) ASSERT_EQ(pixel_at(back, x, y), pixel_at(image, x, y));
  image_free(back);
  image_free(image);
}

TEST_F(PixmapTest, DrawOnPixmapTakesThreeChannelImages) {
  GdkPixbuf *rgb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 5, 3);
  gdk_pixbuf_fill(rgb, 0x0000ffff);
  VorpixImage *wrapper = g_new0(VorpixImage, 1);
  wrapper->pixbuf = rgb;
  GdkPixmap *target = pixmap_;
  image_draw_on_pixmap(wrapper, &target, gc_);
  EXPECT_EQ(pixmap_pixel(4, 2), kBlue);
  EXPECT_EQ(pixmap_pixel(5, 2), kWhite);
  EXPECT_EQ(pixmap_pixel(4, 3), kWhite);
  image_free(wrapper);
}

TEST_F(PixmapTest, DrawRegionTouchesOnlyTheRegion) {
  VorpixImage *snapshot = image_new(kWidth, kHeight);
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) set_pixel(snapshot, x, y, kBlue);
  GdkPixmap *target = pixmap_;
  EXPECT_EQ(image_draw_region_on_pixmap(snapshot, GdkRectangle{10, 20, 5, 4}, &target, gc_), 0);
  EXPECT_EQ(pixmap_pixel(10, 20), kBlue);
  EXPECT_EQ(pixmap_pixel(14, 23), kBlue);
  EXPECT_EQ(pixmap_pixel(15, 23), kWhite);
  EXPECT_EQ(pixmap_pixel(14, 24), kWhite);
  EXPECT_EQ(pixmap_pixel(9, 20), kWhite);
  // A region reaching past the image is cut to it.
  image_draw_region_on_pixmap(snapshot, GdkRectangle{60, -5, 40, 10}, &target, gc_);
  EXPECT_EQ(pixmap_pixel(63, 0), kBlue);
  EXPECT_EQ(pixmap_pixel(63, 4), kBlue);
  EXPECT_EQ(pixmap_pixel(63, 5), kWhite);
  image_free(snapshot);
}

TEST_F(PixmapTest, RenderDrawsOnlyPixelsAtOrAboveTheAlphaThreshold) {
  const guchar alphas[] = {0, 100, 126, 127, 128, 255};
  VorpixImage *image = image_new(6, 1);
  for (int x = 0; x < 6; x++) set_pixel(image, x, 0, {255, 0, 0, alphas[x]});
  EXPECT_EQ(image_render(image, pixmap_, 0, 0, GdkRectangle{20, 30, 6, 1}), 0);
  for (int x = 0; x < 6; x++)
    EXPECT_EQ(pixmap_pixel(20 + x, 30), alphas[x] >= 127 ? kRed : kWhite) << int(alphas[x]);
  image_free(image);
}

// Where the one-bit mask of image_render cuts, the composite blends; only
// alpha between the two ends tells a picture that needs it.
TEST_F(PixmapTest, CompositeBlendsOverAnOpaquePixmapWhereTheMaskWouldCut) {
  const guchar alphas[] = {0, 1, 100, 127, 128, 254, 255};
  const int n = int(sizeof alphas);
  VorpixImage *image = image_new(n, 1);
  for (int x = 0; x < n; x++) set_pixel(image, x, 0, {255, 0, 0, alphas[x]});
  ASSERT_TRUE(image_composite(image, pixmap_, 0, 0, GdkRectangle{20, 30, n, 1}));
  for (int x = 0; x < n; x++) {
    const guchar rest = guchar(255 - alphas[x]);  // red over white, rounded
    EXPECT_EQ(pixmap_pixel(20 + x, 30), (Rgba{255, rest, rest, 255})) << int(alphas[x]);
  }
  EXPECT_TRUE(image_has_partial_alpha(image));
  for (int x = 0; x < n; x++) set_pixel(image, x, 0, {255, 0, 0, guchar(x % 2 ? 255 : 0)});
  EXPECT_FALSE(image_has_partial_alpha(image));
  image_free(image);
}

TEST_F(PixmapTest, RenderFromASourcePointAndPartlyOffTheDrawable) {
  VorpixImage *image = image_new(10, 10);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 10; x++) set_pixel(image, x, y, x >= 5 ? kBlue : kRed);
  // From (4, 0) of the image, 3 wide: one red column then two blue ones.
  image_render(image, pixmap_, 4, 0, GdkRectangle{30, 10, 3, 2});
  EXPECT_EQ(pixmap_pixel(30, 10), kRed);
  EXPECT_EQ(pixmap_pixel(31, 10), kBlue);
  EXPECT_EQ(pixmap_pixel(32, 11), kBlue);
  EXPECT_EQ(pixmap_pixel(33, 10), kWhite);
  EXPECT_EQ(pixmap_pixel(30, 12), kWhite);
  // Left of the drawable: the columns that land inside still come from the
  // right place of the image.
  image_render(image, pixmap_, 0, 0, GdkRectangle{-4, 0, 10, 10});
  EXPECT_EQ(pixmap_pixel(0, 0), kRed);
  EXPECT_EQ(pixmap_pixel(1, 0), kBlue);
  EXPECT_EQ(pixmap_pixel(5, 9), kBlue);
  EXPECT_EQ(pixmap_pixel(6, 0), kWhite);
  image_free(image);
}

TEST(DesktopImage, CapturesTheScreenWithItsWindows) {
  GdkWindowAttr attr = {};
  attr.x = 100;
  attr.y = 120;
  attr.width = 30;
  attr.height = 20;
  attr.wclass = GDK_INPUT_OUTPUT;
  attr.window_type = GDK_WINDOW_TEMP;
  GdkWindow *window = gdk_window_new(nullptr, &attr, GDK_WA_X | GDK_WA_Y);
  GdkColor red = {0, 0xffff, 0, 0};
  gdk_colormap_alloc_color(gdk_drawable_get_colormap(window), &red, FALSE, TRUE);
  gdk_window_set_background(window, &red);
  gdk_window_show(window);
  gdk_window_clear(window);
  gdk_display_sync(gdk_display_get_default());

  VorpixImage *image = image_new_from_desktop();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_width(image), gdk_screen_width());
  EXPECT_EQ(image_height(image), gdk_screen_height());
  EXPECT_EQ(image_pixelsize(image), 4);
  EXPECT_EQ(pixel_at(image, 100, 120), kRed);
  EXPECT_EQ(pixel_at(image, 129, 139), kRed);
  EXPECT_NE(pixel_at(image, 130, 139), kRed);
  EXPECT_EQ(pixel_at(image, 0, 0)[3], 255);
  image_free(image);
  gdk_window_destroy(window);
}

// ---- image_from_selection ----

VorpixPointArray *outline(std::initializer_list<GdkPoint> points) {
  VorpixPointArray *pa = point_array_new();
  for (const GdkPoint &p : points) point_array_append(pa, p.x, p.y);
  return pa;
}

TEST_F(PixmapTest, SelectAllGivesTheWholeDrawingOpaque) {
  fill(0, 0, 1, 1, kRed);
  VorpixPointArray *all =
      outline({{0, 0}, {kWidth, 0}, {kWidth, kHeight}, {0, kHeight}, {0, 0}});
  VorpixImage *image = image_from_selection(pixmap_, all);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_width(image), kWidth);
  EXPECT_EQ(image_height(image), kHeight);
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) ASSERT_EQ(pixel_at(image, x, y)[3], 255) << x << "," << y;
  EXPECT_EQ(pixel_at(image, 0, 0), kRed);
  EXPECT_EQ(pixel_at(image, 1, 0), kWhite);
  image_free(image);
  point_array_delete(all);
}

TEST_F(PixmapTest, OutlineLeftOfTheDrawingKeepsOnlyTheInsidePart) {
  fill(0, 0, kWidth, kHeight, kBlue);
  VorpixPointArray *box = outline({{-10, 5}, {20, 5}, {20, 25}, {-10, 25}, {-10, 5}});
  VorpixImage *image = image_from_selection(pixmap_, box);
  ASSERT_NE(image, nullptr);
  // Bounding box x -10..20 inclusive, cut at 0: 21 wide, top-left at (0, 5).
  EXPECT_EQ(image_width(image), 21);
  EXPECT_EQ(image_height(image), 21);
  for (int y = 0; y < 21; y++)
    for (int x = 0; x < 21; x++) {
      // The polygon covers pixels [0, 20) x [5, 25); its right and bottom edges
      // are not inside.
      bool inside = x < 20 && y < 20;
      Rgba c = pixel_at(image, x, y);
      ASSERT_EQ(c[3], inside ? 255 : 0) << x << "," << y;
      ASSERT_EQ((Rgba{c[0], c[1], c[2], 255}), kBlue);
    }
  image_free(image);
  point_array_delete(box);
}

TEST_F(PixmapTest, SelfCrossingLassoLeavesDoublyEnclosedPartsTransparent) {
  // Two overlapping squares traced as one outline: (0..20) and (10..30).
  VorpixPointArray *lasso = outline({{0, 0},
                                     {20, 0},
                                     {20, 20},
                                     {0, 20},
                                     {0, 0},
                                     {10, 10},
                                     {30, 10},
                                     {30, 30},
                                     {10, 30},
                                     {10, 10},
                                     {0, 0}});
  VorpixImage *image = image_from_selection(pixmap_, lasso);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixel_at(image, 5, 5)[3], 255);    // first square only
  EXPECT_EQ(pixel_at(image, 25, 25)[3], 255);  // second square only
  EXPECT_EQ(pixel_at(image, 15, 15)[3], 0);    // both: even-odd leaves it out
  EXPECT_EQ(pixel_at(image, 25, 5)[3], 0);     // neither
  EXPECT_EQ(pixel_at(image, 5, 25)[3], 0);
  image_free(image);
  point_array_delete(lasso);
}

TEST_F(PixmapTest, OutlineOutsideTheDrawingGivesNullWithWarning) {
  VorpixPointArray *empty = point_array_new();
  VorpixPointArray *far = outline({{100, 100}, {120, 100}, {120, 120}, {100, 100}});
  WarningCapture warnings;
  EXPECT_EQ(image_from_selection(pixmap_, empty), nullptr);
  EXPECT_EQ(image_from_selection(pixmap_, far), nullptr);
  ASSERT_EQ(warnings.messages().size(), 2u);
  EXPECT_EQ(warnings.messages()[0], "selection does not intersect the drawing");
  point_array_delete(far);
  point_array_delete(empty);
}

// ---- image_new_readfile ----

class ReadFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  std::string path(const char *name) const { return dir_.file(name); }
  void write_bytes(const std::string &file, const std::vector<guchar> &bytes) {
    ASSERT_TRUE(g_file_set_contents(file.c_str(), reinterpret_cast<const char *>(bytes.data()),
                                    gssize(bytes.size()), nullptr));
  }
  std::vector<guchar> png_bytes(int width, int height, bool alpha) {
    GdkPixbuf *pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
    guchar *p = gdk_pixbuf_get_pixels(pb);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < gdk_pixbuf_get_n_channels(pb) * width; x++)
        p[y * gdk_pixbuf_get_rowstride(pb) + x] = guchar(x * 7 + y * 13);
    gchar *buffer = nullptr;
    gsize size = 0;
    EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pb, &buffer, &size, "png", nullptr, nullptr));
    std::vector<guchar> bytes(buffer, buffer + size);
    g_free(buffer);
    g_object_unref(pb);
    return bytes;
  }
  TempDir dir_;
};

uint32_t crc32(const guchar *data, size_t size) {
  uint32_t crc = 0xffffffffu;
  for (size_t i = 0; i < size; i++) {
    crc ^= data[i];
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put_be32(std::vector<guchar> &v, size_t at, uint32_t value) {
  for (int k = 0; k < 4; k++) v[at + k] = guchar(value >> (24 - 8 * k));
}

// A valid PNG whose header is rewritten to claim another size (with a good CRC,
// so the library believes it).
std::vector<guchar> with_claimed_size(std::vector<guchar> png, uint32_t width, uint32_t height) {
  // Signature (8), IHDR length (4), "IHDR" (4), width at 16, height at 20,
  // 5 more header bytes, CRC at 29 over "IHDR" and the 13 data bytes.
  put_be32(png, 16, width);
  put_be32(png, 20, height);
  put_be32(png, 29, crc32(png.data() + 12, 17));
  return png;
}

TEST_F(ReadFileTest, ReadsPngKeepingItsLayout) {
  std::vector<guchar> bytes = png_bytes(7, 5, false);
  write_bytes(path("rgb.png"), bytes);
  VorpixImage *image = image_new_readfile(path("rgb.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_width(image), 7);
  EXPECT_EQ(image_height(image), 5);
  EXPECT_EQ(image_pixelsize(image), 3);
  EXPECT_EQ(pixel_at(image, 2, 3), (Rgba{guchar(6 * 7 + 39), guchar(7 * 7 + 39),
                                         guchar(8 * 7 + 39), 255}));
  image_free(image);

  write_bytes(path("rgba.png"), png_bytes(4, 4, true));
  image = image_new_readfile(path("rgba.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_pixelsize(image), 4);
  image_free(image);
}

TEST_F(ReadFileTest, HostileFilesGiveNull) {
  std::vector<guchar> good = png_bytes(64, 64, true);

  std::vector<guchar> truncated(good.begin(), good.begin() + good.size() / 2);
  write_bytes(path("truncated.png"), truncated);
  write_bytes(path("huge.png"), with_claimed_size(good, 100000, 100000));
  write_bytes(path("wide.png"), with_claimed_size(good, 40000, 10));
  write_bytes(path("bomb.png"), with_claimed_size(good, 30000, 30000));
  // Complete and valid, but wider than any pixmap can be.
  GdkPixbuf *line = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 32768, 1);
  gdk_pixbuf_fill(line, 0);
  ASSERT_TRUE(gdk_pixbuf_save(line, path("too_wide.png").c_str(), "png", nullptr, nullptr));
  g_object_unref(line);
  write_bytes(path("empty.png"), {});
  std::vector<guchar> garbage(4096);
  for (size_t i = 0; i < garbage.size(); i++) garbage[i] = guchar(i * 2654435761u >> 13);
  write_bytes(path("garbage.png"), garbage);
  ASSERT_EQ(g_mkdir(path("directory.png").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0644), 0);

  for (const char *name : {"truncated.png", "huge.png", "wide.png", "bomb.png", "too_wide.png", "empty.png", "garbage.png",
                           "directory.png", "pipe.png", "missing.png"}) {
    EXPECT_EQ(image_new_readfile(path(name).c_str()), nullptr) << name;
  }
}

TEST_F(ReadFileTest, SizeClaimWithinTheLimitIsStillReadWhenValid) {
  // The check is on the claimed size only: a real picture 32767 wide loads.
  GdkPixbuf *pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 32767, 1);
  gdk_pixbuf_fill(pb, 0x336699ff);
  ASSERT_TRUE(gdk_pixbuf_save(pb, path("line.png").c_str(), "png", nullptr, nullptr));
  g_object_unref(pb);
  VorpixImage *image = image_new_readfile(path("line.png").c_str());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image_width(image), 32767);
  EXPECT_EQ(pixel_at(image, 32766, 0), (Rgba{0x33, 0x66, 0x99, 255}));
  image_free(image);
}

}  // namespace
