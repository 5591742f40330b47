#pragma once
// The one entry point of the quantization methods, shared by the quantize window and the
// batch tool, and what each STYLE offers.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/rect.h"
#include "quantize/styles.h"
#include "toolkit/image.h"

struct StyleInfo {
    const char* caption;    // as listed in the STYLE list
    const char* batchName;  // as given on the batch tool's command line
    bool usesLimit;         // LIMIT is enabled for this style
    int minLimit;           // LIMIT range (Uniform: levels per channel)
    int maxLimit;
    int defaultLimit;  // LIMIT when the window first opens
    int paletteSize;   // what LIMIT shows for a style that does not use it (0 otherwise)
};

// The sixteen styles, indexed by STYLE number.
std::span<const StyleInfo> quantizeStyles();
const StyleInfo& styleInfo(int style);
// The style with this batch name, or -1.
int styleFromBatchName(std::string_view name);

// `limit` brought into the style's LIMIT range, as the window keeps it.
int clampStyleLimit(int style, int limit);

// Text LIMIT shows: levels^3 for Uniform, the limit for Popularity, Adaptive and Best
// quality, the palette size for the others.
int styleLimitDisplay(int style, int limit);

// Runs the method of `style` on the rectangle of `image` (limit clamped to the style's
// range; ignored by styles without LIMIT) and returns the palette it produced, which the
// caller makes the currentPalette: Uniform, the mask styles, Popularity, Adaptive and Best
// quality return theirs (Best quality: the colours of the entries the result uses, alpha
// left out); the built-in palettes and Neuquant_256 return none, so currentPalette stays.
// An unknown style or an empty rectangle does nothing and returns none.
std::optional<std::vector<uint32_t>> runQuantizeStyle(Image& image, const Rect& rect, int style,
                                                      int limit, bool dither);

// Start-up state of the subsystem: palettes back to one entry 0.
void initQuantize();
