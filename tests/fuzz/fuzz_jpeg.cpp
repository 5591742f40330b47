// libFuzzer target: the JPEG decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeJpeg(data, size);
    checkDecode(ImageFormat::Jpeg, data, size, result);
    return 0;
}
