// The colour palette of a main window: 28 swatches and the foreground and
// background colour buttons.  Applying a colour offers it to the current tool
// first and sets it on the canvas's shared GC only when the tool declines.
// Also the two colour conversions shared by the tools.
#pragma once

#include <gtk/gtk.h>

constexpr int NUM_PALETTES = 28;
// The mouse button that addresses the background colour.
constexpr int RIGHT_BUTTON = 3;

// Initial R, G, B of each swatch.
extern const guint8 init_palette_values[NUM_PALETTES][3];

// One per swatch widget, attached as "color_swatch"; released with the widget.
struct VorpixColorSwatch {
  GtkWidget *widget;  // not owned: the swatch itself
  GdkColor color;     // allocated in the system colormap
  GdkGC *gc;          // owned; foreground = color
};

// One per open "Select Color" dialog; freed when the dialog goes away.
struct VorpixColorSelector {
  VorpixColorSwatch *swatch;  // not owned
  gint32 is_background;       // 1 when opened with RIGHT_BUTTON
  GtkWidget *colorsel;        // not owned: the dialog's colour selection
  GtkWidget *dialog;          // not owned: destroyed on OK or Cancel
};

// An 8-bit component widened to 16 bits by shifting (255 gives 65280).
guint16 color16(guint8 value);
// The 8-bit R, G, B of an allocated colour, from its pixel value alone, in the
// visual of the RGB rendering.  Components finer than 8 bits give their top 8.
void convert_color(const GdkColor *color, guint8 *r, guint8 *g, guint8 *b);
// Applies the swatch's colour as foreground, or background when background is
// nonzero, and shows it in the matching colour button.
void change_color(VorpixColorSwatch *swatch, int background);

// Foreground and background of widget's window change places; black on
// white comes back.  Both as if each colour were picked in its colour button.
void color_palette_swap_colors(GtkWidget *widget);
void color_palette_default_colors(GtkWidget *widget);

extern "C" {
void on_color_palette_entry_realize(GtkWidget *widget, gpointer user_data);
gboolean on_color_palette_entry_expose_event(GtkWidget *widget, GdkEventExpose *event,
                                             gpointer user_data);
gboolean on_color_palette_entry_button_press_event(GtkWidget *widget, GdkEventButton *event,
                                                   gpointer user_data);
void on_foreground_color_picker_realize(GtkWidget *widget, gpointer user_data);
void on_background_color_picker_realize(GtkWidget *widget, gpointer user_data);
void on_foreground_color_picker_color_set(GtkColorButton *button, gpointer user_data);
void on_background_color_picker_color_set(GtkColorButton *button, gpointer user_data);
}
