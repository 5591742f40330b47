// Redrawing the view of a 12 megapixel photograph on a 1920 x 1017 canvas (a maximized
// window on a 1920 x 1080 screen): a zoom step to each zoom of the ladder and to the fit,
// and one pan step at a half, 100 % and 8 times. The target: at most 30 ms for either. And
// the comparison sheet of the same photograph.

#include <benchmark/benchmark.h>

#include "core/view_transform.h"
#include "photo.h"
#include "quantize/quantize.h"
#include "quantize/style_comparison.h"
#include "quantize/styles.h"

namespace {

constexpr int photoMegapixels = 12;
constexpr int canvasW = 1920;
constexpr int canvasH = 1017;
constexpr uint32_t background = 0xFF404040;

ViewTransform viewOf(const Image& photo, Zoom zoom) {
    ViewTransform t;
    t.canvasW = canvasW;
    t.canvasH = canvasH;
    t.imageW = photo.width;
    t.imageH = photo.height;
    t.zoom = zoom;
    return t;
}

// A zoom step about the canvas centre to num / den, drawn.
void BM_ZoomStep(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image canvas(canvasW, canvasH, 24, background);
    const Zoom zoom{state.range(0), state.range(1)};
    const ViewTransform from = viewOf(photo, zoomStep(zoom, -1));
    ViewDraw how;
    how.background = background;
    for (auto _ : state) {
        const ViewTransform to = zoomedAbout(from, zoom, canvasW / 2, canvasH / 2);
        drawThroughView(canvas, photo, to, how);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

// Fit to Window: the whole photograph is read.
void BM_ZoomToFit(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image canvas(canvasW, canvasH, 24, background);
    ViewTransform t = viewOf(photo, fitZoom(photo.width, photo.height, canvasW, canvasH));
    ViewDraw how;
    how.background = background;
    for (auto _ : state) {
        drawThroughView(canvas, photo, t, how);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

// One step of a mover drag: the view moves by 7 x 5 canvas pixels and is drawn again.
void BM_PanStep(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image canvas(canvasW, canvasH, 24, background);
    ViewTransform t = viewOf(photo, Zoom{state.range(0), state.range(1)});
    ViewDraw how;
    how.background = background;
    int direction = 1;
    for (auto _ : state) {
        ViewTransform moved = pannedBy(t, 7 * direction, 5 * direction);
        if (moved.panX == t.panX) direction = -direction;  // at an edge: back
        t = moved;
        drawThroughView(canvas, photo, t, how);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

// The comparison sheet of the whole photograph: its thumbnail, then every style at the
// window's first LIMITs, one after another as the sheet's thread runs them. The target: 3 s.
void BM_CompareSheet(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    for (auto _ : state) {
        const Image thumbnail = thumbnailOf(photo, wholeImage(photo), 180, 135);
        for (int s = 0; s < styleCount; ++s) {
            const StyleInfo& info = styleInfo(s);
            StyleComparison row = compareStyle(thumbnail, wholeImage(thumbnail), s,
                                               info.usesLimit ? info.defaultLimit : 0, false);
            benchmark::DoNotOptimize(row.pngBytes);
        }
    }
}

}  // namespace

BENCHMARK(BM_CompareSheet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomStep)
    ->Args({1, 16})
    ->Args({1, 4})
    ->Args({1, 3})
    ->Args({1, 2})
    ->Args({2, 3})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({8, 1})
    ->Args({32, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ZoomToFit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanStep)
    ->Args({1, 2})
    ->Args({1, 1})
    ->Args({8, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();
