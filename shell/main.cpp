#include <glade/glade.h>
#include <gtk/gtk.h>

#include "document/canvas.h"
#include "document/decoder.h"
#include "shell/translation.h"
#include "shell/util.h"
#include "shell/window.h"

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  // Loads its loaders while the window is built.
  decoder_prepare();
  translation_init();
  glade_init();
  if (!vorpix_glade_file()) {
    vorpix_report_missing_glade_file();
    return 1;
  }
  canvas_init_arg(argc, argv);
  create_window();
  gtk_main();
  return 0;
}
