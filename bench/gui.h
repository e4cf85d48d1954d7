// The start every benchmark that opens windows shares: a private X server,
// the toolkit, and the interface description from the source tree.
#pragma once

#include <glade/glade.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "tests/harness/xvfb.h"

// False, with a word on standard error under the benchmark's name, when no
// X server could be started.
inline bool start_gui(int *argc, char ***argv, const char *name,
                      const char *screen = "1280x1024x24") {
  if (!vorpix_test::start_xvfb(screen)) {
    fprintf(stderr, "%s: cannot start Xvfb\n", name);
    return false;
  }
  setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, 0);
  gtk_init(argc, argv);
  glade_init();
  return true;
}
