// Rectangle, polygon and lasso selection driven through the drawing area.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tests/harness/canvas_helpers.h"
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

TEST_F(SelectionToolTest, RectangleReleaseOutsideKeepsTheLastMotionsOutline) {
  use(rectangle_select_create("rectselect"));
  press(10, 10);
  motion(100, 100);
  motion(600, 400);
  release(700, 400);
  EXPECT_EQ(outline(), (Points{{10, 10}, {100, 10}, {100, 100}, {10, 100}, {10, 10}}));
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

TEST_F(SelectionToolTest, PositionsOutsideTheDrawingAreIgnored) {
  VorpixTool *tools[] = {rectangle_select_create("rectselect"),
                         polygon_select_create("polyselect"), lasso_select_create("lasso")};
  for (VorpixTool *tool : tools) {
    SCOPED_TRACE(tool->name);
    use(tool);
    for (auto [x, y] : Points{{-1, 5}, {641, 5}, {5, -1}, {5, 481}}) {
      press(x, y);
      motion(x, y);
      release(x, y);
    }
    EXPECT_TRUE(outline().empty());
    // Both far edges belong to the drawing.
    press(640, 480);
    EXPECT_FALSE(outline().empty());
  }
  // Motion outside during a lasso drag adds nothing.
  use(lasso_select_create("lasso"));
  press(10, 10);
  motion(-3, 10);
  motion(700, 10);
  motion(20, 20);
  release(30, 10);
  EXPECT_EQ(outline(), (Points{{10, 10}, {20, 20}, {30, 10}, {10, 10}}));
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
