#include "document/file.h"

#include <glib/gi18n.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/decoder.h"
#include "document/drawing.h"
#include "document/size_dialogs.h"
#include "imaging/image.h"
#include "shell/util.h"
#include "shell/window.h"

namespace {

constexpr int kMinSide = 1;
constexpr int kMaxSide = 4096;
constexpr const char *kDialogKey = "user_data";
// How other programs' recent-file lists name vorpix and start it on a file.
constexpr char kRecentApplication[] = "vorpix";
constexpr char kRecentCommand[] = "vorpix %f";
// The open chooser's thumbnail fits in a square of this side.
constexpr int kPreviewSide = 128;
constexpr int kPreviewPadding = 12;
// A larger picture is not previewed, so a large or hostile file costs little.
constexpr gint64 kPreviewMaxPixels = gint64(1) << 24;
// Counts the previews the open dialog asked for.
constexpr char kPreviewCountKey[] = "vorpix-preview-count";
constexpr int kTypeSpacing = 6;
constexpr char kTypesKey[] = "vorpix-save-types";

void process_pending_events() {
  while (gtk_events_pending()) gtk_main_iteration();
}

int entry_value(GtkWidget *entry) {
  gchar *text = gtk_editable_get_chars(GTK_EDITABLE(entry), 0, -1);
  int value = text ? read_int(text) : 0;
  g_free(text);
  return value;
}

bool valid_side(int side) { return side >= kMinSide && side <= kMaxSide; }

// The absolute directory part of name when that directory exists, otherwise
// the current directory (a chooser sent to a missing folder shows an error
// of its own).  The caller frees the result.
gchar *existing_folder_of(const char *name) {
  gchar *cwd = g_get_current_dir();
  gchar *dir = g_path_get_dirname(name);
  gchar *folder = nullptr;
  if (g_path_is_absolute(dir))
    folder = g_strdup(dir);
  else if (g_strcmp0(dir, ".") == 0)
    folder = g_strdup(cwd);
  else
    folder = g_build_filename(cwd, dir, nullptr);
  g_free(dir);
  if (!g_file_test(folder, G_FILE_TEST_IS_DIR)) {
    g_free(folder);
    return cwd;
  }
  g_free(cwd);
  return folder;
}

// Runs a modal dialog and destroys it.  The reference keeps the dialog alive
// when a parent's destruction takes it down while it runs.
int run_and_destroy(GtkWidget *dialog) {
  g_object_ref(dialog);
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return response;
}

// Runs the chooser; the chosen file name (freed by the caller) or null when
// the user did not accept.  The chooser is gone when this returns.
gchar *run_chooser(GtkWidget *dialog) {
  g_object_ref(dialog);
  gchar *filename = nullptr;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT)
    filename = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return filename;
}

// A writable format as the save chooser's "File type" list offers it.
struct SaveType {
  std::string label;                    // "JPEG (*.jpeg, *.jpe, *.jpg)"
  std::vector<std::string> extensions;  // the first is put on the name
};

std::vector<SaveType> save_types() {
  std::vector<SaveType> types;
  GSList *formats = gdk_pixbuf_get_formats();
  for (GSList *node = formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    if (!gdk_pixbuf_format_is_writable(format) || gdk_pixbuf_format_is_disabled(format)) continue;
    gchar **extensions = gdk_pixbuf_format_get_extensions(format);
    if (extensions && extensions[0]) {
      gchar *name = gdk_pixbuf_format_get_name(format);
      gchar *upper = g_ascii_strup(name, -1);
      std::string label = std::string(upper) + " (";
      for (gchar **extension = extensions; *extension; extension++)
        label += std::string(extension == extensions ? "" : ", ") + "*." + *extension;
      types.push_back(
          {label + ")", std::vector<std::string>(extensions, extensions + g_strv_length(extensions))});
      g_free(upper);
      g_free(name);
    }
    g_strfreev(extensions);
  }
  g_slist_free(formats);
  std::sort(types.begin(), types.end(),
            [](const SaveType &a, const SaveType &b) { return a.label < b.label; });
  return types;
}

// The extension of a file name's last component, without the dot; "" when
// it has none.
std::string extension_of(const char *name) {
  gchar *base = g_path_get_basename(name);
  const char *dot = strrchr(base, '.');
  std::string extension = dot && dot != base ? dot + 1 : "";
  g_free(base);
  return extension;
}

// A type chosen from the list replaces the extension of the name typed so
// far (or is added to a name without one).
void on_save_type_combo_changed(GtkComboBox *combo, gpointer chooser) {
  const int index = gtk_combo_box_get_active(combo);
  auto *types = static_cast<std::vector<SaveType> *>(g_object_get_data(G_OBJECT(combo), kTypesKey));
  if (index < 0 || !types || index >= static_cast<int>(types->size())) return;
  gchar *filename = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
  gchar *base = filename ? g_filename_display_basename(filename) : g_strdup(_("untitled.png"));
  std::string name = base;
  const std::string old_extension = extension_of(base);
  if (!old_extension.empty()) name.resize(name.size() - old_extension.size() - 1);
  name += "." + (*types)[index].extensions[0];
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name.c_str());
  g_free(base);
  g_free(filename);
}

void free_save_types(gpointer types) { delete static_cast<std::vector<SaveType> *>(types); }

// The "File type" choice beside the name, showing the type of the proposed
// name when it has one the savers know.
void add_save_type_choice(GtkFileChooser *chooser, const char *proposed) {
  auto *types = new std::vector<SaveType>(save_types());
  GtkWidget *box = gtk_hbox_new(FALSE, kTypeSpacing);
  GtkWidget *label = gtk_label_new(_("File type:"));
  GtkWidget *combo = gtk_combo_box_new_text();
  gtk_widget_set_name(combo, "save_type_combo");
  const std::string extension = extension_of(proposed);
  int active = -1;
  for (size_t i = 0; i < types->size(); i++) {
    const SaveType &type = (*types)[i];
    gtk_combo_box_append_text(GTK_COMBO_BOX(combo), type.label.c_str());
    for (const std::string &known : type.extensions)
      if (active < 0 && g_ascii_strcasecmp(known.c_str(), extension.c_str()) == 0)
        active = static_cast<int>(i);
  }
  g_object_set_data_full(G_OBJECT(combo), kTypesKey, types, free_save_types);
  // Shown before the handler is connected: the proposed name stays as it is.
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), active);
  g_signal_connect(combo, "changed", G_CALLBACK(on_save_type_combo_changed), chooser);
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), combo, FALSE, FALSE, 0);
  gtk_widget_show_all(box);
  gtk_file_chooser_set_extra_widget(chooser, box);
}

// The save-as chooser for drawing; the name chosen (freed by the caller), or
// null when the user did not accept.  Nothing is written here.
gchar *choose_save_name(VorpixDrawing *drawing) {
  g_assert(drawing);
  GtkWindow *parent = GTK_IS_WINDOW(drawing->toplevel) ? GTK_WINDOW(drawing->toplevel) : nullptr;
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      _("Save as"), parent, GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
      GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, nullptr);
  g_assert(dialog);
  GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);

  g_assert(drawing->filename);
  g_assert(drawing->filename->len);
  // Folder and name rather than gtk_file_chooser_set_filename, which
  // proposes nothing for a file that does not exist yet (untitled.png).  The
  // chooser refuses a name that is not UTF-8.
  const char *name = drawing->filename->str;
  gchar *folder = drawing->untitled ? g_get_current_dir() : existing_folder_of(name);
  gchar *base = g_filename_display_basename(name);
  gtk_file_chooser_set_current_folder(chooser, folder);
  gtk_file_chooser_set_current_name(chooser, base);
  add_save_type_choice(chooser, base);
  g_free(base);
  g_free(folder);
  return run_chooser(dialog);
}

void on_open_chooser_update_preview(GtkFileChooser *chooser, gpointer) {
  gchar *filename = gtk_file_chooser_get_preview_filename(chooser);
  file_show_preview(chooser, filename);
  g_free(filename);
}

void add_open_filters_and_preview(GtkFileChooser *chooser) {
  GtkFileFilter *pictures = gtk_file_filter_new();
  gtk_file_filter_set_name(pictures, _("All pictures"));
  gtk_file_filter_add_pixbuf_formats(pictures);
  GtkFileFilter *everything = gtk_file_filter_new();
  gtk_file_filter_set_name(everything, _("All files"));
  gtk_file_filter_add_pattern(everything, "*");
  gtk_file_chooser_add_filter(chooser, pictures);
  gtk_file_chooser_add_filter(chooser, everything);
  gtk_file_chooser_set_filter(chooser, pictures);

  GtkWidget *preview = gtk_image_new();
  gtk_widget_set_size_request(preview, kPreviewSide + kPreviewPadding, -1);
  gtk_file_chooser_set_preview_widget(chooser, preview);
  gtk_file_chooser_set_use_preview_label(chooser, FALSE);
  g_signal_connect(chooser, "update-preview", G_CALLBACK(on_open_chooser_update_preview), nullptr);
}

}  // namespace

void file_show_preview(GtkFileChooser *chooser, const char *filename) {
  GtkWidget *preview = gtk_file_chooser_get_preview_widget(chooser);
  g_return_if_fail(preview && GTK_IS_IMAGE(preview));
  // The decode runs the main loop, where the chooser may ask for another
  // preview or go: only the preview asked for last is shown.
  const guint ticket = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(chooser), kPreviewCountKey)) + 1;
  g_object_set_data(G_OBJECT(chooser), kPreviewCountKey, GUINT_TO_POINTER(ticket));
  bool gone = false;
  void (*on_destroy)(bool *) = [](bool *flag) { *flag = true; };
  const gulong watch =
      g_signal_connect_swapped(chooser, "destroy", G_CALLBACK(on_destroy), &gone);
  g_object_ref(chooser);
  const DecoderLimits limits = {G_MAXINT32, kPreviewMaxPixels};
  GdkPixbuf *thumbnail =
      filename ? decoder_decode_thumbnail(filename, kPreviewSide, limits, nullptr) : nullptr;
  if (!gone) {
    g_signal_handler_disconnect(chooser, watch);
    if (GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(chooser), kPreviewCountKey)) == ticket) {
      gtk_image_set_from_pixbuf(GTK_IMAGE(preview), thumbnail);
      gtk_file_chooser_set_preview_widget_active(chooser, thumbnail != nullptr);
    }
  }
  if (thumbnail) g_object_unref(thumbnail);
  g_object_unref(chooser);
}

void file_show_cannot_open(VorpixCanvas *canvas, const char *filename) {
  // Valid UTF-8 whatever the name's own encoding.
  gchar *shown = g_filename_display_name(filename);
  GtkWidget *dialog = gtk_message_dialog_new(
      GTK_WINDOW(canvas->toplevel),
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, _("Cannot open file %s."), shown);
  g_free(shown);
  run_and_destroy(dialog);
}

namespace {

void show_invalid_size(GtkWidget *new_canvas_window) {
  GtkWidget *dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                             GTK_BUTTONS_OK, _("Invalid width or height values"));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(new_canvas_window));
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  run_and_destroy(dialog);
}

// The main window's "destroy": its new-canvas dialogs go with it, so none is
// left to act on a destroyed canvas.
void close_with_main_window(GtkWidget *, gpointer new_canvas_window) {
  gtk_widget_destroy(GTK_WIDGET(new_canvas_window));
}

void insert_number(GtkWidget *entry, int value) {
  gchar *text = g_strdup_printf("%d", value);
  gint position = 0;
  gtk_editable_insert_text(GTK_EDITABLE(entry), text, -1, &position);
  g_free(text);
}

VorpixNewCanvasDialog *dialog_of(GtkWidget *widget) {
  return static_cast<VorpixNewCanvasDialog *>(g_object_get_data(G_OBJECT(widget), kDialogKey));
}

}  // namespace

void file_open_dialog(VorpixCanvas *canvas) {
  g_assert(canvas);
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      _("Open image"), GTK_WINDOW(canvas->toplevel), GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
      GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
  g_assert(dialog);
  add_open_filters_and_preview(GTK_FILE_CHOOSER(dialog));

  VorpixDrawing *drawing = canvas->drawing;
  g_assert(drawing->filename);
  g_assert(drawing->filename->str);
  gchar *folder =
      drawing->untitled ? g_get_current_dir() : existing_folder_of(drawing->filename->str);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder);
  g_free(folder);

  gchar *filename = run_chooser(dialog);
  // Accepting with nothing chosen (or a non-local file) names no file.
  if (!filename) return;
  process_pending_events();
  if (!canvas_is_open(canvas)) {  // its window was closed meanwhile
    g_free(filename);
    return;
  }

  file_open_path(canvas, filename);
  g_free(filename);
}

int file_open_path(VorpixCanvas *canvas, const char *filename) {
  g_assert(canvas);
  g_assert(filename);
  GError *error = nullptr;
  VorpixDrawing *opened =
      *filename ? drawing_new_from_file(canvas->drawing_area, canvas->gc, filename, &error)
                : nullptr;
  if (opened) {
    canvas_set_drawing(canvas, opened);
    return 1;
  }
  // A cancelled decode, or a window closed meanwhile, wants no message.
  if (!g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CANCELLED))
    file_show_cannot_open(canvas, filename);
  g_clear_error(&error);
  return 0;
}

void file_record_recent(const char *filename) {
  g_return_if_fail(filename != nullptr);
  gchar *mime_type = decoder_file_mime_type(filename);
  gchar *absolute = g_path_is_absolute(filename) ? g_strdup(filename) : nullptr;
  if (!absolute) {
    gchar *cwd = g_get_current_dir();
    absolute = g_build_filename(cwd, filename, nullptr);
    g_free(cwd);
  }
  gchar *uri = g_filename_to_uri(absolute, nullptr, nullptr);
  // Only pictures the loaders recognise are worth offering again.
  if (uri && mime_type) {
    // The shared list lives in the user's data folder, which a new account
    // may not have yet: the list would silently not be written.
    g_mkdir_with_parents(g_get_user_data_dir(), 0700);
    GtkRecentData data = {};
    data.mime_type = mime_type;
    data.app_name = const_cast<gchar *>(kRecentApplication);
    data.app_exec = const_cast<gchar *>(kRecentCommand);
    gtk_recent_manager_add_full(gtk_recent_manager_get_default(), uri, &data);
  }
  g_free(uri);
  g_free(absolute);
  g_free(mime_type);
}

int file_save_as_dialog(VorpixCanvas *canvas) {
  g_assert(canvas);
  canvas_commit_change(canvas);
  gchar *filename = choose_save_name(canvas->drawing);
  if (!filename) return 0;
  process_pending_events();
  // The window may have been closed meanwhile.
  const int written = canvas_is_open(canvas) ? drawing_save_as(canvas->drawing, filename) : 0;
  g_free(filename);
  return written;
}

int file_save_drawing_as(VorpixDrawing *drawing) {
  gchar *filename = choose_save_name(drawing);
  if (!filename) return 0;
  process_pending_events();
  const int written = drawing_save_as(drawing, filename);
  g_free(filename);
  return written;
}

GtkWidget *file_new_dialog(VorpixCanvas *canvas) {
  g_assert(canvas);
  VorpixNewCanvasDialog *dialog = g_new0(VorpixNewCanvasDialog, 1);
  g_assert(dialog);
  dialog->canvas = canvas;
  dialog->window = create_new_canvas_window();
  dialog->width_entry = lookup_widget(dialog->window, "new_canvas_width_text_entry");
  dialog->height_entry = lookup_widget(dialog->window, "new_canvas_height_text_entry");
  g_assert(dialog->width_entry);
  g_assert(dialog->height_entry);

  insert_number(dialog->width_entry, canvas->drawing->width);
  insert_number(dialog->height_entry, canvas->drawing->height);

  GtkWidget *ok = lookup_widget(dialog->window, "new_canvas_ok_button");
  GtkWidget *cancel = lookup_widget(dialog->window, "new_canvas_cancel_button");
  g_assert(ok);
  g_assert(cancel);
  g_object_set_data(G_OBJECT(ok), kDialogKey, dialog);
  g_object_set_data(G_OBJECT(cancel), kDialogKey, dialog);
  g_object_set_data(G_OBJECT(dialog->window), kDialogKey, dialog);

  g_signal_connect(canvas->toplevel, "destroy", G_CALLBACK(close_with_main_window), dialog->window);
  gtk_widget_show(dialog->window);
  return dialog->window;
}

void on_new_canvas_ok_button_clicked(GtkWidget *button, gpointer) {
  VorpixNewCanvasDialog *dialog = dialog_of(button);
  g_return_if_fail(dialog != nullptr);
  int width = entry_value(dialog->width_entry);
  int height = entry_value(dialog->height_entry);

  if (!valid_side(width) || !valid_side(height)) {
    // The values stay in the entries for correction.  The record may be gone
    // once the message's loop returns (its main window closed meanwhile).
    show_invalid_size(dialog->window);
    return;
  }
  VorpixCanvas *canvas = dialog->canvas;
  VorpixDrawing *blank = drawing_new_blank(canvas->drawing_area, canvas->gc, width, height);
  if (!blank) {
    // The picture stays, and the dialog with its values for a smaller size.
    size_dialog_show_no_memory(GTK_WINDOW(dialog->window), _("make a new picture"));
    return;
  }
  canvas_set_drawing(canvas, blank);
  gtk_widget_destroy(dialog->window);
}

void on_new_canvas_cancel_button_clicked(GtkWidget *button, gpointer) {
  VorpixNewCanvasDialog *dialog = dialog_of(button);
  g_return_if_fail(dialog != nullptr);
  gtk_widget_destroy(dialog->window);
}

void on_new_canvas_window_destroy(GtkWidget *window, gpointer) {
  VorpixNewCanvasDialog *dialog = dialog_of(window);
  if (!dialog) return;
  g_signal_handlers_disconnect_by_func(dialog->canvas->toplevel,
                                       reinterpret_cast<gpointer>(close_with_main_window), window);
  for (const char *name : {"new_canvas_ok_button", "new_canvas_cancel_button"})
    if (GtkWidget *button = lookup_widget(window, name))
      g_object_set_data(G_OBJECT(button), kDialogKey, nullptr);
  g_object_set_data(G_OBJECT(window), kDialogKey, nullptr);
  g_free(dialog);
}
