#pragma once
// Image files made in the tests through the libraries directly (not through the codecs
// under test): with colour profiles, EXIF, resolutions and the layouts other programs
// write. Also the colour profiles themselves, built with LittleCMS from published figures.

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/image.h"

// A profile like Adobe RGB (1998): its primaries (0.64, 0.33), (0.21, 0.71), (0.15, 0.06),
// the D65 white point and a gamma of 563/256 on each channel.
std::vector<uint8_t> adobeLikeProfile();
// Grey with a gamma of 1: the levels are linear light.
std::vector<uint8_t> linearGreyProfile();

// A flat w x h picture of one colour (opaque, 24-bit).
Image flatImage(int w, int h, uint32_t colour);

struct JpegMaking {
    std::vector<uint8_t> exif = {};     // the TIFF structure; "Exif\0\0" is put in front
    std::vector<uint8_t> profile = {};  // ICC, in APP2 pieces
    int densityUnit = 0;                // JFIF: 0 none, 1 per inch, 2 per centimetre
    int xDensity = 1;
    int yDensity = 1;
    bool grey = false;
};
// Quality 100 without chroma subsampling, so flat colours come back within a level.
std::vector<uint8_t> makeJpeg(const Image& image, const JpegMaking& making = {});

// A lossless WebP with an EXIF and an ICCP chunk when given.
std::vector<uint8_t> makeWebp(const Image& image, const std::vector<uint8_t>& exif = {},
                              const std::vector<uint8_t>& profile = {});
// An animation of the given frames (each the canvas's size), lossless.
std::vector<uint8_t> makeAnimatedWebp(const std::vector<Image>& frames);

struct TiffMaking {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t photometric = 2;  // RGB
    uint16_t bits = 8;
    uint16_t samples = 3;
    uint16_t sampleFormat = 1;  // unsigned whole numbers
    uint16_t compression = 1;   // none
    bool planes = false;        // one plane per sample
    int extraSample = -1;       // the kind of a last, alpha sample; -1 for none
    bool tiled = false;
    uint32_t tileSide = 16;
    uint32_t rowsPerStrip = 2;
    // Samples row by row, interleaved, each at most 2^bits - 1.
    std::vector<uint16_t> values = {};
    std::vector<uint16_t> colourMap = {};  // red, green, blue, 2^bits entries each
    uint16_t orientation = 1;
    float xResolution = 0;  // none when 0
    float yResolution = 0;
    uint16_t resolutionUnit = 2;
    std::vector<uint8_t> profile = {};
    int pages = 1;         // further pages repeat the first
    bool jpegRgb = false;  // JPEG data stored as YCbCr, as libtiff writes it from RGB
};
std::vector<uint8_t> makeTiff(const TiffMaking& making);

// The samples of `image` (R, G, B and, when `alpha`, A) for TiffMaking::values.
std::vector<uint16_t> rgbSamples(const Image& image, bool alpha);
