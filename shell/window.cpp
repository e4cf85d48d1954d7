#include "shell/window.h"

#include <glade/glade.h>
#include <glib/gi18n.h>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/size_dialogs.h"
#include "document/work.h"
#include "shell/drop.h"
#include "shell/recent_menu.h"
#include "shell/translation.h"
#include "shell/util.h"
#include "tools/text.h"
#include "tools/tool_palette.h"

namespace {

constexpr int kDefaultWidth = 740;
constexpr int kDefaultHeight = 680;

constexpr char kIconName[] = "vorpix";
// The scalable icon is rendered at this size for window managers that show
// large icons (task switchers); the 48 by 48 one covers the small sizes.
constexpr int kScalableIconSize = 128;

// Where the icon files lie relative to the interface description's folder:
// installed, the description is in <datadir>/vorpix/glade and the icon in the
// hicolor theme under <datadir>/icons; in the source tree both are under
// shell/.  The first place holding a loadable icon wins.
struct IconPlace {
  const char *bitmap;
  const char *scalable;
};
constexpr IconPlace kIconPlaces[] = {
    {"../../icons/hicolor/48x48/apps/vorpix.png", "../../icons/hicolor/scalable/apps/vorpix.svg"},
    {"../desktop/vorpix.png", "../desktop/vorpix.svg"},
};

// Open main windows, newest first; the list holds a reference to each.
GList *open_windows = nullptr;

// Loads the whole interface description, its texts translated through the
// program's catalogues, connects its handlers and returns the toplevel asked
// for, which owns the description from then on.  The other toplevel of the
// load is never used and is destroyed at once.
GtkWidget *load_toplevel(const char *name, const char *unused) {
  const char *file = vorpix_glade_file();
  g_assert(file);
  GladeXML *glade_xml = glade_xml_new(file, nullptr, kTextDomain);
  g_assert(glade_xml);
  glade_xml_signal_autoconnect(glade_xml);
  GtkWidget *toplevel = glade_xml_get_widget(glade_xml, name);
  g_assert(toplevel);
  g_object_set_data_full(G_OBJECT(toplevel), "GLADE_XML", glade_xml, g_object_unref);
  if (GtkWidget *other = glade_xml_get_widget(glade_xml, unused)) gtk_widget_destroy(other);
  return toplevel;
}

// The canvas of a listed window; null once the window is being destroyed,
// when focus changes still arrive while its widgets go away.
VorpixCanvas *live_canvas(GtkWidget *window) {
  if (!g_list_find(open_windows, gtk_widget_get_toplevel(window))) return nullptr;
  return canvas_lookup(window);
}

// An icon file loaded at its own size (size < 0) or scaled to size; null when
// it is missing or unreadable (an SVG needs a loader that may not be there).
GdkPixbuf *load_icon(const char *folder, const char *relative, int size) {
  gchar *path = g_build_filename(folder, relative, nullptr);
  GdkPixbuf *icon = size < 0 ? gdk_pixbuf_new_from_file(path, nullptr)
                             : gdk_pixbuf_new_from_file_at_size(path, size, size, nullptr);
  g_free(path);
  return icon;
}

// Gives a main window the application icon: by name when the icon theme has
// it (vorpix is installed where the theme looks), otherwise from the files
// that belong with the interface description being loaded.  Finding none
// leaves the toolkit's default icon; it is never an error.
void set_window_icon(GtkWindow *window) {
  if (gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), kIconName)) {
    gtk_window_set_icon_name(window, kIconName);
    return;
  }
  const char *file = vorpix_glade_file();
  if (!file) return;
  gchar *folder = g_path_get_dirname(file);
  GList *icons = nullptr;
  for (const IconPlace &place : kIconPlaces) {
    if (GdkPixbuf *icon = load_icon(folder, place.bitmap, -1)) icons = g_list_append(icons, icon);
    if (GdkPixbuf *icon = load_icon(folder, place.scalable, kScalableIconSize))
      icons = g_list_append(icons, icon);
    if (icons) break;
  }
  g_free(folder);
  // The window takes its own references.
  if (icons) gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
}

void process_pending_events() {
  while (gtk_events_pending()) gtk_main_iteration();
}

bool confirm_quit(GtkWidget *widget) {
  GtkWindow *parent = GTK_WINDOW(canvas_lookup(widget)->toplevel);
  GtkWidget *dialog =
      gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE,
                             _("You have more than one window open.\nDo you really want to quit?"));
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_NO, GTK_RESPONSE_NO, GTK_STOCK_YES,
                         GTK_RESPONSE_YES, nullptr);
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  process_pending_events();
  return response == GTK_RESPONSE_YES;
}

// Commits the pending edit and asks to save; true when the window may close.
bool may_close(GtkWidget *window) {
  // A file half written is neither saved nor given up: the save ends first.
  if (work_refuses_close(window)) return false;
  VorpixCanvas *canvas = canvas_lookup(window);
  canvas_commit_change(canvas);
  return drawing_prompt_to_save(canvas->drawing) == 0;
}

}  // namespace

GtkWidget *create_window() {
  GtkWidget *window = load_toplevel("main_window", "new_canvas_window");
  gtk_window_set_default_size(GTK_WINDOW(window), kDefaultWidth, kDefaultHeight);
  set_window_icon(GTK_WINDOW(window));
  recent_menu_attach(window);
  drop_attach(window);
  gtk_widget_show_all(window);
  tool_palette_set_active_button(window, "pen_button");
  // Show the pen's button pressed too; its click handler now only keeps it so.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(lookup_widget(window, "pen_button")), TRUE);
  GtkWidget *fontpicker = lookup_widget(window, "fontpicker");
  text_set_fontpicker(tool_palette_get_tool(window, "text"), fontpicker);
  // The button shows the font the text tool starts with: the drawing area's.
  gchar *font = pango_font_description_to_string(canvas_lookup(window)->drawing_area->style->font_desc);
  gtk_font_button_set_font_name(GTK_FONT_BUTTON(fontpicker), font);
  g_free(font);
  return window;
}

GtkWidget *create_new_canvas_window() { return load_toplevel("new_canvas_window", "main_window"); }

GList *window_list() { return open_windows; }

void on_create_new_window(GtkWidget *item, gpointer) {
  // Asked first: a window's canvas cannot be made without its picture.
  VorpixCanvas *canvas = canvas_lookup(item);
  if (!canvas_blank_fits(canvas)) {
    size_dialog_show_no_memory(GTK_WINDOW(canvas->toplevel), _("make a new picture"));
    return;
  }
  create_window();
}

void on_mainwindow_realize(GtkWidget *window, gpointer) {
  g_object_ref(window);
  open_windows = g_list_prepend(open_windows, window);
}

gboolean on_mainwindow_delete_event(GtkWidget *window, GdkEvent *, gpointer) {
  return may_close(window) ? FALSE : TRUE;
}

void on_mainwindow_destroy(GtkWidget *window, gpointer) {
  // Windows that were never shown (the unused half of a load) are not listed.
  if (!g_list_find(open_windows, window)) return;
  open_windows = g_list_remove(open_windows, window);
  g_object_unref(window);
  if (!open_windows && gtk_main_level() > 0) gtk_main_quit();
}

gboolean on_mainwindow_focus_in_event(GtkWidget *window, GdkEventFocus *, gpointer) {
  VorpixCanvas *canvas = live_canvas(window);
  if (!canvas) return FALSE;
  canvas_focus_gained(canvas);
  gtk_widget_grab_focus(canvas->drawing_area);
  gtk_widget_grab_default(canvas->drawing_area);
  return FALSE;
}

gboolean on_mainwindow_focus_out_event(GtkWidget *window, GdkEventFocus *, gpointer) {
  if (VorpixCanvas *canvas = live_canvas(window)) canvas_focus_lost(canvas);
  return FALSE;
}

void on_mainwindow_set_focus_child(GtkContainer *container, GtkWidget *child, gpointer) {
  VorpixCanvas *canvas = live_canvas(GTK_WIDGET(container));
  if (canvas && child != canvas->drawing_area) canvas_focus_lost(canvas);
}

void on_mainwindow_set_focus(GtkWindow *window, GtkWidget *widget, gpointer) {
  VorpixCanvas *canvas = live_canvas(GTK_WIDGET(window));
  if (canvas && widget != canvas->drawing_area) canvas_focus_lost(canvas);
}

// Ctrl+A, Ctrl+C, Ctrl+X and Ctrl+V select, copy, cut and paste the text of
// the entry the user types in, not the picture.  Keys the entry does not
// know (Ctrl+S, say) go on to the accelerators.
gboolean on_mainwindow_key_press_event(GtkWidget *window, GdkEventKey *event, gpointer) {
  if (!GTK_IS_EDITABLE(gtk_window_get_focus(GTK_WINDOW(window)))) return FALSE;
  return gtk_window_propagate_key_event(GTK_WINDOW(window), event);
}

void on_close_window_activate(GtkWidget *widget, gpointer) {
  GtkWidget *window = canvas_lookup(widget)->toplevel;
  if (may_close(window)) gtk_widget_destroy(window);
}

void on_quit_menu_activate(GtkWidget *widget, gpointer) {
  GList *windows = g_list_copy(open_windows);
  // Hold the windows: a prompt's nested loop may destroy some of them.
  for (GList *node = windows; node; node = node->next) g_object_ref(node->data);

  if (g_list_length(windows) < 2 || confirm_quit(widget)) {
    for (GList *node = windows; node; node = node->next) {
      g_assert(node->data);
      GtkWidget *window = GTK_WIDGET(node->data);
      if (!g_list_find(open_windows, window)) continue;
      if (may_close(window)) gtk_widget_destroy(window);
    }
  }
  g_list_free_full(windows, g_object_unref);
}
