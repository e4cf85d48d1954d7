// main() of every test executable: a private Xvfb, then GTK on it.
#include <glade/glade.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "tests/harness/xvfb.h"

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!vorpix_test::start_xvfb()) return 1;
  setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, 0);
  gtk_init(&argc, &argv);
  glade_init();
  int result = RUN_ALL_TESTS();
  vorpix_test::stop_xvfb();
  return result;
}
