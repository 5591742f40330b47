// The two-colour conversion in its three dither modes and the error figure (PSNR and mean
// Delta E) on a 12-megapixel photograph.

#include <benchmark/benchmark.h>

#include "photo.h"
#include "quantize/error_figure.h"
#include "quantize/quantize.h"
#include "quantize/two_colors.h"

namespace {

constexpr int photoMegapixels = 12;

void twoColorsMode(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    const auto dither = static_cast<TwoColorsDither>(state.range(0));
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        twoColors(image, wholeImage(image), 128, dither, twoColorsDefault1, twoColorsDefault2);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}

// The figure of a preview against its source: a Uniform preview (few colours) and a
// Neuquant_256 one with dither (every pixel differs).
void errorFigure(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image preview = photo;
    const int style = static_cast<int>(state.range(0));
    runQuantizeStyle(preview, wholeImage(preview), style, styleInfo(style).defaultLimit, true);
    for (auto _ : state) benchmark::DoNotOptimize(measureError(photo, preview));
}

BENCHMARK(twoColorsMode)->ArgName("dither")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(errorFigure)
    ->ArgName("style")
    ->Arg(styleUniform)
    ->Arg(styleNeuquant)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
