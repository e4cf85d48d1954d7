// Encoding a photograph-like opaque picture as PNG at 640 x 480 and
// 4096 x 4096: vorpix's encoder on a thread per core ("vorpix") and on one
// ("vorpix_one_thread") against GdkPixbuf's default ("gdk_pixbuf", zlib
// level 6), each with the file size it gives as the counter "bytes".  Any
// other level and strategy of the vorpix encoder can be timed with
//   --benchmark_filter=level/
// For medians run with
//   --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>

#include "imaging/image_parallel.h"
#include "imaging/image_png.h"
#include "tests/imaging/effect_pictures.h"

namespace {

using effect_test::Image;

struct Size {
  int width, height;
};

const Size kSizes[] = {{640, 480}, {4096, 4096}};

// The picture a window holds: opaque, smooth ramps with a little noise.
Image photo(Size size) {
  Image image =
      effect_test::random_picture(size.width, size.height, effect_test::Kind::kGradient, 42);
  for (int y = 0; y < size.height; y++)
    for (int x = 0; x < size.width; x++) effect_test::pixel(image, x, y)[3] = 255;
  return image;
}

gboolean count_bytes(const gchar *, gsize count, GError **, gpointer data) {
  *static_cast<gsize *>(data) += count;
  return TRUE;
}

void vorpix(benchmark::State &state, Size size, int threads, VorpixPngSettings settings) {
  image_parallel_set_threads(threads);
  const VorpixPngSettings saved = image_png_settings();
  image_png_set_settings(settings);
  Image input = photo(size);
  gsize bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    GError *error = nullptr;
    if (!image_png_save(input.get(), count_bytes, &bytes, &error)) {
      state.SkipWithError(error ? error->message : "failed");
      g_clear_error(&error);
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  image_png_set_settings(saved);
  image_parallel_set_threads(0);
}

void gdk_pixbuf(benchmark::State &state, Size size) {
  Image input = photo(size);
  gsize bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    GError *error = nullptr;
    if (!gdk_pixbuf_save_to_callback(image_pixbuf(input.get()), count_bytes, &bytes, "png",
                                     &error, nullptr)) {
      state.SkipWithError(error ? error->message : "failed");
      g_clear_error(&error);
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

}  // namespace

int main(int argc, char **argv) {
  // --write-picture=FILE: the 4096 x 4096 picture as a PNG, for the peers.
  const std::string picture_flag = "--write-picture=";
  if (argc == 2 && std::string(argv[1]).rfind(picture_flag, 0) == 0) {
    Image image = photo({4096, 4096});
    GError *error = nullptr;
    const std::string file = argv[1] + picture_flag.size();
    if (image_write(image.get(), file.c_str(), &error)) return 0;
    g_printerr("%s\n", error->message);
    g_error_free(error);
    return 1;
  }
  const VorpixPngSettings shipped = image_png_settings();
  for (const Size &size : kSizes) {
    const std::string suffix = "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
    const bool big = size.width * size.height > 1 << 20;
    auto *own = benchmark::RegisterBenchmark(("vorpix" + suffix).c_str(), vorpix, size, 0, shipped)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
    auto *one = benchmark::RegisterBenchmark(("vorpix_one_thread" + suffix).c_str(), vorpix, size,
                                             1, shipped)
                    ->Unit(benchmark::kMillisecond);
    auto *peer = benchmark::RegisterBenchmark(("gdk_pixbuf" + suffix).c_str(), gdk_pixbuf, size)
                     ->Unit(benchmark::kMillisecond);
    if (big) {
      own->Iterations(1);
      one->Iterations(1);
      peer->Iterations(1);
    }
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE, VORPIX_PNG_CHOOSE};
    const char *strategy_names[] = {"default", "filtered", "rle", "choose"};
    for (int level = 1; level <= 9; level++)
      for (int s = 0; s < 4; s++) {
        auto *b = benchmark::RegisterBenchmark(
                      ("level/" + std::to_string(level) + "/" + strategy_names[s] + suffix).c_str(),
                      vorpix, size, 0, VorpixPngSettings{level, strategies[s]})
                      ->Unit(benchmark::kMillisecond)
                      ->UseRealTime();
        if (big) b->Iterations(1);
      }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
