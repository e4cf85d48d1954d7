// Zoom for window-level tests: set a level by its percentage, and find the
// window position that shows a picture pixel.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cmath>
#include <utility>

#include "document/canvas.h"
#include "document/view.h"
#include "tests/harness/window_fixture.h"

namespace vorpix_test {

// The level showing percent (12.5 to 3200); fails the test for any other.
inline int level_of_percent(double percent) {
  for (int level = 0; level < view_level_count(); level++)
    if (view_level_factor(level) * 100 == percent) return level;
  ADD_FAILURE() << percent << "% is no zoom level";
  return view_normal_level();
}

// Zooms canvas's view to percent, scrolled to the picture's top-left, and
// lets the window repaint.
inline void zoom_to(VorpixCanvas *canvas, double percent) {
  view_set_level(canvas->view, level_of_percent(percent));
  view_scroll_to(canvas->view, 0, 0);
  pump();
}

// The window position in the middle of the block that shows picture pixel
// (x, y); zoomed out, the window pixel showing it (x and y then multiples of
// the reduction, or the pixel is out of reach).
inline std::pair<double, double> window_point(VorpixCanvas *canvas, int x, int y) {
  GdkRectangle shown = view_picture_to_window(canvas->view, GdkRectangle{x, y, 1, 1});
  return {shown.x + shown.width / 2, shown.y + shown.height / 2};
}

}  // namespace vorpix_test
