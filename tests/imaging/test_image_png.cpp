// The PNG encoder: every layout and thread count decodes to the very pixels
// written, the file stays within 5% of the toolkit's own, and a failing
// writer fails the save with its own error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/image_parallel.h"
#include "imaging/image_png.h"
#include "tests/imaging/effect_pictures.h"

namespace {

using effect_test::Image;
using effect_test::Kind;

gboolean append(const gchar *bytes, gsize count, GError **, gpointer data) {
  auto *out = static_cast<std::vector<guchar> *>(data);
  out->insert(out->end(), bytes, bytes + count);
  return TRUE;
}

std::vector<guchar> encode(const VorpixImage *image) {
  std::vector<guchar> bytes;
  GError *error = nullptr;
  EXPECT_TRUE(image_png_save(image, append, &bytes, &error)) << (error ? error->message : "");
  g_clear_error(&error);
  return bytes;
}

GdkPixbuf *decode(const std::vector<guchar> &bytes) {
  GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  GError *error = nullptr;
  const bool ok = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &error) &&
                  gdk_pixbuf_loader_close(loader, &error);
  EXPECT_TRUE(ok) << (error ? error->message : "");
  g_clear_error(&error);
  GdkPixbuf *pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

// Empty when the decoded file holds exactly the source's samples and layout.
std::string difference(GdkPixbuf *source, GdkPixbuf *decoded) {
  if (!decoded) return "no picture decoded";
  const int channels = gdk_pixbuf_get_n_channels(source);
  if (gdk_pixbuf_get_n_channels(decoded) != channels) return "channels differ";
  const int width = gdk_pixbuf_get_width(source), height = gdk_pixbuf_get_height(source);
  if (gdk_pixbuf_get_width(decoded) != width || gdk_pixbuf_get_height(decoded) != height)
    return "size differs";
  for (int y = 0; y < height; y++) {
    const guchar *a = gdk_pixbuf_read_pixels(source) + y * gdk_pixbuf_get_rowstride(source);
    const guchar *b = gdk_pixbuf_read_pixels(decoded) + y * gdk_pixbuf_get_rowstride(decoded);
    for (int i = 0; i < width * channels; i++)
      if (a[i] != b[i]) return "row " + std::to_string(y) + " sample " + std::to_string(i);
  }
  return "";
}

// Opaque: the pictures a window holds.
Image opaque(Image image) {
  for (int y = 0; y < image_height(image.get()); y++)
    for (int x = 0; x < image_width(image.get()); x++) effect_test::pixel(image, x, y)[3] = 255;
  return image;
}

// The same samples in a three-channel buffer.
Image without_alpha(const Image &image) {
  const int width = image_width(image.get()), height = image_height(image.get());
  GdkPixbuf *rgb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      memcpy(gdk_pixbuf_get_pixels(rgb) + y * gdk_pixbuf_get_rowstride(rgb) + x * 3,
             effect_test::pixel(image, x, y), 3);
  VorpixImage *result = g_new(VorpixImage, 1);  // image_free releases it with g_free
  result->pixbuf = rgb;
  return Image(result);
}

struct RoundTrip {
  const char *name;
  int width, height;
  Kind kind;
  bool three_channels;
  int threads;
};

const RoundTrip kRoundTrips[] = {
    {"one_pixel", 1, 1, Kind::kNoise, false, 1},
    {"noise_with_alpha_one_thread", 61, 47, Kind::kNoise, false, 1},
    {"noise_with_alpha_in_bands", 301, 219, Kind::kNoise, false, 4},
    {"gradient_in_bands", 517, 300, Kind::kGradient, false, 3},
    {"few_levels_rgb_in_bands", 333, 250, Kind::kFewLevels, true, 4},
    {"gradient_rgb_one_thread", 7, 90, Kind::kGradient, true, 1},
    {"tall_narrow_in_many_bands", 40, 3000, Kind::kGradient, false, 8},
};

class PngRoundTrip : public ::testing::TestWithParam<RoundTrip> {
 protected:
  void TearDown() override {
    image_parallel_set_threads(0);
    image_parallel_set_vectors(true);
  }
};

TEST_P(PngRoundTrip, DecodesToTheSamePixelsAndLayout) {
  const RoundTrip &c = GetParam();
  Image image = effect_test::random_picture(c.width, c.height, c.kind, 7);
  if (c.three_channels) image = without_alpha(image);
  image_parallel_set_threads(c.threads);
  const std::vector<guchar> file = encode(image.get());
  GdkPixbuf *decoded = decode(file);
  EXPECT_EQ(difference(image_pixbuf(image.get()), decoded), "");
  if (decoded) g_object_unref(decoded);
  // The vector filters choose and give what the plain ones do.
  image_parallel_set_vectors(false);
  EXPECT_TRUE(encode(image.get()) == file);
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTrip> &info) {
                           return std::string(info.param.name);
                         });

struct SizeCase {
  const char *name;
  Kind kind;
  bool flat;
  const char *file = nullptr;  // in the source tree, instead of a made picture
};

const SizeCase kSizeCases[] = {
    {"photo_like", Kind::kGradient, false},
    {"few_levels", Kind::kFewLevels, false},
    {"noise", Kind::kNoise, false},
    {"flat", Kind::kGradient, true},
    {"screenshot", Kind::kGradient, false, "docs/screenshot.png"},
};

class PngSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PngSize, FileIsAtMostFivePercentLargerThanTheToolkitsDefault) {
  const SizeCase &c = GetParam();
  Image image = c.file   ? Image(image_new_readfile(
                             (std::string(VORPIX_SOURCE_DIR) + "/" + c.file).c_str()))
                 : c.flat ? effect_test::uniform(700, 500, 10, 200, 30)
                          : opaque(effect_test::random_picture(700, 500, c.kind, 42));
  ASSERT_TRUE(image);
  gchar *buffer = nullptr;
  gsize reference = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(image_pixbuf(image.get()), &buffer, &reference, "png",
                                        nullptr, nullptr));
  g_free(buffer);
  const gsize own = encode(image.get()).size();
  EXPECT_LE(own, reference + reference / 20) << own << " bytes against " << reference;
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngSize, ::testing::ValuesIn(kSizeCases),
                         [](const ::testing::TestParamInfo<SizeCase> &info) {
                           return std::string(info.param.name);
                         });

// A writer that takes `room` bytes and then fails as a full disk does.
struct FullDisk {
  gsize room;
  gsize taken = 0;
};

gboolean write_until_full(const gchar *, gsize count, GError **error, gpointer data) {
  auto *disk = static_cast<FullDisk *>(data);
  if (disk->taken + count > disk->room) {
    g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_NOSPC, "disk full");
    return FALSE;
  }
  disk->taken += count;
  return TRUE;
}

TEST(PngWriteFailure, EveryCutFailsWithTheWritersError) {
  Image image = effect_test::random_picture(200, 150, Kind::kGradient, 3);
  const gsize whole = encode(image.get()).size();
  for (gsize room : {gsize{0}, gsize{8}, gsize{40}, whole / 2, whole - 1}) {
    FullDisk disk{room};
    GError *error = nullptr;
    EXPECT_FALSE(image_png_save(image.get(), write_until_full, &disk, &error)) << room;
    ASSERT_NE(error, nullptr) << room;
    EXPECT_EQ(error->code, G_FILE_ERROR_NOSPC) << room;
    g_error_free(error);
  }
  FullDisk enough{whole};
  GError *error = nullptr;
  EXPECT_TRUE(image_png_save(image.get(), write_until_full, &enough, &error));
  EXPECT_EQ(enough.taken, whole);
}

}  // namespace
