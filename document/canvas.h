// The canvas: one per main window.  It owns the window's drawing, selection
// outline and paste tool, points at the current tool, and turns the drawing
// area's input events into calls of that tool's operations.
#pragma once

#include <gtk/gtk.h>

struct VorpixDrawing;
struct VorpixSelection;
struct VorpixCanvas;
struct VorpixView;

// Tools receive and paint in picture pixels; the canvas converts every
// pointer position through its view, and the window shows the picture at the
// view's zoom.

// Codes of VorpixTool::attribute.
enum {
  TOOL_ATTRIBUTE_FOREGROUND = 0,  // value: const GdkColor*
  TOOL_ATTRIBUTE_BACKGROUND = 1,  // value: const GdkColor*
  TOOL_ATTRIBUTE_FILLED = 2,      // value: const int*, 0 or 1
  TOOL_ATTRIBUTE_FONT = 3,        // value: const char*, a Pango font description
};

// Events of VorpixTool::notify.
enum {
  TOOL_NOTIFY_FOCUS_GAINED = 0,
  TOOL_NOTIFY_FOCUS_LOST = 1,
};

// The header every tool record begins with: a tool's own record is a struct
// deriving from this one, allocated zero-filled by its create function.
// Every operation but destroy may be null; callers skip the missing ones.
struct VorpixTool {
  const char *name;         // not owned: the string given to the create function
  VorpixDrawing *drawing;   // not owned; written when the tool becomes current
  VorpixCanvas *canvas;     // not owned; written when the tool becomes current
  GdkCursor *cursor;        // owned; null shows the parent window's cursor

  void (*destroy)(VorpixTool *tool);  // releases everything, the record included
  void (*select)(VorpixTool *tool);
  void (*deselect)(VorpixTool *tool);
  // Returns 1 when the tool took the setting over, 0 otherwise.
  int (*attribute)(VorpixTool *tool, int code, const void *value);
  int (*notify)(VorpixTool *tool, int event, void *data);  // result ignored
  void (*button_press)(VorpixTool *tool, int x, int y);
  void (*motion)(VorpixTool *tool, int x, int y);
  void (*button_release)(VorpixTool *tool, int x, int y);
  void (*key_release)(VorpixTool *tool, const GdkEventKey *event);
  // After a part of the window was repainted from the picture: paint the
  // tool's marks again through the view's mark functions, which keep them
  // to the part repainted.
  void (*draw)(VorpixTool *tool);
  void (*commit_change)(VorpixTool *tool);  // put a pending edit into the pixmap
  // 1 while typed keys are the tool's own (text being typed): the canvas then
  // offers no key to the tool keys.  Null counts as 0.
  int (*takes_keys)(VorpixTool *tool);
  // A key press while the tool takes keys; 1 when the window must not act on
  // it as well (moving the keyboard focus, say).
  int (*key_press)(VorpixTool *tool, const GdkEventKey *event);
};

#define VORPIX_TYPE_CANVAS (vorpix_canvas_get_type())
#define VORPIX_CANVAS(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), VORPIX_TYPE_CANVAS, VorpixCanvas))
#define VORPIX_IS_CANVAS(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), VORPIX_TYPE_CANVAS))

struct VorpixCanvas {
  GObject parent_instance;

  GtkWidget *toplevel;           // not owned: the main window
  GtkWidget *drawing_area;       // not owned
  GdkGC *gc;                     // owned; shared by the drawings and every tool
  VorpixTool *tool;              // not owned; null means no tool
  VorpixDrawing *drawing;        // owned; never null after creation
  gint32 has_focus;              // 1 while the drawing area has keyboard focus
  VorpixSelection *selection;    // owned
  GdkCursor *cursor;             // not owned: the current tool's, or arrow_cursor
  GdkCursor *busy_cursor;        // owned
  GdkCursor *arrow_cursor;       // owned
  VorpixTool *paste_tool;        // owned
  VorpixTool *saved_tool;        // not owned: restored when paste mode ends
  guint16 claimed_keycode;       // the key whose press chose a tool or colours, or 0:
                                 // its release goes to no tool
  VorpixView *view;              // owned: zoom, scrolling and repainting of the window
};

struct VorpixCanvasClass {
  GObjectClass parent_class;
};

GType vorpix_canvas_get_type();

// Remembers the command-line file names (argv[1..]) for the first canvas.
void canvas_init_arg(int argc, char **argv);

// The canvas of the main window that contains widget.  Never null.
VorpixCanvas *canvas_lookup(GtkWidget *widget);
// Whether the X server can now hold the blank picture a new window's canvas
// starts with (which it cannot do without).
bool canvas_blank_fits(VorpixCanvas *canvas);

void canvas_set_tool(VorpixCanvas *canvas, VorpixTool *tool);
// Takes ownership of drawing and destroys the one it replaces.
void canvas_set_drawing(VorpixCanvas *canvas, VorpixDrawing *drawing);
void canvas_redraw(VorpixCanvas *canvas);
void canvas_resize(VorpixCanvas *canvas);
void canvas_commit_change(VorpixCanvas *canvas);
void canvas_begin_busy_cursor(VorpixCanvas *canvas);
void canvas_end_busy_cursor(VorpixCanvas *canvas);
void canvas_focus_gained(VorpixCanvas *canvas);
void canvas_focus_lost(VorpixCanvas *canvas);
int canvas_has_selection(VorpixCanvas *canvas);
void canvas_clear(VorpixCanvas *canvas);
// 1 while the canvas's window is open; 0 once it was closed during a nested
// main loop (a dialog, a print, a clipboard wait) of a command still running.
// The caller must hold the drawing area (and so the canvas) alive.
int canvas_is_open(VorpixCanvas *canvas);
void canvas_select_all(VorpixCanvas *canvas);
// Release function of the drawing area's "user_data".
void canvas_destroy(gpointer canvas);

extern "C" {
// libglade custom-widget function for "scroll_frame"; arguments are ignored.
GtkWidget *create_drawing_area_in_scroll_frame(gchar *widget_name, gchar *string1,
                                               gchar *string2, gint int1, gint int2);
}
