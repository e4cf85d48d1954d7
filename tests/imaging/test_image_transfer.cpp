// Transfers between pixmaps and images: shared memory and the plain way give
// the same pixels; pixel memory that is handed on comes back clean.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/image.h"
#include "imaging/image_transfer.h"
#include "tests/harness/window_fixture.h"
#include "tests/imaging/image_testing.h"

namespace {

using image_testing::pixel_at;
using image_testing::Rgba;

// Every byte random, alpha included, in either layout.
VorpixImage *noise_image(int width, int height, bool alpha, unsigned seed) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
  std::mt19937 random(seed);
  for (int y = 0; y < height; y++) {
    guchar *row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    for (int i = 0; i < width * gdk_pixbuf_get_n_channels(pixbuf); i++)
      row[i] = static_cast<guchar>(random());
  }
  VorpixImage *image = g_new0(VorpixImage, 1);
  image->pixbuf = pixbuf;
  return image;
}

std::vector<Rgba> pixels_of(const VorpixImage *image) {
  std::vector<Rgba> out;
  for (int y = 0; y < image_height(image); y++)
    for (int x = 0; x < image_width(image); x++) out.push_back(pixel_at(image, x, y));
  return out;
}

struct Transferred {
  std::vector<guint32> drawn;     // the pixmap after drawing (read independently)
  std::vector<guint32> rendered;  // the pixmap after rendering with the alpha threshold
  std::vector<guint32> drawn_rgb;  // the pixmap after drawing a three-channel image
  std::vector<Rgba> read;         // the image read back from the area
};

class TransferTest : public ::testing::Test {
 protected:
  void TearDown() override { image_use_shared_memory(TRUE); }

  // Draws, renders and reads the area of a pixmap of the given size one way.
  static Transferred transfer(int width, int height, GdkRectangle area, bool shared) {
    EXPECT_EQ(image_use_shared_memory(shared), shared);
    GdkPixmap *pixmap = gdk_pixmap_new(gdk_get_default_root_window(), width, height, -1);
    GdkGC *gc = gdk_gc_new(pixmap);
    VorpixImage *rgba = noise_image(width, height, true, width * 31 + height);
    VorpixImage *rgb = noise_image(width, height, false, width * 17 + height);
    Transferred result;

    auto clear = [&] {
      GdkColor white = {0, 0xFFFF, 0xFFFF, 0xFFFF};
      gdk_gc_set_rgb_fg_color(gc, &white);
      gdk_draw_rectangle(pixmap, gc, TRUE, 0, 0, width, height);
    };
    clear();
    image_draw_region_on_pixmap(rgba, area, &pixmap, gc);
    result.drawn = vorpix_test::drawable_pixels(pixmap, width, height);
    VorpixImage *read = image_new_from_pixmap(pixmap, area);
    EXPECT_NE(read, nullptr);
    if (read) result.read = pixels_of(read);

    clear();
    image_render(rgba, pixmap, area.x, area.y, area);
    result.rendered = vorpix_test::drawable_pixels(pixmap, width, height);
    clear();
    image_draw_region_on_pixmap(rgb, area, &pixmap, gc);
    result.drawn_rgb = vorpix_test::drawable_pixels(pixmap, width, height);

    // What was drawn is what comes back, opaque.
    for (int y = 0; read && y < area.height; y++)
      for (int x = 0; x < area.width; x++) {
        Rgba want = pixel_at(rgba, area.x + x, area.y + y);
        want[3] = 255;
        EXPECT_EQ(result.read[y * area.width + x], want) << x << "," << y;
        if (::testing::Test::HasFailure()) return result;
      }
    if (read) image_free(read);
    image_free(rgb);
    image_free(rgba);
    g_object_unref(gc);
    g_object_unref(pixmap);
    return result;
  }
};

TEST_F(TransferTest, SharedMemoryAndPlainTransfersGiveTheSamePictures) {
  ASSERT_TRUE(image_use_shared_memory(TRUE)) << "Xvfb offers shared memory: it must be used";
  const struct {
    int width, height;
    GdkRectangle area;
  } cases[] = {
      {1, 1, {0, 0, 1, 1}},
      {17, 13, {0, 0, 17, 13}},
      {17, 13, {3, 2, 11, 7}},
      // Several strips of the shared segment; widths off the vector width.
      {1021, 700, {0, 0, 1021, 700}},
      {1021, 700, {5, 299, 1009, 401}},
      {4099, 5, {1, 1, 4097, 3}},
      {3, 2000, {0, 1, 3, 1998}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " area " << c.area.x
                                      << "," << c.area.y << " " << c.area.width << "x"
                                      << c.area.height);
    Transferred shared = transfer(c.width, c.height, c.area, true);
    Transferred plain = transfer(c.width, c.height, c.area, false);
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(shared.drawn == plain.drawn);
    EXPECT_TRUE(shared.rendered == plain.rendered);
    EXPECT_TRUE(shared.drawn_rgb == plain.drawn_rgb);
    EXPECT_TRUE(shared.read == plain.read);
  }
}

TEST_F(TransferTest, DesktopCaptureIsTheSameEitherWay) {
  image_use_shared_memory(TRUE);
  VorpixImage *shared = image_new_from_desktop();
  image_use_shared_memory(FALSE);
  VorpixImage *plain = image_new_from_desktop();
  ASSERT_NE(shared, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(pixels_of(shared) == pixels_of(plain));
  image_free(plain);
  image_free(shared);
}

TEST(TransferLayouts, PixelsAndRgbaConvertSampleBySample) {
  std::mt19937 random(5);
  // Counts around the vector width, so that the tails are taken too.
  for (int count = 0; count <= 19; count++) {
    std::vector<guint32> pixels(count);
    for (guint32 &p : pixels) p = random();
    for (TransferLayout layout : {TransferLayout::kOpaque, TransferLayout::kAlpha}) {
      std::vector<guchar> rgba(count * 4 + 4, 0x5A);
      image_transfer_pixels_to_rgba(pixels.data(), rgba.data(), count, layout);
      for (int i = 0; i < count; i++) {
        const guint32 p = pixels[i];
        const guchar want[4] = {guchar(p >> 16), guchar(p >> 8), guchar(p),
                                layout == TransferLayout::kOpaque ? guchar(255) : guchar(p >> 24)};
        ASSERT_EQ(memcmp(&rgba[i * 4], want, 4), 0) << "count " << count << " pixel " << i;
      }
      EXPECT_EQ(rgba[count * 4], 0x5A) << "wrote past the end";
    }
    for (int channels : {3, 4}) {
      std::vector<guchar> samples(count * channels);
      for (guchar &s : samples) s = static_cast<guchar>(random());
      std::vector<guint32> out(count + 1, 0x5A5A5A5A);
      image_transfer_rgba_to_pixels(samples.data(), channels, out.data(), count);
      for (int i = 0; i < count; i++) {
        const guchar *s = &samples[i * channels];
        const guint32 alpha = channels == 4 ? s[3] : 255;
        ASSERT_EQ(out[i], alpha << 24 | guint32(s[0]) << 16 | guint32(s[1]) << 8 | s[2])
            << "count " << count << " channels " << channels;
      }
      EXPECT_EQ(out[count], 0x5A5A5A5Au) << "wrote past the end";
    }
  }
}

TEST(ImageMemory, NewImageIsZeroWhereAFreedOneWasDirty) {
  // Large enough that its memory is handed on to the next image of its size.
  constexpr int kWidth = 2048, kHeight = 1024;
  for (int round = 0; round < 3; round++) {
    VorpixImage *dirty = image_new(kWidth, kHeight);
    ASSERT_NE(dirty, nullptr);
    memset(image_pixels(dirty), 0xAB, size_t(image_rowstride(dirty)) * kHeight);
    image_free(dirty);
    VorpixImage *clean = image_new(kWidth, kHeight);
    ASSERT_NE(clean, nullptr);
    const guchar *p = image_pixels(clean);
    const size_t bytes = size_t(image_rowstride(clean)) * kHeight;
    EXPECT_EQ(std::count(p, p + bytes, 0), static_cast<std::ptrdiff_t>(bytes)) << round;
    image_free(clean);
  }
}

TEST(ImageMemory, SizesBeyondAnyMemoryGiveNull) {
  EXPECT_EQ(image_new(1 << 29, 1 << 29), nullptr);
  EXPECT_EQ(image_new(G_MAXINT, 1), nullptr);
  EXPECT_EQ(image_new(30000, 1 << 30), nullptr);
}

}  // namespace
