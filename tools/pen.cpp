#include "tools/pen.h"

#include "document/drawing.h"

namespace {

void pen_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(tool);
}

void pen_deselect(VorpixTool *tool) { static_cast<VorpixPen *>(tool)->in_stroke = 0; }

// Joins the previous point of the stroke to (x, y); a stroke's first point
// is drawn as a line to itself.
void pen_segment(VorpixTool *tool, int x, int y) {
  VorpixPen *pen = static_cast<VorpixPen *>(tool);
  if (!pen->in_stroke) {
    pen->last_x = x;
    pen->last_y = y;
  }
  VorpixDrawing *drawing = tool->drawing;
  gdk_draw_line(drawing->backing_pixmap, drawing_paint_gc(drawing), pen->last_x, pen->last_y, x, y);
  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  drawing_modified_area(drawing,
                        drawing_line_area(pen->last_x, pen->last_y, x, y, values.line_width));
  pen->in_stroke = 1;
  pen->last_x = x;
  pen->last_y = y;
}

// A press always begins a stroke: the release of the one before may have
// gone to a menu, a dialog or the window manager.
void pen_button_press(VorpixTool *tool, int x, int y) {
  static_cast<VorpixPen *>(tool)->in_stroke = 0;
  pen_segment(tool, x, y);
}

void pen_button_release(VorpixTool *tool, int, int) {
  static_cast<VorpixPen *>(tool)->in_stroke = 0;
}

}  // namespace

VorpixTool *pen_create(const char *name) {
  VorpixPen *pen = g_new0(VorpixPen, 1);
  g_assert(pen);
  pen->name = name;
  pen->cursor = gdk_cursor_new(GDK_PENCIL);
  pen->destroy = pen_destroy;
  pen->deselect = pen_deselect;
  pen->button_press = pen_button_press;
  pen->motion = pen_segment;
  pen->button_release = pen_button_release;
  return pen;
}
