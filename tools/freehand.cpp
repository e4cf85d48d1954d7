#include "tools/freehand.h"

#include "document/drawing.h"
#include "tools/selection.h"

namespace {

// A polygon needs three vertices to enclose anything.
constexpr int kMinFillVertices = 3;

VorpixFreehand *as_freehand(VorpixTool *tool) { return static_cast<VorpixFreehand *>(tool); }

void draw_line(VorpixDrawing *drawing, int x1, int y1, int x2, int y2) {
  gdk_draw_line(drawing->backing_pixmap, drawing_paint_gc(drawing), x1, y1, x2, y2);
  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  drawing_modified_area(drawing, drawing_line_area(x1, y1, x2, y2, values.line_width));
}

void freehand_destroy(VorpixTool *tool) {
  VorpixFreehand *cfh = as_freehand(tool);
  point_array_delete(cfh->points);
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(cfh);
}

void freehand_deselect(VorpixTool *tool) {
  VorpixFreehand *cfh = as_freehand(tool);
  cfh->in_stroke = 0;
  point_array_remove_all(cfh->points);
}

int freehand_attribute(VorpixTool *tool, int code, const void *value) {
  if (code != TOOL_ATTRIBUTE_FILLED || !value) return 0;
  as_freehand(tool)->filled = *static_cast<const int *>(value);
  return 1;
}

void freehand_segment(VorpixTool *tool, int x, int y) {
  VorpixFreehand *cfh = as_freehand(tool);
  if (!cfh->in_stroke) {
    cfh->in_stroke = 1;
    cfh->last_x = x;
    cfh->last_y = y;
    // A stroke that began before the tool was current is closed where the
    // tool first saw it, not at a point of an earlier stroke.
    cfh->start_x = x;
    cfh->start_y = y;
  }
  draw_line(tool->drawing, cfh->last_x, cfh->last_y, x, y);
  cfh->last_x = x;
  cfh->last_y = y;
  point_array_append(cfh->points, x, y);
}

void freehand_press(VorpixTool *tool, int x, int y) {
  VorpixFreehand *cfh = as_freehand(tool);
  // An outline whose release went to a menu, a dialog or the window manager
  // is left as it is; the press begins a new one.
  cfh->in_stroke = 0;
  point_array_remove_all(cfh->points);
  cfh->start_x = x;
  cfh->start_y = y;
  freehand_segment(tool, x, y);
}

void freehand_release(VorpixTool *tool, int x, int y) {
  VorpixFreehand *cfh = as_freehand(tool);
  // Without a traced stroke there is nothing to close.
  if (!cfh->in_stroke) return;
  VorpixDrawing *drawing = tool->drawing;
  draw_line(drawing, x, y, cfh->start_x, cfh->start_y);
  point_array_append(cfh->points, cfh->start_x, cfh->start_y);
  int n = point_array_size(cfh->points);
  if (cfh->filled && n >= kMinFillVertices) {
    GdkPoint *points = point_array_data(cfh->points);
    gdk_draw_polygon(drawing->backing_pixmap, drawing_paint_gc(drawing), TRUE, points, n);
    GdkRectangle box;
    point_array_bounding_rectangle(cfh->points, &box);
    drawing_modified_area(drawing, box);
  }
  point_array_remove_all(cfh->points);
  cfh->in_stroke = 0;
}

}  // namespace

VorpixTool *closed_freehand_create(const char *name) {
  VorpixFreehand *cfh = g_new0(VorpixFreehand, 1);
  g_assert(cfh);
  cfh->name = name;
  cfh->cursor = gdk_cursor_new(GDK_PENCIL);
  cfh->points = point_array_new();
  cfh->destroy = freehand_destroy;
  cfh->deselect = freehand_deselect;
  cfh->attribute = freehand_attribute;
  cfh->button_press = freehand_press;
  cfh->motion = freehand_segment;
  cfh->button_release = freehand_release;
  return cfh;
}
