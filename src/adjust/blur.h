#pragma once
// Gaussian blur: a separable five-tap binomial filter (1 4 6 4 1) / 16, rows then columns,
// run twice. It works on the image's own 32-bit words and filters each of the four bytes
// of a pixel alike (alpha included), carrying every byte's rounding remainder along the
// line so that a line's total intensity is kept.

#include <cstddef>
#include <cstdint>

#include "core/rect.h"
#include "toolkit/image.h"

// Its caption in the Effects menu.
inline constexpr const char* gaussianBlurCaption = "Gaussian Blur";

// Rounds blurImage runs on top of the first, as the Effects menu uses it (two in all).
inline constexpr int defaultBlurRounds = 1;

// Filters one line of n pixels in place; successive pixels are strideBytes apart (a
// multiple of 4). Lines shorter than 3 pixels are left unchanged.
void blurLine(uint32_t* start, int n, ptrdiff_t strideBytes);

// One round over a w x h buffer whose rows are pitchBytes apart (0 meaning w * 4, a
// multiple of 4 otherwise): every row, then every column.
void blurBuffer(uint32_t* buffer, int w, int h, ptrdiff_t pitchBytes = 0);

// Filters the whole image roundCount + 1 times.
void blurImage(Image& image, int roundCount = defaultBlurRounds);

// Blurs the rectangle (clipped to the image) as an image of its own: its edges are treated
// as image edges and nothing outside it is read or changed.
void blurRect(Image& image, const Rect& rect, int roundCount = defaultBlurRounds);
