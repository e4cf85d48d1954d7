// The view of a 4096 x 4096 picture in a 1280 x 1024 drawing area at 12.5%,
// 100% and 3200%: one pen motion event handled as the main loop handles it
// (the tool, the repaint of its damage, the status bar), a repaint of the
// whole view (the view's own, and the toolkit's after an expose), and beside
// them a plain copy of a 1280 x 1024 area from the picture's pixmap to the
// window.  Every figure waits for the X server to
// have done the work.  The screen is larger than the main window, so that
// no part of the view is off the screen and left unpainted.
#include <benchmark/benchmark.h>
#include <glade/glade.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/view.h"
#include "imaging/image.h"
#include "shell/window.h"
#include "bench/gui.h"
#include "bench/pattern.h"
#include "tests/harness/events.h"

namespace {

constexpr int kSide = 4096;
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 1024;
constexpr char kScreen[] = "1700x1400x24";
// The levels measured: 12.5%, 100% and 3200%.
constexpr int kLevels[] = {0, 3, 12};
constexpr double kStrokeRadius = 200;  // window pixels around the view's centre
constexpr double kStrokeStep = 0.02;   // radians a motion event, a few pixels
constexpr int kRepetitions = 5;

struct Fixture {
  GtkWidget *window = nullptr;
  VorpixCanvas *canvas = nullptr;
};

Fixture fixture;

void pump() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// The server has done everything asked of it so far.
void sync() { gdk_display_sync(gdk_display_get_default()); }

VorpixImage *make_picture() { return new_pattern_picture(kSide, kSide); }

GtkWidget *area() { return fixture.canvas->drawing_area; }

void send_button(GdkEventType type, double x, double y, guint state) {
  vorpix_test::send_button(area(), type, x, y, 1, state);
}

void send_motion(double x, double y) { vorpix_test::send_motion(area(), x, y, GDK_BUTTON1_MASK); }

// The level, scrolled to the picture's middle, with the drawing area made
// 1280 x 1024 (the scrollbars come and go with the level).
void show_level(int level) {
  VorpixView *view = fixture.canvas->view;
  view_set_level(view, level);
  for (int attempt = 0; attempt < 4; attempt++) {
    pump();
    const GtkAllocation &a = area()->allocation;
    if (a.width == kViewWidth && a.height == kViewHeight) break;
    int width, height;
    gtk_window_get_size(GTK_WINDOW(fixture.window), &width, &height);
    gtk_window_resize(GTK_WINDOW(fixture.window), width + kViewWidth - a.width,
                      height + kViewHeight - a.height);
  }
  int width, height;
  view_zoomed_size(view, &width, &height);
  view_scroll_to(view, (width - kViewWidth) / 2, (height - kViewHeight) / 2);
  pump();
  sync();
}

const char *level_label(int level) {
  static char label[32];
  snprintf(label, sizeof label, "%g%% view %dx%d", view_level_factor(level) * 100,
           area()->allocation.width, area()->allocation.height);
  return label;
}

void BM_PenMotion(benchmark::State &state) {
  const int level = static_cast<int>(state.range(0));
  show_level(level);
  const double cx = kViewWidth / 2.0, cy = kViewHeight / 2.0;
  double angle = 0;
  // The press takes the undo copy of the whole picture: outside the figure.
  send_button(GDK_BUTTON_PRESS, cx + kStrokeRadius, cy, 0);
  pump();
  sync();
  for (auto _ : state) {
    angle += kStrokeStep;
    send_motion(cx + kStrokeRadius * std::cos(angle), cy + kStrokeRadius * std::sin(angle));
    pump();
    sync();
  }
  send_button(GDK_BUTTON_RELEASE, cx, cy, GDK_BUTTON1_MASK);
  pump();
  state.SetLabel(level_label(level));
}

// The whole view repainted as zooming, scrolling and the menu commands have
// it repainted.
void BM_FullRepaint(benchmark::State &state) {
  const int level = static_cast<int>(state.range(0));
  show_level(level);
  VorpixView *view = fixture.canvas->view;
  for (auto _ : state) {
    view_redraw(view);
    view_flush(view);
    sync();
  }
  state.SetLabel(level_label(level));
}

// The whole view exposed, as when a window that covered it goes away: the
// toolkit's repaint, which paints through a buffer of its own first.
void BM_ExposeRepaint(benchmark::State &state) {
  const int level = static_cast<int>(state.range(0));
  show_level(level);
  GdkWindow *window = area()->window;
  for (auto _ : state) {
    gdk_window_invalidate_rect(window, nullptr, FALSE);
    gdk_window_process_updates(window, FALSE);
    sync();
  }
  state.SetLabel(level_label(level));
}

// What a repaint at 100% cannot beat: one copy of the visible area.
void BM_PlainCopy(benchmark::State &state) {
  show_level(view_normal_level());
  GdkWindow *window = area()->window;
  GdkGC *gc = gdk_gc_new(window);
  GdkPixmap *picture = fixture.canvas->drawing->backing_pixmap;
  VorpixView *view = fixture.canvas->view;
  for (auto _ : state) {
    gdk_draw_drawable(window, gc, picture, view->scroll_x, view->scroll_y, 0, 0, kViewWidth,
                      kViewHeight);
    sync();
  }
  g_object_unref(gc);
  state.SetLabel(level_label(view_normal_level()));
}

void register_all() {
  for (int level : kLevels) {
    benchmark::RegisterBenchmark("PenMotion", BM_PenMotion)
        ->Arg(level)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
  }
  for (int level : kLevels) {
    benchmark::RegisterBenchmark("FullRepaint", BM_FullRepaint)
        ->Arg(level)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
  }
  for (int level : kLevels) {
    benchmark::RegisterBenchmark("ExposeRepaint", BM_ExposeRepaint)
        ->Arg(level)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
  }
  benchmark::RegisterBenchmark("PlainCopy", BM_PlainCopy)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(kRepetitions);
}

}  // namespace

int main(int argc, char **argv) {
  if (!start_gui(&argc, &argv, "bench_view", kScreen)) return 1;
  benchmark::Initialize(&argc, argv);
  fixture.window = create_window();
  pump();
  fixture.canvas = canvas_lookup(fixture.window);
  VorpixCanvas *canvas = fixture.canvas;
  VorpixDrawing *drawing = drawing_new_blank(canvas->drawing_area, canvas->gc, kSide, kSide);
  VorpixImage *picture = make_picture();
  image_draw_on_pixmap(picture, &drawing->backing_pixmap, drawing->gc);
  image_free(picture);
  canvas_set_drawing(canvas, drawing);
  pump();
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vorpix_test::stop_xvfb();
  return 0;
}
