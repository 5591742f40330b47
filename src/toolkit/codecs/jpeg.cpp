// JPEG through libjpeg-turbo. libjpeg's default error handler exits the process, so ours
// longjmps back instead; every function that calls libjpeg under setjmp holds only plain C
// data, and the image it fills is made by its caller.

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"
#include "toolkit/codecs/embedded.h"
#include "toolkit/codecs/exif.h"
#include "toolkit/codecs/orientation.h"

namespace {

constexpr int bytesPerPixel = 4;
// A progressive file may hold any number of scans and each one rereads the whole
// coefficient buffer; real encoders use about ten.
constexpr int maxScans = 1000;
constexpr int qualityScale = 10;  // the program's 0..10 maps to libjpeg's 0..100
constexpr size_t outputChunk = 16 * 1024;
constexpr int exifMarker = JPEG_APP0 + 1;
// Rows decoded at a time for a picture stored turned: two rows of 8 x 8 blocks.
constexpr int bandRows = 16;
constexpr int iccMarker = JPEG_APP0 + 2;
constexpr unsigned maxMarkerBytes = 0xFFFF;
constexpr uint8_t exifMarkerStart[] = {'E', 'x', 'i', 'f', 0, 0};
// A marker segment holds at most 65533 bytes of data.
constexpr size_t maxMarkerData = 65533;
// JFIF's density units.
constexpr UINT8 densityPerInch = 1;
constexpr UINT8 densityPerCentimetre = 2;
constexpr double centimetresPerInch = 2.54;
constexpr int maxDensity = 65535;

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failWith(j_common_ptr cinfo, const char* text) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    if (error->message[0] == '\0') {
        std::strncpy(error->message, text, JMSG_LENGTH_MAX - 1);
        error->message[JMSG_LENGTH_MAX - 1] = '\0';
    }
    std::longjmp(error->jump, 1);
}

[[noreturn]] void onJpegError(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    const int code = cinfo->err->msg_code;
    const auto* decompress =
        cinfo->is_decompressor ? reinterpret_cast<j_decompress_ptr>(cinfo) : nullptr;
    if (code == JERR_BAD_PRECISION) {
        std::snprintf(text, sizeof text,
                      "unsupported JPEG sample precision: %d bits (only 8-bit JPEG is supported)",
                      cinfo->err->msg_parm.i[0]);
    } else if (code == JERR_NO_BACKING_STORE) {
        std::snprintf(text, sizeof text, "JPEG file needs more than %lld MiB to decode",
                      static_cast<long long>(maxDecodeBytes >> 20));
    } else if (decompress && (code == JERR_IMAGE_TOO_BIG || code == JERR_EMPTY_IMAGE)) {
        // Name the size the file declares, as the other decoders do.
        std::snprintf(text, sizeof text,
                      code == JERR_EMPTY_IMAGE ? "invalid image size %u x %u"
                                               : "image size %u x %u is too large",
                      decompress->image_width, decompress->image_height);
    } else {
        (*cinfo->err->format_message)(cinfo, text);
    }
    failWith(cinfo, text);
}

// Warnings are ignored (libjpeg repairs what it can), except missing data: a file that
// ends early, or whose scan stops before the picture is complete (a lying size), is an
// error rather than a picture with a grey bottom.
void onJpegMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace output
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) onJpegError(cinfo);
    cinfo->err->num_warnings++;
}

void onJpegSilence(j_common_ptr) {}

// The arithmetic decoder, unlike the Huffman one, says nothing when it meets a marker in
// the middle of a scan: by convention it decodes zeros from there on, because an encoder
// leaves out the zero bytes that end its data. Those bytes can stand for a long run of
// flat blocks, so a legitimate file may end its data well before its last row; but not
// before half of its picture, in the scan that codes every block (the only scan of a
// sequential file, the first DC scan of a progressive one). A marker met that early means
// the data is missing: a header claiming more rows than were coded, or a cut file. Later
// progressive scans only refine, and flat areas need no refinement, so they are not
// judged. Restart markers end every interval and are expected.
bool arithmeticDataEndedEarly(const jpeg_decompress_struct* d) {
    constexpr JDIMENSION minimumMissingRows = 4;
    const int marker = d->unread_marker;
    if (!d->arith_code || marker == 0 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) {
        return false;
    }
    if (d->progressive_mode && (d->Ss != 0 || d->Ah != 0)) return false;
    const JDIMENSION done = d->input_iMCU_row, total = d->total_iMCU_rows;
    return done < total && total - done >= minimumMissingRows && done * 2 < total;
}

// Called between rows of blocks while scans are read, and before each output row.
void onJpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > maxScans) {
        char text[JMSG_LENGTH_MAX];
        std::snprintf(text, sizeof text, "JPEG file has too many scans (over %d)", maxScans);
        failWith(cinfo, text);
    }
    if (arithmeticDataEndedEarly(decompress)) {
        failWith(cinfo, "JPEG data ends before the picture is complete");
    }
}

void installErrorHandler(JpegError* error) {
    jpeg_std_error(&error->pub);
    error->pub.error_exit = onJpegError;
    error->pub.emit_message = onJpegMessage;
    error->pub.output_message = onJpegSilence;
    error->message[0] = '\0';
}

struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    JpegError error;
    jpeg_progress_mgr progress;
    bool created;
};

bool readJpegHeader(JpegDecoder* d, const uint8_t* data, size_t size) {
    installErrorHandler(&d->error);
    d->cinfo.err = &d->error.pub;
    if (setjmp(d->error.jump)) return false;
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->cinfo.mem->max_memory_to_use = maxDecodeBytes;
    d->progress.progress_monitor = onJpegProgress;
    d->cinfo.progress = &d->progress;
    jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
    // EXIF and the colour profile's pieces are kept; libjpeg skips every other marker.
    jpeg_save_markers(&d->cinfo, exifMarker, maxMarkerBytes);
    jpeg_save_markers(&d->cinfo, iccMarker, maxMarkerBytes);
    jpeg_read_header(&d->cinfo, TRUE);
    return true;
}

// The colour profile, put together from its markers by libjpeg (malloc'd; null when there
// is none or its pieces do not fit together).
bool readJpegProfile(JpegDecoder* d, JOCTET** profile, unsigned* size) {
    *profile = nullptr;
    *size = 0;
    if (setjmp(d->error.jump)) return false;
    if (!jpeg_read_icc_profile(&d->cinfo, profile, size)) {
        *profile = nullptr;
        *size = 0;
    }
    return true;
}

// Starts decompression: a progressive file is read whole here, into libjpeg's coefficient
// memory, before the caller allocates the image. That memory and the image together stay
// within the decode budget.
bool startJpeg(JpegDecoder* d) {
    if (setjmp(d->error.jump)) return false;
    const int64_t imageBytes =
        int64_t{d->cinfo.image_width} * d->cinfo.image_height * bytesPerPixel;
    d->cinfo.mem->max_memory_to_use = static_cast<long>(maxDecodeBytes - imageBytes);
    jpeg_start_decompress(&d->cinfo);
    if (d->cinfo.output_components != bytesPerPixel ||
        d->cinfo.output_width != d->cinfo.image_width ||
        d->cinfo.output_height != d->cinfo.image_height) {
        failWith(reinterpret_cast<j_common_ptr>(&d->cinfo), "unexpected JPEG output layout");
    }
    return true;
}

// Where decoded rows go: straight into the picture when it is stored upright, else a band
// at a time through `band` to their upright places.
struct RowTarget {
    Image* image;
    uint32_t* band;  // bandRows rows of the stored width; null when upright
    int orientation;
};

// Decodes into rows of 4 bytes per pixel: RGBA, or CMYK for four-channel files.
bool readJpegRows(JpegDecoder* d, RowTarget* target) {
    if (setjmp(d->error.jump)) return false;
    jpeg_decompress_struct& c = d->cinfo;
    const int width = static_cast<int>(c.output_width), height = static_cast<int>(c.output_height);
    while (c.output_scanline < c.output_height) {
        const int top = static_cast<int>(c.output_scanline);
        if (!target->band) {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(target->image->row(top));
            jpeg_read_scanlines(&c, &row, 1);
            continue;
        }
        JSAMPROW rows[bandRows];
        const int count = std::min(bandRows, height - top);
        for (int r = 0; r < count; ++r) {
            rows[r] = reinterpret_cast<JSAMPROW>(target->band + static_cast<size_t>(r) * width);
        }
        int got = 0;
        while (got < count) {
            got += static_cast<int>(
                jpeg_read_scanlines(&c, rows + got, static_cast<JDIMENSION>(count - got)));
        }
        placeRowsUpright(*target->image, target->band, top, count, width, height,
                         target->orientation);
    }
    jpeg_finish_decompress(&c);
    return true;
}

// Four-channel JPEGs are print separations. Adobe's files store the inks inverted
// (255 = no ink), which libjpeg passes through unchanged.
void cmykToRgb(Image& image, bool inverted) {
    auto* bytes = reinterpret_cast<uint8_t*>(image.pixels.data());
    for (size_t i = 0; i < image.pixels.size(); ++i, bytes += bytesPerPixel) {
        int c = bytes[0], m = bytes[1], y = bytes[2], k = bytes[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        image.pixels[i] =
            rgb((c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255) | alphaMask;
    }
}

struct SinkDestination {
    jpeg_destination_mgr pub;
    ByteSink* sink;
    JOCTET buffer[outputChunk];
};

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = outputChunk;
}

boolean emptyDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    if (!sinkWrite(dest->sink, dest->buffer, outputChunk)) {
        failWith(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
    }
    initDestination(cinfo);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<SinkDestination*>(cinfo->dest);
    if (!sinkWrite(dest->sink, dest->buffer, outputChunk - dest->pub.free_in_buffer)) {
        failWith(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
    }
}

struct JpegEncoder {
    jpeg_compress_struct cinfo;
    JpegError error;
    SinkDestination destination;
    bool created;
};

// `exif` (a whole APP1 marker's data, or null) is written after the JFIF header;
// `xDensity` and `yDensity` (dots per inch, 0 for none) go into that header.
bool writeJpeg(JpegEncoder* e, const Image* image, int percent, const uint8_t* exif,
               size_t exifSize, int xDensity, int yDensity) {
    installErrorHandler(&e->error);
    e->cinfo.err = &e->error.pub;
    if (setjmp(e->error.jump)) return false;
    jpeg_create_compress(&e->cinfo);
    e->created = true;
    e->destination.pub.init_destination = initDestination;
    e->destination.pub.empty_output_buffer = emptyDestination;
    e->destination.pub.term_destination = termDestination;
    e->cinfo.dest = &e->destination.pub;

    e->cinfo.image_width = static_cast<JDIMENSION>(image->width);
    e->cinfo.image_height = static_cast<JDIMENSION>(image->height);
    // The pixels are R, G, B, A bytes; libjpeg skips the fourth. Alpha cannot be stored.
    e->cinfo.input_components = bytesPerPixel;
    e->cinfo.in_color_space = JCS_EXT_RGBX;
    jpeg_set_defaults(&e->cinfo);
    jpeg_set_quality(&e->cinfo, percent, TRUE);
    if (xDensity > 0 && yDensity > 0) {
        e->cinfo.density_unit = densityPerInch;
        e->cinfo.X_density = static_cast<UINT16>(xDensity);
        e->cinfo.Y_density = static_cast<UINT16>(yDensity);
    }
    jpeg_start_compress(&e->cinfo, TRUE);
    if (exif) jpeg_write_marker(&e->cinfo, exifMarker, exif, static_cast<unsigned>(exifSize));
    for (int y = 0; y < image->height; ++y) {
        auto* row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(image->row(y)));
        jpeg_write_scanlines(&e->cinfo, &row, 1);
    }
    jpeg_finish_compress(&e->cinfo);
    return true;
}

// The first APP1 marker that holds EXIF (others hold XMP and the like).
std::vector<uint8_t> exifFromMarkers(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != exifMarker || m->data_length < sizeof exifMarkerStart) continue;
        if (std::memcmp(m->data, exifMarkerStart, sizeof exifMarkerStart) != 0) continue;
        return std::vector<uint8_t>(m->data, m->data + m->data_length);
    }
    return {};
}

// The JFIF header's density, when it gives one in inches or centimetres.
void jfifDensity(const jpeg_decompress_struct& cinfo, Embedded& embedded) {
    if (!cinfo.saw_JFIF_marker || cinfo.X_density == 0 || cinfo.Y_density == 0) return;
    double scale = 0;
    if (cinfo.density_unit == densityPerInch) scale = 1;
    if (cinfo.density_unit == densityPerCentimetre) scale = centimetresPerInch;
    embedded.xDpi = cinfo.X_density * scale;
    embedded.yDpi = cinfo.Y_density * scale;
}

int densityOf(double dpi) {
    return static_cast<int>(std::clamp<long>(std::lround(dpi), 1, maxDensity));
}

// The orientation an EXIF marker's block gives (1 when none or none valid).
int exifOrientation(const std::vector<uint8_t>& marker) {
    if (marker.empty()) return uprightOrientation;
    const uint8_t* data = marker.data();
    size_t size = marker.size();
    skipExifPrefix(data, size);
    ExifFacts facts;
    keepableExif(data, size, facts);
    return facts.orientation;
}

}  // namespace

static DecodeResult decodeJpegUnguarded(const uint8_t* data, size_t size) {
    DecodeResult result;
    if (!data || size == 0) {
        result.error = "not a JPEG file";
        return result;
    }
    JpegDecoder decoder{};
    // Destroyed here, outside the setjmp'd functions, on every return.
    struct Release {
        JpegDecoder& d;
        ~Release() {
            if (d.created) jpeg_destroy_decompress(&d.cinfo);
        }
    } release{decoder};
    bool ok = readJpegHeader(&decoder, data, size);
    jpeg_decompress_struct& cinfo = decoder.cinfo;
    bool cmyk = false;
    if (ok) {
        result.error = imageSizeError(cinfo.image_width, cinfo.image_height);
        switch (cinfo.jpeg_color_space) {
            case JCS_GRAYSCALE:
            case JCS_YCbCr:
            case JCS_RGB:
                cinfo.out_color_space = JCS_EXT_RGBA;
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                cinfo.out_color_space = JCS_CMYK;
                cmyk = true;
                break;
            default:
                if (result.ok()) result.error = "unsupported JPEG color space";
                break;
        }
    } else {
        result.error = decoder.error.message;
    }
    Embedded embedded;
    if (ok && result.ok()) {
        JOCTET* profile = nullptr;
        unsigned profileSize = 0;
        if (!readJpegProfile(&decoder, &profile, &profileSize)) {
            result.error = decoder.error.message;
        } else if (profile) {
            embedded.profile.assign(profile, profile + profileSize);
            std::free(profile);
        }
        embedded.samples =
            cinfo.jpeg_color_space == JCS_GRAYSCALE ? SampleKind::Grey : SampleKind::Rgb;
        embedded.exif = exifFromMarkers(cinfo);
        jfifDensity(cinfo, embedded);
    }
    if (ok && result.ok() && !startJpeg(&decoder)) result.error = decoder.error.message;
    if (ok && result.ok()) {
        // A phone's picture is placed upright as it is decoded.
        int width = static_cast<int>(cinfo.image_width),
            height = static_cast<int>(cinfo.image_height);
        const int orientation = exifOrientation(embedded.exif);
        uprightSize(orientation, width, height);
        Image image = Image::unset(width, height, 24);
        std::vector<uint32_t> band;
        if (orientation != uprightOrientation) {
            band.resize(static_cast<size_t>(bandRows) * cinfo.image_width);
            embedded.upright = true;
        }
        RowTarget target{&image, band.empty() ? nullptr : band.data(), orientation};
        bool inverted = cinfo.saw_Adobe_marker;
        if (readJpegRows(&decoder, &target)) {
            if (cmyk) {
                // Inks with a profile of their own convert by it; without, by the plain
                // formula.
                if (embedded.profile.empty() ||
                    !convertToSrgb(image, embedded.profile.data(), embedded.profile.size(),
                                   SampleKind::Cmyk, inverted)) {
                    cmykToRgb(image, inverted);
                }
                embedded.profile.clear();
            }
            result.image = std::move(image);
            finishDecode(result, embedded);
        } else {
            result.error = decoder.error.message;
        }
    }
    return result;
}

static EncodeResult encodeJpegUnguarded(const Image& image, int percent,
                                        const ImageMetadata& metadata) {
    EncodeResult result;
    result.error = encoderInputError(image);
    if (!result.ok()) return result;

    ByteSink sink;
    // libjpeg's structures are large and plain; keep them off the stack.
    auto encoder = std::make_unique<JpegEncoder>();
    struct Release {
        JpegEncoder& e;
        ~Release() {
            if (e.created) jpeg_destroy_compress(&e.cinfo);
        }
    } release{*encoder};
    encoder->destination.sink = &sink;
    // EXIF that does not fit one marker is left out: no reader looks for it elsewhere.
    std::vector<uint8_t> exif;
    if (!metadata.exif.empty()) {
        std::vector<uint8_t> block =
            exifForImage(metadata.exif, image.width, image.height, metadata.xDpi, metadata.yDpi);
        if (!block.empty() && block.size() + sizeof exifMarkerStart <= maxMarkerData) {
            exif.assign(exifMarkerStart, exifMarkerStart + sizeof exifMarkerStart);
            exif.insert(exif.end(), block.begin(), block.end());
        }
    }
    const bool dense = metadata.hasResolution();
    if (writeJpeg(encoder.get(), &image, std::clamp(percent, 0, maxJpegPercent),
                  exif.empty() ? nullptr : exif.data(), exif.size(),
                  dense ? densityOf(metadata.xDpi) : 0, dense ? densityOf(metadata.yDpi) : 0)) {
        result.bytes.assign(sink.data, sink.data + sink.size);
    } else {
        result.error = encoder->error.message;
    }
    return result;
}

DecodeResult decodeJpeg(const uint8_t* data, size_t size) {
    return guardMemory<DecodeResult>([&] { return decodeJpegUnguarded(data, size); });
}

EncodeResult encodeJpeg(const Image& image, int quality, const ImageMetadata& metadata) {
    return encodeJpegPercent(image, clampQuality(quality) * qualityScale, metadata);
}

EncodeResult encodeJpegPercent(const Image& image, int percent, const ImageMetadata& metadata) {
    return guardMemory<EncodeResult>([&] { return encodeJpegUnguarded(image, percent, metadata); });
}
