#include "panels/color_palette.h"

#include <glib/gi18n.h>

#include <cstdio>
#include <cstring>

#include "document/canvas.h"
#include "shell/util.h"

const guint8 init_palette_values[NUM_PALETTES][3] = {
    {255, 255, 255}, {190, 190, 190}, {255, 0, 0},     {255, 255, 0},   {0, 255, 0},
    {0, 255, 255},   {0, 0, 255},     {255, 0, 255},   {255, 255, 121}, {0, 255, 121},
    {121, 255, 255}, {134, 125, 255}, {255, 0, 121},   {255, 125, 65},  {0, 0, 0},
    {121, 125, 121}, {121, 0, 0},     {121, 130, 0},   {0, 125, 0},     {0, 125, 121},
    {0, 0, 121},     {121, 0, 121},   {121, 125, 65},  {0, 65, 65},     {0, 130, 255},
    {65, 0, 255},    {0, 125, 65},    {18, 52, 86},
};

namespace {

constexpr guchar kReleasedByte = 0xBE;
constexpr char kSwatchKey[] = "color_swatch";

void swatch_release(gpointer data) {
  auto *swatch = static_cast<VorpixColorSwatch *>(data);
  if (swatch->gc) g_object_unref(swatch->gc);
  memset(swatch, kReleasedByte, sizeof *swatch);
  g_free(swatch);
}

VorpixColorSwatch *swatch_of(GtkWidget *widget) {
  return static_cast<VorpixColorSwatch *>(g_object_get_data(G_OBJECT(widget), kSwatchKey));
}

// Offers the colour to the current tool; sets it on the shared GC when the
// tool does not take it.
void apply_color(GtkWidget *widget, const GdkColor *color, int background) {
  VorpixCanvas *canvas = canvas_lookup(widget);
  VorpixTool *tool = canvas->tool;
  int code = background ? TOOL_ATTRIBUTE_BACKGROUND : TOOL_ATTRIBUTE_FOREGROUND;
  if (tool && tool->attribute && tool->attribute(tool, code, color)) return;
  if (background)
    gdk_gc_set_background(canvas->gc, color);
  else
    gdk_gc_set_foreground(canvas->gc, color);
}

void apply_picker_color(GtkColorButton *button, int background) {
  GdkColor color;
  gtk_color_button_get_color(button, &color);
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &color, FALSE, TRUE);
  apply_color(GTK_WIDGET(button), &color, background);
}

// One component of a true-colour or direct-colour pixel value.
guint8 pixel_component(guint32 pixel, guint32 mask, int shift, int precision) {
  guint32 value = (pixel & mask) >> shift;
  if (precision > 8) return static_cast<guint8>(value >> (precision - 8));
  return static_cast<guint8>(value << (8 - precision));
}

void selector_free(gpointer data) {
  g_free(static_cast<VorpixColorSelector *>(data));
}

// The record lives exactly as long as its dialog, however the dialog goes.
void on_selector_dialog_destroy(GtkWidget *, gpointer data) { selector_free(data); }

void on_selector_ok_clicked(GtkWidget *, gpointer data) {
  auto *selector = static_cast<VorpixColorSelector *>(data);
  VorpixColorSwatch *swatch = selector->swatch;
  GdkColor color;
  // The selection keeps fractions; the rounded colour survives an unchanged OK.
  gtk_color_selection_get_current_color(GTK_COLOR_SELECTION(selector->colorsel), &color);
  swatch->color.pixel = 0;
  swatch->color.red = color.red;
  swatch->color.green = color.green;
  swatch->color.blue = color.blue;
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &swatch->color, FALSE, TRUE);
  gdk_gc_set_foreground(swatch->gc, &swatch->color);
  gtk_widget_queue_draw(swatch->widget);
  change_color(swatch, selector->is_background);
  gtk_widget_destroy(selector->dialog);
}

void on_selector_cancel_clicked(GtkWidget *, gpointer data) {
  gtk_widget_destroy(static_cast<VorpixColorSelector *>(data)->dialog);
}

void open_color_selector(VorpixColorSwatch *swatch, int background) {
  VorpixColorSelector *selector = g_new0(VorpixColorSelector, 1);
  g_assert(selector);
  GtkWidget *toplevel = gtk_widget_get_toplevel(swatch->widget);
  g_assert(toplevel);
  GtkWidget *dialog = gtk_color_selection_dialog_new(_("Select Color"));
  g_assert(dialog);

  selector->swatch = swatch;
  selector->is_background = background ? 1 : 0;
  selector->colorsel = GTK_COLOR_SELECTION_DIALOG(dialog)->colorsel;
  selector->dialog = dialog;
  if (GTK_IS_WINDOW(toplevel)) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(toplevel));
    // The dialog points at a swatch of this window: it must not outlive it.
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  }
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);

  GtkColorSelectionDialog *csd = GTK_COLOR_SELECTION_DIALOG(dialog);
  g_signal_connect(csd->ok_button, "clicked", G_CALLBACK(on_selector_ok_clicked), selector);
  g_signal_connect(csd->cancel_button, "clicked", G_CALLBACK(on_selector_cancel_clicked),
                   selector);
  g_signal_connect(dialog, "destroy", G_CALLBACK(on_selector_dialog_destroy), selector);

  GtkColorSelection *colorsel = GTK_COLOR_SELECTION(selector->colorsel);
  gtk_color_selection_set_current_color(colorsel, &swatch->color);
  gtk_color_selection_set_current_alpha(colorsel, 0);
  gtk_widget_show(dialog);
}

}  // namespace

guint16 color16(guint8 value) { return static_cast<guint16>(value << 8); }

void convert_color(const GdkColor *color, guint8 *r, guint8 *g, guint8 *b) {
  GdkVisual *visual = gdk_rgb_get_visual();
  guint32 p = color->pixel;
  switch (visual->type) {
    case GDK_VISUAL_TRUE_COLOR:
    case GDK_VISUAL_DIRECT_COLOR:
      *r = pixel_component(p, visual->red_mask, visual->red_shift, visual->red_prec);
      *g = pixel_component(p, visual->green_mask, visual->green_shift, visual->green_prec);
      *b = pixel_component(p, visual->blue_mask, visual->blue_shift, visual->blue_prec);
      break;
    case GDK_VISUAL_STATIC_COLOR:
    case GDK_VISUAL_PSEUDO_COLOR: {
      GdkColormap *colormap = gdk_rgb_get_colormap();
      g_assert(p < static_cast<guint32>(colormap->size));
      const GdkColor &entry = colormap->colors[p];
      *r = static_cast<guint8>(entry.red >> 8);
      *g = static_cast<guint8>(entry.green >> 8);
      *b = static_cast<guint8>(entry.blue >> 8);
      break;
    }
    default:
      g_assert_not_reached();
  }
}

namespace {

GtkColorButton *picker_of(GtkWidget *widget, int background) {
  GtkWidget *picker =
      lookup_widget(widget, background ? "background_color_picker" : "foreground_color_picker");
  g_assert(picker);
  return GTK_COLOR_BUTTON(picker);
}

// Shows the colour in its button and applies it, with the pixel value of the
// system colormap.
void pick(GtkWidget *widget, GdkColor color, int background) {
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &color, FALSE, TRUE);
  gtk_color_button_set_color(picker_of(widget, background), &color);
  apply_color(widget, &color, background);
}

}  // namespace

void color_palette_swap_colors(GtkWidget *widget) {
  GdkColor foreground, background;
  gtk_color_button_get_color(picker_of(widget, 0), &foreground);
  gtk_color_button_get_color(picker_of(widget, 1), &background);
  pick(widget, background, 0);
  pick(widget, foreground, 1);
}

void color_palette_default_colors(GtkWidget *widget) {
  GdkColor black = {0, 0, 0, 0};
  GdkColor white = {0, G_MAXUINT16, G_MAXUINT16, G_MAXUINT16};
  pick(widget, black, 0);
  pick(widget, white, 1);
}

void change_color(VorpixColorSwatch *swatch, int background) {
  // The swatch's colour with its pixel value, as its GC paints it.
  GdkColor v = swatch->color;
  apply_color(swatch->widget, &v, background);

  gtk_color_button_set_color(picker_of(swatch->widget, background), &swatch->color);
}

void on_color_palette_entry_realize(GtkWidget *widget, gpointer) {
  VorpixColorSwatch *swatch = g_new0(VorpixColorSwatch, 1);
  g_assert(swatch);
  swatch->widget = widget;
  swatch->gc = gdk_gc_new(widget->window);
  g_assert(swatch->gc);

  int i = -1;
  int n = sscanf(gtk_widget_get_name(widget), "color_palette_entry%d", &i);
  g_assert(n==1);
  g_assert(0<=i && i<NUM_PALETTES);

  swatch->color.pixel = 0;
  swatch->color.red = color16(init_palette_values[i][0]);
  swatch->color.green = color16(init_palette_values[i][1]);
  swatch->color.blue = color16(init_palette_values[i][2]);
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &swatch->color, FALSE, TRUE);
  gdk_gc_set_foreground(swatch->gc, &swatch->color);

  g_object_set_data_full(G_OBJECT(widget), kSwatchKey, swatch, swatch_release);
}

gboolean on_color_palette_entry_expose_event(GtkWidget *widget, GdkEventExpose *event, gpointer) {
  if (VorpixColorSwatch *swatch = swatch_of(widget)) {
    const GdkRectangle &r = event->area;
    gdk_draw_rectangle(widget->window, swatch->gc, TRUE, r.x, r.y, r.width, r.height);
  }
  return FALSE;
}

gboolean on_color_palette_entry_button_press_event(GtkWidget *widget, GdkEventButton *event,
                                                   gpointer) {
  VorpixColorSwatch *swatch = swatch_of(widget);
  g_assert(swatch);
  int background = event->button == RIGHT_BUTTON;
  if (event->type == GDK_BUTTON_PRESS)
    change_color(swatch, background);
  else if (event->type == GDK_2BUTTON_PRESS)
    open_color_selector(swatch, background);
  return FALSE;
}

void on_foreground_color_picker_realize(GtkWidget *widget, gpointer) {
  GdkColor black;
  gdk_color_black(gdk_colormap_get_system(), &black);
  gtk_color_button_set_color(GTK_COLOR_BUTTON(widget), &black);
}

void on_background_color_picker_realize(GtkWidget *widget, gpointer) {
  GdkColor white;
  gdk_color_white(gdk_colormap_get_system(), &white);
  gtk_color_button_set_color(GTK_COLOR_BUTTON(widget), &white);
}

void on_foreground_color_picker_color_set(GtkColorButton *button, gpointer) {
  apply_picker_color(button, 0);
}

void on_background_color_picker_color_set(GtkColorButton *button, gpointer) {
  apply_picker_color(button, 1);
}
