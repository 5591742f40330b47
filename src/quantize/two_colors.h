#pragma once
// Two-colour conversion: every pixel becomes one of two colours by comparing its brightness
// with a threshold, plainly, after the 4 x 4 ordered dither, or with Sierra Lite error
// diffusion.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/rect.h"
#include "quantize/adaptive_quantize.h"
#include "toolkit/image.h"

enum class TwoColorsDither : int { None = 0, Ordered = 1, SierraLite = 2 };

inline constexpr int twoColorsSliderMax = 256;
inline constexpr int twoColorsDefaultSlider = 128;
inline constexpr uint32_t twoColorsDefault1 = 0x000000;  // below the threshold
inline constexpr uint32_t twoColorsDefault2 = 0xFFFFFF;  // at or above it

// Brightness 0..255: (2 * red + 4 * green + blue) div 7.
inline int twoColorsLevel(uint32_t c) {
    return weightedLevel(c) / 7;
}

// The slider runs the other way: moving it right lowers the threshold, so slider 0 gives
// 256 (everything colour 1) and slider 256 gives 0 (everything colour 2).
inline int thresholdFromSlider(int slider) {
    return twoColorsSliderMax - slider;
}

// Pixels of the rectangle whose level (of the pixel, or of its ordered-dither value) is
// below `threshold` become colour1, the others colour2; alpha is kept.
void thresholdTwoColors(Image& image, const Rect& rect, int threshold, uint32_t colour1,
                        uint32_t colour2, bool ordered);

// Sierra Lite at half strength over the whole image, in place: a pixel's error (measured
// against the levels 0 and 255 whatever the colours, and dropped beyond 0..255) sends a
// quarter to the right and an eighth each below and below-left; nothing crosses the left
// or right edge. Alpha is kept.
void sierraLiteTwoColors(Image& image, int threshold, uint32_t colour1, uint32_t colour2);

// One conversion of the rectangle with the given dither. Sierra Lite treats the rectangle
// as an image of its own, so the diffusion starts fresh at its edges.
void twoColors(Image& image, const Rect& rect, int threshold, TwoColorsDither dither,
               uint32_t colour1, uint32_t colour2);

// "none", "ordered" or "sierra".
std::optional<TwoColorsDither> twoColorsDitherFromName(std::string_view name);
