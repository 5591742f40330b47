// Palette files: the bytes of each format, round trips through files, files written by
// hand, every kind of bad file, and mapping onto a palette read from a file.

#include "tools/palette_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "quantize/builtin_palettes.h"
#include "quantize/palette_map.h"
#include "quantize/quantize.h"
#include "quantize/styles.h"
#include "support/test_images.h"

namespace {

std::vector<uint32_t> randomColours(int n, uint32_t seed) {
    Image source = randomImage(n, 1, seed, 24);
    std::vector<uint32_t> colours;
    for (uint32_t p : source.pixels) colours.push_back(p & colourMask);
    return colours;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

class PaletteFilesTest : public ::testing::Test {
  protected:
    std::string dir = makeTempDir();
    std::string path(const std::string& name) const { return dir + "/" + name; }

    // The error of reading these bytes as a file of that name; "" when it read.
    std::string readError(const std::string& name, const std::string& bytes) {
        writeBytes(path(name), bytes);
        PaletteReadResult r = readPaletteFile(path(name));
        if (!r.ok()) {
            EXPECT_TRUE(r.colours.empty());
        }
        return r.error;
    }
};

TEST(PaletteFormats, FromTheExtensionInAnyCase) {
    EXPECT_EQ(paletteFormatFromPath("a/b.gpl"), PaletteFormat::Gpl);
    EXPECT_EQ(paletteFormatFromPath("B.PAL"), PaletteFormat::JascPal);
    EXPECT_EQ(paletteFormatFromPath("x.Act"), PaletteFormat::Act);
    EXPECT_EQ(paletteFormatFromPath("x.png"), PaletteFormat::Unknown);
    EXPECT_EQ(paletteFormatFromPath("dir.gpl/x"), PaletteFormat::Unknown);
}

TEST(PaletteFormats, TheBytesOfEachFormat) {
    const std::vector<uint32_t> two{rgb(58, 127, 44), rgb(255, 0, 16)};
    EXPECT_EQ(encodePalette(two, PaletteFormat::Gpl),
              "GIMP Palette\n 58 127  44\t#3A7F2C\n255   0  16\t#FF0010\n");
    EXPECT_EQ(encodePalette(two, PaletteFormat::JascPal),
              "JASC-PAL\r\n0100\r\n2\r\n58 127 44\r\n255 0 16\r\n");
    std::string act = encodePalette(two, PaletteFormat::Act);
    ASSERT_EQ(act.size(), 772u);
    EXPECT_EQ(act.substr(0, 6), std::string("\x3A\x7F\x2C\xFF\x00\x10", 6));
    EXPECT_EQ(act.substr(6, 762), std::string(762, '\0'));
    EXPECT_EQ(act.substr(768), std::string("\x00\x02\xFF\xFF", 4));
    EXPECT_EQ(encodePalette(randomColours(256, 1), PaletteFormat::Act).size(), 768u);
    EXPECT_EQ(encodePalette({}, PaletteFormat::Gpl), "");
    EXPECT_EQ(encodePalette(randomColours(257, 1), PaletteFormat::JascPal), "");
}

TEST_F(PaletteFilesTest, EveryFormatRoundTripsThroughAFile) {
    for (const char* name : {"p.gpl", "p.pal", "p.act"}) {
        for (int n : {1, 16, 255, 256}) {
            std::vector<uint32_t> colours = randomColours(n, static_cast<uint32_t>(n));
            ASSERT_EQ(writePaletteFile(path(name), colours), "") << name;
            PaletteReadResult r = readPaletteFile(path(name));
            ASSERT_TRUE(r.ok()) << name << ": " << r.error;
            EXPECT_EQ(r.colours, colours) << name << " " << n;
        }
    }
}

TEST_F(PaletteFilesTest, HandWrittenFilesRead) {
    PaletteReadResult cga = readPaletteFile(testDataPath("palettes/cga16.gpl"));
    ASSERT_TRUE(cga.ok()) << cga.error;
    EXPECT_EQ(cga.colours, std::vector<uint32_t>(cgaPalette().begin(), cgaPalette().end()));
    PaletteReadResult four = readPaletteFile(testDataPath("palettes/four.pal"));
    ASSERT_TRUE(four.ok()) << four.error;
    EXPECT_EQ(four.colours, (std::vector<uint32_t>{rgb(0, 0, 0), rgb(255, 255, 255),
                                                   rgb(170, 85, 0), rgb(1, 2, 3)}));
    // Byte-order mark, old Mac line ends, blanks, comments and names with spaces.
    EXPECT_EQ(readError("m.gpl", "\xEF\xBB\xBFGIMP Palette\rName: x\r\r# c\r 1 2 3 a b\r"), "");
    EXPECT_EQ(readPaletteFile(path("m.gpl")).colours, std::vector<uint32_t>{rgb(1, 2, 3)});
    // Unix line ends and blank trailing lines in a JASC file.
    EXPECT_EQ(readError("u.pal", "JASC-PAL\n0100\n1\n4 5 6\n\n"), "");
}

TEST_F(PaletteFilesTest, BadFilesSayWhatIsWrongAndGiveNoColours) {
    PaletteReadResult missing = readPaletteFile(path("absent.gpl"));
    EXPECT_EQ(missing.error, "cannot be read: No such file or directory");
    EXPECT_EQ(readError("x.txt", "GIMP Palette\n1 2 3\n"),
              "unknown palette format: the name must end in .gpl, .pal or .act");

    EXPECT_EQ(readError("h.gpl", "GIMP palette\n1 2 3\n"),
              "not a GIMP palette: its first line must read \"GIMP Palette\"");
    EXPECT_EQ(readError("l.gpl", "GIMP Palette\n1 2 3\n12 34\n"),
              "line 3: expected red, green and blue values from 0 to 255, found \"12 34\"");
    EXPECT_EQ(readError("v.gpl", "GIMP Palette\n1 2 256\n"),
              "line 2: expected red, green and blue values from 0 to 255, found \"1 2 256\"");
    EXPECT_EQ(readError("s.gpl", "GIMP Palette\n12x 3 4\n"),
              "line 2: expected red, green and blue values from 0 to 255, found \"12x 3 4\"");
    EXPECT_EQ(readError("e.gpl", "GIMP Palette\nName: empty\n# none\n"), "it holds no colors");
    EXPECT_EQ(
        readError("big.gpl", encodePalette(randomColours(256, 2), PaletteFormat::Gpl) + "1 2 3\n"),
        "it holds more than 256 colors");

    EXPECT_EQ(readError("r.pal", "RIFF\x10\0\0\0PAL data"),
              "a RIFF palette, not a JASC one: only JASC .pal files are read");
    EXPECT_EQ(readError("c.pal", "JASC-PAL\r\n0100\r\nthree\r\n"),
              "line 3: expected the number of colors, found \"three\"");
    EXPECT_EQ(readError("z.pal", "JASC-PAL\r\n0100\r\n0\r\n"), "it holds no colors");
    // A count over the limit with the colours missing is a damaged file, not a long one.
    EXPECT_EQ(readError("n.pal", "JASC-PAL\r\n0100\r\n300\r\n"),
              "it announces 300 colors but holds none");
    EXPECT_EQ(readError("d.pal", "JASC-PAL\r\n0100\r\n300\r\n1 2 3\r\n4 5 6\r\n"),
              "it announces 300 colors but holds only 2");
    std::string longJasc = "JASC-PAL\r\n0100\r\n257\r\n";
    for (int i = 0; i < 257; ++i) longJasc += "1 2 3\r\n";
    EXPECT_EQ(readError("o.pal", longJasc), "it holds more than 256 colors");
    EXPECT_EQ(readError("f.pal", "JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n4 5 6\r\n"),
              "it announces 3 colors but holds only 2");
    EXPECT_EQ(readError("m.pal", "JASC-PAL\r\n0100\r\n1\r\n1 2 3\r\n4 5 6\r\n"),
              "line 5: more colors than the 1 announced on line 3");
    EXPECT_EQ(readError("a.pal", "JASC-PAL\r\n0100\r\n1\r\n1 2 3 4\r\n"),
              "line 4: expected red, green and blue values from 0 to 255, found \"1 2 3 4\"");

    EXPECT_EQ(readError("short.act", std::string(767, '\x01')),
              "a .act palette is 768 bytes (or 772 with a color count); this one is 767");
    EXPECT_EQ(readError("empty.act", ""),
              "a .act palette is 768 bytes (or 772 with a color count); this one is 0");
    std::string counted(772, '\0');
    EXPECT_EQ(readError("zero.act", counted), "it holds no colors");
    counted[768] = 1;
    counted[769] = 1;  // 257
    EXPECT_EQ(readError("over.act", counted), "it holds more than 256 colors");

    std::filesystem::create_directory(path("folder.gpl"));
    EXPECT_EQ(readPaletteFile(path("folder.gpl")).error, "not a file");
}

TEST_F(PaletteFilesTest, APaletteThatCannotBeWrittenLeavesTheFileAlone) {
    writeBytes(path("keep.gpl"), "GIMP Palette\n1 2 3\n");
    EXPECT_EQ(writePaletteFile(path("keep.gpl"), {}), "the palette holds no colors");
    EXPECT_EQ(writePaletteFile(path("keep.gpl"), randomColours(300, 3)),
              "the palette holds 300 colors; a palette file holds at most 256");
    EXPECT_EQ(readBytes(path("keep.gpl")), "GIMP Palette\n1 2 3\n");
    EXPECT_EQ(writePaletteFile(path("p.png"), randomColours(3, 3)),
              "unknown palette format: the name must end in .gpl, .pal or .act");
    EXPECT_FALSE(std::filesystem::exists(path("p.png")));
    EXPECT_NE(writePaletteFile(path("no/such/folder/p.gpl"), randomColours(3, 3)), "");
}

TEST(PaletteRemap, MappingOntoTheCgaFileEqualsTheCgaStyle) {
    PaletteReadResult cga = readPaletteFile(testDataPath("palettes/cga16.gpl"));
    ASSERT_TRUE(cga.ok()) << cga.error;
    const Image photo = randomImage(61, 37, 9, 24);
    for (bool dither : {false, true}) {
        for (Rect rect : {wholeImage(photo), Rect{5, 3, 40, 30}}) {
            Image byStyle = photo, byFile = photo;
            initQuantize();
            runQuantizeStyle(byStyle, rect, styleCga, 0, dither);
            applyPalette(byFile, rect, cga.colours, dither);
            EXPECT_EQ(firstDifference(byFile, byStyle), "") << dither;
        }
    }
}

}  // namespace
