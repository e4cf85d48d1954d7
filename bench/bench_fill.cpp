// The flood fill of a 4096 by 4096 picture, blank and noisy, split into its
// three stages: pixmap to image, the fill itself, image back to the pixmap.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <cstring>
#include <random>

#include "imaging/image.h"
#include "tests/harness/xvfb.h"
#include "tools/fill.h"

namespace {

constexpr int kSide = 4096;
// Above the percolation threshold: one huge region full of holes.
constexpr double kNoiseDensity = 0.65;

enum Picture { kBlank = 0, kNoisy = 1 };

struct Fixture {
  GdkPixmap *pixmap[2] = {};
  VorpixImage *image[2] = {};  // pristine copies of the pixmaps
  GdkGC *gc = nullptr;
  int seed_x[2] = {kSide / 2, kSide / 2};
  int seed_y[2] = {kSide / 2, kSide / 2};
};

Fixture *fixture = nullptr;

VorpixImage *make_picture(Picture kind, int *seed_x, int seed_y) {
  VorpixImage *image = image_new(kSide, kSide);
  guchar *pixels = image_pixels(image);
  const int stride = image_rowstride(image);
  std::mt19937 random(2024);
  std::bernoulli_distribution white(kind == kBlank ? 1.0 : kNoiseDensity);
  for (int y = 0; y < kSide; y++) {
    guchar *p = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < kSide; x++, p += 4) {
      guchar v = white(random) ? 0xFF : 0x00;
      p[0] = p[1] = p[2] = v;
      p[3] = 0xFF;
    }
  }
  guchar *row = pixels + static_cast<size_t>(seed_y) * stride;
  while (row[*seed_x * 4] != 0xFF) ++*seed_x;
  return image;
}

Fixture *setup() {
  auto *f = new Fixture;
  GdkWindow *root = gdk_get_default_root_window();
  for (int kind : {kBlank, kNoisy}) {
    f->pixmap[kind] = gdk_pixmap_new(root, kSide, kSide, -1);
    if (!f->gc) f->gc = gdk_gc_new(f->pixmap[kind]);
    f->image[kind] = make_picture(static_cast<Picture>(kind), &f->seed_x[kind], f->seed_y[kind]);
    image_draw_on_pixmap(f->image[kind], &f->pixmap[kind], f->gc);
  }
  gdk_flush();
  return f;
}

const char *label(int kind) { return kind == kBlank ? "blank 4096x4096" : "noisy 4096x4096"; }

void BM_PixmapToImage(benchmark::State &state) {
  const int kind = static_cast<int>(state.range(0));
  GdkRectangle all = {0, 0, kSide, kSide};
  for (auto _ : state) {
    VorpixImage *image = image_new_from_pixmap(fixture->pixmap[kind], all);
    benchmark::DoNotOptimize(image_pixels(image));
    state.PauseTiming();
    image_free(image);
    state.ResumeTiming();
  }
  state.SetLabel(label(kind));
}

void BM_FillItself(benchmark::State &state) {
  const int kind = static_cast<int>(state.range(0));
  const VorpixImage *pristine = fixture->image[kind];
  VorpixImage *work = image_new_copy(pristine);
  const size_t bytes = static_cast<size_t>(image_rowstride(work)) * kSide;
  for (auto _ : state) {
    state.PauseTiming();
    memcpy(image_pixels(work), image_pixels(pristine), bytes);
    state.ResumeTiming();
    bool filled = fill_image(work, fixture->seed_x[kind], fixture->seed_y[kind], 0xFF, 0, 0);
    benchmark::DoNotOptimize(filled);
  }
  image_free(work);
  state.SetLabel(label(kind));
}

void BM_ImageToPixmap(benchmark::State &state) {
  const int kind = static_cast<int>(state.range(0));
  for (auto _ : state) {
    image_draw_on_pixmap(fixture->image[kind], &fixture->pixmap[kind], fixture->gc);
    gdk_flush();  // wait for the server to have taken every pixel
  }
  state.SetLabel(label(kind));
}

constexpr int kRepetitions = 7;

BENCHMARK(BM_PixmapToImage)
    ->Arg(kBlank)->Arg(kNoisy)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions);
BENCHMARK(BM_FillItself)
    ->Arg(kBlank)->Arg(kNoisy)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions);
BENCHMARK(BM_ImageToPixmap)
    ->Arg(kBlank)->Arg(kNoisy)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char **argv) {
  if (!vorpix_test::start_xvfb()) {
    fprintf(stderr, "bench_fill: cannot start Xvfb\n");
    return 1;
  }
  gtk_init(&argc, &argv);
  benchmark::Initialize(&argc, argv);
  fixture = setup();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vorpix_test::stop_xvfb();
  return 0;
}
