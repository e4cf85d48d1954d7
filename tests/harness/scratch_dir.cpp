#include "tests/harness/scratch_dir.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vorpix_test {

TempDir::TempDir() {
  GError *error = nullptr;
  gchar *made = g_dir_make_tmp("vorpix-test-XXXXXX", &error);
  if (!made) {
    ADD_FAILURE() << "cannot make a temporary directory: " << error->message;
    g_error_free(error);
    return;
  }
  char *resolved = realpath(made, nullptr);
  path_ = resolved ? resolved : made;
  free(resolved);
  g_free(made);
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  EXPECT_FALSE(error) << "cannot remove " << path_ << ": " << error.message();
}

ScratchDir::ScratchDir() : old_cwd_(g_get_current_dir()) {
  EXPECT_EQ(chdir(path().c_str()), 0);
}

ScratchDir::~ScratchDir() {
  EXPECT_EQ(chdir(old_cwd_), 0);
  g_free(old_cwd_);
}

void write_png(const std::string &path, int width, int height, guint32 rgb) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, rgb << 8 | 0xff);
  const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  ASSERT_TRUE(saved) << path;
}

std::string file_contents(const std::string &path, bool *ok) {
  gchar *contents = nullptr;
  gsize length = 0;
  const bool read = g_file_get_contents(path.c_str(), &contents, &length, nullptr);
  if (ok) *ok = read;
  std::string result(read ? contents : "", read ? length : 0);
  g_free(contents);
  return result;
}

}  // namespace vorpix_test
