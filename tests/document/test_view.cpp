// The view: zoomed display, the grid, scrolling and zooming about a point,
// Best Fit, repainting only what changed, the marks at the zoomed place, and
// the status bar's texts.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "document/drawing.h"
#include "imaging/image.h"
#include "panels/gtkscrollframe.h"
#include "panels/status_bar.h"
#include "shell/util.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/view_helpers.h"

using vorpix_test::drawable_pixel;
using vorpix_test::pattern;
using vorpix_test::pump;
using vorpix_test::zoom_to;

namespace {

constexpr guint32 kRed = 0xff0000;
constexpr guint32 kBlack = 0x000000;
constexpr guint32 kInverted = 0xffffff;
constexpr guint32 kGridFlip = 0x808080;

class ViewTest : public vorpix_test::MainWindowTest {
 protected:
  void activate(const char *item) { gtk_menu_item_activate(GTK_MENU_ITEM(widget(item))); }
  std::string status(StatusField field) const {
    return status_bar_text(status_bar_lookup(window), field);
  }
  // A new blank picture of that size in the window.
  void replace_picture(int width, int height) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, width, height));
    pump();
  }
  GtkAdjustment *adjustment(bool horizontal) const {
    GtkScrollFrame *frame = GTK_SCROLL_FRAME(widget("scroll_frame"));
    return horizontal ? gtk_scroll_frame_get_hadjustment(frame)
                      : gtk_scroll_frame_get_vadjustment(frame);
  }
};

// --- display

class ViewBlockTest : public ViewTest, public ::testing::WithParamInterface<int> {};

TEST_P(ViewBlockTest, EachPicturePixelIsABlockOfItsExactColour) {
  const int z = GetParam();
  vorpix_test::paint_pattern(drawing());
  zoom_to(canvas, z * 100);
  const int side = 96;
  std::vector<guint32> shown = vorpix_test::drawable_pixels(area->window, side, side);
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++)
      ASSERT_EQ(shown[y * side + x], pattern(x / z, y / z)) << x << "," << y << " at " << z;
}

INSTANTIATE_TEST_SUITE_P(ZoomedIn, ViewBlockTest, ::testing::Values(1, 2, 3, 4, 32));

TEST_F(ViewTest, GridShowsOnTheWindowAndNeverReachesTheSavedFile) {
  vorpix_test::paint_pattern(drawing());
  zoom_to(canvas, 400);
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget("show_grid_menu")), TRUE);
  pump();
  // Column 4 of the window is the line between picture columns 0 and 1,
  // row 4 the one between rows 0 and 1; inside the blocks the picture shows.
  EXPECT_EQ(window_pixel(4, 1), pattern(1, 0) ^ kGridFlip);
  EXPECT_EQ(window_pixel(1, 4), pattern(0, 1) ^ kGridFlip);
  EXPECT_EQ(window_pixel(4, 4), pattern(1, 1) ^ kGridFlip) << "a crossing flipped once";
  EXPECT_EQ(window_pixel(6, 6), pattern(1, 1));

  vorpix_test::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string file = dir.file("grid.png");
  ASSERT_TRUE(drawing_save_as(drawing(), file.c_str()));
  VorpixImage *saved = image_new_readfile(file.c_str());
  ASSERT_NE(saved, nullptr);
  const guchar *row = image_pixels(saved);
  for (int y = 0; y < image_height(saved); y++, row += image_rowstride(saved))
    for (int x = 0; x < image_width(saved); x++) {
      const guchar *p = row + x * image_pixelsize(saved);
      ASSERT_EQ((guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2], pattern(x, y)) << x << "," << y;
    }
  image_free(saved);

  // Below 400% there is no grid, whatever the item says.
  zoom_to(canvas, 300);
  EXPECT_EQ(window_pixel(3, 1), pattern(1, 0));
}

// --- zoom and scrolling

TEST_F(ViewTest, ControlWheelKeepsThePixelUnderThePointerAndThePlainWheelScrolls) {
  replace_picture(1600, 1200);
  vorpix_test::paint_pattern(drawing());
  view_scroll_to(canvas->view, 500, 400);
  pump();
  const int wx = 210, wy = 130;
  const guint32 under = pattern(710, 530);
  ASSERT_EQ(window_pixel(wx, wy), under);
  const char *up[] = {"200%", "300%", "400%", "600%", "800%", "1200%"};
  for (const char *level : up) {
    vorpix_test::send_scroll(area, GDK_SCROLL_UP, wx, wy, GDK_CONTROL_MASK);
    pump();
    EXPECT_EQ(status(STATUS_ZOOM), level);
    EXPECT_EQ(window_pixel(wx, wy), under) << level;
  }
  for (int i = 0; i < 6; i++) vorpix_test::send_scroll(area, GDK_SCROLL_DOWN, wx, wy, GDK_CONTROL_MASK);
  pump();
  EXPECT_EQ(status(STATUS_ZOOM), "100%");
  EXPECT_EQ(window_pixel(wx, wy), under);

  const double before = gtk_adjustment_get_value(adjustment(false));
  vorpix_test::send_scroll(area, GDK_SCROLL_DOWN, wx, wy);
  pump();
  EXPECT_EQ(status(STATUS_ZOOM), "100%");
  EXPECT_GT(gtk_adjustment_get_value(adjustment(false)), before);
}

TEST_F(ViewTest, BestFitShowsAWholeBigPictureInTheDefaultWindowAndTheLevelOutlivesIt) {
  replace_picture(4096, 4096);
  activate("best_fit_menu");
  pump();
  EXPECT_EQ(status(STATUS_ZOOM), "12.5%");
  GdkRectangle visible = view_visible_area(canvas->view);
  EXPECT_EQ(visible.x, 0);
  EXPECT_EQ(visible.y, 0);
  EXPECT_EQ(visible.width, 4096);
  EXPECT_EQ(visible.height, 4096);
  EXPECT_FALSE(GTK_WIDGET_SENSITIVE(widget("zoom_out_menu")));

  replace_picture(300, 200);
  EXPECT_EQ(status(STATUS_ZOOM), "12.5%");
  activate("best_fit_menu");
  pump();
  EXPECT_EQ(status(STATUS_ZOOM), "200%");
  activate("normal_size_menu");
  EXPECT_EQ(status(STATUS_ZOOM), "100%");
}

TEST_F(ViewTest, ZoomItemsStopAtTheEndsOfTheRange) {
  for (int i = 0; i < 20; i++) activate("zoom_in_menu");
  EXPECT_EQ(status(STATUS_ZOOM), "3200%");
  EXPECT_FALSE(GTK_WIDGET_SENSITIVE(widget("zoom_in_menu")));
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(widget("zoom_out_menu")));
  activate("zoom_out_menu");
  EXPECT_EQ(status(STATUS_ZOOM), "2400%");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(widget("zoom_in_menu")));
}

TEST_F(ViewTest, At3200PercentABigPictureScrollsToItsLastPixelWithoutAnXError) {
  gdk_error_trap_push();
  replace_picture(4096, 4096);
  gdk_draw_point(drawing()->backing_pixmap, area->style->black_gc, 4095, 4095);
  zoom_to(canvas, 3200);
  EXPECT_EQ(adjustment(true)->upper, 4096 * 32);
  GtkAdjustment *h = adjustment(true), *v = adjustment(false);
  gtk_adjustment_set_value(h, h->upper - h->page_size);
  gtk_adjustment_set_value(v, v->upper - v->page_size);
  pump();
  const int right = area->allocation.width - 1, bottom = area->allocation.height - 1;
  EXPECT_EQ(window_pixel(right, bottom), kBlack);
  EXPECT_EQ(window_pixel(right - 32, bottom), 0xffffffu);
  // The pen reaches it too: one block up and left is pixel (4094, 4094).
  press(right - 32, bottom - 32);
  release(right - 32, bottom - 32);
  EXPECT_EQ(pixel(4094, 4094), kBlack);
  EXPECT_EQ(window_pixel(right - 40, bottom - 40), kBlack);
  // A rubber band from far beyond X's coordinates is cut to the window: its
  // right side, a block wide, inverts the white picture there.
  click_button("rectangle_button");
  press(-100000, -100000);
  motion(right - 64, bottom - 64);
  EXPECT_EQ(window_pixel(right - 64, bottom - 100), kBlack);
  EXPECT_EQ(window_pixel(right - 32, bottom - 100), 0xffffffu);
  gdk_flush();
  EXPECT_EQ(gdk_error_trap_pop(), 0);
}

// --- repainting and marks

TEST_F(ViewTest, AStrokesMotionRepaintsOnlyItsDamagedRectangle) {
  zoom_to(canvas, 400);
  // Marks put on the window itself, near the stroke and far from it: a
  // repaint of any part of the window beyond the stroke would wipe them.
  const int marks[][2] = {{140, 100}, {100, 140}, {60, 100}, {0, 0}, {400, 300}};
  GdkGC *red = gdk_gc_new(area->window);
  GdkColor color = {0, 0xffff, 0, 0};
  gdk_gc_set_rgb_fg_color(red, &color);
  for (const auto &m : marks) gdk_draw_point(area->window, red, m[0], m[1]);
  g_object_unref(red);
  press(100, 100);
  motion(110, 100);
  release(110, 100);
  EXPECT_EQ(pixel(26, 25), kBlack);
  EXPECT_EQ(window_pixel(106, 102), kBlack);
  for (const auto &m : marks) EXPECT_EQ(window_pixel(m[0], m[1]), kRed) << m[0] << "," << m[1];
}

TEST_F(ViewTest, RubberBandIsInvertedAtTheZoomedPlaceAndSurvivesARepaint) {
  vorpix_test::paint_pattern(drawing());
  click_button("rectangle_button");
  zoom_to(canvas, 400);
  auto [x0, y0] = vorpix_test::window_point(canvas, 10, 10);
  auto [x1, y1] = vorpix_test::window_point(canvas, 30, 20);
  press(x0, y0);
  motion(x1, y1);
  // The band's left side covers the blocks of column 10, four window pixels
  // wide; the picture is untouched.
  for (int wx = 40; wx < 44; wx++) EXPECT_EQ(window_pixel(wx, 60), pattern(10, 15) ^ kInverted);
  EXPECT_EQ(window_pixel(44, 60), pattern(11, 15));
  EXPECT_EQ(pixel(10, 15), pattern(10, 15));
  gdk_window_invalidate_rect(area->window, nullptr, FALSE);
  pump();
  EXPECT_EQ(window_pixel(41, 60), pattern(10, 15) ^ kInverted) << "drawn again, once";
  release(x1, y1);
  // Only the figure is left: the window is the zoomed picture, everywhere.
  const int side = 160;
  std::vector<guint32> shown = vorpix_test::drawable_pixels(area->window, side, side);
  std::vector<guint32> picture =
      vorpix_test::drawable_pixels(drawing()->backing_pixmap, side / 4, side / 4);
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++)
      ASSERT_EQ(shown[y * side + x], picture[(y / 4) * (side / 4) + x / 4]) << x << "," << y;
  EXPECT_EQ(pixel(10, 15), kBlack);
}

// --- the status bar

struct PositionCase {
  double percent;
  int wx, wy;
  const char *shown;
};

class StatusPositionTest : public ViewTest, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(StatusPositionTest, ShowsThePixelUnderThePointerOrNothingOffThePicture) {
  const PositionCase &c = GetParam();
  zoom_to(canvas, c.percent);
  motion(c.wx, c.wy, 0);
  EXPECT_EQ(status(STATUS_POSITION), c.shown);
  vorpix_test::send_crossing(area, GDK_LEAVE_NOTIFY);
  EXPECT_EQ(status(STATUS_POSITION), "");
}

INSTANTIATE_TEST_SUITE_P(Levels, StatusPositionTest,
                         ::testing::Values(PositionCase{100, 30, 40, "30, 40"},
                                           PositionCase{400, 30, 40, "7, 10"},
                                           PositionCase{25, 30, 40, "120, 160"},
                                           PositionCase{12.5, 79, 59, "632, 472"},
                                           PositionCase{12.5, 80, 30, ""}));

TEST_F(ViewTest, StatusBarShowsSizesAndZoom) {
  EXPECT_EQ(status(STATUS_PICTURE_SIZE), "640 \u00d7 480");
  EXPECT_EQ(status(STATUS_ZOOM), "100%");
  EXPECT_EQ(status(STATUS_SELECTION_SIZE), "") << "no selection, no field";
  canvas_select_all(canvas);
  pump();
  EXPECT_EQ(status(STATUS_SELECTION_SIZE), "640 \u00d7 480");

  click_button("rectselect_button");
  press(10, 20);
  motion(50, 45);
  motion(60, 50);
  EXPECT_EQ(status(STATUS_SELECTION_SIZE), "40 \u00d7 25") << "while dragging";
  release(60, 50);
  click_button("pen_button");
  pump();
  EXPECT_EQ(status(STATUS_SELECTION_SIZE), "");

  replace_picture(50, 40);
  EXPECT_EQ(status(STATUS_PICTURE_SIZE), "50 \u00d7 40");
  activate("zoom_in_menu");
  EXPECT_EQ(status(STATUS_ZOOM), "200%");

  GtkWidget *bar = status_bar_lookup(window);
  status_bar_set_message(bar, "Waiting for the clipboard\u2026");
  EXPECT_EQ(status(STATUS_MESSAGE), "Waiting for the clipboard\u2026");
  status_bar_set_message(bar, nullptr);
  EXPECT_EQ(status(STATUS_MESSAGE), "");
  status_bar_begin_progress(bar, "Oil Paint");
  status_bar_set_progress(bar, 1.5);
  EXPECT_EQ(status(STATUS_PROGRESS), "Oil Paint");
  EXPECT_EQ(status_bar_progress(bar), 1.0);
  status_bar_end_progress(bar);
  EXPECT_EQ(status(STATUS_PROGRESS), "");
  EXPECT_EQ(status_bar_progress(bar), -1.0);
}

}  // namespace
