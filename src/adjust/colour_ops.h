#pragma once
// Gray scale and negative over an inclusive rectangle; both keep each pixel's alpha.

#include "core/rect.h"

// Each pixel becomes the gray (2 red + 4 green + blue) / 7.
void grayScalePixels(Image& image, const Rect& rect);
// Red, green and blue each become 255 minus themselves.
void negativePixels(Image& image, const Rect& rect);
