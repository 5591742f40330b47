// TIFF through libtiff. Reading takes the first page: 1 to 16 bits of grey, 8 or 16 of RGB,
// palettes of up to 8 bits and 8-bit CMYK, with or without alpha, in strips or tiles,
// interleaved or in planes, and whatever compression libtiff decodes. The file is mapped,
// not copied, and read a row or a tile at a time straight into the picture. Writing makes
// Deflate-compressed RGB or RGBA, or a palette file for a picture of few colours.

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/codecs/embedded.h"
#include "toolkit/codecs/exif.h"

namespace {

constexpr size_t messageBytes = 200;
// libtiff's own allocations (strip tables, codec state, tile buffers) may not pass this.
constexpr tmsize_t maxLibraryAllocation = tmsize_t{64} << 20;
constexpr uint64_t maxTileBytes = uint64_t{64} << 20;
constexpr uint32_t writeStripBytes = 1u << 20;
constexpr int truecolourDeflateLevel = 4;
constexpr int paletteDeflateLevel = 6;
constexpr const char* pageNotice = "only the first page of the file is shown";
constexpr uint16_t inksetCmyk = 1;

// Lanes of a pixel word: red (or grey, index, cyan), green, blue, alpha.
constexpr int laneAlpha = 3;

struct Messages {
    char error[messageBytes];
};

int onTiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* messages = static_cast<Messages*>(user);
    if (messages && messages->error[0] == '\0') {
        char text[messageBytes];
        std::vsnprintf(text, sizeof text, format, args);
        std::string message =
            std::string("TIFF error: ") + (module ? module : "") + (module ? ": " : "") + text;
        std::strncpy(messages->error, message.c_str(), messageBytes - 1);
        messages->error[messageBytes - 1] = '\0';
    }
    return 1;  // handled: nothing reaches libtiff's printing handler
}

int onTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// ---- A file in memory ----

struct MemoryFile {
    const uint8_t* data;
    size_t size;
    uint64_t position;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (count < 0 || file->position >= file->size) return 0;
    const size_t n = std::min<uint64_t>(static_cast<uint64_t>(count), file->size - file->position);
    std::memcpy(buffer, file->data + file->position, n);
    file->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = file->position;
    if (whence == SEEK_END) base = file->size;
    file->position = base + offset;  // reads past the end simply read nothing
    return file->position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t memorySize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}

// The file is already in memory: libtiff reads strips and tiles from it in place.
int mapMemory(thandle_t handle, void** base, toff_t* size) {
    auto* file = static_cast<MemoryFile*>(handle);
    *base = const_cast<uint8_t*>(file->data);
    *size = file->size;
    return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

TiffHandle openTiff(const char* mode, thandle_t handle, TIFFReadWriteProc read,
                    TIFFReadWriteProc write, TIFFSeekProc seek, TIFFSizeProc size,
                    TIFFMapFileProc map, Messages* messages) {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), maxLibraryAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffWarning, nullptr);
    return TiffHandle(TIFFClientOpenExt("memory", mode, handle, read, write, seek, closeNothing,
                                        size, map, unmapNothing, options.get()));
}

// ---- Reading ----

enum class Model { Grey, Rgb, Palette, Cmyk };

struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;
    uint16_t samples = 1;  // per pixel, extra samples included
    uint16_t colours = 1;  // the samples before the extra ones
    Model model = Model::Grey;
    bool whiteIsZero = false;
    bool alpha = false;
    bool premultiplied = false;
    bool planes = false;  // one plane per sample instead of interleaved samples
    bool tiled = false;
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
};

// The sample layout, or an error naming what is not supported.
std::string readLayout(TIFF* tif, Layout& l) {
    uint16_t photometric = 0, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        return "TIFF file does not say how its samples make colours";
    }
    std::string sizeError = imageSizeError(l.width, l.height);
    if (!sizeError.empty()) return sizeError;
    if (format != SAMPLEFORMAT_UINT)
        return "unsupported TIFF sample format " + std::to_string(format);
    l.planes = planar == PLANARCONFIG_SEPARATE;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            l.model = Model::Grey;
            l.whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
            l.colours = 1;
            if (l.bits != 1 && l.bits != 2 && l.bits != 4 && l.bits != 8 && l.bits != 16) break;
            return {};
        case PHOTOMETRIC_RGB:
            l.model = Model::Rgb;
            l.colours = 3;
            if (l.bits != 8 && l.bits != 16) break;
            return {};
        case PHOTOMETRIC_YCBCR:
            // JPEG data in YCbCr: libjpeg turns it into RGB.
            if (compression != COMPRESSION_JPEG || l.bits != 8) break;
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            l.model = Model::Rgb;
            l.colours = 3;
            return {};
        case PHOTOMETRIC_PALETTE:
            l.model = Model::Palette;
            l.colours = 1;
            if (l.bits != 1 && l.bits != 2 && l.bits != 4 && l.bits != 8) break;
            return {};
        case PHOTOMETRIC_SEPARATED: {
            uint16_t inkset = inksetCmyk;
            TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
            if (inkset != inksetCmyk || l.bits != 8) break;
            l.model = Model::Cmyk;
            l.colours = 4;
            return {};
        }
        default:
            return "unsupported TIFF colour model (photometric " + std::to_string(photometric) +
                   ")";
    }
    return "unsupported TIFF sample layout (photometric " + std::to_string(photometric) + ", " +
           std::to_string(l.bits) + " bits)";
}

// Extra samples: the first one is alpha when it says so (or says nothing, as many writers
// of RGBA files do).
std::string readExtraSamples(TIFF* tif, Layout& l) {
    if (l.samples < l.colours) return "TIFF file has too few samples per pixel";
    if (l.samples == l.colours || l.model == Model::Cmyk || l.model == Model::Palette) return {};
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    uint16_t first = EXTRASAMPLE_UNSPECIFIED;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 && kinds) {
        first = kinds[0];
    }
    l.alpha = true;
    l.premultiplied = first == EXTRASAMPLE_ASSOCALPHA;
    return {};
}

// The most that one byte of each compression's data can stand for: 128 bytes from a
// PackBits pair, about 1032 from deflate, 4096 from a 9-bit LZW code; JPEG's flat blocks
// and uncompressed data as the counts say. 0: no bound known.
uint64_t largestExpansion(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1100;
        case COMPRESSION_LZW:
        case COMPRESSION_JPEG:
            return 4096;
        default:
            return 0;
    }
}

// Every strip or tile must lie inside the file, and together they must be able to hold
// the picture they claim: checked before the picture is made, so a file that points past
// its end or claims a huge picture from a few bytes costs nothing.
std::string dataPlacementError(TIFF* tif, uint64_t fileSize, uint16_t compression) {
    const bool tiled = TIFFIsTiled(tif);
    const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t* offsets = nullptr;
    uint64_t* sizes = nullptr;
    if (!TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes) ||
        !offsets || !sizes || count == 0) {
        return "TIFF file does not say where its pixel data is";
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (offsets[i] > fileSize || sizes[i] > fileSize - offsets[i]) {
            return std::string("TIFF ") + (tiled ? "tile" : "strip") + " " + std::to_string(i) +
                   " lies beyond the end of the file";
        }
        total += sizes[i];  // each at most the file's size: no overflow
    }
    const uint64_t expansion = largestExpansion(compression);
    uint64_t pictureBytes = 0;
    if (!tiled) {
        uint32_t height = 0;
        uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        pictureBytes = static_cast<uint64_t>(TIFFScanlineSize64(tif)) * height *
                       (planar == PLANARCONFIG_SEPARATE ? samples : 1);
    } else {
        pictureBytes = static_cast<uint64_t>(TIFFTileSize64(tif)) * count;
    }
    if (expansion > 0 && total < pictureBytes / expansion) {
        return "TIFF pixel data is too short for a " + std::to_string(pictureBytes) +
               "-byte picture";
    }
    return {};
}

inline uint8_t eightBits(uint32_t v, int bits) {
    switch (bits) {
        case 16:
            return static_cast<uint8_t>((v + 128) / 257);
        case 8:
            return static_cast<uint8_t>(v);
        default:
            return static_cast<uint8_t>(v * 255 / ((1u << bits) - 1));
    }
}

// Sample `index` of a row of `bits`-bit samples (16-bit ones already in the machine's
// order, which libtiff sees to).
inline uint32_t sampleAt(const uint8_t* row, size_t index, int bits) {
    switch (bits) {
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + 2 * index, 2);
            return v;
        }
        case 8:
            return row[index];
        default: {
            const size_t bit = index * bits;
            return (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
        }
    }
}

// Puts `count` pixels of a source row into the lanes of `out`: `lanes[s]` is the lane of
// sample s of each pixel (or -1), `stride` the samples per pixel in the source row.
void putSamples(const uint8_t* row, const Layout& l, size_t stride, const int* lanes,
                size_t laneCount, uint32_t* out, size_t count) {
    auto* bytes = reinterpret_cast<uint8_t*>(out);
    // The common case, eight bits interleaved in order, needs no unpacking.
    for (size_t x = 0; x < count; ++x) {
        for (size_t s = 0; s < laneCount; ++s) {
            if (lanes[s] < 0) continue;
            const uint32_t v = sampleAt(row, x * stride + s, l.bits);
            // Palette indices stay as they are; everything else becomes eight bits.
            bytes[4 * x + lanes[s]] =
                l.model == Model::Palette ? static_cast<uint8_t>(v) : eightBits(v, l.bits);
        }
    }
}

// The lanes each source sample goes to: colours in order, then alpha.
std::vector<int> laneMap(const Layout& l) {
    std::vector<int> lanes(l.samples, -1);
    for (int s = 0; s < l.colours && s < 4; ++s) lanes[s] = s;
    if (l.alpha) lanes[l.colours] = laneAlpha;
    return lanes;
}

std::string readStrips(TIFF* tif, const Layout& l, Image& image, Messages& messages) {
    const std::vector<int> lanes = laneMap(l);
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize64(tif)));
    if (row.empty()) return "TIFF rows have no size";
    // Planes are read one after the other, each from top to bottom, so that no strip is
    // decoded twice.
    const int passes = l.planes ? l.samples : 1;
    for (int pass = 0; pass < passes; ++pass) {
        if (l.planes && lanes[pass] < 0) continue;
        const int onlyLane[1] = {l.planes ? lanes[pass] : 0};
        for (uint32_t y = 0; y < l.height; ++y) {
            if (TIFFReadScanline(tif, row.data(), y, static_cast<uint16_t>(pass)) < 0) {
                return messages.error[0] ? messages.error : "TIFF pixel data is damaged";
            }
            if (l.planes) {
                putSamples(row.data(), l, 1, onlyLane, 1, image.row(static_cast<int>(y)), l.width);
            } else {
                putSamples(row.data(), l, l.samples, lanes.data(), lanes.size(),
                           image.row(static_cast<int>(y)), l.width);
            }
        }
    }
    return {};
}

std::string readTiles(TIFF* tif, const Layout& l, Image& image, Messages& messages) {
    const std::vector<int> lanes = laneMap(l);
    const uint64_t tileBytes = static_cast<uint64_t>(TIFFTileSize64(tif));
    const uint64_t tileRowBytes = static_cast<uint64_t>(TIFFTileRowSize64(tif));
    if (tileBytes == 0 || tileRowBytes == 0 || l.tileWidth == 0 || l.tileHeight == 0) {
        return "TIFF tiles have no size";
    }
    if (tileBytes > maxTileBytes) return "TIFF tiles are too large";
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    const int passes = l.planes ? l.samples : 1;
    for (int pass = 0; pass < passes; ++pass) {
        if (l.planes && lanes[pass] < 0) continue;
        const int onlyLane[1] = {l.planes ? lanes[pass] : 0};
        for (uint32_t y0 = 0; y0 < l.height; y0 += l.tileHeight) {
            for (uint32_t x0 = 0; x0 < l.width; x0 += l.tileWidth) {
                if (TIFFReadTile(tif, tile.data(), x0, y0, 0, static_cast<uint16_t>(pass)) < 0) {
                    return messages.error[0] ? messages.error : "TIFF pixel data is damaged";
                }
                const uint32_t rows = std::min(l.tileHeight, l.height - y0);
                const uint32_t columns = std::min(l.tileWidth, l.width - x0);
                for (uint32_t r = 0; r < rows; ++r) {
                    const uint8_t* from = tile.data() + r * tileRowBytes;
                    uint32_t* to = image.row(static_cast<int>(y0 + r)) + x0;
                    if (l.planes) {
                        putSamples(from, l, 1, onlyLane, 1, to, columns);
                    } else {
                        putSamples(from, l, l.samples, lanes.data(), lanes.size(), to, columns);
                    }
                }
            }
        }
    }
    return {};
}

// The palette's colours; maps written with 8-bit values (an old writers' habit) are taken
// as they are, the rest scaled from 16 bits.
bool readColourMap(TIFF* tif, int bits, std::vector<uint32_t>& colours) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        return false;
    }
    const size_t count = size_t{1} << bits;
    bool eightBitMap = true;
    for (size_t i = 0; i < count; ++i) {
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBitMap = false;
    }
    colours.resize(256, opaqueBlack);
    for (size_t i = 0; i < count; ++i) {
        colours[i] = eightBitMap ? rgb(red[i], green[i], blue[i]) | alphaMask
                                 : rgb(eightBits(red[i], 16), eightBits(green[i], 16),
                                       eightBits(blue[i], 16)) |
                                       alphaMask;
    }
    return true;
}

// The samples as read become pixels: grey spreads to three channels, indices look up the
// palette, alpha is set or freed from its premultiplication.
void finishPixels(const Layout& l, const std::vector<uint32_t>& palette, Image& image) {
    for (uint32_t& p : image.pixels) {
        const uint32_t alpha = l.alpha ? (p & alphaMask) : alphaMask;
        uint32_t r = p & 255, g = (p >> 8) & 255, b = (p >> 16) & 255;
        switch (l.model) {
            case Model::Grey:
                if (l.whiteIsZero) r = 255 - r;
                g = b = r;
                break;
            case Model::Palette:
                p = palette[r];
                continue;
            case Model::Rgb:
                break;
            case Model::Cmyk:
                continue;  // converted as a whole
        }
        const uint32_t a = alpha >> 24;
        if (l.premultiplied && a != 255) {
            r = a == 0 ? 0 : std::min<uint32_t>(255, (r * 255 + a / 2) / a);
            g = a == 0 ? 0 : std::min<uint32_t>(255, (g * 255 + a / 2) / a);
            b = a == 0 ? 0 : std::min<uint32_t>(255, (b * 255 + a / 2) / a);
        }
        p = r | g << 8 | b << 16 | alpha;
    }
}

// Plain inks, 0 for none (TIFF does not invert them as Adobe's JPEG files do).
void inksToRgb(Image& image) {
    for (uint32_t& p : image.pixels) {
        const uint32_t c = 255 - (p & 255), m = 255 - ((p >> 8) & 255), y = 255 - ((p >> 16) & 255),
                       k = 255 - (p >> 24);
        p = rgb(static_cast<int>((c * k + 127) / 255), static_cast<int>((m * k + 127) / 255),
                static_cast<int>((y * k + 127) / 255)) |
            alphaMask;
    }
}

void readResolution(TIFF* tif, Embedded& embedded) {
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) ||
        !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) {
        return;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!(x > 0) || !(y > 0) || !std::isfinite(x) || !std::isfinite(y)) return;
    if (unit == RESUNIT_INCH) {
        embedded.xDpi = x;
        embedded.yDpi = y;
    } else if (unit == RESUNIT_CENTIMETER) {
        embedded.xDpi = x * 2.54;
        embedded.yDpi = y * 2.54;
    }
}

}  // namespace

static DecodeResult decodeTiffUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || detectFormat(data, size) != ImageFormat::Tiff) {
        result.error = "not a TIFF file";
        return result;
    }
    Messages messages{};
    MemoryFile file{data, size, 0};
    TiffHandle tif =
        openTiff("r", &file, readMemory, refuseWrite, seekMemory, memorySize, mapMemory, &messages);
    if (!tif) {
        result.error = messages.error[0] ? messages.error : "TIFF file is damaged";
        return result;
    }
    Layout layout;
    result.error = readLayout(tif.get(), layout);
    if (result.ok()) result.error = readExtraSamples(tif.get(), layout);
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (result.ok()) result.error = dataPlacementError(tif.get(), size, compression);
    if (!result.ok()) return result;
    layout.tiled = TIFFIsTiled(tif.get());
    if (layout.tiled) {
        TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &layout.tileWidth);
        TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &layout.tileHeight);
    }
    std::vector<uint32_t> palette;
    if (layout.model == Model::Palette && !readColourMap(tif.get(), layout.bits, palette)) {
        result.error = "TIFF palette file has no palette";
        return result;
    }

    const int width = static_cast<int>(layout.width), height = static_cast<int>(layout.height);
    Image image = Image::unset(width, height, layout.alpha ? 32 : 24);
    result.error = layout.tiled ? readTiles(tif.get(), layout, image, messages)
                                : readStrips(tif.get(), layout, image, messages);
    if (!result.ok()) return result;
    finishPixels(layout, palette, image);

    Embedded embedded;
    uint32_t profileSize = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &profileSize, &profile) && profile) {
        const auto* bytes = static_cast<const uint8_t*>(profile);
        embedded.profile.assign(bytes, bytes + profileSize);
    }
    if (layout.model == Model::Cmyk) {
        if (embedded.profile.empty() || !convertToSrgb(image, embedded.profile.data(),
                                                       embedded.profile.size(), SampleKind::Cmyk)) {
            inksToRgb(image);
        }
        embedded.profile.clear();
    }
    embedded.samples = layout.model == Model::Grey ? SampleKind::Grey : SampleKind::Rgb;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    embedded.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    readResolution(tif.get(), embedded);
    embedded.exif = exifFromTiffFile(data, size);
    if (TIFFNumberOfDirectories(tif.get()) > 1) result.notice = pageNotice;
    result.image = std::move(image);
    finishDecode(result, embedded);
    return result;
}

DecodeResult decodeTiff(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodeTiffUnguarded(data, size); });
}

namespace {

// ---- Writing ----

tmsize_t readSink(thandle_t handle, void* buffer, tmsize_t count) {
    auto* sink = static_cast<ByteSink*>(handle);
    if (count < 0 || sink->position >= sink->size) return 0;
    const size_t n = std::min(static_cast<size_t>(count), sink->size - sink->position);
    std::memcpy(buffer, sink->data + sink->position, n);
    sink->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeSink(thandle_t handle, void* buffer, tmsize_t count) {
    auto* sink = static_cast<ByteSink*>(handle);
    if (count < 0) return -1;
    return sinkWrite(sink, buffer, static_cast<size_t>(count)) ? count : -1;
}

toff_t seekSink(thandle_t handle, toff_t offset, int whence) {
    auto* sink = static_cast<ByteSink*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = sink->position;
    if (whence == SEEK_END) base = sink->size;
    sink->position = static_cast<size_t>(base + offset);
    return sink->position;
}

toff_t sinkSize(thandle_t handle) {
    return static_cast<ByteSink*>(handle)->size;
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

int paletteBits(size_t colours) {
    if (colours <= 2) return 1;
    if (colours <= 4) return 2;
    if (colours <= 16) return 4;
    return 8;
}

}  // namespace

static EncodeResult encodeTiffUnguarded(const Image& image, const ImageMetadata& metadata) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;
    // A palette holds no alpha: only opaque pictures of few colours are written with one.
    const auto [alpha, indexed, palette] = chooseOpaquePalette(image);
    const int bits = indexed ? paletteBits(palette.colours.size()) : 8;
    const uint16_t samples = indexed ? 1 : (alpha ? 4 : 3);
    const size_t rowBytes = (static_cast<size_t>(image.width) * samples * bits + 7) / 8;

    ByteSink sink;
    Messages messages{};
    {
        TiffHandle tif =
            openTiff("w", &sink, readSink, writeSink, seekSink, sinkSize, mapNothing, &messages);
        if (!tif) {
            result.error = messages.error[0] ? messages.error : "TIFF file could not be started";
            return result;
        }
        TIFF* t = tif.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bits));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(t, TIFFTAG_ZIPQUALITY, indexed ? paletteDeflateLevel : truecolourDeflateLevel);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        const uint32_t rowsPerStrip = static_cast<uint32_t>(
            std::clamp<size_t>(writeStripBytes / std::max<size_t>(rowBytes, 1), 1, image.height));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        if (indexed) {
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
            const size_t entries = size_t{1} << bits;
            std::vector<uint16_t> red(entries, 0), green(entries, 0), blue(entries, 0);
            for (size_t i = 0; i < palette.colours.size(); ++i) {
                red[i] = static_cast<uint16_t>(redOf(palette.colours[i]) * 257);
                green[i] = static_cast<uint16_t>(greenOf(palette.colours[i]) * 257);
                blue[i] = static_cast<uint16_t>(blueOf(palette.colours[i]) * 257);
            }
            TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
        } else {
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            // Differences between neighbours compress better than the samples themselves.
            TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
            if (alpha) {
                const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
                TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
            }
        }
        if (metadata.hasResolution()) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(metadata.xDpi));
            TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(metadata.yDpi));
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        const std::vector<uint8_t> exif =
            metadata.exif.empty() ? std::vector<uint8_t>{}
                                  : exifForImage(metadata.exif, image.width, image.height,
                                                 metadata.xDpi, metadata.yDpi);
        if (!exif.empty()) {
            for (const auto& [tag, text] : exifTextEntries(exif)) {
                TIFFSetField(t, tag, text.c_str());
            }
            // Placeholders: the directories are added after the file is complete, and these
            // entries pointed at them.
            TIFFSetField(t, TIFFTAG_EXIFIFD, uint64_t{0});
            TIFFSetField(t, TIFFTAG_GPSIFD, uint64_t{0});
        }

        std::vector<uint8_t> row(rowBytes);
        std::optional<PaletteIndex> index;
        if (indexed) index.emplace(palette);
        for (int y = 0; y < image.height; ++y) {
            const uint32_t* from = image.row(y);
            if (indexed) {
                std::fill(row.begin(), row.end(), 0);
                const int perByte = 8 / bits;
                for (int x = 0; x < image.width; ++x) {
                    const int shift = 8 - bits * (x % perByte + 1);
                    row[static_cast<size_t>(x / perByte)] |=
                        static_cast<uint8_t>((*index)(storedValue(image, from[x])) << shift);
                }
            } else {
                uint8_t* to = row.data();
                for (int x = 0; x < image.width; ++x, to += samples) {
                    std::memcpy(to, &from[x], samples);  // R, G, B (, A) as they lie
                }
            }
            if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) < 0) {
                result.error =
                    messages.error[0] ? messages.error : "TIFF file could not be written";
                return result;
            }
        }
        if (!TIFFFlush(t)) {
            result.error = messages.error[0] ? messages.error : "TIFF file could not be written";
            return result;
        }
        tif.reset();
        if (sink.failed) {
            result.error = "out of memory";
            return result;
        }
        result.bytes.assign(sink.data, sink.data + sink.size);
        if (!exif.empty()) appendExifDirectories(result.bytes, exif);
    }
    return result;
}

EncodeResult encodeTiff(const Image& image, const ImageMetadata& metadata) {
    return guardMemory<EncodeResult>([&] { return encodeTiffUnguarded(image, metadata); });
}
