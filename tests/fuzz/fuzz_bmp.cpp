// libFuzzer target: the BMP decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeBmp(data, size);
    if (checkDecode(ImageFormat::Bmp, data, size, result))
        checkRoundTrip(ImageFormat::Bmp, result.image);
    return 0;
}
