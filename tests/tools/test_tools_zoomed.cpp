// Every tool through real events at 25% and 400%: the same gestures, in
// picture pixels, give the same picture bytes (and outline) as at 100%.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/clipboard.h"
#include "shell/util.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/view_helpers.h"
#include "tools/paste.h"

using vorpix_test::Points;

namespace {

struct Step {
  enum Kind { kPress, kMotion, kRelease, kKey, kCopy, kPaste } kind;
  int x = 0, y = 0;  // picture pixels, multiples of 4 so that 25% reaches them
  guint keyval = 0;
};

Step press(int x, int y) { return {Step::kPress, x, y}; }
Step motion(int x, int y) { return {Step::kMotion, x, y}; }
Step release(int x, int y) { return {Step::kRelease, x, y}; }
Step key(guint keyval) { return {Step::kKey, 0, 0, keyval}; }

enum class Backdrop { kBlank, kPattern, kFrame };

struct ToolCase {
  const char *name;
  const char *button;
  Backdrop backdrop;
  bool filled;
  std::vector<Step> steps;
  // A selection shows in the picture once the area inside it is cleared.
  bool clear_inside = false;
};

const ToolCase kCases[] = {
    {"Pen", "pen_button", Backdrop::kBlank, false,
     {press(8, 8), motion(40, 20), motion(60, 64), release(60, 64)}},
    {"Brush", "brush_button", Backdrop::kBlank, false,
     {press(20, 20), motion(48, 40), motion(80, 44), release(80, 44)}},
    {"Eraser", "erase_button", Backdrop::kPattern, false,
     {press(20, 20), motion(48, 40), motion(80, 44), release(80, 44)}},
    {"Line", "line_button", Backdrop::kBlank, false,
     {press(8, 8), motion(60, 30), motion(100, 60), release(100, 60)}},
    {"Multiline", "multiline_button", Backdrop::kBlank, false,
     {press(8, 8), motion(40, 40), release(40, 40), press(80, 12), release(80, 12)}},
    {"Rectangle", "rectangle_button", Backdrop::kBlank, true,
     {press(12, 16), motion(50, 50), motion(92, 72), release(92, 72)}},
    {"Oval", "oval_button", Backdrop::kBlank, false,
     {press(12, 16), motion(50, 50), motion(92, 72), release(92, 72)}},
    {"Arc", "arc_button", Backdrop::kBlank, false,
     {press(8, 8), motion(60, 40), motion(96, 64), release(96, 64)}},
    {"ClosedFreehand", "closed_freehand_button", Backdrop::kBlank, true,
     {press(20, 20), motion(80, 24), motion(60, 80), release(24, 72)}},
    {"Fill", "fill_button", Backdrop::kFrame, false, {press(52, 52), release(52, 52)}},
    {"Text", "text_button", Backdrop::kBlank, false,
     {press(16, 16), release(16, 16), key(GDK_H), key(GDK_i), press(100, 100),
      release(100, 100)}},
    {"RectangleSelect", "rectselect_button", Backdrop::kPattern, false,
     {press(12, 12), motion(40, 30), motion(60, 48), release(60, 48)}, true},
    {"PolygonSelect", "polselect_button", Backdrop::kPattern, false,
     {press(12, 12), release(12, 12), press(80, 16), release(80, 16), press(44, 72),
      release(44, 72)},
     true},
    {"Lasso", "lasso_button", Backdrop::kPattern, false,
     {press(12, 12), motion(80, 16), motion(44, 72), release(20, 60)}, true},
    {"PasteDrag", "rectselect_button", Backdrop::kPattern, false,
     {press(8, 8), motion(40, 32), release(40, 32), {Step::kCopy}, {Step::kPaste}, press(4, 4),
      motion(40, 40), release(60, 52)}},
};

struct Result {
  std::vector<guint32> picture;
  Points outline;
};

void prepare(VorpixCanvas *canvas, Backdrop backdrop) {
  VorpixDrawing *drawing = canvas->drawing;
  if (backdrop == Backdrop::kPattern) vorpix_test::paint_pattern(drawing);
  if (backdrop == Backdrop::kFrame) {
    GdkGC *black = canvas->drawing_area->style->black_gc;
    gdk_draw_rectangle(drawing->backing_pixmap, black, FALSE, 20, 20, 80, 60);
  }
  canvas_redraw(canvas);
}

// The case's gestures on window, whose view shows percent.
Result run(GtkWidget *window, const ToolCase &c, double percent) {
  VorpixCanvas *canvas = canvas_lookup(window);
  GtkWidget *area = canvas->drawing_area;
  canvas_clipboard_free(canvas_clipboard(canvas));
  gtk_button_clicked(GTK_BUTTON(lookup_widget(window, c.button)));
  if (c.filled) gtk_button_clicked(GTK_BUTTON(lookup_widget(window, "filled_button")));
  prepare(canvas, c.backdrop);
  vorpix_test::zoom_to(canvas, percent);
  for (const Step &step : c.steps) {
    auto [wx, wy] = vorpix_test::window_point(canvas, step.x, step.y);
    switch (step.kind) {
      case Step::kPress:
        vorpix_test::send_button(area, GDK_BUTTON_PRESS, wx, wy, 1);
        break;
      case Step::kMotion:
        vorpix_test::send_motion(area, wx, wy, GDK_BUTTON1_MASK);
        break;
      case Step::kRelease:
        vorpix_test::send_button(area, GDK_BUTTON_RELEASE, wx, wy, 1, GDK_BUTTON1_MASK);
        break;
      case Step::kKey:
        vorpix_test::send_key(area, GDK_KEY_PRESS, step.keyval);
        vorpix_test::send_key(area, GDK_KEY_RELEASE, step.keyval);
        break;
      case Step::kCopy:
        canvas_copy(canvas);
        break;
      case Step::kPaste:
        canvas_begin_paste_mode(canvas);
        break;
    }
  }
  Result result;
  result.outline = vorpix_test::selection_outline(canvas);
  if (c.clear_inside) canvas_clear(canvas);
  VorpixDrawing *drawing = canvas->drawing;
  result.picture =
      vorpix_test::drawable_pixels(drawing->backing_pixmap, drawing->width, drawing->height);
  return result;
}

class ToolsZoomedTest : public vorpix_test::MainWindowTest,
                        public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ToolsZoomedTest, SameGesturesGiveTheSamePictureAtEveryZoom) {
  const ToolCase &c = GetParam();
  const Result normal = run(window, c, 100);
  const std::vector<guint32> untouched = [&] {
    GtkWidget *blank = open_window();
    prepare(canvas_of(blank), c.backdrop);
    VorpixDrawing *drawing = canvas_of(blank)->drawing;
    return vorpix_test::drawable_pixels(drawing->backing_pixmap, drawing->width,
                                        drawing->height);
  }();
  ASSERT_NE(normal.picture, untouched) << "the gestures change the picture";
  for (double percent : {25.0, 400.0}) {
    const Result zoomed = run(open_window(), c, percent);
    EXPECT_TRUE(zoomed.picture == normal.picture) << c.name << " at " << percent << "%";
    EXPECT_EQ(zoomed.outline, normal.outline) << c.name << " at " << percent << "%";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTool, ToolsZoomedTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ToolCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
