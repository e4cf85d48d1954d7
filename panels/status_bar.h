// The status bar at the bottom of every main window.  From the right: the
// zoom level ("400%"), the size of the selection while there is one, the
// picture's size ("W × H") and the picture pixel under the pointer ("x, y").
// On the left, hidden while unused: a message slot and a progress bar with
// the name of the command that is running.
//
// Every function takes the bar (status_bar_lookup finds it) and ignores a
// null one, so callers need not care whether a window has a bar.
#pragma once

#include <gtk/gtk.h>

enum StatusField {
  STATUS_POSITION = 0,
  STATUS_PICTURE_SIZE,
  STATUS_SELECTION_SIZE,
  STATUS_ZOOM,
  STATUS_MESSAGE,
  STATUS_PROGRESS,  // the command's name shown beside the progress bar
  STATUS_FIELD_COUNT,
};

// The status bar of the main window that holds widget, or null.
GtkWidget *status_bar_lookup(GtkWidget *widget);

// The pixel under the pointer; over_picture 0 blanks the field.
void status_bar_set_position(GtkWidget *bar, gboolean over_picture, int x, int y);
void status_bar_set_picture_size(GtkWidget *bar, int width, int height);
// shown 0 hides the field.
void status_bar_set_selection_size(GtkWidget *bar, gboolean shown, int width, int height);
void status_bar_set_zoom(GtkWidget *bar, double percent);

// A line for the user ("Waiting for the clipboard…"); null or "" hides the
// slot.  The text is copied; pass it translated.
void status_bar_set_message(GtkWidget *bar, const char *text);

// A command running in the background: shows its name (translated, copied)
// and an empty progress bar until status_bar_end_progress.
void status_bar_begin_progress(GtkWidget *bar, const char *command);
// fraction from 0 to 1; a negative one makes the bar pulse (progress unknown).
void status_bar_set_progress(GtkWidget *bar, double fraction);
void status_bar_end_progress(GtkWidget *bar);
// The fraction shown, or -1 while no progress is shown.
double status_bar_progress(GtkWidget *bar);

// The text a field shows; "" for a hidden or blank field.  Owned by the bar.
const char *status_bar_text(GtkWidget *bar, StatusField field);

extern "C" {
// libglade custom-widget function for "status_bar"; arguments are ignored.
GtkWidget *create_status_bar(gchar *widget_name, gchar *string1, gchar *string2, gint int1,
                             gint int2);
}
