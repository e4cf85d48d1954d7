#include "tools/shape.h"

#include <cstdlib>

#include "document/drawing.h"
#include "document/view.h"

namespace {

constexpr int kFullCircle = 360 * 64;
constexpr int kQuarterClockwise = -90 * 64;

struct Box {
  int left, top, width, height;
};

// One figure as the X server draws it: a line, or a rectangle or an arc in
// a box.
struct Figure {
  enum Kind { kLine, kRectangle, kArc } kind;
  Box box;  // a line runs from (left, top) to (left + width, top + height)
  int filled;
  int angle1 = 0, angle2 = 0;
};

// The area a figure may paint: from corner to corner of its box (a line's
// end points), widened by the line.
GdkRectangle figure_area(const Figure &f, int line_width) {
  const Box &b = f.box;
  return drawing_line_area(b.left, b.top, b.left + b.width, b.top + b.height, line_width);
}

void paint_on(GdkDrawable *drawable, GdkGC *gc, const Figure &f) {
  const Box &b = f.box;
  switch (f.kind) {
    case Figure::kLine:
      gdk_draw_line(drawable, gc, b.left, b.top, b.left + b.width, b.top + b.height);
      break;
    case Figure::kRectangle:
      gdk_draw_rectangle(drawable, gc, f.filled, b.left, b.top, b.width, b.height);
      break;
    case Figure::kArc:
      gdk_draw_arc(drawable, gc, f.filled, b.left, b.top, b.width, b.height, f.angle1, f.angle2);
      break;
  }
}

// A rubber band: inverted on the window only, where the view shows the
// picture.  Rubber bands are never filled.
void mark_on_view(VorpixView *view, GdkGC *gc, const Figure &f) {
  const Box &b = f.box;
  switch (f.kind) {
    case Figure::kLine:
      view_mark_line(view, gc, b.left, b.top, b.left + b.width, b.top + b.height);
      break;
    case Figure::kRectangle:
      view_mark_rectangle(view, gc, b.left, b.top, b.width, b.height);
      break;
    case Figure::kArc:
      view_mark_arc(view, gc, b.left, b.top, b.width, b.height, f.angle1, f.angle2);
      break;
  }
}

// A rubber band goes onto the window only; the final figure into the
// picture, whose changed part the view then shows.  A rubber band inverts;
// the GC is set back at once, since a menu or dialog raised during the drag
// can take the release and paint with the GC before the tool hears of it.
void paint_figure(VorpixShape *shape, const Figure &figure) {
  VorpixDrawing *drawing = shape->drawing;
  if (shape->preview) {
    gdk_gc_set_function(drawing->gc, GDK_INVERT);
    mark_on_view(shape->canvas->view, drawing->gc, figure);
    gdk_gc_set_function(drawing->gc, shape->saved_function);
    return;
  }
  paint_on(drawing->backing_pixmap, drawing_paint_gc(drawing), figure);
  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  drawing_modified_area(drawing, figure_area(figure, values.line_width));
}

// The box spanned by the start and end points; + filled makes a filled
// figure cover the same pixels as the outline of the same corners.
Box corner_box(const VorpixShape *shape, int filled) {
  int x1 = shape->start_x, y1 = shape->start_y, x2 = shape->end_x, y2 = shape->end_y;
  return {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, std::abs(x2 - x1) + filled,
          std::abs(y2 - y1) + filled};
}

void draw_line(VorpixShape *shape, int) {
  Box line = {shape->start_x, shape->start_y, shape->end_x - shape->start_x,
              shape->end_y - shape->start_y};
  paint_figure(shape, Figure{Figure::kLine, line, 0});
}

void draw_rectangle(VorpixShape *shape, int filled) {
  paint_figure(shape, Figure{Figure::kRectangle, corner_box(shape, filled), filled});
}

void draw_oval(VorpixShape *shape, int filled) {
  paint_figure(shape, Figure{Figure::kArc, corner_box(shape, filled), filled, 0, kFullCircle});
}

// A quarter ellipse running clockwise on the screen from the start point to
// the end point; the drag direction picks the quarter.
void draw_arc(VorpixShape *shape, int filled) {
  int x1 = shape->start_x, y1 = shape->start_y, x2 = shape->end_x, y2 = shape->end_y;
  Box b;
  int angle;
  if (x1 < x2 && y1 < y2) {
    b = {2 * x1 - x2, y1, 2 * (x2 - x1), 2 * (y2 - y1)};
    angle = 90 * 64;
  } else if (x1 < x2) {
    b = {x1, y2, 2 * (x2 - x1), 2 * (y1 - y2)};
    angle = 180 * 64;
  } else if (y1 < y2) {
    b = {2 * x2 - x1, 2 * y1 - y2, 2 * (x1 - x2), 2 * (y2 - y1)};
    angle = 0;
  } else {
    b = {x2, 2 * y2 - y1, 2 * (x1 - x2), 2 * (y1 - y2)};
    angle = -90 * 64;
  }
  if (filled) {
    // Both sides are even; the extra pixel matches the outline's extent.
    b.width |= 1;
    b.height |= 1;
  }
  paint_figure(shape, Figure{Figure::kArc, b, filled, angle, kQuarterClockwise});
}

VorpixShape *as_shape(VorpixTool *tool) { return static_cast<VorpixShape *>(tool); }

void shape_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(as_shape(tool));
}

void shape_select(VorpixTool *tool) {
  GdkGCValues values;
  gdk_gc_get_values(tool->drawing->gc, &values);
  as_shape(tool)->saved_function = values.function;
}

// A rubber band still shown is inverted away: nothing would draw it again.
void shape_deselect(VorpixTool *tool) {
  VorpixShape *shape = as_shape(tool);
  if (shape->anchored && shape->shown && shape->preview) shape->draw_shape(shape, 0);
  shape->anchored = 0;
  shape->shown = 0;
  shape->have_vertex = 0;
}

int shape_attribute(VorpixTool *tool, int code, const void *value) {
  if (code != TOOL_ATTRIBUTE_FILLED || !value) return 0;
  as_shape(tool)->filled = *static_cast<const int *>(value);
  return 1;
}

// Holds (x, y) as the start of a rubber band.
void anchor(VorpixShape *shape, int x, int y) {
  shape->anchored = 1;
  shape->start_x = x;
  shape->start_y = y;
  shape->preview = 1;
}

void shape_press(VorpixTool *tool, int x, int y) {
  VorpixShape *shape = as_shape(tool);
  shape->shown = 0;
  anchor(shape, x, y);
}

void multiline_press(VorpixTool *tool, int x, int y) {
  VorpixShape *shape = as_shape(tool);
  if (shape->have_vertex) {
    VorpixDrawing *drawing = tool->drawing;
    gdk_draw_line(drawing->backing_pixmap, drawing_paint_gc(drawing), shape->vertex_x, shape->vertex_y, x, y);
    GdkGCValues values;
    gdk_gc_get_values(drawing->gc, &values);
    drawing_modified_area(
        drawing, drawing_line_area(shape->vertex_x, shape->vertex_y, x, y, values.line_width));
  }
  shape_press(tool, x, y);
}

void shape_motion(VorpixTool *tool, int x, int y) {
  VorpixShape *shape = as_shape(tool);
  // A drag that began before the tool was current starts here.
  if (!shape->anchored) anchor(shape, x, y);
  // Inverting the same figure again removes it from the window.
  if (shape->shown) shape->draw_shape(shape, 0);
  shape->shown = 1;
  shape->end_x = x;
  shape->end_y = y;
  shape->draw_shape(shape, 0);
  // A rubber band already counts as a change of the drawing.
  drawing_modified_area(tool->drawing, GdkRectangle{0, 0, 0, 0});
}

// A repaint wiped the rubber band where it repainted: show it there again.
void shape_draw(VorpixTool *tool) {
  VorpixShape *shape = as_shape(tool);
  if (shape->anchored && shape->shown && shape->preview) shape->draw_shape(shape, 0);
}

void shape_release(VorpixTool *tool, int x, int y) {
  VorpixShape *shape = as_shape(tool);
  if (shape->anchored) {
    if (shape->shown) shape->draw_shape(shape, 0);
    shape->preview = 0;
    shape->shown = 1;
    shape->end_x = x;
    shape->end_y = y;
    shape->draw_shape(shape, shape->filled);
  }
  shape->anchored = 0;
  shape->shown = 0;
  shape->have_vertex = 1;
  shape->vertex_x = x;
  shape->vertex_y = y;
}

}  // namespace

VorpixTool *shape_create(const char *name, void (*draw_shape)(VorpixShape *, int)) {
  VorpixShape *shape = g_new0(VorpixShape, 1);
  g_assert(shape);
  shape->name = name;
  shape->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  shape->destroy = shape_destroy;
  shape->select = shape_select;
  shape->deselect = shape_deselect;
  shape->attribute = shape_attribute;
  shape->button_press = shape_press;
  shape->motion = shape_motion;
  shape->button_release = shape_release;
  shape->draw = shape_draw;
  shape->draw_shape = draw_shape;
  return shape;
}

VorpixTool *line_shape_create(const char *name) { return shape_create(name, draw_line); }

VorpixTool *rectangle_shape_create(const char *name) {
  return shape_create(name, draw_rectangle);
}

VorpixTool *oval_shape_create(const char *name) { return shape_create(name, draw_oval); }

VorpixTool *arc_shape_create(const char *name) { return shape_create(name, draw_arc); }

VorpixTool *multiline_shape_create(const char *name) {
  VorpixTool *tool = shape_create(name, draw_line);
  tool->button_press = multiline_press;
  return tool;
}
