// Speed of the quantization methods on a 12-megapixel photograph, per megapixel.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "photo.h"
#include "quantize/adaptive_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"

namespace {

constexpr int photoMegapixels = 12;

void setPerMegapixel(benchmark::State& state, const Image& image) {
    const double megapixels = static_cast<double>(image.pixels.size()) / 1e6;
    state.counters["MP/s"] =
        benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["s/MP"] = benchmark::Counter(
        megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void countColours(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    for (auto _ : state) benchmark::DoNotOptimize(countUniqueColours(photo));
    setPerMegapixel(state, photo);
}

// One method on a fresh copy of the photograph each iteration (the copy is not timed).
void quantizeStyle(benchmark::State& state, int style, int limit) {
    const Image& photo = benchPhoto(photoMegapixels);
    const bool dither = state.range(0) != 0;
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        runQuantizeStyle(image, wholeImage(image), style, limit, dither);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    setPerMegapixel(state, photo);
}

void applyPalette256(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    const bool dither = state.range(0) != 0;
    const std::vector<uint32_t> palette = adaptivePalette(photo, wholeImage(photo), 256);
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        applyPalette(image, wholeImage(image), palette, dither);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    setPerMegapixel(state, photo);
}

// Popularity, Adaptive and Best quality at their largest LIMIT, Uniform at its default and
// largest.
int benchLimit(int style) {
    if (style == stylePopularity || style == styleAdaptive || style == styleBest) {
        return maxPaletteLimit;
    }
    return styleInfo(style).defaultLimit;
}

int registerAll() {
    benchmark::RegisterBenchmark("countUniqueColours", countColours)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("applyPalette/256", applyPalette256)
        ->ArgName("dither")
        ->DenseRange(0, 1)
        ->Unit(benchmark::kMillisecond);
    for (int style = 0; style < styleCount; ++style) {
        std::string name = std::string("quantize/") + styleInfo(style).batchName;
        benchmark::RegisterBenchmark(name.c_str(), quantizeStyle, style, benchLimit(style))
            ->ArgName("dither")
            ->DenseRange(0, 1)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("quantize/uniform16", quantizeStyle, styleUniform, 16)
        ->ArgName("dither")
        ->DenseRange(0, 1)
        ->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
