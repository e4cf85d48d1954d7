// The tool palette of a main window: one toggle button per tool, one tool per
// button (created when the button is realized), exactly one active button
// whose tool is the canvas's current tool, and the "filled" toggle whose
// state goes to every tool of the window.
#pragma once

#include <gtk/gtk.h>

#include "document/canvas.h"

// A row of the creation table: the only place that lists the tools.
struct VorpixToolCreateEntry {
  const char *button_name;  // widget name of the tool button
  const char *tool_name;    // given to create; becomes the tool's name
  const char *const *icon;  // XPM data for the button face
  VorpixTool *(*create)(const char *name);  // null: a button without a tool
  guint key;                // lower-case key value that chooses the tool, or 0
  const char *description;  // untranslated "Tool: what it does", for the tooltip
};

// Keys of the drawing area besides the tools' own.
constexpr guint TOOL_KEY_SWAP_COLORS = 'x';     // foreground and background change places
constexpr guint TOOL_KEY_DEFAULT_COLORS = 'd';  // black on white

// One per main window, attached to "tool_palette_table" as "tool_palette".
struct VorpixToolPalette {
  GtkToggleButton *active_button;  // not owned; null until the first selection
  GHashTable *tools;  // tool name -> VorpixTool, both borrowed from the buttons
};

// One per tool button, attached to it as "tool_button"; owns its tool.
struct VorpixToolButton {
  GtkToggleButton *button;                   // not owned
  void (*on_click)(VorpixToolButton *tb);    // what the next "clicked" does
  VorpixTool *tool;                          // owned; null for the curve button
};

// Attached to the filled toggle as "fill_button".
struct VorpixFilledButton {
  GtkToggleButton *button;  // not owned
  gint32 filled;            // 0 or 1
};

// The creation table's row for a button name, or null.  Static data.
const VorpixToolCreateEntry *lookup_tool_create(const char *button_name);
// The whole creation table, ended by a row whose button_name is null.
const VorpixToolCreateEntry *tool_create_entries();
// A key pressed on widget's drawing area: a tool's key chooses that tool as a
// click on its button would, TOOL_KEY_SWAP_COLORS and TOOL_KEY_DEFAULT_COLORS
// set the colours.  Keys held with Control, Alt or a logo key are left alone
// (they belong to menus).  TRUE when the key was used.
gboolean tool_palette_key_press(GtkWidget *widget, const GdkEventKey *event);
// The tooltip of a row's button: the translated description and the key,
// "Pen: draw thin freehand lines (P)".  Freed by the caller.
gchar *tool_palette_tooltip(const VorpixToolCreateEntry *row);
// The "tool_palette_table" widget of widget's main window.
GtkWidget *lookup_tool_palette(GtkWidget *widget);
// The window's palette record, created on first use; owned by the window.
VorpixToolPalette *lookup_tool_palette_data(GtkWidget *widget);
// The window's tool of that name, or null; owned by the palette.
VorpixTool *tool_palette_get_tool(GtkWidget *widget, const char *tool_name);
// Selects the named button's tool as a click would, without a "clicked"
// signal and without changing that button's own pressed state.
void tool_palette_set_active_button(GtkWidget *widget, const char *button_name);

// The three behaviours of a tool button's click.
void on_tool_select(VorpixToolButton *tb);
void tool_button_keep_active(VorpixToolButton *tb);
void tool_button_rearm(VorpixToolButton *tb);
// Release function of "tool_button": destroys the button's tool.
void tool_button_destroy(gpointer data);
// Replaces the button's face by the XPM image.
void set_button_pixmap(GtkWidget *button, const char *const *xpm);

// Hash and equality of the tools table.
guint tool_name_hash(gconstpointer key);
gboolean tool_name_equal(gconstpointer a, gconstpointer b);

extern "C" {
void on_tool_palette_realize(GtkWidget *widget, gpointer user_data);
void on_tool_button_realize(GtkWidget *widget, gpointer user_data);
void on_tool_button_clicked(GtkButton *button, gpointer user_data);
void on_filled_button_realize(GtkWidget *widget, gpointer user_data);
void on_filled_button_toggled(GtkToggleButton *button, gpointer user_data);
}
