#pragma once
// Brightness and contrast transforms run by the brightness and contrast window as live
// previews. Both work in place on the red, green and blue of every pixel of an inclusive
// rectangle and keep each pixel's alpha byte.

#include <cstdint>

#include "core/rect.h"
#include "toolkit/image.h"

inline constexpr int minBrightnessAmount = -128;
inline constexpr int maxBrightnessAmount = 128;
inline constexpr int minContrastAmount = -100;
inline constexpr int maxContrastAmount = 100;

// What brightness does when a component would leave 0..255.
enum class LimitOption {
    HoldRatio,  // shrink the pixel's step so its largest (smallest) component stops at the limit
    Clamp,      // each component stops at the limit on its own
    Wrap,       // components run past the limit and come in at the other end
};

// The brightness window's controls; the defaults are the window's initial state.
struct BrightnessSettings {
    int amount = 0;  // minBrightnessAmount..maxBrightnessAmount
    LimitOption limitOption = LimitOption::HoldRatio;
    bool ratioMode = true;  // false: "equal", every component gets the same step
    bool proportional = true;
    bool enableRed = true;
    bool enableGreen = true;
    bool enableBlue = true;
};

// The brightness result for one colour value (red, green, blue; bits 24..31 are ignored and
// come back 0).
uint32_t brightnessPixel(uint32_t colour, const BrightnessSettings& settings);

// The contrast result for one colour value (bits 24..31 ignored, returned 0).
uint32_t contrastPixel(uint32_t colour, int amount);

// Transforms every pixel of `rect` (clipped to the image) in place, rows top to bottom.
// Amounts outside their ranges are brought to the nearest end of the range.
void applyBrightness(Image& image, const Rect& rect, const BrightnessSettings& settings);
void applyContrast(Image& image, const Rect& rect, int amount);
