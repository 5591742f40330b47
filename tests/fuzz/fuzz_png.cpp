// libFuzzer target: the PNG decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodePng(data, size);
    if (checkDecode(ImageFormat::Png, data, size, result))
        checkRoundTrip(ImageFormat::Png, result.image);
    return 0;
}
