// The flood fill at 640 x 480 and 4096 x 4096, on four pictures: a small
// region (a square inside a border on a noisy picture, under 1% of it), a
// single pixel, a large ragged region (white noise above the percolation
// threshold) and a blank picture.  "tool" is the whole click of the fill
// tool on a real window: the picture's image, the fill, the changed
// rectangle drawn back; "find" is the region finder alone, by the method
// the tool chooses and by each method on its own.
#include <benchmark/benchmark.h>
#include <glade/glade.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "document/canvas.h"
#include "document/drawing.h"
#include "imaging/image.h"
#include "shell/window.h"
#include "bench/gui.h"
#include "tools/fill.h"

namespace {

constexpr int kRepetitions = 7;
// Above the percolation threshold: one huge region full of holes.
constexpr double kNoiseDensity = 0.65;
constexpr double kSmallShare = 0.01;
constexpr guchar kWhite = 0xFF, kBlack = 0x00;

enum Kind { kSmall, kPixel, kRagged, kBlank };
const char *const kKindNames[] = {"small", "pixel", "ragged", "blank"};

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{640, 480}, {4096, 4096}};

struct Picture {
  VorpixImage *image = nullptr;  // pristine
  int seed_x = 0, seed_y = 0;
};

void set_grey(VorpixImage *image, int x, int y, guchar v) {
  guchar *p = image_pixels(image) + static_cast<size_t>(y) * image_rowstride(image) + x * 4;
  p[0] = p[1] = p[2] = v;
  p[3] = 0xFF;
}

Picture make_picture(Kind kind, Size size) {
  Picture picture;
  picture.image = image_new(size.width, size.height);
  std::mt19937 random(2024);
  std::bernoulli_distribution white(kind == kBlank ? 1.0 : kNoiseDensity);
  for (int y = 0; y < size.height; y++)
    for (int x = 0; x < size.width; x++) set_grey(picture.image, x, y, white(random) ? kWhite : kBlack);
  int cx = size.width / 2, cy = size.height / 2;
  if (kind == kSmall) {
    // A white square in a black frame, its inside under 1% of the picture.
    const int side = static_cast<int>(std::sqrt(kSmallShare * size.width * size.height));
    for (int y = cy - side / 2 - 1; y <= cy + side / 2; y++)
      for (int x = cx - side / 2 - 1; x <= cx + side / 2; x++) {
        bool frame = y == cy - side / 2 - 1 || y == cy + side / 2 || x == cx - side / 2 - 1 ||
                     x == cx + side / 2;
        set_grey(picture.image, x, y, frame ? kBlack : kWhite);
      }
  } else if (kind == kPixel) {
    for (int d : {-1, 1}) {
      set_grey(picture.image, cx + d, cy, kBlack);
      set_grey(picture.image, cx, cy + d, kBlack);
    }
    set_grey(picture.image, cx, cy, kWhite);
  } else if (kind == kRagged) {
    const guchar *row = image_pixels(picture.image) + static_cast<size_t>(cy) * image_rowstride(picture.image);
    while (row[cx * 4] != kWhite) cx++;
  }
  picture.seed_x = cx;
  picture.seed_y = cy;
  return picture;
}

Picture &picture_of(Kind kind, Size size) {
  static Picture pictures[4][2];
  Picture &picture = pictures[kind][size.width == kSizes[0].width ? 0 : 1];
  if (!picture.image) picture = make_picture(kind, size);
  return picture;
}

void pump() {
  gdk_flush();
  while (gtk_events_pending()) gtk_main_iteration();
}

// One main window whose drawing is replaced for each size.
struct Window {
  GtkWidget *window = nullptr;
  VorpixCanvas *canvas = nullptr;
  VorpixTool *fill = nullptr;
  int width = 0, height = 0;
};

Window &window_of(Size size) {
  static Window w;
  if (!w.window) {
    w.window = create_window();
    pump();
    w.canvas = canvas_lookup(w.window);
    w.fill = fill_create("fill");
    canvas_set_tool(w.canvas, w.fill);
    GdkColor red = {0, 0xFFFF, 0, 0};
    gdk_gc_set_rgb_fg_color(w.canvas->gc, &red);
  }
  if (w.width != size.width || w.height != size.height) {
    canvas_set_drawing(w.canvas, drawing_new_blank(w.canvas->drawing_area, w.canvas->gc,
                                                   size.width, size.height));
    w.width = size.width;
    w.height = size.height;
  }
  return w;
}

void tool_click(benchmark::State &state, Kind kind, Size size) {
  Picture &picture = picture_of(kind, size);
  Window &w = window_of(size);
  VorpixDrawing *drawing = w.canvas->drawing;
  for (auto _ : state) {
    state.PauseTiming();
    image_draw_on_pixmap(picture.image, &drawing->backing_pixmap, drawing->gc);
    pump();
    state.ResumeTiming();
    w.fill->button_press(w.fill, picture.seed_x, picture.seed_y);
    gdk_flush();  // the server has the filled pixels
    state.PauseTiming();
    pump();  // the repaint the fill asked for
    state.ResumeTiming();
  }
}

void find_region(benchmark::State &state, Kind kind, Size size, FillMethod method) {
  Picture &picture = picture_of(kind, size);
  VorpixImage *work = image_new_copy(picture.image);
  const size_t bytes = static_cast<size_t>(image_rowstride(work)) * size.height;
  for (auto _ : state) {
    state.PauseTiming();
    memcpy(image_pixels(work), image_pixels(picture.image), bytes);
    state.ResumeTiming();
    FillResult result =
        fill_image_by(method, work, picture.seed_x, picture.seed_y, 0xFF, 0, 0, nullptr);
    benchmark::DoNotOptimize(result);
  }
  image_free(work);
}

std::string size_name(Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace

int main(int argc, char **argv) {
  if (!start_gui(&argc, &argv, "bench_fill")) return 1;
  const struct {
    const char *name;
    FillMethod method;
  } methods[] = {{"chosen", FillMethod::kChosen},
                 {"follow", FillMethod::kFollow},
                 {"connected_runs", FillMethod::kConnectedRuns}};
  for (Kind kind : {kSmall, kPixel, kRagged, kBlank})
    for (Size size : kSizes) {
      const std::string suffix = std::string("/") + kKindNames[kind] + "/" + size_name(size);
      benchmark::RegisterBenchmark(("tool" + suffix).c_str(), tool_click, kind, size)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Repetitions(kRepetitions);
      for (const auto &m : methods)
        benchmark::RegisterBenchmark(("find_" + std::string(m.name) + suffix).c_str(),
                                     find_region, kind, size, m.method)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(kRepetitions);
    }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vorpix_test::stop_xvfb();
  return 0;
}
