#include "exif_test_util.h"

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

void put(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<uint8_t>(v >> 8 * (big ? bytes - 1 - i : i));
    }
}

uint32_t get(const std::vector<uint8_t>& in, size_t at, int bytes, bool big) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t{in.at(at + i)} << 8 * (big ? bytes - 1 - i : i);
    return v;
}

std::vector<uint8_t> valueBytes(const TestEntry& e, bool big) {
    std::vector<uint8_t> v;
    const int unit = e.type == 3 ? 2 : 4;
    if (e.type == 2 || e.type == 7) {
        v.assign(e.bytes.begin(), e.bytes.end());
        if (e.type == 2) v.push_back(0);
        return v;
    }
    v.resize(e.numbers.size() * unit);
    for (size_t i = 0; i < e.numbers.size(); ++i) put(v, i * unit, e.numbers[i], unit, big);
    return v;
}

uint32_t countOf(const TestEntry& e) {
    if (e.type == 2) return static_cast<uint32_t>(e.bytes.size() + 1);
    if (e.type == 7) return static_cast<uint32_t>(e.bytes.size());
    if (e.type == 5) return static_cast<uint32_t>(e.numbers.size() / 2);
    return static_cast<uint32_t>(e.numbers.size());
}

// Writes `dir` at the end of `out`, its values and children after it; returns its offset.
size_t writeDirectory(std::vector<uint8_t>& out, const TestDirectory& dir, bool big,
                      size_t& nextField) {
    if (out.size() % 2) out.push_back(0);
    const size_t at = out.size();
    struct Item {
        uint16_t tag;
        const TestEntry* entry;
        const TestDirectory* child;
    };
    std::vector<Item> items;
    for (const TestEntry& e : dir.entries) items.push_back({e.tag, &e, nullptr});
    for (const auto& [tag, child] : dir.children) items.push_back({tag, nullptr, &child});
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.tag < b.tag; });
    out.resize(at + 2 + 12 * items.size() + 4, 0);
    put(out, at, static_cast<uint32_t>(items.size()), 2, big);
    nextField = at + 2 + 12 * items.size();
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t e = at + 2 + 12 * i;
        put(out, e, items[i].tag, 2, big);
        if (items[i].child) {
            size_t ignored = 0;
            const size_t child = writeDirectory(out, *items[i].child, big, ignored);
            put(out, e + 2, 4, 2, big);
            put(out, e + 4, 1, 4, big);
            put(out, e + 8, static_cast<uint32_t>(child), 4, big);
            continue;
        }
        const TestEntry& entry = *items[i].entry;
        std::vector<uint8_t> value = valueBytes(entry, big);
        put(out, e + 2, entry.type, 2, big);
        put(out, e + 4, countOf(entry), 4, big);
        if (value.size() <= 4) {
            std::copy(value.begin(), value.end(), out.begin() + static_cast<std::ptrdiff_t>(e + 8));
        } else {
            if (out.size() % 2) out.push_back(0);
            put(out, e + 8, static_cast<uint32_t>(out.size()), 4, big);
            out.insert(out.end(), value.begin(), value.end());
        }
    }
    return at;
}

// Follows `path` from directory 0; the directory's offset, or 0.
size_t directoryAt(const std::vector<uint8_t>& b, const std::vector<uint16_t>& path) {
    const bool big = b.at(0) == 'M';
    size_t at = get(b, 4, 4, big);
    for (uint16_t tag : path) {
        const uint32_t count = get(b, at, 2, big);
        size_t next = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (get(b, at + 2 + 12 * i, 2, big) == tag) next = get(b, at + 2 + 12 * i + 8, 4, big);
        }
        if (next == 0) return 0;
        at = next;
    }
    return at;
}

// The entry's type, count and value offset (its own field when small).
std::optional<std::tuple<uint32_t, uint32_t, size_t>> findEntry(const std::vector<uint8_t>& b,
                                                                size_t dir, uint16_t tag) {
    const bool big = b.at(0) == 'M';
    const uint32_t count = get(b, dir, 2, big);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = dir + 2 + 12 * i;
        if (get(b, e, 2, big) != tag) continue;
        const uint32_t type = get(b, e + 2, 2, big), n = get(b, e + 4, 4, big);
        const size_t unit = type == 3 ? 2 : (type == 5 ? 8 : (type == 4 ? 4 : 1));
        const size_t value = unit * n <= 4 ? e + 8 : get(b, e + 8, 4, big);
        return std::make_tuple(type, n, value);
    }
    return std::nullopt;
}

}  // namespace

TestEntry shortEntry(uint16_t tag, uint32_t value) {
    return {tag, 3, {value}, {}};
}
TestEntry longEntry(uint16_t tag, uint32_t value) {
    return {tag, 4, {value}, {}};
}
TestEntry rationalEntry(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    return {tag, 5, {numerator, denominator}, {}};
}
TestEntry textEntry(uint16_t tag, const std::string& text) {
    return {tag, 2, {}, text};
}

std::vector<uint8_t> buildExif(const TestExif& exif) {
    const bool big = exif.bigEndian;
    // Sized and filled by index (GCC 12 misjudges inserts after a literal here).
    const size_t early = exif.thumbnailFirst ? exif.thumbnail.size() : 0;
    std::vector<uint8_t> out(8 + early, 0);
    out[0] = out[1] = big ? 'M' : 'I';
    put(out, 2, 42, 2, big);
    size_t thumbnailAt = 0;
    if (early > 0) {
        thumbnailAt = 8;
        std::copy(exif.thumbnail.begin(), exif.thumbnail.end(), out.begin() + 8);
    }
    size_t nextField = 0;
    put(out, 4, static_cast<uint32_t>(writeDirectory(out, exif.ifd0, big, nextField)), 4, big);
    if (exif.thumbnail.empty()) return out;
    TestDirectory ifd1;
    ifd1.entries = {shortEntry(0x0103, 6), longEntry(0x0201, 0),
                    longEntry(0x0202, static_cast<uint32_t>(exif.thumbnail.size()))};
    size_t ignored = 0;
    const size_t ifd1At = writeDirectory(out, ifd1, big, ignored);
    put(out, nextField, static_cast<uint32_t>(ifd1At), 4, big);
    if (!exif.thumbnailFirst) {
        if (out.size() % 2) out.push_back(0);
        thumbnailAt = out.size();
        out.insert(out.end(), exif.thumbnail.begin(), exif.thumbnail.end());
    }
    // Directory 1's first offset entry (sorted second) names where the thumbnail lies.
    put(out, ifd1At + 2 + 12 + 8, static_cast<uint32_t>(thumbnailAt), 4, big);
    return out;
}

std::optional<uint32_t> exifNumber(const std::vector<uint8_t>& block,
                                   const std::vector<uint16_t>& path, uint16_t tag) {
    const size_t dir = directoryAt(block, path);
    if (dir == 0) return std::nullopt;
    auto entry = findEntry(block, dir, tag);
    if (!entry) return std::nullopt;
    const auto [type, count, value] = *entry;
    return get(block, value, type == 3 ? 2 : 4, block[0] == 'M');
}

std::optional<std::pair<uint32_t, uint32_t>> exifRational(const std::vector<uint8_t>& block,
                                                          uint16_t tag) {
    auto entry = findEntry(block, directoryAt(block, {}), tag);
    if (!entry || std::get<0>(*entry) != 5) return std::nullopt;
    const bool big = block[0] == 'M';
    const size_t value = std::get<2>(*entry);
    return std::make_pair(get(block, value, 4, big), get(block, value + 4, 4, big));
}

std::optional<std::string> exifText(const std::vector<uint8_t>& block,
                                    const std::vector<uint16_t>& path, uint16_t tag) {
    const size_t dir = directoryAt(block, path);
    if (dir == 0) return std::nullopt;
    auto entry = findEntry(block, dir, tag);
    if (!entry) return std::nullopt;
    const auto [type, count, value] = *entry;
    std::string text(block.begin() + static_cast<std::ptrdiff_t>(value),
                     block.begin() + static_cast<std::ptrdiff_t>(value + count));
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

uint32_t exifNextDirectory(const std::vector<uint8_t>& block) {
    const bool big = block.at(0) == 'M';
    const size_t dir = get(block, 4, 4, big);
    return get(block, dir + 2 + 12 * get(block, dir, 2, big), 4, big);
}

bool containsBytes(const std::vector<uint8_t>& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

std::vector<uint8_t> phoneExif(int orientation, bool bigEndian, uint32_t storedWidth,
                               uint32_t storedHeight) {
    TestExif exif;
    exif.bigEndian = bigEndian;
    TestDirectory exifDir;
    exifDir.entries = {rationalEntry(tagExposureTime, 1, 120),
                       shortEntry(tagColourSpace, 0xFFFF),
                       shortEntry(tagPixelXDimension, storedWidth),
                       shortEntry(tagPixelYDimension, storedHeight),
                       {tagMakerNote, 7, {}, "MAKER-DATA-0123456789"}};
    TestDirectory gps;
    gps.entries = {textEntry(tagGpsLatitudeRef, "N")};
    exif.ifd0.entries = {textEntry(tagMake, "PixovaCam"),
                         textEntry(tagModel, "Phone 3"),
                         shortEntry(tagOrientation, static_cast<uint32_t>(orientation)),
                         rationalEntry(tagXResolution, 72, 1),
                         rationalEntry(tagYResolution, 72, 1),
                         shortEntry(tagResolutionUnit, 2),
                         textEntry(tagDateTime, "2024:05:01 12:34:56")};
    exif.ifd0.children = {{tagExifPointer, exifDir}, {tagGpsPointer, gps}};
    exif.thumbnail = std::string("\xFF\xD8THUMBNAIL-PICTURE\xFF\xD9", 21);
    return buildExif(exif);
}
