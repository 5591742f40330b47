// PNG reading through libpng (writing is in png_encode.cpp). libpng reports errors by
// longjmp, so every function that calls into it under setjmp holds only plain C data;
// images and vectors are made outside them.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/codecs/embedded.h"

namespace {

constexpr size_t pngSignatureBytes = 8;
constexpr size_t ihdrWidthOffset = 16;  // signature, chunk length, "IHDR"
constexpr size_t ihdrEnd = 24;
// Cap what one ancillary chunk may allocate and how many are kept, so a tiny file cannot
// make libpng reserve a huge buffer.
constexpr png_alloc_size_t chunkMallocMax = 8u << 20;
constexpr png_uint_32 chunkCacheMax = 128;
constexpr size_t messageBytes = 200;
// Ancillary chunks the decoder has no use for (text, gamma, layout): skipped unread, so a
// damaged one can neither fail a good picture nor cost memory.
constexpr png_byte ignoredChunks[] =
    "bKGD\0cHRM\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0sBIT\0sCAL\0sPLT\0sTER\0tEXt\0tIME\0zTXt";
constexpr int ignoredChunkCount = 14;
// The ones it uses are kept as they are and read here, not by libpng, whose checks would
// fail a good picture over a damaged profile or EXIF block.
constexpr png_byte keptChunks[] = "eXIf\0iCCP\0pHYs\0sRGB";
constexpr int keptChunkCount = 4;
// A profile is inflated up to this size; anything larger is no profile we can use.
constexpr size_t maxProfileBytes = size_t{16} << 20;
constexpr size_t physBytes = 9;
constexpr png_byte physPerMetre = 1;

struct PngReader {
    const uint8_t* data;
    size_t size;
    size_t position;
    char message[messageBytes];
};

struct PngInfo {
    png_uint_32 width;
    png_uint_32 height;
    int hasAlpha;
    int grey;
};

void keepMessage(char* to, const char* text) {
    if (to[0] != '\0') return;  // the first error is the informative one
    std::strncpy(to, text ? text : "PNG error", messageBytes - 1);
    to[messageBytes - 1] = '\0';
}

void onPngError(png_structp png, png_const_charp text) {
    auto* message = static_cast<char*>(png_get_error_ptr(png));
    keepMessage(message, text);
    png_longjmp(png, 1);
}

// Warnings (a bad ancillary chunk dropped, an unknown sRGB profile) do not stop a decode.
void onPngWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, size_t count) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position) png_error(png, "file is truncated");
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

png_structp createReadStruct(char* message) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning);
    return png;
}

// Reads the header and sets up conversion to 8-bit RGBA. Returns false on error.
bool readPngHeader(png_structp png, png_infop info, PngReader* reader, PngInfo* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_benign_errors(png, 0);
    png_set_chunk_malloc_max(png, chunkMallocMax);
    png_set_chunk_cache_max(png, chunkCacheMax);
    // Our own check below covers the pixel count; these stop absurd single dimensions.
    png_set_user_limits(png, maxImagePixels, maxImagePixels);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, ignoredChunks, ignoredChunkCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, keptChunks, keptChunkCount);
    png_set_read_fn(png, reader, readFromMemory);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    out->width = width;
    out->height = height;
    out->hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    out->grey = (colorType & PNG_COLOR_MASK_COLOR) == 0;

    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    if (!out->hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    return true;
}

// Called once the size is known to be allowed and `rows` point into the image.
bool readPngRows(png_structp png, png_infop info, png_bytepp rows, size_t expectedRowBytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != expectedRowBytes) png_error(png, "unexpected row layout");
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

// An iCCP chunk's profile: a name of 1 to 79 bytes, a zero, the compression method (0,
// deflate) and the zlib stream. Empty when any of it is wrong.
std::vector<uint8_t> inflateProfile(const png_byte* data, size_t size) {
    constexpr size_t maxNameBytes = 79;
    const png_byte* end =
        static_cast<const png_byte*>(std::memchr(data, 0, std::min(size, maxNameBytes + 1)));
    if (!end || end == data || static_cast<size_t>(end - data) + 2 > size || end[1] != 0) return {};
    const png_byte* stream = end + 2;
    const size_t streamSize = size - static_cast<size_t>(stream - data);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    std::vector<uint8_t> profile;
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(streamSize);
    int status = Z_OK;
    uint8_t buffer[16384];
    while (status == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        const size_t produced = sizeof buffer - z.avail_out;
        if (profile.size() + produced > maxProfileBytes) {
            status = Z_MEM_ERROR;
            break;
        }
        profile.insert(profile.end(), buffer, buffer + produced);
        if (status == Z_OK && produced == 0 && z.avail_in == 0) break;  // cut short
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) return {};
    return profile;
}

// The chunks kept for us: the EXIF block, the profile (unless the file says it is sRGB,
// which wins) and the resolution in pixels per metre.
void readKeptChunks(png_structp png, png_infop info, bool grey, Embedded& embedded) {
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    bool srgb = false;
    std::vector<uint8_t> profile;
    for (int i = 0; i < count; ++i) {
        const png_unknown_chunk& c = chunks[i];
        const char* name = reinterpret_cast<const char*>(c.name);
        if (std::memcmp(name, "sRGB", 4) == 0) {
            srgb = true;
        } else if (std::memcmp(name, "iCCP", 4) == 0 && profile.empty() && c.size > 0) {
            profile = inflateProfile(c.data, c.size);
        } else if (std::memcmp(name, "eXIf", 4) == 0 && embedded.exif.empty() && c.size > 0) {
            embedded.exif.assign(c.data, c.data + c.size);
        } else if (std::memcmp(name, "pHYs", 4) == 0 && c.size == physBytes &&
                   c.data[8] == physPerMetre) {
            const uint32_t x = readBe32(c.data), y = readBe32(c.data + 4);
            if (x > 0 && y > 0) {
                embedded.xDpi = dpiFromPixelsPerMetre(x);
                embedded.yDpi = dpiFromPixelsPerMetre(y);
            }
        }
    }
    if (!srgb) embedded.profile = std::move(profile);
    embedded.samples = grey ? SampleKind::Grey : SampleKind::Rgb;
}

}  // namespace

static DecodeResult decodePngUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || size < pngSignatureBytes || png_sig_cmp(data, 0, pngSignatureBytes) != 0) {
        result.error = "not a PNG file";
        return result;
    }
    // Check the declared size before libpng sees it, so the message names the size.
    if (size >= ihdrEnd && std::memcmp(data + 12, "IHDR", 4) == 0) {
        std::string sizeError =
            imageSizeError(readBe32(data + ihdrWidthOffset), readBe32(data + ihdrWidthOffset + 4));
        if (!sizeError.empty()) {
            result.error = sizeError;
            return result;
        }
    }

    PngReader reader{data, size, 0, {}};
    // Owned here, outside the setjmp'd functions, so every return releases them.
    struct ReadStructs {
        png_structp png = nullptr;
        png_infop info = nullptr;
        ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
    } structs;
    structs.png = createReadStruct(reader.message);
    structs.info = structs.png ? png_create_info_struct(structs.png) : nullptr;
    if (!structs.png || !structs.info) {
        result.error = "out of memory";
        return result;
    }

    PngInfo header{};
    if (!readPngHeader(structs.png, structs.info, &reader, &header)) {
        result.error = reader.message;
        return result;
    }
    result.error = imageSizeError(header.width, header.height);
    if (!result.ok()) return result;

    // libpng writes every pixel (each pass of an interlaced file its own share).
    Image image = Image::unset(static_cast<int>(header.width), static_cast<int>(header.height),
                               header.hasAlpha ? 32 : 24);
    std::vector<png_bytep> rows(header.height);
    for (int y = 0; y < image.height; ++y) rows[y] = reinterpret_cast<png_bytep>(image.row(y));
    if (!readPngRows(structs.png, structs.info, rows.data(), size_t{header.width} * 4)) {
        result.error = reader.message;
        return result;
    }
    rows = {};
    Embedded embedded;
    readKeptChunks(structs.png, structs.info, header.grey, embedded);
    result.image = std::move(image);
    finishDecode(result, embedded);
    return result;
}

DecodeResult decodePng(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodePngUnguarded(data, size); });
}
