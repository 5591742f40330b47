// Brightness, contrast, the effects and the Gaussian blur on a 24 megapixel photograph.
// Counter "s_per_MP": seconds per megapixel of the image.

#include <benchmark/benchmark.h>

#include <string>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/effects.h"
#include "photo.h"

namespace {

constexpr int photoMegapixels = 24;

const char* orderName(ScanOrder order) {
    switch (order) {
        case ScanOrder::Row:
            return "Row";
        case ScanOrder::Column:
            return "Column";
        case ScanOrder::AntiDiagonal:
            return "AntiDiagonal";
        case ScanOrder::Diagonal:
            return "Diagonal";
    }
    return "";
}

// Registers `op`, run on the photograph, under `name`.
template <typename Op>
void add(const std::string& name, Op op) {
    benchmark::RegisterBenchmark(name.c_str(), [op](benchmark::State& s) {
        runOnPhoto(s, photoMegapixels, op);
    })->Unit(benchmark::kMillisecond);
}

void registerPasses() {
    for (ScanOrder order :
         {ScanOrder::Row, ScanOrder::Column, ScanOrder::AntiDiagonal, ScanOrder::Diagonal}) {
        std::string name = orderName(order);
        add("Pass/Difference/" + name, [order](Image& i) { differencePass(i, order); });
        add("Pass/Accumulate/" + name, [order](Image& i) { accumulatePass(i, order); });
    }
    add("Pass/Gray", [](Image& i) { grayPass(i); });
    add("Pass/Invert", [](Image& i) { invertPass(i); });
    add("Pass/Mirror", [](Image& i) { mirrorPass(i); });
}

void registerEffects() {
    for (const EffectRecipe& recipe : effectRecipes()) {
        int id = recipe.commandId;
        add("Effect/" + std::string(recipe.caption),
            [id](Image& i) { applyEffect(i, wholeImage(i), id); });
    }
}

void registerBlur() {
    add("Blur/Image", [](Image& i) { blurImage(i); });
    add("Blur/OneRound", [](Image& i) { blurBuffer(i.pixels.data(), i.width, i.height); });
    // The row half of one round; the column half is OneRound minus this.
    add("Blur/OneRoundRowsOnly", [](Image& i) {
        for (int y = 0; y < i.height; ++y) blurLine(i.row(y), i.width, sizeof(uint32_t));
    });
}

void registerBrightness() {
    struct Mode {
        const char* name;
        LimitOption limit;
        bool ratio;
        bool proportional;
    };
    const Mode modes[] = {
        {"RatioHoldProportional", LimitOption::HoldRatio, true, true},
        {"RatioClampProportional", LimitOption::Clamp, true, true},
        {"RatioWrapProportional", LimitOption::Wrap, true, true},
        {"RatioHold", LimitOption::HoldRatio, true, false},
        {"EqualHoldProportional", LimitOption::HoldRatio, false, true},
        {"EqualClampProportional", LimitOption::Clamp, false, true},
        {"EqualWrapProportional", LimitOption::Wrap, false, true},
        {"EqualClamp", LimitOption::Clamp, false, false},
    };
    constexpr int amount = 40;
    for (const Mode& m : modes) {
        BrightnessSettings settings;
        settings.amount = amount;
        settings.limitOption = m.limit;
        settings.ratioMode = m.ratio;
        settings.proportional = m.proportional;
        add(std::string("Brightness/") + m.name,
            [settings](Image& i) { applyBrightness(i, wholeImage(i), settings); });
    }
    constexpr int contrastAmount = 50;
    add("Contrast", [](Image& i) { applyContrast(i, wholeImage(i), contrastAmount); });
}

}  // namespace

int main(int argc, char** argv) {
    registerPasses();
    registerEffects();
    registerBlur();
    registerBrightness();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
