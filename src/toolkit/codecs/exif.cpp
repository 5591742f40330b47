#include "toolkit/codecs/exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <utility>

namespace {

constexpr uint8_t exifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t headerBytes = 8;
constexpr size_t entryBytes = 12;
constexpr size_t inlineBytes = 4;  // values this small sit in the entry itself

// Directory 0 (the picture).
constexpr uint16_t tagOrientation = 0x0112;
constexpr uint16_t tagXResolution = 0x011A;
constexpr uint16_t tagYResolution = 0x011B;
constexpr uint16_t tagResolutionUnit = 0x0128;
constexpr uint16_t tagExifDirectory = 0x8769;
constexpr uint16_t tagGpsDirectory = 0x8825;
// The EXIF directory.
constexpr uint16_t tagColourSpace = 0xA001;
constexpr uint16_t tagPixelXDimension = 0xA002;
constexpr uint16_t tagPixelYDimension = 0xA003;
constexpr uint16_t tagInteropDirectory = 0xA005;
// Directory 1 (the thumbnail).
constexpr uint16_t tagStripOffsets = 0x0111;
constexpr uint16_t tagStripByteCounts = 0x0117;
constexpr uint16_t tagThumbnailOffset = 0x0201;
constexpr uint16_t tagThumbnailLength = 0x0202;

constexpr uint16_t unitNone = 1;
constexpr uint16_t unitInch = 2;
constexpr uint16_t unitCentimetre = 3;
constexpr uint16_t colourSpaceSrgb = 1;
constexpr double centimetresPerInch = 2.54;

enum Type : uint16_t {
    typeByte = 1,
    typeAscii = 2,
    typeShort = 3,
    typeLong = 4,
    typeRational = 5,
    typeSbyte = 6,
    typeUndefined = 7,
    typeSshort = 8,
    typeSlong = 9,
    typeSrational = 10,
    typeFloat = 11,
    typeDouble = 12,
    typeIfd = 13,
};

// Bytes of one value of `type`; 0 for types this reader does not know.
size_t typeSize(uint16_t type) {
    switch (type) {
        case typeByte:
        case typeAscii:
        case typeSbyte:
        case typeUndefined:
            return 1;
        case typeShort:
        case typeSshort:
            return 2;
        case typeLong:
        case typeSlong:
        case typeFloat:
        case typeIfd:
            return 4;
        case typeRational:
        case typeSrational:
        case typeDouble:
            return 8;
        default:
            return 0;
    }
}

struct Entry {
    size_t at = 0;  // of its 12 bytes
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    size_t valueAt = 0;    // where its value lies (in the entry when small)
    size_t valueSize = 0;  // 0 for an unknown type
    bool outOfLine() const { return valueSize > inlineBytes; }
};

struct Directory {
    size_t at = 0;
    size_t end = 0;  // past the next-directory offset (or the entries, when that is missing)
    bool hasNext = false;
    std::vector<Entry> entries;

    const Entry* find(uint16_t tag) const {
        for (const Entry& e : entries) {
            if (e.tag == tag) return &e;
        }
        return nullptr;
    }
};

using Range = std::pair<size_t, size_t>;  // [first, second)

// A TIFF structure: either a block of our own, which may be edited and grow, or a view
// of bytes that are only read (a whole TIFF file).
class Block {
  public:
    explicit Block(std::vector<uint8_t>& bytes) : owned_(&bytes) {}
    Block(const uint8_t* data, size_t size) : view_(data), viewSize_(size) {}

    // True when the bytes start with a TIFF header; sets the byte order.
    bool readHeader() {
        if (size() < headerBytes) return false;
        const uint8_t* b = data();
        if (b[0] == 'I' && b[1] == 'I') {
            big_ = false;
        } else if (b[0] == 'M' && b[1] == 'M') {
            big_ = true;
        } else {
            return false;
        }
        return u16(2) == 42;
    }

    const uint8_t* data() const { return owned_ ? owned_->data() : view_; }
    size_t size() const { return owned_ ? owned_->size() : viewSize_; }
    bool editable() const { return owned_ != nullptr; }
    bool fits(size_t at, size_t count) const { return at <= size() && count <= size() - at; }

    uint16_t u16(size_t at) const {
        const uint8_t* b = data();
        return big_ ? static_cast<uint16_t>(b[at] << 8 | b[at + 1])
                    : static_cast<uint16_t>(b[at] | b[at + 1] << 8);
    }
    uint32_t u32(size_t at) const {
        const uint32_t first = u16(at), second = u16(at + 2);
        return big_ ? (first << 16 | second) : (second << 16 | first);
    }
    void put16(size_t at, uint16_t v) {
        std::vector<uint8_t>& b = *owned_;
        b[at + (big_ ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
        b[at + (big_ ? 1 : 0)] = static_cast<uint8_t>(v);
    }
    void put32(size_t at, uint32_t v) {
        put16(at + (big_ ? 0 : 2), static_cast<uint16_t>(v >> 16));
        put16(at + (big_ ? 2 : 0), static_cast<uint16_t>(v));
    }

    // A value of `entry` (SHORT or LONG) by position, for arrays of offsets.
    uint32_t number(const Entry& entry, uint32_t index) const {
        return entry.type == typeShort ? u16(entry.valueAt + 2 * index)
                                       : u32(entry.valueAt + 4 * index);
    }

    // Reads the directory at `offset`. Entries whose value does not lie inside the block are
    // left out, and dropped from an editable block (in place: the directory only shrinks),
    // so nothing read later and nothing written back points outside. False when the
    // directory itself does not fit.
    bool readDirectory(size_t offset, Directory& dir) {
        if (offset < headerBytes || offset % 2 != 0 || !fits(offset, 2)) return false;
        const size_t count = u16(offset);
        const size_t entriesEnd = offset + 2 + count * entryBytes;
        if (!fits(offset, 2 + count * entryBytes)) return false;
        dir.at = offset;
        dir.hasNext = fits(entriesEnd, 4);
        dir.end = dir.hasNext ? entriesEnd + 4 : entriesEnd;
        dir.entries.clear();
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t at = offset + 2 + i * entryBytes;
            Entry e;
            e.tag = u16(at);
            e.type = u16(at + 2);
            e.count = u32(at + 4);
            const size_t unit = typeSize(e.type);
            e.valueSize = unit * e.count;  // at most 8 * (2^32 - 1): no overflow in 64 bits
            bool sound = true;
            if (e.valueSize > inlineBytes) {
                e.valueAt = u32(at + 8);
                sound = fits(e.valueAt, e.valueSize);
            } else {
                e.valueAt = at + 8;
            }
            if (!sound) continue;
            e.at = at;
            if (editable()) {
                e.at = offset + 2 + kept * entryBytes;
                if (e.at != at)
                    std::memmove(owned_->data() + e.at, owned_->data() + at, entryBytes);
                if (!e.outOfLine()) e.valueAt = e.at + 8;
            }
            dir.entries.push_back(e);
            ++kept;
        }
        if (kept != count && editable()) {
            std::vector<uint8_t>& b = *owned_;
            // Close up: the count, then the next-directory offset right after the entries.
            const size_t newEnd = offset + 2 + kept * entryBytes;
            if (dir.hasNext) std::memmove(b.data() + newEnd, b.data() + entriesEnd, 4);
            std::fill(b.begin() + static_cast<std::ptrdiff_t>(newEnd + (dir.hasNext ? 4 : 0)),
                      b.begin() + static_cast<std::ptrdiff_t>(dir.end), 0);
            put16(offset, static_cast<uint16_t>(kept));
            dir.end = newEnd + (dir.hasNext ? 4 : 0);
        }
        return true;
    }

    uint32_t nextDirectory(const Directory& dir) const {
        return dir.hasNext ? u32(dir.end - 4) : 0;
    }

    // The directory a pointer entry names, when the entry and the directory are sound.
    bool followPointer(const Directory& from, uint16_t tag, Directory& to) {
        const Entry* e = from.find(tag);
        if (!e || (e->type != typeLong && e->type != typeIfd) || e->count != 1) return false;
        return readDirectory(u32(e->valueAt), to);
    }

    bool bigEndian() const { return big_; }
    std::vector<uint8_t>& bytes() { return *owned_; }

  private:
    std::vector<uint8_t>* owned_ = nullptr;
    const uint8_t* view_ = nullptr;
    size_t viewSize_ = 0;
    bool big_ = false;
};

std::optional<uint16_t> shortValue(const Block& block, const Directory& dir, uint16_t tag) {
    const Entry* e = dir.find(tag);
    if (!e || e->type != typeShort || e->count != 1) return std::nullopt;
    return block.u16(e->valueAt);
}

double rationalValue(const Block& block, const Directory& dir, uint16_t tag) {
    const Entry* e = dir.find(tag);
    if (!e || e->type != typeRational || e->count != 1) return 0;
    const uint32_t numerator = block.u32(e->valueAt), denominator = block.u32(e->valueAt + 4);
    return denominator == 0 ? 0 : static_cast<double>(numerator) / denominator;
}

void addRanges(const Directory& dir, std::vector<Range>& ranges) {
    ranges.emplace_back(dir.at, dir.end);
    for (const Entry& e : dir.entries) {
        if (e.outOfLine()) ranges.emplace_back(e.valueAt, e.valueAt + e.valueSize);
    }
}

// Where directory 1 keeps its picture: JPEG data or strips.
void thumbnailRanges(const Block& block, const Directory& dir, std::vector<Range>& ranges) {
    const Entry* offset = dir.find(tagThumbnailOffset);
    const Entry* length = dir.find(tagThumbnailLength);
    if (offset && length && offset->count == 1 && length->count == 1 &&
        (offset->type == typeLong || offset->type == typeShort) &&
        (length->type == typeLong || length->type == typeShort)) {
        const size_t at = block.number(*offset, 0), bytes = block.number(*length, 0);
        if (block.fits(at, bytes)) ranges.emplace_back(at, at + bytes);
    }
    const Entry* strips = dir.find(tagStripOffsets);
    const Entry* counts = dir.find(tagStripByteCounts);
    if (strips && counts && strips->count == counts->count &&
        (strips->type == typeLong || strips->type == typeShort) &&
        (counts->type == typeLong || counts->type == typeShort)) {
        for (uint32_t i = 0; i < strips->count; ++i) {
            const size_t at = block.number(*strips, i), bytes = block.number(*counts, i);
            if (block.fits(at, bytes)) ranges.emplace_back(at, at + bytes);
        }
    }
}

bool overlapsAny(const Range& r, const std::vector<Range>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const Range& u) { return r.first < u.second && u.first < r.second; });
}

// The block's resolution in dots per inch; 0 when it gives none or no absolute unit.
void readResolution(const Block& block, const Directory& ifd0, ExifFacts& facts) {
    const double x = rationalValue(block, ifd0, tagXResolution);
    const double y = rationalValue(block, ifd0, tagYResolution);
    const uint16_t unit = shortValue(block, ifd0, tagResolutionUnit).value_or(unitInch);
    if (x <= 0 || y <= 0 || unit == unitNone || (unit != unitInch && unit != unitCentimetre)) {
        return;
    }
    const double scale = unit == unitCentimetre ? centimetresPerInch : 1.0;
    facts.xDpi = x * scale;
    facts.yDpi = y * scale;
}

// A value to set in directory 0, in the block's byte order.
struct NewEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> value;
};

// Sets the entries of directory 0: in place where an entry of that tag, type and count is
// there already; else directory 0 is written again at the end of the block with the new
// entries among the old ones, the old copy cleared. Nothing else moves, so every offset
// in the block stays good.
void setDirectory0Entries(Block& block, Directory& ifd0, const std::vector<NewEntry>& values) {
    std::vector<const NewEntry*> missing;
    for (const NewEntry& v : values) {
        const Entry* e = ifd0.find(v.tag);
        if (e && e->type == v.type && e->count == v.count && e->valueSize == v.value.size()) {
            std::copy(v.value.begin(), v.value.end(),
                      block.bytes().begin() + static_cast<std::ptrdiff_t>(e->valueAt));
        } else {
            missing.push_back(&v);
        }
    }
    if (missing.empty()) return;

    std::vector<uint8_t>& bytes = block.bytes();
    // Old entries as they stand (their offsets stay good), less those set anew.
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> entries;
    for (const Entry& e : ifd0.entries) {
        bool replaced = std::any_of(values.begin(), values.end(),
                                    [&](const NewEntry& v) { return v.tag == e.tag; });
        if (replaced) continue;
        entries.emplace_back(
            e.tag, std::vector<uint8_t>(bytes.begin() + e.at, bytes.begin() + e.at + entryBytes));
    }
    if (bytes.size() % 2 != 0) bytes.push_back(0);
    const size_t at = bytes.size();
    const size_t count = entries.size() + missing.size();
    size_t valuesAt = at + 2 + count * entryBytes + 4;
    bytes.resize(valuesAt, 0);
    // Placeholders, so that the new entries sort among the old.
    for (const NewEntry* v : missing) entries.emplace_back(v->tag, std::vector<uint8_t>{});
    // Fields are written with the block's order after sorting; values past the entries.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    block.put16(at, static_cast<uint16_t>(count));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t to = at + 2 + i * entryBytes;
        auto fresh = std::find_if(missing.begin(), missing.end(),
                                  [&](const NewEntry* v) { return v->tag == entries[i].first; });
        if (fresh == missing.end()) {
            std::copy(entries[i].second.begin(), entries[i].second.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to));
            continue;
        }
        const NewEntry& v = **fresh;
        block.put16(to, v.tag);
        block.put16(to + 2, v.type);
        block.put32(to + 4, v.count);
        if (v.value.size() <= inlineBytes) {
            std::copy(v.value.begin(), v.value.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to + 8));
        } else {
            block.put32(to + 8, static_cast<uint32_t>(valuesAt));
            bytes.insert(bytes.end(), v.value.begin(), v.value.end());
            valuesAt += v.value.size();
        }
    }
    block.put32(at + 2 + count * entryBytes, 0);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(ifd0.at),
              bytes.begin() + static_cast<std::ptrdiff_t>(ifd0.end), 0);
    block.put32(4, static_cast<uint32_t>(at));
    block.readDirectory(at, ifd0);
}

std::vector<uint8_t> shortBytes(const Block& block, uint16_t v) {
    std::vector<uint8_t> out(2);
    out[block.bigEndian() ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    out[block.bigEndian() ? 1 : 0] = static_cast<uint8_t>(v);
    return out;
}

std::vector<uint8_t> rationalBytes(const Block& block, double dpi) {
    uint32_t numerator = 0, denominator = 1;
    dpiToRational(dpi, numerator, denominator);
    std::vector<uint8_t> out(8);
    for (int i = 0; i < 4; ++i) {
        const int shift = block.bigEndian() ? 24 - 8 * i : 8 * i;
        out[i] = static_cast<uint8_t>(numerator >> shift);
        out[4 + i] = static_cast<uint8_t>(denominator >> shift);
    }
    return out;
}

// Sets a pixel dimension in place: a SHORT that cannot hold the value becomes a LONG in
// the same four bytes.
void setDimension(Block& block, const Directory& dir, uint16_t tag, uint32_t value) {
    const Entry* e = dir.find(tag);
    if (!e || e->count != 1 || (e->type != typeShort && e->type != typeLong)) return;
    if (e->type == typeShort && value <= 0xFFFF) {
        block.put16(e->valueAt, static_cast<uint16_t>(value));
        block.put16(e->valueAt + 2, 0);
    } else {
        block.put16(e->at + 2, typeLong);
        block.put32(e->valueAt, value);
    }
}

// ---- Directories taken out of one structure and written into another ----

// Directory 0's entries that describe the picture rather than how its pixels are stored.
constexpr uint16_t describingTags[] = {
    0x010E, 0x010F, 0x0110, tagOrientation, tagXResolution, tagYResolution, tagResolutionUnit,
    0x0131, 0x0132, 0x013B, 0x8298};
// The text entries among them: image description, make, model, software, date and
// time, artist, copyright.
constexpr uint16_t describingTextTags[] = {0x010E, 0x010F, 0x0110, 0x0131, 0x0132, 0x013B, 0x8298};
constexpr uint16_t tagMakerNote = 0x927C;
// More than any EXIF block a camera writes once its maker's data is left out; a structure
// whose entries share values could otherwise copy the same bytes without end.
constexpr size_t maxLooseBytes = size_t{1} << 20;

struct LooseDirectory {
    struct Item {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<uint8_t> value;
    };
    struct Child;
    bool bigEndian = false;  // of the values
    std::vector<Item> items;
    std::vector<Child> children;
    bool empty() const { return items.empty() && children.empty(); }
};

struct LooseDirectory::Child {
    uint16_t tag;  // of the entry that points to it
    LooseDirectory directory;
};

// Copies entries of `dir` (those `keep` accepts) with their values. The maker's own data
// stays behind: its offsets would point at the wrong bytes once moved.
template <typename Keep>
bool takeOut(Block& block, const Directory& dir, Keep keep, LooseDirectory& out, size_t& budget) {
    out.bigEndian = block.bigEndian();
    for (const Entry& e : dir.entries) {
        if (!keep(e.tag) || e.tag == tagMakerNote || e.valueSize == 0) continue;
        if (e.tag == tagExifDirectory || e.tag == tagGpsDirectory || e.tag == tagInteropDirectory) {
            continue;  // followed below
        }
        if (e.valueSize > budget) return false;
        budget -= e.valueSize;
        const uint8_t* v = block.data() + e.valueAt;
        out.items.push_back({e.tag, e.type, e.count, std::vector<uint8_t>(v, v + e.valueSize)});
    }
    return true;
}

// The EXIF and GPS directories `ifd0` points to (the EXIF one with its interoperability
// directory), as children of `out`.
bool takeOutSubdirectories(Block& block, const Directory& ifd0, LooseDirectory& out,
                           size_t& budget) {
    auto all = [](uint16_t) { return true; };
    Directory exif, gps, interop;
    if (block.followPointer(ifd0, tagExifDirectory, exif)) {
        LooseDirectory loose;
        if (!takeOut(block, exif, all, loose, budget)) return false;
        if (block.followPointer(exif, tagInteropDirectory, interop)) {
            LooseDirectory looseInterop;
            if (!takeOut(block, interop, all, looseInterop, budget)) return false;
            if (!looseInterop.empty())
                loose.children.push_back({tagInteropDirectory, std::move(looseInterop)});
        }
        if (!loose.empty()) out.children.push_back({tagExifDirectory, std::move(loose)});
    }
    if (block.followPointer(ifd0, tagGpsDirectory, gps)) {
        LooseDirectory loose;
        if (!takeOut(block, gps, all, loose, budget)) return false;
        if (!loose.empty()) out.children.push_back({tagGpsDirectory, std::move(loose)});
    }
    return true;
}

// A value's bytes in the other byte order: each number of its type turned round.
void turnRound(LooseDirectory::Item& item) {
    size_t unit = typeSize(item.type);
    if (item.type == typeRational || item.type == typeSrational) unit = 4;
    if (unit <= 1) return;
    for (size_t at = 0; at + unit <= item.value.size(); at += unit) {
        std::reverse(item.value.begin() + static_cast<std::ptrdiff_t>(at),
                     item.value.begin() + static_cast<std::ptrdiff_t>(at + unit));
    }
}

// Appends `dir` to the structure (at an even offset), its values and child directories
// after it, in the structure's byte order. Returns the directory's offset.
size_t putDirectory(Block& block, const LooseDirectory& dir) {
    std::vector<uint8_t>& bytes = block.bytes();
    if (bytes.size() % 2 != 0) bytes.push_back(0);
    const size_t at = bytes.size();
    struct Slot {
        uint16_t tag;
        const LooseDirectory::Item* item;
        const LooseDirectory* child;
    };
    std::vector<Slot> slots;
    for (const auto& item : dir.items) slots.push_back({item.tag, &item, nullptr});
    for (const auto& child : dir.children) slots.push_back({child.tag, nullptr, &child.directory});
    std::sort(slots.begin(), slots.end(),
              [](const Slot& a, const Slot& b) { return a.tag < b.tag; });
    bytes.resize(at + 2 + slots.size() * entryBytes + 4, 0);
    block.put16(at, static_cast<uint16_t>(slots.size()));
    for (size_t i = 0; i < slots.size(); ++i) {
        const size_t entry = at + 2 + i * entryBytes;
        if (slots[i].child) {
            const size_t child = putDirectory(block, *slots[i].child);
            block.put16(entry, slots[i].tag);
            block.put16(entry + 2, typeLong);
            block.put32(entry + 4, 1);
            block.put32(entry + 8, static_cast<uint32_t>(child));
            continue;
        }
        LooseDirectory::Item item = *slots[i].item;
        if (dir.bigEndian != block.bigEndian()) turnRound(item);
        block.put16(entry, item.tag);
        block.put16(entry + 2, item.type);
        block.put32(entry + 4, item.count);
        if (item.value.size() <= inlineBytes) {
            std::copy(item.value.begin(), item.value.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(entry + 8));
        } else {
            if (bytes.size() % 2 != 0) bytes.push_back(0);
            block.put32(entry + 8, static_cast<uint32_t>(bytes.size()));
            bytes.insert(bytes.end(), item.value.begin(), item.value.end());
        }
    }
    return at;
}

}  // namespace

void skipExifPrefix(const uint8_t*& data, size_t& size) {
    if (data && size >= sizeof exifPrefix &&
        std::memcmp(data, exifPrefix, sizeof exifPrefix) == 0) {
        data += sizeof exifPrefix;
        size -= sizeof exifPrefix;
    }
}

std::vector<uint8_t> keepableExif(const uint8_t* data, size_t size, ExifFacts& facts) {
    facts = ExifFacts{};
    if (!data || size == 0) return {};
    std::vector<uint8_t> bytes(data, data + size);
    Block block(bytes);
    Directory ifd0;
    if (!block.readHeader() || !block.readDirectory(block.u32(4), ifd0)) return {};

    std::vector<Range> used{{0, headerBytes}};
    addRanges(ifd0, used);
    Directory exif, gps, interop;
    if (block.followPointer(ifd0, tagExifDirectory, exif)) {
        addRanges(exif, used);
        if (block.followPointer(exif, tagInteropDirectory, interop)) addRanges(interop, used);
        if (auto space = shortValue(block, exif, tagColourSpace);
            space && *space != colourSpaceSrgb) {
            block.put16(exif.find(tagColourSpace)->valueAt, colourSpaceSrgb);
        }
    }
    if (block.followPointer(ifd0, tagGpsDirectory, gps)) addRanges(gps, used);

    if (auto orientation = shortValue(block, ifd0, tagOrientation)) {
        if (*orientation >= 1 && *orientation <= 8) facts.orientation = *orientation;
        block.put16(ifd0.find(tagOrientation)->valueAt, 1);
    }
    readResolution(block, ifd0, facts);

    // The thumbnail: directory 1 and the picture it points to.
    const uint32_t next = block.nextDirectory(ifd0);
    if (next != 0) {
        block.put32(ifd0.end - 4, 0);
        Directory ifd1;
        std::vector<Range> thumbnail;
        if (block.readDirectory(next, ifd1)) {
            thumbnail.emplace_back(ifd1.at, ifd1.end);
            for (const Entry& e : ifd1.entries) {
                if (e.outOfLine()) thumbnail.emplace_back(e.valueAt, e.valueAt + e.valueSize);
            }
            thumbnailRanges(block, ifd1, thumbnail);
        }
        size_t usedEnd = 0;
        for (const Range& r : used) usedEnd = std::max(usedEnd, r.second);
        size_t thumbnailStart = bytes.size();
        for (const Range& r : thumbnail) thumbnailStart = std::min(thumbnailStart, r.first);
        if (!thumbnail.empty() && thumbnailStart >= usedEnd) {
            // Usually the thumbnail ends the block: cut it off.
            bytes.resize(thumbnailStart);
        } else {
            for (const Range& r : thumbnail) {
                if (!overlapsAny(r, used)) {
                    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(r.first),
                              bytes.begin() + static_cast<std::ptrdiff_t>(r.second), 0);
                }
            }
        }
    }
    return bytes;
}

std::vector<uint8_t> exifForImage(const std::vector<uint8_t>& exif, int width, int height,
                                  double xDpi, double yDpi) {
    const bool resolution = xDpi > 0 && yDpi > 0;
    std::vector<uint8_t> bytes = exif;
    Block block(bytes);
    Directory ifd0;
    if (bytes.empty() || !block.readHeader() || !block.readDirectory(block.u32(4), ifd0)) {
        if (!resolution) return {};
        // A little-endian header and an empty directory 0 for the resolution to go in.
        bytes = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        block.readHeader();
        block.readDirectory(headerBytes, ifd0);
    }
    Directory exifDir;
    if (block.followPointer(ifd0, tagExifDirectory, exifDir)) {
        setDimension(block, exifDir, tagPixelXDimension, static_cast<uint32_t>(width));
        setDimension(block, exifDir, tagPixelYDimension, static_cast<uint32_t>(height));
    }
    if (resolution) {
        setDirectory0Entries(block, ifd0,
                             {{tagXResolution, typeRational, 1, rationalBytes(block, xDpi)},
                              {tagYResolution, typeRational, 1, rationalBytes(block, yDpi)},
                              {tagResolutionUnit, typeShort, 1, shortBytes(block, unitInch)}});
    }
    return bytes;
}

void dpiToRational(double dpi, uint32_t& numerator, uint32_t& denominator) {
    constexpr double thousandths = 1000;
    constexpr double largest = 4e6;  // keeps dpi * 1000 inside 32 bits
    // Pixels per metre (PNG, BMP) hold no whole number of inches: 300 dpi reads back as
    // 299.9994. So near a whole number is that number.
    constexpr double wholeEnough = 0.005;
    dpi = std::clamp(dpi, 0.0, largest);
    if (std::abs(dpi - std::round(dpi)) < wholeEnough) dpi = std::round(dpi);
    const auto scaled = static_cast<uint64_t>(std::llround(dpi * thousandths));
    const uint64_t divisor = std::gcd(scaled, static_cast<uint64_t>(thousandths));
    numerator = static_cast<uint32_t>(scaled / divisor);
    denominator = static_cast<uint32_t>(static_cast<uint64_t>(thousandths) / divisor);
    if (numerator == 0) denominator = 1;
}

std::vector<uint8_t> exifFromTiffFile(const uint8_t* data, size_t size) {
    Block file(data, size);
    Directory ifd0;
    if (!data || !file.readHeader() || !file.readDirectory(file.u32(4), ifd0)) return {};
    LooseDirectory root;
    size_t budget = maxLooseBytes;
    auto describing = [](uint16_t tag) {
        return std::find(std::begin(describingTags), std::end(describingTags), tag) !=
               std::end(describingTags);
    };
    if (!takeOut(file, ifd0, describing, root, budget) ||
        !takeOutSubdirectories(file, ifd0, root, budget)) {
        return {};
    }
    // The orientation and resolution alone are the file's own fields: no block for them.
    const bool saysMore = !root.children.empty() ||
                          std::any_of(root.items.begin(), root.items.end(), [](const auto& item) {
                              return item.tag != tagOrientation && item.tag != tagXResolution &&
                                     item.tag != tagYResolution && item.tag != tagResolutionUnit;
                          });
    if (!saysMore) return {};
    // The file's own byte order, so the values go across unchanged.
    std::vector<uint8_t> bytes = file.bigEndian()
                                     ? std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 0}
                                     : std::vector<uint8_t>{'I', 'I', 42, 0, 0, 0, 0, 0};
    Block block(bytes);
    block.readHeader();
    block.put32(4, static_cast<uint32_t>(putDirectory(block, root)));
    return bytes;
}

std::vector<std::pair<uint16_t, std::string>> exifTextEntries(const std::vector<uint8_t>& exif) {
    std::vector<uint8_t> bytes = exif;
    Block block(bytes);
    Directory ifd0;
    std::vector<std::pair<uint16_t, std::string>> texts;
    if (!block.readHeader() || !block.readDirectory(block.u32(4), ifd0)) return texts;
    for (const Entry& e : ifd0.entries) {
        if (e.type != typeAscii || e.count == 0) continue;
        if (std::find(std::begin(describingTextTags), std::end(describingTextTags), e.tag) ==
            std::end(describingTextTags)) {
            continue;
        }
        const char* text = reinterpret_cast<const char*>(block.data() + e.valueAt);
        texts.emplace_back(e.tag, std::string(text, strnlen(text, e.valueSize)));
    }
    return texts;
}

void appendExifDirectories(std::vector<uint8_t>& file, const std::vector<uint8_t>& exif) {
    Block target(file);
    Directory fileIfd0;
    if (!target.readHeader() || !target.readDirectory(target.u32(4), fileIfd0)) return;
    std::vector<uint8_t> bytes = exif;
    Block source(bytes);
    Directory ifd0;
    if (!source.readHeader() || !source.readDirectory(source.u32(4), ifd0)) return;
    LooseDirectory holder;
    size_t budget = maxLooseBytes;
    if (!takeOutSubdirectories(source, ifd0, holder, budget)) return;
    for (const auto& child : holder.children) {
        const Entry* placeholder = fileIfd0.find(child.tag);
        if (!placeholder || placeholder->count != 1 ||
            (placeholder->type != typeLong && placeholder->type != typeIfd)) {
            continue;
        }
        const size_t entryValue = placeholder->valueAt;
        const size_t at = putDirectory(target, child.directory);
        target.put32(entryValue, static_cast<uint32_t>(at));
    }
}
