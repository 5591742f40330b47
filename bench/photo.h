#pragma once
// The photograph every benchmark runs on.

#include <benchmark/benchmark.h>

#include "toolkit/image.h"

// A photograph of about `megapixels` million pixels: a wallpaper photograph installed by
// the lomiri-wallpapers package, tiled (mirrored, so no seams) or cropped to size; a
// deterministic generated picture with smooth gradients and noise when it is absent.
// The result is cached per size.
const Image& benchPhoto(int megapixels);

// Width x height used for `megapixels` (4:3).
void benchPhotoSize(int megapixels, int& width, int& height);

// Counter "s_per_MP": seconds per megapixel of `source`.
inline void countPerMegapixel(benchmark::State& state, const Image& source) {
    double megapixels = static_cast<double>(source.width) * source.height / 1e6;
    state.counters["s_per_MP"] = benchmark::Counter(
        megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Runs `op` on a fresh copy of the photograph each iteration; only `op` is timed.
template <typename Op>
void runOnPhoto(benchmark::State& state, int megapixels, Op&& op) {
    const Image& photo = benchPhoto(megapixels);
    Image image;
    for (auto _ : state) {
        state.PauseTiming();
        image = photo;
        state.ResumeTiming();
        op(image);
        benchmark::DoNotOptimize(image.pixels.data());
        benchmark::ClobberMemory();
    }
    countPerMegapixel(state, photo);
}

// Resident memory of this process now, in kilobytes (0 when it cannot be read).
long residentKilobytes();
