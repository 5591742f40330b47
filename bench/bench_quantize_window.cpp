// What a user waits for in the colour tool windows on a 12-megapixel photograph, run in the
// real program on the offscreen platform:
//   testToPreview: Quantize Colors, from pressing Test to the count and the figures shown
//                  (the time), and to the preview painted on the canvas before them
//                  (counter painted_ms), per style, with and without dither;
//   twoColorsRedraw: Two Colors, from a dither mode chosen to the preview painted.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <string>

#include "app/loop.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/view.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "photo.h"
#include "quantize/quantize.h"
#include "quantize/quantize_window.h"
#include "quantize/two_colors_window.h"
#include "toolkit/image_store.h"

namespace {

constexpr int photoMegapixels = 12;

void drain() {
    for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) routeEvent(e);
}

void press(int window, int control) {
    postEvent(eventControl, window, control, controlChange);
    drain();
}

void press(int control) {
    press(quantizeWindow, control);
}

// Only one tool window opens at a time.
void openOnly(int window, int command) {
    if (isWindow(window)) return;
    for (int other : {quantizeWindow, twoColorsWindow}) {
        if (isWindow(other)) {
            postEvent(eventCloseWindow, other);
            drain();
        }
    }
    runCommand(command);
    drain();
}

// Test with one style, until the canvas has been painted.
void testToPreview(benchmark::State& state, int style) {
    openOnly(quantizeWindow, commandQuantize);
    const QuantizeControls& c = quantizeControls;
    setControlState(c.styleList, style);
    press(c.styleList);
    if (styleInfo(style).usesLimit && style != styleUniform) {
        setControlState(c.limitSpin, styleInfo(style).maxLimit);
    }
    setControlState(c.ditherBox, static_cast<int>(state.range(0)));
    press(c.ditherBox);
    double painted = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        postEvent(eventControl, quantizeWindow, c.testButton, controlChange);
        routeEvent(windowEvent());
        // The canvas paints on the toolkit's next pass, then the figures are worked out.
        QApplication::processEvents();
        painted +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        drain();
    }
    state.counters["painted_ms"] = benchmark::Counter(painted, benchmark::Counter::kAvgIterations);
    state.counters["colours"] = std::stod(controlText(c.colourCountText));
}

// Choosing a dither mode redraws at once (a slider waits 330 ms first).
void twoColorsRedraw(benchmark::State& state) {
    openOnly(twoColorsWindow, commandTwoColors);
    const int option = twoColorsControls.ditherOptions[state.range(0)];
    setControlState(option, 1);
    for (auto _ : state) {
        press(twoColorsWindow, option);
        QApplication::processEvents();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;  // the preferences written at the end go here
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    initialiseGlobals();
    if (!openMainWindow()) return 1;
    storeImage(viewImage, benchPhoto(photoMegapixels));
    fitWindowToImage(viewImage);
    resetUndo();
    drain();

    for (int style = 0; style < styleCount; ++style) {
        const std::string name = std::string("testToPreview/") + styleInfo(style).batchName;
        benchmark::RegisterBenchmark(name.c_str(), testToPreview, style)
            ->ArgName("dither")
            ->DenseRange(0, 1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("twoColorsRedraw", twoColorsRedraw)
        ->ArgName("dither")
        ->DenseRange(0, 2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shutdownProgram();
    return 0;
}
