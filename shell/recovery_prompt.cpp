#include "shell/recovery_prompt.h"

#include <glib/gi18n.h>

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/file.h"
#include "document/recovery.h"
#include "shell/window.h"

namespace {

// "name — time" for each picture, one a line.
std::string picture_list(const std::vector<RecoveredPicture> &pictures) {
  std::string list;
  for (const RecoveredPicture &picture : pictures) {
    gchar *name = picture.filename.empty() ? g_strdup(_("Untitled"))
                                           : g_filename_display_basename(picture.filename.c_str());
    GDateTime *when = g_date_time_new_from_unix_local(picture.time);
    gchar *shown = when ? g_date_time_format(when, "%c") : nullptr;
    if (!list.empty()) list += "\n";
    list += name;
    list += " \u2014 ";
    list += shown ? shown : "";
    g_free(shown);
    if (when) g_date_time_unref(when);
    g_free(name);
  }
  return list;
}

int ask(GtkWidget *parent, const std::vector<RecoveredPicture> &pictures) {
  GtkWindow *window = parent ? GTK_WINDOW(gtk_widget_get_toplevel(parent)) : nullptr;
  GtkWidget *dialog = gtk_message_dialog_new(
      window, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s",
      _("vorpix was stopped before these pictures were saved. Restore them?"));
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                           picture_list(pictures).c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), _("_Discard"), kRecoveryDiscard, _("_Later"),
                         kRecoveryLater, _("_Restore"), kRecoveryRestore, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), kRecoveryRestore);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();
  return response;
}

// Opens the picture in a new main window; false (the window gone again, the
// user told) when it cannot be read.
bool restore(const RecoveredPicture &picture) {
  GtkWidget *window = create_window();
  VorpixCanvas *canvas = canvas_lookup(window);
  VorpixDrawing *drawing =
      drawing_new_from_file(canvas->drawing_area, canvas->gc, picture.picture.c_str());
  if (!drawing) {
    file_show_cannot_open(canvas, picture.filename.empty() ? picture.picture.c_str()
                                                           : picture.filename.c_str());
    gtk_widget_destroy(window);
    return false;
  }
  drawing_set_recovered(drawing, picture.filename.c_str());
  canvas_set_drawing(canvas, drawing);
  // Should the files not move, they stay where they are, found again later.
  recovery_adopt(picture, drawing);
  return true;
}

}  // namespace

int recovery_prompt_run(GtkWidget *parent) {
  const std::vector<RecoveredPicture> pictures = recovery_claim_left_pictures();
  if (pictures.empty()) {
    recovery_release_claims();
    return 0;
  }
  const int response = ask(parent, pictures);
  int opened = 0;
  if (response == kRecoveryRestore) {
    for (const RecoveredPicture &picture : pictures) opened += restore(picture) ? 1 : 0;
  } else if (response == kRecoveryDiscard) {
    for (const RecoveredPicture &picture : pictures) recovery_discard(picture);
  }
  recovery_release_claims();
  return opened;
}
