#include "quantize/two_colors.h"

#include <algorithm>
#include <array>
#include <vector>

#include "quantize/palette_map.h"

namespace {

// Each channel's share of the weighted level 2 * red + 4 * green + blue for one position of
// the 4 x 4 pattern, its offset and clamp folded in, so a pixel costs three lookups.
struct LevelTables {
    std::array<int, 256> red{}, green{}, blue{};
};

LevelTables levelTables(int offset) {
    LevelTables t;
    for (int v = 0; v < 256; ++v) {
        const int in = std::clamp(v + offset, 0, 255);
        t.red[v] = 2 * in;
        t.green[v] = 4 * in;
        t.blue[v] = in;
    }
    return t;
}

}  // namespace

void thresholdTwoColors(Image& image, const Rect& rect, int threshold, uint32_t colour1,
                        uint32_t colour2, bool ordered) {
    const Rect r = clipToImage(rect, image);
    if (r.empty()) return;
    constexpr int patternSize = 16;
    std::vector<LevelTables> tables;
    if (ordered) {
        for (int pos = 0; pos < patternSize; ++pos) {
            tables.push_back(levelTables(bayerOffsetAt(pos & 3, pos >> 2)));
        }
    } else {
        tables.push_back(levelTables(0));
    }
    // weighted div 7 < T exactly when weighted < 7 * T.
    const int limit = 7 * threshold;
    const uint32_t c1 = colour1 & colourMask, c2 = colour2 & colourMask;
    for (int y = r.top; y <= r.bottom; ++y) {
        uint32_t* row = image.row(y);
        const LevelTables* rowTables = tables.data() + (ordered ? (y & 3) * 4 : 0);
        for (int x = r.left; x <= r.right; ++x) {
            const LevelTables& t = rowTables[ordered ? (x & 3) : 0];
            const uint32_t p = row[x];
            const int weighted = t.red[p & 255] + t.green[(p >> 8) & 255] + t.blue[(p >> 16) & 255];
            row[x] = (p & alphaMask) | (weighted < limit ? c1 : c2);
        }
    }
}

void sierraLiteTwoColors(Image& image, int threshold, uint32_t colour1, uint32_t colour2) {
    if (image.empty()) return;
    const int w = image.width;
    const uint32_t c1 = colour1 & colourMask, c2 = colour2 & colourMask;
    // below[x + 1] collects what row y - 1 sent to pixel x: an eighth from straight above
    // and an eighth from above-right. The share for x = -1 lands in below[0], never read.
    std::vector<int64_t> below(static_cast<size_t>(w) + 1, 0);
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = image.row(y);
        int64_t carry = 0;
        for (int x = 0; x < w; ++x) {
            carry += below[x + 1];
            const int64_t v = twoColorsLevel(row[x]) + carry;
            int64_t e;
            if (v >= threshold) {
                row[x] = (row[x] & alphaMask) | c2;
                e = v > 255 ? 0 : v - 255;
            } else {
                row[x] = (row[x] & alphaMask) | c1;
                e = v < 0 ? 0 : v;
            }
            const int64_t q = e >> 2;  // arithmetic: rounds toward minus infinity
            below[x + 1] = q >> 1;
            below[x] += q >> 1;
            carry = q;
        }
    }
}

void twoColors(Image& image, const Rect& rect, int threshold, TwoColorsDither dither,
               uint32_t colour1, uint32_t colour2) {
    if (dither == TwoColorsDither::SierraLite) {
        runOnRect(image, rect,
                  [&](Image& part) { sierraLiteTwoColors(part, threshold, colour1, colour2); });
    } else {
        thresholdTwoColors(image, rect, threshold, colour1, colour2,
                           dither == TwoColorsDither::Ordered);
    }
}

std::optional<TwoColorsDither> twoColorsDitherFromName(std::string_view name) {
    if (name == "none") return TwoColorsDither::None;
    if (name == "ordered") return TwoColorsDither::Ordered;
    if (name == "sierra") return TwoColorsDither::SierraLite;
    return std::nullopt;
}
