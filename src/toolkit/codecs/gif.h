#pragma once
// Making a picture fit a GIF, which holds at most 256 colours and no partial
// transparency. The encoder refuses what does not fit; the editor and pixova-batch use
// these on a copy first, so the document itself never changes by a save.

#include <cstdint>

#include "toolkit/image.h"

inline constexpr int gifMaxColours = 256;
// Alpha at or above this becomes opaque in a GIF, below it fully transparent.
inline constexpr int gifAlphaThreshold = 128;

// True when a 32-bit image has a pixel that is neither opaque nor fully transparent.
bool hasPartialAlpha(const Image& image);

// Every pixel becomes opaque or fully transparent by `threshold`; a transparent one
// keeps no hidden colour (it becomes 0).
void thresholdAlpha(Image& image, int threshold = gifAlphaThreshold);

// The number of palette entries a GIF of this image would need: one per opaque colour,
// one more when any pixel is fully transparent; counting stops past `stopAfter`. The
// image should hold no partial alpha (thresholdAlpha).
int64_t gifColourCount(const Image& image, int64_t stopAfter = INT64_MAX);
