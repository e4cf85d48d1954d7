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

}  // namespace
