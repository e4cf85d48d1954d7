#include "tools/rectselect.h"

#include <algorithm>

#include "document/drawing.h"
#include "tools/selection.h"

namespace {

RectangleSelectTool *self(VorpixTool *tool) { return static_cast<RectangleSelectTool *>(tool); }

// Always a closed 5-point outline, whatever the drag direction.
void build_outline(RectangleSelectTool *rs) {
  int left = std::min(rs->start_x, rs->end_x);
  int right = std::max(rs->start_x, rs->end_x);
  int top = std::min(rs->start_y, rs->end_y);
  int bottom = std::max(rs->start_y, rs->end_y);
  selection_remove_points(rs->selection);
  selection_add_point(rs->selection, left, top);
  selection_add_point(rs->selection, right, top);
  selection_add_point(rs->selection, right, bottom);
  selection_add_point(rs->selection, left, bottom);
  selection_add_point(rs->selection, left, top);
}

void tool_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  delete self(tool);
}

void tool_select(VorpixTool *tool) {
  RectangleSelectTool *rs = self(tool);
  rs->selection = tool->canvas->selection;
  selection_enable_flash(rs->selection);
}

void tool_deselect(VorpixTool *tool) {
  RectangleSelectTool *rs = self(tool);
  if (rs->selection) selection_remove_points(rs->selection);
}

void press(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  RectangleSelectTool *rs = self(tool);
  rs->start_x = rs->end_x = x;
  rs->start_y = rs->end_y = y;
  build_outline(rs);
}

// Shows the rectangle up to the previous motion point, then records this one.
void drag(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  RectangleSelectTool *rs = self(tool);
  build_outline(rs);
  selection_draw_flash(rs->selection);
  rs->end_x = x;
  rs->end_y = y;
}

// Not drawn here: the selection's timer shows the final outline.
void release(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  RectangleSelectTool *rs = self(tool);
  rs->end_x = x;
  rs->end_y = y;
  build_outline(rs);
}

}  // namespace

VorpixTool *rectangle_select_create(const char *name) {
  RectangleSelectTool *rs = new RectangleSelectTool();
  rs->name = name;
  rs->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  rs->destroy = tool_destroy;
  rs->select = tool_select;
  rs->deselect = tool_deselect;
  rs->button_press = press;
  rs->motion = drag;
  rs->button_release = release;
  return rs;
}
