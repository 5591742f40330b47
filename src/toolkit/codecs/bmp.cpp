// BMP, our own reader and writer. The reader takes the core (12-byte), OS/2 2.x,
// BITMAPINFOHEADER and V2 to V5 headers; 1, 2, 4, 8, 16, 24 and 32 bits per pixel;
// uncompressed, RLE8, RLE4 and bit-field data, bottom-up or top-down. Every field is
// checked against the file before it is used. The writer makes 8-bit paletted files for
// 24-bit images of at most 256 colours, 24-bit files for other 24-bit images, and 32-bit
// V5 files with an alpha bit field for 32-bit images, so a saved file reads back exactly.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"

namespace {

constexpr size_t fileHeaderBytes = 14;
constexpr uint32_t coreHeaderBytes = 12;
constexpr uint32_t os2MinHeaderBytes = 16;
constexpr uint32_t infoHeaderBytes = 40;
constexpr uint32_t v2HeaderBytes = 52;  // + red, green and blue masks
constexpr uint32_t v3HeaderBytes = 56;  // + alpha mask
constexpr uint32_t os2MaxHeaderBytes = 64;
constexpr uint32_t v4HeaderBytes = 108;
constexpr uint32_t v5HeaderBytes = 124;

// Offsets from the start of the file.
constexpr size_t dataOffsetField = 10;
constexpr size_t headerSizeField = 14;
constexpr size_t infoFields = 18;  // width follows the header size

enum Compression : uint32_t {
    biRgb = 0,
    biRle8 = 1,
    biRle4 = 2,
    biBitfields = 3,
    biJpeg = 4,
    biPng = 5,
    biAlphaBitfields = 6,
};

enum RleEscape : uint8_t { rleEndOfLine = 0, rleEndOfBitmap = 1, rleDelta = 2 };

struct Header {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // always positive here; topDown keeps the sign
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = biRgb;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    size_t maskBytes = 0;              // bit fields stored after a 40-byte header
    size_t paletteEntryBytes = 4;
    uint32_t dataOffset = 0;
    uint32_t xPixelsPerMetre = 0;  // 0 when not given
    uint32_t yPixelsPerMetre = 0;
};

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t maxValue = 0;
};

Channel channelOf(uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask) {
        c.shift = std::countr_zero(mask);
        c.maxValue = mask >> c.shift;
    }
    return c;
}

uint32_t channelValue(const Channel& c, uint32_t value) {
    uint64_t v = (value & c.mask) >> c.shift;
    if (c.maxValue == 255) return static_cast<uint32_t>(v);
    return static_cast<uint32_t>((v * 255 + c.maxValue / 2) / c.maxValue);
}

bool isContiguous(uint32_t mask) {
    uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

std::string checkMasks(const Header& h) {
    const uint32_t usable = h.bitCount == 32 ? 0xFFFFFFFFu : (1u << h.bitCount) - 1;
    uint32_t seen = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t m = h.masks[i];
        if (m == 0) {
            if (i < 3) return "BMP color bit mask is empty";
            continue;
        }
        if (!isContiguous(m) || (m & ~usable) || (m & seen)) return "invalid BMP bit masks";
        seen |= m;
    }
    return {};
}

std::string readHeader(const uint8_t* data, size_t size, Header& h) {
    if (size < fileHeaderBytes + 4) return "BMP file is truncated";
    h.dataOffset = readLe32(data + dataOffsetField);
    h.headerSize = readLe32(data + headerSizeField);
    const uint32_t hs = h.headerSize;
    bool os2 = hs == coreHeaderBytes ||
               (hs >= os2MinHeaderBytes && hs <= os2MaxHeaderBytes && hs != infoHeaderBytes &&
                hs != v2HeaderBytes && hs != v3HeaderBytes);
    if (!os2 && hs != infoHeaderBytes && hs != v2HeaderBytes && hs != v3HeaderBytes &&
        hs != v4HeaderBytes && hs != v5HeaderBytes) {
        return "unsupported BMP header size " + std::to_string(hs);
    }
    if (size - fileHeaderBytes < hs) return "BMP file is truncated";
    const uint8_t* p = data + infoFields;
    int planes;
    if (hs == coreHeaderBytes) {
        h.width = readLe16(p);
        h.height = readLe16(p + 2);
        planes = readLe16(p + 4);
        h.bitCount = readLe16(p + 6);
        h.paletteEntryBytes = 3;
    } else {
        h.width = static_cast<int32_t>(readLe32(p));
        int64_t height = static_cast<int32_t>(readLe32(p + 4));
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        planes = readLe16(p + 8);
        h.bitCount = readLe16(p + 10);
        // An OS/2 2.x header may be cut anywhere after the bit count; absent fields are 0.
        if (hs >= 20) h.compression = readLe32(p + 12);
        if (hs >= 32) {
            h.xPixelsPerMetre = readLe32(p + 20);
            h.yPixelsPerMetre = readLe32(p + 24);
        }
        if (hs >= 36) h.colorsUsed = readLe32(p + 28);
        if (!os2 && hs >= v2HeaderBytes) {
            for (int i = 0; i < 3; ++i) h.masks[i] = readLe32(p + 36 + 4 * i);
        }
        if (!os2 && hs >= v3HeaderBytes) h.masks[3] = readLe32(p + 48);
    }
    std::string sizeError = imageSizeError(h.width, h.height);
    if (!sizeError.empty()) return sizeError;
    if (planes != 1) return "invalid BMP plane count " + std::to_string(planes);
    // Such files have no meaningful bit count; say what they are.
    if (!os2 && (h.compression == biJpeg || h.compression == biPng)) {
        return "BMP files holding JPEG or PNG data are not supported";
    }
    switch (h.bitCount) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return "unsupported BMP bit depth " + std::to_string(h.bitCount);
    }
    if (hs == coreHeaderBytes && (h.bitCount == 16 || h.bitCount == 32)) {
        return "unsupported BMP bit depth " + std::to_string(h.bitCount);
    }
    // OS/2 files give 3 and 4 other meanings (Huffman, RLE24): neither is supported.
    if (os2 && h.compression > biRle4) return "unsupported BMP compression";
    switch (h.compression) {
        case biRgb:
            break;
        case biRle8:
        case biRle4:
            if (h.bitCount != (h.compression == biRle8 ? 8 : 4)) {
                return "BMP compression does not match its bit depth";
            }
            if (h.topDown) return "top-down BMP files cannot be compressed";
            break;
        case biBitfields:
        case biAlphaBitfields:
            if (h.bitCount != 16 && h.bitCount != 32) {
                return "BMP bit fields need 16 or 32 bits per pixel";
            }
            if (hs == infoHeaderBytes) {
                // The masks follow a 40-byte header.
                h.maskBytes = h.compression == biAlphaBitfields ? 16 : 12;
                if (size - fileHeaderBytes - hs < h.maskBytes) return "BMP file is truncated";
                int count = static_cast<int>(h.maskBytes / 4);
                for (int i = 0; i < count; ++i) {
                    h.masks[i] = readLe32(data + fileHeaderBytes + hs + 4 * i);
                }
            }
            if (h.compression == biBitfields && hs == infoHeaderBytes) h.masks[3] = 0;
            {
                std::string maskError = checkMasks(h);
                if (!maskError.empty()) return maskError;
            }
            break;
        default:
            return "unsupported BMP compression " + std::to_string(h.compression);
    }
    if (h.compression != biBitfields && h.compression != biAlphaBitfields) {
        // Without bit fields the masks of a V4/V5 header carry no meaning.
        if (h.bitCount == 16) {
            h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
        } else {
            h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
        }
        h.masks[3] = 0;
    }
    size_t headersEnd = fileHeaderBytes + hs + h.maskBytes;
    if (h.dataOffset < headersEnd || h.dataOffset > size) {
        return "invalid BMP pixel data offset " + std::to_string(h.dataOffset);
    }
    return {};
}

std::string readPalette(const uint8_t* data, const Header& h, std::vector<uint32_t>& palette) {
    if (h.bitCount > 8) return {};
    const uint32_t full = 1u << h.bitCount;
    if (h.colorsUsed > full) {
        return "BMP palette of " + std::to_string(h.colorsUsed) + " colors is too large for " +
               std::to_string(h.bitCount) + " bits per pixel";
    }
    size_t count = h.colorsUsed ? h.colorsUsed : full;
    const size_t start = fileHeaderBytes + h.headerSize + h.maskBytes;
    // Some writers store fewer entries than they declare; the palette ends where the
    // pixels begin.
    count = std::min(count, (h.dataOffset - start) / h.paletteEntryBytes);
    if (count == 0) return "BMP palette is missing";
    palette.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + start + i * h.paletteEntryBytes;
        palette[i] = rgb(e[2], e[1], e[0]) | alphaMask;
    }
    return {};
}

const char* const badIndex = "BMP palette index out of range";

int64_t rowStride(const Header& h) {
    return (h.width * h.bitCount + 31) / 32 * 4;
}

// Uncompressed pixel data must be in the file whole; checked before the image is made, so
// a short file that declares a huge picture costs nothing.
std::string uncompressedSizeError(size_t size, const Header& h) {
    if (static_cast<uint64_t>(rowStride(h)) * h.height > size - h.dataOffset) {
        return "BMP pixel data is truncated";
    }
    return {};
}

// Writes every pixel of `image`.
std::string readUncompressed(const uint8_t* data, const Header& h,
                             const std::vector<uint32_t>& palette, Image& image) {
    const int64_t stride = rowStride(h);
    const Channel channels[4] = {channelOf(h.masks[0]), channelOf(h.masks[1]),
                                 channelOf(h.masks[2]), channelOf(h.masks[3])};
    const bool alpha = h.masks[3] != 0;
    const int width = static_cast<int>(h.width);
    const int height = static_cast<int>(h.height);
    const uint32_t indexMask = (1u << (h.bitCount <= 8 ? h.bitCount : 0)) - 1;
    for (int r = 0; r < height; ++r) {
        const uint8_t* src = data + h.dataOffset + static_cast<size_t>(r) * stride;
        uint32_t* out = image.row(h.topDown ? r : height - 1 - r);
        switch (h.bitCount) {
            case 1:
            case 2:
            case 4:
            case 8:
                for (int x = 0; x < width; ++x) {
                    size_t bit = static_cast<size_t>(x) * h.bitCount;
                    uint32_t index = (src[bit / 8] >> (8 - h.bitCount - bit % 8)) & indexMask;
                    if (index >= palette.size()) return badIndex;
                    out[x] = palette[index];
                }
                break;
            case 24:
                for (int x = 0; x < width; ++x, src += 3)
                    out[x] = rgb(src[2], src[1], src[0]) | alphaMask;
                break;
            default:
                for (int x = 0; x < width; ++x) {
                    uint32_t v = h.bitCount == 16 ? readLe16(src + 2 * x) : readLe32(src + 4 * x);
                    uint32_t a = alpha ? channelValue(channels[3], v) : 255;
                    out[x] = rgba(channelValue(channels[0], v), channelValue(channels[1], v),
                                  channelValue(channels[2], v), a);
                }
                break;
        }
    }
    return {};
}

// Decodes run-length data into `image`, or only checks it when `image` is null: the
// check runs first, so damaged or short data is refused before the image is made.
std::string readRle(const uint8_t* data, size_t size, const Header& h,
                    const std::vector<uint32_t>& palette, Image* image) {
    const bool rle4 = h.compression == biRle4;
    const int64_t width = h.width, height = h.height;
    size_t pos = h.dataOffset;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint32_t index) -> bool {
        if (index >= palette.size()) return false;
        if (image) image->row(static_cast<int>(height - 1 - y))[x] = palette[index];
        ++x;
        return true;
    };
    for (;;) {
        if (size - pos < 2) {
            // A file that stops right after its last row lacks only the end marker.
            if (y >= height) return {};
            return "BMP RLE data is truncated";
        }
        uint8_t count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            if (y >= height || x + count > width) return "BMP RLE run goes past the end of a row";
            for (int i = 0; i < count; ++i) {
                uint32_t index = rle4 ? (i % 2 == 0 ? value >> 4 : value & 15) : value;
                if (!put(index)) return badIndex;
            }
            continue;
        }
        if (value == rleEndOfLine) {
            x = 0;
            if (++y > height) return "BMP RLE data goes past the last row";
        } else if (value == rleEndOfBitmap) {
            return {};
        } else if (value == rleDelta) {
            if (size - pos < 2) return "BMP RLE data is truncated";
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
            if (x > width || y > height) return "BMP RLE delta goes past the end of the image";
        } else {
            // Absolute mode: `value` literal indices, padded to a 16-bit boundary.
            size_t bytes = rle4 ? (value + 1u) / 2 : value;
            size_t padded = (bytes + 1) & ~size_t{1};
            if (size - pos < padded) return "BMP RLE data is truncated";
            if (y >= height || x + value > width) return "BMP RLE run goes past the end of a row";
            for (int i = 0; i < value; ++i) {
                uint8_t b = data[pos + (rle4 ? i / 2 : i)];
                uint32_t index = rle4 ? (i % 2 == 0 ? b >> 4 : b & 15) : b;
                if (!put(index)) return badIndex;
            }
            pos += padded;
        }
    }
}

void putLe16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Pixels per metre from dots per inch; 0 (unknown) when there is no resolution.
uint32_t pixelsPerMetre(double dpi) {
    return dpi > 0 ? pixelsPerMetreFromDpi(dpi) : 0;
}

constexpr uint32_t srgbColourSpace = 0x73524742;  // 'sRGB'
constexpr uint32_t imageIntent = 4;               // LCS_GM_IMAGES

}  // namespace

static DecodeResult decodeBmpUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || size < 2 || data[0] != 'B' || data[1] != 'M') {
        result.error = "not a BMP file";
        return result;
    }
    Header header;
    std::vector<uint32_t> palette;
    result.error = readHeader(data, size, header);
    if (result.ok()) result.error = readPalette(data, header, palette);
    if (!result.ok()) return result;

    const int width = static_cast<int>(header.width), height = static_cast<int>(header.height);
    const int depth = header.masks[3] != 0 ? 32 : 24;
    if (header.xPixelsPerMetre > 0 && header.yPixelsPerMetre > 0) {
        result.metadata.xDpi = dpiFromPixelsPerMetre(header.xPixelsPerMetre);
        result.metadata.yDpi = dpiFromPixelsPerMetre(header.yPixelsPerMetre);
    }
    if (header.compression == biRle8 || header.compression == biRle4) {
        result.error = readRle(data, size, header, palette, nullptr);
        if (!result.ok()) return result;
        // Runs may skip pixels (deltas, early ends of lines): those stay black.
        Image image(width, height, depth);
        result.error = readRle(data, size, header, palette, &image);
        if (result.ok()) result.image = std::move(image);
        return result;
    }
    result.error = uncompressedSizeError(size, header);
    if (!result.ok()) return result;
    Image image = Image::unset(width, height, depth);
    result.error = readUncompressed(data, header, palette, image);
    if (result.ok()) result.image = std::move(image);
    return result;
}

static EncodeResult encodeBmpUnguarded(const Image& image, const ImageMetadata& metadata) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;

    // A 24-bit image of few colours fits a palette at a third of the size.
    const auto [alpha, indexed, palette] = chooseOpaquePalette(image);
    const uint32_t headerSize = alpha ? v5HeaderBytes : infoHeaderBytes;
    const size_t bytesPerPixel = indexed ? 1 : (alpha ? 4 : 3);
    const size_t stride = (image.width * bytesPerPixel + 3) & ~size_t{3};
    const size_t paletteBytes = indexed ? 4 * palette.colours.size() : 0;
    const size_t offset = fileHeaderBytes + headerSize + paletteBytes;
    const size_t imageBytes = stride * image.height;
    const size_t fileSize = offset + imageBytes;
    if (fileSize > UINT32_MAX) {
        result.error = "image too large for a BMP file";
        return result;
    }
    std::vector<uint8_t>& out = result.bytes;
    out.reserve(fileSize);
    out.assign(offset, 0);
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out, 2, static_cast<uint32_t>(fileSize));
    putLe32(out, dataOffsetField, static_cast<uint32_t>(offset));
    putLe32(out, headerSizeField, headerSize);
    putLe32(out, 18, static_cast<uint32_t>(image.width));
    putLe32(out, 22, static_cast<uint32_t>(image.height));  // positive: bottom-up
    putLe16(out, 26, 1);
    putLe16(out, 28, static_cast<uint32_t>(8 * bytesPerPixel));
    putLe32(out, 30, alpha ? biBitfields : biRgb);
    putLe32(out, 34, static_cast<uint32_t>(imageBytes));
    const bool resolution = metadata.hasResolution();
    putLe32(out, 38, pixelsPerMetre(resolution ? metadata.xDpi : 0));
    putLe32(out, 42, pixelsPerMetre(resolution ? metadata.yDpi : 0));
    if (indexed) {
        putLe32(out, 46, static_cast<uint32_t>(palette.colours.size()));
        size_t at = fileHeaderBytes + headerSize;
        for (uint32_t c : palette.colours) {
            out[at] = static_cast<uint8_t>(blueOf(c));
            out[at + 1] = static_cast<uint8_t>(greenOf(c));
            out[at + 2] = static_cast<uint8_t>(redOf(c));
            at += 4;
        }
    }
    if (alpha) {
        // Masks as the bytes lie: B, G, R, A.
        putLe32(out, 54, 0x00FF0000);
        putLe32(out, 58, 0x0000FF00);
        putLe32(out, 62, 0x000000FF);
        putLe32(out, 66, 0xFF000000);
        putLe32(out, 70, srgbColourSpace);
        putLe32(out, 122, imageIntent);
    }
    // Rows are appended one by one, so the pixel data is written once and never cleared.
    std::vector<uint8_t> line(stride, 0);
    std::optional<PaletteIndex> index;
    if (indexed) index.emplace(palette);
    for (int y = 0; y < image.height; ++y) {
        const uint32_t* src = image.row(image.height - 1 - y);
        uint8_t* dst = line.data();
        if (indexed) {
            for (int x = 0; x < image.width; ++x) dst[x] = (*index)(storedValue(image, src[x]));
        } else {
            for (int x = 0; x < image.width; ++x, dst += bytesPerPixel) {
                uint32_t p = src[x];
                dst[0] = static_cast<uint8_t>(blueOf(p));
                dst[1] = static_cast<uint8_t>(greenOf(p));
                dst[2] = static_cast<uint8_t>(redOf(p));
                if (alpha) dst[3] = static_cast<uint8_t>(alphaOf(p));
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return result;
}

DecodeResult decodeBmp(const uint8_t* data, size_t size) {
    DecodeResult result = guardMemory<DecodeResult>([&] { return decodeBmpUnguarded(data, size); });
    if (!result.ok()) result.metadata.clear();
    return result;
}

EncodeResult encodeBmp(const Image& image, const ImageMetadata& metadata) {
    return guardMemory<EncodeResult>([&] { return encodeBmpUnguarded(image, metadata); });
}
