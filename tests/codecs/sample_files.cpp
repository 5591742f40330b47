// Writes the committed sample files under tests/data/bad and tests/data/good. They are
// made once and committed, so the tests read fixed bytes; run again only to change them:
//   test_codecs --gtest_also_run_disabled_tests --gtest_filter='SampleFiles.DISABLED_*'
// Good files that our own encoders cannot make (CMYK JPEG, raw codestreams, subsampled or
// 12-bit JPEG 2000) are written with libjpeg and OpenJPEG directly.

#include <gtest/gtest.h>

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

void putBe(std::vector<uint8_t>& bytes, size_t at, uint32_t v, int width) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}

size_t find(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> pattern) {
    auto it = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    if (it == bytes.end()) throw std::runtime_error("pattern not found");
    return static_cast<size_t>(it - bytes.begin());
}

std::vector<uint8_t> cut(std::vector<uint8_t> bytes, double fraction) {
    bytes.resize(static_cast<size_t>(bytes.size() * fraction));
    return bytes;
}

// --- JPEG through libjpeg directly -------------------------------------------------------

struct JpegJob {
    int width, height, components;
    J_COLOR_SPACE input, stored;
    bool progressive;
    const uint8_t* samples;  // width * components bytes a row
};

std::vector<uint8_t> libjpegEncode(const JpegJob& job) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);  // test-only: libjpeg's own handler is fine here
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = job.width;
    cinfo.image_height = job.height;
    cinfo.input_components = job.components;
    cinfo.in_color_space = job.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, job.stored);
    jpeg_set_quality(&cinfo, 100, TRUE);
    if (job.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < job.height; ++y) {
        auto row =
            const_cast<JSAMPROW>(job.samples + static_cast<size_t>(y) * job.width * job.components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// 16 x 8: the left block red, the right block blue, as Adobe stores inks (inverted:
// 255 means no ink). Red is no cyan, full magenta and yellow: stored 255, 0, 0, 255.
std::vector<uint8_t> adobeCmyk(J_COLOR_SPACE stored) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (x < 8) {
                samples.insert(samples.end(), {255, 0, 0, 255});
            } else {
                samples.insert(samples.end(), {0, 0, 255, 255});
            }
        }
    }
    return libjpegEncode({16, 8, 4, JCS_CMYK, stored, false, samples.data()});
}

// 16 x 16 grey: left half 50, right half 200.
std::vector<uint8_t> greyJpeg(bool progressive) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) samples.push_back(x < 8 ? 50 : 200);
    }
    return libjpegEncode({16, 16, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, progressive, samples.data()});
}

// The first scan of a progressive file repeated until it has `scans` of them.
std::vector<uint8_t> manyScans(int scans) {
    std::vector<uint8_t> file = greyJpeg(true);
    size_t sos = find(file, {0xFF, 0xDA});
    size_t end = sos + 2;
    while (!(file[end] == 0xFF && file[end + 1] != 0 &&
             (file[end + 1] < 0xD0 || file[end + 1] > 0xD7))) {
        ++end;
    }
    std::vector<uint8_t> out(file.begin(), file.begin() + sos);
    for (int i = 0; i < scans; ++i) out.insert(out.end(), file.begin() + sos, file.begin() + end);
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

// --- JPEG 2000 through OpenJPEG directly ---------------------------------------------------

struct Component {
    uint32_t dx = 1, dy = 1, prec = 8;
    bool alpha = false;
    std::vector<int32_t> samples;
};

struct VectorStream {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

OPJ_SIZE_T writeVector(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* out = static_cast<VectorStream*>(user);
    if (out->bytes.size() < out->position + count) out->bytes.resize(out->position + count);
    std::memcpy(out->bytes.data() + out->position, buffer, count);
    out->position += count;
    return count;
}

OPJ_OFF_T skipVector(OPJ_OFF_T count, void* user) {
    static_cast<VectorStream*>(user)->position += static_cast<size_t>(count);
    return count;
}

OPJ_BOOL seekVector(OPJ_OFF_T position, void* user) {
    static_cast<VectorStream*>(user)->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

// Lossless, one tile, one resolution level, written as a .jp2 or a bare codestream.
std::vector<uint8_t> openjpegEncode(int width, int height, OPJ_COLOR_SPACE space,
                                    const std::vector<Component>& comps, bool codestream) {
    std::vector<opj_image_cmptparm_t> parts(comps.size());
    for (size_t i = 0; i < comps.size(); ++i) {
        std::memset(&parts[i], 0, sizeof parts[i]);
        parts[i].dx = comps[i].dx;
        parts[i].dy = comps[i].dy;
        parts[i].w = (width + comps[i].dx - 1) / comps[i].dx;
        parts[i].h = (height + comps[i].dy - 1) / comps[i].dy;
        parts[i].prec = comps[i].prec;
    }
    opj_image_t* image =
        opj_image_create(static_cast<OPJ_UINT32>(comps.size()), parts.data(), space);
    image->x1 = width;
    image->y1 = height;
    for (size_t i = 0; i < comps.size(); ++i) {
        image->comps[i].alpha = comps[i].alpha;
        std::copy(comps[i].samples.begin(), comps[i].samples.end(), image->comps[i].data);
    }
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.numresolution = 1;
    parameters.tcp_mct = 0;
    opj_codec_t* codec = opj_create_compress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    VectorStream out;
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    opj_stream_set_write_function(stream, writeVector);
    opj_stream_set_skip_function(stream, skipVector);
    opj_stream_set_seek_function(stream, seekVector);
    opj_stream_set_user_data(stream, &out, nullptr);
    bool ok = opj_setup_encoder(codec, &parameters, image) &&
              opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
              opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok) throw std::runtime_error("OpenJPEG could not encode the sample");
    return out.bytes;
}

// Sets the image and tile size in a codestream's SIZ marker and in a .jp2's ihdr box.
std::vector<uint8_t> withJp2Size(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
    size_t siz = find(bytes, {0xFF, 0x4F, 0xFF, 0x51}) + 2;
    putBe(bytes, siz + 6, width, 4);    // Xsiz
    putBe(bytes, siz + 10, height, 4);  // Ysiz
    putBe(bytes, siz + 22, width, 4);   // XTsiz: one tile, so the codec itself accepts it
    putBe(bytes, siz + 26, height, 4);  // YTsiz
    size_t ihdr = find(bytes, {'i', 'h', 'd', 'r'});
    putBe(bytes, ihdr + 4, height, 4);
    putBe(bytes, ihdr + 8, width, 4);
    return bytes;
}

// --- BMP by hand ---------------------------------------------------------------------------

// A 4 x 2 8-bit file with a 2-colour palette and the given pixel data and compression.
std::vector<uint8_t> smallBmp(int32_t width, int32_t height, uint32_t compression, uint32_t colours,
                              const std::vector<uint8_t>& pixels, uint16_t bitCount = 8) {
    std::vector<uint8_t> out = {'B', 'M'};
    const uint32_t paletteBytes = 2 * 4;
    const uint32_t offset = 14 + 40 + paletteBytes;
    appendLe32(out, offset + static_cast<uint32_t>(pixels.size()));
    appendLe32(out, 0);
    appendLe32(out, offset);
    appendLe32(out, 40);
    appendLe32(out, static_cast<uint32_t>(width));
    appendLe32(out, static_cast<uint32_t>(height));
    appendLe16(out, 1);
    appendLe16(out, bitCount);
    appendLe32(out, compression);
    appendLe32(out, static_cast<uint32_t>(pixels.size()));
    appendLe32(out, 2835);
    appendLe32(out, 2835);
    appendLe32(out, colours);
    appendLe32(out, 0);
    out.insert(out.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

void save(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(testDataPath(folder));
    writeBytes(testDataPath(folder + "/" + name), bytes);
}

TEST(SampleFiles, DISABLED_WriteBadFiles) {
    const Image picture = smoothImage(64, 48, 32);
    const std::vector<uint8_t> png = encodePng(picture).bytes;
    const std::vector<uint8_t> jpeg = encodeJpeg(picture, 8).bytes;
    const std::vector<uint8_t> jp2 = encodeJpeg2000(picture, 10).bytes;
    const std::vector<uint8_t> bmp = encodeBmp(picture).bytes;
    const std::string text = "This is a text file, not a picture.\n";

    save("bad", "empty.png", {});
    save("bad", "text.png", std::vector<uint8_t>(text.begin(), text.end()));
    save("bad", "truncated.png", cut(png, 0.6));
    save("bad", "truncated.jpg", cut(jpeg, 0.6));
    save("bad", "truncated.jp2", cut(jp2, 0.6));
    save("bad", "truncated.bmp", cut(bmp, 0.6));
    save("bad", "truncated_header.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 30));

    std::vector<uint8_t> rows(1 + 64 * 3, 0);
    save("bad", "png_100000x100000.png", handMadePng(100000, 100000, 8, 2, rows));
    save("bad", "png_lying_height.png", handMadePng(64, 4000, 8, 2, rows));
    save("bad", "png_no_end.png", handMadePng(64, 1, 8, 2, rows, {}, false));
    std::vector<uint8_t> badCrc = png;
    badCrc[29] ^= 0xFF;
    save("bad", "png_bad_header_crc.png", badCrc);

    std::vector<uint8_t> bigJpeg = jpeg, tallJpeg = jpeg, emptyJpeg = jpeg;
    size_t sof = find(jpeg, {0xFF, 0xC0});
    putBe(bigJpeg, sof + 5, 65535, 2);  // height
    putBe(bigJpeg, sof + 7, 65535, 2);  // width
    putBe(tallJpeg, sof + 5, 2000, 2);
    putBe(emptyJpeg, sof + 5, 0, 2);
    save("bad", "jpeg_65535x65535.jpg", bigJpeg);
    save("bad", "jpeg_lying_height.jpg", tallJpeg);
    save("bad", "jpeg_zero_height.jpg", emptyJpeg);
    save("bad", "jpeg_header_only.jpg",
         std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + find(jpeg, {0xFF, 0xDA})));
    save("bad", "jpeg_1100_scans.jpg", manyScans(1100));
    // Progressive, three full-resolution components, declared 16384 x 16384: the
    // coefficients alone need 1.5 GiB.
    std::vector<uint8_t> colour(16 * 16 * 3, 90);
    std::vector<uint8_t> hungry = libjpegEncode({16, 16, 3, JCS_RGB, JCS_RGB, true, colour.data()});
    size_t sof2 = find(hungry, {0xFF, 0xC2});
    putBe(hungry, sof2 + 5, 16384, 2);
    putBe(hungry, sof2 + 7, 16384, 2);
    save("bad", "jpeg_progressive_1.5_gib.jpg", hungry);

    // Arithmetic coding: the decoder meets the end of the data silently, 149 rows in.
    std::vector<uint8_t> arithmetic = readBytes(testDataPath("corpus/jpeg/testimgari.jpg"));
    putBe(arithmetic, find(arithmetic, {0xFF, 0xC9}) + 5, 4000, 2);
    save("bad", "jpeg_arithmetic_lying_height.jpg", arithmetic);

    save("bad", "jp2_100000x100000.jp2", withJp2Size(jp2, 100000, 100000));
    save("bad", "jp2_lying_size.jp2", withJp2Size(jp2, 4000, 3000));
    std::vector<uint8_t> deep = jp2;
    deep[find(deep, {0xFF, 0x4F, 0xFF, 0x51}) + 2 + 40] = 19;  // first component: 20 bits
    save("bad", "jp2_20_bit.jp2", deep);
    std::vector<Component> five(5, Component{.samples = std::vector<int32_t>(4, 7)});
    save("bad", "jp2_five_components.jp2",
         openjpegEncode(2, 2, OPJ_CLRSPC_UNSPECIFIED, five, false));
    std::vector<uint8_t> codestream = openjpegEncode(
        16, 16, OPJ_CLRSPC_GRAY, {Component{.samples = std::vector<int32_t>(256, 9)}}, true);
    save("bad", "truncated.j2k", cut(codestream, 0.6));
    // A complete little codestream whose size (and single tile) claims 16384 x 16384.
    std::vector<uint8_t> claimsHuge = codestream;
    size_t siz = find(claimsHuge, {0xFF, 0x4F, 0xFF, 0x51}) + 2;
    for (size_t field : {6, 10, 22, 26}) putBe(claimsHuge, siz + field, 16384, 4);
    save("bad", "j2k_16384x16384_tiny.j2k", claimsHuge);

    // Run-length data: 4 x 2, 8 bits, two colours.
    save("bad", "bmp_negative_width.bmp", smallBmp(-4, 2, 0, 2, std::vector<uint8_t>(8, 0)));
    save("bad", "bmp_zero_height.bmp", smallBmp(4, 0, 0, 2, {}));
    save("bad", "bmp_2147483647_square.bmp", smallBmp(0x7FFFFFFF, 0x7FFFFFFF, 0, 2, {0, 0, 0, 0}));
    // Within the pixel limit, but 256 MiB of pixel data are missing.
    save("bad", "bmp_16384x16384_no_data.bmp", smallBmp(16384, 16384, 0, 2, {0, 0, 0, 0}));
    save("bad", "bmp_huge_palette.bmp", smallBmp(4, 2, 0, 0xFFFFFFFF, std::vector<uint8_t>(8, 0)));
    save("bad", "bmp_palette_index.bmp", smallBmp(4, 2, 0, 2, {0, 1, 2, 0, 0, 0, 0, 0}));
    save("bad", "bmp_rle8_run_past_end.bmp", smallBmp(4, 2, 1, 2, {200, 1, 0, 1}));
    save("bad", "bmp_rle4_run_past_end.bmp", smallBmp(4, 2, 2, 2, {9, 0x01, 0, 1}, 4));
    save("bad", "bmp_rle_delta_past_end.bmp", smallBmp(4, 2, 1, 2, {0, 2, 1, 250, 1, 1, 0, 1}));
    save("bad", "bmp_rle_absolute_past_end.bmp", smallBmp(4, 2, 1, 2, {0, 200, 1, 1}));
    save("bad", "bmp_rle_no_end.bmp", smallBmp(4, 2, 1, 2, {4, 1}));
    save("bad", "bmp_rle_top_down.bmp", smallBmp(4, -2, 1, 2, {0, 1}));
    std::vector<uint8_t> bmpBad = smallBmp(4, 2, 0, 2, std::vector<uint8_t>(8, 0));
    putBe(bmpBad, 10, 0xFFFFFF7F, 4);  // pixel data offset far past the end
    save("bad", "bmp_offset_past_end.bmp", bmpBad);
    bmpBad = smallBmp(4, 2, 0, 2, std::vector<uint8_t>(8, 0));
    bmpBad[14] = 0xFF;  // header size 255
    save("bad", "bmp_header_size.bmp", bmpBad);
    bmpBad = smallBmp(4, 2, 0, 2, std::vector<uint8_t>(8, 0));
    bmpBad[26] = 3;  // three planes
    save("bad", "bmp_planes.bmp", bmpBad);
    // 16-bit bit fields whose red and green masks overlap. The three masks follow the
    // 40-byte header: the two palette slots hold red and green, the first pixel bytes blue,
    // and the pixels start after them.
    bmpBad = smallBmp(4, 1, 3, 0, {0x1F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16);
    const uint8_t masks[] = {0x00, 0xF8, 0, 0, 0xE0, 0x0F, 0, 0};
    std::copy(std::begin(masks), std::end(masks), bmpBad.begin() + 54);
    bmpBad[10] = 66;
    save("bad", "bmp_overlapping_masks.bmp", bmpBad);
}

TEST(SampleFiles, DISABLED_WriteGoodFiles) {
    save("good", "cmyk_adobe.jpg", adobeCmyk(JCS_CMYK));
    save("good", "ycck_adobe.jpg", adobeCmyk(JCS_YCCK));
    save("good", "grey.jpg", greyJpeg(false));
    save("good", "grey_progressive.jpg", greyJpeg(true));
    save("good", "png_inside.jpg",
         encodePng(imageFromRows(2, 1, {rgb(1, 2, 3), rgb(250, 128, 0)}, 24)).bytes);

    // 3 x 2 RGB codestream: red, green, blue / (10, 20, 30), (40, 50, 60), (70, 80, 90).
    save("good", "rgb.j2k",
         openjpegEncode(3, 2, OPJ_CLRSPC_SRGB,
                        {Component{.samples = {255, 0, 0, 10, 40, 70}},
                         Component{.samples = {0, 255, 0, 20, 50, 80}},
                         Component{.samples = {0, 0, 255, 30, 60, 90}}},
                        true));
    // 2 x 1 grey with alpha: (100, alpha 0), (200, alpha 255).
    save("good", "grey_alpha.jp2",
         openjpegEncode(
             2, 1, OPJ_CLRSPC_GRAY,
             {Component{.samples = {100, 200}}, Component{.alpha = true, .samples = {0, 255}}},
             false));
    // 4 x 2 sYCC with 2 x 2 subsampled chroma: luma 100 on the left half, 150 on the right;
    // Cb 128 and Cr 200 everywhere.
    save("good", "ycc_subsampled.jp2",
         openjpegEncode(4, 2, OPJ_CLRSPC_SYCC,
                        {Component{.samples = {100, 100, 150, 150, 100, 100, 150, 150}},
                         Component{.dx = 2, .dy = 2, .samples = {128, 128}},
                         Component{.dx = 2, .dy = 2, .samples = {200, 200}}},
                        false));
    // 3 x 1 grey at 12 bits: 0, 4095, 2048.
    save("good", "grey_12_bit.jp2",
         openjpegEncode(3, 1, OPJ_CLRSPC_GRAY, {Component{.prec = 12, .samples = {0, 4095, 2048}}},
                        false));
}

}  // namespace
