// The operations that share rows among threads, on the 24-megapixel photograph, timed with
// one thread and with two. Counters: "one_ms" and "two_ms" are the mean times of one run
// with one and with two threads, "speedup" the ratio of the best runs of each (target: at
// least 1.7 on two cores; the best runs are the least disturbed by other work on the
// machine). The benchmark's own time is the two-thread time.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "batch/batch.h"
#include "photo.h"
#include "quantize/adaptive_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "toolkit/codecs/codec.h"
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

// Times `once(1)` against `once(2)`, each returning the seconds of one run.
void timeOneAgainstTwo(benchmark::State& state, const std::function<double(int)>& once) {
    double one = 0, two = 0, bestOne = 1e9, bestTwo = 1e9;
    int64_t runs = 0;
    for (auto _ : state) {
        const double t1 = once(1);
        const double t2 = once(2);
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

void compareThreads(benchmark::State& state, const Operation& op) {
    const Image& photo = benchPhoto(photoMegapixels);
    Image image;
    timeOneAgainstTwo(state, [&](int threads) { return secondsOf(photo, image, threads, op); });
}

void add(const std::string& name, Operation op) {
    benchmark::RegisterBenchmark(("threads/" + name).c_str(),
                                 [op](benchmark::State& s) { compareThreads(s, op); })
        ->UseManualTime()
        ->MinTime(2.0)
        ->Unit(benchmark::kMillisecond);
}

// One 24 MP file through pixova-batch --out-dir, PNG in and out, as a user runs it: a
// batch of one file must still use both cores.
void batchOfOneFile(benchmark::State& state) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("pixova-bench-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(dir);
    const std::string input = dir + "/photo.png";
    if (!writeImageFile(benchPhoto(photoMegapixels), input, ImageFormat::Png).empty()) {
        state.SkipWithError("cannot write the photograph");
        return;
    }
    auto once = [&](int threads) {
        configureThreads(threads);
        std::ostringstream out, err;
        const auto start = std::chrono::steady_clock::now();
        runBatch({input, "--effect", "gaussianblur", "--quantize", "adaptive", "--limit", "256",
                  "--out-dir", dir + "/out", "--force", "--quiet"},
                 out, err);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    timeOneAgainstTwo(state, once);
    std::filesystem::remove_all(dir);
}

int registerAll() {
    benchmark::RegisterBenchmark("threads/batch-one-file-out-dir", batchOfOneFile)
        ->UseManualTime()
        ->MinTime(2.0)
        ->Unit(benchmark::kMillisecond);
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
