#include "shell/util.h"

#include <glade/glade.h>
#include <glib/gi18n.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Directories searched by create_pixmap and create_pixbuf, newest first.
GList *pixmap_directories = nullptr;

// The widget a menu is attached to counts as the menu's parent, and so does
// "GladeParentKey" for widgets without a toolkit parent.
GtkWidget *logical_parent(GtkWidget *widget) {
  GtkWidget *parent = GTK_IS_MENU(widget) ? gtk_menu_get_attach_widget(GTK_MENU(widget))
                                          : gtk_widget_get_parent(widget);
  if (!parent)
    parent = static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(widget), "GladeParentKey"));
  return parent;
}

// The first "<directory>/<filename>" that exists, newly allocated, or null.
gchar *find_pixmap_file(const gchar *filename) {
  for (GList *elem = pixmap_directories; elem; elem = elem->next) {
    gchar *pathname = g_strdup_printf("%s%s%s", static_cast<const gchar *>(elem->data),
                                      G_DIR_SEPARATOR_S, filename);
    if (g_file_test(pathname, G_FILE_TEST_EXISTS)) return pathname;
    g_free(pathname);
  }
  return nullptr;
}

}  // namespace

GtkWidget *lookup_widget(GtkWidget *widget, const gchar *widget_name) {
  for (GtkWidget *parent = logical_parent(widget); parent; parent = logical_parent(widget))
    widget = parent;

  GladeXML *xml = static_cast<GladeXML *>(g_object_get_data(G_OBJECT(widget), "GLADE_XML"));
  if (!xml) {
    g_warning("XML object not found: %s", widget_name);
    return nullptr;
  }
  if (strcmp(widget_name, "drawing_area") != 0) return glade_xml_get_widget(xml, widget_name);

  GtkWidget *scrolledwindow = glade_xml_get_widget(xml, "scroll_frame");
  g_assert(scrolledwindow);
  return static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(scrolledwindow), "drawing_area"));
}

std::vector<std::string> vorpix_glade_places() {
  std::vector<std::string> places;
  const char *path = g_getenv("VORPIX_GLADE_FILE");
  if (path && *path) places.push_back(path);
  if (gchar *exe = g_file_read_link("/proc/self/exe", nullptr)) {
    gchar *folder = g_path_get_dirname(exe);
    gchar *beside = g_build_filename(folder, "..", "share", "vorpix", "glade", "vorpix.glade",
                                     nullptr);
    places.push_back(beside);
    g_free(beside);
    g_free(folder);
    g_free(exe);
  }
  places.push_back(VORPIX_GLADE_INSTALLED);
  return places;
}

const char *vorpix_glade_file() {
  static std::string found;
  for (const std::string &place : vorpix_glade_places()) {
    if (g_file_test(place.c_str(), G_FILE_TEST_IS_REGULAR) && g_access(place.c_str(), R_OK) == 0) {
      found = place;
      return found.c_str();
    }
  }
  return nullptr;
}

void vorpix_report_missing_glade_file() {
  std::string tried;
  for (const std::string &place : vorpix_glade_places())
    tried += (tried.empty() ? "" : ", ") + place;
  g_printerr(_("vorpix: cannot read the interface description (tried: %s)\n"), tried.c_str());
}

int read_int(const char *text) {
  g_return_val_if_fail(text != nullptr, 0);
  char *end = nullptr;
  long value = strtol(text, &end, 10);
  if (end == text) return 0;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void add_pixmap_directory(const gchar *directory) {
  pixmap_directories = g_list_prepend(pixmap_directories, g_strdup(directory));
}

GtkWidget *create_pixmap(GtkWidget * /*widget*/, const gchar *filename) {
  if (!filename || !filename[0]) return gtk_image_new();

  gchar *pathname = find_pixmap_file(filename);
  if (!pathname) {
    g_warning("Couldn't find pixmap file: %s", filename);
    return gtk_image_new();
  }
  GtkWidget *pixmap = gtk_image_new_from_file(pathname);
  g_free(pathname);
  return pixmap;
}

GdkPixbuf *create_pixbuf(const gchar *filename) {
  if (!filename || !filename[0]) return nullptr;

  gchar *pathname = find_pixmap_file(filename);
  if (!pathname) {
    g_warning("Couldn't find pixmap file: %s", filename);
    return nullptr;
  }
  GError *error = nullptr;
  GdkPixbuf *pixbuf = gdk_pixbuf_new_from_file(pathname, &error);
  if (!pixbuf) {
    fprintf(stderr, "Failed to load pixbuf file: %s: %s\n", pathname, error->message);
    g_error_free(error);
  }
  g_free(pathname);
  return pixbuf;
}

void glade_set_atk_action_description(AtkAction *action, const gchar *action_name,
                                      const gchar *description) {
  gint n_actions = atk_action_get_n_actions(action);
  for (gint i = 0; i < n_actions; i++) {
    const gchar *name = atk_action_get_name(action, i);
    if (name && !strcmp(name, action_name))
      atk_action_set_description(action, i, description);
  }
}
