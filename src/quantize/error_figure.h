#pragma once
// How far a reduced image lies from its source: the peak signal-to-noise ratio over red,
// green and blue, and the mean CIE76 colour difference (Delta E*ab in CIELAB, sRGB with the
// D65 white). Numbers for choosing between methods, beside the eye.

#include <cstdint>
#include <string>

#include "core/rect.h"
#include "toolkit/image.h"

struct ErrorFigure {
    int64_t pixels = 0;           // pixels compared
    int64_t colours = 0;          // distinct colours of the result among them
    double meanSquaredError = 0;  // per channel, over red, green and blue
    double psnr = 0;              // dB; infinite when the images are equal
    double meanDeltaE = 0;        // averaged over the pixels
    bool exact() const { return pixels > 0 && meanSquaredError == 0; }
};

// Compares the rectangle (clipped to both images) of `result` with the same pixels of
// `source`, and counts the result's colours there; alpha is ignored. An empty
// rectangle, or images of different sizes, give an empty figure (pixels 0).
ErrorFigure measureError(const Image& source, const Image& result, const Rect& rect);
ErrorFigure measureError(const Image& source, const Image& result);

// The mean CIE76 Delta E of the whole images after a Gaussian blur of sigma 1 pixel of
// both, in linear light: how a dithered result looks from a normal viewing distance, where
// the dots merge. Alpha is ignored; images of different sizes give 0.
double blurredDeltaE(const Image& source, const Image& result);

// PSNR over premultiplied red, green and blue (each times alpha / 255) and alpha: what an
// image with transparency shows over any background. Infinite when equal; images of
// different sizes give 0.
double premultipliedPsnr(const Image& source, const Image& result);

// "256 colors | PSNR 38.2 dB | mean dE 1.9"; equal images show "PSNR exact".
std::string errorFigureText(const ErrorFigure& figure);

// The CIELAB value of one colour (for tests and for anyone wanting single colours).
struct LabColour {
    double l, a, b;
};
LabColour labOf(uint32_t colour);
