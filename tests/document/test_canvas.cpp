// Event dispatch, tool switching, cursors and the canvas's document commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <gdk/gdkkeysyms.h>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/view.h"
#include "tests/harness/window_fixture.h"
#include "tools/selection.h"

using vorpix_test::MainWindowTest;
using vorpix_test::pump;

namespace {

// A tool that writes every call it receives into a shared log.
struct RecordingTool : VorpixTool {
  std::vector<std::string> *log;
};

void record(VorpixTool *tool, const std::string &line) {
  static_cast<RecordingTool *>(tool)->log->push_back(std::string(tool->name) + " " + line);
}

RecordingTool *recording_tool_new(const char *name, std::vector<std::string> *log,
                                  GdkCursorType cursor) {
  auto *tool = new RecordingTool{};
  tool->name = name;
  tool->log = log;
  tool->cursor = gdk_cursor_new(cursor);
  tool->destroy = [](VorpixTool *t) {
    gdk_cursor_unref(t->cursor);
    delete static_cast<RecordingTool *>(t);
  };
  tool->select = [](VorpixTool *t) { record(t, "select"); };
  tool->deselect = [](VorpixTool *t) { record(t, "deselect"); };
  tool->notify = [](VorpixTool *t, int event, void *) {
    record(t, "notify " + std::to_string(event));
    return 0;
  };
  tool->button_press = [](VorpixTool *t, int x, int y) {
    record(t, "press " + std::to_string(x) + " " + std::to_string(y));
  };
  tool->motion = [](VorpixTool *t, int x, int y) {
    record(t, "motion " + std::to_string(x) + " " + std::to_string(y));
  };
  tool->button_release = [](VorpixTool *t, int x, int y) {
    record(t, "release " + std::to_string(x) + " " + std::to_string(y));
  };
  tool->key_release = [](VorpixTool *t, const GdkEventKey *event) {
    record(t, "key " + std::string(gdk_keyval_name(event->keyval)));
  };
  tool->commit_change = [](VorpixTool *t) { record(t, "commit"); };
  return tool;
}

class CanvasTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    first = recording_tool_new("first", &log, GDK_PENCIL);
    second = recording_tool_new("second", &log, GDK_CROSSHAIR);
    canvas_set_tool(canvas, first);
    log.clear();
  }
  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    first->destroy(first);
    second->destroy(second);
    MainWindowTest::TearDown();
  }
  GdkCursor *area_cursor() const { return gdk_window_get_cursor(area->window); }

  std::vector<std::string> log;
  RecordingTool *first = nullptr;
  RecordingTool *second = nullptr;
};

using Log = std::vector<std::string>;

TEST_F(CanvasTest, OnlyButtonOneReachesTheTool) {
  press(10, 20, 3);
  release(10, 20, 3);
  press(11, 21, 2);
  release(11, 21, 2);
  EXPECT_TRUE(log.empty());
  press(12, 22, 1);
  release(13, 23, 1);
  EXPECT_EQ(log, (Log{"first press 12 22", "first release 13 23"}));
}

TEST_F(CanvasTest, PositionsAreTruncatedTowardZero) {
  press(10.9, 20.5);
  motion(-3.7, -0.5);
  release(639.99, -12.2);
  EXPECT_EQ(log, (Log{"first press 10 20", "first motion -3 0", "first release 639 -12"}));
}

TEST_F(CanvasTest, MotionReachesTheToolOnlyWithButtonOneHeld) {
  motion(5, 5, 0);
  motion(6, 6, GDK_BUTTON3_MASK);
  motion(7, 7, GDK_BUTTON1_MASK | GDK_SHIFT_MASK);
  EXPECT_EQ(log, (Log{"first motion 7 7"}));
}

TEST_F(CanvasTest, MotionHintReadsThePointerInsteadOfTheEvent) {
  // The real pointer has no button down, whatever the hint event says.
  vorpix_test::send_motion(area, 30, 30, GDK_BUTTON1_MASK, /*hint=*/true);
  EXPECT_TRUE(log.empty());
}

TEST_F(CanvasTest, DoubleClickGivesThreePressesAndTwoReleases) {
  press(4, 4);
  release(4, 4);
  press(4, 4);
  press(4, 4, 1, GDK_2BUTTON_PRESS);
  release(4, 4);
  EXPECT_EQ(log, (Log{"first press 4 4", "first release 4 4", "first press 4 4",
                      "first press 4 4", "first release 4 4"}));
}

TEST_F(CanvasTest, OnlyKeyReleasesReachTheTool) {
  // A key that chooses no tool.
  vorpix_test::send_key(area, GDK_KEY_PRESS, GDK_1);
  EXPECT_TRUE(log.empty());
  vorpix_test::send_key(area, GDK_KEY_RELEASE, GDK_1);
  EXPECT_EQ(log, (Log{"first key 1"}));
}

TEST_F(CanvasTest, SwitchingToolsDeselectsTheOldOneFirst) {
  canvas_set_tool(canvas, second);
  EXPECT_EQ(log, (Log{"first deselect", "second select"}));
  EXPECT_EQ(second->drawing, drawing());
  EXPECT_EQ(second->canvas, canvas);
  EXPECT_EQ(area_cursor(), second->cursor);

  log.clear();
  canvas_set_tool(canvas, second);
  EXPECT_EQ(log, (Log{"second deselect", "second select"}));
}

TEST_F(CanvasTest, WithoutAToolEventsAreDroppedAndTheArrowShows) {
  canvas_set_tool(canvas, nullptr);
  EXPECT_EQ(log, (Log{"first deselect"}));
  EXPECT_EQ(area_cursor(), canvas->arrow_cursor);
  log.clear();
  press(1, 1);
  motion(2, 2);
  release(3, 3);
  vorpix_test::send_key(area, GDK_KEY_RELEASE, GDK_a);
  EXPECT_TRUE(log.empty());
}

TEST_F(CanvasTest, BusyCursorCommitsAndEndsWithTheToolCursor) {
  canvas_begin_busy_cursor(canvas);
  EXPECT_EQ(log, (Log{"first commit"}));
  EXPECT_EQ(area_cursor(), canvas->busy_cursor);
  EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->busy_cursor);
  canvas_end_busy_cursor(canvas);
  EXPECT_EQ(area_cursor(), first->cursor);
  EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->arrow_cursor);
}

TEST_F(CanvasTest, BusyCursorEndsWithTheArrowForAToolWithoutCursor) {
  GdkCursor *cursor = first->cursor;
  first->cursor = nullptr;
  canvas_set_tool(canvas, first);
  canvas_begin_busy_cursor(canvas);
  canvas_end_busy_cursor(canvas);
  EXPECT_EQ(area_cursor(), canvas->arrow_cursor);
  first->cursor = cursor;
}

TEST_F(CanvasTest, FocusChangesReachTheSelectionAndTheTool) {
  canvas_focus_gained(canvas);
  EXPECT_EQ(canvas->has_focus, 1);
  EXPECT_EQ(canvas->selection->flashing, 1);
  canvas_focus_lost(canvas);
  EXPECT_EQ(canvas->has_focus, 0);
  EXPECT_EQ(canvas->selection->flashing, 0);
  EXPECT_EQ(log, (Log{"first notify 0", "first notify 1"}));
}

TEST_F(CanvasTest, ReplacingTheDrawingEmptiesTheOutlineAndRetargetsTheTool) {
  canvas_select_all(canvas);
  ASSERT_TRUE(canvas_has_selection(canvas));
  VorpixDrawing *replacement = drawing_new_blank(area, canvas->gc, 100, 50);
  canvas_set_drawing(canvas, replacement);
  EXPECT_EQ(selection_num_points(canvas->selection), 0);
  EXPECT_EQ(first->drawing, replacement);
  int width = 0, height = 0;
  view_zoomed_size(canvas->view, &width, &height);
  EXPECT_EQ(width, 100);
  EXPECT_EQ(height, 50);
}

TEST_F(CanvasTest, SelectAllCommitsAndOutlinesTheWholePicture) {
  canvas_select_all(canvas);
  EXPECT_EQ(log, (Log{"first commit"}));
  ASSERT_EQ(selection_num_points(canvas->selection), 5);
  const GdkPoint *p = selection_data(canvas->selection);
  const int expected[5][2] = {{0, 0}, {640, 0}, {640, 480}, {0, 480}, {0, 0}};
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(p[i].x, expected[i][0]) << i;
    EXPECT_EQ(p[i].y, expected[i][1]) << i;
  }
}

class CanvasClearTest : public MainWindowTest {
 protected:
  void paint_black() {
    gdk_draw_rectangle(drawing()->backing_pixmap, area->style->black_gc, TRUE, 0, 0, 640, 480);
  }
  void set_background(guint16 r, guint16 g, guint16 b) {
    GdkColor color = {0, r, g, b};
    gdk_colormap_alloc_color(gdk_colormap_get_system(), &color, FALSE, TRUE);
    gdk_gc_set_background(canvas->gc, &color);
  }
};

TEST_F(CanvasClearTest, TwoPointOutlineClearsTheWholeDrawing) {
  paint_black();
  set_background(0xffff, 0, 0);
  selection_add_point(canvas->selection, 10, 10);
  selection_add_point(canvas->selection, 20, 20);
  canvas_clear(canvas);
  EXPECT_EQ(pixel(0, 0), 0xff0000u);
  EXPECT_EQ(pixel(639, 479), 0xff0000u);
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(CanvasClearTest, OutlineOfThreeOrMorePointsClearsOnlyInside) {
  paint_black();
  set_background(0, 0, 0xffff);
  GdkRectangle box = {100, 100, 50, 40};
  selection_set_rectangle(canvas->selection, box);
  canvas_clear(canvas);
  EXPECT_EQ(pixel(120, 120), 0x0000ffu);
  EXPECT_EQ(pixel(99, 120), 0x000000u);
  EXPECT_EQ(pixel(160, 120), 0x000000u);
  EXPECT_EQ(pixel(0, 0), 0x000000u);
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_EQ(selection_num_points(canvas->selection), 5);
}

TEST_F(MainWindowTest, ExposeShowsTheBackingPixmapAndBeyondItNothingIsPainted) {
  gdk_draw_rectangle(drawing()->backing_pixmap, area->style->black_gc, TRUE, 5, 5, 10, 10);
  canvas_redraw(canvas);
  pump();
  EXPECT_EQ(window_pixel(7, 7), 0x000000u);
  EXPECT_EQ(window_pixel(30, 30), 0xffffffu);

  // Painting through the shared GC beyond the picture changes nothing.
  VorpixDrawing *small = drawing_new_blank(area, canvas->gc, 50, 40);
  canvas_set_drawing(canvas, small);
  pump();
  gdk_draw_line(small->backing_pixmap, canvas->gc, 0, 45, 49, 45);
  gdk_draw_line(small->backing_pixmap, canvas->gc, 55, 0, 55, 39);
  for (guint32 value : vorpix_test::drawable_pixels(small->backing_pixmap, 50, 40))
    ASSERT_EQ(value, 0xffffffu);
}

}  // namespace
