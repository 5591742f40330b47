// JPEG 2000 through OpenJPEG: .jp2 files and bare codestreams are read, .jp2 is written.
// OpenJPEG has no memory cap of its own, so the header is read and checked (size,
// components, bit depth, subsampling, tiles) before anything is decoded.

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/parallel.h"

namespace {

constexpr uint8_t j2kCodestreamStart[] = {0xFF, 0x4F};  // SOC marker
constexpr uint32_t maxComponents = 4;                   // grey, grey+alpha, RGB, RGBA
constexpr uint32_t maxPrecision = 16;
constexpr uint32_t maxSubsampling = 4;
constexpr uint64_t maxTiles = 65535;  // the most a codestream can index
constexpr size_t messageBytes = 200;
constexpr int maxResolutions = 6;  // OpenJPEG's default number of wavelet levels plus one

// Compression ratio for each quality below 10 (10 is lossless). Each step of two halves
// the ratio; 3, the program's save quality, is 40:1 (0.6 bits per 24-bit pixel): softened
// edges and some ringing, but a decent picture.
constexpr float compressionRatios[10] = {113, 80, 57, 40, 28, 20, 14, 10, 7, 5};
constexpr int losslessQuality = 10;

struct Messages {
    char error[messageBytes];
};

void onOpjError(const char* text, void* user) {
    auto* messages = static_cast<Messages*>(user);
    if (messages->error[0] != '\0' || !text) return;  // keep the first, the informative one
    std::strncpy(messages->error, text, messageBytes - 1);
    messages->error[messageBytes - 1] = '\0';
    size_t length = std::strlen(messages->error);
    while (length > 0 &&
           (messages->error[length - 1] == '\n' || messages->error[length - 1] == ' ')) {
        messages->error[--length] = '\0';
    }
}

void onOpjQuiet(const char*, void*) {}

// OpenJPEG decodes and encodes code blocks on threads of its own. Without thread support
// in the library the codec simply runs on one; never a reason to fail.
bool useCodecThreads(opj_codec_t* codec) {
    opj_codec_set_threads(codec, codecThreadCount());
    return true;
}

void installHandlers(opj_codec_t* codec, Messages* messages) {
    opj_set_error_handler(codec, onOpjError, messages);
    opj_set_warning_handler(codec, onOpjQuiet, nullptr);
    opj_set_info_handler(codec, onOpjQuiet, nullptr);
}

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

OPJ_SIZE_T readMemory(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* reader = static_cast<MemoryReader*>(user);
    if (reader->position >= reader->size) return static_cast<OPJ_SIZE_T>(-1);
    size_t n = std::min<size_t>(count, reader->size - reader->position);
    std::memcpy(buffer, reader->data + reader->position, n);
    reader->position += n;
    return n;
}

OPJ_OFF_T skipMemory(OPJ_OFF_T count, void* user) {
    auto* reader = static_cast<MemoryReader*>(user);
    if (count < 0) {
        OPJ_OFF_T back = std::min<OPJ_OFF_T>(-count, static_cast<OPJ_OFF_T>(reader->position));
        reader->position -= static_cast<size_t>(back);
        return -back;
    }
    size_t left = reader->size - reader->position;
    if (left == 0 && count > 0) return -1;
    size_t n = std::min<size_t>(static_cast<uint64_t>(count), left);
    reader->position += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL seekMemory(OPJ_OFF_T position, void* user) {
    auto* reader = static_cast<MemoryReader*>(user);
    if (position < 0 || static_cast<uint64_t>(position) > reader->size) return OPJ_FALSE;
    reader->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

OPJ_SIZE_T writeSink(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* sink = static_cast<ByteSink*>(user);
    return sinkWrite(sink, buffer, count) ? count : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T skipSink(OPJ_OFF_T count, void* user) {
    auto* sink = static_cast<ByteSink*>(user);
    if (count < 0 && static_cast<uint64_t>(-count) > sink->position) return -1;
    sink->position = static_cast<size_t>(static_cast<OPJ_OFF_T>(sink->position) + count);
    return count;
}

OPJ_BOOL seekSink(OPJ_OFF_T position, void* user) {
    auto* sink = static_cast<ByteSink*>(user);
    if (position < 0) return OPJ_FALSE;
    sink->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

// Owners for OpenJPEG's objects, so every early return releases them.
struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using OpjImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

std::string withDefault(const Messages& messages, const char* fallback) {
    return messages.error[0] ? std::string(messages.error) : std::string(fallback);
}

// Checks what the header declares before any sample memory is allocated.
std::string headerError(const opj_image_t* image, opj_codec_t* codec) {
    if (image->x1 <= image->x0 || image->y1 <= image->y0) return "invalid JPEG 2000 image area";
    std::string sizeError =
        imageSizeError(int64_t{image->x1} - image->x0, int64_t{image->y1} - image->y0);
    if (!sizeError.empty()) return sizeError;
    if (image->numcomps == 0 || image->numcomps > maxComponents) {
        return "unsupported JPEG 2000 component count " + std::to_string(image->numcomps);
    }
    if (image->color_space == OPJ_CLRSPC_CMYK || image->color_space == OPJ_CLRSPC_EYCC) {
        return "unsupported JPEG 2000 color space";
    }
    for (uint32_t i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& comp = image->comps[i];
        if (comp.prec == 0 || comp.prec > maxPrecision) {
            return "unsupported JPEG 2000 bit depth " + std::to_string(comp.prec);
        }
        if (comp.dx == 0 || comp.dy == 0 || comp.dx > maxSubsampling || comp.dy > maxSubsampling) {
            return "unsupported JPEG 2000 subsampling";
        }
    }
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    if (!info) return "unreadable JPEG 2000 header";
    bool tilesOk = info->tdx > 0 && info->tdy > 0 && info->tw > 0 && info->th > 0 &&
                   uint64_t{info->tw} * info->th <= maxTiles;
    opj_destroy_cstr_info(&info);
    if (!tilesOk) return "invalid JPEG 2000 tiling";
    return {};
}

// Reads one component of a decoded area on the image grid: subsampled components repeat
// their samples, deeper ones are scaled to 8 bits.
struct ComponentReader {
    const opj_image_comp_t* comp = nullptr;
    std::vector<uint32_t> column;  // sample column for each image column of the area
    int64_t offset = 0;            // added to signed samples
    int64_t maxValue = 255;
    int64_t y0 = 0;  // image row of the area's top

    // Empty on success, else why the decoded data does not match the header.
    std::string attach(const opj_image_t* area, uint32_t index) {
        comp = &area->comps[index];
        if (!comp->data || comp->w == 0 || comp->h == 0) return "JPEG 2000 component has no data";
        // The component covers ceil(x1 / dx) - ceil(x0 / dx) samples.
        uint64_t expectW = (uint64_t{area->x1} + comp->dx - 1) / comp->dx -
                           (uint64_t{area->x0} + comp->dx - 1) / comp->dx;
        uint64_t expectH = (uint64_t{area->y1} + comp->dy - 1) / comp->dy -
                           (uint64_t{area->y0} + comp->dy - 1) / comp->dy;
        if (comp->w != expectW || comp->h != expectH) return "JPEG 2000 component size mismatch";
        maxValue = (int64_t{1} << comp->prec) - 1;
        offset = comp->sgnd ? (int64_t{1} << (comp->prec - 1)) : 0;
        y0 = area->y0;
        const int64_t width = int64_t{area->x1} - area->x0;
        column.resize(static_cast<size_t>(width));
        for (int64_t x = 0; x < width; ++x) {
            int64_t cx = (int64_t{area->x0} + x) / comp->dx - int64_t{comp->x0};
            column[x] = static_cast<uint32_t>(std::clamp<int64_t>(cx, 0, comp->w - 1));
        }
        return {};
    }

    // The samples of image row `y` (absolute), one per image column.
    const OPJ_INT32* row(int64_t y) const {
        int64_t cy = y / comp->dy - int64_t{comp->y0};
        return comp->data + static_cast<size_t>(std::clamp<int64_t>(cy, 0, comp->h - 1)) * comp->w;
    }

    int value(const OPJ_INT32* samples, size_t x) const {
        int64_t v = std::clamp<int64_t>(int64_t{samples[column[x]]} + offset, 0, maxValue);
        return static_cast<int>(maxValue == 255 ? v : (v * 255 + maxValue / 2) / maxValue);
    }
};

uint8_t clampByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Writes the rows a decoded area covers (the full image width) into `image`.
std::string areaToImage(const opj_image_t* area, int64_t imageY0, Image& image) {
    const uint32_t n = area->numcomps;
    ComponentReader readers[maxComponents];
    for (uint32_t i = 0; i < n; ++i) {
        std::string error = readers[i].attach(area, i);
        if (!error.empty()) return error;
    }
    const bool grey = n < 3;
    const bool hasAlpha = n == 2 || n == 4;
    const bool ycc = !grey && area->color_space == OPJ_CLRSPC_SYCC;
    const size_t width = static_cast<size_t>(image.width);
    for (int64_t y = area->y0; y < int64_t{area->y1}; ++y) {
        const OPJ_INT32* rows[maxComponents];
        for (uint32_t i = 0; i < n; ++i) rows[i] = readers[i].row(y);
        uint32_t* out = image.row(static_cast<int>(y - imageY0));
        for (size_t x = 0; x < width; ++x) {
            int r, g, b;
            if (grey) {
                r = g = b = readers[0].value(rows[0], x);
            } else if (ycc) {
                double yv = readers[0].value(rows[0], x);
                double cb = readers[1].value(rows[1], x) - 128.0;
                double cr = readers[2].value(rows[2], x) - 128.0;
                r = clampByte(yv + 1.402 * cr);
                g = clampByte(yv - 0.344136 * cb - 0.714136 * cr);
                b = clampByte(yv + 1.772 * cb);
            } else {
                r = readers[0].value(rows[0], x);
                g = readers[1].value(rows[1], x);
                b = readers[2].value(rows[2], x);
            }
            int a = hasAlpha ? readers[n - 1].value(rows[n - 1], x) : 255;
            out[x] = rgba(r, g, b, a);
        }
    }
    return {};
}

StreamPtr memoryStream(MemoryReader* reader) {
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!stream) return stream;
    opj_stream_set_read_function(stream.get(), readMemory);
    opj_stream_set_skip_function(stream.get(), skipMemory);
    opj_stream_set_seek_function(stream.get(), seekMemory);
    opj_stream_set_user_data(stream.get(), reader, nullptr);
    opj_stream_set_user_data_length(stream.get(), reader->size);
    return stream;
}

}  // namespace

namespace {

// One pass over the file: a codec that has read the main header.
struct Jp2Reader {
    MemoryReader reader;
    Messages messages{};
    CodecPtr codec;
    StreamPtr stream;
    OpjImagePtr header;

    // Empty on success, else the reason.
    std::string open(const uint8_t* data, size_t size) {
        reader = MemoryReader{data, size, 0};
        bool codestream = std::memcmp(data, j2kCodestreamStart, sizeof j2kCodestreamStart) == 0;
        codec.reset(opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
        stream = memoryStream(&reader);
        if (!codec || !stream) return "out of memory";
        installHandlers(codec.get(), &messages);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (!opj_setup_decoder(codec.get(), &parameters)) {
            return withDefault(messages, "JPEG 2000 decoder set-up failed");
        }
        // Truncated codestreams are errors, not partially decoded pictures.
        opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);
        useCodecThreads(codec.get());
        opj_image_t* raw = nullptr;
        bool headerRead = opj_read_header(stream.get(), codec.get(), &raw);
        header.reset(raw);
        if (!headerRead || !header) return withDefault(messages, "unreadable JPEG 2000 header");
        return {};
    }
};

// OpenJPEG holds 4 bytes for every sample of the area it decodes and, decoding part of a
// tile, up to four times as much again in working copies (measured). A band of rows is decoded
// at a time, so that this stays within a share of the image plus a fixed allowance.
constexpr int64_t opjBytesPerSample = 4;
constexpr int64_t opjWorkingFactor = 5;
constexpr int64_t bandAllowance = int64_t{48} << 20;
constexpr int64_t minBandRows = 64;

// Rows per band for an image of `imageBytes` whose rows take `rowBytes` of samples.
int64_t defaultBandRows(int64_t imageBytes, int64_t rowBytes) {
    const int64_t working = imageBytes * 3 / 10 + bandAllowance;
    return std::max(minBandRows, working / (rowBytes * opjWorkingFactor));
}

// 4-byte samples one image row needs, over all components.
int64_t sampleBytesPerRow(const opj_image_t* image) {
    const int64_t width = int64_t{image->x1} - image->x0;
    int64_t bytes = 0;
    for (uint32_t i = 0; i < image->numcomps; ++i) {
        bytes += (width + image->comps[i].dx - 1) / image->comps[i].dx * opjBytesPerSample;
    }
    return bytes;
}

}  // namespace

DecodeResult decodeJpeg2000InBands(const uint8_t* data, size_t size, int64_t bandRows) {
    DecodeResult result;
    if (!data || size < sizeof j2kCodestreamStart) {
        result.error = "not a JPEG 2000 file";
        return result;
    }
    Jp2Reader first;
    result.error = first.open(data, size);
    if (!result.ok()) return result;
    const opj_image_t* header = first.header.get();
    result.error = headerError(header, first.codec.get());
    if (!result.ok()) return result;

    const int64_t x0 = header->x0, y0 = header->y0;
    const int64_t width = int64_t{header->x1} - x0, height = int64_t{header->y1} - y0;
    const int64_t rowBytes = sampleBytesPerRow(header);
    const int64_t imageBytes = width * height * 4;
    if (bandRows <= 0) {
        // Narrower bands where the image itself nearly fills the budget.
        const int64_t room = maxDecodeBytes - imageBytes - static_cast<int64_t>(size);
        bandRows = std::min(defaultBandRows(imageBytes, rowBytes),
                            std::max(minBandRows, room / (rowBytes * opjWorkingFactor)));
    }
    bandRows = std::min(bandRows, height);
    // The image, OpenJPEG's samples and working copies for one band, and its copy of the
    // compressed data.
    const int64_t need =
        imageBytes + opjWorkingFactor * bandRows * rowBytes + static_cast<int64_t>(size);
    if (need > maxDecodeBytes) {
        result.error = "JPEG 2000 file needs more than " + std::to_string(maxDecodeBytes >> 20) +
                       " MiB to decode";
        return result;
    }
    const bool hasAlpha = header->numcomps == 2 || header->numcomps == 4;
    // Made once the first band has decoded, so that a file whose data runs out there (a
    // few bytes claiming a huge picture) never asks for the image.
    Image image;

    // Band edges fall on rows that every component samples (dy is 1 to 4), so a band has
    // the samples its rows repeat.
    constexpr int64_t rowAlignment = 12;
    for (int64_t top = 0, bottom = 0; top < height; top = bottom) {
        bottom = (y0 + top + std::max(bandRows, rowAlignment)) / rowAlignment * rowAlignment - y0;
        bottom = std::min(height, bottom);
        // Each band is read afresh: OpenJPEG decodes one area per pass over the file.
        Jp2Reader pass;
        Jp2Reader* r = &first;
        if (top > 0) {
            result.error = pass.open(data, size);
            if (!result.ok()) return result;
            r = &pass;
        }
        opj_image_t* area = r->header.get();
        const bool whole = top == 0 && bottom == height;
        if (!whole && !opj_set_decode_area(r->codec.get(), area, static_cast<OPJ_INT32>(x0),
                                           static_cast<OPJ_INT32>(y0 + top),
                                           static_cast<OPJ_INT32>(x0 + width),
                                           static_cast<OPJ_INT32>(y0 + bottom))) {
            result.error = withDefault(r->messages, "JPEG 2000 decoding failed");
            return result;
        }
        if (!opj_decode(r->codec.get(), r->stream.get(), area) ||
            !opj_end_decompress(r->codec.get(), r->stream.get())) {
            result.error = withDefault(r->messages, "JPEG 2000 decoding failed");
            return result;
        }
        if (int64_t{area->y0} != y0 + top || int64_t{area->y1} != y0 + bottom ||
            int64_t{area->x0} != x0 || int64_t{area->x1} != x0 + width) {
            result.error = "JPEG 2000 decoded area does not match the request";
            return result;
        }
        if (image.empty()) {
            image =
                Image::unset(static_cast<int>(width), static_cast<int>(height), hasAlpha ? 32 : 24);
        }
        result.error = areaToImage(area, y0, image);
        if (!result.ok()) return result;
        // Release this band's samples before the next is decoded.
        if (r == &first) {
            first.header.reset();
            first.stream.reset();
            first.codec.reset();
        }
    }
    result.image = std::move(image);
    return result;
}

static DecodeResult decodeJpeg2000Unguarded(const uint8_t* data, size_t size) {
    return decodeJpeg2000InBands(data, size, 0);
}

static EncodeResult encodeJpeg2000Unguarded(const Image& image, int quality) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;
    quality = clampQuality(quality);

    const uint32_t n = image.depth == 32 ? 4 : 3;
    opj_image_cmptparm_t parts[maxComponents];
    std::memset(parts, 0, sizeof parts);
    for (uint32_t i = 0; i < n; ++i) {
        parts[i].dx = parts[i].dy = 1;
        parts[i].w = static_cast<OPJ_UINT32>(image.width);
        parts[i].h = static_cast<OPJ_UINT32>(image.height);
        parts[i].prec = 8;
        parts[i].sgnd = 0;
    }
    OpjImagePtr source(opj_image_create(n, parts, OPJ_CLRSPC_SRGB));
    if (!source) {
        result.error = "out of memory";
        return result;
    }
    source->x0 = source->y0 = 0;
    source->x1 = static_cast<OPJ_UINT32>(image.width);
    source->y1 = static_cast<OPJ_UINT32>(image.height);
    if (n == 4) source->comps[3].alpha = 1;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t p = image.pixels[i];
        source->comps[0].data[i] = redOf(p);
        source->comps[1].data[i] = greenOf(p);
        source->comps[2].data[i] = blueOf(p);
        if (n == 4) source->comps[3].data[i] = alphaOf(p);
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    if (quality == losslessQuality) {
        parameters.tcp_rates[0] = 0;  // 0 means lossless with the reversible wavelet
        parameters.irreversible = 0;
    } else {
        parameters.tcp_rates[0] = compressionRatios[quality];
        parameters.irreversible = 1;
    }
    parameters.tcp_mct = 1;  // decorrelate R, G and B; alpha stays as it is
    // Each wavelet level halves the image; a level more than the smaller side allows is
    // refused by the encoder, so small images get fewer.
    int smaller = std::min(image.width, image.height);
    int levels = 1;
    while (levels < maxResolutions && (smaller >> levels) > 0) ++levels;
    parameters.numresolution = levels;

    CodecPtr codec(opj_create_compress(OPJ_CODEC_JP2));
    Messages messages{};
    ByteSink sink;
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!codec || !stream) {
        result.error = "out of memory";
        return result;
    }
    installHandlers(codec.get(), &messages);
    opj_stream_set_write_function(stream.get(), writeSink);
    opj_stream_set_skip_function(stream.get(), skipSink);
    opj_stream_set_seek_function(stream.get(), seekSink);
    opj_stream_set_user_data(stream.get(), &sink, nullptr);

    bool ok = opj_setup_encoder(codec.get(), &parameters, source.get()) &&
              useCodecThreads(codec.get()) &&
              opj_start_compress(codec.get(), source.get(), stream.get()) &&
              opj_encode(codec.get(), stream.get()) && opj_end_compress(codec.get(), stream.get());
    stream.reset();  // done with the sink before it is read and freed
    if (ok && !sink.failed) {
        result.bytes.assign(sink.data, sink.data + sink.size);
    } else {
        result.error =
            sink.failed ? "out of memory" : withDefault(messages, "JPEG 2000 encoding failed");
    }
    return result;
}

DecodeResult decodeJpeg2000(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodeJpeg2000Unguarded(data, size); });
}

EncodeResult encodeJpeg2000(const Image& image, int quality) {
    return guardMemory<EncodeResult>([&] { return encodeJpeg2000Unguarded(image, quality); });
}
