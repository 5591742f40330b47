#pragma once
// Helpers shared by the codecs: size checks with messages that name the size, a growable
// output buffer that C callbacks can fill without C++ exceptions, and encoder input checks.

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "toolkit/image.h"

// Decoders write R, G, B, A bytes straight into Image::pixels, which is the colour layout
// only on little-endian machines (the same assumption lets the canvas wrap the buffer).
static_assert(std::endian::native == std::endian::little, "pixel byte order assumes little-endian");

// Empty when a w x h image may be created, else a message naming the size.
std::string imageSizeError(int64_t width, int64_t height);

// Empty when `image` is something an encoder can write (sizes, depth, pixel count).
std::string encoderInputError(const Image& image);

// Clamps a quality on the program's 0..10 scale.
inline int clampQuality(int quality) {
    return quality < 0 ? 0 : (quality > 10 ? 10 : quality);
}

// A malloc'd byte buffer that C library callbacks append to. It never throws: a failed
// allocation sets `failed` and the callback reports the error the library's own way.
// The sink itself lives in the caller's frame, never in a setjmp'd one.
struct ByteSink {
    uint8_t* data = nullptr;
    size_t size = 0;  // bytes written (the end of the data)
    size_t capacity = 0;
    size_t position = 0;  // write position, for codecs that seek back to patch headers
    bool failed = false;

    ByteSink() = default;
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;
    ~ByteSink() { std::free(data); }
};

// Writes `count` bytes at the sink's position, growing it; false when memory ran out.
bool sinkWrite(ByteSink* sink, const void* bytes, size_t count);

// Big- and little-endian readers over a bounded byte range.
inline uint32_t readBe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint16_t readLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Runs a codec body, turning a failed allocation (a huge but allowed image on a machine
// short of memory) into an error result, so no codec ever throws.
template <typename Result, typename Body>
Result guardMemory(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    Result result;
    result.error = "out of memory";
    return result;
}
