#include "tools/tool_palette.h"

#include <glib/gi18n.h>

#include <cstring>

#include "panels/color_palette.h"
#include "shell/util.h"
#include "tools/brush.h"
#include "tools/fill.h"
#include "tools/freehand.h"
#include "tools/icons.h"
#include "tools/lasso.h"
#include "tools/pen.h"
#include "tools/polyselect.h"
#include "tools/rectselect.h"
#include "tools/shape.h"
#include "tools/text.h"

namespace {

constexpr guchar kReleasedByte = 0xBE;
constexpr char kPaletteKey[] = "tool_palette";
constexpr char kToolButtonKey[] = "tool_button";
constexpr char kFilledButtonKey[] = "fill_button";
constexpr char kToplevelParentKey[] = "toplevelparent";

// Modifiers under which a key is a menu's, not a tool's.
constexpr guint kMenuModifiers =
    GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_HYPER_MASK | GDK_META_MASK;

constexpr VorpixToolCreateEntry tool_create_table[] = {
    {"erase_button", "eraser", eraseOp_xpm, eraser_create, 'e',
     N_("Eraser: rub out to the background colour")},
    {"lasso_button", "lasso", lassoOp_xpm, lasso_select_create, 'q',
     N_("Lasso selection: select a freehand area")},
    {"fill_button", "fill", fillOp_xpm, fill_create, 'f',
     N_("Flood fill: fill an area with the foreground colour")},
    {"line_button", "line", lineOp_xpm, line_shape_create, 'l', N_("Line: draw straight lines")},
    {"multiline_button", "mline", clineOp_xpm, multiline_shape_create, 'm',
     N_("Polyline: draw joined straight lines")},
    {"rectangle_button", "rectangle", boxOp_xpm, rectangle_shape_create, 'r',
     N_("Rectangle: draw rectangles")},
    {"closed_freehand_button", "freehand", freehandOp_xpm, closed_freehand_create, 'c',
     N_("Closed freehand: draw a closed freehand figure")},
    {"pen_button", "pen", pencilOp_xpm, pen_create, 'p', N_("Pen: draw thin freehand lines")},
    {"polselect_button", "polyselect", selpolyOp_xpm, polygon_select_create, 'g',
     N_("Polygon selection: select an area with straight sides")},
    {"rectselect_button", "rectselect", selrectOp_xpm, rectangle_select_create, 's',
     N_("Rectangle selection: select a rectangular area")},
    {"text_button", "text", textOp_xpm, text_create, 't', N_("Text: type text onto the picture")},
    {"arc_button", "arc", arcOp_xpm, arc_shape_create, 'a', N_("Arc: draw quarter ellipses")},
    {"curve_button", "", curveOp_xpm, nullptr, 0, N_("Pointer: no tool")},
    {"oval_button", "oval", ovalOp_xpm, oval_shape_create, 'o',
     N_("Oval: draw ellipses and circles")},
    {"brush_button", "brush", brushOp_xpm, paint_brush_create, 'b',
     N_("Brush: paint broad freehand strokes")},
    {nullptr, nullptr, nullptr, nullptr, 0, nullptr},
};

void palette_release(gpointer data) {
  auto *palette = static_cast<VorpixToolPalette *>(data);
  g_hash_table_destroy(palette->tools);
  memset(palette, kReleasedByte, sizeof *palette);
  g_free(palette);
}

void filled_button_release(gpointer data) { g_free(data); }

VorpixToolButton *tool_button_of(GtkWidget *button) {
  return static_cast<VorpixToolButton *>(g_object_get_data(G_OBJECT(button), kToolButtonKey));
}

// The top of the widget tree that holds widget, following menus to the
// widgets they are attached to; remembered on the widget.
GtkWidget *toplevel_parent(GtkWidget *widget) {
  auto *top = static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(widget), kToplevelParentKey));
  if (top) return top;
  top = widget;
  for (;;) {
    GtkWidget *next =
        GTK_IS_MENU(top) ? gtk_menu_get_attach_widget(GTK_MENU(top)) : gtk_widget_get_parent(top);
    if (!next) break;
    top = next;
  }
  g_object_set_data(G_OBJECT(widget), kToplevelParentKey, top);
  return top;
}

void offer_filled(gpointer, gpointer value, gpointer data) {
  auto *tool = static_cast<VorpixTool *>(value);
  if (tool->attribute) tool->attribute(tool, TOOL_ATTRIBUTE_FILLED, data);
}

}  // namespace

guint tool_name_hash(gconstpointer key) {
  const char *s = static_cast<const char *>(key);
  guint32 h = 0;
  if (!s) return 0;
  for (; *s; s++) {
    // Bytes count as signed, as the name's chars are.
    guint32 c = static_cast<guint32>(static_cast<gint32>(static_cast<signed char>(*s)));
    h = (h ^ c) + (h << 4);
  }
  return h;
}

gboolean tool_name_equal(gconstpointer a, gconstpointer b) {
  return strcmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
}

const VorpixToolCreateEntry *lookup_tool_create(const char *button_name) {
  g_assert(button_name);
  for (const VorpixToolCreateEntry *row = tool_create_table; row->button_name; row++)
    if (strcmp(row->button_name, button_name) == 0) return row;
  return nullptr;
}

const VorpixToolCreateEntry *tool_create_entries() { return tool_create_table; }

gboolean tool_palette_key_press(GtkWidget *widget, const GdkEventKey *event) {
  if (event->state & kMenuModifiers) return FALSE;
  const guint key = gdk_keyval_to_lower(event->keyval);
  if (key == TOOL_KEY_SWAP_COLORS) {
    color_palette_swap_colors(widget);
    return TRUE;
  }
  if (key == TOOL_KEY_DEFAULT_COLORS) {
    color_palette_default_colors(widget);
    return TRUE;
  }
  for (const VorpixToolCreateEntry *row = tool_create_table; row->button_name; row++) {
    if (row->key == 0 || row->key != key) continue;
    GtkWidget *button = lookup_widget(widget, row->button_name);
    if (!button) return FALSE;
    gtk_button_clicked(GTK_BUTTON(button));
    return TRUE;
  }
  return FALSE;
}

gchar *tool_palette_tooltip(const VorpixToolCreateEntry *row) {
  if (!row->key) return g_strdup(_(row->description));
  return g_strdup_printf("%s (%c)", _(row->description), g_ascii_toupper(static_cast<gchar>(row->key)));
}

GtkWidget *lookup_tool_palette(GtkWidget *widget) {
  GtkWidget *tp = lookup_widget(widget, "tool_palette_table");
  g_assert(tp);
  return tp;
}

VorpixToolPalette *lookup_tool_palette_data(GtkWidget *widget) {
  GtkWidget *table = lookup_tool_palette(widget);
  auto *tp = static_cast<VorpixToolPalette *>(g_object_get_data(G_OBJECT(table), kPaletteKey));
  if (tp) return tp;
  tp = g_new0(VorpixToolPalette, 1);
  g_assert(tp);
  tp->active_button = nullptr;
  tp->tools = g_hash_table_new(tool_name_hash, tool_name_equal);
  g_object_set_data_full(G_OBJECT(table), kPaletteKey, tp, palette_release);
  return tp;
}

VorpixTool *tool_palette_get_tool(GtkWidget *widget, const char *tool_name) {
  VorpixToolPalette *palette = lookup_tool_palette_data(widget);
  return static_cast<VorpixTool *>(g_hash_table_lookup(palette->tools, tool_name));
}

void tool_palette_set_active_button(GtkWidget *widget, const char *button_name) {
  GtkWidget *button = lookup_widget(widget, button_name);
  g_assert(button);
  VorpixToolButton *tb = tool_button_of(button);
  g_assert(tb);
  on_tool_select(tb);
}

void on_tool_select(VorpixToolButton *tb) {
  VorpixToolPalette *palette = lookup_tool_palette_data(GTK_WIDGET(tb->button));
  if (palette->active_button) {
    VorpixToolButton *p = tool_button_of(GTK_WIDGET(palette->active_button));
    g_assert(p);
    if (gtk_toggle_button_get_active(palette->active_button)) {
      // Releasing it emits "clicked" once; rearm absorbs that.
      p->on_click = tool_button_rearm;
      gtk_toggle_button_set_active(palette->active_button, FALSE);
    } else {
      // Never pressed (made active without a click): no signal will come to
      // rearm it, so it selects again on its next click.
      p->on_click = on_tool_select;
    }
  }
  palette->active_button = tb->button;
  tb->on_click = tool_button_keep_active;
  canvas_set_tool(canvas_lookup(GTK_WIDGET(tb->button)), tb->tool);
}

void tool_button_keep_active(VorpixToolButton *tb) {
  gtk_toggle_button_set_active(tb->button, TRUE);
}

void tool_button_rearm(VorpixToolButton *tb) { tb->on_click = on_tool_select; }

void tool_button_destroy(gpointer data) {
  auto *tb = static_cast<VorpixToolButton *>(data);
  g_assert(tb);
  if (VorpixTool *tool = tb->tool) {
    g_assert(tool->name);
    g_assert(tool->destroy);
    tool->destroy(tool);
  }
  memset(tb, kReleasedByte, sizeof *tb);
  g_free(tb);
}

void set_button_pixmap(GtkWidget *button, const char *const *xpm) {
  GtkWidget *top = toplevel_parent(button);
  GdkBitmap *mask = nullptr;
  gchar **data = const_cast<gchar **>(xpm);
  GdkPixmap *gdkpixmap =
      top->window ? gdk_pixmap_create_from_xpm_d(top->window, &mask, nullptr, data)
                  : gdk_pixmap_colormap_create_from_xpm_d(nullptr, gtk_widget_get_colormap(button),
                                                          &mask, nullptr, data);
  g_assert(gdkpixmap);
  GtkWidget *gtkpixmap = gtk_pixmap_new(gdkpixmap, mask);
  g_assert(gtkpixmap);

  GList *children = gtk_container_get_children(GTK_CONTAINER(button));
  for (GList *node = children; node; node = node->next)
    gtk_container_remove(GTK_CONTAINER(button), GTK_WIDGET(node->data));
  g_list_free(children);
  gtk_container_add(GTK_CONTAINER(button), gtkpixmap);
  gtk_widget_show(gtkpixmap);
  g_object_unref(gdkpixmap);
  if (mask) g_object_unref(mask);
}

void on_tool_palette_realize(GtkWidget *, gpointer) {}

void on_tool_button_realize(GtkWidget *widget, gpointer) {
  // A button realized again (after being unrealized) keeps its record and
  // tool: the canvas may be pointing at that tool.
  if (tool_button_of(widget)) return;
  const char *button_name = gtk_widget_get_name(widget);
  const VorpixToolCreateEntry *tc = lookup_tool_create(button_name);

  VorpixToolButton *tb = g_new0(VorpixToolButton, 1);
  g_assert(tb);
  tb->button = GTK_TOGGLE_BUTTON(widget);
  tb->on_click = on_tool_select;
  g_assert(tc);

  if (tc->create) {
    g_assert(tc->tool_name);
    tb->tool = tc->create(tc->tool_name);
    g_assert(tb->tool);
    g_assert(tb->tool->name);
    g_assert(tb->tool->destroy);
    VorpixToolPalette *palette = lookup_tool_palette_data(widget);
    g_hash_table_insert(palette->tools, const_cast<char *>(tb->tool->name), tb->tool);
  }
  g_object_set_data_full(G_OBJECT(widget), kToolButtonKey, tb, tool_button_destroy);

  if (tc->icon)
    set_button_pixmap(widget, tc->icon);
  else
    g_warning("missing icon data");
  gchar *tooltip = tool_palette_tooltip(tc);
  gtk_widget_set_tooltip_text(widget, tooltip);
  g_free(tooltip);
}

void on_tool_button_clicked(GtkButton *button, gpointer) {
  VorpixToolButton *tb = tool_button_of(GTK_WIDGET(button));
  g_assert(tb);
  tb->on_click(tb);
}

void on_filled_button_realize(GtkWidget *widget, gpointer) {
  if (g_object_get_data(G_OBJECT(widget), kFilledButtonKey)) return;
  VorpixFilledButton *fb = g_new0(VorpixFilledButton, 1);
  g_assert(fb);
  fb->button = GTK_TOGGLE_BUTTON(widget);
  fb->filled = 0;
  g_object_set_data_full(G_OBJECT(widget), kFilledButtonKey, fb, filled_button_release);
  set_button_pixmap(widget, unfilled_xpm);
}

void on_filled_button_toggled(GtkToggleButton *button, gpointer) {
  VorpixToolPalette *palette = lookup_tool_palette_data(GTK_WIDGET(button));
  auto *fb =
      static_cast<VorpixFilledButton *>(g_object_get_data(G_OBJECT(button), kFilledButtonKey));
  g_assert(fb);
  fb->filled = fb->filled ? 0 : 1;
  g_hash_table_foreach(palette->tools, offer_filled, &fb->filled);
  set_button_pixmap(GTK_WIDGET(button), fb->filled ? filled_xpm : unfilled_xpm);
}
