// Point arrays and the selection outline, drawn on a real drawing area.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "tools/selection.h"

namespace {

std::vector<GdkPoint> points_of(const VorpixPointArray *pa) {
  const GdkPoint *p = point_array_data(pa);
  return std::vector<GdkPoint>(p, p + point_array_size(pa));
}

std::vector<std::pair<int, int>> pairs(const std::vector<GdkPoint> &points) {
  std::vector<std::pair<int, int>> out;
  for (const GdkPoint &p : points) out.emplace_back(p.x, p.y);
  return out;
}

using Pairs = std::vector<std::pair<int, int>>;

VorpixPointArray *array_of(const Pairs &points) {
  VorpixPointArray *pa = point_array_new();
  for (auto [x, y] : points) point_array_append(pa, x, y);
  return pa;
}

GdkRectangle bounds_of(const Pairs &points) {
  VorpixPointArray *pa = array_of(points);
  GdkRectangle r = {-1, -1, -1, -1};
  point_array_bounding_rectangle(pa, &r);
  point_array_delete(pa);
  return r;
}

void expect_rect(GdkRectangle r, int x, int y, int w, int h) {
  EXPECT_EQ(r.x, x);
  EXPECT_EQ(r.y, y);
  EXPECT_EQ(r.width, w);
  EXPECT_EQ(r.height, h);
}

// ---- point arrays ----

TEST(PointArray, BoundingRectangleCountsPixelsInclusively) {
  expect_rect(bounds_of({{3, 4}}), 3, 4, 1, 1);
  expect_rect(bounds_of({{0, 0}, {640, 0}, {640, 480}, {0, 480}, {0, 0}}), 0, 0, 641, 481);
  expect_rect(bounds_of({}), 0, 0, 0, 0);
  // Smallest x and smallest y come from different points.
  expect_rect(bounds_of({{5, -2}, {-7, 9}, {1, 1}}), -7, -2, 13, 12);
}

TEST(PointArray, AppendSetAndRemoveAll) {
  VorpixPointArray *pa = point_array_new();
  EXPECT_EQ(point_array_size(pa), 0);
  for (int i = 0; i < 100; i++) point_array_append(pa, i, -i);
  EXPECT_EQ(point_array_size(pa), 100);
  point_array_set(pa, 99, 7, 8);
  point_array_set(pa, 0, -1, -2);
  EXPECT_EQ(point_array_data(pa)[0].x, -1);
  EXPECT_EQ(point_array_data(pa)[0].y, -2);
  EXPECT_EQ(point_array_data(pa)[50].x, 50);
  EXPECT_EQ(point_array_data(pa)[50].y, -50);
  EXPECT_EQ(point_array_data(pa)[99].x, 7);
  point_array_remove_all(pa);
  EXPECT_EQ(point_array_size(pa), 0);
  point_array_delete(pa);
}

TEST(PointArray, CopyResizesAndIsIndependent) {
  VorpixPointArray *src = array_of({{1, 2}, {3, 4}, {5, 6}});
  VorpixPointArray *longer = array_of({{9, 9}, {9, 9}, {9, 9}, {9, 9}, {9, 9}});
  VorpixPointArray *empty = point_array_new();
  point_array_copy(longer, src);
  point_array_copy(empty, src);
  EXPECT_EQ(pairs(points_of(longer)), (Pairs{{1, 2}, {3, 4}, {5, 6}}));
  EXPECT_EQ(pairs(points_of(empty)), (Pairs{{1, 2}, {3, 4}, {5, 6}}));
  point_array_set(src, 0, 100, 100);
  EXPECT_EQ(point_array_data(longer)[0].x, 1);
  VorpixPointArray *none = point_array_new();
  point_array_copy(longer, none);
  EXPECT_EQ(point_array_size(longer), 0);
  point_array_delete(none);
  point_array_delete(empty);
  point_array_delete(longer);
  point_array_delete(src);
}

TEST(PointArrayDeathTest, SetOutOfRangeIsFatal) {
  VorpixPointArray *pa = array_of({{1, 1}, {2, 2}});
  EXPECT_DEATH(point_array_set(pa, 2, 0, 0), "index>=0 && index<pa->array->len");
  EXPECT_DEATH(point_array_set(pa, -1, 0, 0), "index>=0 && index<pa->array->len");
  point_array_delete(pa);
}

// ---- the selection outline ----

constexpr int kAreaWidth = 120;
constexpr int kAreaHeight = 90;

// A realized, mapped drawing area, white on the screen.  The outline inverts,
// so wherever it is shown the window reads black.
class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    area_ = gtk_drawing_area_new();
    gtk_widget_set_size_request(area_, kAreaWidth, kAreaHeight);
    GdkColor white = {0, 0xffff, 0xffff, 0xffff};
    gtk_widget_modify_bg(area_, GTK_STATE_NORMAL, &white);
    gtk_container_add(GTK_CONTAINER(window_), area_);
    gtk_widget_show_all(window_);
    settle();
    selection_ = selection_new(area_);
    ASSERT_NE(selection_, nullptr);
    selection_size(selection_, kAreaWidth, kAreaHeight);
    ASSERT_TRUE(window_is_white());
  }

  void TearDown() override {
    if (selection_) selection_delete(selection_);
    gtk_widget_destroy(window_);
    settle();
  }

  // Lets the window appear and paint before anything is drawn on it.
  void settle() {
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration();
    gdk_window_process_all_updates();
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending()) gtk_main_iteration();
  }

  // Runs the main loop until cond holds or the time is up.
  template <typename Cond>
  bool run_until(Cond cond, int timeout_ms) {
    gint64 end = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (!cond() && g_get_monotonic_time() < end) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return cond();
  }

  void run_for(int ms) {
    run_until([] { return false; }, ms);
  }

  // Black (outline) pixels of the window, read back from the server.
  std::vector<bool> black_mask() {
    GdkWindow *window = gtk_widget_get_window(area_);
    GdkPixbuf *pb = gdk_pixbuf_get_from_drawable(nullptr, window, nullptr, 0, 0, 0, 0,
                                                 kAreaWidth, kAreaHeight);
    std::vector<bool> mask(kAreaWidth * kAreaHeight);
    const guchar *pixels = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb), channels = gdk_pixbuf_get_n_channels(pb);
    for (int y = 0; y < kAreaHeight; y++)
      for (int x = 0; x < kAreaWidth; x++) {
        const guchar *p = pixels + y * stride + x * channels;
        EXPECT_TRUE((p[0] == 0 && p[1] == 0 && p[2] == 0) ||
                    (p[0] == 255 && p[1] == 255 && p[2] == 255))
            << "neither white nor inverted at " << x << "," << y;
        mask[y * kAreaWidth + x] = p[0] == 0;
      }
    g_object_unref(pb);
    return mask;
  }

  int black_count() {
    int n = 0;
    for (bool b : black_mask()) n += b;
    return n;
  }

  bool window_is_white() { return black_count() == 0; }

  bool black_at(const std::vector<bool> &mask, int x, int y) {
    return mask[y * kAreaWidth + x];
  }

  Pairs outline() { return pairs(points_of(selection_points(selection_))); }

  GtkWidget *window_ = nullptr;
  GtkWidget *area_ = nullptr;
  VorpixSelection *selection_ = nullptr;
};

TEST_F(SelectionTest, SetRectangleGivesClosedFivePointOutline) {
  selection_set_rectangle(selection_, GdkRectangle{0, 0, 640, 480});
  EXPECT_EQ(outline(), (Pairs{{0, 0}, {640, 0}, {640, 480}, {0, 480}, {0, 0}}));
  EXPECT_EQ(selection_num_points(selection_), 5);
  EXPECT_EQ(selection_data(selection_), point_array_data(selection_points(selection_)));
  EXPECT_TRUE(window_is_white());  // nothing drawn now
}

TEST_F(SelectionTest, DrawInvertsTheOutlineAndTheNextDrawRemovesIt) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_draw_flash(selection_);
  EXPECT_EQ(selection_->phase, 1);
  std::vector<bool> shown = black_mask();
  // Dashes along the top edge: some of its pixels black, some white.
  int on_top = 0;
  for (int x = 10; x <= 70; x++) on_top += black_at(shown, x, 10);
  EXPECT_GT(on_top, 15);
  EXPECT_LT(on_top, 50);
  EXPECT_TRUE(black_at(shown, 10, 10));  // dash offset 0 starts with ink
  EXPECT_FALSE(black_at(shown, 40, 30));  // inside is untouched
  EXPECT_FALSE(black_at(shown, 5, 5));

  selection_draw_flash(selection_);
  EXPECT_EQ(selection_->phase, 2);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, DashesCreepByOnePixelWhenTheOutlineComesBack) {
  VorpixPointArray *line = array_of({{10, 20}, {100, 20}});
  selection_set_points(selection_, line);
  point_array_delete(line);
  selection_draw_flash(selection_);
  std::vector<bool> first = black_mask();
  selection_draw_flash(selection_);
  selection_draw_flash(selection_);
  EXPECT_EQ(selection_->phase, 3);
  std::vector<bool> second = black_mask();
  EXPECT_NE(first, second);
  for (int x = 20; x < 90; x++)
    EXPECT_EQ(black_at(second, x, 20), black_at(first, x + 1, 20)) << x;
  selection_draw_flash(selection_);
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, ErasingFromAnyPhaseLeavesCleanWindowAndPhaseZero) {
  selection_set_rectangle(selection_, GdkRectangle{5, 5, 50, 30});
  for (int draws = 0; draws < 4; draws++) {
    for (int i = 0; i < draws; i++) selection_draw_flash(selection_);
    ASSERT_EQ(selection_->phase, draws);
    EXPECT_EQ(black_count() > 0, draws % 2 == 1) << draws;
    selection_clear_flash(selection_);
    EXPECT_EQ(selection_->phase, 0) << draws;
    EXPECT_TRUE(window_is_white()) << draws;
  }
}

TEST_F(SelectionTest, ErasingAnEmptyOutlineOnlyResetsThePhase) {
  selection_set_rectangle(selection_, GdkRectangle{5, 5, 50, 30});
  selection_draw_flash(selection_);
  selection_draw_flash(selection_);
  // Not flashing: replacing the outline assumes it is not on the window.
  VorpixPointArray *empty = point_array_new();
  selection_set_points(selection_, empty);
  point_array_delete(empty);
  EXPECT_EQ(selection_->phase, 2);
  selection_draw_flash(selection_);  // no points: nothing happens
  EXPECT_EQ(selection_->phase, 2);
  selection_clear_flash(selection_);
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, ClipKeepsTheOutlineInsideTheDrawing) {
  selection_size(selection_, 40, 30);
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 100, 70});
  selection_draw_flash(selection_);
  std::vector<bool> shown = black_mask();
  int inside = 0, outside = 0;
  for (int y = 0; y < kAreaHeight; y++)
    for (int x = 0; x < kAreaWidth; x++)
      (x < 40 && y < 30 ? inside : outside) += black_at(shown, x, y);
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
  selection_clear_flash(selection_);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, TimerAnimatesOnlyWhileFlashing) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_enable_flash(selection_);
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_EQ(selection_->phase, 0);  // the next tick draws, not this call
  EXPECT_TRUE(window_is_white());

  ASSERT_TRUE(run_until([&] { return selection_->phase == 1; }, 3000));
  EXPECT_GT(black_count(), 0);
  ASSERT_TRUE(run_until([&] { return selection_->phase == 2; }, 3000));
  EXPECT_TRUE(window_is_white());

  selection_disable_flash(selection_);
  EXPECT_EQ(selection_->flashing, 0);
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_TRUE(window_is_white());
  run_for(1200);  // two ticks or more
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_TRUE(window_is_white());

  selection_draw_flash(selection_);  // drawing on demand still works
  EXPECT_EQ(selection_->phase, 1);
  EXPECT_GT(black_count(), 0);
}

TEST_F(SelectionTest, ReplacingWhileFlashingErasesAndKeepsFlashing) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_enable_flash(selection_);
  selection_draw_flash(selection_);
  ASSERT_GT(black_count(), 0);

  selection_set_rectangle(selection_, GdkRectangle{20, 20, 30, 30});
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_TRUE(window_is_white());

  selection_draw_flash(selection_);
  VorpixPointArray *tri = array_of({{1, 1}, {30, 1}, {1, 30}, {1, 1}});
  selection_set_points(selection_, tri);
  point_array_delete(tri);
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_TRUE(window_is_white());
  EXPECT_EQ(outline(), (Pairs{{1, 1}, {30, 1}, {1, 30}, {1, 1}}));

  selection_draw_flash(selection_);
  selection_move(selection_, 40, 40);
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, ReplacingWhileStillDoesNotErase) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_draw_flash(selection_);
  selection_set_rectangle(selection_, GdkRectangle{20, 20, 30, 30});
  EXPECT_EQ(selection_->phase, 1);
  EXPECT_EQ(selection_->flashing, 0);
  EXPECT_GT(black_count(), 0);
}

TEST_F(SelectionTest, AddPointRaisesNegativesAndErases) {
  selection_add_point(selection_, 10, 10);
  selection_add_point(selection_, 50, 10);
  selection_draw_flash(selection_);
  ASSERT_GT(black_count(), 0);
  selection_add_point(selection_, -5, 7);  // erases although not flashing
  EXPECT_TRUE(window_is_white());
  EXPECT_EQ(selection_->phase, 0);
  selection_add_point(selection_, 3, -9);
  EXPECT_EQ(outline(), (Pairs{{10, 10}, {50, 10}, {0, 7}, {3, 0}}));
}

TEST_F(SelectionTest, ChangeLastStoresThePointAsGiven) {
  selection_add_point(selection_, 10, 10);
  selection_add_point(selection_, 50, 10);
  selection_draw_flash(selection_);
  selection_change_last(selection_, -5, 7);
  EXPECT_TRUE(window_is_white());
  EXPECT_EQ(outline(), (Pairs{{10, 10}, {-5, 7}}));
}

TEST_F(SelectionTest, ChangeLastAndMoveOnEmptyOutlineDoNothing) {
  selection_enable_flash(selection_);
  selection_change_last(selection_, 5, 5);
  selection_move(selection_, 5, 5);
  selection_close_loop(selection_);
  EXPECT_EQ(selection_num_points(selection_), 0);
  EXPECT_EQ(selection_->phase, 0);
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, CloseLoopRepeatsTheFirstPoint) {
  selection_add_point(selection_, 12, 30);
  selection_add_point(selection_, 40, 30);
  selection_add_point(selection_, 40, 60);
  selection_close_loop(selection_);
  EXPECT_EQ(outline(), (Pairs{{12, 30}, {40, 30}, {40, 60}, {12, 30}}));
}

TEST_F(SelectionTest, MovePutsTheBoundingCornerOnThePoint) {
  VorpixPointArray *tri = array_of({{10, 10}, {20, 10}, {20, 20}});
  selection_set_points(selection_, tri);
  point_array_delete(tri);
  selection_move(selection_, 0, 5);
  EXPECT_EQ(outline(), (Pairs{{0, 5}, {10, 5}, {10, 15}}));
  // Smallest x and y taken independently.
  VorpixPointArray *skew = array_of({{30, 2}, {4, 50}});
  selection_set_points(selection_, skew);
  point_array_delete(skew);
  selection_move(selection_, -10, 100);
  EXPECT_EQ(outline(), (Pairs{{16, 100}, {-10, 148}}));
  EXPECT_TRUE(window_is_white());  // nothing drawn by moving
}

TEST_F(SelectionTest, RemovePointsErasesAndEmpties) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_enable_flash(selection_);
  selection_draw_flash(selection_);
  selection_remove_points(selection_);
  EXPECT_EQ(selection_num_points(selection_), 0);
  EXPECT_EQ(selection_->flashing, 1);
  EXPECT_TRUE(window_is_white());
}

TEST_F(SelectionTest, DeleteErasesAndStopsTheTimer) {
  selection_set_rectangle(selection_, GdkRectangle{10, 10, 60, 40});
  selection_enable_flash(selection_);
  selection_draw_flash(selection_);
  ASSERT_GT(black_count(), 0);
  guint timer = selection_->timer;
  selection_delete(selection_);
  selection_ = nullptr;
  EXPECT_TRUE(window_is_white());
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, timer), nullptr);
  run_for(600);  // a tick of a deleted selection would touch freed memory
  EXPECT_TRUE(window_is_white());
}

}  // namespace
