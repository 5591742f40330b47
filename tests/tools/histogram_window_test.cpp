// The histogram window on a running main window: the toggles from the menu and the tool
// bar, the close box, the check boxes, and the source it follows (document, selection,
// edits).

#include "tools/histogram_window.h"

#include "app/main_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class HistogramWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        // Left half black, right half white.
        Image image(6, 4, 24, opaqueBlack);
        for (int y = 0; y < 4; ++y) {
            for (int x = 3; x < 6; ++x) image.write(x, y, rgb(255, 255, 255));
        }
        show(std::move(image));
    }
    static void show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        drainEvents();
    }
    static void toggleCheckBox(int control) {
        setControlState(control, controlState(control) ? 0 : 1);
        controlEvent(histogramWindow, control);
    }
    static std::string title() { return windowTitle(histogramWindow); }
};

TEST_F(HistogramWindowTest, TheMenuOpensItOverTheCanvasWithEveryBoxChecked) {
    command(commandHistogramMenu);
    ASSERT_TRUE(isWindow(histogramWindow));
    EXPECT_EQ(histogramShown, 1);
    EXPECT_TRUE(menuItemChecked(mainMenuBar, commandHistogramMenu));
    EXPECT_TRUE(toolBarButtonState(mainToolBar, commandHistogramToggle));
    EXPECT_EQ(title(), "Histogram | RGB Average = (127, 127, 127)");
    EXPECT_EQ(windowWidth(histogramWindow), 350);
    EXPECT_EQ(windowHeight(histogramWindow), 178);
    const HistogramControls& c = histogramControls;
    for (int box : {c.red, c.green, c.blue, c.excludeExtremes, c.averageLines}) {
        EXPECT_EQ(controlState(box), 1);
    }
    EXPECT_EQ(controlText(c.excludeExtremes), "ExEx");
    EXPECT_EQ(controlX(c.averageLines), 280);
    EXPECT_EQ(controlY(c.averageLines), 135);
    EXPECT_EQ(controlText(c.ratioLabel), "RGB Ratio = (0.333, 0.333, 0.333)");
    EXPECT_EQ(windowX(histogramWindow), controlScreenX(canvas) + 2);
    EXPECT_EQ(windowY(histogramWindow), controlScreenY(canvas) + 2);
    // Black and white only, ExEx checked: the graph is the base line and the average line.
    const Image& graph = *findImage(histogramImage);
    EXPECT_EQ(graph.at(40, 127) & colourMask, 0xFFFFFFu);
    EXPECT_EQ(graph.at(40, 126) & colourMask, 0u);
    EXPECT_EQ(graph.at(127, 0) & colourMask, 0xFF0000u);
}

TEST_F(HistogramWindowTest, MenuAndToolBarShareOneFlag) {
    command(commandHistogramMenu);
    command(commandHistogramToggle);
    EXPECT_FALSE(isWindow(histogramWindow));
    EXPECT_EQ(histogramShown, 0);
    EXPECT_FALSE(menuItemChecked(mainMenuBar, commandHistogramMenu));
    EXPECT_FALSE(toolBarButtonState(mainToolBar, commandHistogramToggle));
    EXPECT_FALSE(imageExists(histogramImage));
    command(commandHistogramToggle);
    EXPECT_TRUE(isWindow(histogramWindow));
    EXPECT_TRUE(menuItemChecked(mainMenuBar, commandHistogramMenu));
}

TEST_F(HistogramWindowTest, TheCloseBoxClearsTheFlag) {
    command(commandHistogramToggle);
    postEvent(eventCloseWindow, histogramWindow);
    drainEvents();
    EXPECT_FALSE(isWindow(histogramWindow));
    EXPECT_EQ(histogramShown, 0);
    EXPECT_FALSE(toolBarButtonState(mainToolBar, commandHistogramToggle));
    EXPECT_FALSE(menuItemChecked(mainMenuBar, commandHistogramMenu));
    command(commandHistogramMenu);  // opens again at once
    EXPECT_TRUE(isWindow(histogramWindow));
}

TEST_F(HistogramWindowTest, CheckBoxesRedrawFromTheCurrentSource) {
    command(commandHistogramMenu);
    toggleCheckBox(histogramControls.green);
    EXPECT_EQ(title(), "Histogram | RGB Average = (127, 0, 127)");
    EXPECT_EQ(controlText(histogramControls.ratioLabel), "RGB Ratio = (0.500, 0.000, 0.500)");
    toggleCheckBox(histogramControls.red);
    toggleCheckBox(histogramControls.blue);
    EXPECT_EQ(controlText(histogramControls.ratioLabel), "RGB Ratio = (0.000, 0.000, 0.000)");
    for (uint32_t p : findImage(histogramImage)->pixels) ASSERT_EQ(p & colourMask, 0u);
    // Reopening checks every box again.
    command(commandHistogramMenu);
    command(commandHistogramMenu);
    EXPECT_EQ(title(), "Histogram | RGB Average = (127, 127, 127)");
}

TEST_F(HistogramWindowTest, ItFollowsTheSelectionAndTheEdits) {
    command(commandHistogramMenu);
    selectImageRect(Rect{3, 0, 5, 3});
    postEvent(selectionDoneEvent, mainWindow);
    drainEvents();
    EXPECT_EQ(title(), "Histogram | RGB Average = (255, 255, 255)");
    command(commandNegative);  // only the selection turns black
    EXPECT_EQ(title(), "Histogram | RGB Average = (0, 0, 0)");
    command(commandMover);  // drops the selection: the whole, now black, image
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(title(), "Histogram | RGB Average = (0, 0, 0)");
    command(commandNegative);
    EXPECT_EQ(title(), "Histogram | RGB Average = (255, 255, 255)");
}

TEST_F(HistogramWindowTest, AQuantizePreviewIsShownWhileItsWindowIsOpen) {
    command(commandHistogramMenu);
    command(commandPaletteMenu);
    storeImage(toolImage, Image(2, 2, 24, rgb(10, 20, 30)));
    setToolWindowOpen(quantizeWindow, true);
    quantizePreviewEntry = currentEntryId();  // a preview of the document as it stands
    services().refreshAnalysis();
    EXPECT_EQ(title(), "Histogram | RGB Average = (10, 20, 30)");
    EXPECT_EQ(windowTitle(paletteWindow), " Palette = 1");
    setToolWindowOpen(quantizeWindow, false);
    services().refreshAnalysis();
    EXPECT_EQ(title(), "Histogram | RGB Average = (127, 127, 127)");
    EXPECT_EQ(windowTitle(paletteWindow), " Palette = 2");
}

TEST_F(HistogramWindowTest, AMissingImageKeepsTheDrawing) {
    command(commandHistogramMenu);
    EXPECT_EQ(showHistogram(99), 0);
    EXPECT_EQ(title(), "Histogram | RGB Average = (127, 127, 127)");
    EXPECT_EQ(showHistogram(-1), 1);
    EXPECT_FALSE(isWindow(histogramWindow));
}

}  // namespace
