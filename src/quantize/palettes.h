#pragma once
// Palette state of the quantization subsystem, colour counting and palette extraction.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

// Each thread has its own palettes and lookup, so a batch can quantize several files at
// once; the editor uses them from its one thread only.

// Colours collected by the last extraction (at most extractionLimit entries).
extern thread_local std::vector<uint32_t> extractedPalette;
// The palette of the image as it now stands: written by the Uniform, mask, Popularity and
// Adaptive methods and by an extraction without selection; read and edited by the palette
// tool.
extern thread_local std::vector<uint32_t> currentPalette;

// Both palettes back to their start-up state: one entry, 0.
void resetPalettes();

// An extraction stops once it holds more than 512 colours, so 513 entries mean "more".
inline constexpr size_t extractionLimit = 513;

// Number of distinct 24-bit colours in the whole image (alpha ignored).
int64_t countUniqueColours(const Image& image);
// The same for the rectangle (clipped to the image) only, without copying it out.
int64_t countUniqueColours(const Image& image, const Rect& rect);

// The distinct 24-bit colours of the image in order of first appearance (rows top to
// bottom, left to right), stopping once more than limit - 1 colours are held.
std::vector<uint32_t> distinctColours(const Image& image, size_t limit = extractionLimit);

// Fills extractedPalette from `source` (the whole image, or the grabbed selection when
// `selectionActive`) and, without a selection, copies it into currentPalette. Showing the
// palette tool is left to the caller.
void extractPalette(const Image& source, bool selectionActive);
