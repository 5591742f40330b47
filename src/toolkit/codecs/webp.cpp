// WebP through libwebp: the container is taken apart by its demuxer (the first frame,
// the colour profile and EXIF), the frame is decoded straight into the picture; writing
// goes through its encoder and, for EXIF, its muxer.

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/codecs/embedded.h"
#include "toolkit/codecs/exif.h"

namespace {

constexpr int maxWebpSide = 16383;
constexpr int bytesPerPixel = 4;
constexpr const char* frameNotice = "only the first frame of the animation is shown";
constexpr size_t firstChunk = 12;       // after "RIFF", the size and "WEBP"
constexpr size_t vp8xCanvasWidth = 24;  // after the chunk header and the flags
constexpr size_t vp8xCanvasEnd = 30;

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

std::string statusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "WebP file is truncated";
        case VP8_STATUS_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "unsupported WebP feature";
        default:
            return "WebP data is damaged";
    }
}

std::vector<uint8_t> chunkOf(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator chunk;
    std::vector<uint8_t> bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &chunk)) {
        bytes.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return bytes;
}

}  // namespace

static DecodeResult decodeWebpUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || detectFormat(data, size) != ImageFormat::WebP) {
        result.error = "not a WebP file";
        return result;
    }
    // An extended file names its canvas first: a size over the limit is refused before
    // anything else is read.
    if (size >= vp8xCanvasEnd && std::memcmp(data + firstChunk, "VP8X", 4) == 0) {
        auto le24 = [data](size_t at) {
            return static_cast<uint32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16);
        };
        const int64_t width = int64_t{1} + le24(vp8xCanvasWidth);
        const int64_t height = int64_t{1} + le24(vp8xCanvasWidth + 3);
        result.error = imageSizeError(width, height);
        if (!result.ok()) return result;
    }
    const WebPData whole{data, size};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&whole, &state));
    if (!demux || state != WEBP_DEMUX_DONE) {
        const bool cut = demux && state != WEBP_DEMUX_PARSE_ERROR;
        result.error = cut ? "WebP file is truncated" : "WebP file is damaged";
        return result;
    }
    const uint32_t canvasWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const uint32_t canvasHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    result.error = imageSizeError(canvasWidth, canvasHeight);
    if (!result.ok()) return result;
    if (WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) > 1) result.notice = frameNotice;

    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) {
        result.error = "WebP file holds no image";
        return result;
    }
    struct FrameRelease {
        WebPIterator& f;
        ~FrameRelease() { WebPDemuxReleaseIterator(&f); }
    } release{frame};
    WebPBitstreamFeatures features;
    const VP8StatusCode featureStatus =
        WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features);
    if (featureStatus != VP8_STATUS_OK) {
        result.error = statusText(featureStatus);
        return result;
    }
    if (features.width != frame.width || features.height != frame.height || frame.x_offset < 0 ||
        frame.y_offset < 0 || int64_t{frame.x_offset} + frame.width > canvasWidth ||
        int64_t{frame.y_offset} + frame.height > canvasHeight) {
        result.error = "WebP frame does not fit its canvas";
        return result;
    }

    const int width = static_cast<int>(canvasWidth), height = static_cast<int>(canvasHeight);
    const bool covers = frame.x_offset == 0 && frame.y_offset == 0 && frame.width == width &&
                        frame.height == height;
    const bool alpha = frame.has_alpha || features.has_alpha || !covers;
    // What the first frame leaves uncovered shows nothing.
    Image image =
        covers ? Image::unset(width, height, alpha ? 32 : 24) : Image(width, height, 32, 0);

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        result.error = "WebP decoder version mismatch";
        return result;
    }
    const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba =
        reinterpret_cast<uint8_t*>(image.row(frame.y_offset) + frame.x_offset);
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * static_cast<size_t>(frame.height - 1) +
                                static_cast<size_t>(frame.width) * bytesPerPixel;
    const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        result.error = statusText(status);
        return result;
    }
    if (image.depth == 24) {
        // Without alpha in the file the decoder writes 255; a 24-bit image must say so.
        for (uint32_t& p : image.pixels) p |= alphaMask;
    }
    Embedded embedded;
    embedded.profile = chunkOf(demux.get(), "ICCP");
    embedded.exif = chunkOf(demux.get(), "EXIF");
    result.image = std::move(image);
    finishDecode(result, embedded);
    return result;
}

DecodeResult decodeWebp(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodeWebpUnguarded(data, size); });
}

namespace {

struct PictureRelease {
    WebPPicture& p;
    ~PictureRelease() { WebPPictureFree(&p); }
};
struct WriterRelease {
    WebPMemoryWriter& w;
    ~WriterRelease() { WebPMemoryWriterClear(&w); }
};
struct MuxDeleter {
    void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

std::string encodeErrorText(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return "out of memory";
        default:
            return "WebP encoding failed (error " + std::to_string(static_cast<int>(error)) + ")";
    }
}

}  // namespace

static EncodeResult encodeWebpUnguarded(const Image& image, int quality,
                                        const ImageMetadata& metadata) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;
    if (image.width > maxWebpSide || image.height > maxWebpSide) {
        result.error = "a WebP is at most " + std::to_string(maxWebpSide) + " pixels wide and high";
        return result;
    }
    ImagePalette palette;
    const bool lossless = findImagePalette(image, palette);

    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
        result.error = "WebP encoder version mismatch";
        return result;
    }
    PictureRelease releasePicture{picture};
    config.lossless = lossless ? 1 : 0;
    config.quality = static_cast<float>(std::clamp(quality, 0, 100));
    // A lossless picture keeps every value as given; the lossy one may change what lies
    // under fully transparent pixels, which shows nothing.
    config.exact = lossless ? 1 : 0;
    picture.use_argb = lossless ? 1 : 0;
    picture.width = image.width;
    picture.height = image.height;
    const auto* rgba = reinterpret_cast<const uint8_t*>(image.pixels.data());
    const int stride = image.width * bytesPerPixel;
    const int imported = image.depth == 32 ? WebPPictureImportRGBA(&picture, rgba, stride)
                                           : WebPPictureImportRGBX(&picture, rgba, stride);
    if (!imported) {
        result.error = "out of memory";
        return result;
    }
    if (lossless && image.depth == 32) {
        // Fully transparent pixels are one value, as the palette counted them.
        for (int y = 0; y < picture.height; ++y) {
            uint32_t* row = picture.argb + static_cast<size_t>(y) * picture.argb_stride;
            for (int x = 0; x < picture.width; ++x) {
                if ((row[x] >> 24) == 0) row[x] = 0;
            }
        }
    }
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    WriterRelease releaseWriter{writer};
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPEncode(&config, &picture)) {
        result.error = encodeErrorText(picture.error_code);
        return result;
    }
    WebPPictureFree(&picture);

    // WebP's only place for the resolution is EXIF.
    const std::vector<uint8_t> exif =
        exifForImage(metadata.exif, image.width, image.height, metadata.xDpi, metadata.yDpi);
    if (exif.empty()) {
        result.bytes.assign(writer.mem, writer.mem + writer.size);
        return result;
    }
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    const WebPData bitstream{writer.mem, writer.size};
    const WebPData exifData{exif.data(), exif.size()};
    WebPData assembled{nullptr, 0};
    if (!mux || WebPMuxSetImage(mux.get(), &bitstream, 0) != WEBP_MUX_OK ||
        WebPMuxSetChunk(mux.get(), "EXIF", &exifData, 0) != WEBP_MUX_OK ||
        WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        result.error = "WebP container could not be written";
        return result;
    }
    result.bytes.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return result;
}

EncodeResult encodeWebp(const Image& image, int quality, const ImageMetadata& metadata) {
    return guardMemory<EncodeResult>([&] { return encodeWebpUnguarded(image, quality, metadata); });
}
