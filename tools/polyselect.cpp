#include "tools/polyselect.h"

#include "document/drawing.h"
#include "tools/selection.h"

namespace {

PolygonSelectTool *self(VorpixTool *tool) { return static_cast<PolygonSelectTool *>(tool); }

void tool_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  delete self(tool);
}

void tool_select(VorpixTool *tool) {
  PolygonSelectTool *ps = self(tool);
  ps->selection = tool->canvas->selection;
  selection_enable_flash(ps->selection);
}

void tool_deselect(VorpixTool *tool) {
  PolygonSelectTool *ps = self(tool);
  if (ps->selection) selection_remove_points(ps->selection);
}

// The last point of a closed outline repeats the first: a press turns it into
// the new vertex, and the release closes the loop again.
void press(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  PolygonSelectTool *ps = self(tool);
  if (selection_num_points(ps->selection) > 0)
    selection_change_last(ps->selection, x, y);
  else
    selection_add_point(ps->selection, x, y);
  ps->pressed = 1;
}

void drag(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  PolygonSelectTool *ps = self(tool);
  if (!ps->pressed) return;
  if (ps->dragged) {
    selection_change_last(ps->selection, x, y);
    selection_draw_flash(ps->selection);
  }
  ps->dragged = 1;
}

void release(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  PolygonSelectTool *ps = self(tool);
  if (ps->dragged)
    selection_change_last(ps->selection, x, y);
  else
    selection_add_point(ps->selection, x, y);
  selection_close_loop(ps->selection);
  selection_draw_flash(ps->selection);
}

}  // namespace

VorpixTool *polygon_select_create(const char *name) {
  PolygonSelectTool *ps = new PolygonSelectTool();
  ps->name = name;
  ps->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  ps->destroy = tool_destroy;
  ps->select = tool_select;
  ps->deselect = tool_deselect;
  ps->button_press = press;
  ps->motion = drag;
  ps->button_release = release;
  return ps;
}
