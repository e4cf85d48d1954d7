// Drops on a main window.  Files (text/uri-list) open as Open opens them,
// save prompt included: only the first URI is taken, and one that names no
// local file gets "Cannot open file %s.".  A picture offered as image data
// (any type the clipboard reads) is pasted as a paste from the clipboard is,
// in paste mode, or refused with the clipboard's reason in the status bar.
// The drag is finished before anything else happens, so the other program
// never waits on a prompt; a drop while the window is busy with a dialog or
// with an earlier drop is refused.
#pragma once

#include <gtk/gtk.h>

// Makes the main window (the drawing area and all around it) a drop
// destination.
void drop_attach(GtkWidget *window);

extern "C" {
gboolean on_mainwindow_drag_drop(GtkWidget *window, GdkDragContext *context, gint x, gint y,
                                 guint time, gpointer user_data);
void on_mainwindow_drag_data_received(GtkWidget *window, GdkDragContext *context, gint x, gint y,
                                      GtkSelectionData *data, guint info, guint time,
                                      gpointer user_data);
}
