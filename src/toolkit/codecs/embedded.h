#pragma once
// What a decoder finds beside the pixels, and the steps every decoder takes with it once
// the pixels are in: the colour profile converted away, the picture turned upright, the
// metadata filled in.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/colour_profile.h"

struct Embedded {
    std::vector<uint8_t> profile;  // an ICC profile, or empty
    SampleKind samples = SampleKind::Rgb;
    std::vector<uint8_t> exif;  // the EXIF block as found, "Exif\0\0" or not; or empty
    // The format's own resolution field, in dots per inch; 0 when it has none.
    double xDpi = 0;
    double yDpi = 0;
    // The format's own orientation (TIFF has one); 0 to take the EXIF block's.
    int orientation = 0;
    // The decoder has placed the pixels upright already (the metadata still follows the
    // orientation).
    bool upright = false;
};

// Converts the decoded pixels to sRGB by the profile, turns them upright and fills
// result.metadata: the format's resolution, else the EXIF block's (across and down
// swapped by a quarter turn), and the block made fit to keep.
void finishDecode(DecodeResult& result, const Embedded& embedded);
