#include "tools/brush.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "document/drawing.h"
#include "panels/color_palette.h"
#include "tests/harness/window_fixture.h"
#include "tools/pen.h"

namespace {

using Dabs = std::vector<std::pair<int, int>>;

constexpr guint32 kBlack = 0x000000;
constexpr guint32 kWhite = 0xFFFFFF;
constexpr guint32 kRed = 0xFF0000;
constexpr guint32 kBlue = 0x0000FF;

// Dabs seen by the recorder, which then paints them as the tool would.
Dabs recorded;
void (*real_dab)(VorpixTool *, int, int) = nullptr;
void record_dab(VorpixTool *tool, int x, int y) {
  recorded.push_back({x, y});
  real_dab(tool, x, y);
}

class BrushTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    brush = paint_brush_create("brush");
    eraser = eraser_create("eraser");
    pen = pen_create("pen");
    recorded.clear();
  }
  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    brush->destroy(brush);
    eraser->destroy(eraser);
    pen->destroy(pen);
    MainWindowTest::TearDown();
  }

  void use(VorpixTool *tool) { canvas_set_tool(canvas, tool); }

  void record(VorpixTool *tool) {
    real_dab = VORPIX_BRUSH(tool)->dab;
    VORPIX_BRUSH(tool)->dab = record_dab;
  }

  void fill_picture(guint32 rgb) {
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    GdkColor color = {0, guint16((rgb >> 16) << 8), guint16(((rgb >> 8) & 0xFF) << 8),
                      guint16((rgb & 0xFF) << 8)};
    gdk_gc_set_rgb_fg_color(gc, &color);
    gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, 0, 0, drawing()->width,
                       drawing()->height);
    g_object_unref(gc);
  }

  // Painted pixels (not of colour ground) in the square of side 2r+1 at (x, y),
  // and in the whole picture.
  int painted_near(int x, int y, int r, guint32 ground) const {
    int n = 0;
    for (int j = y - r; j <= y + r; j++)
      for (int i = x - r; i <= x + r; i++) n += pixel(i, j) != ground;
    return n;
  }
  int painted_total(guint32 ground) const {
    std::vector<guint32> all = vorpix_test::drawable_pixels(
        drawing()->backing_pixmap, drawing()->width, drawing()->height);
    int n = 0;
    for (guint32 p : all) n += p != ground;
    return n;
  }

  VorpixTool *brush = nullptr;
  VorpixTool *eraser = nullptr;
  VorpixTool *pen = nullptr;
};

TEST_F(BrushTest, RecordsStartWithTheirSettings) {
  EXPECT_STREQ(brush->name, "brush");
  EXPECT_STREQ(eraser->name, "eraser");
  EXPECT_EQ(gdk_cursor_get_cursor_type(brush->cursor), GDK_CROSSHAIR);
  EXPECT_EQ(gdk_cursor_get_cursor_type(eraser->cursor), GDK_X_CURSOR);
  for (VorpixTool *tool : {brush, eraser}) {
    EXPECT_EQ(VORPIX_BRUSH(tool)->spacing, 3.0);
    EXPECT_EQ(VORPIX_BRUSH(tool)->size, 15);
    EXPECT_EQ(VORPIX_BRUSH(tool)->distance, 0.0);
  }
  EXPECT_EQ(VORPIX_ERASER(eraser)->fgcolor, nullptr);
}

TEST_F(BrushTest, PressPaintsOneDiscCentredOnThePoint) {
  use(brush);
  press(100, 120);
  release(100, 120);
  // The disc is the filled circle in the 15 by 15 box whose top-left corner
  // is 7 up and left of the point.  X counts a pixel as inside by its centre,
  // so the circle's centre lies at (100.5, 120.5) and it covers columns and
  // rows 6 before to 7 after the point, 14 pixels across.
  EXPECT_EQ(pixel(100, 120), kBlack);
  EXPECT_EQ(window_pixel(100, 120), kBlack);
  int inside = painted_near(100, 120, 7, kWhite);
  EXPECT_EQ(painted_total(kWhite), inside);  // nothing outside the box
  for (int j = 113; j <= 127; j++) {
    int row = 0;
    for (int i = 93; i <= 107; i++) {
      row += pixel(i, j) == kBlack;
      // Symmetric about the circle's centre, in both directions.
      EXPECT_EQ(pixel(i, j), pixel(201 - i, j)) << i << "," << j;
      EXPECT_EQ(pixel(i, j), pixel(i, 241 - j)) << i << "," << j;
    }
    if (j >= 114) {
      EXPECT_GT(row, 0) << "row " << j;
    } else {
      EXPECT_EQ(row, 0) << "row " << j;
    }
  }
  EXPECT_EQ(pixel(94, 120), kBlack);
  EXPECT_EQ(pixel(107, 120), kBlack);
  EXPECT_EQ(pixel(100, 114), kBlack);
  EXPECT_EQ(pixel(100, 127), kBlack);
  // A disc, not a square: the box's corners stay clear.
  EXPECT_EQ(pixel(94, 114), kWhite);
  EXPECT_EQ(pixel(107, 127), kWhite);
  EXPECT_EQ(pixel(94, 127), kWhite);
  // About the area of a circle of diameter 15 minus its rim.
  EXPECT_GT(inside, 150);
  EXPECT_LT(inside, 190);
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(BrushTest, EraserPressPaintsOneSquareInTheBackground) {
  fill_picture(kBlack);
  use(eraser);
  press(200, 150);
  release(200, 150);
  EXPECT_EQ(painted_near(200, 150, 7, kBlack), 15 * 15);
  EXPECT_EQ(painted_total(kBlack), 15 * 15);
  EXPECT_EQ(pixel(193, 143), kWhite);
  EXPECT_EQ(pixel(207, 157), kWhite);
  EXPECT_EQ(pixel(192, 150), kBlack);
  EXPECT_EQ(pixel(208, 150), kBlack);
  EXPECT_EQ(window_pixel(200, 150), kWhite);
}

TEST_F(BrushTest, DabsFollowTheSpacingAcrossMotions) {
  use(brush);
  record(brush);
  press(100, 100);
  motion(110, 100);
  EXPECT_EQ(recorded, (Dabs{{100, 100}, {103, 100}, {106, 100}, {109, 100}}));
  EXPECT_DOUBLE_EQ(VORPIX_BRUSH(brush)->distance, 10.0);
  motion(112, 100);
  EXPECT_EQ(recorded, (Dabs{{100, 100}, {103, 100}, {106, 100}, {109, 100}, {112, 100}}));
  EXPECT_DOUBLE_EQ(VORPIX_BRUSH(brush)->distance, 12.0);
  release(112, 100);
}

TEST_F(BrushTest, MotionToTheSamePointPaintsNothing) {
  use(brush);
  record(brush);
  press(50, 50);
  motion(50, 50);
  EXPECT_EQ(recorded, (Dabs{{50, 50}}));
  EXPECT_EQ(VORPIX_BRUSH(brush)->distance, 0.0);
}

TEST_F(BrushTest, DistanceCarriesOverToTheNextStroke) {
  use(brush);
  record(brush);
  drag(100, 100, 110, 100);  // travels 10: the next multiple is 12
  recorded.clear();
  press(300, 200);
  motion(301, 200);  // 11: no multiple passed
  motion(303, 200);  // 13: passes 12, one unit before the end
  release(303, 200);
  EXPECT_EQ(recorded, (Dabs{{300, 200}, {302, 200}}));
  EXPECT_DOUBLE_EQ(VORPIX_BRUSH(brush)->distance, 13.0);
}

TEST_F(BrushTest, NegativeDabPositionsTruncateTowardZero) {
  use(brush);
  record(brush);
  press(0, 0);
  motion(-7, -7);  // length 9.9: dabs at 3, 6 and 9 along it
  EXPECT_EQ(recorded, (Dabs{{0, 0}, {-2, -2}, {-4, -4}, {-6, -6}}));
}

TEST_F(BrushTest, EraserKeepsErasingWhenForegroundChanges) {
  fill_picture(kBlack);
  use(eraser);
  press_swatch(2, 1);  // red foreground, taken by the eraser
  GdkColor shown;
  gtk_color_button_get_color(GTK_COLOR_BUTTON(widget("foreground_color_picker")), &shown);
  EXPECT_EQ(shown.red, 65280);
  click(100, 100);
  EXPECT_EQ(pixel(100, 100), kWhite);
  use(pen);
  click(300, 300);
  EXPECT_EQ(pixel(300, 300), kRed);
  // And the eraser, current again, still erases in white.
  use(eraser);
  click(400, 300);
  EXPECT_EQ(pixel(400, 300), kWhite);
}

TEST_F(BrushTest, NewBackgroundChangesTheNextDabsAtOnce) {
  use(eraser);
  click(100, 100);
  press_swatch(6, RIGHT_BUTTON);  // blue background
  click(200, 100);
  EXPECT_EQ(pixel(200, 100), kBlue);
  // The pen afterwards still paints black, the foreground from before.
  use(pen);
  click(300, 100);
  EXPECT_EQ(pixel(300, 100), kBlack);
}

TEST_F(BrushTest, BrushPaintsInTheForegroundFromTheSwatches) {
  use(brush);
  press_swatch(2, 1);
  click(100, 100);
  EXPECT_EQ(pixel(100, 100), kRed);
}

}  // namespace
