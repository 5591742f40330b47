#pragma once
// What every decoder promises, checked on whatever it accepts. A broken promise ends the
// program (abort), which libFuzzer reports as a crash and the replay as a failed test.

#include <cstddef>
#include <cstdint>

#include "toolkit/codecs/codec.h"

// The file being replayed, named in failure messages (null under libFuzzer).
extern const char* contractInput;

// Reports `what` and aborts.
[[noreturn]] void contractBroken(const char* what);

// A decoded image (when `result` is ok) has the size `data` declares (or that size turned
// a quarter, by an orientation the file gives), a pixel per
// position, depth 24 or 32, and opaque pixels at depth 24; a refused one has no image and
// a reason. Returns result.ok().
bool checkDecode(ImageFormat format, const uint8_t* data, size_t size, const DecodeResult& result);

// Encodes `image` in `format` and decodes it again: the same pixels and depth must come back
// (fully transparent pixels alike whatever colour they hide).
void checkRoundTrip(ImageFormat format, const Image& image);
