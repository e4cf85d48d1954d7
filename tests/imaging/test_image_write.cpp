// Writing image files: the format from the name, and saves that never damage
// the file they replace.
#include <gtest/gtest.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "tests/harness/scratch_dir.h"
#include "tests/imaging/image_testing.h"

namespace {

using namespace image_testing;
using vorpix_test::TempDir;

// A smooth picture with fine detail, as a photograph would have.
VorpixImage *photo_like(int width, int height) {
  VorpixImage *image = image_new(width, height);
  for (int y = 0; y < height; y++) {
    guchar *p = image_pixels(image) + y * image_rowstride(image);
    for (int x = 0; x < width; x++, p += 4) {
      int texture = (x * 37 + y * 91) % 17 * 3;  // fine grain in brightness
      p[0] = guchar(100 + 80 * std::sin(x * 0.11) * std::cos(y * 0.07) + texture);
      p[1] = guchar(x * 200 / width + texture);
      p[2] = guchar(60 + y + texture);
      p[3] = 255;
    }
  }
  return image;
}

std::vector<guchar> read_all(const std::string &file) {
  gchar *contents = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(file.c_str(), &contents, &size, nullptr)) return {};
  std::vector<guchar> bytes(contents, contents + size);
  g_free(contents);
  return bytes;
}

bool is_png(const std::vector<guchar> &b) {
  static const guchar kMagic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  return b.size() > 8 && std::equal(kMagic, kMagic + 8, b.begin());
}

bool is_jpeg(const std::vector<guchar> &b) {
  return b.size() > 3 && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff;
}

// The quantization tables of a baseline JPEG.  At quality 100 the encoder
// divides every coefficient by 1: each table is all ones.
std::vector<std::vector<int>> jpeg_quant_tables(const std::vector<guchar> &b) {
  std::vector<std::vector<int>> tables;
  size_t i = 2;
  while (i + 4 <= b.size() && b[i] == 0xff) {
    int marker = b[i + 1];
    size_t length = size_t(b[i + 2]) << 8 | b[i + 3];
    if (marker == 0xda) break;  // start of scan: no more tables
    if (marker == 0xdb) {
      size_t j = i + 4;
      while (j < i + 2 + length) {
        bool wide = (b[j] >> 4) != 0;
        j++;
        std::vector<int> table;
        for (int k = 0; k < 64; k++) {
          table.push_back(wide ? (b[j] << 8 | b[j + 1]) : b[j]);
          j += wide ? 2 : 1;
        }
        tables.push_back(table);
      }
    }
    i += 2 + length;
  }
  return tables;
}

class WriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    image_ = photo_like(96, 64);
  }
  void TearDown() override { image_free(image_); }
  std::string path(const std::string &name) const { return dir_.file(name); }

  // Every entry of a directory of the test, hidden ones included.
  std::set<std::string> entries(const std::string &sub = "") const {
    std::set<std::string> names;
    GDir *dir = g_dir_open((sub.empty() ? dir_.path() : path(sub)).c_str(), 0, nullptr);
    if (!dir) return names;
    while (const char *name = g_dir_read_name(dir)) names.insert(name);
    g_dir_close(dir);
    return names;
  }

  bool write(const std::string &file, GError **error) {
    return image_write(image_, file.c_str(), error);
  }

  void write_ok(const std::string &file) {
    GError *error = nullptr;
    EXPECT_TRUE(write(file, &error)) << file << ": " << (error ? error->message : "");
    if (error) g_error_free(error);
  }

  TempDir dir_;
  VorpixImage *image_ = nullptr;
};

TEST_F(WriteTest, PngRoundTripKeepsEveryPixel) {
  write_ok(path("picture.png"));
  VorpixImage *back = image_new_readfile(path("picture.png").c_str());
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(image_width(back), 96);
  ASSERT_EQ(image_height(back), 64);
  ASSERT_EQ(image_pixelsize(back), 4);
  for (int y = 0; y < 64; y++)
    ASSERT_EQ(memcmp(image_pixels(back) + y * image_rowstride(back),
                     image_pixels(image_) + y * image_rowstride(image_), 96 * 4),
              0);
  image_free(back);
  EXPECT_EQ(entries(), std::set<std::string>{"picture.png"});
}

TEST_F(WriteTest, JpegIsWrittenAtQuality100) {
  write_ok(path("picture.jpg"));
  std::vector<guchar> bytes = read_all(path("picture.jpg"));
  ASSERT_TRUE(is_jpeg(bytes));
  auto tables = jpeg_quant_tables(bytes);
  ASSERT_FALSE(tables.empty());
  for (const auto &table : tables)
    for (int q : table) EXPECT_EQ(q, 1);

  // And near-lossless in fact: small average error against the original.
  VorpixImage *back = image_new_readfile(path("picture.jpg").c_str());
  ASSERT_NE(back, nullptr);
  double total = 0;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 96; x++)
      for (int k = 0; k < 3; k++)
        total += std::abs(image_pixels(back)[y * image_rowstride(back) + x * image_pixelsize(back) + k] -
                          image_pixels(image_)[y * image_rowstride(image_) + x * 4 + k]);
  EXPECT_LT(total / (96 * 64 * 3), 2.0);
  image_free(back);
}

TEST_F(WriteTest, UpperCaseExtensionsChooseTheirFormat) {
  write_ok(path("picture.PNG"));
  write_ok(path("picture.JPG"));
  write_ok(path("photo.JPEG"));
  write_ok(path("photo.Bmp"));
  EXPECT_TRUE(is_png(read_all(path("picture.PNG"))));
  std::vector<guchar> jpg = read_all(path("picture.JPG"));
  EXPECT_TRUE(is_jpeg(jpg));
  for (const auto &table : jpeg_quant_tables(jpg))
    for (int q : table) EXPECT_EQ(q, 1);
  EXPECT_TRUE(is_jpeg(read_all(path("photo.JPEG"))));
  std::vector<guchar> bmp = read_all(path("photo.Bmp"));
  EXPECT_TRUE(bmp.size() > 2 && bmp[0] == 'B' && bmp[1] == 'M');
}

TEST_F(WriteTest, NameWithoutDotIsPngUnderExactlyThatName) {
  write_ok(path("picture"));
  EXPECT_TRUE(is_png(read_all(path("picture"))));
  EXPECT_EQ(entries(), std::set<std::string>{"picture"});
}

TEST_F(WriteTest, DotInDirectoryNameDoesNotCount) {
  ASSERT_EQ(g_mkdir(path("my.dir").c_str(), 0755), 0);
  write_ok(path("my.dir/picture"));
  EXPECT_TRUE(is_png(read_all(path("my.dir/picture"))));
  EXPECT_EQ(entries("my.dir"), std::set<std::string>{"picture"});
}

TEST_F(WriteTest, UnsupportedExtensionFailsWithMessageAndLeavesNoFile) {
  WarningCapture warnings;
  GError *error = nullptr;
  std::string file = path("picture.xyz");
  EXPECT_FALSE(write(file, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, GDK_PIXBUF_ERROR);
  EXPECT_EQ(error->code, GDK_PIXBUF_ERROR_BAD_OPTION);
  EXPECT_STREQ(error->message, "Saving in the 'xyz' format is not supported by gdk_pixbuf");
  ASSERT_EQ(warnings.messages().size(), 1u);
  EXPECT_EQ(warnings.messages()[0],
            "Could not save image " + file +
                ": Saving in the 'xyz' format is not supported by gdk_pixbuf\n");
  g_error_free(error);
  EXPECT_TRUE(entries().empty());

  // Upper case is lowered before the check and in the message.
  error = nullptr;
  EXPECT_FALSE(write(path("picture.GIF"), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(error->message, "Saving in the 'gif' format is not supported by gdk_pixbuf");
  g_error_free(error);
  EXPECT_TRUE(entries().empty());
}

class FailedSaveTest : public WriteTest {
 protected:
  void SetUp() override {
    WriteTest::SetUp();
    old_ = {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's'};
  }
  void put_old(const std::string &file) {
    ASSERT_TRUE(g_file_set_contents(file.c_str(), reinterpret_cast<const char *>(old_.data()),
                                    gssize(old_.size()), nullptr));
  }
  // The save fails, the library's message comes back, and nothing but the old
  // file is in the directory.
  void expect_failure_keeps(const std::string &name, const char *message_part) {
    put_old(path(name));
    WarningCapture warnings;
    GError *error = nullptr;
    EXPECT_FALSE(write(path(name), &error));
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error->message).find(message_part), std::string::npos)
        << error->message;
    g_error_free(error);
    EXPECT_EQ(warnings.messages().size(), 1u);
    EXPECT_EQ(read_all(path(name)), old_);
    EXPECT_EQ(entries(), std::set<std::string>{name});
  }
  std::vector<guchar> old_;
};

TEST_F(FailedSaveTest, UnsupportedFormatKeepsOldFile) {
  expect_failure_keeps("picture.xyz", "not supported by gdk_pixbuf");
}

TEST_F(FailedSaveTest, LibraryFailureWhileSavingKeepsOldFile) {
  // tif is among TIFF's extensions but is not the library's format name, so the
  // library itself refuses once the save has begun.
  expect_failure_keeps("picture.tif", "tif");
}

TEST_F(FailedSaveTest, EncoderFailureKeepsOldFile) {
  // The icon saver refuses pictures larger than 256 pixels a side.
  image_free(image_);
  image_ = photo_like(300, 300);
  expect_failure_keeps("picture.ico", "");
}

TEST_F(FailedSaveTest, DirectoryInThePlaceOfTheFileIsLeftAlone) {
  ASSERT_EQ(g_mkdir(path("picture.png").c_str(), 0755), 0);
  put_old(path("picture.png/inside"));
  GError *error = nullptr;
  WarningCapture warnings;
  EXPECT_FALSE(write(path("picture.png"), &error));
  ASSERT_NE(error, nullptr);
  g_error_free(error);
  EXPECT_EQ(entries(), std::set<std::string>{"picture.png"});
  EXPECT_EQ(entries("picture.png"), std::set<std::string>{"inside"});
  EXPECT_EQ(read_all(path("picture.png/inside")), old_);
}

TEST_F(FailedSaveTest, MissingDirectoryFails) {
  GError *error = nullptr;
  WarningCapture warnings;
  EXPECT_FALSE(write(path("no/such/dir/picture.png"), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, G_FILE_ERROR);
  g_error_free(error);
  EXPECT_TRUE(entries().empty());
}

TEST_F(WriteTest, SuccessfulSaveReplacesOldFileAndLeavesNoTemporary) {
  ASSERT_TRUE(g_file_set_contents(path("picture.png").c_str(), "old", 3, nullptr));
  write_ok(path("picture.png"));
  EXPECT_TRUE(is_png(read_all(path("picture.png"))));
  EXPECT_EQ(entries(), std::set<std::string>{"picture.png"});
}

mode_t mode_of(const std::string &file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(WriteTest, ExistingFileKeepsItsMode) {
  ASSERT_TRUE(g_file_set_contents(path("picture.png").c_str(), "old", 3, nullptr));
  ASSERT_EQ(chmod(path("picture.png").c_str(), 0754), 0);
  write_ok(path("picture.png"));
  EXPECT_EQ(mode_of(path("picture.png")), 0754u);
}

TEST_F(WriteTest, NewFileGetsModeFromUmask) {
  mode_t saved = umask(027);
  write_ok(path("a.png"));
  umask(022);
  write_ok(path("b.png"));
  umask(saved);
  EXPECT_EQ(mode_of(path("a.png")), 0640u);
  EXPECT_EQ(mode_of(path("b.png")), 0644u);
}

TEST_F(WriteTest, SavingThroughSymbolicLinkKeepsTheLink) {
  ASSERT_EQ(g_mkdir(path("real").c_str(), 0755), 0);
  ASSERT_TRUE(g_file_set_contents(path("real/target.png").c_str(), "old", 3, nullptr));
  ASSERT_EQ(symlink("real/target.png", path("link.png").c_str()), 0);
  write_ok(path("link.png"));
  struct stat st;
  ASSERT_EQ(lstat(path("link.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_TRUE(is_png(read_all(path("real/target.png"))));
  EXPECT_EQ(entries("real"), std::set<std::string>{"target.png"});
}

TEST(WritableFormats, CollectsOnlyWritableFormatsAndMatchesExactly) {
  GSList *all = gdk_pixbuf_get_formats();
  GSList *writable = nullptr;
  g_slist_foreach(all, add_if_writable, &writable);
  ASSERT_NE(writable, nullptr);
  for (GSList *l = writable; l; l = l->next)
    EXPECT_TRUE(gdk_pixbuf_format_is_writable(static_cast<GdkPixbufFormat *>(l->data)));
  EXPECT_LT(g_slist_length(writable), g_slist_length(all));  // gif, xpm... are read-only
  EXPECT_TRUE(is_writable(writable, "png"));
  EXPECT_TRUE(is_writable(writable, "jpg"));
  EXPECT_FALSE(is_writable(writable, "PNG"));
  EXPECT_FALSE(is_writable(writable, "gif"));
  EXPECT_FALSE(is_writable(writable, "pn"));
  EXPECT_TRUE(is_writable(all, "gif"));
  EXPECT_FALSE(is_writable(nullptr, "png"));
  g_slist_free(writable);
  g_slist_free(all);
}

}  // namespace
