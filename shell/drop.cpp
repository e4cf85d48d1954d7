#include "shell/drop.h"

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/file.h"
#include "document/work.h"
#include "shell/menu.h"
#include "shell/window.h"

namespace {

enum DropInfo : guint { kDropUris, kDropImage };

// Set on a window from the drop until what it asked for is done.
constexpr char kPendingKey[] = "vorpix-drop-pending";

// What a drop asks for, done from an idle once the drag has ended: the save
// prompt, the decode and the question whether to enlarge the canvas all run
// main loops of their own.
struct PendingDrop {
  GtkWidget *window;     // one reference held
  std::string filename;  // a local file to open, or empty
  std::string refused;   // a URI that names no local file, or empty
  std::string picture;   // the bytes of a picture, or empty
  std::string mime_type; // the type the picture was offered as
};

bool busy(GtkWidget *window) {
  // A grab is a modal dialog, or a decode holding the window's input; a
  // long command may be working on the picture.
  return g_object_get_data(G_OBJECT(window), kPendingKey) || gtk_grab_get_current() ||
         work_busy(window);
}

gboolean run_drop(gpointer data) {
  auto *drop = static_cast<PendingDrop *>(data);
  // The window may have been closed since.
  if (g_list_find(window_list(), drop->window)) {
    VorpixCanvas *canvas = canvas_lookup(drop->window);
    if (!drop->filename.empty())
      menu_open_path(drop->window, drop->filename.c_str());
    else if (!drop->refused.empty())
      file_show_cannot_open(canvas, drop->refused.c_str());
    else
      canvas_paste_bytes(canvas, reinterpret_cast<const guchar *>(drop->picture.data()),
                         static_cast<gssize>(drop->picture.size()), drop->mime_type.c_str());
  }
  g_object_set_data(G_OBJECT(drop->window), kPendingKey, nullptr);
  g_object_unref(drop->window);
  delete drop;
  return G_SOURCE_REMOVE;
}

// Fills in what the first URI of the list asks for; false without one.
bool take_first_uri(GtkSelectionData *data, PendingDrop *drop) {
  gchar **uris = gtk_selection_data_get_uris(data);
  const bool any = uris && uris[0];
  if (any) {
    gchar *filename = g_filename_from_uri(uris[0], nullptr, nullptr);
    if (filename)
      drop->filename = filename;
    else
      drop->refused = uris[0];
    g_free(filename);
  }
  g_strfreev(uris);
  return any;
}

}  // namespace

void drop_attach(GtkWidget *window) {
  // The clipboard's formats, in its order of preference, PNG first.
  GSList *formats = g_slist_sort(gdk_pixbuf_get_formats(), canvas_clipboard_compare_formats);
  std::vector<gchar *> types;
  for (GSList *node = formats; node; node = node->next) {
    gchar **mime_types =
        gdk_pixbuf_format_get_mime_types(static_cast<GdkPixbufFormat *>(node->data));
    for (gchar **type = mime_types; type && *type; type++) types.push_back(g_strdup(*type));
    g_strfreev(mime_types);
  }
  g_slist_free(formats);
  std::vector<GtkTargetEntry> targets;
  targets.push_back({const_cast<gchar *>("text/uri-list"), 0, kDropUris});
  for (gchar *type : types) targets.push_back({type, 0, kDropImage});
  // Motion and highlight are the toolkit's; the drop is this module's, so
  // that it is finished with its real outcome.  The toolkit copies the list.
  gtk_drag_dest_set(window,
                    static_cast<GtkDestDefaults>(GTK_DEST_DEFAULT_MOTION |
                                                 GTK_DEST_DEFAULT_HIGHLIGHT),
                    targets.data(), static_cast<gint>(targets.size()), GDK_ACTION_COPY);
  for (gchar *type : types) g_free(type);
  g_signal_connect(window, "drag-drop", G_CALLBACK(on_mainwindow_drag_drop), nullptr);
  g_signal_connect(window, "drag-data-received", G_CALLBACK(on_mainwindow_drag_data_received),
                   nullptr);
}

gboolean on_mainwindow_drag_drop(GtkWidget *window, GdkDragContext *context, gint, gint,
                                 guint time, gpointer) {
  const GdkAtom target = gtk_drag_dest_find_target(window, context, nullptr);
  if (target == GDK_NONE || busy(window)) {
    gtk_drag_finish(context, FALSE, FALSE, time);
    return TRUE;
  }
  gtk_drag_get_data(window, context, target, time);
  return TRUE;
}

void on_mainwindow_drag_data_received(GtkWidget *window, GdkDragContext *context, gint, gint,
                                      GtkSelectionData *data, guint info, guint time, gpointer) {
  auto *drop = new PendingDrop{GTK_WIDGET(g_object_ref(window)), {}, {}, {}, {}};
  bool taken = false;
  if (data && !busy(window)) {
    const gint length = gtk_selection_data_get_length(data);
    if (info == kDropUris) {
      taken = take_first_uri(data, drop);
    } else if (info == kDropImage) {
      // Even nothing is taken: the status bar then says there was no picture.
      if (length > 0 && gtk_selection_data_get_format(data) == 8)
        drop->picture.assign(reinterpret_cast<const char *>(gtk_selection_data_get_data(data)),
                             static_cast<size_t>(length));
      gchar *type = gdk_atom_name(gtk_selection_data_get_target(data));
      if (type) drop->mime_type = type;
      g_free(type);
      taken = true;
    }
  }
  gtk_drag_finish(context, taken, FALSE, time);
  if (!taken) {
    g_object_unref(drop->window);
    delete drop;
    return;
  }
  g_object_set_data(G_OBJECT(window), kPendingKey, drop);
  g_idle_add(run_drop, drop);
}
