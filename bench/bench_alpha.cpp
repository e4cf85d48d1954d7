// A 2048 x 2048 picture opened with transparency against the same picture
// opened opaque: painting, the whole-picture path and the memory of the
// picture should cost at most 10% more with alpha.
//   paint        64 pen drags of 8 short segments each, scattered over the
//                picture, as the canvas runs them (the undo step, the tool
//                drawing with the paint GC on the backing pixmap and
//                reporting the changed area), until the server has drawn
//                them; the window's repaint comes after, untimed.  The undo
//                history's first copy of the picture is taken before.
//   paint_shown  the same with the repaint after every event, as the canvas
//                shows each one before the next.
//   whole        the picture's image and the image drawn back through the
//                paint GC: what an effect, a flip or a print pays for the
//                pixels.
//   memory       the backing pixmap's bytes in the server (counter
//                pixmap_bytes), by the server's layout for its depth.
// For medians run with
//   --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <gdk/gdkx.h>
#include <glade/glade.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/history.h"
#include "document/view.h"
#include "imaging/image.h"
#include "shell/window.h"
#include "tests/harness/xvfb.h"
#include "tests/imaging/effect_pictures.h"
#include "tools/pen.h"

namespace {

constexpr int kSide = 2048;
constexpr int kStrokes = 64;
constexpr int kSegments = 8;
constexpr int kSegmentReach = 24;  // how far a drag's next point may lie, each way

enum Kind { kOpaque, kAlpha };
const char *const kKindNames[] = {"opaque", "alpha"};

struct Fixture {
  GtkWidget *window = nullptr;
  VorpixCanvas *canvas = nullptr;
  VorpixTool *pen = nullptr;
  std::string files[2];  // the picture without and with alpha
  int opened = -1;       // the kind the canvas holds
  std::vector<GdkPoint> strokes;  // kStrokes drags of kSegments + 1 points
};

Fixture fixture;

void pump() {
  gdk_flush();
  while (gtk_events_pending()) gtk_main_iteration();
}

// The photograph-like picture of the effect benchmarks; with alpha, its
// alpha runs through every level, opaque and fully transparent included.
std::string write_picture(const std::string &dir, Kind kind) {
  effect_test::Image image =
      effect_test::random_picture(kSide, kSide, effect_test::Kind::kGradient, 7);
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++)
      effect_test::pixel(image, x, y)[3] = kind == kAlpha ? static_cast<guchar>(x + y) : 0xff;
  const std::string path = dir + "/" + kKindNames[kind] + ".png";
  GError *error = nullptr;
  if (!gdk_pixbuf_save(image_pixbuf(image.get()), path.c_str(), "png", &error, "compression",
                       "1", nullptr)) {
    fprintf(stderr, "bench_alpha: %s\n", error->message);
    exit(1);
  }
  return path;
}

// The canvas holding the picture of that kind, with no undo steps.
VorpixDrawing *use(benchmark::State &state, Kind kind) {
  VorpixCanvas *canvas = fixture.canvas;
  if (fixture.opened != kind) {
    VorpixDrawing *drawing = drawing_new_from_file(canvas->drawing_area, canvas->gc,
                                                   fixture.files[kind].c_str());
    if (!drawing) {
      state.SkipWithError("the picture cannot be opened");
      return nullptr;
    }
    canvas_set_drawing(canvas, drawing);
    canvas_set_tool(canvas, fixture.pen);
    fixture.opened = kind;
  }
  if (bool(canvas->drawing->has_alpha) != (kind == kAlpha)) {
    state.SkipWithError("the picture did not open with the alpha it has");
    return nullptr;
  }
  history_clear(canvas);
  pump();
  return canvas->drawing;
}

// One stroke's events, each as the canvas handles it; with show, the
// repaint the canvas does after every event.
void stroke(const GdkPoint *points, bool show) {
  VorpixCanvas *canvas = fixture.canvas;
  VorpixTool *pen = fixture.pen;
  auto shown = [&] {
    if (show) view_flush(canvas->view);
  };
  history_pointer_press(canvas);
  pen->button_press(pen, points[0].x, points[0].y);
  shown();
  for (int i = 1; i <= kSegments; i++) {
    history_pointer_motion(canvas);
    pen->motion(pen, points[i].x, points[i].y);
    shown();
  }
  pen->button_release(pen, points[kSegments].x, points[kSegments].y);
  history_pointer_release(canvas);
  shown();
}

void paint(benchmark::State &state, Kind kind, bool show) {
  if (!use(state, kind)) return;
  // The undo history's first step after opening copies the whole picture;
  // that is opening's cost, not painting's.
  stroke(&fixture.strokes[0], show);
  pump();
  for (auto _ : state) {
    for (int s = 0; s < kStrokes; s++) stroke(&fixture.strokes[s * (kSegments + 1)], show);
    gdk_flush();  // the server has drawn every line
    state.PauseTiming();
    pump();  // the repaint the strokes asked for
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kStrokes);
}

void whole_picture(benchmark::State &state, Kind kind) {
  VorpixDrawing *drawing = use(state, kind);
  if (!drawing) return;
  for (auto _ : state) {
    VorpixImage *image = drawing_create_image(drawing);
    if (!image) {
      state.SkipWithError("no memory for the picture's image");
      break;
    }
    image_draw_on_pixmap(image, &drawing->backing_pixmap, drawing_paint_gc(drawing));
    gdk_flush();  // the server has taken every pixel
    image_free(image);
  }
}

// The bytes the server keeps for a pixmap: rows of its depth's bits per
// pixel, each padded to the format's scanline unit.
double pixmap_bytes(GdkPixmap *pixmap) {
  int width = 0, height = 0;
  gdk_drawable_get_size(pixmap, &width, &height);
  const int depth = gdk_drawable_get_depth(pixmap);
  int count = 0;
  XPixmapFormatValues *formats =
      XListPixmapFormats(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), &count);
  double bytes = 0;
  for (int i = 0; i < count; i++) {
    if (formats[i].depth != depth) continue;
    const long pad = formats[i].scanline_pad;
    const long bits = static_cast<long>(width) * formats[i].bits_per_pixel;
    const long row_bits = (bits + pad - 1) / pad * pad;
    bytes = static_cast<double>(row_bits / 8) * height;
  }
  if (formats) XFree(formats);
  return bytes;
}

void memory(benchmark::State &state, Kind kind) {
  VorpixDrawing *drawing = use(state, kind);
  if (!drawing) return;
  double bytes = 0;
  for (auto _ : state) {
    bytes = pixmap_bytes(drawing->backing_pixmap);
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["pixmap_bytes"] = bytes;
  state.counters["depth"] = gdk_drawable_get_depth(drawing->backing_pixmap);
}

}  // namespace

int main(int argc, char **argv) {
  if (!vorpix_test::start_xvfb()) {
    fprintf(stderr, "bench_alpha: cannot start Xvfb\n");
    return 1;
  }
  // A private home: nothing the toolkit records (recently used files)
  // reaches the user's own.
  gchar *dir = g_dir_make_tmp("bench_alpha-XXXXXX", nullptr);
  if (!dir) {
    fprintf(stderr, "bench_alpha: no scratch folder\n");
    return 1;
  }
  const std::string home = dir;
  g_free(dir);
  g_setenv("HOME", home.c_str(), TRUE);
  g_setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), TRUE);
  g_setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), TRUE);
  g_setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), TRUE);
  g_mkdir_with_parents((home + "/.local/share").c_str(), 0700);
  setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, 0);
  gtk_init(&argc, &argv);
  glade_init();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  fixture.window = create_window();
  pump();
  fixture.canvas = canvas_lookup(fixture.window);
  fixture.pen = pen_create("pen");
  for (Kind kind : {kOpaque, kAlpha}) fixture.files[kind] = write_picture(home, kind);
  std::mt19937 random(2048);
  std::uniform_int_distribution<int> coordinate(0, kSide - 1), step(-kSegmentReach, kSegmentReach);
  for (int s = 0; s < kStrokes; s++) {
    GdkPoint p = {coordinate(random), coordinate(random)};
    fixture.strokes.push_back(p);
    for (int i = 0; i < kSegments; i++) {
      p.x = std::clamp(p.x + step(random), 0, kSide - 1);
      p.y = std::clamp(p.y + step(random), 0, kSide - 1);
      fixture.strokes.push_back(p);
    }
  }

  for (Kind kind : {kOpaque, kAlpha}) {
    const std::string suffix = std::string("/") + kKindNames[kind] + "/2048x2048";
    benchmark::RegisterBenchmark(("paint" + suffix).c_str(), paint, kind, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("paint_shown" + suffix).c_str(), paint, kind, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("whole" + suffix).c_str(), whole_picture, kind)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("memory" + suffix).c_str(), memory, kind)->Iterations(1);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  gchar *argv_rm[] = {const_cast<gchar *>("rm"), const_cast<gchar *>("-rf"),
                      const_cast<gchar *>(home.c_str()), nullptr};
  g_spawn_sync(nullptr, argv_rm, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
               nullptr, nullptr, nullptr);
  vorpix_test::stop_xvfb();
  return 0;
}
