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
        return "unsupported JPEG 2000 colour space";
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

// One component's samples reduced to 8 bits on the image grid (subsampled components are
// repeated), or an error when the decoded data does not match the header.
std::string componentTo8Bit(const opj_image_t* image, uint32_t index, int width, int height,
                            std::vector<uint8_t>& out) {
    const opj_image_comp_t& comp = image->comps[index];
    if (!comp.data || comp.w == 0 || comp.h == 0) return "JPEG 2000 component has no data";
    // The component covers ceil(x1 / dx) - ceil(x0 / dx) samples.
    uint64_t expectW = (uint64_t{image->x1} + comp.dx - 1) / comp.dx -
                       (uint64_t{image->x0} + comp.dx - 1) / comp.dx;
    uint64_t expectH = (uint64_t{image->y1} + comp.dy - 1) / comp.dy -
                       (uint64_t{image->y0} + comp.dy - 1) / comp.dy;
    if (comp.w != expectW || comp.h != expectH) return "JPEG 2000 component size mismatch";

    const int64_t maxValue = (int64_t{1} << comp.prec) - 1;
    const int64_t offset = comp.sgnd ? (int64_t{1} << (comp.prec - 1)) : 0;
    std::vector<uint32_t> column(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        int64_t cx = (int64_t{image->x0} + x) / comp.dx - int64_t{comp.x0};
        column[x] = static_cast<uint32_t>(std::clamp<int64_t>(cx, 0, comp.w - 1));
    }
    out.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        int64_t cy = (int64_t{image->y0} + y) / comp.dy - int64_t{comp.y0};
        const OPJ_INT32* row =
            comp.data + static_cast<size_t>(std::clamp<int64_t>(cy, 0, comp.h - 1)) * comp.w;
        uint8_t* to = out.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            int64_t v = std::clamp<int64_t>(int64_t{row[column[x]]} + offset, 0, maxValue);
            to[x] = static_cast<uint8_t>(comp.prec == 8 ? v : (v * 255 + maxValue / 2) / maxValue);
        }
    }
    return {};
}

uint8_t clampByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

std::string toImage(const opj_image_t* decoded, Image& image) {
    const int width = static_cast<int>(decoded->x1 - decoded->x0);
    const int height = static_cast<int>(decoded->y1 - decoded->y0);
    const uint32_t n = decoded->numcomps;
    std::vector<uint8_t> planes[maxComponents];
    for (uint32_t i = 0; i < n; ++i) {
        std::string error = componentTo8Bit(decoded, i, width, height, planes[i]);
        if (!error.empty()) return error;
    }
    const bool grey = n < 3;
    const bool hasAlpha = n == 2 || n == 4;
    const bool ycc = !grey && decoded->color_space == OPJ_CLRSPC_SYCC;
    image = Image(width, height, hasAlpha ? 32 : 24);
    const std::vector<uint8_t>& alpha = planes[n - 1];
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        int r, g, b;
        if (grey) {
            r = g = b = planes[0][i];
        } else if (ycc) {
            double yv = planes[0][i], cb = planes[1][i] - 128.0, cr = planes[2][i] - 128.0;
            r = clampByte(yv + 1.402 * cr);
            g = clampByte(yv - 0.344136 * cb - 0.714136 * cr);
            b = clampByte(yv + 1.772 * cb);
        } else {
            r = planes[0][i];
            g = planes[1][i];
            b = planes[2][i];
        }
        image.pixels[i] = rgba(r, g, b, hasAlpha ? alpha[i] : 255);
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

static DecodeResult decodeJpeg2000Unguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || size < sizeof j2kCodestreamStart) {
        result.error = "not a JPEG 2000 file";
        return result;
    }
    bool codestream = std::memcmp(data, j2kCodestreamStart, sizeof j2kCodestreamStart) == 0;
    CodecPtr codec(opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    Messages messages{};
    MemoryReader reader{data, size, 0};
    StreamPtr stream = memoryStream(&reader);
    if (!codec || !stream) {
        result.error = "out of memory";
        return result;
    }
    installHandlers(codec.get(), &messages);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) {
        result.error = withDefault(messages, "JPEG 2000 decoder set-up failed");
        return result;
    }
    // Truncated codestreams are errors, not partially decoded pictures.
    opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);
    useCodecThreads(codec.get());

    opj_image_t* raw = nullptr;
    bool headerRead = opj_read_header(stream.get(), codec.get(), &raw);
    OpjImagePtr decoded(raw);
    if (!headerRead || !decoded) {
        result.error = withDefault(messages, "unreadable JPEG 2000 header");
        return result;
    }
    result.error = headerError(decoded.get(), codec.get());
    if (!result.ok()) return result;

    if (!opj_decode(codec.get(), stream.get(), decoded.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        result.error = withDefault(messages, "JPEG 2000 decoding failed");
        return result;
    }
    Image image;
    result.error = toImage(decoded.get(), image);
    if (result.ok()) result.image = std::move(image);
    return result;
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
