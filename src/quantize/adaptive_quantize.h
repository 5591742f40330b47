#pragma once
// Palettes built from the image's own colours: Popularity and Adaptive.

#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

inline constexpr int minPaletteLimit = 2;
inline constexpr int maxPaletteLimit = 256;

// 2 * red + 4 * green + blue (0..1785): the brightness that chooses a Popularity band.
inline int weightedLevel(uint32_t c) {
    return 2 * redOf(c) + 4 * greenOf(c) + blueOf(c);
}

// The channel mask Popularity posterizes with before counting: 2 bits per channel when
// fewer than 48 colours are wanted and that still leaves at least limit + 10 colours, else
// 3 bits under the same condition, else 4 bits. The counts cover the whole image, with
// only the rectangle posterized; `limit` is already reduced to the image's colour count.
uint32_t popularityPosterizeMask(const Image& image, const Rect& rect, int limit);

// The Popularity palette: the most frequent posterized colours of the rectangle taken in
// turn from four brightness bands (brightest, darkest, upper middle, lower middle). At
// most `limit` entries; fewer when the image or the rectangle has fewer colours.
std::vector<uint32_t> popularityPalette(const Image& image, const Rect& rect, int limit);

// Builds the Popularity palette and maps the rectangle onto it. Returns the palette (for
// currentPalette); an empty image is left alone and gives an empty list.
std::vector<uint32_t> popularityQuantize(Image& image, const Rect& rect, int limit, bool dither);

// The Adaptive palette: `limit` samples spaced evenly through the sorted pixel values of
// the rectangle, each colour taken once, re-spacing the rest after a skipped run.
std::vector<uint32_t> adaptivePalette(const Image& image, const Rect& rect, int limit);

// Builds the Adaptive palette and maps the rectangle onto it. Returns the palette.
std::vector<uint32_t> adaptiveQuantize(Image& image, const Rect& rect, int limit, bool dither);

// Sorts 24-bit colour values in ascending order (a radix sort; same result as std::sort).
void sortColourValues(std::vector<uint32_t>& values);
