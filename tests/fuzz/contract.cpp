#include "contract.h"

#include <webp/decode.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "toolkit/codecs/codec_util.h"

const char* contractInput = nullptr;

void contractBroken(const char* what) {
    std::fprintf(stderr, "decode contract broken: %s%s%s\n", what, contractInput ? " in " : "",
                 contractInput ? contractInput : "");
    std::abort();
}

namespace {

struct Size {
    int64_t width;
    int64_t height;
};

uint16_t readBe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The header chunk, found chunk by chunk: libpng lets a stray chunk stand before it.
std::optional<Size> pngSize(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (at + 16 <= size) {
        const size_t length = readBe32(data + at);
        if (std::memcmp(data + at + 4, "IHDR", 4) == 0) {
            return Size{readBe32(data + at + 8), readBe32(data + at + 12)};
        }
        if (length > size - at - 12) break;
        at += 12 + length;  // length, type, data, CRC
    }
    return std::nullopt;
}

std::optional<Size> bmpSize(const uint8_t* data, size_t size) {
    if (size < 26) return std::nullopt;
    if (readLe32(data + 14) == 12) return Size{readLe16(data + 18), readLe16(data + 20)};
    int64_t height = static_cast<int32_t>(readLe32(data + 22));
    return Size{static_cast<int32_t>(readLe32(data + 18)), height < 0 ? -height : height};
}

// The first start-of-frame marker, found by walking the marker segments the way libjpeg
// does: bytes before a marker are skipped, as are fill bytes (0xFF) and 0xFF 0x00.
std::optional<Size> jpegSize(const uint8_t* data, size_t size) {
    size_t at = 2;
    while (at + 1 < size) {
        if (data[at] != 0xFF) {
            ++at;
            continue;
        }
        while (at + 1 < size && data[at + 1] == 0xFF) ++at;
        if (at + 1 >= size) break;
        const uint8_t marker = data[at + 1];
        if (marker == 0 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {
            at += 2;  // no length follows
            continue;
        }
        bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (at + 4 > size) break;
        if (frame) {
            if (at + 9 > size) break;
            return Size{readBe16(data + at + 7), readBe16(data + at + 5)};
        }
        at += 2 + readBe16(data + at + 2);
    }
    return std::nullopt;
}

// The image area of a codestream's size marker, which must directly follow its start.
std::optional<Size> codestreamSize(const uint8_t* data, size_t size) {
    const uint8_t start[] = {0xFF, 0x4F, 0xFF, 0x51};
    if (size < 4 + 18 || std::memcmp(data, start, 4) != 0) return std::nullopt;
    const uint8_t* siz = data + 4;
    int64_t x1 = readBe32(siz + 4), y1 = readBe32(siz + 8);
    int64_t x0 = readBe32(siz + 12), y0 = readBe32(siz + 16);
    return Size{x1 - x0, y1 - y0};
}

// One box of a .jp2 file: its type and contents.
struct Jp2Box {
    uint32_t type;
    const uint8_t* contents;
    size_t size;
};

// The boxes of `data` in order; a length of 0 runs to the end.
std::vector<Jp2Box> jp2Boxes(const uint8_t* data, size_t size) {
    std::vector<Jp2Box> boxes;
    size_t at = 0;
    while (at + 8 <= size) {
        uint64_t length = readBe32(data + at);
        const uint32_t type = static_cast<uint32_t>(readBe32(data + at + 4));
        size_t header = 8;
        if (length == 1) {
            if (at + 16 > size) break;
            length = uint64_t{static_cast<uint32_t>(readBe32(data + at + 8))} << 32 |
                     static_cast<uint32_t>(readBe32(data + at + 12));
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header) break;
        // A box said to run past the end is read to the end, as the decoder reads it.
        if (length > size - at) length = size - at;
        boxes.push_back({type, data + at + header, static_cast<size_t>(length) - header});
        at += static_cast<size_t>(length);
    }
    return boxes;
}

constexpr uint32_t boxType(const char (&name)[5]) {
    return static_cast<uint32_t>(name[0]) << 24 | static_cast<uint32_t>(name[1]) << 16 |
           static_cast<uint32_t>(name[2]) << 8 | static_cast<uint32_t>(name[3]);
}

// A raw codestream's size, or a .jp2's: read box by box, the size marker of the first
// contiguous-codestream box. Bytes that look like a marker elsewhere (inside a colour box,
// say) are not the picture's size. The header box states the size too; a file whose two
// sizes disagree is damaged and must be refused, so it has no size here.
std::optional<Size> jpeg2000Size(const uint8_t* data, size_t size) {
    if (std::optional<Size> raw = codestreamSize(data, size)) return raw;
    std::optional<Size> header, codestream;
    for (const Jp2Box& box : jp2Boxes(data, size)) {
        if (box.type == boxType("jp2h") && !header) {
            for (const Jp2Box& inner : jp2Boxes(box.contents, box.size)) {
                if (inner.type == boxType("ihdr") && inner.size >= 8) {
                    header = Size{readBe32(inner.contents + 4), readBe32(inner.contents)};
                    break;
                }
            }
        }
        if (box.type == boxType("jp2c")) {
            codestream = codestreamSize(box.contents, box.size);
            break;
        }
    }
    if (header && codestream &&
        (header->width != codestream->width || header->height != codestream->height)) {
        return std::nullopt;
    }
    return codestream;
}

// The logical screen, grown to hold the first frame where that lies outside it.
std::optional<Size> gifSize(const uint8_t* data, size_t size) {
    if (size < 13) return std::nullopt;
    int64_t width = readLe16(data + 6), height = readLe16(data + 8);
    size_t at = 13;
    if (data[10] & 0x80) at += 3 * (size_t{2} << (data[10] & 7));
    while (at < size) {
        if (data[at] == 0x2C) {
            if (at + 9 > size) return std::nullopt;
            const int64_t left = readLe16(data + at + 1), top = readLe16(data + at + 3);
            width = std::max(width, left + readLe16(data + at + 5));
            height = std::max(height, top + readLe16(data + at + 7));
            return Size{width, height};
        }
        if (data[at] != 0x21 || at + 2 > size) return std::nullopt;
        at += 2;  // introducer and label, then sub-blocks up to an empty one
        while (at < size && data[at] != 0) at += 1 + data[at];
        ++at;
    }
    return std::nullopt;
}

std::optional<Size> webpSize(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    if (!WebPGetInfo(data, size, &width, &height)) return std::nullopt;
    return Size{width, height};
}

// Image width and length from the first directory, classic or big TIFF.
std::optional<Size> tiffSize(const uint8_t* data, size_t size) {
    if (size < 16) return std::nullopt;
    const bool big = data[0] == 'M';
    auto get = [&](size_t at, int bytes) -> uint64_t {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v |= uint64_t{data[at + i]} << 8 * (big ? bytes - 1 - i : i);
        }
        return v;
    };
    const bool bigTiff = get(2, 2) == 43;
    const int offsetBytes = bigTiff ? 8 : 4, countBytes = bigTiff ? 8 : 2;
    const size_t entryBytes = bigTiff ? 20 : 12;
    const uint64_t ifd = get(bigTiff ? 8 : 4, offsetBytes);
    if (ifd > size || size - ifd < static_cast<uint64_t>(countBytes)) return std::nullopt;
    const uint64_t count = get(ifd, countBytes);
    int64_t width = -1, height = -1;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = ifd + countBytes + i * entryBytes;
        if (at + entryBytes > size) break;
        const uint64_t tag = get(at, 2), type = get(at + 2, 2);
        const size_t valueAt = at + 4 + offsetBytes;
        const uint64_t value = type == 3 ? get(valueAt, 2) : get(valueAt, 4);
        // A repeated entry is ignored, as libtiff ignores it.
        if (tag == 256 && width < 0) width = static_cast<int64_t>(value);
        if (tag == 257 && height < 0) height = static_cast<int64_t>(value);
    }
    if (width < 0 || height < 0) return std::nullopt;
    return Size{width, height};
}

std::optional<Size> declaredSize(ImageFormat format, const uint8_t* data, size_t size) {
    switch (format) {
        case ImageFormat::Png:
            return pngSize(data, size);
        case ImageFormat::Bmp:
            return bmpSize(data, size);
        case ImageFormat::Jpeg:
            return jpegSize(data, size);
        case ImageFormat::Jpeg2000:
            return jpeg2000Size(data, size);
        case ImageFormat::Gif:
            return gifSize(data, size);
        case ImageFormat::WebP:
            return webpSize(data, size);
        case ImageFormat::Tiff:
            return tiffSize(data, size);
        case ImageFormat::Unknown:
            break;
    }
    return std::nullopt;
}

}  // namespace

bool checkDecode(ImageFormat format, const uint8_t* data, size_t size, const DecodeResult& result) {
    const Image& image = result.image;
    if (!result.ok()) {
        if (!image.empty() || !image.pixels.empty()) contractBroken("a refused file gave pixels");
        return false;
    }
    if (image.empty()) contractBroken("an accepted file gave no image");
    if (image.depth != 24 && image.depth != 32) contractBroken("depth is neither 24 nor 32");
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
        contractBroken("pixel count does not match the size");
    }
    std::optional<Size> declared = declaredSize(format, data, size);
    if (!declared) contractBroken("an accepted file has no readable size");
    // An EXIF or TIFF orientation may turn the picture a quarter.
    const bool asDeclared = declared->width == image.width && declared->height == image.height;
    const bool turned = declared->width == image.height && declared->height == image.width;
    if (!asDeclared && !turned) contractBroken("decoded size differs from the header");
    if (image.depth == 24) {
        for (uint32_t p : image.pixels) {
            if ((p & alphaMask) != alphaMask) contractBroken("a 24-bit pixel is not opaque");
        }
    }
    return true;
}

void checkRoundTrip(ImageFormat format, const Image& image) {
    EncodeResult encoded = encodeImage(image, format);
    if (!encoded.ok()) contractBroken("a decoded image could not be encoded again");
    DecodeResult again = decodeImage(encoded.bytes.data(), encoded.bytes.size());
    if (!again.ok()) contractBroken("an encoded image could not be decoded again");
    // Fully transparent pixels show nothing, and an indexed file keeps one of them.
    auto seen = [](const Image& i) {
        Image shown = i;
        if (shown.depth == 32) {
            for (uint32_t& p : shown.pixels) {
                if ((p & alphaMask) == 0) p = 0;
            }
        }
        return shown;
    };
    if (!(seen(again.image) == seen(image))) contractBroken("the round trip changed the image");
}
