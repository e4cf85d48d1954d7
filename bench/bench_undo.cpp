// Undo of pen strokes on 640 x 480 and 4096 x 4096 pictures: the time a
// stroke takes from press to release with its step recorded, the time of
// undoing and of redoing one, the bytes one step keeps, and the one copy of
// the whole picture the history takes at its first action.  Every figure
// waits for the X server to have done the work.
#include <benchmark/benchmark.h>
#include <glade/glade.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/history.h"
#include "imaging/image.h"
#include "shell/window.h"
#include "bench/gui.h"
#include "bench/pattern.h"
#include "tests/harness/events.h"

namespace {

constexpr int kSides[][2] = {{640, 480}, {4096, 4096}};
// A stroke of ordinary length: four segments, about 450 pixels in all.
constexpr int kStroke[][2] = {{40, 40}, {190, 130}, {300, 340}, {420, 300}, {460, 420}};
constexpr int kRepetitions = 5;

GtkWidget *window = nullptr;
VorpixCanvas *canvas = nullptr;

void pump() {
  while (gtk_events_pending()) gtk_main_iteration();
}

void sync() { gdk_display_sync(gdk_display_get_default()); }

GtkWidget *area() { return canvas->drawing_area; }

void send_button(GdkEventType type, double x, double y, guint state) {
  vorpix_test::send_button(area(), type, x, y, 1, state);
}

void send_motion(double x, double y) { vorpix_test::send_motion(area(), x, y, GDK_BUTTON1_MASK); }

// The stroke, moved by shift pixels so that strokes do not all cover the
// same pixels.
void stroke(int shift) {
  send_button(GDK_BUTTON_PRESS, kStroke[0][0] + shift, kStroke[0][1], 0);
  for (const auto &point : kStroke) send_motion(point[0] + shift, point[1]);
  const auto &last = kStroke[sizeof kStroke / sizeof kStroke[0] - 1];
  send_button(GDK_BUTTON_RELEASE, last[0] + shift, last[1], GDK_BUTTON1_MASK);
  pump();
  sync();
}

// A fresh patterned picture of that size, its history empty.
void show_picture(int width, int height) {
  VorpixImage *image = new_pattern_picture(width, height);
  VorpixDrawing *drawing = drawing_new_blank(area(), canvas->gc, width, height);
  image_draw_on_pixmap(image, &drawing->backing_pixmap, drawing->gc);
  image_free(image);
  canvas_set_drawing(canvas, drawing);
  pump();
  sync();
}

void label(benchmark::State &state) {
  static char text[32];
  snprintf(text, sizeof text, "%dx%d", canvas->drawing->width, canvas->drawing->height);
  state.SetLabel(text);
}

// The first action's copy of the whole picture.
void BM_FirstCopy(benchmark::State &state) {
  show_picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    history_clear(canvas);
    history_begin(canvas);
    history_end(canvas);
    sync();
  }
  label(state);
}

// A whole stroke, events to release, its step recorded; with the bytes
// one step keeps.
void BM_StrokeRecorded(benchmark::State &state) {
  show_picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  stroke(0);  // the history's copy of the picture is taken here
  int shift = 0;
  gsize bytes = 0;
  int steps = 0;
  for (auto _ : state) {
    const gsize held = history_bytes(canvas);
    stroke(++shift % 100);
    state.PauseTiming();
    if (history_bytes(canvas) > held) {
      bytes += history_bytes(canvas) - held;
      steps++;
    }
    state.ResumeTiming();
  }
  state.counters["bytes_per_step"] = steps ? static_cast<double>(bytes) / steps : 0;
  state.counters["picture_bytes"] = static_cast<double>(history_picture_bytes(canvas->drawing));
  label(state);
}

// Undo (range 2 = 0) or redo (1) of one stroke.
void BM_StrokeUndoRedo(benchmark::State &state) {
  show_picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const bool redo = state.range(2) != 0;
  int shift = 0;
  for (auto _ : state) {
    state.PauseTiming();
    history_clear(canvas);
    stroke(++shift % 100);
    if (redo) {
      history_undo(canvas);
      sync();
    }
    state.ResumeTiming();
    redo ? history_redo(canvas) : history_undo(canvas);
    pump();
    sync();
  }
  label(state);
}

void register_all() {
  for (const auto &side : kSides) {
    benchmark::RegisterBenchmark("FirstCopy", BM_FirstCopy)
        ->Args({side[0], side[1]})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("StrokeRecorded", BM_StrokeRecorded)
        ->Args({side[0], side[1]})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
    for (int redo : {0, 1})
      benchmark::RegisterBenchmark(redo ? "StrokeRedo" : "StrokeUndo", BM_StrokeUndoRedo)
          ->Args({side[0], side[1], redo})
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Repetitions(kRepetitions);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (!start_gui(&argc, &argv, "bench_undo")) return 1;
  benchmark::Initialize(&argc, argv);
  window = create_window();
  pump();
  canvas = canvas_lookup(window);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vorpix_test::stop_xvfb();
  return 0;
}
