// GtkScrollFrame in real windows on the test display.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <vector>

#include "panels/gtkscrollframe.h"

namespace {

struct LogRecord {
  std::string domain;
  GLogLevelFlags level;
  std::string message;
};

// Records warnings and critical messages of our own code (default domain)
// and of GTK+ and GObject while it lives, instead of printing them.
class LogCapture {
 public:
  LogCapture() {
    for (const char *domain : kDomains) {
      handlers_.push_back(g_log_set_handler(
          domain,
          static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL |
                                      G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
          record, this));
    }
  }
  ~LogCapture() {
    for (size_t i = 0; i < handlers_.size(); ++i) g_log_remove_handler(kDomains[i], handlers_[i]);
  }
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

  const std::vector<LogRecord> &records() const { return records_; }

  // Number of records of that level whose text contains needle.
  int count(GLogLevelFlags level, const std::string &needle) const {
    return static_cast<int>(std::count_if(records_.begin(), records_.end(), [&](const LogRecord &r) {
      return (r.level & level) && r.message.find(needle) != std::string::npos;
    }));
  }

  std::string dump() const {
    std::string text;
    for (const auto &r : records_) text += "[" + r.domain + "] " + r.message + "\n";
    return text;
  }

 private:
  static void record(const gchar *domain, GLogLevelFlags level, const gchar *message,
                     gpointer data) {
    static_cast<LogCapture *>(data)->records_.push_back(
        {domain ? domain : "", static_cast<GLogLevelFlags>(level & G_LOG_LEVEL_MASK),
         message ? message : ""});
  }

  static constexpr const char *kDomains[] = {nullptr, "Gtk", "Gdk", "GLib-GObject", "GLib"};
  std::vector<guint> handlers_;
  std::vector<LogRecord> records_;
};

void pump() {
  while (gtk_events_pending()) gtk_main_iteration();
}

GtkWidget *find_internal(GtkWidget *frame, GType type) {
  struct Search {
    GType type;
    GtkWidget *found;
  } search{type, nullptr};
  gtk_container_forall(
      GTK_CONTAINER(frame),
      [](GtkWidget *w, gpointer data) {
        auto *s = static_cast<Search *>(data);
        if (G_TYPE_CHECK_INSTANCE_TYPE(w, s->type)) s->found = w;
      },
      &search);
  return search.found;
}

GtkWidget *hscrollbar_of(GtkWidget *frame) { return find_internal(frame, GTK_TYPE_HSCROLLBAR); }
GtkWidget *vscrollbar_of(GtkWidget *frame) { return find_internal(frame, GTK_TYPE_VSCROLLBAR); }

GtkRequisition requisition_of(GtkWidget *widget) {
  GtkRequisition r;
  gtk_widget_size_request(widget, &r);
  return r;
}

GtkRequisition child_requisition_of(GtkWidget *widget) {
  GtkRequisition r;
  gtk_widget_get_child_requisition(widget, &r);
  return r;
}

// widget's allocation relative to the allocation of frame.
GdkRectangle area_in(GtkWidget *frame, GtkWidget *widget) {
  return {widget->allocation.x - frame->allocation.x, widget->allocation.y - frame->allocation.y,
          widget->allocation.width, widget->allocation.height};
}

bool overlaps(const GdkRectangle &a, const GdkRectangle &b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
         b.y < a.y + a.height;
}

// Handlers on adj whose data is the frame: the frame's own "changed" handler.
guint handlers_for(GtkAdjustment *adj, GtkWidget *frame) {
  guint n = g_signal_handlers_block_matched(adj, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                            frame);
  g_signal_handlers_unblock_matched(adj, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, frame);
  return n;
}

#define EXPECT_RECT(rect, ex, ey, ew, eh) \
  do {                                     \
    GdkRectangle r_ = (rect);              \
    EXPECT_EQ(r_.x, (ex));                 \
    EXPECT_EQ(r_.y, (ey));                 \
    EXPECT_EQ(r_.width, (ew));             \
    EXPECT_EQ(r_.height, (eh));            \
  } while (0)

// A toplevel window holding one scroll frame; destroyed with the fixture.
class ScrollFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    frame_ = gtk_scroll_frame_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(window_), frame_);
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    pump();
  }

  GtkScrollFrame *sf() { return GTK_SCROLL_FRAME(frame_); }

  // A viewport in the frame holding a drawing area that asks for w by h.
  GtkWidget *add_content(int w, int h) {
    content_ = gtk_drawing_area_new();
    gtk_widget_set_size_request(content_, w, h);
    gtk_scroll_frame_add_with_viewport(sf(), content_);
    return GTK_BIN(frame_)->child;
  }

  // Shows the window with the frame at exactly w by h and lets the layout settle.
  void show_at(int w, int h) {
    gtk_widget_set_size_request(frame_, w, h);
    gtk_widget_show_all(window_);
    pump();
  }

  GtkWidget *window_ = nullptr;
  GtkWidget *frame_ = nullptr;
  GtkWidget *content_ = nullptr;
};

TEST_F(ScrollFrameTest, NewFrameHasBothScrollbarsOnZeroAdjustments) {
  GtkWidget *hsb = hscrollbar_of(frame_);
  GtkWidget *vsb = vscrollbar_of(frame_);
  ASSERT_NE(hsb, nullptr);
  ASSERT_NE(vsb, nullptr);
  EXPECT_STREQ(gtk_widget_get_composite_name(hsb), "hscrollbar");
  EXPECT_STREQ(gtk_widget_get_composite_name(vsb), "vscrollbar");

  GtkAdjustment *hadj = gtk_scroll_frame_get_hadjustment(sf());
  GtkAdjustment *vadj = gtk_scroll_frame_get_vadjustment(sf());
  ASSERT_NE(hadj, nullptr);
  ASSERT_NE(vadj, nullptr);
  EXPECT_NE(hadj, vadj);
  EXPECT_EQ(gtk_range_get_adjustment(GTK_RANGE(hsb)), hadj);
  EXPECT_EQ(gtk_range_get_adjustment(GTK_RANGE(vsb)), vadj);
  for (GtkAdjustment *adj : {hadj, vadj}) {
    EXPECT_EQ(adj->lower, 0.0);
    EXPECT_EQ(adj->upper, 0.0);
    EXPECT_EQ(adj->value, 0.0);
    EXPECT_EQ(adj->page_size, 0.0);
  }

  GtkPolicyType hp, vp;
  gtk_scroll_frame_get_policy(sf(), &hp, &vp);
  EXPECT_EQ(hp, GTK_POLICY_ALWAYS);
  EXPECT_EQ(vp, GTK_POLICY_ALWAYS);
  EXPECT_EQ(gtk_scroll_frame_get_shadow_type(sf()), GTK_SHADOW_NONE);
  EXPECT_FALSE(gtk_widget_get_has_window(frame_));
}

TEST_F(ScrollFrameTest, ViewportChildReceivesTheFrameAdjustments) {
  gtk_scroll_frame_set_policy(sf(), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  GtkWidget *viewport = gtk_viewport_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(frame_), viewport);
  EXPECT_EQ(gtk_viewport_get_hadjustment(GTK_VIEWPORT(viewport)),
            gtk_scroll_frame_get_hadjustment(sf()));
  EXPECT_EQ(gtk_viewport_get_vadjustment(GTK_VIEWPORT(viewport)),
            gtk_scroll_frame_get_vadjustment(sf()));
}

TEST_F(ScrollFrameTest, ObjectArgumentsReadAndWriteTheFrameState) {
  LogCapture log;
  GtkAdjustment *hadj = nullptr;
  GtkAdjustment *vadj = nullptr;
  gtk_object_get(GTK_OBJECT(frame_), "hadjustment", &hadj, "vadjustment", &vadj, NULL);
  EXPECT_EQ(hadj, gtk_scroll_frame_get_hadjustment(sf()));
  EXPECT_EQ(vadj, gtk_scroll_frame_get_vadjustment(sf()));
  if (hadj) g_object_unref(hadj);
  if (vadj) g_object_unref(vadj);

  g_object_set(frame_, "hscrollbar_policy", GTK_POLICY_NEVER, "vscrollbar_policy",
               GTK_POLICY_AUTOMATIC, "frame_placement", GTK_CORNER_BOTTOM_RIGHT, "shadow_type",
               GTK_SHADOW_ETCHED_IN, "scrollbar_spacing", 7u, NULL);
  GtkPolicyType hp, vp;
  gtk_scroll_frame_get_policy(sf(), &hp, &vp);
  EXPECT_EQ(hp, GTK_POLICY_NEVER);
  EXPECT_EQ(vp, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(gtk_scroll_frame_get_shadow_type(sf()), GTK_SHADOW_ETCHED_IN);

  gint hpolicy = -1, vpolicy = -1, placement = -1, shadow = -1;
  guint spacing = 0;
  g_object_get(frame_, "hscrollbar_policy", &hpolicy, "vscrollbar_policy", &vpolicy,
               "frame_placement", &placement, "shadow_type", &shadow, "scrollbar_spacing",
               &spacing, NULL);
  EXPECT_EQ(hpolicy, GTK_POLICY_NEVER);
  EXPECT_EQ(vpolicy, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(placement, GTK_CORNER_BOTTOM_RIGHT);
  EXPECT_EQ(shadow, GTK_SHADOW_ETCHED_IN);
  EXPECT_EQ(spacing, 7u);

  GtkAdjustment *mine = GTK_ADJUSTMENT(gtk_adjustment_new(5, 0, 100, 1, 10, 20));
  g_object_set(frame_, "hadjustment", mine, NULL);
  EXPECT_EQ(gtk_scroll_frame_get_hadjustment(sf()), mine);
  EXPECT_TRUE(log.records().empty()) << log.dump();
}

// --- size request ---------------------------------------------------------

constexpr int kBorder = 4;
constexpr int kSpacing = 3;  // the frame's default scrollbar spacing

class ScrollFrameRequestTest : public ScrollFrameTest {
 protected:
  // Frame with border kBorder around a viewport holding a 40x30 drawing
  // area; the viewport gets an explicit size when explicit_size is set.
  void build(GtkPolicyType hpolicy, GtkPolicyType vpolicy, bool explicit_size) {
    gtk_container_set_border_width(GTK_CONTAINER(frame_), kBorder);
    gtk_scroll_frame_set_policy(sf(), hpolicy, vpolicy);
    viewport_ = add_content(40, 30);
    if (explicit_size) gtk_widget_set_size_request(viewport_, 120, 80);
    gtk_widget_show_all(window_);
    pump();
    hsb_ = child_requisition_of(hscrollbar_of(frame_));
    vsb_ = child_requisition_of(vscrollbar_of(frame_));
  }

  GtkWidget *viewport_ = nullptr;
  GtkRequisition hsb_{};
  GtkRequisition vsb_{};
};

TEST_F(ScrollFrameRequestTest, NeverPoliciesAskForTheChildRequest) {
  build(GTK_POLICY_NEVER, GTK_POLICY_NEVER, false);
  EXPECT_FALSE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  EXPECT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  GtkRequisition child = requisition_of(viewport_);
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, 2 * kBorder + child.width);
  EXPECT_EQ(r.height, 2 * kBorder + child.height);
}

TEST_F(ScrollFrameRequestTest, NeverPoliciesWithExplicitChildSize) {
  build(GTK_POLICY_NEVER, GTK_POLICY_NEVER, true);
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, 2 * kBorder + 120);
  EXPECT_EQ(r.height, 2 * kBorder + 80);
}

TEST_F(ScrollFrameRequestTest, AlwaysPoliciesAddScrollbarsAndSpacing) {
  build(GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS, false);
  EXPECT_TRUE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  EXPECT_TRUE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  // Without an explicit size the child is only promised a scrollbar's width.
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, std::max(2 * kBorder + vsb_.width, hsb_.width) + vsb_.width + kSpacing);
  EXPECT_EQ(r.height, std::max(2 * kBorder + hsb_.height, vsb_.height) + hsb_.height + kSpacing);
}

TEST_F(ScrollFrameRequestTest, AlwaysPoliciesWithExplicitChildSize) {
  build(GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS, true);
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, std::max(2 * kBorder + 120, hsb_.width) + vsb_.width + kSpacing);
  EXPECT_EQ(r.height, std::max(2 * kBorder + 80, vsb_.height) + hsb_.height + kSpacing);
}

TEST_F(ScrollFrameRequestTest, AutomaticPoliciesWithExplicitSizeAddNoHiddenScrollbar) {
  build(GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC, true);
  ASSERT_FALSE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  ASSERT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, std::max(2 * kBorder + 120, hsb_.width));
  EXPECT_EQ(r.height, std::max(2 * kBorder + 80, vsb_.height));
}

TEST_F(ScrollFrameRequestTest, AutomaticPoliciesWithoutExplicitSizeKeepRoomForScrollbars) {
  build(GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC, false);
  ASSERT_FALSE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  ASSERT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  GtkRequisition r = requisition_of(frame_);
  EXPECT_EQ(r.width, std::max(2 * kBorder + vsb_.width, hsb_.width) + vsb_.width + kSpacing);
  EXPECT_EQ(r.height, std::max(2 * kBorder + hsb_.height, vsb_.height) + hsb_.height + kSpacing);
}

TEST_F(ScrollFrameRequestTest, SpacingChangesTheRequest) {
  build(GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS, true);
  GtkRequisition before = requisition_of(frame_);
  gtk_scroll_frame_set_scrollbar_spacing(sf(), kSpacing + 10);
  GtkRequisition after = requisition_of(frame_);
  EXPECT_EQ(after.width, before.width + 10);
  EXPECT_EQ(after.height, before.height + 10);
}

// --- allocation -----------------------------------------------------------

constexpr int kFrameSize = 300;
constexpr int kAllocBorder = 5;

class ScrollFrameAllocationTest : public ScrollFrameTest {
 protected:
  void SetUp() override {
    ScrollFrameTest::SetUp();
    gtk_container_set_border_width(GTK_CONTAINER(frame_), kAllocBorder);
    gtk_scroll_frame_set_policy(sf(), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  }
  int inner() const { return kFrameSize - 2 * kAllocBorder; }
};

TEST_F(ScrollFrameAllocationTest, FittingContentGetsWholeAreaWithoutScrollbars) {
  GtkWidget *viewport = add_content(50, 50);
  show_at(kFrameSize, kFrameSize);

  EXPECT_FALSE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  EXPECT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  EXPECT_FALSE(gtk_widget_get_mapped(hscrollbar_of(frame_)));
  EXPECT_EQ(frame_->allocation.width, kFrameSize);
  EXPECT_EQ(frame_->allocation.height, kFrameSize);
  EXPECT_RECT(area_in(frame_, viewport), kAllocBorder, kAllocBorder, inner(), inner());
}

TEST_F(ScrollFrameAllocationTest, LargerContentBringsBothScrollbars) {
  GtkWidget *viewport = add_content(1000, 800);
  show_at(kFrameSize, kFrameSize);

  GtkWidget *hsb = hscrollbar_of(frame_);
  GtkWidget *vsb = vscrollbar_of(frame_);
  ASSERT_TRUE(gtk_widget_get_visible(hsb));
  ASSERT_TRUE(gtk_widget_get_visible(vsb));
  EXPECT_TRUE(gtk_widget_get_mapped(hsb));
  EXPECT_TRUE(gtk_widget_get_mapped(vsb));

  GtkRequisition h = child_requisition_of(hsb);
  GtkRequisition v = child_requisition_of(vsb);
  const int w = inner() - v.width - kSpacing;
  const int hgt = inner() - h.height - kSpacing;
  EXPECT_RECT(area_in(frame_, viewport), kAllocBorder, kAllocBorder, w, hgt);
  EXPECT_RECT(area_in(frame_, hsb), kAllocBorder, kAllocBorder + hgt + kSpacing, w, h.height);
  EXPECT_RECT(area_in(frame_, vsb), kAllocBorder + w + kSpacing, kAllocBorder, v.width, hgt);

  GtkAdjustment *hadj = gtk_scroll_frame_get_hadjustment(sf());
  GtkAdjustment *vadj = gtk_scroll_frame_get_vadjustment(sf());
  EXPECT_EQ(hadj->upper, 1000.0);
  EXPECT_EQ(vadj->upper, 800.0);
  EXPECT_LT(hadj->page_size, w + 1.0);
}

TEST_F(ScrollFrameAllocationTest, WideContentBringsOnlyTheHorizontalScrollbar) {
  GtkWidget *viewport = add_content(1000, 50);
  show_at(kFrameSize, kFrameSize);

  GtkWidget *hsb = hscrollbar_of(frame_);
  EXPECT_TRUE(gtk_widget_get_visible(hsb));
  EXPECT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  const int h = child_requisition_of(hsb).height;
  EXPECT_RECT(area_in(frame_, viewport), kAllocBorder, kAllocBorder, inner(),
              inner() - h - kSpacing);
}

TEST_F(ScrollFrameAllocationTest, ContentTallerThanRoomLeftByHorizontalScrollbarGetsBoth) {
  // Fits vertically on its own, but not once the horizontal scrollbar,
  // needed for the width, takes its share: a later pass adds the vertical one.
  const int h = child_requisition_of(hscrollbar_of(frame_)).height;
  add_content(1000, inner() - h / 2);
  show_at(kFrameSize, kFrameSize);

  EXPECT_TRUE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  EXPECT_TRUE(gtk_widget_get_visible(vscrollbar_of(frame_)));
}

TEST_F(ScrollFrameAllocationTest, ScrollbarsFollowContentSizeChanges) {
  GtkWidget *viewport = add_content(50, 50);
  show_at(kFrameSize, kFrameSize);
  ASSERT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));

  gtk_widget_set_size_request(content_, 50, 2000);
  pump();
  EXPECT_TRUE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  EXPECT_FALSE(gtk_widget_get_visible(hscrollbar_of(frame_)));
  EXPECT_LT(viewport->allocation.width, inner());

  gtk_widget_set_size_request(content_, 50, 50);
  pump();
  EXPECT_FALSE(gtk_widget_get_visible(vscrollbar_of(frame_)));
  EXPECT_RECT(area_in(frame_, viewport), kAllocBorder, kAllocBorder, inner(), inner());
}

TEST_F(ScrollFrameAllocationTest, AllocationBelowTwiceTheBorderStillGivesOnePixel) {
  constexpr int kWideBorder = 20;
  gtk_container_set_border_width(GTK_CONTAINER(frame_), kWideBorder);
  GtkWidget *viewport = add_content(50, 50);
  gtk_widget_show_all(window_);
  pump();

  for (GtkPolicyType policy : {GTK_POLICY_NEVER, GTK_POLICY_ALWAYS}) {
    SCOPED_TRACE(policy);
    gtk_scroll_frame_set_policy(sf(), policy, policy);
    GtkAllocation small = {0, 0, 30, 30};
    gtk_widget_size_allocate(frame_, &small);
    EXPECT_EQ(viewport->allocation.x, kWideBorder);
    EXPECT_EQ(viewport->allocation.y, kWideBorder);
    EXPECT_EQ(viewport->allocation.width, 1);
    EXPECT_EQ(viewport->allocation.height, 1);
  }
}

// --- placement ------------------------------------------------------------

class ScrollFramePlacementTest : public ScrollFrameAllocationTest,
                                 public ::testing::WithParamInterface<GtkCornerType> {};

TEST_P(ScrollFramePlacementTest, ScrollbarsSitOppositeTheFrameCorner) {
  const GtkCornerType corner = GetParam();
  gtk_scroll_frame_set_policy(sf(), GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS);
  gtk_scroll_frame_set_placement(sf(), corner);
  GtkWidget *viewport = add_content(50, 50);
  show_at(kFrameSize, kFrameSize);

  GtkWidget *hsb = hscrollbar_of(frame_);
  GtkWidget *vsb = vscrollbar_of(frame_);
  const GdkRectangle child = area_in(frame_, viewport);
  const GdkRectangle hrect = area_in(frame_, hsb);
  const GdkRectangle vrect = area_in(frame_, vsb);
  const int h = child_requisition_of(hsb).height;
  const int v = child_requisition_of(vsb).width;
  const bool frame_at_bottom = corner == GTK_CORNER_BOTTOM_LEFT || corner == GTK_CORNER_BOTTOM_RIGHT;
  const bool frame_at_right = corner == GTK_CORNER_TOP_RIGHT || corner == GTK_CORNER_BOTTOM_RIGHT;

  EXPECT_EQ(child.width, inner() - v - kSpacing);
  EXPECT_EQ(child.height, inner() - h - kSpacing);
  if (frame_at_bottom) {
    EXPECT_EQ(hrect.y, kAllocBorder);
    EXPECT_EQ(child.y, kAllocBorder + h + kSpacing);
  } else {
    EXPECT_EQ(child.y, kAllocBorder);
    EXPECT_EQ(hrect.y, child.y + child.height + kSpacing);
  }
  if (frame_at_right) {
    EXPECT_EQ(vrect.x, kAllocBorder);
    EXPECT_EQ(child.x, kAllocBorder + v + kSpacing);
  } else {
    EXPECT_EQ(child.x, kAllocBorder);
    EXPECT_EQ(vrect.x, child.x + child.width + kSpacing);
  }
  // Each scrollbar runs along the frame.
  EXPECT_EQ(hrect.x, child.x);
  EXPECT_EQ(hrect.width, child.width);
  EXPECT_EQ(vrect.y, child.y);
  EXPECT_EQ(vrect.height, child.height);
  EXPECT_FALSE(overlaps(child, hrect));
  EXPECT_FALSE(overlaps(child, vrect));
  EXPECT_FALSE(overlaps(hrect, vrect));
}

INSTANTIATE_TEST_SUITE_P(AllCorners, ScrollFramePlacementTest,
                         ::testing::Values(GTK_CORNER_TOP_LEFT, GTK_CORNER_BOTTOM_LEFT,
                                           GTK_CORNER_TOP_RIGHT, GTK_CORNER_BOTTOM_RIGHT));

TEST_F(ScrollFrameAllocationTest, BottomRightPlacementPutsScrollbarsTopAndLeft) {
  gtk_scroll_frame_set_policy(sf(), GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS);
  g_object_set(frame_, "frame_placement", GTK_CORNER_BOTTOM_RIGHT, NULL);
  GtkWidget *viewport = add_content(50, 50);
  show_at(kFrameSize, kFrameSize);

  GtkWidget *hsb = hscrollbar_of(frame_);
  GtkWidget *vsb = vscrollbar_of(frame_);
  const int h = child_requisition_of(hsb).height;
  const int v = child_requisition_of(vsb).width;
  const int x = kAllocBorder + v + kSpacing;
  const int y = kAllocBorder + h + kSpacing;
  const int w = inner() - v - kSpacing;
  const int hgt = inner() - h - kSpacing;
  EXPECT_RECT(area_in(frame_, hsb), x, kAllocBorder, w, h);
  EXPECT_RECT(area_in(frame_, vsb), kAllocBorder, y, v, hgt);
  EXPECT_RECT(area_in(frame_, viewport), x, y, w, hgt);
}

// --- mouse wheel ----------------------------------------------------------

class ScrollFrameWheelTest : public ScrollFrameTest {
 protected:
  void SetUp() override {
    ScrollFrameTest::SetUp();
    hadj_ = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 1000, 10, 100, 50));
    vadj_ = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 1000, 10, 100, 50));
    gtk_scroll_frame_set_hadjustment(sf(), hadj_);
    gtk_scroll_frame_set_vadjustment(sf(), vadj_);
    gtk_widget_show_all(window_);
    pump();
  }

  gboolean press(guint button, guint state = 0) {
    GdkEventButton event{};
    event.type = GDK_BUTTON_PRESS;
    event.window = frame_->window;
    event.send_event = TRUE;
    event.button = button;
    event.state = state;
    return gtk_widget_event(frame_, reinterpret_cast<GdkEvent *>(&event));
  }

  GtkAdjustment *hadj_ = nullptr;
  GtkAdjustment *vadj_ = nullptr;
};

TEST_F(ScrollFrameWheelTest, WheelStepsHalfAPageWithinTheLimits) {
  EXPECT_TRUE(press(5));
  EXPECT_DOUBLE_EQ(vadj_->value, 50.0);

  gtk_adjustment_set_value(vadj_, 940);
  EXPECT_TRUE(press(5));
  EXPECT_DOUBLE_EQ(vadj_->value, 950.0);  // upper - page size

  gtk_adjustment_set_value(vadj_, 20);
  EXPECT_TRUE(press(4));
  EXPECT_DOUBLE_EQ(vadj_->value, 0.0);

  gtk_adjustment_set_value(vadj_, 500);
  EXPECT_TRUE(press(4));
  EXPECT_DOUBLE_EQ(vadj_->value, 450.0);
  EXPECT_DOUBLE_EQ(hadj_->value, 0.0);
}

TEST_F(ScrollFrameWheelTest, ControlWheelMovesTheHorizontalAdjustment) {
  EXPECT_TRUE(press(5, GDK_CONTROL_MASK));
  EXPECT_DOUBLE_EQ(hadj_->value, 50.0);
  EXPECT_DOUBLE_EQ(vadj_->value, 0.0);
  EXPECT_TRUE(press(4, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  EXPECT_DOUBLE_EQ(hadj_->value, 0.0);
}

TEST_F(ScrollFrameWheelTest, OtherButtonsAreNotHandled) {
  gtk_adjustment_set_value(vadj_, 300);
  for (guint button : {1u, 2u, 3u, 6u, 7u}) {
    EXPECT_FALSE(press(button)) << button;
    EXPECT_FALSE(press(button, GDK_CONTROL_MASK)) << button;
  }
  EXPECT_DOUBLE_EQ(vadj_->value, 300.0);
  EXPECT_DOUBLE_EQ(hadj_->value, 0.0);
}

TEST_F(ScrollFrameWheelTest, WheelDoesNotLeakAdjustmentReferences) {
  GWeakRef weak;
  g_weak_ref_init(&weak, vadj_);
  for (int i = 0; i < 5; ++i) press(5);
  // Replacing the adjustment drops the scrollbar's reference: the old one dies.
  gtk_scroll_frame_set_vadjustment(sf(), nullptr);
  GObject *still = static_cast<GObject *>(g_weak_ref_get(&weak));
  EXPECT_EQ(still, nullptr);
  if (still) g_object_unref(still);
  g_weak_ref_clear(&weak);
}

// Wheel events from the display arrive as scroll events on the child's
// window and travel up to the frame.
TEST_F(ScrollFrameTest, WheelOverTheContentScrollsTheFrame) {
  gtk_scroll_frame_set_policy(sf(), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  add_content(1000, 1000);
  show_at(kFrameSize, kFrameSize);
  GtkAdjustment *vadj = gtk_scroll_frame_get_vadjustment(sf());
  GtkAdjustment *hadj = gtk_scroll_frame_get_hadjustment(sf());
  ASSERT_GT(vadj->page_increment, 0.0);
  const double step = static_cast<float>(vadj->page_increment * 0.5);

  auto scroll = [&](GdkScrollDirection direction, guint state) {
    GdkEvent *event = gdk_event_new(GDK_SCROLL);
    event->scroll.window = GDK_WINDOW(g_object_ref(content_->window));
    event->scroll.send_event = TRUE;
    event->scroll.direction = direction;
    event->scroll.state = state;
    event->scroll.x = event->scroll.y = 10;
    gtk_main_do_event(event);
    gdk_event_free(event);
  };

  scroll(GDK_SCROLL_DOWN, 0);
  EXPECT_DOUBLE_EQ(vadj->value, step);
  scroll(GDK_SCROLL_DOWN, GDK_CONTROL_MASK);
  EXPECT_DOUBLE_EQ(hadj->value, step);
  // Steps are taken in single precision, so back up is only near zero.
  scroll(GDK_SCROLL_UP, 0);
  EXPECT_NEAR(vadj->value, 0.0, 1e-3);
}

// --- arguments, children, handlers ----------------------------------------

TEST_F(ScrollFrameTest, ShadowTypeOutsideTheRangeIsRefused) {
  gtk_scroll_frame_set_shadow_type(sf(), GTK_SHADOW_ETCHED_IN);
  {
    LogCapture log;
    gtk_scroll_frame_set_shadow_type(sf(), static_cast<GtkShadowType>(5));
    EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL,
                        "shadow_type >= GTK_SHADOW_NONE && shadow_type <= GTK_SHADOW_ETCHED_OUT"),
              1)
        << log.dump();
    EXPECT_EQ(log.records().size(), 1u) << log.dump();
  }
  EXPECT_EQ(gtk_scroll_frame_get_shadow_type(sf()), GTK_SHADOW_ETCHED_IN);
  gtk_scroll_frame_set_shadow_type(sf(), GTK_SHADOW_ETCHED_OUT);
  EXPECT_EQ(gtk_scroll_frame_get_shadow_type(sf()), GTK_SHADOW_ETCHED_OUT);
}

TEST_F(ScrollFrameTest, ShadowIsPaintedAroundTheFrameArea) {
  // A label has no window of its own, so the shadow painted at its
  // allocation shows; its text stays in the middle, away from the edges.
  constexpr int kSize = 100;
  GtkWidget *label = gtk_label_new(".");
  {
    LogCapture log;  // a label cannot scroll; that warning is tested elsewhere
    gtk_container_add(GTK_CONTAINER(frame_), label);
  }
  gtk_scroll_frame_set_policy(sf(), GTK_POLICY_NEVER, GTK_POLICY_NEVER);
  show_at(kSize, kSize);

  auto edge_pixel = [&]() {
    gtk_widget_queue_draw(window_);
    gdk_window_process_all_updates();
    gdk_flush();
    GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(nullptr, window_->window, nullptr, 0,
                                                     kSize / 2, 0, 0, 1, 1);
    const guchar *p = gdk_pixbuf_get_pixels(pixbuf);
    guint32 rgb = (p[0] << 16) | (p[1] << 8) | p[2];
    g_object_unref(pixbuf);
    return rgb;
  };

  ASSERT_EQ(area_in(frame_, label).x, 0);
  const guint32 plain = edge_pixel();
  gtk_scroll_frame_set_shadow_type(sf(), GTK_SHADOW_IN);
  pump();
  const guint32 shadowed = edge_pixel();
  EXPECT_NE(plain, shadowed);
  gtk_scroll_frame_set_shadow_type(sf(), GTK_SHADOW_NONE);
  pump();
  EXPECT_EQ(edge_pixel(), plain);
}

TEST_F(ScrollFrameTest, SecondChildIsRefused) {
  GtkWidget *viewport = add_content(10, 10);
  GtkWidget *second = gtk_viewport_new(nullptr, nullptr);
  g_object_ref_sink(second);
  {
    LogCapture log;
    gtk_container_add(GTK_CONTAINER(frame_), second);
    EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "bin->child == NULL"), 1) << log.dump();
  }
  EXPECT_EQ(GTK_BIN(frame_)->child, viewport);
  EXPECT_EQ(second->parent, nullptr);
  gtk_widget_destroy(second);
  g_object_unref(second);
}

TEST_F(ScrollFrameTest, NonScrollableChildWarnsAndIsStillShown) {
  gtk_widget_show_all(window_);
  pump();
  GtkWidget *label = gtk_label_new("not scrollable");
  gtk_widget_show(label);
  {
    LogCapture log;
    gtk_container_add(GTK_CONTAINER(frame_), label);
    EXPECT_EQ(log.count(G_LOG_LEVEL_WARNING,
                        "gtk_scroll_frame_add(): cannot add non scrollable widget use "
                        "gtk_scroll_frame_add_with_viewport() instead"),
              1)
        << log.dump();
    EXPECT_EQ(log.records().size(), 1u) << log.dump();
  }
  EXPECT_EQ(GTK_BIN(frame_)->child, label);
  EXPECT_EQ(label->parent, frame_);
  // The frame is on screen, so the new child is realized and mapped at once.
  EXPECT_TRUE(gtk_widget_get_realized(label));
  EXPECT_TRUE(gtk_widget_get_mapped(label));
  pump();
  EXPECT_GT(label->allocation.width, 1);
}

TEST_F(ScrollFrameTest, SettingTheSameAdjustmentTwiceConnectsOneHandler) {
  GtkAdjustment *adj = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 100, 1, 10, 10));
  g_object_ref_sink(adj);
  gtk_scroll_frame_set_hadjustment(sf(), adj);
  gtk_scroll_frame_set_hadjustment(sf(), adj);
  EXPECT_EQ(handlers_for(adj, frame_), 1u);

  GtkAdjustment *other = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 100, 1, 10, 10));
  g_object_ref_sink(other);
  gtk_scroll_frame_set_hadjustment(sf(), other);
  EXPECT_EQ(handlers_for(adj, frame_), 0u);
  EXPECT_EQ(handlers_for(other, frame_), 1u);
  EXPECT_EQ(gtk_scroll_frame_get_hadjustment(sf()), other);
  g_object_unref(other);
  g_object_unref(adj);
}

TEST_F(ScrollFrameTest, NewAdjustmentIsHandedToTheChild) {
  GtkWidget *viewport = add_content(10, 10);
  GtkAdjustment *adj = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 100, 1, 10, 10));
  gtk_scroll_frame_set_vadjustment(sf(), adj);
  EXPECT_EQ(gtk_viewport_get_vadjustment(GTK_VIEWPORT(viewport)), adj);
  EXPECT_EQ(gtk_viewport_get_hadjustment(GTK_VIEWPORT(viewport)),
            gtk_scroll_frame_get_hadjustment(sf()));
}

TEST_F(ScrollFrameTest, RemovedChildGivesUpTheFrameAdjustments) {
  GtkWidget *viewport = add_content(10, 10);
  g_object_ref(viewport);
  gtk_container_remove(GTK_CONTAINER(frame_), viewport);
  EXPECT_EQ(GTK_BIN(frame_)->child, nullptr);
  EXPECT_NE(gtk_viewport_get_hadjustment(GTK_VIEWPORT(viewport)),
            gtk_scroll_frame_get_hadjustment(sf()));
  EXPECT_NE(gtk_viewport_get_vadjustment(GTK_VIEWPORT(viewport)),
            gtk_scroll_frame_get_vadjustment(sf()));
  gtk_widget_destroy(viewport);
  g_object_unref(viewport);
}

TEST_F(ScrollFrameTest, AddWithViewportReusesAnEmptyViewport) {
  GtkWidget *viewport = gtk_viewport_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(frame_), viewport);
  GtkWidget *area = gtk_drawing_area_new();
  gtk_scroll_frame_add_with_viewport(sf(), area);
  EXPECT_EQ(GTK_BIN(frame_)->child, viewport);
  EXPECT_EQ(area->parent, viewport);

  GtkWidget *another = gtk_drawing_area_new();
  g_object_ref_sink(another);
  {
    LogCapture log;
    gtk_scroll_frame_add_with_viewport(sf(), another);
    EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_BIN (bin->child)->child == NULL"), 1)
        << log.dump();
    gtk_scroll_frame_add_with_viewport(sf(), area);
    EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "child->parent == NULL"), 1) << log.dump();
    gtk_scroll_frame_add_with_viewport(sf(), nullptr);
    EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "child != NULL"), 1) << log.dump();
  }
  EXPECT_EQ(another->parent, nullptr);
  g_object_unref(another);
}

TEST_F(ScrollFrameTest, AddWithViewportRefusesANonViewportChild) {
  GtkWidget *label = gtk_label_new("x");
  {
    LogCapture log;
    gtk_container_add(GTK_CONTAINER(frame_), label);
  }
  GtkWidget *area = gtk_drawing_area_new();
  g_object_ref_sink(area);
  LogCapture log;
  gtk_scroll_frame_add_with_viewport(sf(), area);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_IS_VIEWPORT (bin->child)"), 1) << log.dump();
  EXPECT_EQ(area->parent, nullptr);
  g_object_unref(area);
}

TEST(ScrollFrameArguments, WrongFramesAndAdjustmentsAreRefused) {
  LogCapture log;
  GtkWidget *label = gtk_label_new("x");
  g_object_ref_sink(label);
  auto *not_adj = reinterpret_cast<GtkAdjustment *>(label);
  auto *not_frame = reinterpret_cast<GtkScrollFrame *>(label);

  EXPECT_EQ(gtk_scroll_frame_new(not_adj, nullptr), nullptr);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_IS_ADJUSTMENT (hadj)"), 1) << log.dump();
  EXPECT_EQ(gtk_scroll_frame_new(nullptr, not_adj), nullptr);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_IS_ADJUSTMENT (vadj)"), 1) << log.dump();

  gtk_scroll_frame_set_policy(nullptr, GTK_POLICY_NEVER, GTK_POLICY_NEVER);
  EXPECT_EQ(gtk_scroll_frame_get_hadjustment(nullptr), nullptr);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "sf != NULL"), 2) << log.dump();
  gtk_scroll_frame_set_shadow_type(not_frame, GTK_SHADOW_IN);
  EXPECT_EQ(gtk_scroll_frame_get_shadow_type(not_frame), GTK_SHADOW_NONE);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_IS_SCROLL_FRAME (sf)"), 2) << log.dump();

  GtkWidget *frame = gtk_scroll_frame_new(nullptr, nullptr);
  g_object_ref_sink(frame);
  GtkAdjustment *before = gtk_scroll_frame_get_vadjustment(GTK_SCROLL_FRAME(frame));
  gtk_scroll_frame_set_vadjustment(GTK_SCROLL_FRAME(frame), not_adj);
  EXPECT_EQ(log.count(G_LOG_LEVEL_CRITICAL, "GTK_IS_ADJUSTMENT (adj)"), 1) << log.dump();
  EXPECT_EQ(gtk_scroll_frame_get_vadjustment(GTK_SCROLL_FRAME(frame)), before);
  // Every message above is one of ours; nothing else complained.
  EXPECT_EQ(log.records().size(), 7u) << log.dump();

  gtk_widget_destroy(frame);
  g_object_unref(frame);
  g_object_unref(label);
}

TEST(ScrollFrameLifetime, DestroyReleasesScrollbarsAndForgetsKeptAdjustments) {
  GtkAdjustment *adj = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 100, 1, 10, 10));
  g_object_ref_sink(adj);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget *frame = gtk_scroll_frame_new(adj, nullptr);
  gtk_scroll_frame_set_policy(GTK_SCROLL_FRAME(frame), GTK_POLICY_AUTOMATIC,
                              GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(window), frame);
  gtk_widget_show_all(window);
  pump();

  gpointer weak_frame = frame;
  g_object_add_weak_pointer(G_OBJECT(frame), &weak_frame);
  // Our own references keep the scrollbars readable after the frame is gone.
  GObject *hsb = G_OBJECT(g_object_ref(hscrollbar_of(frame)));
  GObject *vsb = G_OBJECT(g_object_ref(vscrollbar_of(frame)));
  ASSERT_EQ(handlers_for(adj, frame), 1u);

  LogCapture log;
  gtk_widget_destroy(window);
  pump();
  EXPECT_EQ(weak_frame, nullptr);
  EXPECT_EQ(hsb->ref_count, 1u);  // the frame kept none of its references
  EXPECT_EQ(vsb->ref_count, 1u);
  g_object_unref(hsb);
  g_object_unref(vsb);
  // The adjustment outlives the frame and must not call back into it.
  EXPECT_EQ(handlers_for(adj, frame), 0u);
  adj->upper = 1000;
  gtk_adjustment_changed(adj);
  EXPECT_TRUE(log.records().empty()) << log.dump();
  g_object_unref(adj);
}

}  // namespace
