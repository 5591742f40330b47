// GIF through giflib: the first frame of a file is read, a still GIF89a is written.
// giflib reports errors by return codes (no longjmp), so plain C++ is safe around it.

#include "toolkit/codecs/gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"

namespace {

constexpr size_t screenWidthOffset = 6;  // after "GIF89a"
constexpr int graphicsControlBytes = 4;
constexpr uint8_t transparencyFlag = 1;
constexpr int maxGifSide = 0xFFFF;
// The LZW minimum code size of a GIF's image data is 2 to 8.
constexpr int maxLzwCodeSize = 8;
constexpr size_t descriptorBytes = 9;  // after the 0x2C that starts it
constexpr uint8_t colourTableFlag = 0x80;
// Rows of indices are kept in pieces of about this size, so that a file cannot make the
// decoder reserve more than its data has filled.
constexpr size_t indexPieceBytes = size_t{1} << 20;
constexpr const char* frameNotice = "only the first frame of the animation is shown";

struct GifReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int readGif(GifFileType* gif, GifByteType* out, int count) {
    auto* reader = static_cast<GifReader*>(gif->UserData);
    const size_t n =
        std::min(static_cast<size_t>(std::max(count, 0)), reader->size - reader->position);
    std::memcpy(out, reader->data + reader->position, n);
    reader->position += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifDecoder = std::unique_ptr<GifFileType, GifCloser>;

std::string gifErrorText(int code) {
    const char* text = GifErrorString(code);
    return std::string("GIF error: ") + (text ? text : "unknown");
}

std::string gifError(int code, const GifReader& reader) {
    if (reader.position >= reader.size) return "GIF file is truncated";
    return gifErrorText(code);
}

// Skips an extension's data blocks; the graphics control block's transparent index is
// noted when `transparent` is given.
bool readExtension(GifFileType* gif, int* transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (transparent && code == GRAPHICS_EXT_FUNC_CODE && block &&
        block[0] >= graphicsControlBytes) {
        *transparent = (block[1] & transparencyFlag) ? block[4] : -1;
    }
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// The rows of one frame's indices, in the order the file holds them.
class IndexRows {
  public:
    IndexRows(int width, int height)
        : width_(static_cast<size_t>(width)),
          rowsPerPiece_(std::max<size_t>(1, indexPieceBytes / width_)),
          height_(height) {}

    GifPixelType* row(int y) {
        const size_t piece = static_cast<size_t>(y) / rowsPerPiece_;
        if (piece >= pieces_.size()) {
            const size_t rows =
                std::min(rowsPerPiece_, static_cast<size_t>(height_) - piece * rowsPerPiece_);
            pieces_.emplace_back(rows * width_);
        }
        return pieces_[piece].data() + (static_cast<size_t>(y) % rowsPerPiece_) * width_;
    }
    const GifPixelType* row(int y) const {
        return pieces_[static_cast<size_t>(y) / rowsPerPiece_].data() +
               (static_cast<size_t>(y) % rowsPerPiece_) * width_;
    }

  private:
    size_t width_;
    size_t rowsPerPiece_;
    int height_;
    std::vector<std::vector<GifPixelType>> pieces_;
};

// Where the file's row `i` belongs: interlaced frames give every eighth row from 0, then
// from 4, every fourth from 2, every second from 1.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> order(static_cast<size_t>(height));
    if (!interlaced) {
        for (int i = 0; i < height; ++i) order[i] = i;
        return order;
    }
    constexpr int starts[] = {0, 4, 2, 1};
    constexpr int steps[] = {8, 8, 4, 2};
    size_t i = 0;
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < height; y += steps[pass]) order[i++] = y;
    }
    return order;
}

}  // namespace

bool hasPartialAlpha(const Image& image) {
    if (image.depth != 32) return false;
    return std::any_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) {
        const int a = alphaOf(p);
        return a != 0 && a != 255;
    });
}

void thresholdAlpha(Image& image, int threshold) {
    if (image.depth != 32) return;
    for (uint32_t& p : image.pixels) p = alphaOf(p) >= threshold ? (p | alphaMask) : 0;
}

int64_t gifColourCount(const Image& image, int64_t stopAfter) {
    // One bit per opaque colour.
    std::vector<uint64_t> seen((size_t{1} << 24) / 64, 0);
    int64_t count = 0;
    bool transparent = false;
    for (uint32_t p : image.pixels) {
        const uint32_t v = storedValue(image, p);
        if (v == 0) {
            if (!transparent) ++count;
            transparent = true;
        } else {
            const uint32_t c = v & colourMask;
            uint64_t& word = seen[c >> 6];
            const uint64_t bit = uint64_t{1} << (c & 63);
            if (!(word & bit)) {
                word |= bit;
                ++count;
            }
        }
        if (count > stopAfter) break;
    }
    return count;
}

static DecodeResult decodeGifUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || size < 6 || detectFormat(data, size) != ImageFormat::Gif) {
        result.error = "not a GIF file";
        return result;
    }
    if (size >= screenWidthOffset + 4) {
        // The size the file declares, named before giflib reads further.
        result.error = imageSizeError(readLe16(data + screenWidthOffset),
                                      readLe16(data + screenWidthOffset + 2));
        // A zero screen is taken from the first frame (some writers leave it out).
        if (readLe16(data + screenWidthOffset) == 0 ||
            readLe16(data + screenWidthOffset + 2) == 0) {
            result.error.clear();
        }
        if (!result.ok()) return result;
    }
    GifReader reader{data, size, 0};
    int openError = 0;
    GifDecoder gif(DGifOpen(&reader, readGif, &openError));
    if (!gif) {
        result.error = gifError(openError, reader);
        return result;
    }

    // Up to the first frame: extensions (the graphics control block's transparency).
    int transparent = -1;
    bool haveFrame = false;
    while (!haveFrame) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) {
            result.error = gifError(gif->Error, reader);
            return result;
        }
        switch (record) {
            case EXTENSION_RECORD_TYPE:
                if (!readExtension(gif.get(), &transparent)) {
                    result.error = gifError(gif->Error, reader);
                    return result;
                }
                break;
            case IMAGE_DESC_RECORD_TYPE:
                haveFrame = true;
                break;
            case TERMINATE_RECORD_TYPE:
                result.error = "GIF file holds no image";
                return result;
            default:
                result.error = "GIF file is damaged";
                return result;
        }
    }
    // The LZW code size follows the descriptor (9 bytes) and its colour table; giflib
    // refuses a bad one without saying why.
    const size_t descriptor = reader.position;
    if (size - descriptor > descriptorBytes) {
        const uint8_t packed = data[descriptor + descriptorBytes - 1];
        const size_t table = (packed & colourTableFlag) ? 3 * (size_t{2} << (packed & 7)) : 0;
        const size_t at = descriptor + descriptorBytes + table;
        if (at < size && data[at] > maxLzwCodeSize) {
            result.error =
                "GIF image data has an invalid LZW code size of " + std::to_string(data[at]);
            return result;
        }
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
        result.error = gifError(gif->Error, reader);
        return result;
    }
    const GifImageDesc& frame = gif->Image;
    const int64_t canvasWidth = std::max<int64_t>(gif->SWidth, int64_t{frame.Left} + frame.Width);
    const int64_t canvasHeight = std::max<int64_t>(gif->SHeight, int64_t{frame.Top} + frame.Height);
    result.error = imageSizeError(canvasWidth, canvasHeight);
    if (result.ok()) result.error = imageSizeError(frame.Width, frame.Height);
    if (!result.ok()) return result;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || map->ColorCount <= 0 || !map->Colors) {
        result.error = "GIF file has no colour table";
        return result;
    }

    // The indices first, so that a file whose data cannot fill its frame is refused before
    // the picture is made.
    IndexRows indices(frame.Width, frame.Height);
    for (int i = 0; i < frame.Height; ++i) {
        if (DGifGetLine(gif.get(), indices.row(i), frame.Width) == GIF_ERROR) {
            result.error = gifError(gif->Error, reader);
            return result;
        }
    }
    // Another frame after this one makes an animation; what follows it is not read.
    for (bool looking = true; looking;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) break;
        if (record == IMAGE_DESC_RECORD_TYPE) {
            result.notice = frameNotice;
            looking = false;
        } else if (record != EXTENSION_RECORD_TYPE || !readExtension(gif.get(), nullptr)) {
            looking = false;
        }
    }

    std::array<uint32_t, 256> colours;
    colours.fill(opaqueBlack);  // indices past the table show black, as browsers do
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
        colours[i] = rgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue) | alphaMask;
    }
    const std::vector<int> order = rowOrder(frame.Height, frame.Interlace);
    bool seeThrough = frame.Left != 0 || frame.Top != 0 || frame.Width != canvasWidth ||
                      frame.Height != canvasHeight;
    if (transparent >= 0 && !seeThrough) {
        for (int i = 0; i < frame.Height && !seeThrough; ++i) {
            const GifPixelType* row = indices.row(i);
            seeThrough = std::find(row, row + frame.Width, transparent) != row + frame.Width;
        }
    }
    if (transparent >= 0) colours[static_cast<size_t>(transparent)] = 0;
    // What the first frame leaves uncovered shows nothing.
    Image image = seeThrough
                      ? Image(static_cast<int>(canvasWidth), static_cast<int>(canvasHeight), 32, 0)
                      : Image::unset(frame.Width, frame.Height, 24);
    for (int i = 0; i < frame.Height; ++i) {
        const GifPixelType* from = indices.row(i);
        uint32_t* to = image.row(frame.Top + order[i]) + frame.Left;
        for (int x = 0; x < frame.Width; ++x) to[x] = colours[from[x]];
    }
    result.image = std::move(image);
    return result;
}

DecodeResult decodeGif(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodeGifUnguarded(data, size); });
}

namespace {

int writeGif(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* sink = static_cast<ByteSink*>(gif->UserData);
    return sinkWrite(sink, bytes, static_cast<size_t>(count)) ? count : 0;
}

struct MapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

static EncodeResult encodeGifUnguarded(const Image& image) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;
    if (image.width > maxGifSide || image.height > maxGifSide) {
        result.error = "a GIF is at most " + std::to_string(maxGifSide) + " pixels wide and high";
        return result;
    }
    if (hasPartialAlpha(image)) {
        result.error = "a GIF cannot hold partial transparency";
        return result;
    }
    ImagePalette palette;
    if (!findImagePalette(image, palette)) {
        result.error = "a GIF holds at most " + std::to_string(gifMaxColours) + " colours";
        return result;
    }
    // The transparent value (0) sorts first when there is one.
    const bool transparency = palette.translucent > 0;
    int bits = 1;
    while ((size_t{1} << bits) < palette.colours.size()) ++bits;
    std::unique_ptr<ColorMapObject, MapFreer> map(GifMakeMapObject(1 << bits, nullptr));
    if (!map) {
        result.error = "out of memory";
        return result;
    }
    for (int i = 0; i < map->ColorCount; ++i) {
        const uint32_t c = static_cast<size_t>(i) < palette.colours.size() ? palette.colours[i] : 0;
        map->Colors[i] =
            GifColorType{static_cast<GifByteType>(redOf(c)), static_cast<GifByteType>(greenOf(c)),
                         static_cast<GifByteType>(blueOf(c))};
    }

    ByteSink sink;
    int error = 0;
    GifFileType* gif = EGifOpen(&sink, writeGif, &error);
    if (!gif) {
        result.error = gifErrorText(error);
        return result;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map.get()) == GIF_OK;
    if (ok && transparency) {
        const GifByteType control[graphicsControlBytes] = {transparencyFlag, 0, 0, 0};
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, graphicsControlBytes, control) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    PaletteIndex index(palette);
    std::vector<GifPixelType> line(static_cast<size_t>(image.width));
    for (int y = 0; ok && y < image.height; ++y) {
        const uint32_t* row = image.row(y);
        for (int x = 0; x < image.width; ++x) line[x] = index(storedValue(image, row[x]));
        ok = EGifPutLine(gif, line.data(), image.width) == GIF_OK;
    }
    if (!ok) error = gif->Error;
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) == GIF_ERROR && ok) {
        ok = false;
        error = closeError;
    }
    if (!ok || sink.failed) {
        result.error = sink.failed ? "out of memory" : gifErrorText(error);
        return result;
    }
    result.bytes.assign(sink.data, sink.data + sink.size);
    return result;
}

EncodeResult encodeGif(const Image& image) {
    return guardMemory<EncodeResult>([&] { return encodeGifUnguarded(image); });
}
