#include "shell/menu.h"

#include <glib/gi18n.h>

#include <cmath>
#include <cstring>
#include <new>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/file.h"
#include "document/history.h"
#include "document/size_dialogs.h"
#include "document/work.h"
#include "imaging/image.h"
#include "imaging/image_processing.h"
#include "panels/print.h"
#include "shell/util.h"
#include "tools/paste.h"
#include "tools/selection.h"
#include "tools/tool_palette.h"

namespace {

constexpr int kFullTurn = 360;
// The longest a desktop capture waits for the screen to be repainted where
// the menu and the prompt were.
constexpr guint kSettleLimitMs = 800;
// X keeps a line width in 16 bits; anything wider would wrap around (65536
// becomes 0, a hairline), so wider requests get the widest line X can draw.
constexpr int kMaxLineWidth = G_MAXUINT16;

GtkWindow *window_of(VorpixCanvas *canvas) {
  return GTK_IS_WINDOW(canvas->toplevel) ? GTK_WINDOW(canvas->toplevel) : nullptr;
}

// Shows the busy cursor (after committing the current tool's pending edit)
// for the lifetime of the guard.  The work may run a main loop in which the
// window is closed: holding the drawing area keeps the canvas until then.
class BusyCursor {
 public:
  explicit BusyCursor(VorpixCanvas *canvas)
      : canvas_(canvas), area_(g_object_ref(canvas->drawing_area)) {
    canvas_begin_busy_cursor(canvas_);
  }
  ~BusyCursor() {
    canvas_end_busy_cursor(canvas_);
    g_object_unref(area_);
  }
  BusyCursor(const BusyCursor &) = delete;
  BusyCursor &operator=(const BusyCursor &) = delete;

 private:
  VorpixCanvas *canvas_;
  gpointer area_;
};

// A menu command that may change the picture: the picture before it is kept
// for undo, and becomes a step when the change marks the drawing modified.
class CommandStep {
 public:
  // replacing: the command gives up the pixmap instead of painting on it.
  explicit CommandStep(VorpixCanvas *canvas, bool replacing = false) : canvas_(canvas) {
    replacing ? history_begin_replacing(canvas_) : history_begin(canvas_);
  }
  ~CommandStep() { history_end(canvas_); }
  CommandStep(const CommandStep &) = delete;
  CommandStep &operator=(const CommandStep &) = delete;

 private:
  VorpixCanvas *canvas_;
};

// Undo and redo end what the current tool has in progress the way the tool
// ends it, so no tool keeps state about a picture that is gone: typed text
// is committed (itself a step), paste mode is left.
void undo_or_redo(GtkWidget *widget, int (*step)(VorpixCanvas *)) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  canvas_end_paste_mode(canvas);
  canvas_commit_change(canvas);
  step(canvas);
}

// True when the drawing's unsaved changes are saved or given up.  The
// current tool's pending edit (typed text) goes into the picture first: it
// belongs to this picture, and the prompt must know of it.
struct SettleWait {
  GMainLoop *loop;
  guint idle;
  guint limit;
};

gboolean on_settle_idle(gpointer data) {
  SettleWait *wait = static_cast<SettleWait *>(data);
  wait->idle = 0;
  g_main_loop_quit(wait->loop);
  return FALSE;
}

gboolean on_settle_limit(gpointer data) {
  SettleWait *wait = static_cast<SettleWait *>(data);
  wait->limit = 0;
  g_main_loop_quit(wait->loop);
  return FALSE;
}

// The menu and the prompt are unmapped by now, but what they covered shows
// only once its windows have repainted it.  After a round trip the server has
// taken the unmaps and queued its exposures; the toolkit handles them, and
// repaints, at higher priorities than a low idle, so when that idle runs our
// windows are whole again.  A busy stream of events could hold the idle back:
// the limit bounds the wait.  A last round trip gives other programs'
// repaints, sent meanwhile, their place before the screen is read.  False
// when widget went away meanwhile.
bool let_the_screen_settle(GtkWidget *widget) {
  GdkDisplay *display = gtk_widget_get_display(widget);
  g_object_add_weak_pointer(G_OBJECT(widget), reinterpret_cast<gpointer *>(&widget));
  gdk_display_sync(display);
  SettleWait wait = {g_main_loop_new(nullptr, FALSE), 0, 0};
  wait.idle = g_idle_add_full(G_PRIORITY_LOW, on_settle_idle, &wait, nullptr);
  wait.limit = g_timeout_add(kSettleLimitMs, on_settle_limit, &wait);
  g_main_loop_run(wait.loop);
  if (wait.idle) g_source_remove(wait.idle);
  if (wait.limit) g_source_remove(wait.limit);
  g_main_loop_unref(wait.loop);
  if (!widget) return false;
  g_object_remove_weak_pointer(G_OBJECT(widget), reinterpret_cast<gpointer *>(&widget));
  gdk_window_process_all_updates();
  gdk_display_sync(display);
  return true;
}

bool may_replace_drawing(VorpixCanvas *canvas) {
  canvas_commit_change(canvas);
  return drawing_prompt_to_save(canvas->drawing) == 0;
}

void save(GtkWidget *widget) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  BusyCursor busy(canvas);
  if (canvas->drawing->untitled)
    file_save_as_dialog(canvas);
  else
    drawing_save(canvas->drawing);
}

void save_as(GtkWidget *widget) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  BusyCursor busy(canvas);
  file_save_as_dialog(canvas);
}

void new_canvas(GtkWidget *widget) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  if (may_replace_drawing(canvas)) file_new_dialog(canvas);
}

void open_file(GtkWidget *widget) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  BusyCursor busy(canvas);
  if (may_replace_drawing(canvas)) file_open_dialog(canvas);
}

}  // namespace

int menu_open_path(GtkWidget *widget, const char *filename) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  BusyCursor busy(canvas);
  if (!may_replace_drawing(canvas) || !canvas_is_open(canvas)) return 0;
  return file_open_path(canvas, filename);
}

namespace {

void print_drawing(GtkWidget *widget, void (*run)(VorpixImage *, const char *)) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  BusyCursor busy(canvas);
  VorpixDrawing *drawing = canvas->drawing;
  VorpixImage *image = drawing_create_image(drawing);
  if (!image) {
    size_dialog_show_no_memory(window_of(canvas), _("print the picture"));
    return;
  }
  run(image, drawing->filename->str);
  image_free(image);
}

// Mirrors the whole picture.  The selection outline is taken off first: it
// is drawn by inverting pixels.
void flip(GtkWidget *item, int (*mirror)(VorpixImage *)) {
  VorpixCanvas *canvas = canvas_lookup(item);
  VorpixDrawing *drawing = canvas->drawing;
  bool done = false;
  {
    CommandStep step(canvas);
    canvas_focus_lost(canvas);
    VorpixImage *image = drawing_create_image(drawing);
    done = image && mirror(image) == 0;
    if (done) {
      image_draw_on_pixmap(image, &drawing->backing_pixmap, drawing_paint_gc(drawing));
      drawing_modified(drawing);
      canvas_redraw(canvas);
    }
    if (image) image_free(image);
    canvas_focus_gained(canvas);
  }
  if (!done) size_dialog_show_no_memory(window_of(canvas), _("flip the picture"));
}

// The rotation a rotate item's name asks for; false when the name does not
// fit "rotate_%c%d_menu" entirely.
bool rotation_of(const char *name, int *degrees) {
  char direction = 0;
  int number = 0;
  int length = -1;
  if (!name || sscanf(name, "rotate_%c%d_menu%n", &direction, &number, &length) != 2 ||
      length != static_cast<int>(strlen(name)))
    return false;
  *degrees = direction == 'p' ? kFullTurn - number : number;
  return true;
}

void set_as_background(GtkWidget *widget) {
  drawing_copy_to_desktop(canvas_lookup(widget)->drawing);
}

// Holds the drawing area, and so the canvas, across a dialog's nested loop
// in which the window may be closed.
class CanvasHold {
 public:
  explicit CanvasHold(VorpixCanvas *canvas) : area_(g_object_ref(canvas->drawing_area)) {}
  ~CanvasHold() { g_object_unref(area_); }
  CanvasHold(const CanvasHold &) = delete;
  CanvasHold &operator=(const CanvasHold &) = delete;

 private:
  gpointer area_;
};

// A command that changes the picture's size: under the busy cursor, one undo
// step, the outline emptied.  what names the work for the message when the
// memory for it cannot be had.  Revert leaves the drawing unmodified, every
// other command marks it.
template <typename Work>
void change_size(VorpixCanvas *canvas, const char *what, Work work, bool marks = true) {
  DrawingSizeResult result;
  {
    BusyCursor busy(canvas);
    CommandStep step(canvas, true);
    canvas_focus_lost(canvas);
    result = work(canvas->drawing);
    if (!canvas_is_open(canvas)) return;  // closed while the work ran
    if (result == DRAWING_SIZE_DONE) {
      if (marks)
        drawing_modified(canvas->drawing);
      else
        history_record(canvas);
      canvas_resize(canvas);
    }
    canvas_focus_gained(canvas);
  }
  if (result == DRAWING_SIZE_INVALID) size_dialog_show_invalid(window_of(canvas));
  if (result == DRAWING_SIZE_NO_MEMORY) size_dialog_show_no_memory(window_of(canvas), what);
}

}  // namespace

void on_save_menu_activate(GtkWidget *widget, gpointer) { save(widget); }
void on_save_button_clicked(GtkWidget *widget, gpointer) { save(widget); }
void on_save_as_menu_activate(GtkWidget *widget, gpointer) { save_as(widget); }
void on_save_as_button_clicked(GtkWidget *widget, gpointer) { save_as(widget); }
void on_new_file_menu_activate(GtkWidget *widget, gpointer) { new_canvas(widget); }
void on_new_button_clicked(GtkWidget *widget, gpointer) { new_canvas(widget); }
void on_open_menu_activate(GtkWidget *widget, gpointer) { open_file(widget); }
void on_open_button_clicked(GtkWidget *widget, gpointer) { open_file(widget); }
void on_print_menu_activate(GtkWidget *widget, gpointer) { print_drawing(widget, do_print); }
void on_print_button_clicked(GtkWidget *widget, gpointer) { print_drawing(widget, do_print); }
void on_print_preview_activate(GtkWidget *widget, gpointer) {
  print_drawing(widget, do_print_preview);
}

void on_undo_menu_activate(GtkWidget *widget, gpointer) { undo_or_redo(widget, history_undo); }
void on_redo_menu_activate(GtkWidget *widget, gpointer) { undo_or_redo(widget, history_redo); }
void on_undo_button_clicked(GtkWidget *widget, gpointer) { undo_or_redo(widget, history_undo); }
void on_redo_button_clicked(GtkWidget *widget, gpointer) { undo_or_redo(widget, history_redo); }

void on_clear_menu_activate(GtkWidget *widget, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  CommandStep step(canvas);
  canvas_clear(canvas);
}

void on_select_all_activate(GtkWidget *widget, gpointer) {
  canvas_select_all(canvas_lookup(widget));
}

// Effects work on the whole picture whatever the selection; the current
// tool's pending edit stays pending.
void on_image_effect_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  VorpixDrawing *drawing = canvas->drawing;
  VorpixEffectFunc effect = image_lookup_effect(gtk_widget_get_name(item));
  g_assert(effect);
  const char *name = work_command_name(canvas->toplevel, gtk_widget_get_name(item));
  CanvasHold hold(canvas);
  WorkEnd end = WORK_NO_MEMORY;
  {
    CommandStep step(canvas);
    VorpixImage *source = drawing_create_image(drawing);
    // The effect writes every colour and the input's alpha comes along:
    // nothing to clear.
    VorpixImage *result =
        source ? image_new_unfilled(drawing->width, drawing->height) : nullptr;
    if (result)
      end = work_run(canvas->toplevel, name, WORK_CLOSE_DROPS, [=] {
        image_apply_effect(effect, source, result);
        return 0;
      });
    // A window closed meanwhile drops the result.
    if (end == WORK_DONE) {
      image_draw_on_pixmap(result, &drawing->backing_pixmap, drawing_paint_gc(drawing));
      drawing_modified(drawing);
    }
    if (source) image_free(source);
    if (result) image_free(result);
  }
  if (end == WORK_CLOSED) return;
  if (end == WORK_DONE) {
    canvas_redraw(canvas);
    return;
  }
  // Its scratch memory could not be had; the picture is untouched.
  gchar *what = g_strdup_printf(_("apply %s"), *name ? name : _("the effect"));
  size_dialog_show_no_memory(window_of(canvas), what);
  g_free(what);
}

void on_flip_x_axis_menu_activate(GtkWidget *item, gpointer) { flip(item, image_flip_x); }
void on_flip_y_axis_menu_activate(GtkWidget *item, gpointer) { flip(item, image_flip_y); }

void on_rotate_menu_activate(GtkWidget *item, gpointer) {
  int degrees = 0;
  if (!rotation_of(gtk_widget_get_name(item), &degrees)) return;
  VorpixCanvas *canvas = canvas_lookup(item);
  CanvasHold hold(canvas);
  bool done = false;
  {
    CommandStep step(canvas, true);
    canvas_focus_lost(canvas);
    done = drawing_rotate(canvas->drawing, degrees, gtk_widget_get_name(item));
    if (!canvas_is_open(canvas)) return;  // closed while the turn was worked out
    if (done) canvas_resize(canvas);
    canvas_focus_gained(canvas);
  }
  if (!done) size_dialog_show_no_memory(window_of(canvas), _("rotate the picture"));
}

void on_crop_menu_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  if (!canvas_has_selection(canvas)) return;
  // A copy: in paste mode the outline is the floating piece's, and leaving
  // paste mode (the piece stays where it is) empties it.
  VorpixPointArray *outline = point_array_new();
  point_array_copy(outline, selection_points(canvas->selection));
  canvas_end_paste_mode(canvas);
  change_size(canvas, _("crop the picture"),
              [outline](VorpixDrawing *drawing) { return drawing_crop(drawing, outline); });
  point_array_delete(outline);
}

void on_canvas_size_menu_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  canvas_end_paste_mode(canvas);
  CanvasHold hold(canvas);
  const int width = canvas->drawing->width, height = canvas->drawing->height;
  int new_width = 0, new_height = 0, anchor = IMAGE_ANCHOR_TOP_LEFT;
  if (!size_dialog_canvas_size(window_of(canvas), width, height, &new_width, &new_height,
                               &anchor) ||
      !canvas_is_open(canvas))
    return;
  if (new_width == width && new_height == height) return;
  change_size(canvas, _("change the canvas size"), [=](VorpixDrawing *drawing) {
    return drawing_resize_canvas(drawing, new_width, new_height, anchor);
  });
}

void on_scale_image_menu_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  canvas_end_paste_mode(canvas);
  CanvasHold hold(canvas);
  const int width = canvas->drawing->width, height = canvas->drawing->height;
  int new_width = 0, new_height = 0;
  ImageScaleKind kind = IMAGE_SCALE_SMOOTH;
  if (!size_dialog_scale(window_of(canvas), width, height, &new_width, &new_height, &kind) ||
      !canvas_is_open(canvas))
    return;
  if (new_width == width && new_height == height) return;
  change_size(canvas, _("scale the picture"), [=](VorpixDrawing *drawing) {
    return drawing_scale(drawing, new_width, new_height, kind);
  });
}

void on_rotate_by_menu_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  canvas_end_paste_mode(canvas);
  CanvasHold hold(canvas);
  double degrees = 0;
  if (!size_dialog_rotate(window_of(canvas), &degrees) || !canvas_is_open(canvas)) return;
  if (std::fmod(degrees, kFullTurn) == 0) return;  // a whole turn changes nothing
  change_size(canvas, _("rotate the picture"),
              [=](VorpixDrawing *drawing) { return drawing_rotate_by(drawing, degrees); });
}

// Reloads the drawing's file, as one step that can be undone.
void on_revert_menu_activate(GtkWidget *item, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(item);
  if (canvas->drawing->untitled || !canvas->drawing->modified) return;
  CanvasHold hold(canvas);
  gchar *filename = g_strdup(canvas->drawing->filename->str);
  if (size_dialog_confirm_revert(window_of(canvas), filename) && canvas_is_open(canvas)) {
    canvas_end_paste_mode(canvas);
    bool unreadable = false;
    change_size(
        canvas, _("revert the picture"),
        [&](VorpixDrawing *drawing) {
          DrawingSizeResult result = drawing_revert(drawing, canvas->drawing_area);
          unreadable = result == DRAWING_SIZE_UNREADABLE;
          return result;
        },
        false);
    if (unreadable) file_show_cannot_open(canvas, filename);
  }
  g_free(filename);
}

void on_get_desktop_activate(GtkWidget *widget, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  if (!may_replace_drawing(canvas)) return;
  // The window may be closed while the wait runs.
  if (!let_the_screen_settle(canvas->drawing_area)) return;
  // A failed capture keeps the old drawing, without a message.
  if (VorpixDrawing *desktop = drawing_new_from_desktop(canvas->drawing_area, canvas->gc))
    canvas_set_drawing(canvas, desktop);
}

// The server tiles the pixmap from the root window's corner whichever item
// was chosen.
void on_change_background_menu_activate(GtkWidget *widget, gpointer) { set_as_background(widget); }
void on_set_as_background_centered_activate(GtkWidget *widget, gpointer) {
  set_as_background(widget);
}
void on_set_as_background_titled_activate(GtkWidget *widget, gpointer) {
  set_as_background(widget);
}

void on_line_width_combo_combo_entry_changed(GtkEditable *entry, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(GTK_WIDGET(entry));
  VorpixDrawing *drawing = canvas->drawing;
  gchar *tmp = gtk_editable_get_chars(entry, 0, -1);
  g_assert(tmp);
  // An empty entry means the user is still typing.
  if (!*tmp) {
    g_free(tmp);
    return;
  }
  int width = read_int(tmp);
  g_free(tmp);

  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  // The focus stays in the entry: the user may be typing a longer number.
  if (width >= 1) {
    gdk_gc_set_line_attributes(drawing->gc, MIN(width, kMaxLineWidth), values.line_style,
                               values.cap_style, values.join_style);
    return;
  }
  // Writing the current width back is no new choice: keep this handler out.
  gchar *current = g_strdup_printf("%d", values.line_width);
  constexpr auto kMatch = G_SIGNAL_MATCH_FUNC;
  auto self = reinterpret_cast<gpointer>(on_line_width_combo_combo_entry_changed);
  g_signal_handlers_block_matched(entry, kMatch, 0, 0, nullptr, self, nullptr);
  gtk_editable_delete_text(entry, 0, -1);
  gint position = 0;
  gtk_editable_insert_text(entry, current, -1, &position);
  gtk_editable_set_position(entry, -1);
  g_signal_handlers_unblock_matched(entry, kMatch, 0, 0, nullptr, self, nullptr);
  g_free(current);
}

void on_line_width_combo_entry_activate(GtkEntry *entry, gpointer) {
  gtk_widget_grab_focus(canvas_lookup(GTK_WIDGET(entry))->drawing_area);
}

// Typing makes the combo's choice -1; only a pick from the list sets one.
void on_line_width_combo_changed(GtkComboBox *combo, gpointer) {
  if (gtk_combo_box_get_active(combo) >= 0)
    gtk_widget_grab_focus(canvas_lookup(GTK_WIDGET(combo))->drawing_area);
}

void on_fontpicker_font_set(GtkFontButton *button, gpointer) {
  VorpixTool *text = tool_palette_get_tool(GTK_WIDGET(button), "text");
  if (text && text->attribute)
    text->attribute(text, TOOL_ATTRIBUTE_FONT, gtk_font_button_get_font_name(button));
}

void on_print_setup_activate(GtkWidget *, gpointer) {}
void on_reset_menu_activate(GtkWidget *, gpointer) {}
void on_invert_menu_activate(GtkWidget *, gpointer) {}
void on_windows_menu_item_activate(GtkWidget *, gpointer) {}
void on_small_label_realize(GtkWidget *, gpointer) {}
void on_line_width_combo_add(GtkContainer *, GtkWidget *, gpointer) {}
void on_line_width_combo_check_resize(GtkContainer *, gpointer) {}
void on_fontpicker_realize(GtkWidget *, gpointer) {}
void on_fontpicker_map(GtkWidget *, gpointer) {}
gboolean on_fontpicker_map_event(GtkWidget *, GdkEvent *, gpointer) { return FALSE; }
void on_font_button_clicked(GtkWidget *, gpointer) {}
void on_bold_button_clicked(GtkWidget *, gpointer) {}
void on_italic_button_clicked(GtkWidget *, gpointer) {}
void on_underline_button_clicked(GtkWidget *, gpointer) {}

// Cut commits the current tool's edit first; that commit is a step of its
// own, before the picture is taken for the cut.
void on_cut_menu_activate(GtkWidget *widget, gpointer) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  canvas_commit_change(canvas);
  CommandStep step(canvas);
  canvas_cut(canvas);
}

void on_copy_menu_activate(GtkWidget *widget, gpointer) { canvas_copy(canvas_lookup(widget)); }

void on_paste_menu_activate(GtkWidget *widget, gpointer) { canvas_paste(canvas_lookup(widget)); }
