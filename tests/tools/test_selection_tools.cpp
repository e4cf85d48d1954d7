// Rectangle, polygon and lasso selection driven through the drawing area.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/view_helpers.h"
#include "tests/harness/window_fixture.h"
#include "tools/lasso.h"
#include "tools/polyselect.h"
#include "tools/rectselect.h"
#include "tools/selection.h"

using vorpix_test::MainWindowTest;
using vorpix_test::Points;

namespace {

class SelectionToolTest : public MainWindowTest {
 protected:
  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    MainWindowTest::TearDown();
    for (VorpixTool *tool : tools_) tool->destroy(tool);
  }

  VorpixTool *use(VorpixTool *tool) {
    tools_.push_back(tool);
    canvas_set_tool(canvas, tool);
    return tool;
  }

  Points outline() const { return vorpix_test::selection_outline(canvas); }

  std::vector<VorpixTool *> tools_;
};

TEST_F(SelectionToolTest, RectangleIsNormalisedWhateverTheDragDirection) {
  use(rectangle_select_create("rectselect"));
  press(50, 40);
  motion(10, 90);
  release(10, 90);
  EXPECT_EQ(outline(), (Points{{10, 40}, {50, 40}, {50, 90}, {10, 90}, {10, 40}}));
  EXPECT_TRUE(canvas_has_selection(canvas));
  // A new press starts a new rectangle.
  drag(200, 300, 300, 200);
  EXPECT_EQ(outline(), (Points{{200, 200}, {300, 200}, {300, 300}, {200, 300}, {200, 200}}));
}

TEST_F(SelectionToolTest, RectangleClickWithoutMotionLeavesFiveEqualPoints) {
  use(rectangle_select_create("rectselect"));
  click(7, 9);
  EXPECT_EQ(outline(), (Points(5, {7, 9})));
}

TEST_F(SelectionToolTest, PolygonClicksOnAFreshToolAddEachVertexTwice) {
  use(polygon_select_create("polyselect"));
  click(10, 20);
  click(100, 20);
  click(60, 90);
  EXPECT_EQ(outline(), (Points{{10, 20}, {10, 20}, {100, 20}, {100, 20}, {60, 90}, {60, 90},
                               {10, 20}}));
}

TEST_F(SelectionToolTest, PolygonAfterADragAddsOneVertexPerClick) {
  VorpixTool *poly = use(polygon_select_create("polyselect"));
  press(5, 5);
  motion(6, 6);
  motion(7, 7);
  release(8, 8);
  // Reselecting empties the outline; the tool remembers it has been dragged.
  canvas_set_tool(canvas, poly);
  EXPECT_TRUE(outline().empty());
  click(30, 40);
  click(80, 40);
  EXPECT_EQ(outline(), (Points{{30, 40}, {80, 40}, {30, 40}}));
  // Dragging moves the vertex being placed.
  press(50, 90);
  motion(55, 95);
  release(60, 100);
  EXPECT_EQ(outline(), (Points{{30, 40}, {80, 40}, {60, 100}, {30, 40}}));
}

TEST_F(SelectionToolTest, PolygonExtendsAnOutlineLeftBySelectAll) {
  use(polygon_select_create("polyselect"));
  canvas_select_all(canvas);
  click(320, 240);
  EXPECT_EQ(outline(), (Points{{0, 0}, {640, 0}, {640, 480}, {0, 480}, {320, 240}, {320, 240},
                               {0, 0}}));
}

TEST_F(SelectionToolTest, LassoFollowsThePointerAndCloses) {
  use(lasso_select_create("lasso"));
  press(10, 10);
  motion(50, 12);
  motion(45, 60);
  release(12, 55);
  EXPECT_EQ(outline(), (Points{{10, 10}, {50, 12}, {45, 60}, {12, 55}, {10, 10}}));
  // The next press starts afresh.
  press(100, 100);
  EXPECT_EQ(outline(), (Points{{100, 100}}));
}

// Gestures that leave the picture, at every zoom: the positions outside are
// limited to the picture's edges.  Each step is a picture point and the
// direction, if any, in which the pointer is 50 window pixels past it.
struct EdgeStep {
  char kind;  // 'p'ress, 'm'otion, 'r'elease
  int x, y, dx, dy;
};
struct EdgeCase {
  const char *name;
  VorpixTool *(*create)(const char *);
  std::vector<EdgeStep> steps;
  Points outline;
};

TEST_F(SelectionToolTest, PositionsPastTheEdgeAreLimitedToThePicture) {
  const EdgeCase cases[] = {
      {"rectselect", rectangle_select_create,
       {{'p', 0, 0, -1, -1}, {'m', 304, 200, 0, 0}, {'m', 640, 480, 1, 1}, {'r', 640, 480, 1, 1}},
       {{0, 0}, {640, 0}, {640, 480}, {0, 480}, {0, 0}}},
      {"rectselect", rectangle_select_create,
       {{'p', 16, 16, 0, 0}, {'r', 640, 200, 1, 0}},
       {{16, 16}, {640, 16}, {640, 200}, {16, 200}, {16, 16}}},
      {"polyselect", polygon_select_create,
       {{'p', 0, 0, -1, -1}, {'r', 0, 0, -1, -1}, {'p', 640, 104, 1, 0}, {'r', 640, 104, 1, 0},
        {'p', 200, 480, 0, 1}, {'r', 200, 480, 0, 1}},
       {{0, 0}, {0, 0}, {640, 104}, {640, 104}, {200, 480}, {200, 480}, {0, 0}}},
      {"lasso", lasso_select_create,
       {{'p', 16, 16, 0, 0}, {'m', 0, 200, -1, 0}, {'m', 640, 304, 1, 0}, {'r', 304, 480, 0, 1}},
       {{16, 16}, {0, 200}, {640, 304}, {304, 480}, {16, 16}}},
  };
  for (double percent : {12.5, 100.0, 400.0, 3200.0}) {
    for (const EdgeCase &c : cases) {
      use(c.create(c.name));
      SCOPED_TRACE(testing::Message() << c.name << " at " << percent << "%");
      vorpix_test::zoom_to(canvas, percent);
      for (const EdgeStep &step : c.steps) {
        auto [wx, wy] = vorpix_test::window_point(canvas, step.x, step.y);
        wx += 50 * step.dx;
        wy += 50 * step.dy;
        if (step.kind == 'p') vorpix_test::send_button(area, GDK_BUTTON_PRESS, wx, wy, 1);
        if (step.kind == 'm') vorpix_test::send_motion(area, wx, wy, GDK_BUTTON1_MASK);
        if (step.kind == 'r')
          vorpix_test::send_button(area, GDK_BUTTON_RELEASE, wx, wy, 1, GDK_BUTTON1_MASK);
      }
      EXPECT_EQ(outline(), c.outline);
    }
  }
}

// Runs the main loop until the selection's timer has put the outline through
// (x, y) on the window, or a couple of flash periods have passed.
bool wait_for_outline_at(GtkWidget *area, int x, int y) {
  for (int i = 0; i < 40; i++) {
    if (vorpix_test::drawable_pixel(area->window, x, y) == 0x000000u) return true;
    vorpix_test::run_for(50);
  }
  return false;
}

TEST_F(SelectionToolTest, SwitchingToAnotherToolErasesAndEmptiesTheOutline) {
  VorpixTool *rect = rectangle_select_create("rectselect");
  VorpixTool *poly = polygon_select_create("polyselect");
  VorpixTool *lasso = lasso_select_create("lasso");
  std::pair<VorpixTool *, VorpixTool *> switches[] = {{rect, poly}, {poly, lasso}, {lasso, nullptr}};
  for (auto [from, to] : switches) {
    SCOPED_TRACE(from->name);
    use(from);
    if (from == poly) {
      click(20, 20);
      click(200, 20);
      click(200, 110);
    } else {
      press(20, 20);
      motion(200, 20);
      motion(200, 110);
      release(200, 110);
    }
    ASSERT_GE(outline().size(), 3u);
    // The outline inverts the white picture on the window only.
    ASSERT_TRUE(wait_for_outline_at(area, 20, 20));
    EXPECT_EQ(pixel(20, 20), 0xffffffu);
    canvas_set_tool(canvas, to);
    EXPECT_TRUE(outline().empty());
    EXPECT_FALSE(canvas_has_selection(canvas));
    for (int x = 20; x < 200; x += 3) EXPECT_EQ(window_pixel(x, 20), 0xffffffu) << x;
  }
}

TEST_F(SelectionToolTest, SelectionToolsNeverTouchThePixels) {
  std::vector<guint32> before = vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  use(lasso_select_create("lasso"));
  press(10, 10);
  for (int i = 0; i < 50; i++) motion(10 + i * 5, 10 + (i % 7) * 9);
  release(300, 200);
  use(rectangle_select_create("rectselect"));
  drag(0, 0, 640, 480);
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
  EXPECT_FALSE(drawing()->modified);
}

}  // namespace
