// Every effect on a photograph-like random picture of 640 x 480 and
// 4096 x 4096: shipped on one thread ("one_thread"), shipped on a thread per
// core ("every_core"), and the plain version ("plain").  For medians run with
//   --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// and pick rows with, for instance, --benchmark_filter='/one_thread/4096'.
// The plain versions take seconds at 4096 x 4096; each repetition of those
// runs once.
#include <benchmark/benchmark.h>

#include <string>

#include "imaging/image_filters.h"
#include "imaging/image_parallel.h"
#include "imaging/image_processing.h"
#include "imaging/image_quantize.h"
#include "imaging/image_stylize.h"
#include "tests/imaging/effect_pictures.h"
#include "tests/imaging/reference_effects.h"

namespace {

using effect_test::Image;

struct Effect {
  const char *name;
  VorpixEffectFunc shipped;
  void (*plain)(const VorpixImage *, VorpixImage *);
};

const Effect kEffects[] = {
    {"sharpen", ImageSharpen, reference::sharpen},
    {"smooth", ImageSmooth, reference::smooth},
    {"directional_smooth", ImageDirectionalFilter, reference::directional},
    {"despeckle", ImageDespeckle, reference::despeckle},
    {"edge_detect", ImageEdge, reference::edge},
    {"emboss", ImageEmbose, reference::emboss},
    {"oil_paint", ImageOilPaint, reference::oil_paint},
    {"add_noise", ImageAddNoise, reference::add_noise},
    {"spread", ImageSpread, reference::spread},
    {"pixelize", ImagePixelize, reference::pixelize},
    {"blend", ImageBlend, reference::blend},
    {"solarize", ImageSolarize, reference::solarize},
    {"normalize_contrast", ImageNormContrast, reference::norm_contrast},
    {"quantize_color", ImageQuantize, reference::quantize},
    {"convert_to_greyscale", ImageGrey, reference::grey},
};

struct Size {
  int width, height;
};

const Size kSizes[] = {{640, 480}, {4096, 4096}};

// threads: 1, or 0 for one per core.
void run(benchmark::State &state, void (*effect)(const VorpixImage *, VorpixImage *), Size size,
         int threads) {
  image_parallel_set_threads(threads);
  Image input =
      effect_test::random_picture(size.width, size.height, effect_test::Kind::kGradient, 42);
  Image output = effect_test::new_image(size.width, size.height);
  for (auto _ : state) {
    effect(input.get(), output.get());
    benchmark::DoNotOptimize(image_pixels(output.get()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(size.width) * size.height);
  image_parallel_set_threads(0);
}

}  // namespace

int main(int argc, char **argv) {
  for (const Effect &effect : kEffects) {
    for (const Size &size : kSizes) {
      const std::string suffix = "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
      const std::string name = effect.name;
      benchmark::RegisterBenchmark((name + "/one_thread" + suffix).c_str(), run, effect.shipped,
                                   size, 1)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((name + "/every_core" + suffix).c_str(), run, effect.shipped,
                                   size, 0)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      auto *plain = benchmark::RegisterBenchmark((name + "/plain" + suffix).c_str(), run,
                                                 effect.plain, size, 1)
                        ->Unit(benchmark::kMillisecond);
      if (size.width * size.height > 1 << 20) plain->Iterations(1);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
