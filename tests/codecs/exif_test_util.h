#pragma once
// EXIF blocks made and read by hand in the tests, independently of the codecs' own code.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct TestEntry {
    uint16_t tag;
    uint16_t type;                  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED
    std::vector<uint32_t> numbers;  // SHORT, LONG; RATIONAL as numerator, denominator pairs
    std::string bytes;              // ASCII (its zero added) and UNDEFINED
};

TestEntry shortEntry(uint16_t tag, uint32_t value);
TestEntry longEntry(uint16_t tag, uint32_t value);
TestEntry rationalEntry(uint16_t tag, uint32_t numerator, uint32_t denominator);
TestEntry textEntry(uint16_t tag, const std::string& text);

struct TestDirectory {
    std::vector<TestEntry> entries;
    std::vector<std::pair<uint16_t, TestDirectory>> children;  // pointer tag, directory
};

struct TestExif {
    bool bigEndian = false;
    TestDirectory ifd0;
    // A thumbnail of these bytes in directory 1 (JPEGInterchangeFormat); none when empty.
    std::string thumbnail;
    // Where the thumbnail's bytes lie: after everything else, or before directory 0.
    bool thumbnailFirst = false;
};

std::vector<uint8_t> buildExif(const TestExif& exif);

// Reading back: the directory a path of pointer tags leads to from directory 0 ({} for
// directory 0 itself), then an entry's first number or its text.
std::optional<uint32_t> exifNumber(const std::vector<uint8_t>& block,
                                   const std::vector<uint16_t>& path, uint16_t tag);
std::optional<std::pair<uint32_t, uint32_t>> exifRational(const std::vector<uint8_t>& block,
                                                          uint16_t tag);
std::optional<std::string> exifText(const std::vector<uint8_t>& block,
                                    const std::vector<uint16_t>& path, uint16_t tag);
// The offset of directory 1 (0 when there is none).
uint32_t exifNextDirectory(const std::vector<uint8_t>& block);
bool containsBytes(const std::vector<uint8_t>& haystack, const std::string& needle);

// Tags used by the tests.
inline constexpr uint16_t tagMake = 0x010F;
inline constexpr uint16_t tagModel = 0x0110;
inline constexpr uint16_t tagOrientation = 0x0112;
inline constexpr uint16_t tagXResolution = 0x011A;
inline constexpr uint16_t tagYResolution = 0x011B;
inline constexpr uint16_t tagResolutionUnit = 0x0128;
inline constexpr uint16_t tagDateTime = 0x0132;
inline constexpr uint16_t tagExifPointer = 0x8769;
inline constexpr uint16_t tagGpsPointer = 0x8825;
inline constexpr uint16_t tagExposureTime = 0x829A;
inline constexpr uint16_t tagColourSpace = 0xA001;
inline constexpr uint16_t tagPixelXDimension = 0xA002;
inline constexpr uint16_t tagPixelYDimension = 0xA003;
inline constexpr uint16_t tagMakerNote = 0x927C;
inline constexpr uint16_t tagGpsLatitudeRef = 0x0001;

// A phone's block: make and model, date, orientation, a 72 dpi resolution, an EXIF
// directory (exposure, colour space, pixel size of the stored picture, maker data) and a
// GPS directory, with a thumbnail at the end.
std::vector<uint8_t> phoneExif(int orientation, bool bigEndian = false, uint32_t storedWidth = 3,
                               uint32_t storedHeight = 2);
