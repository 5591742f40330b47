// Resize, quarter and half turns, flip and mirror on a 24 megapixel photograph, on one
// thread. The target: resampling it to half its size within 600 ms.
// Counter "s_per_MP": seconds per megapixel of the source image.

#include <benchmark/benchmark.h>

#include "canvas/geometry.h"
#include "photo.h"

namespace {

constexpr int photoMegapixels = 24;

// Resampling to `num` / `den` of the width and of the height (1 / 1: unchanged); the
// source is only read.
void resample(benchmark::State& state, int widthNum, int heightNum, int den) {
    const Image& photo = benchPhoto(photoMegapixels);
    int w = photo.width * widthNum / den, h = photo.height * heightNum / den;
    for (auto _ : state) {
        Image out = resampleMitchell(photo, w, h);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    countPerMegapixel(state, photo);
}

void BM_ResampleHalf(benchmark::State& state) {
    resample(state, 1, 1, 2);
}
void BM_ResampleDouble(benchmark::State& state) {
    resample(state, 2, 2, 1);
}
void BM_ResampleWidthOnlyHalf(benchmark::State& state) {
    resample(state, 1, 2, 2);
}
void BM_RotateQuarter(benchmark::State& state) {
    runOnPhoto(state, photoMegapixels, [](Image& i) { rotateQuarterPixels(i, true); });
}
void BM_RotateHalf(benchmark::State& state) {
    runOnPhoto(state, photoMegapixels, [](Image& i) { rotateHalfPixels(i, wholeImage(i)); });
}
void BM_Flip(benchmark::State& state) {
    runOnPhoto(state, photoMegapixels, [](Image& i) { flipPixels(i, wholeImage(i)); });
}
void BM_Mirror(benchmark::State& state) {
    runOnPhoto(state, photoMegapixels, [](Image& i) { mirrorPixels(i, wholeImage(i)); });
}

}  // namespace

BENCHMARK(BM_ResampleHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleWidthOnlyHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateQuarter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mirror)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
