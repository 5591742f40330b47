#include "quantize/palettes.h"

#include "quantize/colour_set.h"

thread_local std::vector<uint32_t> extractedPalette{0};
thread_local std::vector<uint32_t> currentPalette{0};

void resetPalettes() {
    extractedPalette.assign(1, 0);
    currentPalette.assign(1, 0);
}

int64_t countUniqueColours(const Image& image) {
    if (image.empty()) return 0;
    return countDistinctColours(image.height, image.width, [&](int y0, int y1, ColourBitSet& seen) {
        const uint32_t* p = image.row(y0);
        const uint32_t* end = image.row(y1);
        for (; p != end; ++p) seen.insert(*p & colourMask);
    });
}

int64_t countUniqueColours(const Image& image, const Rect& rect) {
    const Rect r = clipToImage(rect, image);
    if (r.empty()) return 0;
    if (coversWholeImage(r, image)) return countUniqueColours(image);
    return countDistinctColours(r.height(), r.width(), [&](int y0, int y1, ColourBitSet& seen) {
        for (int y = r.top + y0; y < r.top + y1; ++y) {
            const uint32_t* row = image.row(y);
            for (int x = r.left; x <= r.right; ++x) seen.insert(row[x] & colourMask);
        }
    });
}

std::vector<uint32_t> distinctColours(const Image& image, size_t limit) {
    std::vector<uint32_t> colours;
    if (limit == 0) return colours;
    ColourBitSet seen;
    for (uint32_t p : image.pixels) {
        // The size test comes before each insertion, as the palette tool relies on.
        if (colours.size() > limit - 1) break;
        uint32_t v = p & colourMask;
        if (seen.insert(v)) colours.push_back(v);
    }
    return colours;
}

void extractPalette(const Image& source, bool selectionActive) {
    extractedPalette = distinctColours(source);
    if (!selectionActive) currentPalette = extractedPalette;
}
