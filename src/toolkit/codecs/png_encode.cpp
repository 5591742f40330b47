// PNG writing of our own: the chunks are simple, and compressing the whole filtered image
// in one call to libdeflate is several times faster than zlib's stream at the same size.
// An image of at most 256 distinct values (alpha included) is written with a palette at
// the smallest bit depth that holds it; anything else as 8-bit RGB or RGBA.

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/codecs/exif.h"
#include "toolkit/parallel.h"

namespace {

constexpr uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t chunkOverhead = 12;  // length, type, CRC
constexpr size_t ihdrBytes = 13;
// The compressed data goes in chunks of at most this size: a chunk's length field holds
// at most 2^31 - 1, and readers deal in chunks of this order anyway.
constexpr size_t maxIdatBytes = size_t{1} << 20;

enum ColourType : uint8_t { paletteColour = 3, rgbColour = 2, rgbaColour = 6 };
enum Filter : uint8_t { filterNone, filterSub, filterUp, filterAverage, filterPaeth, filterCount };

// Levels of libdeflate (1..12). Photographs: close to zlib's default size in a fraction of
// its time. Palette images are a third of the data and repay a little more effort.
constexpr int truecolourLevel = 4;
constexpr int paletteLevel = 6;

constexpr uint8_t perceptualIntent = 0;  // the sRGB chunk's rendering intent
constexpr uint8_t physPerMetre = 1;
constexpr size_t physBytes = 9;

void putBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Appends one chunk: length, type, data, CRC of type and data.
void appendChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data,
                 size_t size) {
    const size_t start = out.size();
    out.resize(start + chunkOverhead + size);
    uint8_t* p = out.data() + start;
    putBe32(p, static_cast<uint32_t>(size));
    std::memcpy(p + 4, type, 4);
    if (size > 0) std::memcpy(p + 8, data, size);
    putBe32(p + 8 + size, libdeflate_crc32(0, p + 4, size + 4));
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Bytes = LargeBytes;

// ---- Filters ----

// Pixels of a row that take part in choosing its filter: one in four is as good a guide
// as all of them, at a fraction of the cost.
constexpr int sampleStep = 4;

inline int paethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

// How far a residual is from zero, read as a signed byte.
inline uint32_t magnitude(int residual) {
    const uint8_t b = static_cast<uint8_t>(residual);
    return b < 128 ? b : 256u - b;
}

// The method whose residuals over the sampled pixels are smallest: those rows usually
// compress best. `prior` is the unfiltered row above, zeros above the first.
Filter chooseFilter(const uint8_t* raw, const uint8_t* prior, int width, int bpp) {
    uint32_t sums[filterCount] = {};
    for (int x = 1; x < width; x += sampleStep) {
        for (int k = x * bpp, end = k + bpp; k < end; ++k) {
            const int v = raw[k], a = raw[k - bpp], b = prior[k], c = prior[k - bpp];
            sums[filterNone] += magnitude(v);
            sums[filterSub] += magnitude(v - a);
            sums[filterUp] += magnitude(v - b);
            sums[filterAverage] += magnitude(v - ((a + b) >> 1));
            sums[filterPaeth] += magnitude(v - paethPredictor(a, b, c));
        }
    }
    int best = filterNone;
    for (int f = filterSub; f < filterCount; ++f) {
        if (sums[f] < sums[best]) best = f;
    }
    return static_cast<Filter>(best);
}

// Writes the row filtered by `filter` to `out`.
void applyFilter(Filter filter, const uint8_t* __restrict raw, const uint8_t* __restrict prior,
                 size_t n, size_t bpp, uint8_t* __restrict out) {
    switch (filter) {
        case filterNone:
            std::memcpy(out, raw, n);
            return;
        case filterSub:
            std::memcpy(out, raw, bpp);
            for (size_t i = bpp; i < n; ++i) out[i] = static_cast<uint8_t>(raw[i] - raw[i - bpp]);
            return;
        case filterUp:
            for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(raw[i] - prior[i]);
            return;
        case filterAverage:
            for (size_t i = 0; i < bpp; ++i)
                out[i] = static_cast<uint8_t>(raw[i] - (prior[i] >> 1));
            for (size_t i = bpp; i < n; ++i) {
                out[i] = static_cast<uint8_t>(raw[i] - ((raw[i - bpp] + prior[i]) >> 1));
            }
            return;
        case filterPaeth:
            // With nothing to the left the predictor is the byte above.
            for (size_t i = 0; i < bpp; ++i) out[i] = static_cast<uint8_t>(raw[i] - prior[i]);
            for (size_t i = bpp; i < n; ++i) {
                const int16_t a = raw[i - bpp], b = prior[i], c = prior[i - bpp];
                const int16_t pa = static_cast<int16_t>(std::abs(b - c));
                const int16_t pb = static_cast<int16_t>(std::abs(a - c));
                const int16_t pc = static_cast<int16_t>(std::abs(a + b - 2 * c));
                const int16_t bc = pb <= pc ? b : c;
                const int16_t predicted = (pa <= pb && pa <= pc) ? a : bc;
                out[i] = static_cast<uint8_t>(raw[i] - predicted);
            }
            return;
        case filterCount:
            break;
    }
}

// The image's rows as PNG scanlines (a filter byte, then RGB or RGBA bytes), each row
// filtered by the method that suits it.
Bytes truecolourScanlines(const Image& image, size_t& size) {
    const bool alpha = image.depth == 32;
    const size_t bpp = alpha ? 4 : 3;
    const size_t rowBytes = static_cast<size_t>(image.width) * bpp;
    size = (rowBytes + 1) * image.height;
    Bytes lines = allocateLarge(size);
    if (!lines) return lines;
    // Each row needs only itself and the unfiltered row above: the threads share them out.
    parallelRows(0, image.height - 1, image.width, [&](int y0, int y1) {
        // Two unfiltered rows for RGB (this one and the one above); zeros above the first.
        std::vector<uint8_t> scratch(rowBytes * 2, 0);
        uint8_t* rows[2] = {scratch.data(), scratch.data() + rowBytes};
        auto unfiltered = [&](int y) -> const uint8_t* {
            // Pixels lie R, G, B, A in memory: a 32-bit row is its own RGBA scanline.
            if (alpha) return reinterpret_cast<const uint8_t*>(image.row(y));
            uint8_t* to = rows[y & 1];
            const uint32_t* from = image.row(y);
            for (int x = 0; x < image.width; ++x, to += 3) {
                const uint32_t p = from[x];
                to[0] = static_cast<uint8_t>(p);
                to[1] = static_cast<uint8_t>(p >> 8);
                to[2] = static_cast<uint8_t>(p >> 16);
            }
            return rows[y & 1];
        };
        const uint8_t* prior = y0 > 0 ? unfiltered(y0 - 1) : rows[(y0 - 1) & 1];
        for (int y = y0; y < y1; ++y) {
            const uint8_t* raw = unfiltered(y);
            uint8_t* line = lines.get() + (rowBytes + 1) * y;
            const Filter f = chooseFilter(raw, prior, image.width, static_cast<int>(bpp));
            line[0] = f;
            applyFilter(f, raw, prior, rowBytes, bpp, line + 1);
            prior = raw;
        }
    });
    return lines;
}

int paletteBitDepth(size_t colours) {
    if (colours <= 2) return 1;
    if (colours <= 4) return 2;
    if (colours <= 16) return 4;
    return 8;
}

// The rows as palette indices packed at `bits` per pixel, high bits first, unfiltered
// (filters seldom help indices, whose values say nothing about their neighbours').
Bytes paletteScanlines(const Image& image, const ImagePalette& palette, int bits, size_t& size) {
    const size_t rowBytes = (static_cast<size_t>(image.width) * bits + 7) / 8;
    size = (rowBytes + 1) * image.height;
    Bytes lines = allocateLarge(size);
    if (!lines) return lines;
    const int perByte = 8 / bits;
    parallelRows(0, image.height - 1, image.width, [&](int y0, int y1) {
        PaletteIndex index(palette);
        for (int y = y0; y < y1; ++y) {
            uint8_t* line = lines.get() + (rowBytes + 1) * y;
            line[0] = filterNone;
            uint8_t* out = line + 1;
            const uint32_t* from = image.row(y);
            if (bits == 8) {
                for (int x = 0; x < image.width; ++x) out[x] = index(storedValue(image, from[x]));
                continue;
            }
            std::memset(out, 0, rowBytes);
            for (int x = 0; x < image.width; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                out[x / perByte] |=
                    static_cast<uint8_t>(index(storedValue(image, from[x])) << shift);
            }
        }
    });
    return lines;
}

}  // namespace

static EncodeResult encodePngUnguarded(const Image& image, const ImageMetadata& metadata) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;

    ImagePalette palette;
    const bool indexed = findImagePalette(image, palette);
    const int bits = indexed ? paletteBitDepth(palette.colours.size()) : 8;
    size_t size = 0;
    Bytes lines =
        indexed ? paletteScanlines(image, palette, bits, size) : truecolourScanlines(image, size);
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(indexed ? paletteLevel : truecolourLevel));
    if (!lines || !compressor) {
        result.error = "out of memory";
        return result;
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
    Bytes compressed = allocateLarge(bound);
    if (!compressed) {
        result.error = "out of memory";
        return result;
    }
    const size_t compressedSize =
        libdeflate_zlib_compress(compressor.get(), lines.get(), size, compressed.get(), bound);
    lines.reset();
    if (compressedSize == 0) {
        result.error = "PNG compression failed";
        return result;
    }

    std::vector<uint8_t>& out = result.bytes;
    const size_t idatChunks = (compressedSize + maxIdatBytes - 1) / maxIdatBytes;
    const std::vector<uint8_t> exif =
        metadata.exif.empty()
            ? std::vector<uint8_t>{}
            : exifForImage(metadata.exif, image.width, image.height, metadata.xDpi, metadata.yDpi);
    // Reserved whole, so the compressed data is copied once.
    out.reserve(sizeof pngSignature + (7 + idatChunks) * chunkOverhead + ihdrBytes + 1 + physBytes +
                exif.size() + 4 * ImagePalette::maxColours + compressedSize);
    out.assign(pngSignature, pngSignature + sizeof pngSignature);
    uint8_t ihdr[ihdrBytes] = {};
    putBe32(ihdr, static_cast<uint32_t>(image.width));
    putBe32(ihdr + 4, static_cast<uint32_t>(image.height));
    ihdr[8] = static_cast<uint8_t>(bits);
    ihdr[9] = indexed ? paletteColour : (image.depth == 32 ? rgbaColour : rgbColour);
    // ihdr[10..12]: deflate, adaptive filtering, no interlace.
    appendChunk(out, "IHDR", ihdr, ihdrBytes);
    // What Pixova holds is sRGB (profiles are converted away on load), and says so.
    appendChunk(out, "sRGB", &perceptualIntent, 1);
    if (metadata.hasResolution()) {
        uint8_t phys[physBytes];
        putBe32(phys, pixelsPerMetreFromDpi(metadata.xDpi));
        putBe32(phys + 4, pixelsPerMetreFromDpi(metadata.yDpi));
        phys[8] = physPerMetre;
        appendChunk(out, "pHYs", phys, physBytes);
    }
    if (!exif.empty()) appendChunk(out, "eXIf", exif.data(), exif.size());
    if (indexed) {
        std::vector<uint8_t> plte, trns;
        for (uint32_t c : palette.colours) {
            plte.insert(plte.end(),
                        {static_cast<uint8_t>(redOf(c)), static_cast<uint8_t>(greenOf(c)),
                         static_cast<uint8_t>(blueOf(c))});
        }
        appendChunk(out, "PLTE", plte.data(), plte.size());
        // A 32-bit image keeps a transparency table even when it is all opaque, so that it
        // reads back as a 32-bit image; translucent entries come first, so it can stop
        // after them.
        if (image.depth == 32) {
            for (size_t i = 0; i < std::max<size_t>(palette.translucent, 1); ++i) {
                trns.push_back(static_cast<uint8_t>(alphaOf(palette.colours[i])));
            }
            appendChunk(out, "tRNS", trns.data(), trns.size());
        }
    }
    for (size_t at = 0; at < compressedSize; at += maxIdatBytes) {
        appendChunk(out, "IDAT", compressed.get() + at,
                    std::min(maxIdatBytes, compressedSize - at));
    }
    appendChunk(out, "IEND", nullptr, 0);
    return result;
}

EncodeResult encodePng(const Image& image, const ImageMetadata& metadata) {
    return guardMemory<EncodeResult>([&] { return encodePngUnguarded(image, metadata); });
}
