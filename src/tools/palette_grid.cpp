#include "tools/palette_grid.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t backdropLightening = 0xC0C0C0;

// 12408 -> "12,408".
std::string groupedThousands(int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

}  // namespace

PaletteGrid paletteGridFor(int64_t n) {
    PaletteGrid grid;
    grid.shown = static_cast<int>(std::clamp<int64_t>(n, 0, paletteCellLimit));
    if (grid.shown == 0) return grid;
    // The smallest k with 2 k^2 >= n, which is the square root of n / 2 rounded up,
    // without floating point.
    int k = 1;
    while (2 * k * k < grid.shown) ++k;
    grid.columns = k;
    grid.cell = paletteViewWidth / k;
    return grid;
}

std::string paletteTitle(int64_t n) {
    if (n > paletteCellLimit) return "Palette > 512";
    return " Palette = " + std::to_string(n);
}

void drawPaletteBackdrop(Image& backdrop) {
    for (int y = 0; y < backdrop.height; ++y) {
        uint32_t* row = backdrop.row(y);
        for (int x = 0; x < backdrop.width; ++x) {
            const auto v = static_cast<uint32_t>(x ^ y);
            const uint32_t value = (v * 65536) | (v * 256) | v | backdropLightening;
            row[x] = (row[x] & alphaMask) | (value & colourMask);
        }
    }
}

Image drawPaletteGrid(const Image& backdrop, std::span<const uint32_t> colours) {
    Image picture = backdrop;
    const PaletteGrid grid = paletteGridFor(static_cast<int64_t>(colours.size()));
    int x = 0, y = 0;
    for (int i = 0; i < grid.shown; ++i) {
        fillBox(picture, x, y, grid.cell, grid.cell, (colours[i] & colourMask) | alphaMask);
        x += grid.cell;
        if (x > grid.columns * grid.cell - 1) {
            x = 0;
            y += grid.cell;
        }
    }
    return picture;
}

int paletteCellAt(const PaletteGrid& grid, int x, int y) {
    if (grid.shown == 0 || x < 0 || y < 0) return -1;
    const int column = x / grid.cell, row = y / grid.cell;
    if (column >= grid.columns) return -1;
    const int64_t index = static_cast<int64_t>(row) * grid.columns + column;
    return index < grid.shown ? static_cast<int>(index) : -1;
}

std::string paletteCellToolTip(uint32_t colour, int64_t count, int64_t total) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", redOf(colour), greenOf(colour), blueOf(colour));
    char share[32];
    const double percent = total > 0 ? 100.0 * static_cast<double>(count) / total : 0.0;
    std::snprintf(share, sizeof share, "%.1f", percent);
    return std::string(hex) + ": " + groupedThousands(count) + " px (" + share + " %)";
}

int64_t countColour(const Image& image, uint32_t colour) {
    const uint32_t wanted = colour & colourMask;
    // 32-bit partial counts keep the loop in vector registers.
    int64_t count = 0;
    const uint32_t* p = image.pixels.data();
    const size_t n = image.pixels.size();
    constexpr size_t block = size_t{1} << 30;
    for (size_t start = 0; start < n; start += block) {
        const size_t end = std::min(n, start + block);
        uint32_t partial = 0;
        for (size_t i = start; i < end; ++i) partial += (p[i] & colourMask) == wanted;
        count += partial;
    }
    return count;
}

int64_t replaceColour(Image& image, uint32_t from, uint32_t to) {
    const uint32_t wanted = from & colourMask, replacement = to & colourMask;
    const int64_t changed = countColour(image, from);
    if (changed == 0) return 0;
    // Without a branch, so the pass is vectorised: matching pixels swap their colour bits.
    const uint32_t flip = wanted ^ replacement;
    for (uint32_t& p : image.pixels) {
        const uint32_t match = 0u - static_cast<uint32_t>((p & colourMask) == wanted);
        p ^= flip & match;
    }
    return changed;
}

ColourEdit replaceColourMarked(Image& image, uint32_t from, uint32_t to) {
    ColourEdit edit;
    edit.from = from & colourMask;
    const uint32_t flip = edit.from ^ (to & colourMask);
    const size_t n = image.pixels.size();
    edit.changed.assign((n + 63) / 64, 0);
    uint32_t* p = image.pixels.data();
    for (size_t word = 0; word < edit.changed.size(); ++word) {
        const size_t start = word * 64, end = std::min(n, start + 64);
        uint64_t bits = 0;
        for (size_t i = start; i < end; ++i) {
            const uint32_t match = (p[i] & colourMask) == edit.from;
            bits |= uint64_t{match} << (i - start);
            p[i] ^= flip & (0u - match);
        }
        edit.changed[word] = bits;
    }
    return edit;
}

void undoColourEdit(Image& image, const ColourEdit& edit) {
    uint32_t* p = image.pixels.data();
    const size_t n = std::min(image.pixels.size(), edit.changed.size() * 64);
    for (size_t word = 0; word * 64 < n; ++word) {
        for (uint64_t bits = edit.changed[word]; bits != 0; bits &= bits - 1) {
            const size_t i = word * 64 + static_cast<size_t>(__builtin_ctzll(bits));
            if (i < n) p[i] = (p[i] & alphaMask) | edit.from;
        }
    }
}

bool replaceFirstEntry(std::vector<uint32_t>& palette, uint32_t from, uint32_t to) {
    auto it = std::find_if(palette.begin(), palette.end(), [from](uint32_t entry) {
        return (entry & colourMask) == (from & colourMask);
    });
    if (it == palette.end()) return false;
    *it = to;
    return true;
}
