// The palette tool on a running main window: toggles and close box, titles and grids, the
// colour edit with its Yes and No, tooltips, and export and import through the right-click
// menu.

#include "tools/palette_window.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/main_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/registry.h"
#include "core/undo.h"
#include "quantize/builtin_palettes.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"
#include "tools/palette_grid.h"

namespace {

// n distinct colours, one per pixel, in a row.
Image stripOf(int n) {
    Image image(n, 1, 24, opaqueBlack);
    for (int i = 0; i < n; ++i) image.write(i, 0, rgb(i % 256, i / 256, 50));
    return image;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PaletteWindowTest : public AppTest {
  protected:
    static void show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }
    static void onPicture(int type, int x, int y) {
        controlEvent(paletteWindow, paletteImageControl, type, x, y);
    }
    static void clickAt(int x, int y) { onPicture(controlLeftButtonUp, x, y); }
    static void menu(int item) {
        postEvent(eventMenu, paletteWindow, item);
        drainEvents();
    }
    static uint32_t pictureAt(int x, int y) {
        return findImage(paletteImage)->at(x, y) & colourMask;
    }
    static std::string title() { return windowTitle(paletteWindow); }
    std::string dir = makeTempDir();
};

TEST_F(PaletteWindowTest, SixteenColoursGiveTheirTitleAndGrid) {
    show(stripOf(16));
    command(commandPaletteMenu);
    ASSERT_TRUE(isWindow(paletteWindow));
    EXPECT_EQ(paletteShown, 1);
    EXPECT_TRUE(menuItemChecked(mainMenuBar, commandPaletteMenu));
    EXPECT_TRUE(toolBarButtonState(mainToolBar, commandPaletteToggle));
    EXPECT_EQ(title(), " Palette = 16");
    EXPECT_EQ(windowWidth(paletteWindow), 176);
    EXPECT_EQ(windowHeight(paletteWindow), 352);
    EXPECT_EQ(windowY(paletteWindow), controlScreenY(canvas) + 205);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(pictureAt(58 * (i % 3) + 30, 58 * (i / 3) + 30), rgb(i, 0, 50)) << i;
    }
    EXPECT_EQ(pictureAt(100, 300), 0xC9C9C8u);  // the texture: 100 xor 300 = 0x148
    EXPECT_EQ(currentPalette.size(), 16u);
}

TEST_F(PaletteWindowTest, OneTwoAndMoreThan512Colours) {
    show(stripOf(1));
    command(commandPaletteToggle);
    EXPECT_EQ(title(), " Palette = 1");
    EXPECT_EQ(pictureAt(175, 175), rgb(0, 0, 50));
    show(stripOf(2));
    EXPECT_EQ(title(), " Palette = 2");
    EXPECT_EQ(pictureAt(175, 175), rgb(0, 0, 50));
    EXPECT_EQ(pictureAt(0, 176), rgb(1, 0, 50));
    show(stripOf(700));
    EXPECT_EQ(title(), "Palette > 512");
    EXPECT_EQ(extractedPalette.size(), 513u);
    EXPECT_EQ(pictureAt(175, 351), rgb(511 % 256, 1, 50));
}

TEST_F(PaletteWindowTest, TheCloseBoxAndTheToggleCloseIt) {
    show(stripOf(4));
    command(commandPaletteToggle);
    postEvent(eventCloseWindow, paletteWindow);
    drainEvents();
    EXPECT_FALSE(isWindow(paletteWindow));
    EXPECT_EQ(paletteShown, 0);
    EXPECT_FALSE(toolBarButtonState(mainToolBar, commandPaletteToggle));
    EXPECT_FALSE(menuItemChecked(mainMenuBar, commandPaletteMenu));
    EXPECT_FALSE(imageExists(paletteImage));
    EXPECT_FALSE(imageExists(paletteBackdrop));
    command(commandPaletteMenu);
    EXPECT_TRUE(isWindow(paletteWindow));
    command(commandPaletteToggle);  // the menu opened it, the tool bar closes it
    EXPECT_FALSE(isWindow(paletteWindow));
    EXPECT_EQ(paletteShown, 0);
}

TEST_F(PaletteWindowTest, AnsweringNoRestoresTheImageExactly) {
    Image image = stripOf(4);
    image.write(3, 0, rgb(9, 9, 9));  // already the colour the user will pick
    image.at(0, 0) = rgba(0, 0, 50, 77);
    show(image);
    command(commandPaletteMenu);
    scripted.colourAnswers = {rgb(9, 9, 9)};
    scripted.messageAnswers = {answerNo};
    clickAt(10, 10);  // cell 0
    ASSERT_EQ(scripted.colourRequests.size(), 1u);
    EXPECT_EQ(scripted.colourRequests[0], rgb(0, 0, 50));
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "");
    EXPECT_EQ(scripted.messages[0].text, "Do you wish to keep this color?");
    EXPECT_EQ(scripted.messages[0].buttons, buttonsYesNo);
    EXPECT_EQ(*findImage(viewImage), image);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(imageExists(workImage));
}

TEST_F(PaletteWindowTest, YesRecoloursTheWholeImageAndRecordsAStep) {
    Image image(4, 2, 24, rgb(10, 20, 30));
    image.write(1, 0, rgb(200, 0, 0));
    show(image);
    command(commandPaletteMenu);
    // With a selection the grid lists its colours only, and currentPalette stays.
    selectImageRect(Rect{2, 0, 3, 1});
    currentPalette = {rgb(1, 1, 1), rgb(10, 20, 30), rgb(10, 20, 30)};
    postEvent(selectionDoneEvent, mainWindow);
    drainEvents();
    EXPECT_EQ(title(), " Palette = 1");
    scripted.colourAnswers = {rgb(0, 99, 0)};
    scripted.messageAnswers = {answerYes};
    clickAt(100, 100);
    Image expected(4, 2, 24, rgb(0, 99, 0));
    expected.write(1, 0, rgb(200, 0, 0));
    EXPECT_EQ(*findImage(viewImage), expected);  // outside the selection too
    EXPECT_EQ(currentPalette,
              (std::vector<uint32_t>{rgb(1, 1, 1), rgb(0, 99, 0), rgb(10, 20, 30)}));
    // The grid still lists the selection's colours, as they are now.
    EXPECT_EQ(title(), " Palette = 1");
    EXPECT_EQ(pictureAt(0, 0), rgb(0, 99, 0));
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(imageExists(workImage));
}

TEST_F(PaletteWindowTest, TheTextureOffersItsLightGrayAndClicksWaitForToolWindows) {
    show(stripOf(16));
    command(commandPaletteMenu);
    scripted.messageAnswers = {answerYes};
    scripted.colourAnswers = {rgb(1, 2, 3)};
    clickAt(175, 0);  // right of the three columns
    ASSERT_EQ(scripted.colourRequests.size(), 1u);
    EXPECT_EQ(scripted.colourRequests[0], 0xEFEFEFu);  // 175 xor 0 = 0xAF, lightened
    EXPECT_EQ(undoEntryCount(), 2u);                   // kept, although nothing changed
    // Double clicks, presses and any click while a tool window is open do nothing.
    onPicture(controlDoubleClick, 10, 10);
    onPicture(controlChange, 10, 10);
    setToolWindowOpen(brightnessWindow, true);
    clickAt(10, 10);
    setToolWindowOpen(brightnessWindow, false);
    EXPECT_EQ(scripted.colourRequests.size(), 1u);
    // A cancelled picker ends the edit.
    clickAt(10, 10);
    EXPECT_EQ(scripted.colourRequests.size(), 2u);
    EXPECT_EQ(scripted.messages.size(), 1u);
}

TEST_F(PaletteWindowTest, CellToolTipsGiveColourCountAndShare) {
    Image image(10, 10, 24, rgb(0x3A, 0x7F, 0x2C));
    image.write(0, 0, rgb(255, 255, 255));
    show(image);
    command(commandPaletteMenu);
    QWidget* picture = controlRecord(paletteImageControl)->widget;
    onPicture(controlMouseMove, 5, 5);
    EXPECT_EQ(picture->toolTip().toStdString(), "#FFFFFF: 1 px (1.0 %)");
    onPicture(controlMouseMove, 5, 200);
    EXPECT_EQ(picture->toolTip().toStdString(), "#3A7F2C: 99 px (99.0 %)");
    onPicture(controlMouseMove, 5, 351);  // n = 2: the cells fill the picture
    EXPECT_EQ(picture->toolTip().toStdString(), "#3A7F2C: 99 px (99.0 %)");
    show(stripOf(3));
    onPicture(controlMouseMove, 100, 100);  // the texture beside the third cell
    EXPECT_EQ(picture->toolTip().toStdString(), "");
}

TEST_F(PaletteWindowTest, ExportWritesTheShownPalette) {
    show(stripOf(3));
    command(commandPaletteMenu);
    scripted.fileAnswers = {{dir + "/mine", 0}};
    menu(paletteExportItem);
    ASSERT_EQ(scripted.saveRequests.size(), 1u);
    EXPECT_EQ(scripted.saveRequests[0].filters, paletteFileFilters);
    EXPECT_EQ(readText(dir + "/mine.gpl"),
              "GIMP Palette\n  0   0  50\t#000032\n  1   0  50\t#010032\n  2   0  50\t#020032\n");
    // A name ending in a palette format keeps it; the dialog's choice is remembered.
    scripted.fileAnswers = {{dir + "/other.pal", 2}};
    menu(paletteExportItem);
    EXPECT_TRUE(std::filesystem::exists(dir + "/other.pal"));
    EXPECT_EQ(paletteSettings.paletteExportFilter, 2);
    // Overwriting asks first.
    std::string before = readText(dir + "/mine.gpl");
    scripted.fileAnswers = {{dir + "/mine.gpl", 0}, {dir + "/mine.gpl", 0}};
    scripted.messageAnswers = {answerNo, answerYes};
    show(stripOf(5));
    menu(paletteExportItem);
    EXPECT_EQ(scripted.messages.back().text, "Do you wish to overwrite?");
    EXPECT_EQ(readText(dir + "/mine.gpl"), before);
    menu(paletteExportItem);
    EXPECT_NE(readText(dir + "/mine.gpl"), before);
}

TEST_F(PaletteWindowTest, ALongPaletteIsNotExported) {
    show(stripOf(300));
    command(commandPaletteMenu);
    menu(paletteExportItem);
    EXPECT_TRUE(scripted.saveRequests.empty());
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].title, "Export palette");
    EXPECT_EQ(scripted.messages[0].text,
              "This palette cannot be exported: the image holds 300 colors; a palette file "
              "holds at most 256.");
}

TEST_F(PaletteWindowTest, AnExportRefusedForAPhotographNamesItsOwnColourCount) {
    // The grid collects a little past the 512 it can show; the message counts them all.
    show(stripOf(2000));
    command(commandPaletteMenu);
    ASSERT_EQ(title(), "Palette > 512");
    menu(paletteExportItem);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text,
              "This palette cannot be exported: the image holds 2000 colors; a palette file "
              "holds at most 256.");
    // With a selection, the colours of the selection.
    selectImageRect(Rect{100, 0, 899, 0});
    postEvent(selectionDoneEvent, mainWindow);
    drainEvents();
    menu(paletteExportItem);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[1].text,
              "This palette cannot be exported: the selection holds 800 colors; a palette "
              "file holds at most 256.");
    EXPECT_TRUE(scripted.saveRequests.empty());
}

TEST_F(PaletteWindowTest, ImportMapsTheImageAsOneStep) {
    Image photo = randomImage(20, 12, 5, 24);
    show(photo);
    command(commandPaletteMenu);
    scripted.fileAnswers = {{testDataPath("palettes/cga16.gpl"), 0}};
    menu(paletteImportDitherItem);
    Image expected = photo;
    applyPalette(expected, wholeImage(expected), cgaPalette(), true);
    EXPECT_EQ(firstDifference(*findImage(viewImage), expected), "");
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_LE(std::stoi(title().substr(11)), 16);
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), photo);
}

TEST_F(PaletteWindowTest, ABadPaletteFileChangesNothing) {
    Image photo = randomImage(8, 8, 6, 24);
    show(photo);
    command(commandPaletteMenu);
    std::ofstream(dir + "/bad.gpl") << "GIMP Palette\n1 2\n";
    scripted.fileAnswers = {{dir + "/bad.gpl", 0}, {dir + "/none.act", 0}};
    menu(paletteImportItem);
    menu(paletteImportItem);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[0].title, "Import palette");
    EXPECT_EQ(scripted.messages[0].text,
              "Could not read bad.gpl: line 2: expected red, green and blue values from 0 to "
              "255, found \"1 2\".");
    EXPECT_EQ(scripted.messages[1].text,
              "Could not read none.act: cannot be read: No such file or directory.");
    EXPECT_EQ(*findImage(viewImage), photo);
    EXPECT_EQ(undoEntryCount(), 1u);
    // While a tool window is open the import does not even ask for a file.
    setToolWindowOpen(quantizeWindow, true);
    menu(paletteImportItem);
    setToolWindowOpen(quantizeWindow, false);
    EXPECT_EQ(scripted.openRequests.size(), 2u);
}

}  // namespace
