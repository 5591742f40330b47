#pragma once
// Mapping an image onto a palette: the green-sorted lookup, the nearest-colour search,
// error diffusion and the 4 x 4 ordered dither read.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

// Error-diffusion strengths: none, or half of the halved error terms.
inline constexpr int ditherStrengthOff = 0;
inline constexpr int ditherStrengthOn = 128;

// The standard 4 x 4 Bayer index matrix minus 7, indexed [y & 3][x & 3].
inline constexpr int bayerOffsets[4][4] = {
    {-7, 1, -5, 3},
    {5, -3, 7, -1},
    {-4, 4, -6, 2},
    {8, 0, 6, -2},
};

inline int bayerOffsetAt(int x, int y) {
    return bayerOffsets[y & 3][x & 3];
}

// The pixel at (x, y), red, green and blue only, with the Bayer offset of that position
// added to each channel (clamped to 0..255). x and y are image coordinates, so the
// pattern stays anchored at the image's top-left corner inside a selection.
uint32_t orderedDitherPoint(const Image& image, int x, int y);

// The same on a colour already read from position (x, y).
inline uint32_t orderedDitherColour(uint32_t colour, int x, int y) {
    int offset = bayerOffsetAt(x, y);
    uint32_t out = colour & alphaMask;
    for (int shift = 0; shift < 24; shift += 8) {
        int v = static_cast<int>((colour >> shift) & 255) + offset;
        v = v < 0 ? 0 : (v > 255 ? 255 : v);
        out |= static_cast<uint32_t>(v) << shift;
    }
    return out;
}

// Search structure for one palette of n colours.
struct PaletteLookup {
    // n + 2 entries: 0 at both ends as markers, the palette colours with alpha 0xFF (so
    // none is 0) in between, sorted by green then red.
    std::vector<uint32_t> entries{0, 0};
    // Where a search for a colour of green g starts in `entries`.
    std::array<int, 256> greenIndex{};
    // The entries unpacked for the search. The end markers get a green so far away that
    // the green term alone closes the side there, as the marker itself would.
    struct Unpacked {
        int red, green, blue;
        uint32_t value;
    };
    std::vector<Unpacked> unpacked{{0, markerGreen, 0, 0}, {0, markerGreen, 0, 0}};
    static constexpr int markerGreen = 1000;
};

void buildPaletteLookup(PaletteLookup& lookup, std::span<const uint32_t> palette);
PaletteLookup makePaletteLookup(std::span<const uint32_t> palette);

// Red-mean weighted distance (scaled by 512) between two colours.
inline uint32_t redMeanDistance(uint32_t a, uint32_t b) {
    int ra = redOf(a), rb = redOf(b);
    int dr = ra - rb, dg = greenOf(a) - greenOf(b), db = blueOf(a) - blueOf(b);
    return static_cast<uint32_t>((1024 + ra + rb) * dr * dr + 2048 * dg * dg +
                                 (1534 - ra - rb) * db * db);
}

// The palette entry (alpha 0xFF) nearest to `colour`; 0 for an empty palette. Ties keep
// the entry met first: the one below the start, the start, then alternately further down
// and further up.
uint32_t nearestPaletteColour(const PaletteLookup& lookup, uint32_t colour);

// The same answers as nearestPaletteColour(lookup, colour), found faster when one palette
// serves many colours. The colour cube is cut into 16 x 16 x 16 cells; on a cell's first
// use, the entries that can be nearest to some colour in it are listed (those whose least
// possible distance to the cell is within the smallest greatest distance of any entry), so
// a search compares only those, ties settled in the order the green-sorted search meets
// them. One per thread: the cells are filled as they are met. `lookup` must outlive it
// and not change.
class NearestColourSearch {
  public:
    explicit NearestColourSearch(const PaletteLookup& lookup);
    uint32_t operator()(uint32_t colour);

  private:
    struct Candidate {
        int16_t red, green, blue;
        int16_t index;  // in the lookup's sorted entries
        uint32_t value;
    };
    void fillCell(int cell);

    const PaletteLookup& lookup_;
    int paletteSize_;
    std::vector<int32_t> cellFirst_;  // into candidates_; -1 until filled
    std::vector<int32_t> cellCount_;  // crowdedCell: search the whole palette instead
    std::vector<Candidate> candidates_;
};

// A copy of `source` whose red, green and blue come from the lookup's palette; alpha is
// kept. With strength 128 the quantization error is diffused right and down.
Image remapToPalette(const Image& source, int ditherStrength, const PaletteLookup& lookup);
// The same, rewriting `image` itself.
void remapInPlace(Image& image, int ditherStrength, const PaletteLookup& lookup);

// Builds a lookup of `palette` and maps the rectangle of `image` onto it, as an image of its
// own (error diffusion starts fresh at its edges); pixels outside are left
// alone.
void applyPalette(Image& image, const Rect& rect, std::span<const uint32_t> palette, bool dither);
