// A picture in which neighbouring pixels differ, and the points of a
// selection outline, for the tests that select, copy and paste.
#pragma once

#include <gdk/gdk.h>

#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tools/selection.h"

namespace vorpix_test {

using Points = std::vector<std::pair<int, int>>;

// 0xRRGGBB of the pattern at (x, y).
inline guint32 pattern(int x, int y) {
  return (guint32(x & 0xff) << 16) | (guint32(y & 0xff) << 8) | guint32((x * 7 + y * 3) & 0xff);
}

// Fills the whole picture (the backing pixmap only) with the pattern.
inline void paint_pattern(VorpixDrawing *drawing) {
  int w = drawing->width, h = drawing->height;
  std::vector<guchar> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      guint32 c = pattern(x, y);
      guchar *p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = c >> 16;
      p[1] = (c >> 8) & 0xff;
      p[2] = c & 0xff;
    }
  gdk_draw_rgb_image(drawing->backing_pixmap, drawing->gc, 0, 0, w, h, GDK_RGB_DITHER_NONE,
                     rgb.data(), w * 3);
}

// The points of the canvas's selection outline, in order.
inline Points selection_outline(VorpixCanvas *canvas) {
  Points out;
  const GdkPoint *p = selection_data(canvas->selection);
  for (int i = 0; i < selection_num_points(canvas->selection); i++)
    out.emplace_back(p[i].x, p[i].y);
  return out;
}

}  // namespace vorpix_test
