#include <glade/glade.h>
#include <gtk/gtk.h>

#include "document/canvas.h"
#include "shell/translation.h"
#include "shell/window.h"

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  translation_init();
  glade_init();
  canvas_init_arg(argc, argv);
  create_window();
  gtk_main();
  return 0;
}
