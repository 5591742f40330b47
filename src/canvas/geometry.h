#pragma once
// Turning, reversing, scaling and extending images: pure functions of an image, a rectangle
// and plain numbers, shared by the editor's commands and pixova-batch.

#include <cstdint>

#include "core/rect.h"

// ---- Turns and reversals ----

// Turns the whole image a quarter clockwise (or counter-clockwise); width and height swap
// and every pixel takes its alpha along. False, changing nothing, for an empty image or a
// depth other than 24 or 32.
bool rotateQuarterPixels(Image& image, bool clockwise);
// Half turn of the rectangle. Only red, green and blue move: each position keeps its own
// alpha.
void rotateHalfPixels(Image& image, const Rect& rect);
// Top becomes bottom inside the rectangle; whole pixels move. An odd middle row stays.
void flipPixels(Image& image, const Rect& rect);
// Left becomes right inside the rectangle; whole pixels move. An odd middle column stays.
void mirrorPixels(Image& image, const Rect& rect);

// Draws `section` over `target` at (x, y), composited by alpha: a transparent pixel of the
// section leaves the target alone, an opaque one replaces it, and where the target itself
// is transparent the section shows through instead of taking the target's transparency.
// Parts outside the target are dropped.
void placeSection(Image& target, const Image& section, int x, int y);

// ---- Sizes ----

// The sides of a picture the editor makes (New image, paste as new, resize image); a canvas
// is never extended past the larger one either.
inline constexpr int smallestSide = 16;
inline constexpr int largestSide = 4096;

// A side typed into "resize image": raised to 16, then lowered to 4096.
int clampResizeSide(int64_t side);
// The size "resize image" makes of the typed sides of an image of currentW x currentH.
// Typed sides equal to the current ones are left as they are, even above 4096. Otherwise
// each side goes into 16..4096; with keepAspect both are scaled by one factor so the
// picture is not squeezed (4272 x 2848 within 4096 is 4096 x 2731), unless the sides are
// too far apart for both to fit, when each is clamped on its own.
struct ResizeSize {
    int width = 0;
    int height = 0;
    bool operator==(const ResizeSize&) const = default;
};
ResizeSize resizeImageSize(int64_t typedWidth, int64_t typedHeight, bool keepAspect, int currentW,
                           int currentH);
// A side typed into "resize canvas": the canvas never grows past 4096 and never shrinks, so
// a side that is already above 4096 stays as it is.
int clampCanvasSide(int64_t side, int current);

// The other side under "keep aspect ratio", `ratio` being height / width in single
// precision: the height for a typed width, or the width for a typed height, to the nearest
// integer with halves to even. Never negative.
int64_t heightForWidth(int64_t width, float ratio);
int64_t widthForHeight(int64_t height, float ratio);
float aspectRatio(int width, int height);

// The image scaled to w x h (each at least 1) by separable two-pass resampling of all four
// channels with the Mitchell-Netravali cubic (B = C = 1/3), widened by the reduction factor
// when shrinking. An axis whose size does not change is copied as it is. The depth is kept.
Image resampleMitchell(const Image& source, int w, int h);

// Where the old picture lands on a new canvas of newW x newH: positions 1 to 9 in reading
// order (1 top-left, 5 centre, 9 bottom-right).
inline constexpr int firstAnchor = 1;
inline constexpr int centreAnchor = 5;
inline constexpr int lastAnchor = 9;
struct AnchorOffset {
    int x = 0;
    int y = 0;
};
AnchorOffset anchorOffset(int position, int oldW, int oldH, int newW, int newH);

// A 32-bit newW x newH image filled with the opaque `background` colour, with `source`
// copied onto it (all four channels) at the anchor `position`.
Image extendCanvas(const Image& source, int newW, int newH, int position, uint32_t background);
