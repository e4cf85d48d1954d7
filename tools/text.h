// The text tool: a click places an insertion point, typed text shows on the
// drawing area's window with a blinking caret, and is painted into the
// picture (committed) on the next click, on a tool change or when the canvas
// asks for pending edits.  The font is the drawing area's, set through the
// font picker; the colour is the drawing GC's foreground.
#pragma once

#include <gtk/gtk.h>

#include "document/canvas.h"

// A key pressed on the drawing area and not yet released: what it types is
// what its press gave, with the modifiers held at that moment.
struct TextKey {
  guint16 keycode;
  guint keyval;
  gint32 typed;      // 1 once typed, ahead of its release, by a later key's release
  gchar string[16];  // the press's text, empty when it had none or too long a one
};
constexpr int kTextPressedKeys = 32;

struct VorpixText : VorpixTool {
  gint32 active;               // 1 while an insertion point is placed
  gint32 x, y;                 // the insertion point: top-left of the text
  guint timer;                 // the caret's blink timeout while current, else 0
  gint32 caret_on;             // 1 when the next blink step draws the caret
  GString *buffer;             // owned: the text typed so far, UTF-8
  gint32 max_width, max_height;  // largest size the text has had while editing
  GtkWidget *fontpicker;       // not owned
  gchar *pending_font;         // owned: a font chosen before the tool was ever current
  gint32 caret_shown;          // 1 while the caret is on the window
  GdkRectangle caret;          // where it is: its line runs down the box's second column
  TextKey pressed[kTextPressedKeys];  // keys pressed and not released, in press order
  gint32 pressed_count;
};

// A new tool owned by the caller, released with its destroy operation.  name
// is not copied and must outlive the tool.
VorpixTool *text_create(const char *name);
// The window's font picker (not owned; forgotten when the widget goes away).
void text_set_fontpicker(VorpixTool *tool, GtkWidget *fontpicker);

// The tool's deselect: stops the caret and commits typed text.
void text_deselect(VorpixTool *tool);
// Takes only the font (code 3), which becomes the drawing area's font; one
// chosen before the tool was ever current waits for its first select.
int text_attribute(VorpixTool *tool, int code, const void *value);

// Colours the whole of layout in values' foreground colour.
void text_apply_color(PangoLayout *layout, const GdkGCValues *values);
// Paints the typed text into the picture and marks the drawing modified.
void text_commit(VorpixText *text);
// One blink step: wipes the caret from the window and, when caret_on is 1,
// draws it; then flips caret_on.  Does nothing without an insertion point.
// The window shows the result on return.
void text_draw_caret(VorpixText *text);
// The blink timeout's function; data is the tool.  FALSE ends the timeout.
gboolean text_blink(gpointer data);
