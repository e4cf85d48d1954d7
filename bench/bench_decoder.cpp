// Decoding in the helper process against decoding in the program, for a
// 4096 x 4096 PNG, a 640 x 480 JPEG and a 16 x 16 PNG (where the helper's own
// cost shows most).  "started" starts a helper for the decode; "ready" finds
// one started beforehand, as the program keeps one.  "in_process_paused"
// decodes in the program after the same pause as "ready", so its caches are
// as cold; "in_process_checked_paused" reads the size first, as the program
// did before the helper (the helper reads it too).
#include <benchmark/benchmark.h>
#include <glib/gstdio.h>

#include <cstdio>
#include <string>

#include "bench/pattern.h"
#include "document/decoder.h"
#include "tests/imaging/effect_pictures.h"

namespace {

constexpr int kRepetitions = 7;
// A ready helper takes the settling time for each decode: a fixed count.
constexpr int kHelperIterations = 10;
// A started helper is given this long to load its loaders before timing.
constexpr gulong kSettleUs = 300000;

struct File {
  const char *name;
  int width, height;
  const char *format;
};
constexpr File kFiles[] = {
    {"photo-4096.png", 4096, 4096, "png"},
    {"photo-640.jpg", 640, 480, "jpeg"},
    {"icon-16.png", 16, 16, "png"},
};

std::string folder;

std::string path_of(const File &file) { return folder + "/" + file.name; }

// A photo-like picture; the large PNG at a low compression, which decodes
// as fast as the default and is written in a few seconds instead of twenty.
bool write_file(const File &file) {
  effect_test::Image image =
      effect_test::random_picture(file.width, file.height, effect_test::Kind::kGradient, 11);
  GdkPixbuf *rgb = new_rgb_pixbuf(image.get());
  if (!rgb) return false;
  const bool png = std::string(file.format) == "png";
  const bool ok = gdk_pixbuf_save(rgb, path_of(file).c_str(), file.format, nullptr,
                                  png ? "compression" : "quality", png ? "1" : "90", nullptr);
  g_object_unref(rgb);
  return ok;
}

void in_process(benchmark::State &state, File file, bool paused, bool checked) {
  const std::string path = path_of(file);
  for (auto _ : state) {
    if (paused) {
      state.PauseTiming();
      g_usleep(kSettleUs);
      state.ResumeTiming();
    }
    GdkPixbuf *pixbuf = nullptr;
    int width = 0, height = 0;
    if (!checked || (g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) &&
                     gdk_pixbuf_get_file_info(path.c_str(), &width, &height)))
      pixbuf = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (!pixbuf) state.SkipWithError("cannot decode");
    benchmark::DoNotOptimize(pixbuf);
    if (pixbuf) g_object_unref(pixbuf);
  }
}

void in_helper(benchmark::State &state, File file, bool ready) {
  const std::string path = path_of(file);
  for (auto _ : state) {
    if (ready) {
      state.PauseTiming();
      decoder_prepare();
      g_usleep(kSettleUs);
      state.ResumeTiming();
    }
    GdkPixbuf *pixbuf = decoder_decode_file(path.c_str(), nullptr, nullptr);
    if (!pixbuf) state.SkipWithError("cannot decode");
    benchmark::DoNotOptimize(pixbuf);
    if (pixbuf) g_object_unref(pixbuf);
  }
}

}  // namespace

int main(int argc, char **argv) {
  gchar *dir = g_dir_make_tmp("vorpix-bench-decoder-XXXXXX", nullptr);
  if (!dir) return 1;
  folder = dir;
  g_free(dir);
  for (const File &file : kFiles)
    if (!write_file(file)) {
      fprintf(stderr, "bench_decoder: cannot write %s\n", file.name);
      return 1;
    }
  for (const File &file : kFiles) {
    benchmark::RegisterBenchmark((std::string("in_process/") + file.name).c_str(), in_process,
                                 file, false, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions);
    for (bool checked : {false, true})
      benchmark::RegisterBenchmark(
          (std::string(checked ? "in_process_checked_paused/" : "in_process_paused/") + file.name)
              .c_str(),
          in_process, file, true, checked)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(kHelperIterations)
          ->UseRealTime()
          ->Repetitions(kRepetitions);
    for (bool ready : {false, true})
      benchmark::RegisterBenchmark(
          (std::string(ready ? "helper_ready/" : "helper_started/") + file.name).c_str(),
          in_helper, file, ready)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(kHelperIterations)
          ->UseRealTime()
          ->Repetitions(kRepetitions);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const File &file : kFiles) g_unlink(path_of(file).c_str());
  g_rmdir(folder.c_str());
  return 0;
}
