// EXIF orientations turned upright: all eight on a hand-made 3 x 2 picture, the in-place
// turn of large pictures, and the orientation of real files of every format that has one.

#include "toolkit/codecs/orientation.h"

#include <gtest/gtest.h>

#include "codec_test_util.h"
#include "exif_test_util.h"
#include "file_makers.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

// The stored picture, 3 x 2:   a b c
//                              d e f
constexpr uint32_t a = 0xFF000001, b = 0xFF000002, c = 0xFF000003, d = 0xFF000004, e = 0xFF000005,
                   f = 0xFF000006;

Image stored() {
    return imageFromRows(3, 2, {a, b, c, d, e, f}, 32);
}

// What each orientation shows upright, worked out by hand from what EXIF says the stored
// first row and column are.
struct Expected {
    int orientation;
    int width, height;
    std::vector<uint32_t> rows;
};
const Expected uprights[] = {
    {1, 3, 2, {a, b, c, d, e, f}}, {2, 3, 2, {c, b, a, f, e, d}},  // mirrored
    {3, 3, 2, {f, e, d, c, b, a}},                                 // half a turn
    {4, 3, 2, {d, e, f, a, b, c}},                                 // flipped
    {5, 2, 3, {a, d, b, e, c, f}},                                 // transposed
    {6, 2, 3, {d, a, e, b, f, c}},  // turned clockwise: the first row becomes the right column
    {7, 2, 3, {f, c, e, b, d, a}},  // transversed
    {8, 2, 3, {c, f, b, e, a, d}},  // turned counter-clockwise
};

Image expectedImage(const Expected& x) {
    Image image(x.width, x.height, 32);
    for (size_t i = 0; i < x.rows.size(); ++i) image.pixels[i] = x.rows[i];
    return image;
}

TEST(Orientation, AllEightOnAHandMadePicture) {
    for (const Expected& x : uprights) {
        Image image = stored();
        orientUpright(image, x.orientation);
        EXPECT_EQ(image, expectedImage(x)) << "orientation " << x.orientation;
    }
    // Anything else leaves the picture as stored.
    for (int odd : {0, 9, -1}) {
        Image image = stored();
        orientUpright(image, odd);
        EXPECT_EQ(image, stored()) << odd;
    }
}

TEST(Orientation, LargePicturesTurnInPlaceToTheSamePixels) {
    // Over 16 MiB of pixels: the turn follows the permutation's cycles instead of copying.
    const int w = 2501, h = 1703;
    Image image(w, h, 32);
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint32_t>(i);
    Image turned = image;
    orientUpright(turned, 6);
    ASSERT_EQ(turned.width, h);
    ASSERT_EQ(turned.height, w);
    // Turned clockwise: upright (x, y) shows stored (y, h - 1 - x).
    for (int y = 0; y < turned.height; y += 7) {
        for (int x = 0; x < turned.width; ++x) {
            ASSERT_EQ(turned.at(x, y), static_cast<uint32_t>((h - 1 - x) * w + y)) << x << "," << y;
        }
    }
    orientUpright(image, 5);
    for (int y = 0; y < image.height; y += 5) {
        for (int x = 0; x < image.width; ++x) {
            ASSERT_EQ(image.at(x, y), static_cast<uint32_t>(x * w + y)) << x << "," << y;
        }
    }
}

// The 3 x 2 picture in colours lossy formats keep apart.
Image colourStored() {
    return imageFromRows(3, 2,
                         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 0),
                          rgb(0, 255, 255), rgb(255, 0, 255)},
                         24);
}

TEST(Orientation, EveryFormatThatCarriesOneIsTurnedOnLoad) {
    const Image picture = colourStored();
    const std::vector<uint8_t> exif = phoneExif(6);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    files.emplace_back("JPEG", makeJpeg(picture, JpegMaking{.exif = exif}));
    files.emplace_back("PNG", handMadePng(3, 2, 8, 2, {0, 255, 0,   0, 0, 255, 0,   0,   0, 255,  //
                                                       0, 255, 255, 0, 0, 255, 255, 255, 0, 255},
                                          {{"eXIf", exif}}));
    files.emplace_back("WebP", makeWebp(picture, exif));
    TiffMaking tiff{
        .width = 3, .height = 2, .values = rgbSamples(picture, false), .orientation = 6};
    files.emplace_back("TIFF", makeTiff(tiff));
    Expected turned = uprights[5];
    for (auto& [name, bytes] : files) {
        DecodeResult r = decodeImage(bytes.data(), bytes.size());
        ASSERT_TRUE(r.ok()) << name << ": " << r.error;
        ASSERT_EQ(r.image.width, 2) << name;
        ASSERT_EQ(r.image.height, 3) << name;
        for (int i = 0; i < 6; ++i) {
            const uint32_t want = picture.pixels[turned.rows[i] - a];
            const uint32_t got = r.image.pixels[static_cast<size_t>(i)];
            EXPECT_LE(std::abs(redOf(got) - redOf(want)) + std::abs(greenOf(got) - greenOf(want)) +
                          std::abs(blueOf(got) - blueOf(want)),
                      6)
                << name << " pixel " << i;
        }
        // What is kept says the picture is upright now.
        if (!r.metadata.exif.empty()) {
            EXPECT_EQ(exifNumber(r.metadata.exif, {}, tagOrientation), 1u) << name;
        }
    }
}

TEST(Orientation, JpegRowsArePlacedUprightAsTheyAreDecoded) {
    // Several bands of rows, sides of no block multiple: the same pixels as turning the
    // decoded picture afterwards, for every orientation.
    const Image picture = smoothImage(37, 41, 24);
    const std::vector<uint8_t> plain = makeJpeg(picture);
    DecodeResult stored = decodeJpeg(plain.data(), plain.size());
    ASSERT_TRUE(stored.ok()) << stored.error;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::vector<uint8_t> file =
            makeJpeg(picture, JpegMaking{.exif = phoneExif(orientation)});
        DecodeResult r = decodeJpeg(file.data(), file.size());
        ASSERT_TRUE(r.ok()) << r.error;
        Image turned = stored.image;
        orientUpright(turned, orientation);
        EXPECT_EQ(firstDifference(r.image, turned), "") << orientation;
    }
    // And the hand-made picture, by its colours.
    for (const Expected& x : uprights) {
        const std::vector<uint8_t> file =
            makeJpeg(colourStored(), JpegMaking{.exif = phoneExif(x.orientation)});
        DecodeResult r = decodeJpeg(file.data(), file.size());
        ASSERT_TRUE(r.ok()) << r.error;
        ASSERT_EQ(r.image.width, x.width) << x.orientation;
        for (size_t i = 0; i < 6; ++i) {
            const uint32_t want = colourStored().pixels[x.rows[i] - a];
            const uint32_t got = r.image.pixels[i];
            EXPECT_LE(std::abs(redOf(got) - redOf(want)) + std::abs(greenOf(got) - greenOf(want)) +
                          std::abs(blueOf(got) - blueOf(want)),
                      6)
                << x.orientation << " pixel " << i;
        }
    }
}

TEST(Orientation, AQuarterTurnSwapsTheResolution) {
    // 300 dpi across and 150 down as stored: upright after a quarter turn, 150 and 300.
    TestExif exif;
    exif.ifd0.entries = {shortEntry(tagOrientation, 8), rationalEntry(tagXResolution, 300, 1),
                         rationalEntry(tagYResolution, 150, 1), shortEntry(tagResolutionUnit, 2)};
    std::vector<uint8_t> file = makeJpeg(colourStored(), JpegMaking{.exif = buildExif(exif)});
    DecodeResult r = decodeJpeg(file.data(), file.size());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.width, 2);
    EXPECT_DOUBLE_EQ(r.metadata.xDpi, 150);
    EXPECT_DOUBLE_EQ(r.metadata.yDpi, 300);
}

}  // namespace
