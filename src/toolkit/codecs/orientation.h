#pragma once
// Turning a picture as its file says it was stored (EXIF Orientation) into an upright one.

#include <cstdint>

#include "toolkit/image.h"

// Orientation 1..8 as EXIF numbers them: where the stored first row and first column
// belong. 1 is upright; 5 to 8 swap width and height.
inline constexpr int uprightOrientation = 1;
inline constexpr bool orientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Turns `image` upright in place. Any other number than 2..8 leaves it as it is. Needs
// no second image: beyond a small size the quarter turns move each pixel once along the
// cycles of the permutation, remembering one bit per pixel.
void orientUpright(Image& image, int orientation);

// For decoders that produce rows in order and know the orientation first: puts `rows`
// stored rows (the stored picture's rows `top` onwards, each `storedWidth` pixels, one
// after another in `band`) where they belong in `upright`, which already has the upright
// size of a `storedWidth` x `storedHeight` picture. Quicker than turning afterwards, and
// needs only the band.
void placeRowsUpright(Image& upright, const uint32_t* band, int top, int rows, int storedWidth,
                      int storedHeight, int orientation);

// The size a stored `width` x `height` picture has upright.
inline void uprightSize(int orientation, int& width, int& height) {
    if (orientationSwapsSides(orientation)) {
        const int w = width;
        width = height;
        height = w;
    }
}
