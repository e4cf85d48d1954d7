// File > Open Recent: the desktop's recently used pictures, newest first,
// through a GtkRecentChooserMenu filtered to the formats the image loaders
// read.  Choosing one opens it as Open does, save prompt included.
#pragma once

#include <gtk/gtk.h>

// At most this many files are listed.
constexpr int kRecentMenuLimit = 10;

// Gives the main window's "open_recent_menu" item its menu; the item owns it.
void recent_menu_attach(GtkWidget *window);

extern "C" {
void on_open_recent_menu_item_activated(GtkRecentChooser *chooser, gpointer user_data);
}
