// main() of every test executable: a private Xvfb, then GTK on it, with a
// private home so that nothing the toolkit records (recently used files,
// settings) reaches the user's own, and the program's catalogues bound.
#include <glade/glade.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

#include "shell/translation.h"
#include "tests/harness/xvfb.h"

namespace {

std::string private_home() {
  gchar *home = g_dir_make_tmp("vorpix-test-home-XXXXXX", nullptr);
  std::string path = home ? home : "";
  g_free(home);
  if (path.empty()) return path;
  setenv("HOME", path.c_str(), 1);
  setenv("XDG_DATA_HOME", (path + "/.local/share").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (path + "/.config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (path + "/.cache").c_str(), 1);
  g_mkdir_with_parents((path + "/.local/share").c_str(), 0700);
  return path;
}

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!vorpix_test::start_xvfb()) return 1;
  const std::string home = private_home();
  setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, 0);
  // The tests read the program's English texts whatever the user's language;
  // a test of a translation asks for its language itself.
  setenv("LANGUAGE", "en", 1);
  gtk_init(&argc, &argv);
  glade_init();
  translation_init();
  int result = RUN_ALL_TESTS();
  vorpix_test::stop_xvfb();
  if (!home.empty()) {
    gchar *argv[] = {const_cast<gchar *>("rm"), const_cast<gchar *>("-rf"),
                     const_cast<gchar *>(home.c_str()), nullptr};
    g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr);
  }
  return result;
}
