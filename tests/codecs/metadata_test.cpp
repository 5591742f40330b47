// What travels beside the pixels: colour profiles converted to sRGB on load, resolutions
// and EXIF blocks read and written back in every format that holds them.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>

#include "codec_test_util.h"
#include "exif_test_util.h"
#include "file_makers.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

// Adobe RGB (200, 100, 50) is sRGB (227.07, 100.07, 42.35), and its grey (128, 128, 128)
// is sRGB 129.03: worked out from the two spaces' primaries, D65 white and curves.
constexpr uint32_t adobeOrange = 0x3264C8;  // 0xBBGGRR: (200, 100, 50)
constexpr uint32_t adobeGrey = 0x808080;
const int srgbOrange[3] = {227, 100, 42};
constexpr int srgbOfAdobeGrey = 129;
// Linear grey 128 is sRGB 187.84.
constexpr int srgbOfLinearGrey = 188;

bool within(uint32_t p, const int (&want)[3], int tolerance) {
    return std::abs(redOf(p) - want[0]) <= tolerance &&
           std::abs(greenOf(p) - want[1]) <= tolerance &&
           std::abs(blueOf(p) - want[2]) <= tolerance;
}

PngChunk iccpChunk(const std::vector<uint8_t>& profile) {
    uLongf size = compressBound(static_cast<uLong>(profile.size()));
    std::vector<uint8_t> packed(size);
    compress(packed.data(), &size, profile.data(), static_cast<uLong>(profile.size()));
    packed.resize(size);
    std::vector<uint8_t> data = {'A', 'd', 'o', 'b', 'e', 0, 0};
    data.insert(data.end(), packed.begin(), packed.end());
    return {"iCCP", data};
}

// A 4 x 1 RGB PNG: orange, orange, grey, grey.
std::vector<uint8_t> pngRow(const std::vector<PngChunk>& chunks) {
    return handMadePng(4, 1, 8, 2, {0, 200, 100, 50, 200, 100, 50, 128, 128, 128, 128, 128, 128},
                       chunks);
}

Image orangeAndGrey() {
    return imageFromRows(4, 1, {adobeOrange, adobeOrange, adobeGrey, adobeGrey}, 24);
}

TEST(ColourProfile, AKnownColourComesOutAsItsSrgbValue) {
    const std::vector<uint8_t> profile = adobeLikeProfile();
    const Image picture = orangeAndGrey();
    struct File {
        const char* name;
        std::vector<uint8_t> bytes;
        int tolerance;
    };
    // JPEG is lossy: at quality 100 a flat colour comes back within a level, then converts.
    TiffMaking tiff{
        .width = 4, .height = 1, .values = rgbSamples(picture, false), .profile = profile};
    const File files[] = {
        {"PNG", pngRow({iccpChunk(profile)}), 1},
        {"WebP", makeWebp(picture, {}, profile), 1},
        {"TIFF", makeTiff(tiff), 1},
        {"JPEG",
         makeJpeg(Image(16, 16, 24, adobeOrange | alphaMask), JpegMaking{.profile = profile}), 2},
    };
    for (const File& f : files) {
        DecodeResult r = decodeImage(f.bytes.data(), f.bytes.size());
        ASSERT_TRUE(r.ok()) << f.name << ": " << r.error;
        EXPECT_TRUE(within(r.image.at(0, 0), srgbOrange, f.tolerance))
            << f.name << std::hex << " " << r.image.at(0, 0);
        if (r.image.width == 4) {
            const int grey[3] = {srgbOfAdobeGrey, srgbOfAdobeGrey, srgbOfAdobeGrey};
            EXPECT_TRUE(within(r.image.at(3, 0), grey, f.tolerance))
                << f.name << std::hex << " " << r.image.at(3, 0);
        }
        EXPECT_EQ(r.image.depth, 24) << f.name;
    }
}

TEST(ColourProfile, GreyFilesConvertByAGreyProfile) {
    const std::vector<uint8_t> profile = linearGreyProfile();
    const int want[3] = {srgbOfLinearGrey, srgbOfLinearGrey, srgbOfLinearGrey};
    std::vector<uint8_t> png = handMadePng(2, 1, 8, 0, {0, 128, 255}, {iccpChunk(profile)});
    DecodeResult r = decodePng(png.data(), png.size());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(within(r.image.at(0, 0), want, 1)) << std::hex << r.image.at(0, 0);
    EXPECT_EQ(r.image.at(1, 0), 0xFFFFFFFFu);  // white stays white
    std::vector<uint8_t> jpeg =
        makeJpeg(Image(8, 8, 24, 0xFF808080), JpegMaking{.profile = profile, .grey = true});
    r = decodeJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(within(r.image.at(4, 4), want, 2)) << std::hex << r.image.at(4, 4);
}

TEST(ColourProfile, AlphaIsKeptWhileTheColoursConvert) {
    // RGBA: orange at alpha 77.
    std::vector<uint8_t> png =
        handMadePng(1, 1, 8, 6, {0, 200, 100, 50, 77}, {iccpChunk(adobeLikeProfile())});
    DecodeResult r = decodePng(png.data(), png.size());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(alphaOf(r.image.at(0, 0)), 77);
    EXPECT_TRUE(within(r.image.at(0, 0), srgbOrange, 1)) << std::hex << r.image.at(0, 0);
}

TEST(ColourProfile, WithoutAUsableProfileThePixelsStayAsStored) {
    const std::vector<uint8_t> profile = adobeLikeProfile();
    const int stored[3] = {200, 100, 50};
    std::vector<uint8_t> garbage(300, 0x5A);
    std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"no profile", pngRow({})},
        // The sRGB chunk wins over a profile.
        {"sRGB chunk", pngRow({{"sRGB", {0}}, iccpChunk(profile)})},
        // gAMA alone stays ignored.
        {"gAMA", pngRow({{"gAMA", {0, 1, 0x5F, 0x90}}})},
        {"damaged profile", pngRow({iccpChunk(garbage)})},
        {"broken compression", pngRow({{"iCCP", {'x', 0, 0, 1, 2, 3, 4}}})},
    };
    // A grey profile does not fit RGB samples.
    files.emplace_back("grey profile on RGB", pngRow({iccpChunk(linearGreyProfile())}));
    for (const auto& [name, bytes] : files) {
        DecodeResult r = decodePng(bytes.data(), bytes.size());
        ASSERT_TRUE(r.ok()) << name << ": " << r.error;
        EXPECT_TRUE(within(r.image.at(0, 0), stored, 0))
            << name << std::hex << " " << r.image.at(0, 0);
    }
}

TEST(ColourProfile, WrittenPngSaysSrgb) {
    EncodeResult e = encodePng(randomImage(3, 3, 1, 24));
    ASSERT_TRUE(e.ok()) << e.error;
    // sRGB with perceptual intent: length 1, type, 0.
    const std::string chunk("\0\0\0\1sRGB\0", 9);
    EXPECT_TRUE(containsBytes(e.bytes, chunk));
}

// ---- Resolution ----

struct DpiCase {
    double x, y;
};

TEST(Resolution, RoundTripsInEveryFormatThatHoldsOne) {
    const Image picture = imageFromRows(2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF123456}, 24);
    for (DpiCase dpi : {DpiCase{300, 300}, DpiCase{72, 150}, DpiCase{600, 1200}}) {
        ImageMetadata metadata;
        metadata.xDpi = dpi.x;
        metadata.yDpi = dpi.y;
        for (ImageFormat format : {ImageFormat::Png, ImageFormat::Jpeg, ImageFormat::Bmp,
                                   ImageFormat::Tiff, ImageFormat::WebP}) {
            EncodeResult e = encodeImage(picture, format, metadata);
            ASSERT_TRUE(e.ok()) << e.error;
            DecodeResult r = decodeImage(e.bytes.data(), e.bytes.size());
            ASSERT_TRUE(r.ok()) << r.error;
            // Pixels per metre (PNG, BMP) hold 300 dpi as 11811, which is 299.9994, but
            // come back as the whole number they were made from.
            EXPECT_DOUBLE_EQ(r.metadata.xDpi, dpi.x) << static_cast<int>(format);
            EXPECT_DOUBLE_EQ(r.metadata.yDpi, dpi.y) << static_cast<int>(format);
        }
    }
    // A picture with none gets none.
    for (ImageFormat format : {ImageFormat::Png, ImageFormat::Jpeg, ImageFormat::Bmp,
                               ImageFormat::Tiff, ImageFormat::WebP, ImageFormat::Gif}) {
        EncodeResult e = encodeImage(picture, format);
        DecodeResult r = decodeImage(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_FALSE(r.metadata.hasResolution()) << static_cast<int>(format);
        EXPECT_TRUE(r.metadata.exif.empty()) << static_cast<int>(format);
    }
}

TEST(Resolution, ReadFromTheFormatsOwnFields) {
    // JFIF in dots per centimetre: 118 is 299.72 dpi.
    std::vector<uint8_t> jpeg = makeJpeg(
        flatImage(8, 8, 0x808080), JpegMaking{.densityUnit = 2, .xDensity = 118, .yDensity = 59});
    DecodeResult r = decodeJpeg(jpeg.data(), jpeg.size());
    EXPECT_NEAR(r.metadata.xDpi, 299.72, 1e-9);
    EXPECT_NEAR(r.metadata.yDpi, 149.86, 1e-9);
    // JFIF's aspect ratio alone is no resolution; EXIF's is taken then.
    TestExif exif;
    exif.ifd0.entries = {rationalEntry(tagXResolution, 240, 1),
                         rationalEntry(tagYResolution, 240, 1)};
    jpeg =
        makeJpeg(flatImage(8, 8, 0x808080), JpegMaking{.exif = buildExif(exif), .densityUnit = 0});
    r = decodeJpeg(jpeg.data(), jpeg.size());
    EXPECT_DOUBLE_EQ(r.metadata.xDpi, 240);
    // pHYs of 3937 pixels per metre is 99.9998 dpi, what 100 dpi is stored as; 3940 is
    // 100.076 dpi, which no whole number is stored as. A unit of 0 gives an aspect ratio
    // only.
    std::vector<uint8_t> png =
        handMadePng(1, 1, 8, 0, {0, 9}, {{"pHYs", {0, 0, 0x0F, 0x61, 0, 0, 0x0F, 0x64, 1}}});
    r = decodePng(png.data(), png.size());
    EXPECT_DOUBLE_EQ(r.metadata.xDpi, 100);
    EXPECT_NEAR(r.metadata.yDpi, 100.076, 1e-9);
    png = handMadePng(1, 1, 8, 0, {0, 9}, {{"pHYs", {0, 0, 0x0F, 0x61, 0, 0, 0x0F, 0x61, 0}}});
    EXPECT_FALSE(decodePng(png.data(), png.size()).metadata.hasResolution());
    // TIFF in centimetres.
    TiffMaking tiff{.width = 1,
                    .height = 1,
                    .values = {1, 2, 3},
                    .xResolution = 100,
                    .yResolution = 50,
                    .resolutionUnit = 3};
    std::vector<uint8_t> tif = makeTiff(tiff);
    r = decodeTiff(tif.data(), tif.size());
    EXPECT_NEAR(r.metadata.xDpi, 254, 1e-4);
    EXPECT_NEAR(r.metadata.yDpi, 127, 1e-4);
}

// ---- EXIF ----

TEST(ExifKept, SurvivesJpegToPngToJpeg) {
    // A phone's picture stored 3 x 2 and turned upright on load.
    std::vector<uint8_t> phone =
        makeJpeg(imageFromRows(3, 2, {0, 0, 0, 0, 0, 0}, 24), JpegMaking{.exif = phoneExif(6)});
    DecodeResult first = decodeJpeg(phone.data(), phone.size());
    ASSERT_TRUE(first.ok()) << first.error;
    EncodeResult png = encodePng(first.image, first.metadata);
    DecodeResult second = decodePng(png.bytes.data(), png.bytes.size());
    ASSERT_TRUE(second.ok()) << second.error;
    EncodeResult jpeg = encodeJpeg(second.image, 8, second.metadata);
    DecodeResult third = decodeJpeg(jpeg.bytes.data(), jpeg.bytes.size());
    ASSERT_TRUE(third.ok()) << third.error;
    const std::vector<uint8_t>& kept = third.metadata.exif;
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(exifText(kept, {}, tagMake), "PixovaCam");
    EXPECT_EQ(exifText(kept, {}, tagDateTime), "2024:05:01 12:34:56");
    EXPECT_EQ(exifText(kept, {tagGpsPointer}, tagGpsLatitudeRef), "N");
    EXPECT_EQ(exifText(kept, {tagExifPointer}, tagMakerNote), "MAKER-DATA-0123456789");
    EXPECT_EQ(exifNumber(kept, {}, tagOrientation), 1u);
    EXPECT_EQ(exifNextDirectory(kept), 0u);
    EXPECT_FALSE(containsBytes(kept, "THUMBNAIL"));
    // The pixel size is the upright picture's.
    EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagPixelXDimension), 2u);
    EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagPixelYDimension), 3u);
    EXPECT_EQ(third.image.width, 2);
    EXPECT_DOUBLE_EQ(third.metadata.xDpi, 72);
}

TEST(ExifKept, ThroughWebpAndTiff) {
    std::vector<uint8_t> phone =
        makeJpeg(flatImage(3, 2, 0x404040), JpegMaking{.exif = phoneExif(1, true)});
    DecodeResult source = decodeJpeg(phone.data(), phone.size());
    ASSERT_TRUE(source.ok()) << source.error;
    for (ImageFormat format : {ImageFormat::WebP, ImageFormat::Tiff}) {
        EncodeResult e = encodeImage(source.image, format, source.metadata);
        ASSERT_TRUE(e.ok()) << e.error;
        DecodeResult r = decodeImage(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(r.ok()) << r.error;
        const std::vector<uint8_t>& kept = r.metadata.exif;
        SCOPED_TRACE(static_cast<int>(format));
        EXPECT_EQ(exifText(kept, {}, tagMake), "PixovaCam");
        EXPECT_EQ(exifText(kept, {}, tagModel), "Phone 3");
        EXPECT_EQ(exifText(kept, {tagGpsPointer}, tagGpsLatitudeRef), "N");
        EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagColourSpace), 1u);
        EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagPixelXDimension), 3u);
        EXPECT_DOUBLE_EQ(r.metadata.xDpi, 72);
        if (format == ImageFormat::WebP) {
            EXPECT_EQ(exifText(kept, {tagExifPointer}, tagMakerNote), "MAKER-DATA-0123456789");
        } else {
            // A TIFF file's EXIF is moved into the file: the maker's data, whose offsets
            // would break, stays behind.
            EXPECT_EQ(exifText(kept, {tagExifPointer}, tagMakerNote), std::nullopt);
            EXPECT_EQ(exifRational(kept, 0x829A), std::nullopt);  // not in directory 0
            EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagExposureTime), 1u);
        }
    }
}

TEST(ExifKept, ABlockTooLargeForAJpegMarkerIsLeftOutThere) {
    TestExif exif;
    exif.ifd0.entries = {textEntry(tagMake, std::string(70000, 'm'))};
    ImageMetadata metadata;
    std::vector<uint8_t> block = buildExif(exif);
    metadata.exif = block;
    EncodeResult jpeg = encodeJpeg(flatImage(4, 4, 0), 8, metadata);
    ASSERT_TRUE(jpeg.ok()) << jpeg.error;
    EXPECT_TRUE(decodeJpeg(jpeg.bytes.data(), jpeg.bytes.size()).metadata.exif.empty());
    EncodeResult png = encodePng(flatImage(4, 4, 0), metadata);
    EXPECT_EQ(decodePng(png.bytes.data(), png.bytes.size()).metadata.exif.size(), block.size());
}

}  // namespace
