// The picture size commands on a 4096 x 4096 picture (crop, canvas size,
// scale to 50% both kinds, rotate by 30 degrees), each beside its parts
// measured alone: the pixmap-to-image transfer, the pixel work on the
// image, and the image-to-pixmap transfer of the result.  The command runs
// as the menu runs it (the undo copy and the canvas resize included), short
// of its dialog.  Each command should stay within 1.5 times the sum of its
// three parts.  For medians run with
//   --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <glade/glade.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/history.h"
#include "imaging/image.h"
#include "imaging/image_size.h"
#include "shell/window.h"
#include "bench/gui.h"
#include "bench/pattern.h"
#include "tools/selection.h"

namespace {

constexpr int kSide = 4096;
constexpr int kCropMargin = 512;  // the crop keeps the middle 3072 x 3072
constexpr int kGrownSide = 4608;  // canvas size grows by 512 all round
constexpr double kTurn = 30;
constexpr int kIterations = 3;

enum Command { kCrop, kCanvasSize, kScaleSmooth, kScaleExact, kRotate };
const char *const kNames[] = {"crop", "canvas_size", "scale_50_smooth", "scale_50_exact",
                              "rotate_30"};

struct Fixture {
  VorpixCanvas *canvas = nullptr;
  VorpixImage *picture = nullptr;  // the 4096 x 4096 picture every run starts from
  VorpixPointArray *outline = nullptr;
};

Fixture fixture;

VorpixImage *make_picture() { return new_pattern_picture(kSide, kSide); }

// A fresh drawing holding the picture, with no undo steps.
void reset_drawing() {
  VorpixCanvas *canvas = fixture.canvas;
  VorpixDrawing *drawing = drawing_new_blank(canvas->drawing_area, canvas->gc, kSide, kSide);
  image_draw_on_pixmap(fixture.picture, &drawing->backing_pixmap, drawing->gc);
  canvas_set_drawing(canvas, drawing);
  history_clear(canvas);
  gdk_flush();
}

DrawingSizeResult run_command(Command command, VorpixDrawing *drawing) {
  switch (command) {
    case kCrop: return drawing_crop(drawing, fixture.outline);
    case kCanvasSize:
      return drawing_resize_canvas(drawing, kGrownSide, kGrownSide, IMAGE_ANCHOR_CENTER);
    case kScaleSmooth: return drawing_scale(drawing, kSide / 2, kSide / 2, IMAGE_SCALE_SMOOTH);
    case kScaleExact:
      return drawing_scale(drawing, kSide / 2, kSide / 2, IMAGE_SCALE_PIXEL_EXACT);
    case kRotate: return drawing_rotate_by(drawing, kTurn);
  }
  return DRAWING_SIZE_INVALID;
}

void BM_Command(benchmark::State &state) {
  const auto command = static_cast<Command>(state.range(0));
  VorpixCanvas *canvas = fixture.canvas;
  for (auto _ : state) {
    state.PauseTiming();
    reset_drawing();
    state.ResumeTiming();
    history_begin_replacing(canvas);  // as the menu begins a size command
    if (run_command(command, canvas->drawing) != DRAWING_SIZE_DONE) {
      state.SkipWithError("refused");
      break;
    }
    drawing_modified(canvas->drawing);
    canvas_resize(canvas);
    history_end(canvas);
    gdk_flush();  // until the server has done it all
  }
  state.SetLabel(kNames[command]);
}

GdkRectangle source_area(Command command) {
  if (command == kCrop)
    return GdkRectangle{kCropMargin, kCropMargin, kSide - 2 * kCropMargin, kSide - 2 * kCropMargin};
  return GdkRectangle{0, 0, kSide, kSide};
}

void BM_PixmapToImage(benchmark::State &state) {
  const auto command = static_cast<Command>(state.range(0));
  reset_drawing();
  GdkPixmap *pixmap = fixture.canvas->drawing->backing_pixmap;
  for (auto _ : state) {
    VorpixImage *image = image_new_from_pixmap(pixmap, source_area(command));
    benchmark::DoNotOptimize(image_pixels(image));
    state.PauseTiming();
    image_free(image);
    state.ResumeTiming();
  }
  state.SetLabel(kNames[command]);
}

const guchar kWhite[3] = {0xff, 0xff, 0xff};

// What the pixel work starts from, as the transfer in gives it: the crop's
// box, or a copy of the picture for the work that changes its image.
VorpixImage *work_input(Command command) {
  if (command == kCrop) {
    GdkRectangle area = source_area(command);
    VorpixImage *box = image_new(area.width, area.height);
    gdk_pixbuf_copy_area(image_pixbuf(fixture.picture), area.x, area.y, area.width, area.height,
                         image_pixbuf(box), 0, 0);
    return box;
  }
  return image_new_copy(fixture.picture);
}

// The command's pixel work; the result replaces or is input (freed here).
VorpixImage *pixel_work(Command command, VorpixImage *input) {
  VorpixImage *result = input;
  switch (command) {
    case kCrop: {
      GdkRectangle area = source_area(command);
      image_fill_outside(input, fixture.outline, area.x, area.y, kWhite);
      break;
    }
    case kCanvasSize:
      result = image_canvas_resize(input, kGrownSide, kGrownSide, IMAGE_ANCHOR_CENTER, kWhite);
      break;
    case kScaleSmooth: result = image_scale(input, kSide / 2, kSide / 2, IMAGE_SCALE_SMOOTH); break;
    case kScaleExact:
      result = image_scale(input, kSide / 2, kSide / 2, IMAGE_SCALE_PIXEL_EXACT);
      break;
    case kRotate:
      image_rotate_filled(input, kTurn, kWhite);
      break;
  }
  if (result != input) image_free(input);
  return result;
}

void BM_PixelWork(benchmark::State &state) {
  const auto command = static_cast<Command>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    VorpixImage *input = work_input(command);
    state.ResumeTiming();
    VorpixImage *result = pixel_work(command, input);
    benchmark::DoNotOptimize(image_pixels(result));
    state.PauseTiming();
    image_free(result);
    state.ResumeTiming();
  }
  state.SetLabel(kNames[command]);
}

void BM_ImageToPixmap(benchmark::State &state) {
  const auto command = static_cast<Command>(state.range(0));
  VorpixImage *result = pixel_work(command, work_input(command));
  GdkPixmap *pixmap = gdk_pixmap_new(fixture.canvas->drawing->backing_pixmap,
                                     image_width(result), image_height(result), -1);
  GdkGC *gc = gdk_gc_new(pixmap);
  for (auto _ : state) {
    image_draw_on_pixmap(result, &pixmap, gc);
    gdk_flush();
  }
  g_object_unref(gc);
  g_object_unref(pixmap);
  image_free(result);
  state.SetLabel(kNames[command]);
}

void register_all() {
  for (auto *bench : {&BM_Command, &BM_PixmapToImage, &BM_PixelWork, &BM_ImageToPixmap}) {
    const char *name = bench == &BM_Command         ? "Command"
                       : bench == &BM_PixmapToImage ? "PixmapToImage"
                       : bench == &BM_PixelWork     ? "PixelWork"
                                                    : "ImageToPixmap";
    benchmark::RegisterBenchmark(name, *bench)
        ->DenseRange(kCrop, kRotate)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        // Fixed: work timed around paused set-up (a crop's rectangle needs
        // no masking at all) must not make the library run it for ever.
        ->Iterations(kIterations);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (!start_gui(&argc, &argv, "bench_size")) return 1;
  benchmark::Initialize(&argc, argv);
  GtkWidget *window = create_window();
  while (gtk_events_pending()) gtk_main_iteration();
  fixture.canvas = canvas_lookup(window);
  fixture.picture = make_picture();
  fixture.outline = point_array_new();
  const int near = kCropMargin, far = kSide - kCropMargin;
  for (GdkPoint p : {GdkPoint{near, near}, GdkPoint{far, near}, GdkPoint{far, far},
                     GdkPoint{near, far}, GdkPoint{near, near}})
    point_array_append(fixture.outline, p.x, p.y);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vorpix_test::stop_xvfb();
  return 0;
}
