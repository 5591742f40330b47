#include "quantize/adaptive_quantize.h"

#include <algorithm>
#include <array>

#include "quantize/colour_set.h"
#include "quantize/nibble_key.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "toolkit/parallel.h"

namespace {

constexpr uint32_t twoBitMask = 0xC0C0C0;
constexpr uint32_t threeBitMask = 0xE0E0E0;
constexpr uint32_t fourBitMask = 0xF0F0F0;
// Below this many wanted colours the 2-bit posterization is tried first.
constexpr int twoBitLimit = 48;
// A posterization must leave at least this many colours more than wanted.
constexpr int posterizeMargin = 10;

// Band boundaries: 3/4, 1/2 and 1/4 of the largest weighted level (1785), truncated.
constexpr int brightestAbove = 1338;
constexpr int upperMiddleAbove = 892;
constexpr int lowerMiddleAbove = 446;
enum Band { brightestBand, darkestBand, upperMiddleBand, lowerMiddleBand, bandCount };

Band bandOf(uint32_t colour) {
    int level = weightedLevel(colour);
    if (level > brightestAbove) return brightestBand;
    if (level > upperMiddleAbove) return upperMiddleBand;
    if (level > lowerMiddleAbove) return lowerMiddleBand;
    return darkestBand;
}

uint32_t posterize(uint32_t colour, uint32_t mask) {
    return (colour & mask) | nibbleLowBits;
}

// Distinct colours of the image with only the rectangle posterized.
int64_t countPosterized(const Image& image, const Rect& r, uint32_t mask) {
    return countDistinctColours(image.height, image.width, [&](int y0, int y1, ColourBitSet& seen) {
        for (int y = y0; y < y1; ++y) {
            const uint32_t* row = image.row(y);
            const bool inside = y >= r.top && y <= r.bottom;
            for (int x = 0; x < image.width; ++x) {
                uint32_t v = row[x] & colourMask;
                if (inside && x >= r.left && x <= r.right) v = posterize(v, mask);
                seen.insert(v);
            }
        }
    });
}

struct ColourCount {
    uint32_t colour;
    int64_t count;
};

// Spaces `n` samples evenly through the sorted values, taking each colour once.
std::vector<uint32_t> spacedSamples(const std::vector<uint32_t>& s, int n) {
    std::vector<uint32_t> palette(static_cast<size_t>(n));
    const int64_t z = static_cast<int64_t>(s.size()) - 1;
    int64_t step = z / n;
    int64_t pos = 0;
    int64_t last = static_cast<int64_t>(s[0]) - 1;  // differs from s[0]
    for (int i = 0; i < n; ++i) {
        if (s[pos] != last) {
            palette[i] = s[pos];
            last = s[pos];
            pos += step;
        } else {
            // The sample fell into the run of the colour just taken: skip the run and
            // spread the remaining samples over what is left.
            while (s[pos] == last && pos < z) ++pos;
            step = (z - pos) / (n - i);
            pos = std::max<int64_t>(pos + step - 1, 0);
            palette[i] = s[pos];
            last = s[pos];
        }
        // The spacing keeps pos within the list; this only guards the index.
        pos = std::min(pos, z);
    }
    return palette;
}

}  // namespace

uint32_t popularityPosterizeMask(const Image& image, const Rect& rect, int limit) {
    int64_t c = 0;
    if (limit < twoBitLimit) c = countPosterized(image, rect, twoBitMask);
    if (c >= limit + posterizeMargin) return twoBitMask;
    c = countPosterized(image, rect, threeBitMask);
    if (c >= limit + posterizeMargin) return threeBitMask;
    return fourBitMask;
}

std::vector<uint32_t> popularityPalette(const Image& image, const Rect& rect, int limit) {
    Rect r = clipToImage(rect, image);
    if (image.empty() || r.empty()) return {};
    int64_t n = limit;
    const int64_t unique = countUniqueColours(image);
    if (unique <= n) n = unique;
    const uint32_t mask = popularityPosterizeMask(image, r, static_cast<int>(n));

    // Counts add up in any order: each thread counts its rows, the counts are summed.
    const std::vector<WorkRange> ranges = splitWork(r.height(), r.width());
    std::vector<std::vector<int64_t>> counts(ranges.size(),
                                             std::vector<int64_t>(nibbleKeyCount, 0));
    runTasks(static_cast<int>(ranges.size()), [&](int i) {
        std::vector<int64_t>& histogram = counts[static_cast<size_t>(i)];
        const WorkRange& rows = ranges[static_cast<size_t>(i)];
        for (int y = r.top + static_cast<int>(rows.begin); y < r.top + rows.end; ++y) {
            const uint32_t* row = image.row(y);
            for (int x = r.left; x <= r.right; ++x) {
                ++histogram[nibbleKey(posterize(row[x], mask))];
            }
        }
    });
    std::vector<int64_t>& histogram = counts[0];
    for (size_t i = 1; i < counts.size(); ++i) {
        for (int key = 0; key < nibbleKeyCount; ++key) histogram[key] += counts[i][key];
    }
    std::array<std::vector<ColourCount>, bandCount> bands;
    int64_t keys = 0;
    for (int key = 0; key < nibbleKeyCount; ++key) {
        if (histogram[key] == 0) continue;
        ++keys;
        uint32_t colour = colourOfNibbleKey(key);
        bands[bandOf(colour)].push_back(ColourCount{colour, histogram[key]});
    }
    if (keys < n) n = keys;
    for (auto& band : bands) {
        std::stable_sort(band.begin(), band.end(), [](const ColourCount& a, const ColourCount& b) {
            return a.count > b.count;
        });
    }
    // Round robin over the bands so highlights, shadows and mid-tones are all represented;
    // a band that has run out is passed over.
    std::vector<uint32_t> palette;
    palette.reserve(static_cast<size_t>(n));
    std::array<size_t, bandCount> taken{};
    for (int turn = 0; static_cast<int64_t>(palette.size()) < n; turn = (turn + 1) % bandCount) {
        if (taken[turn] < bands[turn].size()) palette.push_back(bands[turn][taken[turn]++].colour);
    }
    return palette;
}

std::vector<uint32_t> popularityQuantize(Image& image, const Rect& rect, int limit, bool dither) {
    std::vector<uint32_t> palette = popularityPalette(image, rect, limit);
    if (!palette.empty()) applyPalette(image, rect, palette, dither);
    return palette;
}

void sortColourValues(std::vector<uint32_t>& values) {
    // Three 8-bit passes cover the 24 colour bits; fall back for anything wider.
    constexpr int passes = 3;
    constexpr size_t radix = 256;
    for (uint32_t v : values) {
        if (v > colourMask) {
            std::sort(values.begin(), values.end());
            return;
        }
    }
    std::vector<uint32_t> buffer(values.size());
    std::array<std::array<size_t, radix>, passes> counts{};
    for (uint32_t v : values) {
        for (int p = 0; p < passes; ++p) ++counts[p][(v >> (8 * p)) & 255];
    }
    uint32_t* from = values.data();
    uint32_t* to = buffer.data();
    for (int p = 0; p < passes; ++p) {
        size_t sum = 0;
        for (size_t& c : counts[p]) {
            size_t here = c;
            c = sum;
            sum += here;
        }
        for (size_t i = 0; i < values.size(); ++i) {
            uint32_t v = from[i];
            to[counts[p][(v >> (8 * p)) & 255]++] = v;
        }
        std::swap(from, to);
    }
    // An odd number of passes leaves the result in the buffer.
    if (from != values.data()) values.swap(buffer);
}

std::vector<uint32_t> adaptivePalette(const Image& image, const Rect& rect, int limit) {
    Rect r = clipToImage(rect, image);
    if (image.empty() || r.empty() || limit < 1) return {};
    std::vector<uint32_t> samples;
    samples.reserve(static_cast<size_t>(r.width()) * r.height());
    for (int y = r.top; y <= r.bottom; ++y) {
        const uint32_t* row = image.row(y);
        for (int x = r.left; x <= r.right; ++x) samples.push_back(row[x] & colourMask);
    }
    sortColourValues(samples);
    return spacedSamples(samples, limit);
}

std::vector<uint32_t> adaptiveQuantize(Image& image, const Rect& rect, int limit, bool dither) {
    std::vector<uint32_t> palette = adaptivePalette(image, rect, limit);
    if (!palette.empty()) applyPalette(image, rect, palette, dither);
    return palette;
}
