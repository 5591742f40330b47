#pragma once
// Quantization by formula (Uniform levels, channel masks) and by the built-in palettes.

#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

inline constexpr int minUniformLevels = 2;
inline constexpr int maxUniformLevels = 16;

// Per-channel parameters of Uniform with L levels: a channel value v becomes
// (v / bin) * step.
struct UniformLevels {
    int bin;
    int step;
};
UniformLevels uniformLevels(int levels);

// Reduces every channel of the rectangle to `levels` (2..16) evenly spaced levels. With
// dither the 4 x 4 ordered pattern is added to the input first. Returns the distinct
// colours written (for currentPalette).
std::vector<uint32_t> uniformQuantize(Image& image, const Rect& rect, int levels, bool dither);

// The channel mask of a mask style (8..14), or 0 for any other style.
uint32_t maskForStyle(int style);

// Keeps the top bits of each channel given by the style's mask and sets the low four:
// (input & mask) | 0x0F0F0F. Returns the distinct colours written; any style outside
// 8..14 changes nothing and returns an empty list.
std::vector<uint32_t> maskQuantize(Image& image, const Rect& rect, int style, bool dither);

// Maps the rectangle onto the CGA (style 3), EGA (4), TruColor (5) or Human (6) palette;
// dithering is error diffusion. Other styles change nothing.
void fixedPaletteQuantize(Image& image, const Rect& rect, int style, bool dither);
