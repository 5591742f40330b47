#include "quantize/formula_quantize.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "quantize/builtin_palettes.h"
#include "quantize/colour_set.h"
#include "quantize/palette_map.h"
#include "quantize/styles.h"

namespace {

constexpr uint32_t lowBitsSet = 0x0F0F0F;

// Collects the distinct colours written, in order of first appearance.
class PaletteCollector {
  public:
    void add(uint32_t colour) {
        if (seen_.insert(colour)) colours_.push_back(colour);
    }
    std::vector<uint32_t> take() { return std::move(colours_); }

  private:
    ColourBitSet seen_;
    std::vector<uint32_t> colours_;
};

// Runs `outputOf(input)` over every pixel of the rectangle in row order, the input being
// the pixel as read or its ordered-dither value; writes keep alpha.
template <typename Formula>
std::vector<uint32_t> quantizeByFormula(Image& image, const Rect& rect, bool dither,
                                        Formula outputOf) {
    PaletteCollector collector;
    Rect r = clipToImage(rect, image);
    if (r.empty()) return {};
    uint32_t lastOutput = 0;
    bool haveLast = false;
    for (int y = r.top; y <= r.bottom; ++y) {
        uint32_t* row = image.row(y);
        for (int x = r.left; x <= r.right; ++x) {
            uint32_t input = row[x] & colourMask;
            if (dither) input = orderedDitherColour(input, x, y);
            uint32_t output = outputOf(input);
            row[x] = (row[x] & alphaMask) | output;
            // Neighbouring pixels mostly share an output; skip the set then.
            if (!haveLast || output != lastOutput) {
                collector.add(output);
                lastOutput = output;
                haveLast = true;
            }
        }
    }
    return collector.take();
}

}  // namespace

UniformLevels uniformLevels(int levels) {
    const double l = levels;
    return UniformLevels{static_cast<int>(std::floor(255.0 / (l - 0.5) + 0.5)),
                         static_cast<int>(255.0 / (l - 1))};
}

std::vector<uint32_t> uniformQuantize(Image& image, const Rect& rect, int levels, bool dither) {
    levels = std::clamp(levels, minUniformLevels, maxUniformLevels);
    const UniformLevels u = uniformLevels(levels);
    std::array<uint32_t, 256> level{};
    for (int v = 0; v < 256; ++v) level[v] = static_cast<uint32_t>((v / u.bin) * u.step);
    return quantizeByFormula(image, rect, dither, [&](uint32_t c) {
        return level[c & 255] | level[(c >> 8) & 255] << 8 | level[(c >> 16) & 255] << 16;
    });
}

uint32_t maskForStyle(int style) {
    switch (style) {
        case styleFlat8:
            return 0x808080;  // flat_8
        case styleFlat64:
            return 0xC0C0C0;  // flat_64
        case styleFlat512:
            return 0xE0E0E0;  // flat_512
        case styleFlat4096:
            return 0xF0F0F0;  // flat_4096
        case styleLemon:
            return 0x80E0E0;  // Lemon_128: blue keeps one bit
        case styleBerry:
            return 0xE080E0;  // Berry_128: green keeps one bit
        case styleOcean:
            return 0xE0E080;  // Ocean_128: red keeps one bit
        default:
            return 0;
    }
}

std::vector<uint32_t> maskQuantize(Image& image, const Rect& rect, int style, bool dither) {
    const uint32_t mask = maskForStyle(style);
    if (mask == 0) return {};
    return quantizeByFormula(image, rect, dither,
                             [mask](uint32_t c) { return (c & mask) | lowBitsSet; });
}

void fixedPaletteQuantize(Image& image, const Rect& rect, int style, bool dither) {
    switch (style) {
        case styleCga:
            applyPalette(image, rect, cgaPalette(), dither);
            break;
        case styleEga:
            applyPalette(image, rect, egaPalette(), dither);
            break;
        case styleTruColor:
            applyPalette(image, rect, truColorPalette(), dither);
            break;
        case styleHuman:
            applyPalette(image, rect, humanPalette(), dither);
            break;
        default:
            break;
    }
}
