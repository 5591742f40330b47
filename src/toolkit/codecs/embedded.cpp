#include "toolkit/codecs/embedded.h"

#include <utility>

#include "toolkit/codecs/exif.h"
#include "toolkit/codecs/orientation.h"

void finishDecode(DecodeResult& result, const Embedded& embedded) {
    if (!result.ok() || result.image.empty()) return;
    if (!embedded.profile.empty()) {
        // A profile that cannot be used leaves the pixels as sRGB, as a file without one.
        convertToSrgb(result.image, embedded.profile.data(), embedded.profile.size(),
                      embedded.samples);
    }
    ExifFacts facts;
    if (!embedded.exif.empty()) {
        const uint8_t* data = embedded.exif.data();
        size_t size = embedded.exif.size();
        skipExifPrefix(data, size);
        result.metadata.exif = keepableExif(data, size, facts);
    }
    const int orientation = embedded.orientation != 0 ? embedded.orientation : facts.orientation;
    if (!embedded.upright) orientUpright(result.image, orientation);

    double x = embedded.xDpi, y = embedded.yDpi;
    if (x <= 0 || y <= 0) {
        x = facts.xDpi;
        y = facts.yDpi;
    }
    if (x > 0 && y > 0) {
        if (orientationSwapsSides(orientation)) std::swap(x, y);
        result.metadata.xDpi = x;
        result.metadata.yDpi = y;
    }
}
