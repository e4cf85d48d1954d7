#include <glade/glade.h>
#include <gtk/gtk.h>

#include "document/canvas.h"
#include "document/decoder.h"
#include "document/recovery.h"
#include "shell/recovery_prompt.h"
#include "shell/translation.h"
#include "shell/util.h"
#include "shell/window.h"
#include "shell/x_errors.h"

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  x_errors_init();
  // Loads its loaders while the window is built.
  decoder_prepare();
  translation_init();
  glade_init();
  if (!vorpix_glade_file()) {
    vorpix_report_missing_glade_file();
    return 1;
  }
  canvas_init_arg(argc, argv);
  // Without a folder to write in the program runs on, only without autosave.
  const bool autosave = recovery_start(nullptr, 0);
  GtkWidget *window = create_window();
  if (autosave) recovery_prompt_run(window);
  gtk_main();
  recovery_stop();
  return 0;
}
