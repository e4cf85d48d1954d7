// The about dialog and the about box's inline-XPM image.
#pragma once

#include <gtk/gtk.h>

extern "C" {
// "activate" of the about menu item: shows the toolkit's about dialog over the
// main window whose menu bar holds the item (one dialog per window, reused;
// owned by that window).
void on_about_menu_activate(GtkMenuItem *menuitem, gpointer user_data);

// "realize" of an image widget: user_data, when not null, is inline XPM data
// (const char **) shown in the image.  The image holds the pixmap and mask.
void on_about_dialog_pixmap_realize(GtkWidget *widget, gpointer user_data);
}
