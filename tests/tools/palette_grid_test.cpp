// The palette tool's grid, texture, titles and tooltips, and the colour replacement behind
// a cell edit.

#include "tools/palette_grid.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

namespace {

std::vector<uint32_t> numberedColours(int n) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < n; ++i) colours.push_back(rgb(i % 256, i / 256, 7));
    return colours;
}

Image backdrop() {
    Image image(paletteViewWidth, paletteViewHeight, 24, opaqueBlack);
    drawPaletteBackdrop(image);
    return image;
}

uint32_t at(const Image& image, int x, int y) {
    return image.at(x, y) & colourMask;
}

TEST(PaletteGrid, ColumnsAndCellSizes) {
    struct Case {
        int n, shown, columns, cell;
    };
    for (Case c : {Case{1, 1, 1, 176}, Case{2, 2, 1, 176}, Case{3, 3, 2, 88}, Case{8, 8, 2, 88},
                   Case{9, 9, 3, 58}, Case{16, 16, 3, 58}, Case{18, 18, 3, 58}, Case{19, 19, 4, 44},
                   Case{512, 512, 16, 11}, Case{513, 512, 16, 11}, Case{0, 0, 0, 0}}) {
        PaletteGrid g = paletteGridFor(c.n);
        EXPECT_EQ(g.shown, c.shown) << c.n;
        EXPECT_EQ(g.columns, c.columns) << c.n;
        EXPECT_EQ(g.cell, c.cell) << c.n;
    }
}

TEST(PaletteGrid, Titles) {
    EXPECT_EQ(paletteTitle(16), " Palette = 16");
    EXPECT_EQ(paletteTitle(512), " Palette = 512");
    EXPECT_EQ(paletteTitle(513), "Palette > 512");
}

TEST(PaletteGrid, TheTextureIsLightGraysFromXorOfTheCoordinates) {
    Image b = backdrop();
    EXPECT_EQ(at(b, 0, 0), 0xC0C0C0u);
    EXPECT_EQ(at(b, 1, 2), 0xC3C3C3u);  // 1 xor 2 = 3
    // 175 xor 351 = 496: the components overlap and the byte above blue is lost.
    EXPECT_EQ(at(b, 175, 351), 0xF1F1F0u);
    for (uint32_t p : b.pixels) {
        ASSERT_GE(redOf(p), 192);
        ASSERT_GE(greenOf(p), 192);
        ASSERT_GE(blueOf(p), 192);
    }
}

TEST(PaletteGrid, SixteenColoursFillFiveRowsAndOneCell) {
    std::vector<uint32_t> colours = numberedColours(16);
    Image b = backdrop();
    Image picture = drawPaletteGrid(b, colours);
    for (int i = 0; i < 16; ++i) {
        int x = 58 * (i % 3), y = 58 * (i / 3);
        EXPECT_EQ(at(picture, x, y), colours[i]) << i;
        EXPECT_EQ(at(picture, x + 57, y + 57), colours[i]) << i;
    }
    EXPECT_EQ(at(picture, 174, 0), at(b, 174, 0));    // right of the third column
    EXPECT_EQ(at(picture, 58, 290), at(b, 58, 290));  // beside the last cell
    EXPECT_EQ(at(picture, 0, 348), at(b, 0, 348));    // below the rows
    EXPECT_EQ(at(picture, 175, 351), at(b, 175, 351));
}

TEST(PaletteGrid, OneAndTwoColoursTakeTheWholeWidth) {
    Image b = backdrop();
    Image one = drawPaletteGrid(b, std::vector<uint32_t>{rgb(9, 8, 7)});
    EXPECT_EQ(at(one, 175, 175), rgb(9, 8, 7));
    EXPECT_EQ(at(one, 0, 176), at(b, 0, 176));
    Image two = drawPaletteGrid(b, std::vector<uint32_t>{rgb(1, 1, 1), rgb(2, 2, 2)});
    EXPECT_EQ(at(two, 175, 175), rgb(1, 1, 1));
    EXPECT_EQ(at(two, 0, 176), rgb(2, 2, 2));
    EXPECT_EQ(at(two, 175, 351), rgb(2, 2, 2));
}

TEST(PaletteGrid, MoreThan512ColoursShowTheFirst512FillingThePicture) {
    std::vector<uint32_t> colours = numberedColours(513);
    Image picture = drawPaletteGrid(backdrop(), colours);
    EXPECT_EQ(at(picture, 0, 0), colours[0]);
    EXPECT_EQ(at(picture, 175, 351), colours[511]);  // the 16 x 32 grid ends at the corner
    EXPECT_EQ(at(picture, 11 * 3, 11 * 2), colours[2 * 16 + 3]);
    for (int y = 0; y < paletteViewHeight; ++y) {
        for (int x = 0; x < paletteViewWidth; ++x) {
            ASSERT_NE(at(picture, x, y), colours[512]);
        }
    }
}

TEST(PaletteGrid, CellsUnderThePointer) {
    PaletteGrid g = paletteGridFor(16);
    EXPECT_EQ(paletteCellAt(g, 0, 0), 0);
    EXPECT_EQ(paletteCellAt(g, 57, 57), 0);
    EXPECT_EQ(paletteCellAt(g, 58, 0), 1);
    EXPECT_EQ(paletteCellAt(g, 0, 290), 15);
    EXPECT_EQ(paletteCellAt(g, 60, 290), -1);  // the 17th would be there
    EXPECT_EQ(paletteCellAt(g, 174, 10), -1);  // right of the grid
    EXPECT_EQ(paletteCellAt(g, 0, 348), -1);
    EXPECT_EQ(paletteCellAt(paletteGridFor(0), 0, 0), -1);
}

TEST(PaletteGrid, ToolTipsGiveColourCountAndShare) {
    EXPECT_EQ(paletteCellToolTip(rgb(0x3A, 0x7F, 0x2C), 12408, 1378666),
              "#3A7F2C: 12,408 px (0.9 %)");
    EXPECT_EQ(paletteCellToolTip(rgb(255, 0, 16), 5, 5), "#FF0010: 5 px (100.0 %)");
    EXPECT_EQ(paletteCellToolTip(0, 1234567, 2469134), "#000000: 1,234,567 px (50.0 %)");
    EXPECT_EQ(paletteCellToolTip(0, 0, 0), "#000000: 0 px (0.0 %)");
}

TEST(PaletteGrid, ReplacingAColourKeepsAlphaAndCountsThePixels) {
    Image image = imageFromRows(3, 1, {rgba(1, 2, 3, 10), rgba(1, 2, 3, 200), rgb(4, 5, 6)});
    EXPECT_EQ(countColour(image, rgb(1, 2, 3)), 2);
    EXPECT_EQ(replaceColour(image, rgb(1, 2, 3), rgb(9, 9, 9)), 2);
    EXPECT_EQ(image.at(0, 0), rgba(9, 9, 9, 10));
    EXPECT_EQ(image.at(1, 0), rgba(9, 9, 9, 200));
    EXPECT_EQ(image.at(2, 0), rgb(4, 5, 6));
    EXPECT_EQ(countColour(image, rgb(1, 2, 3)), 0);
}

TEST(PaletteGrid, AMarkedEditIsTakenBackExactly) {
    // 70 pixels, so the marks run into a second word; alpha varies.
    Image image = randomImage(7, 10, 3, 32);
    for (int i = 0; i < 70; i += 3) image.pixels[i] = (image.pixels[i] & alphaMask) | 0x123456;
    for (int i = 1; i < 70; i += 7) image.pixels[i] = (image.pixels[i] & alphaMask) | 0x654321;
    const Image before = image;
    ColourEdit edit = replaceColourMarked(image, 0x123456, 0x654321);
    for (int i = 0; i < 70; ++i) {
        uint32_t expected = before.pixels[i];
        if ((expected & colourMask) == 0x123456) expected = (expected & alphaMask) | 0x654321;
        ASSERT_EQ(image.pixels[i], expected) << i;
    }
    ASSERT_EQ(edit.changed.size(), 2u);
    EXPECT_EQ(edit.changed[1] >> 6, 0u);  // only 70 - 64 pixels in the second word
    // The pixels that had the new colour before keep it.
    undoColourEdit(image, edit);
    EXPECT_EQ(firstDifference(image, before), "");
}

TEST(PaletteGrid, OnlyTheFirstMatchingEntryIsReplaced) {
    std::vector<uint32_t> palette{5, 7, 5};
    EXPECT_TRUE(replaceFirstEntry(palette, 5, 9));
    EXPECT_EQ(palette, (std::vector<uint32_t>{9, 7, 5}));
    EXPECT_FALSE(replaceFirstEntry(palette, 8, 1));
    EXPECT_EQ(palette, (std::vector<uint32_t>{9, 7, 5}));
}

}  // namespace
