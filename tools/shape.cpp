#include "tools/shape.h"

#include <cstdlib>

#include "document/drawing.h"

namespace {

constexpr int kFullCircle = 360 * 64;
constexpr int kQuarterClockwise = -90 * 64;

// Paints with the drawing's GC onto the window and, unless the figure is a
// rubber band, into the picture as well.  A rubber band inverts; the GC is
// set back at once, since a menu or dialog raised during the drag can take
// the release and paint with the GC before the tool hears of it.
template <typename Paint>
void paint_figure(VorpixShape *shape, Paint paint) {
  VorpixDrawing *drawing = shape->drawing;
  if (shape->preview) {
    gdk_gc_set_function(drawing->gc, GDK_INVERT);
    paint(drawing->window, drawing->gc);
    gdk_gc_set_function(drawing->gc, shape->saved_function);
  } else {
    paint(drawing->window, drawing->gc);
    paint(drawing->backing_pixmap, drawing->gc);
  }
  drawing_modified(drawing);
}

struct Box {
  int left, top, width, height;
};

// The box spanned by the start and end points; + filled makes a filled
// figure cover the same pixels as the outline of the same corners.
Box corner_box(const VorpixShape *shape, int filled) {
  int x1 = shape->start_x, y1 = shape->start_y, x2 = shape->end_x, y2 = shape->end_y;
  return {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, std::abs(x2 - x1) + filled,
          std::abs(y2 - y1) + filled};
}

void draw_line(VorpixShape *shape, int) {
  paint_figure(shape, [shape](GdkDrawable *d, GdkGC *gc) {
    gdk_draw_line(d, gc, shape->start_x, shape->start_y, shape->end_x, shape->end_y);
  });
}

void draw_rectangle(VorpixShape *shape, int filled) {
  Box b = corner_box(shape, filled);
  paint_figure(shape, [&](GdkDrawable *d, GdkGC *gc) {
    gdk_draw_rectangle(d, gc, filled, b.left, b.top, b.width, b.height);
  });
}

void draw_oval(VorpixShape *shape, int filled) {
  Box b = corner_box(shape, filled);
  paint_figure(shape, [&](GdkDrawable *d, GdkGC *gc) {
    gdk_draw_arc(d, gc, filled, b.left, b.top, b.width, b.height, 0, kFullCircle);
  });
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
  paint_figure(shape, [&](GdkDrawable *d, GdkGC *gc) {
    gdk_draw_arc(d, gc, filled, b.left, b.top, b.width, b.height, angle, kQuarterClockwise);
  });
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

void shape_deselect(VorpixTool *tool) {
  VorpixShape *shape = as_shape(tool);
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
    gdk_draw_line(drawing->window, drawing->gc, shape->vertex_x, shape->vertex_y, x, y);
    gdk_draw_line(drawing->backing_pixmap, drawing->gc, shape->vertex_x, shape->vertex_y, x, y);
    drawing_modified(drawing);
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
