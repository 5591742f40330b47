#include "adjust/effects.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <vector>

// The exclusive-or passes never walk the image along its scan order. In every order the
// successor of a pixel is either a fixed neighbour (right, below, below-left or below-right)
// or, at the end of a line of the order, the first pixel of the next line, which always lies
// on the image border. So a difference pass runs row by row from the top, reading the row
// below before it changes, with the border pixels saved first; an accumulate pass runs row
// by row from the bottom, taking the already finished row below as each line's running
// value, with the running value carried into a new line computed from per-line sums.
// Memory is walked row by row whatever the order.

namespace {

using Pixels = uint32_t*;

// Weights of the gray level; they add up to 1024.
constexpr uint32_t grayRedWeight = 306;
constexpr uint32_t grayGreenWeight = 601;
constexpr uint32_t grayBlueWeight = 117;
constexpr int grayShift = 10;
// g * grayToColour puts g in red, green and blue.
constexpr uint32_t grayToColour = 0x010101;

inline uint32_t colourOf(uint32_t p) {
    return p & colourMask;
}

std::vector<uint32_t> copyColumn(const Image& image, int x) {
    std::vector<uint32_t> column(image.height);
    for (int y = 0; y < image.height; ++y) column[y] = image.at(x, y);
    return column;
}

// p[i] ^= q[i] for a run of pixels, colour bits only.
inline void xorRun(uint32_t* p, const uint32_t* q, int n) {
    for (int i = 0; i < n; ++i) p[i] ^= q[i] & colourMask;
}

// ---- Row ----

void differenceRow(Image& image) {
    size_t n = image.pixels.size();
    Pixels p = image.pixels.data();
    for (size_t i = 0; i + 1 < n; ++i) p[i] ^= p[i + 1] & colourMask;
}

void accumulateRow(Image& image) {
    size_t n = image.pixels.size();
    Pixels p = image.pixels.data();
    uint32_t running = colourOf(p[n - 1]);
    for (size_t i = n - 1; i-- > 0;) {
        running ^= colourOf(p[i]);
        p[i] = (p[i] & alphaMask) | running;
    }
}

// ---- Column ----

void differenceColumn(Image& image) {
    const int w = image.width, h = image.height;
    // The bottom of column x is followed by the top of column x + 1.
    std::vector<uint32_t> top(image.row(0), image.row(0) + w);
    for (int y = 0; y + 1 < h; ++y) xorRun(image.row(y), image.row(y + 1), w);
    xorRun(image.row(h - 1), top.data() + 1, w - 1);
}

void accumulateColumn(Image& image) {
    const int w = image.width, h = image.height;
    // running[x] starts as the xor of every column right of x.
    std::vector<uint32_t> running(w, 0);
    for (int y = 0; y < h; ++y) xorRun(running.data(), image.row(y), w);
    uint32_t later = 0;
    for (int x = w - 1; x >= 0; --x) {
        uint32_t column = running[x];
        running[x] = later;
        later ^= column;
    }
    for (int y = h - 1; y >= 0; --y) {
        uint32_t* row = image.row(y);
        for (int x = 0; x < w; ++x) {
            running[x] ^= colourOf(row[x]);
            row[x] = (row[x] & alphaMask) | running[x];
        }
    }
}

// ---- AntiDiagonal: lines of constant s = x + y, each from top-right to bottom-left ----

void differenceAntiDiagonal(Image& image) {
    const int w = image.width, h = image.height;
    // The first pixel of line t lies in the top row (t < w) or the right column.
    std::vector<uint32_t> top(image.row(0), image.row(0) + w);
    std::vector<uint32_t> right = copyColumn(image, w - 1);
    auto firstOf = [&](int t) { return t < w ? top[t] : right[t - (w - 1)]; };
    for (int y = 0; y + 1 < h; ++y) {
        uint32_t* row = image.row(y);
        xorRun(row + 1, image.row(y + 1), w - 1);
        // Column 0 ends line y.
        if (y > 0) row[0] ^= colourOf(firstOf(y - 1));
    }
    // The bottom row ends every line s = x + h - 1.
    uint32_t* bottom = image.row(h - 1);
    for (int x = 0; x < w; ++x) {
        int s = x + h - 1;
        if (s > 0) bottom[x] ^= colourOf(firstOf(s - 1));
    }
}

void accumulateAntiDiagonal(Image& image) {
    const int w = image.width, h = image.height;
    // upTo[t + 1] = xor of every pixel with x + y <= t, i.e. of every line after line t + 1.
    std::vector<uint32_t> upTo(static_cast<size_t>(w) + h, 0);
    for (int y = 0; y < h; ++y) xorRun(upTo.data() + y + 1, image.row(y), w);
    for (size_t t = 1; t < upTo.size(); ++t) upTo[t] ^= upTo[t - 1];
    auto laterThan = [&](int s) { return upTo[s]; };  // xor of lines s - 1 down to 0

    uint32_t* bottom = image.row(h - 1);
    for (int x = 0; x < w; ++x) bottom[x] ^= laterThan(x + h - 1);
    for (int y = h - 2; y >= 0; --y) {
        uint32_t* row = image.row(y);
        const uint32_t* below = image.row(y + 1);
        row[0] ^= laterThan(y);
        xorRun(row + 1, below, w - 1);
    }
}

// ---- Diagonal: lines of constant d = x - y, each from top-left to bottom-right ----

void differenceDiagonal(Image& image) {
    const int w = image.width, h = image.height;
    // The first pixel of line d lies in the left column (d <= 0) or the top row.
    std::vector<uint32_t> top(image.row(0), image.row(0) + w);
    std::vector<uint32_t> left = copyColumn(image, 0);
    auto firstOf = [&](int d) { return d <= 0 ? left[-d] : top[d]; };
    for (int y = 0; y + 1 < h; ++y) {
        uint32_t* row = image.row(y);
        xorRun(row, image.row(y + 1) + 1, w - 1);
        // The right column ends line w - 1 - y; the last line (y = 0) has no successor.
        if (y > 0) row[w - 1] ^= colourOf(firstOf(w - y));
    }
    uint32_t* bottom = image.row(h - 1);
    for (int x = 0; x < w; ++x) {
        int d = x - (h - 1);
        if (d < w - 1) bottom[x] ^= colourOf(firstOf(d + 1));
    }
}

void accumulateDiagonal(Image& image) {
    const int w = image.width, h = image.height;
    // Index i stands for d = i - h. fromOn[i] = xor of every pixel with x - y >= d.
    const int offset = h;
    std::vector<uint32_t> fromOn(static_cast<size_t>(w) + h + 1, 0);
    for (int y = 0; y < h; ++y) xorRun(fromOn.data() + offset - y, image.row(y), w);
    for (size_t i = fromOn.size() - 1; i-- > 0;) fromOn[i] ^= fromOn[i + 1];
    auto laterThan = [&](int d) { return fromOn[d + 1 + offset]; };  // lines after line d

    uint32_t* bottom = image.row(h - 1);
    for (int x = 0; x < w; ++x) bottom[x] ^= laterThan(x - (h - 1));
    for (int y = h - 2; y >= 0; --y) {
        uint32_t* row = image.row(y);
        xorRun(row, image.row(y + 1) + 1, w - 1);
        row[w - 1] ^= laterThan(w - 1 - y);
    }
}

// ---- Recipes ----

constexpr EffectPass D(ScanOrder o) {
    return {PassKind::Difference, o};
}
constexpr EffectPass A(ScanOrder o) {
    return {PassKind::Accumulate, o};
}
constexpr EffectPass gray{PassKind::Gray};
constexpr EffectPass invert{PassKind::Invert};
constexpr EffectPass mirror{PassKind::Mirror};
constexpr ScanOrder row = ScanOrder::Row;
constexpr ScanOrder column = ScanOrder::Column;
constexpr ScanOrder anti = ScanOrder::AntiDiagonal;
constexpr ScanOrder diag = ScanOrder::Diagonal;

constexpr EffectPass edgeDetectPasses[] = {D(anti)};
constexpr EffectPass pencilPasses[] = {D(diag), D(diag), gray, invert};
constexpr EffectPass artistPasses[] = {D(anti), invert};
constexpr EffectPass glowiePasses[] = {A(column), invert, D(row), D(column), A(row)};
constexpr EffectPass blushPasses[] = {A(row),    D(column), D(row), D(column),
                                      A(column), A(column), invert};
constexpr EffectPass spacyPasses[] = {A(row), D(column), D(row), A(column)};
constexpr EffectPass spectrumPasses[] = {D(row), D(column), A(row), D(anti), A(column)};
constexpr EffectPass scratchPasses[] = {D(column), mirror, A(column), D(row), mirror, A(row)};
constexpr EffectPass noisePasses[] = {A(diag), gray, D(diag)};
constexpr EffectPass phantomPasses[] = {D(diag), invert, A(diag)};
constexpr EffectPass demonPasses[] = {D(row), D(row), A(column), A(row), D(column), A(row)};
constexpr EffectPass fadedPasses[] = {A(column), D(row), D(row), D(column), A(row), A(row)};
constexpr EffectPass xFactorPasses[] = {A(diag), D(anti), invert, A(anti), D(diag),
                                        A(anti), D(diag), invert, A(diag), D(anti)};
constexpr EffectPass scramblePasses[] = {A(row), A(anti), A(column), A(diag)};
constexpr EffectPass unscramblePasses[] = {D(diag), D(column), D(anti), D(row)};

constexpr std::array<EffectRecipe, 15> recipes = {{
    {commandEdgeDetect, "Edge detect", edgeDetectPasses},
    {commandPencil, "Pencil", pencilPasses},
    {commandArtist, "Artist", artistPasses},
    {commandGlowie, "Glowie", glowiePasses},
    {commandBlush, "Blush", blushPasses},
    {commandSpacy, "Spacy", spacyPasses},
    {commandSpectrum, "Spectrum", spectrumPasses},
    {commandScratch, "Scratch", scratchPasses},
    {commandNoise, "Noise", noisePasses},
    {commandPhantom, "Phantom", phantomPasses},
    {commandDemon, "Demon", demonPasses},
    {commandFaded, "Faded", fadedPasses},
    {commandXFactor, "X-factor", xFactorPasses},
    {commandScramble, "scramble", scramblePasses},
    {commandUnscramble, "unscramble", unscramblePasses},
}};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

void differencePass(Image& image, ScanOrder order) {
    if (image.empty()) return;
    switch (order) {
        case ScanOrder::Row:
            differenceRow(image);
            break;
        case ScanOrder::Column:
            differenceColumn(image);
            break;
        case ScanOrder::AntiDiagonal:
            differenceAntiDiagonal(image);
            break;
        case ScanOrder::Diagonal:
            differenceDiagonal(image);
            break;
    }
}

void accumulatePass(Image& image, ScanOrder order) {
    if (image.empty()) return;
    switch (order) {
        case ScanOrder::Row:
            accumulateRow(image);
            break;
        case ScanOrder::Column:
            accumulateColumn(image);
            break;
        case ScanOrder::AntiDiagonal:
            accumulateAntiDiagonal(image);
            break;
        case ScanOrder::Diagonal:
            accumulateDiagonal(image);
            break;
    }
}

void grayPass(Image& image) {
    for (uint32_t& p : image.pixels) {
        uint32_t level = (grayRedWeight * redOf(p) + grayGreenWeight * greenOf(p) +
                          grayBlueWeight * blueOf(p)) >>
                         grayShift;
        p = (p & alphaMask) | level * grayToColour;
    }
}

void invertPass(Image& image) {
    for (uint32_t& p : image.pixels) p ^= colourMask;
}

void mirrorPass(Image& image) {
    // Colours swap places; each position keeps its own alpha.
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = image.row(y);
        for (int x = 0, m = image.width - 1; x < image.width / 2; ++x, --m) {
            uint32_t a = row[x], b = row[m];
            row[x] = (a & alphaMask) | colourOf(b);
            row[m] = (b & alphaMask) | colourOf(a);
        }
    }
}

std::span<const EffectRecipe> effectRecipes() {
    return recipes;
}

const EffectRecipe* findEffect(int commandId) {
    for (const EffectRecipe& r : recipes) {
        if (r.commandId == commandId) return &r;
    }
    return nullptr;
}

const EffectRecipe* findEffectByCaption(std::string_view caption) {
    for (const EffectRecipe& r : recipes) {
        if (equalIgnoringCase(r.caption, caption)) return &r;
    }
    return nullptr;
}

void runPass(Image& image, const EffectPass& pass) {
    switch (pass.kind) {
        case PassKind::Difference:
            differencePass(image, pass.order);
            break;
        case PassKind::Accumulate:
            accumulatePass(image, pass.order);
            break;
        case PassKind::Gray:
            grayPass(image);
            break;
        case PassKind::Invert:
            invertPass(image);
            break;
        case PassKind::Mirror:
            mirrorPass(image);
            break;
    }
}

bool applyEffect(Image& image, const Rect& rect, int commandId) {
    const EffectRecipe* recipe = findEffect(commandId);
    if (!recipe) return false;
    runOnRect(image, rect, [recipe](Image& target) {
        for (const EffectPass& pass : recipe->passes) runPass(target, pass);
    });
    return true;
}
