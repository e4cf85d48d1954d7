// The pixmap search helpers offered to the interface description.
#include <gtest/gtest.h>

#include <string>

#include "shell/util.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::LogCapture;

namespace {

class PixmapSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    vorpix_test::write_png(dir_.file("icon.png"), 7, 3, 0x336699);
    ASSERT_TRUE(g_file_set_contents(dir_.file("broken.png").c_str(), "no picture", -1, nullptr));
    add_pixmap_directory(dir_.path().c_str());
  }
  vorpix_test::TempDir dir_;
};

TEST_F(PixmapSearchTest, CreatePixmapLoadsFromTheListedDirectories) {
  GtkWidget *image = create_pixmap(nullptr, "icon.png");
  ASSERT_TRUE(GTK_IS_IMAGE(image));
  GdkPixbuf *pixbuf = gtk_image_get_pixbuf(GTK_IMAGE(image));
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 7);
  g_object_ref_sink(image);
  g_object_unref(image);
}

TEST_F(PixmapSearchTest, MissingOrEmptyNamesGiveAnEmptyImage) {
  GtkWidget *empty = create_pixmap(nullptr, "");
  ASSERT_TRUE(GTK_IS_IMAGE(empty));
  EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(empty)), GTK_IMAGE_EMPTY);
  g_object_ref_sink(empty);
  g_object_unref(empty);

  LogCapture log;
  GtkWidget *missing = create_pixmap(nullptr, "absent.png");
  ASSERT_TRUE(GTK_IS_IMAGE(missing));
  EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(missing)), GTK_IMAGE_EMPTY);
  EXPECT_TRUE(log.contains("Couldn't find pixmap file: absent.png"));
  g_object_ref_sink(missing);
  g_object_unref(missing);
}

TEST_F(PixmapSearchTest, CreatePixbufFindsLoadsOrSaysWhy) {
  GdkPixbuf *pixbuf = create_pixbuf("icon.png");
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 3);
  g_object_unref(pixbuf);

  EXPECT_EQ(create_pixbuf(nullptr), nullptr);
  EXPECT_EQ(create_pixbuf(""), nullptr);

  LogCapture log;
  EXPECT_EQ(create_pixbuf("absent.png"), nullptr);
  EXPECT_TRUE(log.contains("Couldn't find pixmap file: absent.png"));

  testing::internal::CaptureStderr();
  EXPECT_EQ(create_pixbuf("broken.png"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Failed to load pixbuf file: " + dir_.file("broken.png") + ": "), std::string::npos)
      << err;
}

TEST(GladeFileTest, FirstReadablePlaceWinsAndNoneGivesNull) {
  const char *saved = g_getenv("VORPIX_GLADE_FILE");
  std::string keep = saved ? saved : "";
  gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
  ASSERT_NE(exe, nullptr);
  gchar *folder = g_path_get_dirname(exe);
  const std::string beside = std::string(folder) + "/../share/vorpix/glade/vorpix.glade";
  g_free(folder);
  g_free(exe);
  const std::string fixed = "/usr/local/share/vorpix/glade/vorpix.glade";
  const bool installed = g_file_test(fixed.c_str(), G_FILE_TEST_IS_REGULAR);

  g_setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, TRUE);
  EXPECT_EQ(vorpix_glade_places(), (std::vector<std::string>{VORPIX_SOURCE_GLADE, beside, fixed}));
  EXPECT_STREQ(vorpix_glade_file(), VORPIX_SOURCE_GLADE);
  // A name that cannot be read, and a folder, are passed over.
  for (const char *unreadable : {"/somewhere/else.glade", "/tmp"}) {
    g_setenv("VORPIX_GLADE_FILE", unreadable, TRUE);
    EXPECT_EQ(vorpix_glade_places().front(), unreadable);
    if (!installed) {
      EXPECT_EQ(vorpix_glade_file(), nullptr) << unreadable;
    }
  }
  // Empty or unset: only the places of the installation.
  g_setenv("VORPIX_GLADE_FILE", "", TRUE);
  EXPECT_EQ(vorpix_glade_places(), (std::vector<std::string>{beside, fixed}));
  g_unsetenv("VORPIX_GLADE_FILE");
  EXPECT_EQ(vorpix_glade_places(), (std::vector<std::string>{beside, fixed}));
  if (!installed) {
    testing::internal::CaptureStderr();
    vorpix_report_missing_glade_file();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vorpix: cannot read the interface description (tried: " + beside + ", " + fixed +
                  ")\n");
  }
  if (saved) g_setenv("VORPIX_GLADE_FILE", keep.c_str(), TRUE);
}

}  // namespace
