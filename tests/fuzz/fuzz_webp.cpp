// libFuzzer target: the WebP decoder on arbitrary bytes, held to the decode contract. A
// decoded picture may need lossy WebP again, so its round trip goes through PNG.

#include "contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeResult result = decodeWebp(data, size);
    if (checkDecode(ImageFormat::WebP, data, size, result)) {
        checkRoundTrip(ImageFormat::Png, result.image);
    }
    return 0;
}
