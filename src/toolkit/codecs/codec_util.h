#pragma once
// Helpers shared by the codecs: size checks with messages that name the size, a growable
// output buffer that C callbacks can fill without C++ exceptions, and encoder input checks.

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit/image.h"
#include "toolkit/image_metadata.h"

// Decoders write R, G, B, A bytes straight into Image::pixels, which is the colour layout
// only on little-endian machines (the same assumption lets the canvas wrap the buffer).
static_assert(std::endian::native == std::endian::little, "pixel byte order assumes little-endian");

// The most memory one decode may use, the library's working memory included: the pixel
// limit's worth of image plus room for buffers. Decoders that need more working memory
// than small buffers (progressive JPEG coefficients, JPEG 2000 samples) check their need
// against it before allocating.
inline constexpr int64_t maxDecodeBytes = maxImagePixels * 4 + (int64_t{64} << 20);

struct DecodeResult;
// JPEG 2000 decoding `bandRows` rows at a time (0: as many as a fixed working budget
// allows); decodeJpeg2000 uses 0. Exposed so that tests can force many bands.
DecodeResult decodeJpeg2000InBands(const uint8_t* data, size_t size, int64_t bandRows);

// Empty when a w x h image may be created, else a message naming the size.
std::string imageSizeError(int64_t width, int64_t height);

// Empty when `image` is something an encoder can write (sizes, depth, pixel count).
std::string encoderInputError(const Image& image);

// Dots per inch from pixels per metre (PNG, BMP). A whole number of dots per inch is
// stored rounded (300 as 11811, which is 299.9994); what such a number was stored as is read
// back as that number.
double dpiFromPixelsPerMetre(uint32_t pixelsPerMetre);
// Pixels per metre, rounded, at least 1; from dots per inch above 0.
uint32_t pixelsPerMetreFromDpi(double dpi);

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

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using LargeBytes = std::unique_ptr<uint8_t[], FreeDeleter>;

// Uninitialised memory for a buffer the size of an image, in huge pages where the system
// offers them: touching every 4 KiB page of such a buffer for the first time can cost more
// than the work done in it. Null when memory ran out.
LargeBytes allocateLarge(size_t size);

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

// The distinct pixel values of an image that has few of them, for the indexed formats.
// A 32-bit image's values include alpha, and all its fully transparent pixels are the one
// value 0; a 24-bit image's are opaque.
struct ImagePalette {
    static constexpr size_t maxColours = 256;
    // In writing order: colours with alpha below 255 first (so a transparency table can
    // stop early), then by value.
    std::vector<uint32_t> colours;
    // Number of leading entries whose alpha is below 255.
    size_t translucent = 0;
};

// Fills `palette` and returns true when the image holds at most 256 distinct values; stops
// at the 257th and returns false.
bool findImagePalette(const Image& image, ImagePalette& palette);

// How a picture goes into a format whose palette holds no alpha (BMP, TIFF): a 32-bit one
// with its alpha and no palette, a 24-bit one of at most 256 colours with its palette.
struct OpaquePaletteChoice {
    bool alpha = false;
    bool indexed = false;
    ImagePalette palette;
};
OpaquePaletteChoice chooseOpaquePalette(const Image& image);

// Maps pixel values of a palette to their positions in it: a small hash table, built once,
// then one probe per pixel (none for a run of equal pixels).
class PaletteIndex {
  public:
    explicit PaletteIndex(const ImagePalette& palette);
    // The position of a value the palette holds (a value it lacks gives 0).
    uint8_t operator()(uint32_t value) {
        if (value == lastValue_) return lastIndex_;
        lastValue_ = value;
        lastIndex_ = lookUp(value);
        return lastIndex_;
    }

  private:
    uint8_t lookUp(uint32_t value) const;
    std::vector<uint64_t> slots_;  // tagged value << 8 | index
    uint32_t lastValue_;
    uint8_t lastIndex_;
};

// What a 24-bit image stores is opaque whatever its fourth byte says; a fully transparent
// pixel shows nothing, whatever colour it hides, so all of them are one value.
inline uint32_t storedValue(const Image& image, uint32_t pixel) {
    if (image.depth != 32) return pixel | alphaMask;
    return (pixel & alphaMask) == 0 ? 0 : pixel;
}
