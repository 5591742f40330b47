#pragma once
// The palette tool's picture: the colours of a palette as square cells over a light
// texture, k columns wide, and what the tool says about a cell.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "toolkit/image.h"

inline constexpr int paletteViewWidth = 176;
inline constexpr int paletteViewHeight = 352;
// At most this many cells are shown; a longer palette is announced by the title.
inline constexpr int paletteCellLimit = 512;

struct PaletteGrid {
    int shown = 0;    // cells drawn: the palette's size, at most paletteCellLimit
    int columns = 0;  // k: the square root of shown / 2, rounded up
    int cell = 0;     // side of a cell: paletteViewWidth / k
};

// The grid for a palette of n colours. With the 1 : 2 picture it fills the height for
// n = 2 k^2. An empty palette has no cells.
PaletteGrid paletteGridFor(int64_t n);

// " Palette = 16", or "Palette > 512" for a longer palette.
std::string paletteTitle(int64_t n);

// The texture under the cells: light grays from x xor y, every component 192..255.
void drawPaletteBackdrop(Image& backdrop);

// The backdrop with the first `grid.shown` colours drawn over it row by row, left to right.
Image drawPaletteGrid(const Image& backdrop, std::span<const uint32_t> colours);

// Index of the cell under (x, y) of the picture, -1 for the texture around the cells.
int paletteCellAt(const PaletteGrid& grid, int x, int y);

// "#3A7F2C: 12,408 px (0.9 %)": a cell's colour, its pixel count and its share of `total`.
std::string paletteCellToolTip(uint32_t colour, int64_t count, int64_t total);

// How many pixels of the image have this red, green and blue (alpha ignored).
int64_t countColour(const Image& image, uint32_t colour);

// Every pixel whose red, green and blue equal `from` gets those of `to`; alpha is kept.
// Returns the number of pixels changed.
int64_t replaceColour(Image& image, uint32_t from, uint32_t to);

// The pixels a colour edit changed, one bit each (bit i % 64 of word i / 64 for pixel i),
// so the edit can be taken back without a copy of the image.
struct ColourEdit {
    uint32_t from = 0;
    std::vector<uint64_t> changed;
};

// replaceColour that remembers which pixels it changed.
ColourEdit replaceColourMarked(Image& image, uint32_t from, uint32_t to);

// Gives the marked pixels their colour from before the edit (alpha untouched), so the
// image is exactly as it was.
void undoColourEdit(Image& image, const ColourEdit& edit);

// The first entry equal to `from` becomes `to`; false when there is none.
bool replaceFirstEntry(std::vector<uint32_t>& palette, uint32_t from, uint32_t to);
