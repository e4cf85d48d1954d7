#include "tools/pen.h"

#include <gtest/gtest.h>

#include <queue>
#include <vector>

#include "document/drawing.h"
#include "tests/harness/window_fixture.h"

namespace {

constexpr guint32 kBlack = 0x000000;
constexpr guint32 kWhite = 0xFFFFFF;

class PenTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    pen = pen_create("pen");
    canvas_set_tool(canvas, pen);
  }
  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    pen->destroy(pen);
    MainWindowTest::TearDown();
  }

  std::vector<guint32> picture() const {
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }

  VorpixTool *pen = nullptr;
};

TEST_F(PenTest, CreatesAPenRecord) {
  EXPECT_STREQ(pen->name, "pen");
  EXPECT_NE(pen->cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(pen->cursor), GDK_PENCIL);
  EXPECT_EQ(canvas->cursor, pen->cursor);
  EXPECT_EQ(pen->attribute, nullptr);
}

TEST_F(PenTest, PressDrawsOnePointAndMarksModified) {
  EXPECT_EQ(drawing()->modified, 0);
  press(50, 60);
  EXPECT_EQ(pixel(50, 60), kBlack);
  EXPECT_EQ(window_pixel(50, 60), kBlack);
  std::vector<guint32> all = picture();
  int painted = 0;
  for (guint32 p : all) painted += p != kWhite;
  EXPECT_EQ(painted, 1);
  EXPECT_EQ(drawing()->modified, 1);
  release(50, 60);
}

TEST_F(PenTest, FastDragDrawsConnectedSegments) {
  // Three far-apart motion events: each must be joined to the one before.
  press(10, 100);
  motion(200, 130);
  motion(60, 300);
  motion(300, 20);
  release(300, 20);

  std::vector<guint32> all = picture();
  int w = drawing()->width, h = drawing()->height;
  auto black = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && all[y * w + x] == kBlack;
  };
  ASSERT_TRUE(black(10, 100));
  // Everything reachable through 8-connected black pixels from the start.
  std::vector<char> seen(all.size(), 0);
  std::queue<std::pair<int, int>> todo;
  todo.push({10, 100});
  seen[100 * w + 10] = 1;
  while (!todo.empty()) {
    auto [x, y] = todo.front();
    todo.pop();
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++)
        if (black(x + dx, y + dy) && !seen[(y + dy) * w + x + dx]) {
          seen[(y + dy) * w + x + dx] = 1;
          todo.push({x + dx, y + dy});
        }
  }
  EXPECT_TRUE(seen[130 * w + 200]);
  EXPECT_TRUE(seen[300 * w + 60]);
  EXPECT_TRUE(seen[20 * w + 300]);
  // A line, not a smear: far fewer pixels than the bounding box.
  int painted = 0;
  for (guint32 p : all) painted += p == kBlack;
  EXPECT_LT(painted, 1500);
}

TEST_F(PenTest, ReleaseEndsTheStroke) {
  click(20, 20);
  press(100, 20);
  release(100, 20);
  EXPECT_EQ(pixel(20, 20), kBlack);
  EXPECT_EQ(pixel(100, 20), kBlack);
  EXPECT_EQ(pixel(60, 20), kWhite);
}

TEST_F(PenTest, DeselectEndsTheStroke) {
  press(20, 40);
  canvas_set_tool(canvas, pen);  // deselect, then select again
  motion(100, 40);
  EXPECT_EQ(pixel(100, 40), kBlack);
  EXPECT_EQ(pixel(60, 40), kWhite);
}

TEST_F(PenTest, PressAfterALostReleaseStartsANewStroke) {
  // A menu, a dialog or the window manager can take the release of a drag.
  press(20, 40);
  motion(60, 40);
  press(100, 120);
  release(100, 120);
  EXPECT_EQ(pixel(100, 120), kBlack);
  EXPECT_EQ(pixel(80, 80), kWhite) << "the new stroke is joined to the old one";
}

TEST_F(PenTest, LineWidthOfTheGcApplies) {
  gdk_gc_set_line_attributes(canvas->gc, 5, GDK_LINE_SOLID, GDK_CAP_ROUND, GDK_JOIN_ROUND);
  drag(20, 200, 120, 200);
  EXPECT_EQ(pixel(70, 198), kBlack);
  EXPECT_EQ(pixel(70, 202), kBlack);
  EXPECT_EQ(pixel(70, 205), kWhite);
}

TEST_F(PenTest, MotionWithoutButtonDrawsNothing) {
  motion(30, 30, 0);
  motion(80, 30, 0);
  EXPECT_EQ(pixel(30, 30), kWhite);
  EXPECT_EQ(drawing()->modified, 0);
}

}  // namespace
