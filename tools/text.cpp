#include "tools/text.h"

#include <cstring>
#include <memory>

#include <gdk/gdkkeysyms.h>

#include "document/drawing.h"
#include "document/history.h"
#include "document/view.h"
#include "panels/color_palette.h"

namespace {

constexpr guint kBlinkInterval = 500;  // milliseconds per caret phase
constexpr int kCaretWipeWidth = 4;
constexpr int kCaretWipeExtraHeight = 2;
constexpr char kLineFeed = '\n';

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, ObjectUnref>;

VorpixText *as_text(VorpixTool *tool) { return static_cast<VorpixText *>(tool); }

GtkWidget *drawing_area(const VorpixText *text) { return text->canvas->drawing_area; }

VorpixView *view_of(const VorpixText *text) { return text->canvas->view; }

// A layout in the drawing area's current font.
LayoutPtr make_layout(const VorpixText *text, const char *str) {
  return LayoutPtr(gtk_widget_create_pango_layout(drawing_area(text), str));
}

void grow_extent(VorpixText *text, PangoLayout *layout) {
  int width, height;
  pango_layout_get_pixel_size(layout, &width, &height);
  if (width > text->max_width) text->max_width = width;
  if (height > text->max_height) text->max_height = height;
}

// What layout covers at the insertion point, inked or laid out.
GdkRectangle layout_area(const VorpixText *text, PangoLayout *layout) {
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  GdkRectangle inked = {text->x + ink.x, text->y + ink.y, ink.width, ink.height};
  GdkRectangle laid = {text->x + logical.x, text->y + logical.y, logical.width, logical.height};
  GdkRectangle area;
  gdk_rectangle_union(&inked, &laid, &area);
  return area;
}

GdkRectangle united(GdkRectangle a, GdkRectangle b) {
  GdkRectangle area;
  gdk_rectangle_union(&a, &b, &area);
  return area;
}

// The text and the caret are drawn by the view's repaints only (the draw
// operation): the tool changes what they are and has their place repainted.
void hide_caret(VorpixText *text) {
  if (!text->caret_shown) return;
  text->caret_shown = 0;
  view_damage(view_of(text), text->caret);
}

// An inverted line, as tall as the caret's own line, so the box repainted
// when it goes always covers it.
void invert_caret(const VorpixText *text) {
  GdkGC *gc = text->drawing->gc;
  GdkGCValues saved;
  gdk_gc_get_values(gc, &saved);
  GdkColor white;
  gdk_color_white(gdk_rgb_get_colormap(), &white);
  gdk_gc_set_foreground(gc, &white);
  gdk_gc_set_function(gc, GDK_INVERT);
  gdk_gc_set_line_attributes(gc, 1, GDK_LINE_SOLID, GDK_CAP_PROJECTING, GDK_JOIN_ROUND);
  const GdkRectangle &box = text->caret;
  const int column = box.x + 1;
  view_mark_line(view_of(text), gc, column, box.y, column,
                 box.y + box.height - kCaretWipeExtraHeight - 1);
  gdk_gc_set_function(gc, saved.function);
  gdk_gc_set_line_attributes(gc, saved.line_width, saved.line_style, saved.cap_style,
                             saved.join_style);
  gdk_gc_set_foreground(gc, &saved.foreground);
}

// The blink step without showing its result yet.
void blink_step(VorpixText *text) {
  if (!text->active) return;
  LayoutPtr layout = make_layout(text, text->buffer->str);
  grow_extent(text, layout.get());

  PangoRectangle caret;
  pango_layout_index_to_pos(layout.get(), static_cast<int>(text->buffer->len), &caret);
  int cx = PANGO_PIXELS(caret.x), cy = PANGO_PIXELS(caret.y);
  int ch = PANGO_PIXELS(caret.height);
  hide_caret(text);
  if (text->caret_on) {
    text->caret = {text->x + cx, text->y + cy, kCaretWipeWidth, ch + kCaretWipeExtraHeight};
    text->caret_shown = 1;
    view_damage(view_of(text), text->caret);
  }
  text->caret_on = !text->caret_on;
}

// Paints layout into drawable (the picture) at the insertion point in the
// drawing GC's foreground, cut to the picture like all other painting.
void paint_layout(const VorpixText *text, GdkDrawable *drawable, PangoLayout *layout) {
  GdkGCValues values;
  gdk_gc_get_values(text->drawing->gc, &values);
  text_apply_color(layout, &values);
  GtkWidget *area = drawing_area(text);
  GdkRectangle picture = {0, 0, text->drawing->width, text->drawing->height};
  gtk_paint_layout(area->style, drawable, GTK_STATE_NORMAL, TRUE, &picture, area, nullptr,
                   text->x, text->y, layout);
}

// Ends editing without touching the picture.
void end_editing(VorpixText *text) {
  text->active = 0;
  text->max_width = 0;
  text->max_height = 0;
  g_string_truncate(text->buffer, 0);
}

// Commits a non-empty text, wipes the caret and ends editing.  The window
// is repainted only once editing has ended, so the text committed is not
// shown a second time over itself.
void finish_editing(VorpixText *text) {
  if (text->buffer->len > 0) text_commit(text);
  text->caret_on = 0;
  blink_step(text);
  end_editing(text);
  view_flush(view_of(text));
}

// The caret timer works on the canvas's drawing area: when the canvas goes
// away while the tool is current (its window is destroyed), the timer goes
// with it.
void on_canvas_finalized(gpointer data, GObject *) {
  VorpixText *text = static_cast<VorpixText *>(data);
  g_source_remove(text->timer);
  text->timer = 0;
  text->canvas = nullptr;
  text->drawing = nullptr;
}

void start_blinking(VorpixText *text) {
  text->timer = g_timeout_add(kBlinkInterval, text_blink, text);
  g_object_weak_ref(G_OBJECT(text->canvas), on_canvas_finalized, text);
}

void stop_blinking(VorpixText *text) {
  g_source_remove(text->timer);
  g_object_weak_unref(G_OBJECT(text->canvas), on_canvas_finalized, text);
  text->timer = 0;
}

void text_destroy(VorpixTool *tool) {
  VorpixText *text = as_text(tool);
  if (text->timer) stop_blinking(text);
  if (text->fontpicker)
    g_object_remove_weak_pointer(G_OBJECT(text->fontpicker),
                                 reinterpret_cast<gpointer *>(&text->fontpicker));
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_string_free(text->buffer, TRUE);
  g_free(text->pending_font);
  g_free(text);
}

void text_select(VorpixTool *tool) {
  VorpixText *text = as_text(tool);
  g_string_truncate(text->buffer, 0);
  text->pressed_count = 0;
  if (text->timer) stop_blinking(text);
  start_blinking(text);
  if (gchar *font = text->pending_font) {
    text->pending_font = nullptr;
    text_attribute(tool, TOOL_ATTRIBUTE_FONT, font);
    g_free(font);
  }
}

void type_pressed(VorpixText *text, int count);
void drop_pressed(VorpixText *text, int count);

// While the tool is current every key is text: one typed before a click shows
// at the last insertion point and joins the text typed there.
int text_takes_keys(VorpixTool *) { return 1; }

int text_notify(VorpixTool *tool, int event, void *) {
  if (event != TOOL_NOTIFY_FOCUS_GAINED && event != TOOL_NOTIFY_FOCUS_LOST) return 0;
  VorpixText *text = as_text(tool);
  // Keys pressed here are typed even when their releases go elsewhere.
  if (event == TOOL_NOTIFY_FOCUS_LOST) {
    type_pressed(text, text->pressed_count);
    drop_pressed(text, text->pressed_count);
  }
  text->caret_on = 0;
  text_draw_caret(text);
  return 1;
}

void text_press(VorpixTool *tool, int, int) {
  VorpixText *text = as_text(tool);
  if (text->active) finish_editing(text);
}

void text_release(VorpixTool *tool, int x, int y) {
  VorpixText *text = as_text(tool);
  GtkWidget *area = drawing_area(text);
  gtk_widget_grab_focus(area);
  gtk_widget_grab_default(area);
  text->active = 1;
  text->x = x;
  text->y = y;
}

bool is_printable_ascii(gunichar c) { return c >= 0x20 && c <= 0x7E; }

// Applies one key to the typed text.  Only printable ASCII is typed; control
// and function keys add nothing.
void edit_buffer(GString *buffer, guint keyval, const char *string) {
  if (keyval == GDK_BackSpace || keyval == GDK_Delete) {
    if (buffer->len > 0) {
      const char *last = g_utf8_find_prev_char(buffer->str, buffer->str + buffer->len);
      g_string_truncate(buffer, last ? last - buffer->str : 0);
    }
  } else if (string && *string) {
    if (is_printable_ascii(static_cast<guchar>(string[0])) && g_utf8_validate(string, -1, nullptr))
      g_string_append(buffer, string);
  } else {
    gunichar c = gdk_keyval_to_unicode(keyval);
    if (is_printable_ascii(c)) g_string_append_c(buffer, static_cast<char>(c));
  }
}

// One key's edit, shown at once.
void type_key(VorpixText *text, guint keyval, const char *string) {
  text->caret_on = 0;
  text_draw_caret(text);

  std::unique_ptr<gchar, decltype(&g_free)> old_text(g_strdup(text->buffer->str), g_free);
  edit_buffer(text->buffer, keyval, string);
  bool escape = keyval == GDK_Escape;
  if (escape) g_string_truncate(text->buffer, 0);

  // Wipe the text shown so far (measured in the current font, which may have
  // changed since it was painted) and show the new text: one repaint of the
  // box of the largest size either has had and of what both cover.
  LayoutPtr layout = make_layout(text, old_text.get());
  grow_extent(text, layout.get());
  GdkRectangle area = layout_area(text, layout.get());
  pango_layout_set_text(layout.get(), text->buffer->str, -1);
  grow_extent(text, layout.get());
  area = united(area, layout_area(text, layout.get()));
  area = united(area, GdkRectangle{text->x, text->y, text->max_width, text->max_height});
  view_damage(view_of(text), area);

  if (escape)
    end_editing(text);
  else if (keyval == GDK_Return)
    g_string_append_c(text->buffer, kLineFeed);
}

// Types the keys among the first count pressed that are not typed yet, in
// the order of their presses.
void type_pressed(VorpixText *text, int count) {
  for (int i = 0; i < count; i++) {
    TextKey &key = text->pressed[i];
    if (key.typed) continue;
    key.typed = 1;
    type_key(text, key.keyval, key.string);
  }
}

// Forgets the first count keys pressed.
void drop_pressed(VorpixText *text, int count) {
  text->pressed_count -= count;
  memmove(text->pressed, text->pressed + count, text->pressed_count * sizeof(TextKey));
}

constexpr guint kFocusKeys[] = {GDK_Tab,      GDK_ISO_Left_Tab, GDK_KP_Tab, GDK_Left,
                                GDK_Right,    GDK_Up,           GDK_Down,   GDK_KP_Left,
                                GDK_KP_Right, GDK_KP_Up,        GDK_KP_Down};

bool moves_focus(guint keyval) {
  for (guint key : kFocusKeys)
    if (key == keyval) return true;
  return false;
}

// A key's character comes from its press, typed at its release: Shift let go
// before the letter still gives the capital.  Keys held that nobody releases
// are typed when the list is full, oldest first.
int text_key_press(VorpixTool *tool, const GdkEventKey *event) {
  VorpixText *text = as_text(tool);
  if (text->pressed_count == kTextPressedKeys) {
    type_pressed(text, 1);
    drop_pressed(text, 1);
  }
  TextKey &key = text->pressed[text->pressed_count++];
  key.typed = 0;
  key.keycode = event->hardware_keycode;
  key.keyval = event->keyval;
  key.string[0] = '\0';
  if (event->string && event->length > 0 && static_cast<size_t>(event->length) < sizeof key.string)
    memcpy(key.string, event->string, event->length + 1);
  // Tab and the arrows would take the keyboard away from the text.
  return moves_focus(event->keyval);
}

// The release types every key pressed up to this one's last press, so the
// characters keep the order of the presses however the releases overlap.  A
// key typed so, ahead of its own release, is only forgotten at that release.
void text_key_release(VorpixTool *tool, const GdkEventKey *event) {
  VorpixText *text = as_text(tool);
  int last = -1;
  for (int i = 0; i < text->pressed_count; i++)
    if (text->pressed[i].keycode == event->hardware_keycode) last = i;
  if (last < 0) {
    type_key(text, event->keyval, event->length > 0 ? event->string : nullptr);
    return;
  }
  type_pressed(text, last + 1);
  int kept = 0;
  for (int i = 0; i < text->pressed_count; i++)
    if (i > last || text->pressed[i].keycode != event->hardware_keycode)
      text->pressed[kept++] = text->pressed[i];
  text->pressed_count = kept;
}

// The typed text as the commit would paint it, and the caret.  Text typed
// without an insertion point shows at the last one, as it did when typed.
void text_draw(VorpixTool *tool) {
  VorpixText *text = as_text(tool);
  if (text->buffer->len > 0) {
    LayoutPtr layout = make_layout(text, text->buffer->str);
    GdkGCValues values;
    gdk_gc_get_values(text->drawing->gc, &values);
    text_apply_color(layout.get(), &values);
    view_paint_layout(view_of(text), layout.get(), text->x, text->y);
  }
  if (text->caret_shown) invert_caret(text);
}

void text_commit_change(VorpixTool *tool) {
  VorpixText *text = as_text(tool);
  if (!text->active) return;
  text_commit(text);
  // The caret must not stay on the window once there is no insertion point.
  text->caret_on = 0;
  blink_step(text);
  end_editing(text);
  view_flush(view_of(text));
}

}  // namespace

VorpixTool *text_create(const char *name) {
  VorpixText *text = g_new0(VorpixText, 1);
  g_assert(text);
  text->name = name;
  text->cursor = gdk_cursor_new(GDK_XTERM);
  text->buffer = g_string_new("");
  text->destroy = text_destroy;
  text->select = text_select;
  text->deselect = text_deselect;
  text->attribute = text_attribute;
  text->notify = text_notify;
  text->button_press = text_press;
  text->button_release = text_release;
  text->key_release = text_key_release;
  text->draw = text_draw;
  text->commit_change = text_commit_change;
  text->takes_keys = text_takes_keys;
  text->key_press = text_key_press;
  return text;
}

void text_set_fontpicker(VorpixTool *tool, GtkWidget *fontpicker) {
  g_return_if_fail(tool);
  VorpixText *text = as_text(tool);
  if (text->fontpicker)
    g_object_remove_weak_pointer(G_OBJECT(text->fontpicker),
                                 reinterpret_cast<gpointer *>(&text->fontpicker));
  text->fontpicker = fontpicker;
  if (fontpicker)
    g_object_add_weak_pointer(G_OBJECT(fontpicker),
                              reinterpret_cast<gpointer *>(&text->fontpicker));
}

void text_deselect(VorpixTool *tool) {
  VorpixText *text = as_text(tool);
  g_assert(text->timer);
  stop_blinking(text);
  text->caret_on = 0;
  blink_step(text);
  if (text->active && text->buffer->len > 0) text_commit(text);
  end_editing(text);
  // Hidden for good: a repaint after the tool has gone must not draw it.
  hide_caret(text);
  view_flush(view_of(text));
}

int text_attribute(VorpixTool *tool, int code, const void *value) {
  if (code == TOOL_ATTRIBUTE_FONT && value && !tool->canvas) {
    // The font button is always there to use; the font waits for the tool.
    VorpixText *text = as_text(tool);
    g_free(text->pending_font);
    text->pending_font = g_strdup(static_cast<const char *>(value));
    return 1;
  }
  if (!tool->canvas || !tool->canvas->drawing_area) return 0;
  GtkWidget *area = tool->canvas->drawing_area;
  GtkStyle *style = area->style;
  g_assert(style);
  if (code != TOOL_ATTRIBUTE_FONT || !value) return 0;
  PangoFontDescription *font = pango_font_description_from_string(static_cast<const char *>(value));
  gtk_widget_modify_font(area, font);
  pango_font_description_free(font);
  return 1;
}

void text_apply_color(PangoLayout *layout, const GdkGCValues *values) {
  const char *str = pango_layout_get_text(layout);
  if (!str || !*str) return;
  guint8 r, g, b;
  convert_color(&values->foreground, &r, &g, &b);
  PangoAttribute *color = pango_attr_foreground_new(color16(r), color16(g), color16(b));
  // Attribute ranges are byte indices: cover every byte of the text.
  color->start_index = 0;
  color->end_index = static_cast<guint>(strlen(str));
  PangoAttrList *list = pango_layout_get_attributes(layout);
  if (list)
    pango_attr_list_ref(list);
  else
    list = pango_attr_list_new();
  pango_attr_list_change(list, color);
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);
}

void text_commit(VorpixText *text) {
  if (text->buffer->len == 0) {
    // No text, no pixel: marked modified, but nothing to undo or to show.
    HistoryUnchanged same(text->canvas);
    drawing_modified_area(text->drawing, GdkRectangle{0, 0, 0, 0});
    return;
  }
  history_begin(text->canvas);
  LayoutPtr layout = make_layout(text, text->buffer->str);
  paint_layout(text, text->drawing->backing_pixmap, layout.get());
  drawing_modified_area(text->drawing, layout_area(text, layout.get()));
}

void text_draw_caret(VorpixText *text) {
  blink_step(text);
  if (text->active) view_flush(view_of(text));
}

gboolean text_blink(gpointer data) {
  VorpixText *text = static_cast<VorpixText *>(data);
  if (!text) return FALSE;
  if (!text->canvas->has_focus) text->caret_on = 0;
  text_draw_caret(text);
  return TRUE;
}
