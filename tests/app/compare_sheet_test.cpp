// The Quantize window's comparison sheet: its figures are those pixova-batch --compare
// prints for the same picture, it fills in from a thread without holding up the window,
// a click chooses a style, and closing it (or the Quantize window) stops the work.

#include <QCoreApplication>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "app/view.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/compare_sheet_window.h"
#include "quantize/quantize.h"
#include "quantize/quantize_window.h"
#include "quantize/styles.h"
#include "support/app_fixture.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/image_store.h"

namespace {

// A picture with smooth parts and edges, so that the styles differ.
Image picture() {
    Image image(300, 200, 24);
    const Image noise = randomImage(300, 200, 5, 24);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const uint32_t n = noise.at(x, y);
            image.at(x, y) = rgba((x * 255 / 299 + redOf(n) / 8) & 255, y * 255 / 199,
                                  (x + y) % 64 < 32 ? 40 : 200 + blueOf(n) / 8, 255);
        }
    }
    return image;
}

struct BatchRow {
    long long colours = 0;
    std::string psnr, meanDeltaE;
    long long pngBytes = 0;
};

// pixova-batch --compare on `path`: the rows without dither, by style name.
std::map<std::string, BatchRow> batchCompare(const std::string& path) {
    std::map<std::string, BatchRow> rows;
    const std::string command = std::string(PIXOVA_BATCH_EXE) + " '" + path + "' --compare";
    FILE* out = popen(command.c_str(), "r");
    if (!out) return rows;
    char line[512];
    bool header = true;
    while (std::fgets(line, sizeof line, out)) {
        if (header) {
            header = false;
            continue;
        }
        std::istringstream in(line);
        std::string name, dither, bytes;
        BatchRow row;
        if (!(in >> name >> dither >> row.colours >> row.psnr >> row.meanDeltaE >> bytes)) {
            continue;
        }
        row.pngBytes = std::stoll(bytes);
        if (dither == "no") rows[name] = row;
    }
    pclose(out);
    return rows;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

class CompareSheetTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, picture());
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        command(commandQuantize);
    }

    static const QuantizeControls& c() { return quantizeControls; }

    static void openSheet() {
        postEvent(eventControl, quantizeWindow, c().compareButton, controlChange);
        drainEvents();
    }

    // Runs the program's loop until the sheet is complete (or a generous while).
    static void waitForSheet() {
        for (int i = 0; i < 4000 && !compareSheetComplete(); ++i) {
            QCoreApplication::processEvents();
            drainEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

TEST_F(CompareSheetTest, ItsFiguresAreThoseOfTheBatchComparison) {
    // The LIMITs --compare takes for 256 colours, remembered as the user would have set them.
    quantizeSettings.limitMemory[styleUniform] = 6;
    quantizeSettings.limitMemory[stylePopularity] = 256;
    quantizeSettings.limitMemory[styleAdaptive] = 256;
    quantizeSettings.limitMemory[styleBest] = 256;
    openSheet();
    ASSERT_TRUE(compareSheetOpen());
    // The click returns at once: the rows come from the thread, on the window's timer.
    EXPECT_TRUE(compareSheetRows().empty());
    waitForSheet();
    ASSERT_TRUE(compareSheetComplete());
    // The whole visible picture, 300 x 200 drawn into 180 x 120.
    const Image& source = compareSheetSource();
    ASSERT_EQ(source.width, 180);
    ASSERT_EQ(source.height, 120);

    const std::string dir = makeTempDir();
    ASSERT_EQ(writeImageFile(source, dir + "sheet.png", ImageFormat::Png), "");
    const std::map<std::string, BatchRow> batch = batchCompare(dir + "sheet.png");
    ASSERT_EQ(batch.size(), static_cast<size_t>(styleCount));
    const std::vector<StyleComparison> rows = compareSheetRows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(styleCount));
    for (const StyleComparison& row : rows) {
        const char* name = styleInfo(row.style).batchName;
        auto it = batch.find(name);
        ASSERT_NE(it, batch.end()) << name;
        EXPECT_FALSE(row.dither);
        EXPECT_EQ(row.colours, it->second.colours) << name;
        EXPECT_EQ(fixed(row.psnr, 2), it->second.psnr) << name;
        EXPECT_EQ(fixed(row.meanDeltaE, 3), it->second.meanDeltaE) << name;
        EXPECT_EQ(row.pngBytes, it->second.pngBytes) << name;
        // And the label says so.
        const std::string label = controlText(compareSheetLabel(row.style));
        EXPECT_NE(label.find(" colors, PSNR " + it->second.psnr + " dB\nmean dE " +
                             it->second.meanDeltaE + ", PNG " +
                             std::to_string(it->second.pngBytes) + " B"),
                  std::string::npos)
            << label;
        EXPECT_EQ(label.rfind(styleInfo(row.style).caption, 0), 0u) << label;
    }
    // The CGA palette has 16 colours: its row cannot claim more.
    EXPECT_LE(rows[styleCga].colours, 16);
}

TEST_F(CompareSheetTest, DitherAsSetAndAClickChoosesTheStyle) {
    setControlState(c().ditherBox, 1);
    postEvent(eventControl, quantizeWindow, c().ditherBox, controlChange);
    drainEvents();
    openSheet();
    waitForSheet();
    ASSERT_TRUE(compareSheetComplete());
    for (const StyleComparison& row : compareSheetRows()) EXPECT_TRUE(row.dither);
    // Each thumbnail shows its style's result: TruColor's has TruColor's colours only.
    const Image* truColor =
        findImage(controlRecord(compareSheetThumbnail(styleTruColor))->imageNumber);
    ASSERT_NE(truColor, nullptr);
    Image expected = compareSheetSource();
    runQuantizeStyle(expected, wholeImage(expected), styleTruColor, 0, true);
    EXPECT_EQ(firstDifference(*truColor, expected), "");

    postEvent(eventControl, compareSheetWindow, compareSheetThumbnail(styleTruColor),
              controlChange);
    drainEvents();
    EXPECT_EQ(controlState(c().styleList), styleTruColor);
    EXPECT_EQ(quantizeSettings.savedStyle, styleTruColor);
    EXPECT_EQ(controlText(c().limitSpin), "256");
    EXPECT_FALSE(controlEnabled(c().limitSpin));
}

TEST_F(CompareSheetTest, ClosingMidWayStopsTheWorkAndTheQuantizeWindowTakesItAlong) {
    openSheet();
    ASSERT_TRUE(compareSheetOpen());
    postEvent(eventCloseWindow, compareSheetWindow);
    drainEvents();
    EXPECT_FALSE(compareSheetOpen());
    EXPECT_TRUE(compareSheetRows().empty());
    EXPECT_EQ(compareSheetThumbnail(0), -1);
    // Nothing arrives afterwards, and the images the sheet held are gone.
    const int images = imageCount();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        drainEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(compareSheetRows().empty());
    EXPECT_EQ(imageCount(), images);

    // Opened again it fills in; closing the Quantize window closes it too.
    openSheet();
    waitForSheet();
    EXPECT_TRUE(compareSheetComplete());
    postEvent(eventCloseWindow, quantizeWindow);
    drainEvents();
    EXPECT_FALSE(compareSheetOpen());
    EXPECT_FALSE(toolWindowOpen(quantizeWindow));
    // Without the Quantize window there is no sheet to open.
    openCompareSheet();
    EXPECT_FALSE(compareSheetOpen());
}

}  // namespace
