// Handlers of the View menu of a main window: the zoom levels and the pixel
// grid of the window's view.
#pragma once

#include <gtk/gtk.h>

extern "C" {
// The next and the previous zoom level, keeping the centre of the view.
void on_zoom_in_menu_activate(GtkWidget *widget, gpointer user_data);
void on_zoom_out_menu_activate(GtkWidget *widget, gpointer user_data);
// 100%.
void on_normal_size_menu_activate(GtkWidget *widget, gpointer user_data);
// The largest level at which the whole picture fits the window.
void on_best_fit_menu_activate(GtkWidget *widget, gpointer user_data);
// A check item: the grid shows at 400% and above while it is active.
void on_show_grid_menu_toggled(GtkCheckMenuItem *item, gpointer user_data);
}
