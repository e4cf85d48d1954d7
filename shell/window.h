// Main windows: building them from the interface description, the list of
// open windows, focus tracking, close and quit.
#pragma once

#include <gtk/gtk.h>

// Builds and shows one main window; the pen is its current tool.
GtkWidget *create_window();
// Loads the description and returns its hidden "new_canvas_window".
GtkWidget *create_new_canvas_window();
// The open main windows, newest first (borrowed).
GList *window_list();

extern "C" {
void on_create_new_window(GtkWidget *widget, gpointer user_data);
void on_mainwindow_realize(GtkWidget *window, gpointer user_data);
gboolean on_mainwindow_delete_event(GtkWidget *window, GdkEvent *event, gpointer user_data);
void on_mainwindow_destroy(GtkWidget *window, gpointer user_data);
gboolean on_mainwindow_focus_in_event(GtkWidget *window, GdkEventFocus *event, gpointer user_data);
gboolean on_mainwindow_focus_out_event(GtkWidget *window, GdkEventFocus *event, gpointer user_data);
void on_mainwindow_set_focus_child(GtkContainer *container, GtkWidget *child, gpointer user_data);
void on_mainwindow_set_focus(GtkWindow *window, GtkWidget *widget, gpointer user_data);
// A text entry with the focus takes the keys it edits with before the
// window's accelerators do.
gboolean on_mainwindow_key_press_event(GtkWidget *window, GdkEventKey *event, gpointer user_data);
void on_close_window_activate(GtkWidget *widget, gpointer user_data);
void on_quit_menu_activate(GtkWidget *widget, gpointer user_data);
}
