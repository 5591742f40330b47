#pragma once
// Every quantize style side by side on one image, with and without dither: the numbers a
// user chooses a method by. Pure, so that the batch tool prints them and a window can show
// the very same.

#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

struct StyleComparison {
    int style = 0;
    bool dither = false;
    int limit = 0;  // the LIMIT it ran with (Uniform: levels per channel; 0: a fixed palette)
    int64_t colours = 0;
    double psnr = 0;  // dB over R, G, B; infinite when nothing changed
    double meanDeltaE = 0;
    int64_t pngBytes = 0;     // the PNG it would be saved as
    bool indexed = false;     // that PNG has a palette (at most 256 values)
    double milliseconds = 0;  // the quantization alone
};

// Runs every style with and without dither on the rectangle of a copy of `image` and
// measures each result against it there; best first by mean Delta E, then by PSNR, then
// in STYLE order. `colours` is the count asked for: the styles with a colour LIMIT take
// it, Uniform the most levels whose cube does not exceed it, and the fixed palettes have
// their own. currentPalette is as it was afterwards. An empty
// rectangle gives no rows.
std::vector<StyleComparison> compareStyles(const Image& image, const Rect& rect, int colours);

// One row of that table: `style` at `limit` (the LIMIT as the quantize window holds it),
// with or without dither, on the rectangle of a copy of `image`, measured there; the copy
// goes to `result` when one is given.
StyleComparison compareStyle(const Image& image, const Rect& rect, int style, int limit,
                             bool dither, Image* result = nullptr);
