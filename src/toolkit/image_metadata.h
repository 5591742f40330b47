#pragma once
// What a file says about its picture besides the pixels: the resolution it is meant to
// print at and its EXIF block. It travels beside an Image, never inside it, so that no
// pixel algorithm ever sees it.

#include <cstdint>
#include <vector>

struct ImageMetadata {
    // Dots per inch across and down; 0 when the file gives none.
    double xDpi = 0;
    double yDpi = 0;
    // An EXIF block as a TIFF structure (from its "II*\0" or "MM\0*" header), without a
    // thumbnail and with Orientation 1, since the pixels beside it are upright; empty when
    // there is none.
    std::vector<uint8_t> exif;

    bool hasResolution() const { return xDpi > 0 && yDpi > 0; }
    bool empty() const { return !hasResolution() && exif.empty(); }
    void clear() { *this = ImageMetadata{}; }
    bool operator==(const ImageMetadata&) const = default;
};

inline constexpr double metresPerInch = 0.0254;
