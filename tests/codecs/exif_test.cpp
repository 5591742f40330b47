// EXIF blocks: what is read from them, what is kept, what is written back, and that no
// offset in a damaged block is followed outside it.

#include "toolkit/codecs/exif.h"

#include <gtest/gtest.h>

#include "exif_test_util.h"

namespace {

std::vector<uint8_t> keep(const std::vector<uint8_t>& block, ExifFacts& facts) {
    return keepableExif(block.data(), block.size(), facts);
}

TEST(Exif, OrientationIsReadAndBecomesOneInEitherByteOrder) {
    for (bool big : {false, true}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            ExifFacts facts;
            std::vector<uint8_t> kept = keep(phoneExif(orientation, big), facts);
            ASSERT_FALSE(kept.empty());
            EXPECT_EQ(facts.orientation, orientation) << big;
            EXPECT_EQ(exifNumber(kept, {}, tagOrientation), 1u);
            EXPECT_EQ(exifText(kept, {}, tagMake), "PixovaCam");
            EXPECT_EQ(exifText(kept, {tagGpsPointer}, tagGpsLatitudeRef), "N");
        }
    }
    // Numbers outside 1..8 mean nothing: the picture stays as stored.
    for (uint32_t odd : {0u, 9u, 0xFFFFu}) {
        TestExif exif;
        exif.ifd0.entries = {shortEntry(tagOrientation, odd)};
        ExifFacts facts;
        keep(buildExif(exif), facts);
        EXPECT_EQ(facts.orientation, 1) << odd;
    }
}

TEST(Exif, TheThumbnailGoesAndEverythingElseStays) {
    const std::vector<uint8_t> block = phoneExif(6);
    ASSERT_NE(exifNextDirectory(block), 0u);
    ExifFacts facts;
    std::vector<uint8_t> kept = keep(block, facts);
    EXPECT_EQ(exifNextDirectory(kept), 0u);
    EXPECT_FALSE(containsBytes(kept, "THUMBNAIL"));
    // The thumbnail ended the block: it is cut off, not just unlinked.
    EXPECT_LT(kept.size(), block.size() - 21);
    // The maker's data stays where it was, so its own offsets still hold.
    EXPECT_TRUE(containsBytes(kept, "MAKER-DATA-0123456789"));
    EXPECT_EQ(exifText(kept, {tagExifPointer}, tagMakerNote), "MAKER-DATA-0123456789");
    EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagPixelXDimension), 3u);

    // A thumbnail stored before the rest cannot be cut off: its bytes are cleared.
    TestExif early;
    early.ifd0.entries = {textEntry(tagMake, "Early"), shortEntry(tagOrientation, 3)};
    early.thumbnail = "THUMBNAIL-FIRST";
    early.thumbnailFirst = true;
    const std::vector<uint8_t> earlyBlock = buildExif(early);
    std::vector<uint8_t> earlyKept = keep(earlyBlock, facts);
    EXPECT_EQ(facts.orientation, 3);
    EXPECT_EQ(exifNextDirectory(earlyKept), 0u);
    EXPECT_FALSE(containsBytes(earlyKept, "THUMBNAIL"));
    EXPECT_EQ(exifText(earlyKept, {}, tagMake), "Early");
}

TEST(Exif, ColourSpaceSaysSrgb) {
    // Whatever the camera said, the pixels kept beside the block are sRGB.
    ExifFacts facts;
    std::vector<uint8_t> kept = keep(phoneExif(1), facts);
    EXPECT_EQ(exifNumber(kept, {tagExifPointer}, tagColourSpace), 1u);
}

TEST(Exif, ResolutionInInchesOrCentimetres) {
    struct Case {
        uint32_t xNumerator, xDenominator, yNumerator, yDenominator, unit;
        double xDpi, yDpi;
    };
    for (Case c : {Case{300, 1, 300, 1, 2, 300, 300}, Case{600, 2, 150, 1, 2, 300, 150},
                   Case{118, 1, 118, 1, 3, 299.72, 299.72}, Case{72, 1, 72, 1, 1, 0, 0},
                   Case{72, 0, 72, 1, 2, 0, 0}}) {
        TestExif exif;
        exif.ifd0.entries = {rationalEntry(tagXResolution, c.xNumerator, c.xDenominator),
                             rationalEntry(tagYResolution, c.yNumerator, c.yDenominator),
                             shortEntry(tagResolutionUnit, c.unit)};
        ExifFacts facts;
        keep(buildExif(exif), facts);
        EXPECT_NEAR(facts.xDpi, c.xDpi, 1e-9) << c.xNumerator << "/" << c.xDenominator;
        EXPECT_NEAR(facts.yDpi, c.yDpi, 1e-9) << c.yNumerator << "/" << c.yDenominator;
    }
}

TEST(Exif, DamagedBlocksAreRefusedOrLoseOnlyTheBadEntries) {
    ExifFacts facts;
    // Not a TIFF structure, cut short, directory 0 past the end.
    for (std::vector<uint8_t> bad : {std::vector<uint8_t>{'I', 'I', 43, 0, 8, 0, 0, 0},
                                     std::vector<uint8_t>{'I', 'I', 42, 0, 8},
                                     std::vector<uint8_t>{'I', 'I', 42, 0, 0xF0, 0, 0, 0, 0, 0},
                                     std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 9}}) {
        EXPECT_TRUE(keep(bad, facts).empty());
    }
    // An entry whose value lies past the end, and an EXIF pointer past the end: dropped,
    // the sound entries kept.
    std::vector<uint8_t> block = phoneExif(6);
    TestExif exif;
    exif.ifd0.entries = {textEntry(tagMake, "GoodMake"), shortEntry(tagOrientation, 8),
                         longEntry(tagExifPointer, 0x7FFFFFF0), textEntry(tagModel, "OffTheEnd")};
    block = buildExif(exif);
    // The model's value offset (its entry is the third after sorting) made to point away.
    const size_t model = 8 + 2 + 12 * 1 + 8;
    block[model] = 0xF0;
    block[model + 1] = 0xFF;
    std::vector<uint8_t> kept = keep(block, facts);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(facts.orientation, 8);
    EXPECT_EQ(exifText(kept, {}, tagMake), "GoodMake");
    EXPECT_EQ(exifText(kept, {}, tagModel), std::nullopt);
    EXPECT_EQ(exifNumber(kept, {}, tagOrientation), 1u);
    // A directory 1 past the end is simply unlinked.
    TestExif linked;
    linked.ifd0.entries = {shortEntry(tagOrientation, 2)};
    std::vector<uint8_t> dangling = buildExif(linked);
    dangling[8 + 2 + 12] = 0xF0;  // next-directory offset
    kept = keep(dangling, facts);
    EXPECT_EQ(facts.orientation, 2);
    EXPECT_EQ(exifNextDirectory(kept), 0u);
}

TEST(Exif, WritingFollowsThePictureSizeAndResolution) {
    ExifFacts facts;
    std::vector<uint8_t> kept = keep(phoneExif(6), facts);
    // In place: the block already has both resolution entries.
    std::vector<uint8_t> out = exifForImage(kept, 2, 3, 300, 150);
    EXPECT_EQ(out.size(), kept.size());
    EXPECT_EQ(exifNumber(out, {tagExifPointer}, tagPixelXDimension), 2u);
    EXPECT_EQ(exifNumber(out, {tagExifPointer}, tagPixelYDimension), 3u);
    EXPECT_EQ(exifRational(out, tagXResolution), std::make_pair(300u, 1u));
    EXPECT_EQ(exifRational(out, tagYResolution), std::make_pair(150u, 1u));
    EXPECT_EQ(exifNumber(out, {}, tagResolutionUnit), 2u);
    EXPECT_TRUE(containsBytes(out, "MAKER-DATA-0123456789"));
    // A width past what a SHORT holds turns the entry into a LONG.
    out = exifForImage(kept, 70000, 3, 0, 0);
    EXPECT_EQ(exifNumber(out, {tagExifPointer}, tagPixelXDimension), 70000u);
    // Without a resolution the block's own stays.
    EXPECT_EQ(exifRational(out, tagXResolution), std::make_pair(72u, 1u));

    // A block without resolution entries gets them in a new directory 0; the rest of the
    // block, offsets included, is untouched.
    TestExif bare;
    bare.bigEndian = false;
    bare.ifd0.entries = {textEntry(tagMake, "Bare"), shortEntry(tagOrientation, 1)};
    bare.ifd0.children = {{tagGpsPointer, TestDirectory{{textEntry(tagGpsLatitudeRef, "S")}, {}}}};
    std::vector<uint8_t> grown = exifForImage(buildExif(bare), 5, 5, 299.5, 72);
    EXPECT_EQ(exifText(grown, {}, tagMake), "Bare");
    EXPECT_EQ(exifText(grown, {tagGpsPointer}, tagGpsLatitudeRef), "S");
    EXPECT_EQ(exifRational(grown, tagXResolution), std::make_pair(599u, 2u));
    EXPECT_EQ(exifRational(grown, tagYResolution), std::make_pair(72u, 1u));
    EXPECT_EQ(exifNumber(grown, {}, tagResolutionUnit), 2u);

    // No block: one holding only the resolution, or nothing at all.
    std::vector<uint8_t> made = exifForImage({}, 5, 5, 300, 300);
    EXPECT_EQ(exifRational(made, tagXResolution), std::make_pair(300u, 1u));
    EXPECT_EQ(exifNumber(made, {}, tagResolutionUnit), 2u);
    EXPECT_TRUE(exifForImage({}, 5, 5, 0, 0).empty());
}

TEST(Exif, PrefixAndRationals) {
    const uint8_t withPrefix[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'};
    const uint8_t* data = withPrefix;
    size_t size = sizeof withPrefix;
    skipExifPrefix(data, size);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(data[0], 'I');
    skipExifPrefix(data, size);  // nothing more to skip
    EXPECT_EQ(size, 2u);

    uint32_t n = 0, d = 0;
    dpiToRational(300, n, d);
    EXPECT_EQ(std::make_pair(n, d), std::make_pair(300u, 1u));
    dpiToRational(299.9994, n, d);  // 11811 pixels per metre, read back
    EXPECT_EQ(std::make_pair(n, d), std::make_pair(300u, 1u));
    dpiToRational(299.98, n, d);
    EXPECT_EQ(std::make_pair(n, d), std::make_pair(14999u, 50u));
    dpiToRational(72.5, n, d);
    EXPECT_EQ(std::make_pair(n, d), std::make_pair(145u, 2u));
    dpiToRational(0, n, d);
    EXPECT_EQ(std::make_pair(n, d), std::make_pair(0u, 1u));
}

}  // namespace
