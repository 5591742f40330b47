// Resize, quarter and half turns, flip and mirror on a 24 megapixel photograph, on one
// thread. The target: resampling it to half its size within 600 ms.
// Counter "s_per_MP": seconds per megapixel of the source image.

#include <benchmark/benchmark.h>

#include "canvas/geometry.h"
#include "photo.h"

namespace {

constexpr int photoMegapixels = 24;

void perMegapixel(benchmark::State& state, const Image& source) {
    double megapixels = static_cast<double>(source.width) * source.height / 1e6;
    state.counters["s_per_MP"] = benchmark::Counter(
        megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Resampling to `num` / `den` of each side; the source is only read.
void resample(benchmark::State& state, int num, int den) {
    const Image& photo = benchPhoto(photoMegapixels);
    int w = photo.width * num / den, h = photo.height * num / den;
    for (auto _ : state) {
        Image out = resampleMitchell(photo, w, h);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    perMegapixel(state, photo);
}

// Runs `op` on a fresh copy of the photograph each iteration; only `op` is timed.
template <typename Op>
void inPlace(benchmark::State& state, Op op) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        op(image);
        benchmark::DoNotOptimize(image.pixels.data());
        benchmark::ClobberMemory();
    }
    perMegapixel(state, photo);
}

void BM_ResampleHalf(benchmark::State& state) {
    resample(state, 1, 2);
}
void BM_ResampleDouble(benchmark::State& state) {
    resample(state, 2, 1);
}
void BM_ResampleWidthOnlyHalf(benchmark::State& state) {
    const Image& photo = benchPhoto(photoMegapixels);
    for (auto _ : state) {
        Image out = resampleMitchell(photo, photo.width / 2, photo.height);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    perMegapixel(state, photo);
}
void BM_RotateQuarter(benchmark::State& state) {
    inPlace(state, [](Image& i) { rotateQuarterPixels(i, true); });
}
void BM_RotateHalf(benchmark::State& state) {
    inPlace(state, [](Image& i) { rotateHalfPixels(i, wholeImage(i)); });
}
void BM_Flip(benchmark::State& state) {
    inPlace(state, [](Image& i) { flipPixels(i, wholeImage(i)); });
}
void BM_Mirror(benchmark::State& state) {
    inPlace(state, [](Image& i) { mirrorPixels(i, wholeImage(i)); });
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
