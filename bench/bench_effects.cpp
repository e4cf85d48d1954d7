// Every effect, shipped and plain, on photograph-like random pictures of
// 640 x 480 and 1600 x 1200.  For medians run with
//   --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <string>

#include "imaging/image_filters.h"
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

void run(benchmark::State &state, void (*effect)(const VorpixImage *, VorpixImage *), int width,
         int height) {
  Image input = effect_test::random_picture(width, height, effect_test::Kind::kGradient, 42);
  Image output = effect_test::new_image(width, height);
  for (auto _ : state) {
    effect(input.get(), output.get());
    benchmark::DoNotOptimize(image_pixels(output.get()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(width) * height);
}

}  // namespace

int main(int argc, char **argv) {
  const int sizes[][2] = {{640, 480}, {1600, 1200}};
  for (const Effect &effect : kEffects) {
    for (const auto &size : sizes) {
      const std::string suffix = "/" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
      benchmark::RegisterBenchmark((std::string(effect.name) + "/shipped" + suffix).c_str(), run,
                                   effect.shipped, size[0], size[1])
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((std::string(effect.name) + "/plain" + suffix).c_str(), run,
                                   effect.plain, size[0], size[1])
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
