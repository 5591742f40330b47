// What the histogram and the palette tool do on a 12 megapixel photograph each time the
// view is refreshed or a colour is edited. (Mapping onto a palette file costs what the
// built-in palette styles of bench_quantize cost.)
// Counter "s_per_MP": seconds per megapixel of the image.

#include <benchmark/benchmark.h>

#include "photo.h"
#include "quantize/builtin_palettes.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "tools/histogram.h"
#include "tools/palette_grid.h"

namespace {

constexpr int photoMegapixels = 12;

void perMegapixel(benchmark::State& state, const Image& photo) {
    double megapixels = static_cast<double>(photo.width) * photo.height / 1e6;
    state.counters["s_per_MP"] = benchmark::Counter(
        megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Every histogram refresh: one pass to count, then the graph, strip and texts.
void HistogramRefresh(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    for (auto _ : state) {
        HistogramView view = renderHistogram(photo, HistogramOptions{});
        benchmark::DoNotOptimize(view.graph.pixels.data());
    }
    perMegapixel(state, photo);
}

// A palette refresh of `image`: the extraction, then the grid.
void paletteRefreshOf(benchmark::State& state, const Image& image) {
    Image backdrop(paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    drawPaletteBackdrop(backdrop);
    for (auto _ : state) {
        std::vector<uint32_t> colours = distinctColours(image);
        Image picture = drawPaletteGrid(backdrop, colours);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    perMegapixel(state, image);
}

// A photograph's extraction stops after 513 colours.
void PaletteRefresh(benchmark::State& state) {
    paletteRefreshOf(state, benchPhoto(photoMegapixels));
}

// A quantized photograph's extraction reads every pixel.
void PaletteRefreshOf16Colours(benchmark::State& state) {
    static const Image quantized = [] {
        Image image = benchPhoto(photoMegapixels);
        applyPalette(image, wholeImage(image), cgaPalette(), false);
        return image;
    }();
    paletteRefreshOf(state, quantized);
}

// A cell edit answered No: the marked replacement, the count a cell's tooltip needs, and
// the edit taken back.
void EditTakenBack(benchmark::State& state) {
    Image image = benchPhoto(photoMegapixels);
    const uint32_t colour = image.pixels[image.pixels.size() / 2] & colourMask;
    for (auto _ : state) {
        ColourEdit edit = replaceColourMarked(image, colour, colour ^ 1);
        benchmark::DoNotOptimize(countColour(image, colour ^ 1));
        undoColourEdit(image, edit);
    }
    perMegapixel(state, image);
}

// The replacement alone, on an image already in memory.
void ColourReplace(benchmark::State& state) {
    Image image = benchPhoto(photoMegapixels);
    const uint32_t colour = image.pixels[image.pixels.size() / 2] & colourMask;
    for (auto _ : state) {
        benchmark::DoNotOptimize(replaceColour(image, colour, colour ^ 1));
        benchmark::DoNotOptimize(replaceColour(image, colour ^ 1, colour));
    }
    perMegapixel(state, image);
}

}  // namespace

BENCHMARK(HistogramRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteRefreshOf16Colours)->Unit(benchmark::kMillisecond);
BENCHMARK(EditTakenBack)->Unit(benchmark::kMillisecond);
BENCHMARK(ColourReplace)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
