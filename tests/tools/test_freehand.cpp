// The closed freehand tool through real events on the drawing area.
#include <gtest/gtest.h>

#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::drawable_pixels;

namespace {

constexpr guint32 kWhite = 0xFFFFFF;
constexpr guint32 kBlack = 0x000000;
constexpr guint32 kRed = 0xFF0000;
constexpr int kRegion = 200;

class FreehandTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    click_button("closed_freehand_button");
    freehand = canvas->tool;
    ASSERT_STREQ(freehand->name, "freehand");
  }

  // A square traced from (x, y) clockwise, released back near the start.
  void trace_square(int x, int y, int side) {
    press(x, y);
    motion(x + side, y);
    motion(x + side, y + side);
    motion(x, y + side);
    motion(x, y + side / 2);
    release(x, y + side / 2);
  }

  std::vector<guint32> picture() const {
    return drawable_pixels(drawing()->backing_pixmap, kRegion, kRegion);
  }
  std::vector<guint32> shown() const { return drawable_pixels(area->window, kRegion, kRegion); }

  VorpixTool *freehand = nullptr;
};

TEST_F(FreehandTest, OutlineIsClosedBackToItsStart) {
  press(20, 20);
  motion(80, 20);
  motion(80, 80);
  motion(20, 80);
  release(20, 80);
  EXPECT_EQ(pixel(50, 20), kBlack);
  EXPECT_EQ(pixel(80, 50), kBlack);
  EXPECT_EQ(pixel(50, 80), kBlack);
  EXPECT_EQ(pixel(20, 50), kBlack) << "the closing line runs from the release to the press";
  EXPECT_EQ(pixel(50, 50), kWhite) << "unfilled by default";
  EXPECT_EQ(shown(), picture());
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(FreehandTest, FilledFlagFillsInTheForegroundColour) {
  // Swatch 2 of the colour palette is red.
  press_swatch(2);
  toggle_filled();
  trace_square(20, 20, 60);
  EXPECT_EQ(pixel(50, 50), kRed);
  EXPECT_EQ(pixel(21, 21), kRed);
  EXPECT_EQ(pixel(85, 50), kWhite);
  EXPECT_EQ(shown(), picture());
}

TEST_F(FreehandTest, FilledFlagChangesOnlyTheNextFigure) {
  trace_square(10, 10, 40);
  toggle_filled();
  EXPECT_EQ(pixel(30, 30), kWhite);
  trace_square(100, 10, 40);
  EXPECT_EQ(pixel(30, 30), kWhite);
  EXPECT_EQ(pixel(120, 30), kBlack);
  toggle_filled();
  trace_square(10, 100, 40);
  EXPECT_EQ(pixel(30, 120), kWhite);
}

TEST_F(FreehandTest, OutlineWithTwoVerticesIsClosedButNotFilled) {
  toggle_filled();
  // Press and release without motion: the press point and the closing point.
  press(30, 30);
  release(70, 30);
  EXPECT_EQ(pixel(50, 30), kBlack);
  EXPECT_EQ(pixel(50, 31), kWhite);
  EXPECT_EQ(pixel(50, 29), kWhite);
}

TEST_F(FreehandTest, DeselectDiscardsTheStrokeWithoutPaintingMore) {
  press(20, 20);
  motion(60, 20);
  motion(60, 60);
  click_button("rectangle_button");
  click_button("closed_freehand_button");
  std::vector<guint32> before = picture();
  release(20, 60);
  EXPECT_EQ(picture(), before);

  // The next stroke starts afresh and is closed to its own start.
  toggle_filled();
  trace_square(100, 100, 40);
  EXPECT_EQ(pixel(120, 120), kBlack);
  EXPECT_EQ(pixel(40, 40), kWhite);
}

TEST_F(FreehandTest, ReleaseWithoutAStrokePaintsNothing) {
  release(50, 50);
  EXPECT_EQ(drawing()->modified, 0);
  EXPECT_EQ(pixel(0, 0), kWhite);
  EXPECT_EQ(pixel(25, 25), kWhite);
}

TEST_F(FreehandTest, StrokeThatBeganBeforeTheToolClosesAtItsFirstPoint) {
  // An earlier stroke leaves its start behind.
  trace_square(150, 150, 20);
  motion(20, 20);
  motion(60, 20);
  motion(60, 60);
  release(60, 60);
  EXPECT_EQ(pixel(40, 40), kBlack) << "closed from (60, 60) back to (20, 20)";
  EXPECT_EQ(pixel(100, 100), kWhite) << "not to the earlier stroke's start";
}

TEST_F(FreehandTest, PressAfterALostReleaseStartsANewOutline) {
  // A menu, a dialog or the window manager can take the release of a drag.
  toggle_filled();
  press(20, 20);
  motion(60, 20);
  motion(60, 60);
  trace_square(100, 100, 40);
  EXPECT_EQ(pixel(120, 120), kBlack);
  EXPECT_EQ(pixel(80, 80), kWhite) << "the new outline is joined to the old one";
  EXPECT_EQ(pixel(50, 30), kWhite) << "the old vertices are filled with the new outline";
}

TEST_F(FreehandTest, OnlyTheFilledFlagIsTaken) {
  GdkColor red = {0, 0xFFFF, 0, 0};
  EXPECT_EQ(freehand->attribute(freehand, TOOL_ATTRIBUTE_FOREGROUND, &red), 0);
  EXPECT_EQ(freehand->attribute(freehand, TOOL_ATTRIBUTE_FONT, "Sans 10"), 0);
}

}  // namespace
