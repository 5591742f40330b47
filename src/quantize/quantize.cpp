#include "quantize/quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "quantize/adaptive_quantize.h"
#include "quantize/best_quantize.h"
#include "quantize/builtin_palettes.h"
#include "quantize/formula_quantize.h"
#include "quantize/neuquant.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"

namespace {

constexpr int defaultUniformLevels = 3;
constexpr int defaultPaletteLimit = 32;

constexpr std::array<StyleInfo, styleCount> styles = {{
    {"Uniform", "uniform", true, minUniformLevels, maxUniformLevels, defaultUniformLevels, 0},
    {"Popularity", "popularity", true, minPaletteLimit, maxPaletteLimit, defaultPaletteLimit, 0},
    {"Adaptive", "adaptive", true, minPaletteLimit, maxPaletteLimit, defaultPaletteLimit, 0},
    {"CGA (16)", "cga16", false, 0, 0, 0, cgaColourCount},
    {"EGA (64)", "ega64", false, 0, 0, 0, egaColourCount},
    {"TruColor 256", "trucolor256", false, 0, 0, 0, truColorColourCount},
    {"Human 256", "human256", false, 0, 0, 0, humanColourCount},
    {"Neuquant_256", "neuquant256", false, 0, 0, 0, networkSize},
    {"flat_8", "flat8", false, 0, 0, 0, 8},
    {"flat_64", "flat64", false, 0, 0, 0, 64},
    {"flat_512", "flat512", false, 0, 0, 0, 512},
    {"flat_4096", "flat4096", false, 0, 0, 0, 4096},
    {"Lemon_128", "lemon128", false, 0, 0, 0, 128},
    {"Berry_128", "berry128", false, 0, 0, 0, 128},
    {"Ocean_128", "ocean128", false, 0, 0, 0, 128},
    {"Best quality", "best", true, minPaletteLimit, maxPaletteLimit, maxPaletteLimit, 0},
}};

// The colours of RGBA palette entries, each once: entries that differ in alpha alone are one
// colour to the palette tool.
std::vector<uint32_t> coloursOf(const std::vector<uint32_t>& entries) {
    std::vector<uint32_t> colours;
    for (uint32_t e : entries) {
        const uint32_t c = e & colourMask;
        if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
    }
    return colours;
}

bool validStyle(int style) {
    return style >= 0 && style < styleCount;
}

}  // namespace

std::span<const StyleInfo> quantizeStyles() {
    return styles;
}

const StyleInfo& styleInfo(int style) {
    return styles.at(static_cast<size_t>(style));
}

int styleFromBatchName(std::string_view name) {
    for (int s = 0; s < styleCount; ++s) {
        if (name == styles[s].batchName) return s;
    }
    return -1;
}

int clampStyleLimit(int style, int limit) {
    if (!validStyle(style) || !styles[style].usesLimit) return limit;
    return std::clamp(limit, styles[style].minLimit, styles[style].maxLimit);
}

int styleLimitDisplay(int style, int limit) {
    if (!validStyle(style)) return limit;
    const StyleInfo& info = styles[style];
    if (!info.usesLimit) return info.paletteSize;
    const int v = clampStyleLimit(style, limit);
    if (style == styleUniform) return static_cast<int>(std::lround(std::pow(v, 3)));
    return v;
}

std::optional<std::vector<uint32_t>> runQuantizeStyle(Image& image, const Rect& rect, int style,
                                                      int limit, bool dither) {
    if (!validStyle(style) || image.empty() || clipToImage(rect, image).empty()) return {};
    const int n = clampStyleLimit(style, limit);
    switch (style) {
        case styleUniform:
            return uniformQuantize(image, rect, n, dither);
        case stylePopularity:
            return popularityQuantize(image, rect, n, dither);
        case styleAdaptive:
            return adaptiveQuantize(image, rect, n, dither);
        case styleCga:
        case styleEga:
        case styleTruColor:
        case styleHuman:
            fixedPaletteQuantize(image, rect, style, dither);
            return {};
        case styleNeuquant:
            neuQuantize(image, rect, dither);
            return {};
        case styleBest:
            return coloursOf(bestQuantize(image, rect, n, dither));
        default:
            return maskQuantize(image, rect, style, dither);
    }
}

void initQuantize() {
    resetPalettes();
}
