#include "document/clipboard.h"

#include <glib/gi18n.h>

#include <cstring>
#include <memory>

#include "document/canvas.h"
#include "document/decoder.h"
#include "document/size_dialogs.h"
#include "document/drawing.h"
#include "imaging/image.h"
#include "panels/status_bar.h"
#include "tools/paste.h"
#include "tools/selection.h"

namespace {

// Larger pictures are refused before the loader allocates them: the paste
// keeps three copies (clipboard, floating piece, decoded), 256 MiB each here.
constexpr gint64 kMaxPastePixels = gint64(1) << 26;
// The X protocol's largest pixmap side.
constexpr int kMaxPasteSide = 32767;

VorpixClipboard *the_clipboard = nullptr;

struct SelectionDataFree {
  void operator()(GtkSelectionData *data) const { gtk_selection_data_free(data); }
};
using SelectionDataPtr = std::unique_ptr<GtkSelectionData, SelectionDataFree>;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct StrvFree {
  void operator()(gchar **v) const { g_strfreev(v); }
};
using StrvPtr = std::unique_ptr<gchar *, StrvFree>;

GCharPtr format_name(gconstpointer format) {
  return GCharPtr(gdk_pixbuf_format_get_name(
      static_cast<GdkPixbufFormat *>(const_cast<gpointer>(format))));
}

StrvPtr mime_types(GdkPixbufFormat *format) {
  return StrvPtr(gdk_pixbuf_format_get_mime_types(format));
}

bool starts_with(const gchar *name, const char *prefix) {
  return g_ascii_strncasecmp(name, prefix, strlen(prefix)) == 0;
}

GtkClipboard *desktop_clipboard() {
  GdkDisplay *display = gdk_display_get_default();
  if (!display) return nullptr;
  return gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD);
}

// One target per MIME type of every writable format, in preference order.
void build_targets(VorpixClipboard *clipboard) {
  int count = 0;
  for (GSList *node = clipboard->formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    if (!gdk_pixbuf_format_is_writable(format)) continue;
    StrvPtr types = mime_types(format);
    if (types) count += static_cast<int>(g_strv_length(types.get()));
  }
  clipboard->n_targets = count;
  if (count == 0) return;

  clipboard->targets = g_new0(GtkTargetEntry, count);
  clipboard->savers = g_new0(char *, count + 1);
  int i = 0;
  for (GSList *node = clipboard->formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    if (!gdk_pixbuf_format_is_writable(format)) continue;
    StrvPtr types = mime_types(format);
    for (gchar **type = types.get(); type && *type; type++) {
      clipboard->targets[i].target = g_strdup(*type);
      clipboard->targets[i].flags = 0;
      clipboard->targets[i].info = static_cast<guint>(i);
      clipboard->savers[i] = gdk_pixbuf_format_get_name(format);
      i++;
    }
  }
}

// What the progress dialog calls the bytes: their type as the desktop
// names it ("PNG image").
GCharPtr offer_name(const guchar *data, gsize length, const char *mime_type) {
  GCharPtr type(mime_type ? g_content_type_from_mime_type(mime_type)
                          : g_content_type_guess(nullptr, data, length, nullptr));
  return GCharPtr(type ? g_content_type_get_description(type.get()) : nullptr);
}

// Why a decode gave no picture.
struct DecodeFailure {
  bool too_large = false;  // refused for its size
  bool cancelled = false;  // the user cancelled it
};

// A new picture (one reference) decoded from the bytes offered under
// mime_type (null: the bytes tell), or null with a warning and *failure
// filled in.  With a window, its input is held meanwhile, and a decode that
// takes long offers Cancel in it.
GdkPixbuf *decode_picture(const guchar *data, gsize length, const char *mime_type,
                          GtkWidget *window, DecodeFailure *failure) {
  GError *error = nullptr;
  const DecoderLimits limits = {kMaxPasteSide, kMaxPastePixels};
  const GCharPtr name = window ? offer_name(data, length, mime_type) : nullptr;
  GdkPixbuf *pixbuf = decoder_decode_bytes(data, length, mime_type, limits,
                                           name ? window : nullptr, name.get(), &error);
  failure->too_large = g_error_matches(error, DECODER_ERROR, DECODER_ERROR_TOO_LARGE);
  failure->cancelled = g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CANCELLED);
  if (!pixbuf && !failure->cancelled)
    g_warning("%s: %s%s", "paste_selection_data_get_pixbuf",
              error && error->message ? error->message : "unknown error",
              failure->too_large ? " to paste" : "");
  g_clear_error(&error);
  return pixbuf;
}

// The name of the target a selection answered, or null.
GCharPtr target_name(GtkSelectionData *selection) {
  const GdkAtom target = gtk_selection_data_get_target(selection);
  return GCharPtr(target != GDK_NONE ? gdk_atom_name(target) : nullptr);
}

// The offered target that best matches a format GdkPixbuf reads, or GDK_NONE.
GdkAtom choose_target(const VorpixClipboard *clipboard, const GdkAtom *offered, int n_offered) {
  for (GSList *node = clipboard->formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    GCharPtr name = format_name(format);
    g_debug("checking pixbuf format '%s'", name.get());
    StrvPtr types = mime_types(format);
    for (gchar **type = types.get(); type && *type; type++) {
      GdkAtom atom = gdk_atom_intern(*type, FALSE);
      g_debug(" - checking mime type '%s'", *type);
      for (int i = 0; i < n_offered; i++)
        if (offered[i] == atom) return atom;
    }
  }
  return GDK_NONE;
}

// Cut and copy alike: commit the tool's edit, then take the selected area
// (and clear it when cutting) with the outline's flashing stopped meanwhile.
void take_selection(VorpixCanvas *canvas, bool clear) {
  canvas_commit_change(canvas);
  if (!canvas_has_selection(canvas)) return;
  selection_disable_flash(canvas->selection);
  const bool copied = canvas_clipboard_copy_selection(canvas);
  // A cut whose copy could not be made would lose the area: nothing is cleared.
  if (clear && copied) {
    drawing_clear_selection(canvas->drawing, selection_points(canvas->selection));
    drawing_modified(canvas->drawing);
  }
  selection_enable_flash(canvas->selection);
  if (!copied) {
    GtkWindow *parent = GTK_IS_WINDOW(canvas->toplevel) ? GTK_WINDOW(canvas->toplevel) : nullptr;
    size_dialog_show_no_memory(parent, clear ? _("cut the selection") : _("copy the selection"));
  }
}

}  // namespace

// Not tied to the canvas that asks first: every other window keeps using the
// record after that one is closed.
VorpixClipboard *canvas_clipboard(VorpixCanvas *canvas) {
  if (the_clipboard) return the_clipboard;
  g_return_val_if_fail(VORPIX_IS_CANVAS(canvas), nullptr);

  VorpixClipboard *clipboard = g_new0(VorpixClipboard, 1);
  the_clipboard = clipboard;
  clipboard->image = nullptr;
  clipboard->points = point_array_new();
  clipboard->formats = g_slist_sort(gdk_pixbuf_get_formats(), canvas_clipboard_compare_formats);
  build_targets(clipboard);
  return clipboard;
}

void canvas_clipboard_free(gpointer record) {
  auto *clipboard = static_cast<VorpixClipboard *>(record);
  if (!clipboard) return;
  if (the_clipboard == clipboard) the_clipboard = nullptr;
  g_slist_free(clipboard->formats);
  for (int i = 0; i < clipboard->n_targets; i++) g_free(clipboard->targets[i].target);
  g_free(clipboard->targets);
  g_strfreev(clipboard->savers);
  if (clipboard->image) image_free(clipboard->image);
  if (clipboard->points) point_array_delete(clipboard->points);
  g_free(clipboard);
}

gint canvas_clipboard_compare_formats(gconstpointer a, gconstpointer b) {
  GCharPtr name_a = format_name(a);
  GCharPtr name_b = format_name(b);
  if (starts_with(name_a.get(), "png")) return -1;
  if (starts_with(name_b.get(), "png")) return 1;
  if (starts_with(name_a.get(), "jpeg")) return 1;
  if (starts_with(name_b.get(), "jpeg")) return -1;
  if (starts_with(name_a.get(), "gif")) return 1;
  if (starts_with(name_b.get(), "gif")) return -1;
  return 0;
}

void canvas_cut(VorpixCanvas *canvas) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  take_selection(canvas, true);
}

void canvas_copy(VorpixCanvas *canvas) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  take_selection(canvas, false);
}

bool canvas_clipboard_copy_selection(VorpixCanvas *canvas) {
  g_return_val_if_fail(VORPIX_IS_CANVAS(canvas), true);
  VorpixClipboard *clipboard = canvas_clipboard(canvas);
  VorpixPointArray *outline = selection_points(canvas->selection);

  GdkRectangle box, inside;
  point_array_bounding_rectangle(outline, &box);
  const GdkRectangle picture = {0, 0, canvas->drawing->width, canvas->drawing->height};
  const bool on_picture = gdk_rectangle_intersect(&box, &picture, &inside);
  VorpixImage *image = image_from_selection(canvas->drawing->backing_pixmap, outline);
  // Without memory for the copy the clipboard keeps what it had.
  if (on_picture && !image) return false;
  if (clipboard->image) image_free(clipboard->image);
  clipboard->image = image;
  point_array_copy(clipboard->points, outline);

  GtkClipboard *desktop = desktop_clipboard();
  if (!desktop) return true;
  if (clipboard->image) {
    // Nothing is encoded until somebody asks for a target.  GTK drops the
    // claim by itself when the owning canvas is finalized.
    gtk_clipboard_set_with_owner(desktop, clipboard->targets, clipboard->n_targets,
                                 canvas_clipboard_send_buffer, nullptr, G_OBJECT(canvas));
  } else if (gtk_clipboard_get_owner(desktop) == G_OBJECT(canvas)) {
    gtk_clipboard_clear(desktop);
  }
  return true;
}

void canvas_clipboard_send_buffer(GtkClipboard *, GtkSelectionData *selection_data, guint info,
                                  gpointer owner) {
  // The owner is only needed to create a missing record; an existing one is
  // returned without touching it.
  VorpixClipboard *clipboard = canvas_clipboard(static_cast<VorpixCanvas *>(owner));
  g_return_if_fail(clipboard != NULL);
  if (!clipboard->image || !clipboard->image->pixbuf) return;
  g_return_if_fail(info < static_cast<guint>(clipboard->n_targets));

  const char *target = clipboard->targets[info].target;
  GdkAtom atom = gdk_atom_intern(target, FALSE);
  g_debug("sending pixbuf data as '%s' (%s)", target,
          clipboard->savers[info] ? clipboard->savers[info] : "(null)");

  g_return_if_fail(selection_data != NULL);
  g_return_if_fail(atom != GDK_NONE);
  g_return_if_fail(GDK_IS_PIXBUF(clipboard->image->pixbuf));
  g_return_if_fail(clipboard->savers[info] != NULL);

  gchar *buffer = nullptr;
  gsize size = 0;
  GError *error = nullptr;
  if (!image_encode(clipboard->image, clipboard->savers[info], &buffer, &size, &error)) {
    if (error) g_error_free(error);
    return;
  }
  gtk_selection_data_set(selection_data, atom, 8, reinterpret_cast<const guchar *>(buffer),
                         static_cast<gint>(size));
  g_free(buffer);
}

namespace {

constexpr char kRequestKey[] = "vorpix-clipboard-request";
// An owner that has not answered by then is given up on.
constexpr guint kAnswerSeconds = 5;

// One paste's wait for the desktop clipboard.  GTK calls back even after the
// wait was given up (cancelled, timed out), so the record lives until its
// last callback has come and the wait is over.
struct PasteRequest {
  VorpixCanvas *canvas;
  GtkWidget *area;  // one reference while waiting: keeps the canvas
  guint timeout;
  bool over;
  int callbacks;  // GTK callbacks still to come
};

void release_request(PasteRequest *request) {
  if (request->over && request->callbacks == 0) g_free(request);
}

// Ends the wait; with a picture the record takes it and paste mode starts,
// without one the status bar says why.  Nothing happens in a closed window.
void end_request(PasteRequest *request, GdkPixbuf *pixbuf, PasteRefusal why, bool cancelled) {
  if (request->over) return;
  request->over = true;
  if (request->timeout) g_source_remove(request->timeout);
  request->timeout = 0;
  VorpixCanvas *canvas = request->canvas;
  g_object_set_data(G_OBJECT(canvas), kRequestKey, nullptr);
  if (canvas_is_open(canvas)) {
    if (cancelled)
      status_bar_set_message(status_bar_lookup(canvas->drawing_area), nullptr);
    else if (pixbuf)
      canvas_paste_picture(canvas, pixbuf);
    else
      canvas_paste_refused(canvas, why);
  }
  g_object_unref(request->area);
  request->area = nullptr;
  release_request(request);
}

gboolean on_answer_timeout(gpointer data) {
  auto *request = static_cast<PasteRequest *>(data);
  request->timeout = 0;
  end_request(request, nullptr, PASTE_NO_ANSWER, false);
  return G_SOURCE_REMOVE;
}

void on_contents_received(GtkClipboard *, GtkSelectionData *data, gpointer user) {
  auto *request = static_cast<PasteRequest *>(user);
  if (!request->over) {
    // The owner has answered: what is left is the decode, which has a time
    // limit and a Cancel of its own.
    if (request->timeout) g_source_remove(request->timeout);
    request->timeout = 0;
    DecodeFailure failure;
    GdkPixbuf *pixbuf = nullptr;
    if (data && gtk_selection_data_get_length(data) > 0 &&
        gtk_selection_data_get_format(data) == 8 && canvas_is_open(request->canvas))
      pixbuf = decode_picture(gtk_selection_data_get_data(data),
                              static_cast<gsize>(gtk_selection_data_get_length(data)),
                              target_name(data).get(),
                              gtk_widget_get_toplevel(request->canvas->drawing_area), &failure);
    end_request(request, pixbuf, failure.too_large ? PASTE_TOO_LARGE : PASTE_NO_PICTURE,
                failure.cancelled);
    if (pixbuf) g_object_unref(pixbuf);
  }
  // Only now: the decode runs the main loop, where the wait may end.
  request->callbacks--;
  release_request(request);
}

void on_targets_received(GtkClipboard *desktop, GdkAtom *offered, gint n_offered, gpointer user) {
  auto *request = static_cast<PasteRequest *>(user);
  if (!request->over) {
    VorpixClipboard *clipboard = canvas_clipboard(request->canvas);
    for (int i = 0; i < n_offered; i++) {
      GCharPtr name(gdk_atom_name(offered[i]));
      g_debug("offered type: %s", name ? name.get() : "");
    }
    const GdkAtom target = n_offered > 0 ? choose_target(clipboard, offered, n_offered) : GDK_NONE;
    if (target != GDK_NONE) {
      request->callbacks++;
      gtk_clipboard_request_contents(desktop, target, on_contents_received, request);
    } else if (n_offered <= 0 && clipboard->image) {
      // Nobody holds the clipboard (the copying window closed, say): the
      // picture copied last is still the one to paste.
      VorpixCanvas *canvas = request->canvas;
      if (canvas_is_open(canvas)) {
        status_bar_set_message(status_bar_lookup(canvas->drawing_area), nullptr);
        canvas_begin_paste_mode(canvas);
      }
      end_request(request, nullptr, PASTE_NO_PICTURE, true);
    } else {
      end_request(request, nullptr, PASTE_NO_PICTURE, false);
    }
  }
  // Only now: the decode runs the main loop, where the wait may end.
  request->callbacks--;
  release_request(request);
}

PasteRequest *pending_request(VorpixCanvas *canvas) {
  return static_cast<PasteRequest *>(g_object_get_data(G_OBJECT(canvas), kRequestKey));
}

}  // namespace

void canvas_paste(VorpixCanvas *canvas) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  VorpixClipboard *clipboard = canvas_clipboard(canvas);
  if (pending_request(canvas)) return;
  GtkClipboard *desktop = desktop_clipboard();
  // This very window holds it: the record has the picture.  Another window
  // of the program is asked as any other owner is, and answers in this loop.
  if (!desktop || gtk_clipboard_get_owner(desktop) == G_OBJECT(canvas)) {
    if (clipboard->image)
      canvas_begin_paste_mode(canvas);
    else
      canvas_paste_refused(canvas, PASTE_NO_PICTURE);
    return;
  }
  auto *request = g_new0(PasteRequest, 1);
  request->canvas = canvas;
  request->area = GTK_WIDGET(g_object_ref(canvas->drawing_area));
  request->callbacks = 1;
  g_object_set_data(G_OBJECT(canvas), kRequestKey, request);
  request->timeout = g_timeout_add_seconds(kAnswerSeconds, on_answer_timeout, request);
  status_bar_set_message(status_bar_lookup(canvas->drawing_area),
                         _("Waiting for the clipboard\u2026"));
  gtk_clipboard_request_targets(desktop, on_targets_received, request);
}

gboolean canvas_paste_waiting(VorpixCanvas *canvas) {
  g_return_val_if_fail(VORPIX_IS_CANVAS(canvas), FALSE);
  return pending_request(canvas) != nullptr;
}

gboolean canvas_paste_cancel(VorpixCanvas *canvas) {
  g_return_val_if_fail(VORPIX_IS_CANVAS(canvas), FALSE);
  PasteRequest *request = pending_request(canvas);
  if (!request) return FALSE;
  end_request(request, nullptr, PASTE_NO_PICTURE, true);
  return TRUE;
}

void canvas_paste_bytes(VorpixCanvas *canvas, const guchar *data, gssize length,
                        const char *mime_type) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  DecodeFailure failure;
  // The decode runs the main loop: the reference keeps the canvas through a
  // close of its window.
  std::unique_ptr<GtkWidget, GObjectUnref> keep(GTK_WIDGET(g_object_ref(canvas->drawing_area)));
  if (mime_type && !*mime_type) mime_type = nullptr;
  GdkPixbuf *pixbuf =
      data && length > 0
          ? decode_picture(data, static_cast<gsize>(length), mime_type,
                           gtk_widget_get_toplevel(canvas->drawing_area), &failure)
          : nullptr;
  if (!canvas_is_open(canvas)) {
    if (pixbuf) g_object_unref(pixbuf);
    return;
  }
  if (failure.cancelled) return;
  if (!pixbuf) {
    canvas_paste_refused(canvas, failure.too_large ? PASTE_TOO_LARGE : PASTE_NO_PICTURE);
    return;
  }
  canvas_paste_picture(canvas, pixbuf);
  g_object_unref(pixbuf);
}

void canvas_paste_picture(VorpixCanvas *canvas, GdkPixbuf *pixbuf) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  VorpixClipboard *clipboard = canvas_clipboard(canvas);
  VorpixImage received = {pixbuf};
  VorpixImage *copy = image_new_copy(&received);
  if (!copy) {
    canvas_paste_refused(canvas, PASTE_TOO_LARGE);
    return;
  }
  if (clipboard->image) image_free(clipboard->image);
  clipboard->image = copy;
  const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  point_array_remove_all(clipboard->points);
  point_array_append(clipboard->points, 0, 0);
  point_array_append(clipboard->points, w, 0);
  point_array_append(clipboard->points, w, h);
  point_array_append(clipboard->points, 0, h);
  point_array_append(clipboard->points, 0, 0);
  status_bar_set_message(status_bar_lookup(canvas->drawing_area), nullptr);
  // A piece still floating is put down first: paste mode would otherwise
  // go on with it, not with the picture that came.
  canvas_end_paste_mode(canvas);
  canvas_begin_paste_mode(canvas);
}

void canvas_paste_refused(VorpixCanvas *canvas, PasteRefusal why) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  const char *text = why == PASTE_TOO_LARGE  ? _("Nothing to paste: the picture is too large")
                     : why == PASTE_NO_ANSWER ? _("Nothing to paste: the clipboard did not answer")
                                              : _("Nothing to paste: the clipboard holds no picture");
  status_bar_set_message(status_bar_lookup(canvas->drawing_area), text);
}

GdkPixbuf *paste_selection_data_get_pixbuf(GtkSelectionData *selection) {
  g_return_val_if_fail(selection != NULL, nullptr);
  const gint length = gtk_selection_data_get_length(selection);
  if (gtk_selection_data_get_format(selection) != 8 || length <= 0) {
    g_warning("Received invalid image data!");
    return nullptr;
  }
  DecodeFailure failure;
  return decode_picture(gtk_selection_data_get_data(selection), static_cast<gsize>(length),
                        target_name(selection).get(), nullptr, &failure);
}
