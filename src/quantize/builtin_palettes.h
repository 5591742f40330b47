#pragma once
// The four built-in palettes of the quantize window, in the colour layout r | g << 8 |
// b << 16. They are constant tables, so they exist from the start and never change.

#include <array>
#include <cstdint>
#include <span>

inline constexpr int cgaColourCount = 16;
inline constexpr int egaColourCount = 64;
inline constexpr int truColorColourCount = 256;
inline constexpr int humanColourCount = 256;

// The 16 CGA colours; also entries 0..15 of the EGA palette and the start-up lookup table.
std::span<const uint32_t> cgaPalette();
// All 64 combinations of 0, 85, 170, 255 per channel, in the program's fixed order.
std::span<const uint32_t> egaPalette();
// 4 blue levels x 8 red levels x 8 green levels (green varies fastest).
std::span<const uint32_t> truColorPalette();
// Shade ramps of reds, greens, blues, skin tones and others, bright to dark.
std::span<const uint32_t> humanPalette();
