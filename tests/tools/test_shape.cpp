// Line, rectangle, oval, arc and multiline tools, driven through real events
// on the drawing area; the picture is read back from the backing pixmap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::drawable_pixels;
using vorpix_test::pump;

namespace {

constexpr guint32 kWhite = 0xFFFFFF;
constexpr guint32 kBlack = 0x000000;
// The part of the picture the tests paint in; it lies within the visible
// part of the drawing area's window.
constexpr int kRegion = 200;

using Pixel = std::pair<int, int>;
using PixelSet = std::set<Pixel>;

class ShapeTest : public vorpix_test::MainWindowTest {
 protected:
  // Clicks a button of the tool palette; returns the tool it made current.
  VorpixTool *choose(const char *button) {
    click_button(button);
    return canvas->tool;
  }

  std::vector<guint32> picture() const {
    return drawable_pixels(drawing()->backing_pixmap, kRegion, kRegion);
  }
  std::vector<guint32> shown() const { return drawable_pixels(area->window, kRegion, kRegion); }

  // Every pixel of the region that is not white.
  PixelSet painted() const {
    PixelSet result;
    std::vector<guint32> pixels = picture();
    for (int y = 0; y < kRegion; y++)
      for (int x = 0; x < kRegion; x++)
        if (pixels[y * kRegion + x] != kWhite) result.insert({x, y});
    return result;
  }
};

PixelSet rectangle_outline(int left, int top, int right, int bottom) {
  PixelSet result;
  for (int x = left; x <= right; x++) result.insert({x, top}), result.insert({x, bottom});
  for (int y = top; y <= bottom; y++) result.insert({left, y}), result.insert({right, y});
  return result;
}

PixelSet rectangle_area(int left, int top, int right, int bottom) {
  PixelSet result;
  for (int y = top; y <= bottom; y++)
    for (int x = left; x <= right; x++) result.insert({x, y});
  return result;
}

GdkRectangle bounds(const PixelSet &pixels) {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
  for (auto [x, y] : pixels) {
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

bool painted_near(const PixelSet &pixels, double x, double y, int radius = 1) {
  int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
  for (int dy = -radius; dy <= radius; dy++)
    for (int dx = -radius; dx <= radius; dx++)
      if (pixels.count({cx + dx, cy + dy})) return true;
  return false;
}

TEST_F(ShapeTest, RectangleCoversItsCornersInBothDragDirections) {
  choose("rectangle_button");
  drag(10, 10, 20, 15);
  EXPECT_EQ(painted(), rectangle_outline(10, 10, 20, 15));
  EXPECT_EQ(pixel(10, 10), kBlack);

  canvas_clear(canvas);
  drag(20, 15, 10, 10);
  EXPECT_EQ(painted(), rectangle_outline(10, 10, 20, 15));

  canvas_clear(canvas);
  toggle_filled();
  drag(10, 10, 20, 15);
  EXPECT_EQ(painted(), rectangle_area(10, 10, 20, 15));

  canvas_clear(canvas);
  drag(20, 15, 10, 10);
  EXPECT_EQ(painted(), rectangle_area(10, 10, 20, 15));
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(ShapeTest, OvalFillsTheRectanglesBox) {
  choose("oval_button");
  drag(30, 20, 90, 60);
  PixelSet outline = painted();
  // The server's ellipses may leave out the pixel where they touch the box.
  GdkRectangle box = bounds(outline);
  EXPECT_NEAR(box.x, 30, 1);
  EXPECT_NEAR(box.y, 20, 1);
  EXPECT_NEAR(box.x + box.width - 1, 90, 1);
  EXPECT_NEAR(box.y + box.height - 1, 60, 1);
  EXPECT_FALSE(outline.count({60, 40})) << "an unfilled oval has a hollow centre";

  canvas_clear(canvas);
  toggle_filled();
  drag(90, 60, 30, 20);
  PixelSet filled = painted();
  box = bounds(filled);
  EXPECT_NEAR(box.x, 30, 1);
  EXPECT_NEAR(box.y, 20, 1);
  EXPECT_NEAR(box.x + box.width - 1, 90, 1);
  EXPECT_NEAR(box.y + box.height - 1, 60, 1);
  EXPECT_TRUE(filled.count({60, 40}));
  EXPECT_FALSE(filled.count({31, 21})) << "the box's corners are outside the ellipse";
}

// The quarter of the ellipse that an arc drag paints: centre from the table,
// radii from the drag, and the quadrant the start and end points lie in.
struct Quarter {
  int cx, cy, rx, ry, sx, sy;
};

Quarter expected_quarter(int x1, int y1, int x2, int y2) {
  int cx, cy;
  if ((x1 < x2) == (y1 < y2)) {
    cx = x1, cy = y2;
  } else {
    cx = x2, cy = y1;
  }
  int sx = (x1 - cx) + (x2 - cx) > 0 ? 1 : -1;
  int sy = (y1 - cy) + (y2 - cy) > 0 ? 1 : -1;
  return {cx, cy, std::abs(x2 - x1), std::abs(y2 - y1), sx, sy};
}

TEST_F(ShapeTest, ArcDrawsTheClockwiseQuarterForEachDragDirection) {
  choose("arc_button");
  const int drags[][4] = {
      {60, 40, 140, 90},   // right and down: centre below the start
      {60, 90, 140, 40},   // right and up
      {140, 40, 60, 90},   // left and down
      {140, 90, 60, 40},   // left and up
  };
  const double diagonal = std::sqrt(0.5);
  for (int filled = 0; filled <= 1; filled++) {
    if (filled) toggle_filled();
    for (const auto &d : drags) {
      SCOPED_TRACE(testing::Message() << "drag " << d[0] << "," << d[1] << " to " << d[2] << ","
                                      << d[3] << " filled " << filled);
      canvas_clear(canvas);
      drag(d[0], d[1], d[2], d[3]);
      PixelSet pixels = painted();
      Quarter q = expected_quarter(d[0], d[1], d[2], d[3]);
      // The arc runs from the start point to the end point.
      EXPECT_TRUE(painted_near(pixels, d[0], d[1]));
      EXPECT_TRUE(painted_near(pixels, d[2], d[3]));
      // It stays in its quadrant of the ellipse (give or take the pixel where
      // the curve meets an axis).
      GdkRectangle box = bounds(pixels);
      EXPECT_NEAR(std::min(q.cx, q.cx + q.sx * q.rx), box.x, 1);
      EXPECT_NEAR(std::min(q.cy, q.cy + q.sy * q.ry), box.y, 1);
      EXPECT_NEAR(std::max(q.cx, q.cx + q.sx * q.rx), box.x + box.width - 1, 1);
      EXPECT_NEAR(std::max(q.cy, q.cy + q.sy * q.ry), box.y + box.height - 1, 1);
      // On its own quarter and on none of the other three.
      for (int mx = -1; mx <= 1; mx += 2) {
        for (int my = -1; my <= 1; my += 2) {
          bool own = mx == q.sx && my == q.sy;
          double px = q.cx + mx * q.rx * diagonal, py = q.cy + my * q.ry * diagonal;
          EXPECT_EQ(own, painted_near(pixels, px, py, 2)) << "quarter " << mx << "," << my;
          // A filled arc is the pie slice between the quarter and the centre.
          double ix = q.cx + mx * q.rx / 3.0, iy = q.cy + my * q.ry / 3.0;
          EXPECT_EQ(own && filled, painted_near(pixels, ix, iy, 0))
              << "inside quarter " << mx << "," << my;
        }
      }
    }
  }
}

TEST_F(ShapeTest, ArcFromTheOriginIsTheQuarterFromTopToRightEnd) {
  choose("arc_button");
  drag(0, 0, 100, 50);
  PixelSet pixels = painted();
  // Ellipse centred at (0, 50) with radii 100 and 50.
  EXPECT_TRUE(painted_near(pixels, 0, 0));
  EXPECT_TRUE(painted_near(pixels, 100, 50));
  EXPECT_TRUE(painted_near(pixels, 100 * std::sqrt(0.5), 50 - 50 * std::sqrt(0.5)));
  GdkRectangle box = bounds(pixels);
  EXPECT_NEAR(box.x, 0, 1);
  EXPECT_NEAR(box.y, 0, 1);
  EXPECT_NEAR(box.x + box.width - 1, 100, 1);
  EXPECT_NEAR(box.y + box.height - 1, 50, 1);
}

TEST_F(ShapeTest, RubberBandsAreInvertedAwayAndTheWindowMatchesThePicture) {
  const std::vector<Pixel> path = {{30, 30}, {60, 45}, {110, 90}, {20, 120}, {70, 150}, {90, 70}};
  for (const char *button :
       {"line_button", "rectangle_button", "oval_button", "arc_button", "multiline_button"}) {
    SCOPED_TRACE(button);
    canvas_clear(canvas);
    pump();
    choose(button);
    std::vector<guint32> blank = picture();

    press(path[0].first, path[0].second);
    for (size_t i = 1; i < path.size(); i++) motion(path[i].first, path[i].second);
    EXPECT_EQ(picture(), blank) << "a rubber band never reaches the picture";
    EXPECT_NE(shown(), blank) << "the rubber band shows on the window";
    GdkGCValues values;
    gdk_gc_get_values(canvas->gc, &values);
    EXPECT_EQ(values.function, GDK_COPY) << "inverting only while a rubber band is drawn";

    release(path.back().first, path.back().second);
    EXPECT_NE(picture(), blank);
    EXPECT_EQ(shown(), picture());
    gdk_gc_get_values(canvas->gc, &values);
    EXPECT_EQ(values.function, GDK_COPY);
  }
}

TEST_F(ShapeTest, ClickWithoutMotionPaintsFromPressToRelease) {
  choose("line_button");
  press(40, 40);
  release(60, 40);
  EXPECT_EQ(painted(), rectangle_area(40, 40, 60, 40));
  EXPECT_EQ(shown(), picture());
}

TEST_F(ShapeTest, DragThatBeganBeforeTheToolStartsAtItsFirstMotion) {
  choose("rectangle_button");
  motion(30, 30);
  motion(50, 40);
  release(50, 40);
  EXPECT_EQ(painted(), rectangle_outline(30, 30, 50, 40));
  EXPECT_EQ(shown(), picture());
}

TEST_F(ShapeTest, ToggledFilledFlagChangesOnlyTheNextFigure) {
  choose("rectangle_button");
  drag(10, 10, 40, 40);
  toggle_filled();
  EXPECT_EQ(pixel(25, 25), kWhite);
  drag(60, 10, 90, 40);
  EXPECT_EQ(pixel(25, 25), kWhite);
  EXPECT_EQ(pixel(75, 25), kBlack);
  toggle_filled();
  drag(110, 10, 140, 40);
  EXPECT_EQ(pixel(75, 25), kBlack);
  EXPECT_EQ(pixel(125, 25), kWhite);
}

TEST_F(ShapeTest, OnlyTheFilledFlagIsTaken) {
  VorpixTool *tool = choose("rectangle_button");
  ASSERT_STREQ(tool->name, "rectangle");
  GdkColor red = {0, 0xFFFF, 0, 0};
  EXPECT_EQ(tool->attribute(tool, TOOL_ATTRIBUTE_FOREGROUND, &red), 0);
  EXPECT_EQ(tool->attribute(tool, TOOL_ATTRIBUTE_BACKGROUND, &red), 0);
  EXPECT_EQ(tool->attribute(tool, TOOL_ATTRIBUTE_FONT, "Sans 12"), 0);
  int filled = 1;
  EXPECT_EQ(tool->attribute(tool, TOOL_ATTRIBUTE_FILLED, &filled), 1);
  // The line takes the flag too, and ignores it.
  choose("line_button");
  toggle_filled();
  drag(10, 10, 30, 30);
  EXPECT_EQ(pixel(20, 20), kBlack);
  EXPECT_EQ(pixel(25, 15), kWhite);
}

TEST_F(ShapeTest, MultilineJoinsDragsUntilTheToolChanges) {
  choose("multiline_button");
  drag(10, 10, 60, 10);    // A to B
  drag(60, 50, 10, 50);    // C to D, joined to B
  EXPECT_EQ(pixel(35, 10), kBlack);  // A-B
  EXPECT_EQ(pixel(60, 30), kBlack);  // B-C
  EXPECT_EQ(pixel(35, 50), kBlack);  // C-D
  EXPECT_EQ(pixel(35, 30), kWhite);
  click(10, 90);                     // E, joined to D
  EXPECT_EQ(pixel(10, 70), kBlack);
  EXPECT_EQ(shown(), picture());

  choose("line_button");
  choose("multiline_button");
  drag(100, 100, 150, 100);
  EXPECT_EQ(pixel(100, 75), kWhite) << "a new chain is not joined to the old one";
  EXPECT_EQ(pixel(125, 100), kBlack);
  drag(150, 150, 100, 150);
  EXPECT_EQ(pixel(150, 125), kBlack);
}

TEST_F(ShapeTest, CommandDuringADragPaintsThePictureNormally) {
  // A menu or a modal dialog opened from the keyboard during a drag takes the
  // button's release, so the tool sees no release before the command runs.
  for (const char *button : {"line_button", "rectangle_button", "oval_button", "arc_button"}) {
    SCOPED_TRACE(button);
    canvas_clear(canvas);
    choose(button);
    press(20, 20);
    motion(60, 60);
    canvas_clear(canvas);
    EXPECT_EQ(pixel(150, 150), kWhite) << "clearing inverted the picture";
    gdk_draw_rectangle(drawing()->backing_pixmap, area->style->white_gc, TRUE, 0, 0,
                       drawing()->width, drawing()->height);
    gtk_menu_item_activate(GTK_MENU_ITEM(widget("convert_to_greyscale")));
    EXPECT_EQ(pixel(150, 150), kWhite) << "the effect's result was inverted";
    release(60, 60);
  }
}

TEST_F(ShapeTest, DeselectDuringADragRestoresTheGcFunction) {
  choose("oval_button");
  press(20, 20);
  motion(60, 60);
  choose("rectangle_button");
  GdkGCValues values;
  gdk_gc_get_values(canvas->gc, &values);
  EXPECT_EQ(values.function, GDK_COPY);
  drag(100, 100, 120, 120);
  EXPECT_EQ(pixel(100, 110), kBlack);
  EXPECT_EQ(painted(), rectangle_outline(100, 100, 120, 120));
}

}  // namespace
