#pragma once
// Embedded ICC profiles: the pixels of a file that carries one are converted to sRGB on
// load (LittleCMS, perceptual intent), so the program works on sRGB alone.

#include <cstddef>
#include <cstdint>

#include "toolkit/image.h"

// What the samples in the image stand for when the conversion starts.
enum class SampleKind {
    Rgb,   // red, green, blue as usual
    Grey,  // grey levels, held in all three channels
    Cmyk,  // inks: each word's bytes are C, M, Y, K (alpha is not held)
};

// Converts the pixels from the colour space `profile` describes to sRGB, in place; alpha
// is kept (CMYK pixels become opaque). `invertedInks`: CMYK bytes count 255 as no ink, as
// Adobe's JPEG files store them. Returns false, leaving the pixels as they were, when the
// profile is damaged or describes another kind of samples.
bool convertToSrgb(Image& image, const uint8_t* profile, size_t size, SampleKind kind,
                   bool invertedInks = false);
