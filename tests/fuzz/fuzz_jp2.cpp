// libFuzzer target: the JPEG 2000 decoder on arbitrary bytes, held to the decode contract.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeJpeg2000(data, size);
    checkDecode(ImageFormat::Jpeg2000, data, size, result);
    return 0;
}
