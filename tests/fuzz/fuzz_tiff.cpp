// libFuzzer target: the TIFF decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeTiff(data, size);
    if (checkDecode(ImageFormat::Tiff, data, size, result)) {
        checkRoundTrip(ImageFormat::Tiff, result.image);
    }
    return 0;
}
