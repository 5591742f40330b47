// What the histogram and the palette tool do on a 12 megapixel photograph each time the
// view is refreshed or a colour is edited, and mapping it onto a 16-colour palette file.
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

// Every palette refresh: the extraction stops after 513 colours, then the grid is drawn.
void PaletteRefresh(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image backdrop(paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    drawPaletteBackdrop(backdrop);
    for (auto _ : state) {
        std::vector<uint32_t> colours = distinctColours(photo);
        Image picture = drawPaletteGrid(backdrop, colours);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    perMegapixel(state, photo);
}

// The palette refresh of a quantized photograph, whose extraction reads every pixel.
void PaletteRefreshOf16Colours(benchmark::State& state) {
    static const Image quantized = [] {
        Image image = benchPhoto(photoMegapixels);
        applyPalette(image, wholeImage(image), cgaPalette(), false);
        return image;
    }();
    Image backdrop(paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    drawPaletteBackdrop(backdrop);
    for (auto _ : state) {
        std::vector<uint32_t> colours = distinctColours(quantized);
        Image picture = drawPaletteGrid(backdrop, colours);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    perMegapixel(state, quantized);
}

// A cell edit: the backup copy, the replacement, and the count a cell's tooltip needs.
void ColourEdit(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    const uint32_t colour = photo.pixels[photo.pixels.size() / 2] & colourMask;
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        Image backup = image;
        replaceColour(image, colour, colour ^ 1);
        benchmark::DoNotOptimize(countColour(image, colour ^ 1));
        benchmark::DoNotOptimize(backup.pixels.data());
    }
    perMegapixel(state, photo);
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

// Mapping onto a palette read from a file (the CGA colours), without and with dither.
void MapOntoPaletteFile(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    const bool dither = state.range(0) != 0;
    std::vector<uint32_t> palette(cgaPalette().begin(), cgaPalette().end());
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        applyPalette(image, wholeImage(image), palette, dither);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    perMegapixel(state, photo);
}

}  // namespace

BENCHMARK(HistogramRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteRefreshOf16Colours)->Unit(benchmark::kMillisecond);
BENCHMARK(ColourEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(ColourReplace)->Unit(benchmark::kMillisecond);
BENCHMARK(MapOntoPaletteFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
