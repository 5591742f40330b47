// The operations that share rows among threads, on the 24-megapixel photograph, timed with
// one thread and with two. Counters: "one_ms" and "two_ms" are the mean times of one run
// with one and with two threads, "speedup" the ratio of the best runs of each (target: at
// least 1.7 on two cores; the best runs are the least disturbed by other work on the
// machine). The benchmark's own time is the two-thread time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "photo.h"
#include "quantize/adaptive_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "toolkit/parallel.h"

namespace {

constexpr int photoMegapixels = 24;

using Operation = std::function<void(Image&)>;

double secondsOf(const Image& photo, Image& image, int threads, const Operation& op) {
    configureThreads(threads);
    image = photo;
    const auto start = std::chrono::steady_clock::now();
    op(image);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(image.pixels.data());
    return std::chrono::duration<double>(end - start).count();
}

void compareThreads(benchmark::State& state, const Operation& op) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image image;
    double one = 0, two = 0, bestOne = 1e9, bestTwo = 1e9;
    int64_t runs = 0;
    for (auto _ : state) {
        const double t1 = secondsOf(photo, image, 1, op);
        const double t2 = secondsOf(photo, image, 2, op);
        one += t1;
        two += t2;
        bestOne = std::min(bestOne, t1);
        bestTwo = std::min(bestTwo, t2);
        state.SetIterationTime(t2);
        ++runs;
    }
    configureThreads(0);
    state.counters["one_ms"] = one / runs * 1e3;
    state.counters["two_ms"] = two / runs * 1e3;
    state.counters["speedup"] = bestOne / bestTwo;
}

void add(const std::string& name, Operation op) {
    benchmark::RegisterBenchmark(("threads/" + name).c_str(),
                                 [op](benchmark::State& s) { compareThreads(s, op); })
        ->UseManualTime()
        ->MinTime(2.0)
        ->Unit(benchmark::kMillisecond);
}

int registerAll() {
    add("negative", [](Image& i) { negativePixels(i, wholeImage(i)); });
    add("gray", [](Image& i) { grayScalePixels(i, wholeImage(i)); });
    BrightnessSettings brightness;
    brightness.amount = 40;
    add("brightness", [brightness](Image& i) { applyBrightness(i, wholeImage(i), brightness); });
    add("contrast", [](Image& i) { applyContrast(i, wholeImage(i), 50); });
    add("blur", [](Image& i) { blurImage(i); });
    add("count", [](Image& i) { benchmark::DoNotOptimize(countUniqueColours(i)); });
    for (int style : {styleUniform, styleFlat512, styleLemon}) {
        add(std::string("quantize/") + styleInfo(style).batchName,
            [style](Image& i) { runQuantizeStyle(i, wholeImage(i), style, 3, false); });
    }
    // Mapping onto a fixed palette without dither, and Popularity whose counts share the
    // rows too.
    add("quantize/trucolor256",
        [](Image& i) { runQuantizeStyle(i, wholeImage(i), styleTruColor, 0, false); });
    add("quantize/popularity256",
        [](Image& i) { runQuantizeStyle(i, wholeImage(i), stylePopularity, 256, false); });
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
