// Transfers between the picture's pixmap and client-side images, through
// shared memory and the plain way, at 640 x 480 and 4096 x 4096.  The round
// trip is what every whole-picture command pays: the image of the picture,
// a result image (not cleared, as for an effect), and the result drawn back.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "imaging/image.h"
#include "tests/harness/xvfb.h"
#include "tests/imaging/effect_pictures.h"

namespace {

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{640, 480}, {4096, 4096}};
constexpr int kRepetitions = 7;

struct Picture {
  GdkPixmap *pixmap = nullptr;
  GdkGC *gc = nullptr;
  effect_test::Image image;
};

Picture make_picture(Size size) {
  Picture picture;
  picture.pixmap = gdk_pixmap_new(gdk_get_default_root_window(), size.width, size.height, -1);
  picture.gc = gdk_gc_new(picture.pixmap);
  picture.image = effect_test::random_picture(size.width, size.height,
                                              effect_test::Kind::kGradient, 7);
  image_draw_on_pixmap(picture.image.get(), &picture.pixmap, picture.gc);
  gdk_flush();
  return picture;
}

// Every benchmark of one size works on the same picture.
Picture &picture_of(Size size) {
  static Picture pictures[2];
  Picture &picture = pictures[size.width == kSizes[0].width ? 0 : 1];
  if (!picture.pixmap) picture = make_picture(size);
  return picture;
}

void use_shared_memory(benchmark::State &state, bool shared) {
  if (image_use_shared_memory(shared) != shared) state.SkipWithError("no shared memory here");
}

void pixmap_to_image(benchmark::State &state, Size size, bool shared) {
  Picture &picture = picture_of(size);
  use_shared_memory(state, shared);
  GdkRectangle all = {0, 0, size.width, size.height};
  for (auto _ : state) {
    VorpixImage *image = image_new_from_pixmap(picture.pixmap, all);
    benchmark::DoNotOptimize(image_pixels(image));
    image_free(image);
  }
}

void image_to_pixmap(benchmark::State &state, Size size, bool shared) {
  Picture &picture = picture_of(size);
  use_shared_memory(state, shared);
  for (auto _ : state) {
    image_draw_on_pixmap(picture.image.get(), &picture.pixmap, picture.gc);
    gdk_flush();  // the server has taken every pixel
  }
}

void round_trip(benchmark::State &state, Size size, bool shared) {
  Picture &picture = picture_of(size);
  use_shared_memory(state, shared);
  GdkRectangle all = {0, 0, size.width, size.height};
  for (auto _ : state) {
    VorpixImage *source = image_new_from_pixmap(picture.pixmap, all);
    VorpixImage *result = image_new_unfilled(size.width, size.height);
    benchmark::DoNotOptimize(image_pixels(source));
    image_draw_on_pixmap(result, &picture.pixmap, picture.gc);
    gdk_flush();
    image_free(result);
    image_free(source);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (!vorpix_test::start_xvfb()) {
    fprintf(stderr, "bench_transfer: cannot start Xvfb\n");
    return 1;
  }
  gtk_init(&argc, &argv);
  const struct {
    const char *name;
    void (*run)(benchmark::State &, Size, bool);
  } kinds[] = {{"pixmap_to_image", pixmap_to_image},
               {"image_to_pixmap", image_to_pixmap},
               {"round_trip", round_trip}};
  for (const auto &kind : kinds)
    for (Size size : kSizes)
      for (bool shared : {true, false}) {
        std::string name = std::string(kind.name) + (shared ? "/shared/" : "/plain/") +
                           std::to_string(size.width) + "x" + std::to_string(size.height);
        benchmark::RegisterBenchmark(name.c_str(), kind.run, size, shared)
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
