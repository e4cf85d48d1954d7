#include "tools/brush.h"

#include <cmath>

#include "document/drawing.h"

namespace {

constexpr double kDabSpacing = 3.0;
constexpr int kDabSize = 15;
// A position within this many spacings below a multiple counts as that
// multiple, so no multiple is dabbed twice.
constexpr double kSpacingSlack = 0.00001;
constexpr int kFullCircle = 360 * 64;

void brush_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(tool);
}

void brush_select(VorpixTool *tool) { VORPIX_BRUSH(tool)->in_stroke = 0; }

void brush_button_press(VorpixTool *tool, int x, int y) {
  VorpixBrush *brush = VORPIX_BRUSH(tool);
  brush->in_stroke = 1;
  brush->last_x = x;
  brush->last_y = y;
  brush->dab(tool, x, y);
}

// Lays a dab wherever the travelled distance passes a multiple of the spacing
// on the straight segment from the previous position to (x, y).
void brush_motion(VorpixTool *tool, int x, int y) {
  VorpixBrush *brush = VORPIX_BRUSH(tool);
  if (!brush->in_stroke) {
    brush->in_stroke = 1;
    brush->last_x = x;
    brush->last_y = y;
  }
  double dx = x - brush->last_x;
  double dy = y - brush->last_y;
  double len = sqrt(dx * dx + dy * dy);
  double start = brush->distance;
  double end = start + len;

  if (end > start) {
    double pos = start;
    for (;;) {
      int k = static_cast<int>(pos / brush->spacing + 1 + kSpacingSlack);
      double next = (k * brush->spacing - pos) + pos;
      brush->distance = next;
      if (next <= end + kSpacingSlack) {
        double f = (next - start) / len;
        brush->dab(tool, static_cast<int>(f * dx + brush->last_x),
                   static_cast<int>(f * dy + brush->last_y));
      }
      if (!(end > next)) break;
      pos = next;
    }
  }
  brush->distance = end;
  brush->in_stroke = 1;
  brush->last_x = x;
  brush->last_y = y;
}

void brush_button_release(VorpixTool *tool, int, int) { VORPIX_BRUSH(tool)->in_stroke = 0; }

void brush_dab(VorpixTool *tool, int x, int y) {
  VorpixBrush *brush = VORPIX_BRUSH(tool);
  VorpixDrawing *drawing = tool->drawing;
  int h = brush->size / 2;
  gdk_draw_arc(drawing->backing_pixmap, drawing_paint_gc(drawing), TRUE, x - h, y - h, brush->size,
               brush->size, 0, kFullCircle);
  drawing_modified_area(drawing, GdkRectangle{x - h, y - h, brush->size, brush->size});
}

void eraser_dab(VorpixTool *tool, int x, int y) {
  VorpixBrush *brush = VORPIX_BRUSH(tool);
  VorpixDrawing *drawing = tool->drawing;
  int h = brush->size / 2;
  gdk_draw_rectangle(drawing->backing_pixmap, drawing_paint_gc(drawing), TRUE, x - h, y - h, brush->size,
                     brush->size);
  drawing_modified_area(drawing, GdkRectangle{x - h, y - h, brush->size, brush->size});
}

void eraser_destroy(VorpixTool *tool) {
  // Destroyed while current (its window closing): the saved colour goes too.
  VorpixEraser *eraser = VORPIX_ERASER(tool);
  if (eraser->fgcolor) gdk_color_free(eraser->fgcolor);
  brush_destroy(tool);
}

// While current, the GC paints in the background colour; the user's
// foreground waits in fgcolor.
void eraser_select(VorpixTool *tool) {
  VORPIX_BRUSH(tool)->in_stroke = 0;
  GdkGC *gc = tool->drawing->gc;
  GdkGCValues values;
  gdk_gc_get_values(gc, &values);
  g_assert(!VORPIX_ERASER(tool)->fgcolor);
  VORPIX_ERASER(tool)->fgcolor = gdk_color_copy(&values.foreground);
  gdk_gc_set_foreground(gc, &values.background);
}

void eraser_deselect(VorpixTool *tool) {
  VorpixEraser *eraser = VORPIX_ERASER(tool);
  if (!eraser->fgcolor) return;
  gdk_gc_set_foreground(tool->drawing->gc, eraser->fgcolor);
  gdk_color_free(eraser->fgcolor);
  eraser->fgcolor = nullptr;
}

int eraser_attribute(VorpixTool *tool, int code, const void *value) {
  VorpixEraser *eraser = VORPIX_ERASER(tool);
  const GdkColor *color = static_cast<const GdkColor *>(value);
  switch (code) {
    case TOOL_ATTRIBUTE_BACKGROUND: {
      GdkGC *gc = tool->drawing->gc;
      gdk_gc_set_background(gc, color);
      gdk_gc_set_foreground(gc, color);
      return 1;
    }
    case TOOL_ATTRIBUTE_FOREGROUND:
      g_assert(eraser->fgcolor);
      gdk_color_free(eraser->fgcolor);
      eraser->fgcolor = gdk_color_copy(color);
      return 1;
    default:
      return 0;
  }
}

void brush_init(VorpixBrush *brush, const char *name, GdkCursorType cursor,
                void (*dab)(VorpixTool *, int, int)) {
  brush->name = name;
  brush->cursor = gdk_cursor_new(cursor);
  brush->destroy = brush_destroy;
  brush->select = brush_select;
  brush->button_press = brush_button_press;
  brush->motion = brush_motion;
  brush->button_release = brush_button_release;
  brush->dab = dab;
  brush->spacing = kDabSpacing;
  brush->size = kDabSize;
}

}  // namespace

VorpixTool *paint_brush_create(const char *name) {
  VorpixBrush *brush = g_new0(VorpixBrush, 1);
  g_assert(brush);
  brush_init(brush, name, GDK_CROSSHAIR, brush_dab);
  return brush;
}

VorpixTool *eraser_create(const char *name) {
  VorpixEraser *eraser = g_new0(VorpixEraser, 1);
  g_assert(eraser);
  brush_init(eraser, name, GDK_X_CURSOR, eraser_dab);
  eraser->destroy = eraser_destroy;
  eraser->select = eraser_select;
  eraser->deselect = eraser_deselect;
  eraser->attribute = eraser_attribute;
  return eraser;
}
