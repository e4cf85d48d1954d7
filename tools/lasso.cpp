#include "tools/lasso.h"

#include "document/drawing.h"
#include "tools/selection.h"

namespace {

LassoSelectTool *self(VorpixTool *tool) { return static_cast<LassoSelectTool *>(tool); }

void tool_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  delete self(tool);
}

void tool_select(VorpixTool *tool) {
  LassoSelectTool *ls = self(tool);
  ls->selection = tool->canvas->selection;
  selection_enable_flash(ls->selection);
}

void tool_deselect(VorpixTool *tool) {
  LassoSelectTool *ls = self(tool);
  if (!ls->selection) return;
  selection_disable_flash(ls->selection);
  selection_remove_points(ls->selection);
}

void press(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  LassoSelectTool *ls = self(tool);
  selection_remove_points(ls->selection);
  selection_add_point(ls->selection, x, y);
}

// One point per motion event, unthinned.
void drag(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  LassoSelectTool *ls = self(tool);
  selection_add_point(ls->selection, x, y);
  selection_draw_flash(ls->selection);
}

void release(VorpixTool *tool, int x, int y) {
  drawing_clamp_point(tool->drawing, &x, &y);
  LassoSelectTool *ls = self(tool);
  selection_add_point(ls->selection, x, y);
  selection_close_loop(ls->selection);
  selection_draw_flash(ls->selection);
}

}  // namespace

VorpixTool *lasso_select_create(const char *name) {
  LassoSelectTool *ls = new LassoSelectTool();
  ls->name = name;
  ls->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  ls->destroy = tool_destroy;
  ls->select = tool_select;
  ls->deselect = tool_deselect;
  ls->button_press = press;
  ls->motion = drag;
  ls->button_release = release;
  return ls;
}
