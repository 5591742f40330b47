#include "quantize/palette_map.h"

#include <algorithm>
#include <cstdint>

#include "quantize/answer_cache.h"
#include "toolkit/parallel.h"

namespace {

// Larger than any distance (the largest is 299,505,150), so the first entry always wins.
constexpr uint32_t noDistance = 0x12000000;
constexpr int greenWeight = 2048;

int greenRedKey(uint32_t c) {
    return greenOf(c) * 256 + redOf(c);
}

// Signed 8-bit errors of red, green and blue, packed like a pixel (fourth byte unused).
struct ChannelErrors {
    int8_t channel[4] = {0, 0, 0, 0};
};

// floor(v * strength / 256) for the error terms of one channel.
int scaledError(int v, int strength) {
    return (v * strength) >> 8;
}

}  // namespace

uint32_t orderedDitherPoint(const Image& image, int x, int y) {
    return orderedDitherColour(image.read(x, y), x, y);
}

void buildPaletteLookup(PaletteLookup& lookup, std::span<const uint32_t> palette) {
    const int n = static_cast<int>(palette.size());
    auto& entries = lookup.entries;
    entries.assign(static_cast<size_t>(n) + 2, 0);
    for (int i = 1; i <= n; ++i) entries[i] = palette[i - 1] | alphaMask;
    // Stable, so entries of equal green and red keep palette order: the first of two
    // equally distant entries met by the search must not depend on the library's sort.
    std::stable_sort(entries.begin() + 1, entries.begin() + 1 + n,
                     [](uint32_t a, uint32_t b) { return greenRedKey(a) < greenRedKey(b); });
    // For a green present in the palette the search starts in the middle of its run; for
    // an absent one at the first entry with a larger green (or the end marker).
    lookup.unpacked.assign(static_cast<size_t>(n) + 2, {0, PaletteLookup::markerGreen, 0, 0});
    for (int i = 1; i <= n; ++i) {
        const uint32_t e = entries[i];
        lookup.unpacked[i] = {redOf(e), greenOf(e), blueOf(e), e};
    }
    int k = 1;
    for (int g = 0; g < 256; ++g) {
        int start = k;
        while (k <= n && greenOf(entries[k]) == g) ++k;
        lookup.greenIndex[g] = (start + k) >> 1;
    }
}

PaletteLookup makePaletteLookup(std::span<const uint32_t> palette) {
    PaletteLookup lookup;
    buildPaletteLookup(lookup, palette);
    return lookup;
}

uint32_t nearestPaletteColour(const PaletteLookup& lookup, uint32_t colour) {
    const PaletteLookup::Unpacked* entries = lookup.unpacked.data();
    const int rc = redOf(colour), gc = greenOf(colour), bc = blueOf(colour);
    int best = static_cast<int>(noDistance);
    uint32_t result = 0;
    int up = lookup.greenIndex[gc];
    int down = up - 1;
    // Entries are sorted by green, so the green term only grows as a side moves outward:
    // once it alone reaches the best distance, nothing further on that side can win. The
    // markers' far green closes a side at the ends. Returns false when the side closes.
    auto visit = [&](int k) {
        const PaletteLookup::Unpacked& p = entries[k];
        const int dg = gc - p.green;
        const int greenTerm = greenWeight * dg * dg;
        if (greenTerm >= best) return false;
        const int dr = rc - p.red, db = bc - p.blue, sum = rc + p.red;
        const int d = (1024 + sum) * dr * dr + greenTerm + (1534 - sum) * db * db;
        if (d < best) {
            best = d;
            result = p.value;
        }
        return true;
    };
    // Down first, then up, alternating; once one side closes the other runs alone.
    for (;;) {
        if (!visit(down)) {
            while (visit(up)) ++up;
            break;
        }
        --down;
        if (!visit(up)) {
            while (visit(down)) --down;
            break;
        }
        ++up;
    }
    return result;
}

namespace {

constexpr int cellBits = 4;                // 16 levels of each channel per cell
constexpr int cellSide = 256 >> cellBits;  // cells along each channel
constexpr int cellCount = cellSide * cellSide * cellSide;
// Beyond this many candidates a cell is searched the green-sorted way, which prunes by
// itself; it also bounds the memory a far-flung palette could take.
constexpr int crowdedCell = 64;

int cellOf(int red, int green, int blue) {
    return ((red >> cellBits) * cellSide + (green >> cellBits)) * cellSide + (blue >> cellBits);
}

// Least and greatest squared difference between a value in [low, low + 15] and `v`.
struct SquaredRange {
    int64_t least;
    int64_t greatest;
};

SquaredRange squaredRange(int low, int v) {
    const int high = low + cellSide - 1;
    const int64_t a = low - v, b = high - v;
    const int64_t nearest = v < low ? a : (v > high ? b : 0);
    return {nearest * nearest, std::max(a * a, b * b)};
}

}  // namespace

NearestColourSearch::NearestColourSearch(const PaletteLookup& lookup)
    : lookup_(lookup),
      paletteSize_(static_cast<int>(lookup.unpacked.size()) - 2),
      cellFirst_(cellCount, -1),
      cellCount_(cellCount, 0) {}

void NearestColourSearch::fillCell(int cell) {
    const int r0 = (cell / (cellSide * cellSide)) << cellBits;
    const int g0 = ((cell / cellSide) % cellSide) << cellBits;
    const int b0 = (cell % cellSide) << cellBits;
    const int r1 = r0 + cellSide - 1;
    // The distance's weights move with the colour's red; each bound takes its own extreme.
    auto bounds = [&](const PaletteLookup::Unpacked& p, int64_t& least, int64_t& greatest) {
        const SquaredRange dr = squaredRange(r0, p.red), dg = squaredRange(g0, p.green),
                           db = squaredRange(b0, p.blue);
        least = (1024 + r0 + p.red) * dr.least + greenWeight * dg.least +
                (1534 - r1 - p.red) * db.least;
        greatest = (1024 + r1 + p.red) * dr.greatest + greenWeight * dg.greatest +
                   (1534 - r0 - p.red) * db.greatest;
    };
    int64_t limit = INT64_MAX;
    for (int k = 1; k <= paletteSize_; ++k) {
        int64_t least = 0, greatest = 0;
        bounds(lookup_.unpacked[k], least, greatest);
        limit = std::min(limit, greatest);
    }
    const size_t first = candidates_.size();
    for (int k = 1; k <= paletteSize_; ++k) {
        const PaletteLookup::Unpacked& p = lookup_.unpacked[k];
        int64_t least = 0, greatest = 0;
        bounds(p, least, greatest);
        if (least > limit) continue;
        candidates_.push_back({static_cast<int16_t>(p.red), static_cast<int16_t>(p.green),
                               static_cast<int16_t>(p.blue), static_cast<int16_t>(k), p.value});
    }
    const int found = static_cast<int>(candidates_.size() - first);
    if (found > crowdedCell) {
        candidates_.resize(first);
        cellCount_[cell] = crowdedCell + 1;
    } else {
        cellCount_[cell] = found;
    }
    cellFirst_[cell] = static_cast<int32_t>(first);
}

uint32_t NearestColourSearch::operator()(uint32_t colour) {
    if (paletteSize_ <= 0) return 0;
    // Candidates keep their entry number in 16 bits.
    if (paletteSize_ > INT16_MAX) return nearestPaletteColour(lookup_, colour);
    const int rc = redOf(colour), gc = greenOf(colour), bc = blueOf(colour);
    const int cell = cellOf(rc, gc, bc);
    if (cellFirst_[cell] < 0) fillCell(cell);
    const int count = cellCount_[cell];
    if (count > crowdedCell) return nearestPaletteColour(lookup_, colour);
    // The green-sorted search meets entries from its start outwards, below first: of two
    // equally near entries it keeps the one met first, the one of lower rank here.
    const int start = lookup_.greenIndex[gc];
    auto rank = [start](int k) { return k < start ? 2 * (start - 1 - k) : 2 * (k - start) + 1; };
    const Candidate* c = candidates_.data() + cellFirst_[cell];
    int best = INT32_MAX, bestRank = INT32_MAX;
    uint32_t result = 0;
    for (int i = 0; i < count; ++i, ++c) {
        const int dr = rc - c->red, dg = gc - c->green, db = bc - c->blue, sum = rc + c->red;
        const int d = (1024 + sum) * dr * dr + greenWeight * dg * dg + (1534 - sum) * db * db;
        if (d > best) continue;
        const int r = rank(c->index);
        if (d < best || r < bestRank) {
            best = d;
            bestRank = r;
            result = c->value;
        }
    }
    return result;
}

Image remapToPalette(const Image& source, int ditherStrength, const PaletteLookup& lookup) {
    Image out = source;
    remapInPlace(out, ditherStrength, lookup);
    return out;
}

void remapInPlace(Image& out, int ditherStrength, const PaletteLookup& lookup) {
    const int w = out.width;
    if (ditherStrength == 0) {
        // Each pixel on its own: the threads share the rows, each with its own search and
        // cache.
        parallelRows(0, out.height - 1, w, [&](int y0, int y1) {
            NearestColourSearch search(lookup);
            AnswerCache cache([&search](uint32_t c) { return search(c); });
            for (uint32_t *p = out.row(y0), *end = out.row(y1); p != end; ++p) {
                *p = (*p & alphaMask) | (cache(*p & colourMask) & colourMask);
            }
        });
        return;
    }
    // Error diffusion carries each pixel's error to the next: one thread, in row order.
    NearestColourSearch search(lookup);
    AnswerCache cache([&search](uint32_t c) { return search(c); });
    std::vector<ChannelErrors> upError(static_cast<size_t>(w) + 1);
    for (int y = 0; y < out.height; ++y) {
        uint32_t* row = out.row(y);
        ChannelErrors leftError;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = row[x] & colourMask;
            ChannelErrors& up = upError[x];
            uint32_t adjusted = 0;
            for (int k = 0; k < 3; ++k) {
                int v = static_cast<int>((c >> (8 * k)) & 255) +
                        scaledError(up.channel[k] + leftError.channel[k], ditherStrength);
                v = std::clamp(v, 0, 255);
                adjusted |= static_cast<uint32_t>(v) << (8 * k);
            }
            const uint32_t q = cache(adjusted);
            row[x] = (row[x] & alphaMask) | (q & colourMask);
            ChannelErrors halved;
            for (int k = 0; k < 3; ++k) {
                int diff = static_cast<int>((adjusted >> (8 * k)) & 255) -
                           static_cast<int>((q >> (8 * k)) & 255);
                halved.channel[k] = static_cast<int8_t>(diff >> 1);  // -128..127
                // The column's share uses the left error from before this pixel.
                up.channel[k] =
                    static_cast<int8_t>((halved.channel[k] + leftError.channel[k]) >> 1);
            }
            leftError = halved;
        }
    }
}

void applyPalette(Image& image, const Rect& rect, std::span<const uint32_t> palette, bool dither) {
    const int strength = dither ? ditherStrengthOn : ditherStrengthOff;
    const PaletteLookup lookup = makePaletteLookup(palette);
    runOnRect(image, rect, [&](Image& part) { remapInPlace(part, strength, lookup); });
}
