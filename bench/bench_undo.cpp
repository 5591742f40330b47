// The undo history on a 24 megapixel photograph: memory per step, undo and redo times,
// and 200 mixed edits within the budget.
// Counters: "MiB_per_step" (history growth per change), "of_rect" (growth over the bytes
// of the changed rectangle), "held_MiB" / "budget_MiB" (largest history held against its
// budget), "peak_growth_MiB" (resident growth of the whole run, image included).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "adjust/blur.h"
#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "core/commands.h"
#include "core/undo.h"
#include "photo.h"
#include "toolkit/image_store.h"

namespace {

constexpr int photoMegapixels = 24;
constexpr int documentNumber = 4;  // the document's number in the image store
constexpr double mebibyte = 1024.0 * 1024.0;

using Edit = std::function<void(Image&)>;

struct NamedEdit {
    std::string name;
    Edit edit;
    bool onSelection = false;
};

// A selection of 1500 x 1000 pixels near the middle.
Rect selectionOf(const Image& image) {
    int left = image.width / 2 - 750, top = image.height / 2 - 500;
    return Rect{left, top, left + 1499, top + 999};
}

std::vector<NamedEdit> edits() {
    std::vector<NamedEdit> list = {
        {"gray", [](Image& i) { grayScalePixels(i, wholeImage(i)); }},
        {"negative", [](Image& i) { negativePixels(i, wholeImage(i)); }},
        {"blur", [](Image& i) { blurImage(i); }},
    };
    for (const EffectRecipe& r : effectRecipes()) {
        int id = r.commandId;
        list.push_back(
            {std::string(r.caption), [id](Image& i) { applyEffect(i, wholeImage(i), id); }});
    }
    list.push_back(
        {"selection_negative", [](Image& i) { negativePixels(i, selectionOf(i)); }, true});
    list.push_back({"selection_blur", [](Image& i) { blurRect(i, selectionOf(i)); }, true});
    list.push_back({"selection_scramble",
                    [](Image& i) { applyEffect(i, selectionOf(i), commandScramble); }, true});
    return list;
}

void startHistory() {
    clearUndo();
    storeImage(documentNumber, benchPhoto(photoMegapixels));
    resetUndo();
}

Image& document() {
    return *findImage(documentNumber);
}

// Growth of every whole-image change measured so far, for the average.
double wholeImageBytes = 0;
int wholeImageSteps = 0;

// History growth of one change, whole image or selection.
void stepBytes(benchmark::State& state, const NamedEdit& e) {
    double grown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        startHistory();
        // A first change, so that the first state's packing is not counted here.
        negativePixels(document(), Rect{0, 0, 0, 0});
        takeSnapshot(documentNumber);
        size_t before = undoHeldBytes();
        e.edit(document());
        state.ResumeTiming();
        takeSnapshot(documentNumber);
        grown = static_cast<double>(undoHeldBytes() - before);
    }
    state.counters["MiB_per_step"] = grown / mebibyte;
    if (!e.onSelection) {
        wholeImageBytes += grown;
        ++wholeImageSteps;
    }
    if (e.onSelection) {
        Rect r = selectionOf(document());
        state.counters["of_rect"] = grown / (4.0 * r.width() * r.height());
    }
}

// Processor time of the whole process (every thread), in milliseconds.
double processMilliseconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Undo (or redo) of one change; the other direction runs untimed between iterations.
// "all_threads_cpu_ms": processor time of the step on every thread, which on a busy
// machine says more than the elapsed time.
void undoTime(benchmark::State& state, const NamedEdit& e, bool timeRedo) {
    startHistory();
    e.edit(document());
    takeSnapshot(documentNumber);
    double cpu = 0;
    for (auto _ : state) {
        if (timeRedo) {
            state.PauseTiming();
            undo();
            state.ResumeTiming();
            double start = processMilliseconds();
            redo();
            cpu += processMilliseconds() - start;
        } else {
            double start = processMilliseconds();
            undo();
            cpu += processMilliseconds() - start;
            state.PauseTiming();
            redo();
            state.ResumeTiming();
        }
    }
    state.counters["all_threads_cpu_ms"] = cpu / static_cast<double>(state.iterations());
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 200 changes cycling through every edit (whole image and selection) and a quarter turn,
// with some undos between them, under a 1 GiB budget.
void mixedEdits(benchmark::State& state) {
    const size_t budget = size_t{1} << 30;
    setUndoBudgetBytes(budget);
    std::vector<NamedEdit> list = edits();
    size_t held = 0;
    long baseline = 0;
    // The quarter turn writes into this and swaps it with the document, so the editing
    // itself never holds a second image: the growth measured is the document's and the
    // history's.
    Image spare;
    for (auto _ : state) {
        state.PauseTiming();
        clearUndo();
        const Image& photo = benchPhoto(photoMegapixels);  // loaded before the baseline
        spare = Image(photo.height, photo.width, photo.depth);
        baseline = residentKilobytes();
        state.ResumeTiming();
        storeImage(documentNumber, benchPhoto(photoMegapixels));
        resetUndo();
        for (int i = 0; i < 200; ++i) {
            if (i % 25 == 24) {
                // A quarter turn: a change of size.
                Image& from = document();
                spare.width = from.height;
                spare.height = from.width;
                spare.depth = from.depth;
                for (int y = 0; y < from.height; ++y) {
                    const uint32_t* row = from.row(y);
                    for (int x = 0; x < from.width; ++x) spare.at(from.height - 1 - y, x) = row[x];
                }
                std::swap(from, spare);
            } else {
                list[static_cast<size_t>(i) % list.size()].edit(document());
            }
            takeSnapshot(documentNumber);
            if (i % 10 == 9) {
                undo();
                undo();
                redo();
            }
            held = std::max(held, undoHeldBytes());
        }
    }
    state.counters["held_MiB"] = static_cast<double>(held) / mebibyte;
    state.counters["budget_MiB"] = static_cast<double>(budget) / mebibyte;
    state.counters["within_budget"] = held <= budget ? 1 : 0;
    state.counters["peak_growth_MiB"] = static_cast<double>(peakKilobytes() - baseline) / 1024.0;
    state.counters["image_MiB"] = static_cast<double>(document().pixels.size()) * 4 / mebibyte;
    setUndoBudgetBytes(0);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The 200 edits first, while the process's peak resident size is still its own.
    benchmark::RegisterBenchmark("MixedEdits200", mixedEdits)
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
    for (const NamedEdit& e : edits()) {
        benchmark::RegisterBenchmark(("StepBytes/" + e.name).c_str(),
                                     [e](benchmark::State& s) { stepBytes(s, e); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    benchmark::RegisterBenchmark("StepBytes/average_of_whole_image_edits", [](benchmark::State& s) {
        for (auto _ : s) {
        }
        s.counters["MiB_per_step"] = wholeImageBytes / mebibyte / std::max(wholeImageSteps, 1);
    })->Iterations(1);
    for (const NamedEdit& e : edits()) {
        if (e.onSelection) continue;
        benchmark::RegisterBenchmark(("Undo/" + e.name).c_str(),
                                     [e](benchmark::State& s) { undoTime(s, e, false); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
        benchmark::RegisterBenchmark(("Redo/" + e.name).c_str(),
                                     [e](benchmark::State& s) { undoTime(s, e, true); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    }
    // A change of size: each step back or forth unpacks a whole image.
    const NamedEdit turn{"quarter_turn", [](Image& i) {
                             Image t = Image::unset(i.height, i.width, i.depth);
                             for (int y = 0; y < i.height; ++y) {
                                 for (int x = 0; x < i.width; ++x)
                                     t.at(i.height - 1 - y, x) = i.at(x, y);
                             }
                             i = std::move(t);
                         }};
    benchmark::RegisterBenchmark("Undo/quarter_turn",
                                 [turn](benchmark::State& s) { undoTime(s, turn, false); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("Redo/quarter_turn",
                                 [turn](benchmark::State& s) { undoTime(s, turn, true); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
