#include "shell/recent_menu.h"

#include "shell/menu.h"
#include "shell/util.h"

void recent_menu_attach(GtkWidget *window) {
  GtkWidget *item = lookup_widget(window, "open_recent_menu");
  g_assert(item);
  GtkWidget *menu = gtk_recent_chooser_menu_new_for_manager(gtk_recent_manager_get_default());
  GtkRecentChooser *chooser = GTK_RECENT_CHOOSER(menu);
  gtk_recent_chooser_set_limit(chooser, kRecentMenuLimit);
  gtk_recent_chooser_set_sort_type(chooser, GTK_RECENT_SORT_MRU);
  gtk_recent_chooser_set_local_only(chooser, TRUE);
  // A file deleted or moved since is not offered.
  gtk_recent_chooser_set_show_not_found(chooser, FALSE);
  gtk_recent_chooser_set_show_tips(chooser, TRUE);
  GtkRecentFilter *filter = gtk_recent_filter_new();
  gtk_recent_filter_add_pixbuf_formats(filter);
  gtk_recent_chooser_set_filter(chooser, filter);
  g_signal_connect(menu, "item-activated", G_CALLBACK(on_open_recent_menu_item_activated),
                   nullptr);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
}

void on_open_recent_menu_item_activated(GtkRecentChooser *chooser, gpointer) {
  gchar *uri = gtk_recent_chooser_get_current_uri(chooser);
  // Only local files are listed; anything else names no file to open.
  gchar *filename = uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr;
  if (filename) menu_open_path(GTK_WIDGET(chooser), filename);
  g_free(filename);
  g_free(uri);
}
