// libFuzzer target: the GIF decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeGif(data, size);
    // What a GIF shows always fits a GIF again, unless its frame lay past a 65535 screen.
    if (checkDecode(ImageFormat::Gif, data, size, result) && result.image.width <= 0xFFFF &&
        result.image.height <= 0xFFFF) {
        checkRoundTrip(ImageFormat::Gif, result.image);
    }
    return 0;
}
