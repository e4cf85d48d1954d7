#include "document/canvas.h"

#include <gdk/gdkkeysyms.h>
#include <glade/glade.h>

#include <cmath>

#include "document/clipboard.h"
#include "document/decoder.h"
#include "document/drawing.h"
#include "document/file.h"
#include "document/history.h"
#include "document/view.h"
#include "document/work.h"
#include "panels/gtkscrollframe.h"
#include "shell/util.h"
#include "tools/paste.h"
#include "tools/selection.h"
#include "tools/tool_palette.h"

namespace {

constexpr int kBlankWidth = 640;
constexpr int kBlankHeight = 480;
// Every event kind from exposure through visibility notification.
constexpr int kDrawingAreaEvents = 0x3fffe;

constexpr char kCropItem[] = "crop_menu";

// Command-line file names left by the toolkit, consumed by the first canvas.
char **pending_files = nullptr;

VorpixTool *current_tool(gpointer data) { return static_cast<VorpixCanvas *>(data)->tool; }

VorpixCanvas *as_canvas(gpointer data) { return static_cast<VorpixCanvas *>(data); }

// What a tool did during an event shows on the window before the next one.
class FlushAfter {
 public:
  explicit FlushAfter(gpointer data) : canvas_(as_canvas(data)) {}
  ~FlushAfter() {
    if (canvas_->view) view_flush(canvas_->view);
  }
  FlushAfter(const FlushAfter &) = delete;
  FlushAfter &operator=(const FlushAfter &) = delete;

 private:
  VorpixCanvas *canvas_;
};

gboolean on_button_press(GtkWidget *, GdkEventButton *event, gpointer data) {
  VorpixTool *tool = current_tool(data);
  if (event->button == 1 && tool && tool->button_press) {
    FlushAfter flush(data);
    // The extra press of a double or triple click belongs to its click.
    if (event->type == GDK_BUTTON_PRESS) history_pointer_press(as_canvas(data));
    int x, y;
    view_window_to_picture(as_canvas(data)->view, event->x, event->y, &x, &y);
    tool->button_press(tool, x, y);
  }
  return FALSE;
}

gboolean on_button_release(GtkWidget *, GdkEventButton *event, gpointer data) {
  if (event->button != 1) return FALSE;
  FlushAfter flush(data);
  VorpixTool *tool = current_tool(data);
  if (tool && tool->button_release) {
    int x, y;
    view_window_to_picture(as_canvas(data)->view, event->x, event->y, &x, &y);
    tool->button_release(tool, x, y);
  }
  history_pointer_release(as_canvas(data));
  return FALSE;
}

gboolean on_motion(GtkWidget *, GdkEventMotion *event, gpointer data) {
  double x, y;
  GdkModifierType state;
  if (event->is_hint) {
    // A hint carries a stale position: ask for the pointer's current one.
    // The server's state is as current, and may already hold a press still
    // queued behind the hint: it is a drag only if it was one when sent.
    GdkModifierType now;
    int pointer_x, pointer_y;
    gdk_window_get_pointer(event->window, &pointer_x, &pointer_y, &now);
    x = pointer_x;
    y = pointer_y;
    state = static_cast<GdkModifierType>(event->state & now);
  } else {
    x = event->x;
    y = event->y;
    state = static_cast<GdkModifierType>(event->state);
  }
  VorpixView *view = as_canvas(data)->view;
  view_pointer_moved(view, static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
  VorpixTool *tool = current_tool(data);
  if ((state & GDK_BUTTON1_MASK) && tool && tool->motion) {
    FlushAfter flush(data);
    history_pointer_motion(as_canvas(data));
    int px, py;
    view_window_to_picture(view, x, y, &px, &py);
    tool->motion(tool, px, py);
  }
  return TRUE;
}

gboolean on_leave(GtkWidget *, GdkEventCrossing *, gpointer data) {
  view_pointer_left(as_canvas(data)->view);
  return FALSE;
}

// Control and the wheel zoom about the pointer; the plain wheel goes on to
// the scroll frame, which scrolls.
gboolean on_scroll(GtkWidget *, GdkEventScroll *event, gpointer data) {
  if (!(event->state & GDK_CONTROL_MASK)) return FALSE;
  if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN) return FALSE;
  VorpixView *view = as_canvas(data)->view;
  const int step = event->direction == GDK_SCROLL_UP ? 1 : -1;
  view_set_level_at(view, view->level + step, static_cast<int>(std::floor(event->x)),
                    static_cast<int>(std::floor(event->y)));
  return TRUE;
}

gboolean on_expose(GtkWidget *, GdkEventExpose *event, gpointer data) {
  return view_expose(as_canvas(data)->view, event);
}

gboolean on_focus_in(GtkWidget *, GdkEventFocus *, gpointer data) {
  canvas_focus_gained(static_cast<VorpixCanvas *>(data));
  return FALSE;
}

gboolean on_focus_out(GtkWidget *, GdkEventFocus *, gpointer data) {
  canvas_focus_lost(static_cast<VorpixCanvas *>(data));
  return FALSE;
}

// A key press the current tool does not take for itself may choose a tool or
// the colours.
gboolean on_key_press(GtkWidget *area, GdkEventKey *event, gpointer data) {
  VorpixCanvas *canvas = as_canvas(data);
  // A picture under work takes no tool keys (nor typed text).
  if (work_busy(area)) return TRUE;
  // Escape first ends a wait for the clipboard, whatever the tool.
  if (event->keyval == GDK_Escape && canvas_paste_cancel(canvas)) return TRUE;
  VorpixTool *tool = canvas->tool;
  if (tool && tool->takes_keys && tool->takes_keys(tool))
    return tool->key_press && tool->key_press(tool, event);
  if (!tool_palette_key_press(area, event)) return FALSE;
  canvas->claimed_keycode = event->hardware_keycode;
  return TRUE;
}

gboolean on_key_release(GtkWidget *area, GdkEventKey *event, gpointer data) {
  VorpixCanvas *canvas = as_canvas(data);
  if (work_busy(area)) return TRUE;
  // The release of T, which chose the text tool, is no T typed.
  if (canvas->claimed_keycode && event->hardware_keycode == canvas->claimed_keycode) {
    canvas->claimed_keycode = 0;
    return FALSE;
  }
  FlushAfter flush(data);
  VorpixTool *tool = current_tool(data);
  if (tool && tool->key_release) tool->key_release(tool, event);
  return FALSE;
}

GdkGC *create_shared_gc(GdkWindow *window) {
  GdkGC *gc = gdk_gc_new(window);
  g_assert(gc);
  GdkColormap *colormap = gdk_colormap_get_system();
  GdkColor black, white;
  gdk_color_black(colormap, &black);
  gdk_color_white(colormap, &white);
  gdk_gc_set_foreground(gc, &black);
  gdk_gc_set_background(gc, &white);
  gdk_gc_set_line_attributes(gc, 1, GDK_LINE_SOLID, GDK_CAP_ROUND, GDK_JOIN_ROUND);
  return gc;
}

// A command-line file that could not be opened, told on its window once the
// window is up; nothing is told when the window has gone by then.
struct CannotOpenNotice {
  GtkWidget *toplevel;
  gchar *name;
};

gboolean on_cannot_open_idle(gpointer data) {
  CannotOpenNotice *notice = static_cast<CannotOpenNotice *>(data);
  if (notice->toplevel) {
    g_object_remove_weak_pointer(G_OBJECT(notice->toplevel),
                                 reinterpret_cast<gpointer *>(&notice->toplevel));
    if (VorpixCanvas *canvas = canvas_lookup(notice->toplevel))
      file_show_cannot_open(canvas, notice->name);
  }
  g_free(notice->name);
  delete notice;
  return FALSE;
}

void tell_cannot_open_later(GtkWidget *toplevel, const char *name) {
  CannotOpenNotice *notice = new CannotOpenNotice{toplevel, g_strdup(name)};
  g_object_add_weak_pointer(G_OBJECT(toplevel), reinterpret_cast<gpointer *>(&notice->toplevel));
  g_idle_add(on_cannot_open_idle, notice);
}

// The canvas of a drawing area whose window is still open, or null.
VorpixCanvas *open_canvas_of(GtkWidget *area) {
  if (!GTK_WIDGET_REALIZED(area) || (GTK_OBJECT_FLAGS(area) & GTK_IN_DESTRUCTION)) return nullptr;
  return static_cast<VorpixCanvas *>(g_object_get_data(G_OBJECT(area), "user_data"));
}

struct FirstPicture {
  GtkWidget *area;  // one reference
  gchar *name;      // owned
};

// Reads the command-line file once the window is up, so that it maps as
// quickly as without one; the blank picture stays if the file cannot be read.
gboolean load_first_picture(gpointer data) {
  auto *first = static_cast<FirstPicture *>(data);
  GtkWidget *area = first->area;
  VorpixDrawing *drawing = nullptr;
  GError *error = nullptr;
  if (VorpixCanvas *canvas = open_canvas_of(area))
    drawing = drawing_new_from_file(area, canvas->gc, first->name, &error);
  // The user who cancelled the reading needs no word that it failed.
  const bool cancelled = g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CANCELLED);
  g_clear_error(&error);
  if (drawing) {
    if (VorpixCanvas *canvas = open_canvas_of(area))
      canvas_set_drawing(canvas, drawing);
    else
      drawing_destroy(drawing);  // the window was closed meanwhile
  } else if (!cancelled) {
    g_message("Failed to open drawing file %s", first->name);
    if (open_canvas_of(area)) tell_cannot_open_later(gtk_widget_get_toplevel(area), first->name);
  }
  g_object_unref(area);
  g_free(first->name);
  g_free(first);
  return G_SOURCE_REMOVE;
}

// A blank picture; the first canvas of the process then loads the first
// command-line file into it (an empty name is logged at once).
VorpixDrawing *create_first_drawing(GtkWidget *area, GdkGC *gc) {
  if (pending_files) {
    const char *name = pending_files[0];
    if (name && *name) {
      FirstPicture *first = g_new0(FirstPicture, 1);
      first->area = GTK_WIDGET(g_object_ref(area));
      first->name = g_strdup(name);
      g_idle_add(load_first_picture, first);
    } else {
      g_message("Failed to open drawing file %s", name ? name : "");
      tell_cannot_open_later(gtk_widget_get_toplevel(area), name ? name : "");
    }
    g_free(pending_files);
    pending_files = nullptr;
  }
  VorpixDrawing *drawing = drawing_new_blank(area, gc, kBlankWidth, kBlankHeight);
  g_assert(drawing);
  return drawing;
}

// Crop to Selection is there exactly while there is a selection.
void on_selection_changed(VorpixSelection *, gpointer data) {
  VorpixCanvas *canvas = as_canvas(data);
  GladeXML *xml = canvas->toplevel ? glade_get_widget_tree(canvas->toplevel) : nullptr;
  if (GtkWidget *crop = xml ? glade_xml_get_widget(xml, kCropItem) : nullptr)
    gtk_widget_set_sensitive(crop, canvas_has_selection(canvas));
  if (canvas->view) view_selection_changed(canvas->view);
}

// Runs when the drawing area is realized.
void canvas_new(GtkWidget *area, gpointer) {
  GdkGC *gc = create_shared_gc(area->window);

  VorpixCanvas *canvas = VORPIX_CANVAS(g_object_new(VORPIX_TYPE_CANVAS, nullptr));
  g_assert(canvas);
  canvas->toplevel = gtk_widget_get_toplevel(area);
  canvas->drawing_area = area;
  canvas->gc = gc;
  canvas->busy_cursor = gdk_cursor_new(GDK_WATCH);
  canvas->arrow_cursor = gdk_cursor_new(GDK_LEFT_PTR);
  canvas->cursor = canvas->arrow_cursor;
  canvas->paste_tool = paste_create("paste");
  canvas->selection = selection_new(area);
  canvas->selection->changed = on_selection_changed;
  canvas->selection->changed_data = canvas;

  VorpixDrawing *drawing = create_first_drawing(area, gc);
  canvas->drawing = drawing;
  selection_size(canvas->selection, drawing->width, drawing->height);
  canvas->view = view_new(canvas);

  g_object_set_data_full(G_OBJECT(area), "user_data", canvas, canvas_destroy);

  g_signal_connect(area, "button_press_event", G_CALLBACK(on_button_press), canvas);
  g_signal_connect(area, "button_release_event", G_CALLBACK(on_button_release), canvas);
  g_signal_connect(area, "motion_notify_event", G_CALLBACK(on_motion), canvas);
  g_signal_connect(area, "expose_event", G_CALLBACK(on_expose), canvas);
  g_signal_connect(area, "focus_in_event", G_CALLBACK(on_focus_in), canvas);
  g_signal_connect(area, "focus_out_event", G_CALLBACK(on_focus_out), canvas);
  g_signal_connect(area, "key_release_event", G_CALLBACK(on_key_release), canvas);
  g_signal_connect(area, "key_press_event", G_CALLBACK(on_key_press), canvas);
  g_signal_connect(area, "leave_notify_event", G_CALLBACK(on_leave), canvas);
  g_signal_connect(area, "scroll_event", G_CALLBACK(on_scroll), canvas);
}

void show_cursor(VorpixCanvas *canvas, GdkCursor *cursor) {
  canvas->cursor = cursor;
  gdk_window_set_cursor(canvas->drawing->window, cursor);
}

}  // namespace

GType vorpix_canvas_get_type() {
  static GType type = 0;
  if (!type) {
    type = g_type_register_static_simple(G_TYPE_OBJECT, "VorpixCanvas", sizeof(VorpixCanvasClass),
                                         nullptr, sizeof(VorpixCanvas), nullptr,
                                         static_cast<GTypeFlags>(0));
  }
  return type;
}

void canvas_init_arg(int argc, char **argv) {
  if (argc < 2) return;
  g_free(pending_files);
  pending_files = g_new0(char *, argc - 1);
  for (int i = 1; i < argc; i++) pending_files[i - 1] = argv[i];
}

// The drawing area is the size of the visible part of the picture and takes
// the frame's adjustments itself: a zoomed picture can be far larger than an
// X window may be.
GtkWidget *create_drawing_area_in_scroll_frame(gchar *, gchar *, gchar *, gint, gint) {
  GtkWidget *frame = gtk_scroll_frame_new(nullptr, nullptr);
  gtk_scroll_frame_set_policy(GTK_SCROLL_FRAME(frame), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);

  GtkWidget *area = view_area_new();
  gtk_widget_set_name(area, "drawing_area");
  g_object_set_data_full(G_OBJECT(frame), "drawing_area", g_object_ref(area), g_object_unref);
  gtk_container_add(GTK_CONTAINER(frame), area);

  gtk_widget_set_events(area, kDrawingAreaEvents);
  GTK_WIDGET_SET_FLAGS(area, GTK_CAN_FOCUS | GTK_CAN_DEFAULT);
  g_signal_connect(area, "realize", G_CALLBACK(canvas_new), nullptr);
  gtk_widget_show(area);
  return frame;
}

bool canvas_blank_fits(VorpixCanvas *canvas) {
  return drawing_blank_fits(canvas->drawing_area->window, kBlankWidth, kBlankHeight);
}

VorpixCanvas *canvas_lookup(GtkWidget *widget) {
  GtkWidget *cw = lookup_widget(widget, "drawing_area");
  g_assert(cw);
  VorpixCanvas *canvas = static_cast<VorpixCanvas *>(g_object_get_data(G_OBJECT(cw), "user_data"));
  g_assert(canvas);
  return canvas;
}

void canvas_set_tool(VorpixCanvas *canvas, VorpixTool *tool) {
  if (canvas->tool && canvas->tool->deselect) canvas->tool->deselect(canvas->tool);
  canvas->tool = tool;
  GdkCursor *cursor = canvas->arrow_cursor;
  if (tool) {
    tool->drawing = canvas->drawing;
    tool->canvas = canvas;
    if (tool->select) tool->select(tool);
    cursor = tool->cursor;
  }
  show_cursor(canvas, cursor);
}

void canvas_set_drawing(VorpixCanvas *canvas, VorpixDrawing *new_drawing) {
  g_assert(canvas);
  g_assert(new_drawing);
  // The floating piece stays where it was put in the old picture, as if the
  // user had clicked elsewhere: paste mode must not go on in the new one.
  canvas_end_paste_mode(canvas);
  VorpixDrawing *old = canvas->drawing;
  canvas->drawing = new_drawing;
  selection_remove_points(canvas->selection);
  if (canvas->tool) canvas->tool->drawing = new_drawing;
  selection_size(canvas->selection, new_drawing->width, new_drawing->height);
  history_clear(canvas);
  drawing_destroy(old);
  view_picture_changed(canvas->view);
}

void canvas_redraw(VorpixCanvas *canvas) {
  if (canvas->view) {
    view_redraw(canvas->view);
    return;
  }
  GdkWindow *window = canvas->drawing_area->window;
  if (!window) return;
  int width, height;
  gdk_drawable_get_size(window, &width, &height);
  gtk_widget_queue_draw_area(canvas->drawing_area, 0, 0, width, height);
}

void canvas_resize(VorpixCanvas *canvas) {
  VorpixDrawing *drawing = canvas->drawing;
  selection_remove_points(canvas->selection);
  selection_size(canvas->selection, drawing->width, drawing->height);
  view_picture_changed(canvas->view);
}

void canvas_commit_change(VorpixCanvas *canvas) {
  VorpixTool *tool = canvas->tool;
  if (tool && tool->commit_change) tool->commit_change(tool);
}

void canvas_begin_busy_cursor(VorpixCanvas *canvas) {
  canvas_commit_change(canvas);
  gdk_window_set_cursor(canvas->toplevel->window, canvas->busy_cursor);
  gdk_window_set_cursor(canvas->drawing_area->window, canvas->busy_cursor);
  gdk_flush();
}

int canvas_is_open(VorpixCanvas *canvas) {
  GtkWidget *area = canvas->drawing_area;
  return GTK_WIDGET_REALIZED(area) && !(GTK_OBJECT_FLAGS(area) & GTK_IN_DESTRUCTION);
}

void canvas_end_busy_cursor(VorpixCanvas *canvas) {
  // The window may have been closed while the busy work ran a main loop.
  if (!canvas_is_open(canvas)) return;
  gdk_window_set_cursor(canvas->toplevel->window, canvas->arrow_cursor);
  gdk_window_set_cursor(canvas->drawing_area->window,
                        canvas->cursor ? canvas->cursor : canvas->arrow_cursor);
  gdk_flush();
}

void canvas_focus_gained(VorpixCanvas *canvas) {
  selection_enable_flash(canvas->selection);
  canvas->has_focus = 1;
  VorpixTool *tool = canvas->tool;
  if (tool && tool->notify) tool->notify(tool, TOOL_NOTIFY_FOCUS_GAINED, nullptr);
}

void canvas_focus_lost(VorpixCanvas *canvas) {
  selection_disable_flash(canvas->selection);
  canvas->has_focus = 0;
  VorpixTool *tool = canvas->tool;
  if (tool && tool->notify) tool->notify(tool, TOOL_NOTIFY_FOCUS_LOST, nullptr);
}

int canvas_has_selection(VorpixCanvas *canvas) {
  return selection_num_points(canvas->selection) >= 3 ? 1 : 0;
}

void canvas_clear(VorpixCanvas *canvas) {
  if (canvas_has_selection(canvas)) {
    selection_disable_flash(canvas->selection);
    drawing_clear_selection(canvas->drawing, selection_points(canvas->selection));
    selection_enable_flash(canvas->selection);
  } else {
    drawing_clear(canvas->drawing);
    canvas_redraw(canvas);
  }
  drawing_modified(canvas->drawing);
}

void canvas_select_all(VorpixCanvas *canvas) {
  canvas_commit_change(canvas);
  GdkRectangle all = {0, 0, canvas->drawing->width, canvas->drawing->height};
  selection_set_rectangle(canvas->selection, all);
}

void canvas_destroy(gpointer data) {
  VorpixCanvas *canvas = static_cast<VorpixCanvas *>(data);
  g_assert(canvas);
  if (VorpixTool *tool = canvas->paste_tool) {
    g_assert(tool->destroy);
    tool->destroy(tool);
  }
  history_release(canvas);
  // The outline is erased as the selection goes: with the view gone first,
  // straight off the window, if there is still one.
  view_destroy(canvas->view);
  canvas->view = nullptr;
  drawing_destroy(canvas->drawing);
  selection_delete(canvas->selection);
  g_object_unref(canvas->gc);
  gdk_cursor_unref(canvas->busy_cursor);
  gdk_cursor_unref(canvas->arrow_cursor);
  g_object_unref(canvas);
}
