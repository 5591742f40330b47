#include "quantize/formula_quantize.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "quantize/builtin_palettes.h"
#include "quantize/nibble_key.h"
#include "quantize/palette_map.h"
#include "quantize/styles.h"
#include "toolkit/parallel.h"

namespace {

// What each channel value becomes; every formula method works channel by channel.
struct ChannelTables {
    std::array<uint8_t, 256> red{}, green{}, blue{};
};

// Runs the tables over every pixel of the rectangle in row order, the input being the
// pixel as read or, with dither, its ordered-dither value; writes keep alpha. Returns the
// distinct outputs in order of first appearance. Every output keeps at most the top four
// bits of a channel significant (levels at least 17 apart, or a mask with the low four bits
// set), so its nibble key identifies it.
std::vector<uint32_t> quantizeByTables(Image& image, const Rect& rect, bool dither,
                                       const ChannelTables& out) {
    Rect r = clipToImage(rect, image);
    if (r.empty()) return {};
    // One set of tables per position of the 4 x 4 pattern, with its offset folded in.
    constexpr int patternSize = 16;
    std::vector<ChannelTables> tables(dither ? patternSize : 1, out);
    if (dither) {
        for (int pos = 0; pos < patternSize; ++pos) {
            const int offset = bayerOffsetAt(pos & 3, pos >> 2);
            for (int v = 0; v < 256; ++v) {
                const int in = std::clamp(v + offset, 0, 255);
                tables[pos].red[v] = out.red[in];
                tables[pos].green[v] = out.green[in];
                tables[pos].blue[v] = out.blue[in];
            }
        }
    }
    // Every pixel on its own: the threads share the rows, and each lists the outputs of its
    // rows in order of first appearance; joined in row order, the lists give the order of
    // first appearance over the whole rectangle.
    const std::vector<WorkRange> ranges = splitWork(r.height(), r.width());
    std::vector<std::vector<uint32_t>> found(ranges.size());
    runTasks(static_cast<int>(ranges.size()), [&](int i) {
        std::array<bool, nibbleKeyCount> seen{};
        std::vector<uint32_t>& palette = found[static_cast<size_t>(i)];
        const int y0 = r.top + static_cast<int>(ranges[static_cast<size_t>(i)].begin);
        const int y1 = r.top + static_cast<int>(ranges[static_cast<size_t>(i)].end);
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            const ChannelTables* rowTables = tables.data() + (dither ? (y & 3) * 4 : 0);
            for (int x = r.left; x <= r.right; ++x) {
                const ChannelTables& t = rowTables[dither ? (x & 3) : 0];
                const uint32_t p = row[x];
                const uint32_t output = t.red[p & 255] |
                                        static_cast<uint32_t>(t.green[(p >> 8) & 255]) << 8 |
                                        static_cast<uint32_t>(t.blue[(p >> 16) & 255]) << 16;
                row[x] = (p & alphaMask) | output;
                bool& known = seen[nibbleKey(output)];
                if (!known) {
                    known = true;
                    palette.push_back(output);
                }
            }
        }
    });
    std::vector<uint32_t> palette;
    std::array<bool, nibbleKeyCount> seen{};
    for (const std::vector<uint32_t>& part : found) {
        for (uint32_t c : part) {
            bool& known = seen[nibbleKey(c)];
            if (!known) {
                known = true;
                palette.push_back(c);
            }
        }
    }
    return palette;
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
    ChannelTables out;
    for (int v = 0; v < 256; ++v) out.red[v] = static_cast<uint8_t>((v / u.bin) * u.step);
    out.green = out.blue = out.red;
    return quantizeByTables(image, rect, dither, out);
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
    ChannelTables out;
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t c = ((v | v << 8 | v << 16) & mask) | nibbleLowBits;
        out.red[v] = static_cast<uint8_t>(c & 255);
        out.green[v] = static_cast<uint8_t>((c >> 8) & 255);
        out.blue[v] = static_cast<uint8_t>((c >> 16) & 255);
    }
    return quantizeByTables(image, rect, dither, out);
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
