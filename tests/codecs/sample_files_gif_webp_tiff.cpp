// Writes the committed GIF, WebP and TIFF files under tests/data/bad, like
// sample_files.cpp does for the other formats: made once with our own encoders and then
// damaged, so the tests read fixed bytes. Run again only to change them:
//   test_codecs --gtest_also_run_disabled_tests
//       --gtest_filter='SampleFiles.DISABLED_WriteBadGifWebpTiffFiles'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "codec_test_util.h"
#include "exif_test_util.h"
#include "file_makers.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"

namespace {

void saveBad(const std::string& name, const std::vector<uint8_t>& bytes) {
    writeBytes(std::string(PIXOVA_SOURCE_DIR) + "/tests/data/bad/" + name, bytes);
}

std::vector<uint8_t> firstPart(const std::vector<uint8_t>& bytes, double fraction) {
    return std::vector<uint8_t>(
        bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * fraction));
}

void putLe(std::vector<uint8_t>& bytes, size_t at, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// The first image descriptor of a GIF of ours (a global table, maybe one extension).
size_t gifDescriptor(const std::vector<uint8_t>& gif) {
    size_t at = 13 + 3 * (size_t{2} << (gif[10] & 7));
    while (gif.at(at) == 0x21) {
        at += 2;
        while (gif.at(at) != 0) at += 1 + gif[at];
        ++at;
    }
    if (gif[at] != 0x2C) throw std::runtime_error("no image descriptor");
    return at;
}

// The first directory's entry for `tag` in a little-endian TIFF.
size_t tiffEntry(const std::vector<uint8_t>& tif, uint16_t tag) {
    const uint32_t ifd = readLe32(tif.data() + 4);
    for (uint16_t i = 0; i < readLe16(tif.data() + ifd); ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (readLe16(tif.data() + e) == tag) return e;
    }
    throw std::runtime_error("no such entry");
}

TEST(SampleFiles, DISABLED_WriteBadGifWebpTiffFiles) {
    const Image picture = smoothImage(64, 48, 24);
    // A GIF needs few colours: the picture in 4 x 4 blocks of one colour.
    Image blocks(64, 48, 24);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) blocks.at(x, y) = picture.at(x / 8 * 8, y / 8 * 8);
    }
    const std::vector<uint8_t> gif = encodeGif(blocks).bytes;
    const std::vector<uint8_t> webp = encodeWebp(picture).bytes;
    const std::vector<uint8_t> tif = encodeTiff(picture).bytes;
    if (gif.empty() || webp.empty() || tif.empty()) throw std::runtime_error("encoding failed");

    saveBad("truncated.gif", firstPart(gif, 0.6));
    saveBad("truncated.webp", firstPart(webp, 0.6));
    // libtiff writes the directory last: a cut file has lost it.
    saveBad("truncated.tif", firstPart(tif, 0.6));

    // GIF: a screen over the limit; the LZW code size after the descriptor raised to 12
    // (a "code-size bomb") and to 9; a frame claiming 4000 rows of 64; 16384 x 16384 from a
    // few hundred bytes.
    std::vector<uint8_t> bad = gif;
    putLe(bad, 6, 65535, 2);
    putLe(bad, 8, 65535, 2);
    saveBad("gif_65535x65535.gif", bad);
    const size_t descriptor = gifDescriptor(gif);
    bad = gif;
    bad[descriptor + 10] = 12;
    saveBad("gif_lzw_code_size_12.gif", bad);
    bad[descriptor + 10] = 9;
    saveBad("gif_lzw_code_size_9.gif", bad);
    bad = gif;
    putLe(bad, 8, 4000, 2);
    putLe(bad, descriptor + 7, 4000, 2);
    saveBad("gif_lying_height.gif", bad);
    bad = gif;
    for (size_t at : {size_t{6}, size_t{8}, descriptor + 5, descriptor + 7})
        putLe(bad, at, 16384, 2);
    saveBad("gif_16384x16384_tiny.gif", bad);

    // WebP: the extended header's canvas over the limit, and one that lies about the
    // picture inside. Our writer wraps a picture in an extended header when it has EXIF.
    ImageMetadata resolution;
    resolution.xDpi = resolution.yDpi = 96;
    const std::vector<uint8_t> extended = encodeWebp(picture, webpSaveQuality, resolution).bytes;
    if (std::memcmp(extended.data() + 12, "VP8X", 4) != 0) throw std::runtime_error("no VP8X");
    bad = extended;
    putLe(bad, 24, 99999, 3);
    putLe(bad, 27, 99999, 3);
    saveBad("webp_100000x100000.webp", bad);
    bad = extended;
    putLe(bad, 24, 999, 3);
    saveBad("webp_lying_canvas.webp", bad);
    bad = webp;
    for (size_t i = 40; i < bad.size(); ++i) bad[i] ^= 0xA5;
    saveBad("webp_damaged_data.webp", bad);

    // TIFF: a strip offset beyond the end; a size over the limit; a header claiming
    // sixteen bits a sample; 16384 x 16384 from its little strip.
    bad = tif;
    putLe(bad, tiffEntry(tif, 273) + 8, 0x0FFFFFF0, 4);  // strip offsets: one strip
    saveBad("tiff_strip_offset_past_end.tif", bad);
    bad = tif;
    for (uint16_t tag : {256, 257}) {
        const size_t e = tiffEntry(tif, tag);
        putLe(bad, e + 2, 4, 2);  // LONG
        putLe(bad, e + 8, 100000, 4);
    }
    saveBad("tiff_100000x100000.tif", bad);
    bad = tif;
    const uint32_t bitsAt = readLe32(tif.data() + tiffEntry(tif, 258) + 8);
    for (int s = 0; s < 3; ++s) putLe(bad, bitsAt + 2 * s, 16, 2);
    saveBad("tiff_lying_bits.tif", bad);
    bad = tif;
    for (uint16_t tag : {256, 257, 278}) {  // width, height, rows per strip
        const size_t e = tiffEntry(tif, tag);
        putLe(bad, e + 2, 4, 2);
        putLe(bad, e + 8, 16384, 4);
    }
    saveBad("tiff_16384x16384_tiny.tif", bad);
}

// Seeds for the fuzz targets and files for trying by hand: a phone's EXIF (turned a quarter,
// 300 dpi, a thumbnail) and an Adobe RGB-like profile, in each format that carries them.
//   test_codecs --gtest_also_run_disabled_tests
//       --gtest_filter='SampleFiles.DISABLED_WriteMetadataFiles'
TEST(SampleFiles, DISABLED_WriteMetadataFiles) {
    const std::string folder = std::string(PIXOVA_SOURCE_DIR) + "/tests/data/corpus/metadata/";
    std::filesystem::create_directories(folder);
    const Image picture = smoothImage(24, 16, 24);
    const std::vector<uint8_t> exif = phoneExif(6, false, 24, 16);
    const std::vector<uint8_t> profile = adobeLikeProfile();
    writeBytes(folder + "phone.jpg", makeJpeg(picture, JpegMaking{.exif = exif,
                                                                  .profile = profile,
                                                                  .densityUnit = 1,
                                                                  .xDensity = 300,
                                                                  .yDensity = 300}));
    std::vector<uint8_t> rows;
    for (int y = 0; y < picture.height; ++y) {
        rows.push_back(0);
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.at(x, y);
            rows.insert(rows.end(),
                        {static_cast<uint8_t>(redOf(p)), static_cast<uint8_t>(greenOf(p)),
                         static_cast<uint8_t>(blueOf(p))});
        }
    }
    writeBytes(folder + "phone.png",
               handMadePng(24, 16, 8, 2, rows,
                           {{"pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 1}}, {"eXIf", exif}}));
    writeBytes(folder + "phone.webp", makeWebp(picture, exif, profile));
    TiffMaking tiff{.width = 24,
                    .height = 16,
                    .compression = 8,
                    .values = rgbSamples(picture, false),
                    .orientation = 6,
                    .xResolution = 300,
                    .yResolution = 300,
                    .profile = profile};
    writeBytes(folder + "phone.tif", makeTiff(tiff));
}

}  // namespace
