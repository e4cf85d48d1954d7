// Named-widget lookup within a main window, the interface description's
// location, reading numbers typed into entries, and the pixmap search helpers
// offered to the description.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// The widget of that name in the same window as widget, or null.  "drawing_area"
// is found through the "scroll_frame" custom widget.
GtkWidget *lookup_widget(GtkWidget *widget, const gchar *widget_name);

// Where the interface description is looked for, in order: $VORPIX_GLADE_FILE
// when set and not empty, ../share/vorpix/glade/vorpix.glade from the folder
// of the running executable (so that any installation prefix works), and the
// fixed installed path.
std::vector<std::string> vorpix_glade_places();
// The first of those places holding a readable file, or null when none does.
// The text stays valid until the next call.
const char *vorpix_glade_file();
// Tells on standard error that no interface description could be read, with
// every place tried.
void vorpix_report_missing_glade_file();

// The decimal integer at the start of text, read as "%d" reads it (leading
// white space and a sign allowed, reading stops at the first non-digit); 0
// when there is none.  Values beyond int saturate instead of wrapping.  text
// must not be null.
int read_int(const char *text);

void add_pixmap_directory(const gchar *directory);
GtkWidget *create_pixmap(GtkWidget *widget, const gchar *filename);
GdkPixbuf *create_pixbuf(const gchar *filename);
void glade_set_atk_action_description(AtkAction *action, const gchar *action_name,
                                      const gchar *description);
