#include "toolkit/codecs/codec_util.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

std::string imageSizeError(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) {
        return "invalid image size " + std::to_string(width) + " x " + std::to_string(height);
    }
    if (!imageSizeAllowed(width, height)) {
        return "image size " + std::to_string(width) + " x " + std::to_string(height) +
               " is over the limit of " + std::to_string(maxImagePixels) + " pixels";
    }
    return {};
}

std::string encoderInputError(const Image& image) {
    if (image.depth != 24 && image.depth != 32) {
        return "unsupported image depth " + std::to_string(image.depth);
    }
    std::string sizeError = imageSizeError(image.width, image.height);
    if (!sizeError.empty()) return sizeError;
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
        return "image pixel count does not match its size";
    }
    return {};
}

double dpiFromPixelsPerMetre(uint32_t pixelsPerMetre) {
    const double dpi = pixelsPerMetre * metresPerInch;
    const double whole = std::round(dpi);
    if (whole >= 1 && pixelsPerMetreFromDpi(whole) == pixelsPerMetre) return whole;
    return dpi;
}

uint32_t pixelsPerMetreFromDpi(double dpi) {
    constexpr double largest = 4294967295.0;
    return static_cast<uint32_t>(std::clamp(std::round(dpi / metresPerInch), 1.0, largest));
}

LargeBytes allocateLarge(size_t size) {
    constexpr size_t hugePageBytes = size_t{2} << 20;
    if (size < hugePageBytes)
        return LargeBytes(static_cast<uint8_t*>(std::malloc(size ? size : 1)));
    if (size > SIZE_MAX - hugePageBytes) return nullptr;
    const size_t rounded = (size + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
    void* p = std::aligned_alloc(hugePageBytes, rounded);
    // Only advice: without huge pages the buffer works the same.
    if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
    return LargeBytes(static_cast<uint8_t*>(p));
}

bool sinkWrite(ByteSink* sink, const void* bytes, size_t count) {
    if (sink->failed) return false;
    if (count > SIZE_MAX - sink->position) {
        sink->failed = true;
        return false;
    }
    size_t end = sink->position + count;
    if (end > sink->capacity) {
        size_t capacity = std::max<size_t>(sink->capacity * 2, 64 * 1024);
        if (capacity < end) capacity = end;
        void* grown = std::realloc(sink->data, capacity);
        if (!grown) {
            sink->failed = true;
            return false;
        }
        sink->data = static_cast<uint8_t*>(grown);
        sink->capacity = capacity;
    }
    if (sink->position > sink->size) {
        // A seek past the end leaves a gap: fill it with zeros rather than garbage.
        std::memset(sink->data + sink->size, 0, sink->position - sink->size);
    }
    if (count > 0) std::memcpy(sink->data + sink->position, bytes, count);
    sink->position = end;
    sink->size = std::max(sink->size, end);
    return true;
}

namespace {

// Open addressing over 1024 slots keeps the table at most a quarter full.
constexpr int paletteHashBits = 10;
constexpr uint32_t paletteHashMultiplier = 2654435761u;
constexpr uint64_t paletteSlotUsed = uint64_t{1} << 40;

inline size_t paletteSlot(uint32_t value) {
    return (value * paletteHashMultiplier) >> (32 - paletteHashBits);
}

}  // namespace

bool findImagePalette(const Image& image, ImagePalette& palette) {
    palette.colours.clear();
    palette.translucent = 0;
    std::vector<uint64_t> slots(size_t{1} << paletteHashBits, 0);
    const size_t mask = slots.size() - 1;
    bool haveLast = false;
    uint32_t last = 0;
    for (uint32_t pixel : image.pixels) {
        const uint32_t value = storedValue(image, pixel);
        if (haveLast && value == last) continue;
        haveLast = true;
        last = value;
        for (size_t s = paletteSlot(value);; s = (s + 1) & mask) {
            if (slots[s] == 0) {
                if (palette.colours.size() == ImagePalette::maxColours) {
                    palette.colours.clear();
                    return false;
                }
                slots[s] = paletteSlotUsed | value;
                palette.colours.push_back(value);
                break;
            }
            if (static_cast<uint32_t>(slots[s]) == value) break;
        }
    }
    std::sort(palette.colours.begin(), palette.colours.end(), [](uint32_t a, uint32_t b) {
        const bool aOpaque = alphaOf(a) == 255, bOpaque = alphaOf(b) == 255;
        return aOpaque != bOpaque ? bOpaque : a < b;
    });
    palette.translucent =
        static_cast<size_t>(std::count_if(palette.colours.begin(), palette.colours.end(),
                                          [](uint32_t c) { return alphaOf(c) != 255; }));
    return true;
}

OpaquePaletteChoice chooseOpaquePalette(const Image& image) {
    OpaquePaletteChoice choice;
    choice.alpha = image.depth == 32;
    choice.indexed = !choice.alpha && findImagePalette(image, choice.palette);
    return choice;
}

PaletteIndex::PaletteIndex(const ImagePalette& palette) : slots_(size_t{1} << paletteHashBits, 0) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = 0; i < palette.colours.size(); ++i) {
        const uint32_t value = palette.colours[i];
        size_t s = paletteSlot(value);
        while (slots_[s] != 0) s = (s + 1) & mask;
        slots_[s] = (paletteSlotUsed | value) << 8 | i;
    }
    lastValue_ = palette.colours.empty() ? 0 : palette.colours[0];
    lastIndex_ = 0;
}

uint8_t PaletteIndex::lookUp(uint32_t value) const {
    const size_t mask = slots_.size() - 1;
    for (size_t s = paletteSlot(value);; s = (s + 1) & mask) {
        const uint64_t slot = slots_[s];
        if (slot == 0) return 0;
        if (static_cast<uint32_t>(slot >> 8) == value) return static_cast<uint8_t>(slot);
    }
}
