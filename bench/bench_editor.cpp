// The editor's own steps on the 12-megapixel photograph, driven through its commands on the
// offscreen platform as a user would (dialogs answered by script), each until the canvas
// has been painted. Counters, in milliseconds:
//   load: PNG file to picture on screen (target 800)
//   save: picture to PNG file (target 800)
//   undo, redo: one step back or forward (target 150)
//   over: an effect in the editor minus the same effect run on the image alone
//         (target 100)
//   editor: a command of the Rotate menu, or resize image to half size, with its undo step
//           and refit or redraw
//   open, close: a tool window opened by its command and closed by its close box

#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>

#include "adjust/effects.h"
#include "app/loop.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "canvas/resize_window.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "photo.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

namespace {

constexpr int photoMegapixels = 12;
constexpr int pngFilter = 0;

// The program running on the offscreen platform with a private home and scripted dialogs.
class Editor {
  public:
    Editor() {
        home_ =
            std::filesystem::temp_directory_path() / ("pixova-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(home_);
        setenv("HOME", home_.c_str(), 1);
        photoPath_ = (home_ / "photo.png").string();
        writeImageFile(benchPhoto(photoMegapixels), photoPath_, ImageFormat::Png);
        setDialogs(&dialogs_);
        initialiseGlobals();
        openMainWindow();
        settle();
    }
    ~Editor() {
        shutdownProgram();
        setDialogs(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    // Runs a command as the menus would and handles everything it caused, painting
    // included; returns the seconds it took.
    double run(int id) {
        const auto start = std::chrono::steady_clock::now();
        postEvent(eventMenu, mainWindow, id);
        settle();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // Closes a window by its close box, as the user would, until everything it caused has
    // been handled; returns the seconds it took.
    double close(int window) {
        const auto start = std::chrono::steady_clock::now();
        postEvent(eventCloseWindow, window, 0);
        settle();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    double load() {
        dialogs_.fileAnswers = {{photoPath_, 0}};
        return run(commandLoad);
    }

    double save() {
        dialogs_.fileAnswers = {{(home_ / "saved").string(), pngFilter}};
        dialogs_.messageAnswers = {answerYes};  // overwrite
        return run(commandSave);
    }

  private:
    static void settle() {
        for (int round = 0; round < 4; ++round) {
            for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) routeEvent(e);
            QApplication::processEvents();
        }
    }

    std::filesystem::path home_;
    std::string photoPath_;
    ScriptedDialogs dialogs_;
};

// Made on first use, closed before the application object goes.
std::unique_ptr<Editor> running;

Editor& editor() {
    if (!running) running = std::make_unique<Editor>();
    return *running;
}

void report(benchmark::State& state, const char* name, double seconds, int64_t runs) {
    state.counters[name] = seconds / static_cast<double>(runs) * 1e3;
}

void loadAndSave(benchmark::State& state) {
    double load = 0, save = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        load += editor().load();
        save += editor().save();
        ++runs;
    }
    report(state, "load", load, runs);
    report(state, "save", save, runs);
}

void undoRedo(benchmark::State& state) {
    editor().load();
    editor().run(commandNegative);
    double undo = 0, redo = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        undo += editor().run(commandUndo);
        redo += editor().run(commandRedo);
        ++runs;
    }
    report(state, "undo", undo, runs);
    report(state, "redo", redo, runs);
}

// The effect through the editor's command, and alone on a copy of the same picture. As
// a user looks at a photograph before picking an effect, the history first finishes
// packing the loaded state on its own thread.
void effect(benchmark::State& state, int commandId) {
    editor().load();
    finishUndoWork();
    double inEditor = 0, alone = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        inEditor += editor().run(commandId);
        Image copy = *findImage(viewImage);
        const auto start = std::chrono::steady_clock::now();
        applyEffect(copy, wholeImage(copy), commandId);
        alone += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++runs;
    }
    report(state, "editor", inEditor, runs);
    report(state, "alone", alone, runs);
    state.counters["over"] = (inEditor - alone) / static_cast<double>(runs) * 1e3;
}

// A command of the Rotate menu on the photograph.
void rotateMenu(benchmark::State& state, int commandId) {
    editor().load();
    double seconds = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        seconds += editor().run(commandId);
        ++runs;
    }
    report(state, "editor", seconds, runs);
}

// "resize image" to half size, typed into the dialog and confirmed; undone between runs.
void resizeToHalf(benchmark::State& state) {
    editor().load();
    double seconds = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        setIdleHandler([] {
            const Image* view = findImage(viewImage);
            setControlText(resizeDialog.widthField, std::to_string(view->width / 2));
            setControlText(resizeDialog.heightField, std::to_string(view->height / 2));
            postEvent(eventControl, resizeImageWindow, resizeDialog.okButton, controlChange);
            setIdleHandler(nullptr);
        });
        seconds += editor().run(commandResizeImage);
        state.PauseTiming();
        editor().run(commandUndo);
        state.ResumeTiming();
        ++runs;
    }
    report(state, "editor", seconds, runs);
}

// A tool window opened by its command on the photograph (the time), and closed by its
// close box (counter "close").
void toolWindow(benchmark::State& state, int commandId, int window) {
    editor().load();
    double opening = 0, closing = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        opening += editor().run(commandId);
        closing += editor().close(window);
        ++runs;
    }
    report(state, "open", opening, runs);
    report(state, "close", closing, runs);
}

int registerAll() {
    benchmark::RegisterBenchmark("editor/load+save", loadAndSave)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("editor/undo+redo", undoRedo)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    const std::pair<const char*, int> rotateCommands[] = {
        {"Rotate Right", commandRotateRight},
        {"Rotate 180", commandRotate180},
        {"Flip", commandFlip},
        {"Mirror", commandMirror},
    };
    for (auto [caption, id] : rotateCommands) {
        benchmark::RegisterBenchmark(("editor/rotate/" + std::string(caption)).c_str(), rotateMenu,
                                     id)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(4);
    }
    const std::tuple<const char*, int, int> toolWindows[] = {
        {"Quantize Colors", commandQuantize, quantizeWindow},
        {"Two Colors", commandTwoColors, twoColorsWindow},
        {"Brightness/Contrast", commandBrightness, brightnessWindow},
    };
    for (auto [caption, id, window] : toolWindows) {
        benchmark::RegisterBenchmark(("editor/tool window/" + std::string(caption)).c_str(),
                                     toolWindow, id, window)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    benchmark::RegisterBenchmark("editor/resize image to half", resizeToHalf)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    for (const EffectRecipe& recipe : effectRecipes()) {
        benchmark::RegisterBenchmark(("editor/effect/" + std::string(recipe.caption)).c_str(),
                                     effect, recipe.commandId)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(2);
    }
    return 0;
}

const int registered = registerAll();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    running.reset();
    benchmark::Shutdown();
    return 0;
}
