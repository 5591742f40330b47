// The Quantize Colors window driven as the user drives it: STYLE, LIMIT by arrows and by
// typing, Dither, Test, Source, Apply, Exit, placement and the remembered settings.

#include "quantize/quantize_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "app/main_window.h"
#include "app/view.h"
#include "core/registry.h"
#include "core/undo.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "quantize/two_colors_window.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class QuantizeWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        show(randomImage(60, 40, 11, 24));
    }

    // Makes `image` the document, fitted and with a fresh history, as a load does.
    static void show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }

    // Two dark colours and two reds. flat_8 keeps the top bit of each channel and sets the
    // low four, Uniform at 3 levels takes each channel below 102 to 0 and 102 to 203 to 127:
    // both leave two colours.
    static Image fourColours() {
        return imageFromRows(
            4, 1, {rgb(10, 20, 30), rgb(20, 30, 40), rgb(200, 20, 30), rgb(190, 25, 35)}, 24);
    }
    // Red, green and blue of every pixel, row by row.
    static std::vector<uint32_t> coloursOf(const Image& image) {
        std::vector<uint32_t> out;
        for (uint32_t p : image.pixels) out.push_back(p & colourMask);
        return out;
    }

    static const QuantizeControls& c() { return quantizeControls; }

    static void open() { command(commandQuantize); }

    static void click(int control, int type = controlChange) {
        Event e{.kind = eventControl, .window = quantizeWindow, .object = control, .type = type};
        postEvent(e);
        drainEvents();
    }

    static void chooseStyle(int style) {
        setControlState(c().styleList, style);
        click(c().styleList);
    }

    static void toggleDither() {
        setControlState(c().ditherBox, controlState(c().ditherBox) ? 0 : 1);
        click(c().ditherBox);
    }

    // The spin field's own arrow buttons and text field.
    static QToolButton* arrow(Qt::ArrowType type) {
        for (auto* b : controlRecord(c().limitSpin)->widget->findChildren<QToolButton*>()) {
            if (b->arrowType() == type) return b;
        }
        return nullptr;
    }
    static QLineEdit* limitEdit() {
        return controlRecord(c().limitSpin)->widget->findChild<QLineEdit*>();
    }
    static void pressArrow(Qt::ArrowType type, int times = 1) {
        for (int i = 0; i < times; ++i) {
            arrow(type)->click();
            drainEvents();
        }
    }
    // Types into LIMIT key by key, each key handled before the next, as the loop would.
    static void typeLimit(const std::string& text) {
        limitEdit()->clear();
        for (char ch : text) {
            QTest::keyClick(limitEdit(), ch);
            drainEvents();
        }
    }

    static std::string limitText() { return controlText(c().limitSpin); }
    static std::string countText() { return controlText(c().colourCountText); }
    static std::string statusField1() { return statusBarText(mainStatusBar, selectionStatusField); }
    static bool applyEnabled() { return controlEnabled(c().applyButton); }
};

TEST_F(QuantizeWindowTest, FirstOpeningShowsUniformAt27WithTheWholeImagesCount) {
    // One colour with a red and a blue pixel in two corners, outside the selection.
    Image three(12, 10, 24, rgb(10, 20, 30));
    three.at(0, 0) = rgb(255, 0, 0) | alphaMask;
    three.at(11, 9) = rgb(0, 0, 255) | alphaMask;
    show(three);
    const Image& view = *findImage(viewImage);
    selectImageRect(Rect{2, 3, 9, 8});
    open();
    ASSERT_TRUE(isWindow(quantizeWindow));
    EXPECT_TRUE(windowVisible(quantizeWindow));
    EXPECT_EQ(windowTitle(quantizeWindow), "Quantize Colors");
    EXPECT_EQ(windowWidth(quantizeWindow), 160);
    EXPECT_EQ(windowHeight(quantizeWindow), 275);
    EXPECT_EQ(anyToolWindowOpen(), 2);
    EXPECT_EQ(controlText(c().styleList), "Uniform");
    EXPECT_EQ(controlState(c().limitSpin), 3);
    EXPECT_EQ(limitText(), "27");
    EXPECT_TRUE(controlEnabled(c().limitSpin));
    EXPECT_EQ(controlState(c().ditherBox), 0);
    EXPECT_EQ(controlText(c().ditherBox), "Dither");
    EXPECT_FALSE(applyEnabled());
    EXPECT_TRUE(controlEnabled(c().testButton));
    // The whole image's colours, although a selection exists.
    EXPECT_EQ(countText(), "3");
    EXPECT_EQ(controlText(c().testButton), "Test");
    EXPECT_EQ(controlText(c().sourceButton), "Source");
    EXPECT_EQ(controlText(c().applyButton), "Apply");
    EXPECT_EQ(controlText(c().exitButton), "Exit");
    EXPECT_EQ(controlX(c().applyButton), 5);
    EXPECT_EQ(controlY(c().applyButton), 210);
    // The canvas shows the untouched copy of the document until a Test.
    EXPECT_EQ(*findImage(toolImage), view);
    // Every style is offered, in order.
    for (int s = 0; s < styleCount; ++s) {
        setControlState(c().styleList, s);
        EXPECT_EQ(controlText(c().styleList), styleInfo(s).caption);
    }
}

TEST_F(QuantizeWindowTest, PopularitysLimitIsRememberedAcrossStylesAndOpenings) {
    open();
    chooseStyle(stylePopularity);
    EXPECT_EQ(limitText(), "32");
    pressArrow(Qt::UpArrow, 70);
    pressArrow(Qt::DownArrow, 2);
    EXPECT_EQ(limitText(), "100");
    chooseStyle(styleUniform);
    EXPECT_EQ(limitText(), "27");
    pressArrow(Qt::UpArrow);
    EXPECT_EQ(limitText(), "64");  // 4 levels
    chooseStyle(stylePopularity);
    EXPECT_EQ(limitText(), "100");
    EXPECT_EQ(controlState(c().limitSpin), 100);
    chooseStyle(styleAdaptive);
    EXPECT_EQ(limitText(), "32");

    // Closing and reopening keeps the style and both limits.
    chooseStyle(stylePopularity);
    click(c().exitButton);
    EXPECT_FALSE(isWindow(quantizeWindow));
    EXPECT_FALSE(toolWindowOpen(quantizeWindow));
    open();
    EXPECT_EQ(controlText(c().styleList), "Popularity");
    EXPECT_EQ(limitText(), "100");
    chooseStyle(styleUniform);
    EXPECT_EQ(limitText(), "64");
}

TEST_F(QuantizeWindowTest, BestQualityComesLastAndRemembersItsLimit) {
    open();
    auto* list = static_cast<QComboBox*>(controlRecord(c().styleList)->widget);
    ASSERT_EQ(list->count(), 16);
    EXPECT_EQ(list->itemText(15).toStdString(), "Best quality");
    EXPECT_EQ(list->itemText(14).toStdString(), "Ocean_128");
    chooseStyle(styleBest);
    EXPECT_EQ(limitText(), "256");
    EXPECT_TRUE(controlEnabled(c().limitSpin));
    pressArrow(Qt::DownArrow, 56);
    EXPECT_EQ(limitText(), "200");
    EXPECT_EQ(quantizeSettings.limitMemory[styleBest], 200);
    chooseStyle(styleAdaptive);
    EXPECT_EQ(limitText(), "32");
    chooseStyle(styleBest);
    EXPECT_EQ(limitText(), "200");
    // Typed beyond the range, the largest is used; it too is remembered.
    setActiveControl(c().limitSpin);
    typeLimit("999");
    EXPECT_EQ(limitText(), "256");
    typeLimit("48");
    EXPECT_EQ(quantizeSettings.limitMemory[styleBest], 48);
    click(c().exitButton);
    open();
    EXPECT_EQ(controlText(c().styleList), "Best quality");
    EXPECT_EQ(limitText(), "48");
    chooseStyle(styleAdaptive);
    EXPECT_EQ(limitText(), "32");
}

TEST_F(QuantizeWindowTest, BestQualityTestApplyAndUndoBehaveAsForAdaptive) {
    // A fully transparent row, two of its pixels with a green of 10 left in their colour,
    // above red, green, blue and white: five colours, within LIMIT 12, so only the
    // transparent pixels change, to the one transparent entry 0.
    const uint32_t clear = 0, tinted = 0x00000A00;
    const uint32_t red = rgb(255, 0, 0) | alphaMask, green = rgb(0, 255, 0) | alphaMask,
                   blue = rgb(0, 0, 255) | alphaMask, white = rgb(255, 255, 255) | alphaMask;
    show(imageFromRows(
        4, 3, {clear, tinted, clear, tinted, red, green, blue, white, red, green, blue, white},
        32));
    const Image source = *findImage(viewImage);
    open();
    chooseStyle(styleBest);
    setActiveControl(c().limitSpin);
    typeLimit("12");
    toggleDither();
    click(c().testButton);
    EXPECT_TRUE(applyEnabled());
    Image expected = source;
    expected.at(1, 0) = expected.at(3, 0) = 0;
    EXPECT_EQ(firstDifference(*findImage(toolImage), expected), "");
    EXPECT_EQ(*findImage(viewImage), source);
    EXPECT_EQ(canvasImage(canvas), toolImage);
    // Black (the colour of the transparent entry), red, green, blue and white.
    EXPECT_EQ(countText(), "5");
    // Two pixels 10 off in one of 36 channel values: 10 log10(255^2 x 36 / 200) = 40.7 dB.
    // (0, 10, 0) lies 5.3 from black in CIELAB: 0.9 over twelve pixels.
    EXPECT_EQ(statusField1(), "Preview: 5 colors | PSNR 40.7 dB | mean dE 0.9");

    click(c().applyButton);
    EXPECT_EQ(firstDifference(*findImage(viewImage), expected), "");
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(applyEnabled());
    // A change of LIMIT after a Test disables Apply, as for every style.
    click(c().testButton);
    ASSERT_TRUE(applyEnabled());
    pressArrow(Qt::UpArrow);
    EXPECT_FALSE(applyEnabled());
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), source);
}

TEST_F(QuantizeWindowTest, UniformsArrowsStopAtSixteenLevels) {
    open();
    pressArrow(Qt::UpArrow, 20);
    EXPECT_EQ(controlState(c().limitSpin), 16);
    EXPECT_EQ(limitText(), "4096");
    pressArrow(Qt::DownArrow, 20);
    EXPECT_EQ(limitText(), "8");
}

TEST_F(QuantizeWindowTest, CgaTestThenApplyLeavesAtMostSixteenColoursAndOneUndoStep) {
    // Each colour a little off one of CGA's, by more than the diffused error could carry
    // it across to another.
    show(imageFromRows(4, 3,
                       {rgb(10, 5, 0), rgb(160, 10, 170), rgb(250, 250, 90), rgb(110, 110, 110),
                        rgb(0, 160, 160), rgb(90, 80, 250), rgb(175, 90, 5), rgb(245, 250, 255),
                        rgb(165, 170, 175), rgb(5, 0, 165), rgb(250, 90, 80), rgb(80, 250, 90)},
                       24));
    const std::vector<uint32_t> cga = {rgb(0, 0, 0),    rgb(170, 0, 170),   rgb(255, 255, 85),
                                       rgb(85, 85, 85), rgb(0, 170, 170),   rgb(85, 85, 255),
                                       rgb(170, 85, 0), rgb(255, 255, 255), rgb(170, 170, 170),
                                       rgb(0, 0, 170),  rgb(255, 85, 85),   rgb(85, 255, 85)};
    open();
    chooseStyle(styleCga);
    EXPECT_EQ(limitText(), "16");
    EXPECT_FALSE(controlEnabled(c().limitSpin));
    toggleDither();
    EXPECT_EQ(quantizeSettings.savedDither, 1);
    const Image source = *findImage(viewImage);
    click(c().testButton);
    EXPECT_TRUE(applyEnabled());
    EXPECT_EQ(coloursOf(*findImage(toolImage)), cga);
    EXPECT_EQ(*findImage(viewImage), source);  // only Apply changes the document
    EXPECT_EQ(canvasImage(canvas), toolImage);
    EXPECT_EQ(countText(), "12");
    // The squared errors add up to 3000 over 36 channel values: 10 log10(255^2 / 83.3).
    EXPECT_EQ(statusField1().rfind("Preview: 12 colors | PSNR 28.9 dB | mean dE ", 0), 0u)
        << statusField1();

    click(c().applyButton);
    EXPECT_EQ(coloursOf(*findImage(viewImage)), cga);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(applyEnabled());
    EXPECT_EQ(statusField1(), "");  // the preview is the document now
    EXPECT_TRUE(toolBarButtonEnabled(mainToolBar, commandUndo));

    // A second Test reduces the already reduced image: Uniform at 3 levels takes 0 and 85
    // to 0, 170 to 127 and 255 to 254 (the grey 85 would be 127 from the original 110).
    chooseStyle(styleUniform);
    click(c().testButton);
    EXPECT_EQ(coloursOf(*findImage(toolImage)),
              (std::vector<uint32_t>{rgb(0, 0, 0), rgb(127, 0, 127), rgb(254, 254, 0), rgb(0, 0, 0),
                                     rgb(0, 127, 127), rgb(0, 0, 254), rgb(127, 0, 0),
                                     rgb(254, 254, 254), rgb(127, 127, 127), rgb(0, 0, 127),
                                     rgb(254, 0, 0), rgb(0, 254, 0)}));

    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), source);
}

TEST_F(QuantizeWindowTest, ThePreviewIsPaintedBeforeItsFiguresAreWorkedOut) {
    show(fourColours());
    open();
    const std::string before = countText();
    ASSERT_EQ(before, "4");
    postEvent(eventControl, quantizeWindow, c().testButton, controlChange);
    routeEvent(windowEvent());  // the Test alone
    EXPECT_EQ(canvasImage(canvas), toolImage);
    EXPECT_TRUE(applyEnabled());
    EXPECT_EQ(countText(), before);
    EXPECT_EQ(statusField1(), "");
    drainEvents();  // the toolkit's next pass paints, then the figures follow
    EXPECT_EQ(countText(), "2");
    EXPECT_NE(statusField1(), "");

    // Source straight after a Test leaves no figures behind.
    postEvent(eventControl, quantizeWindow, c().testButton, controlChange);
    routeEvent(windowEvent());
    click(c().sourceButton);
    EXPECT_EQ(statusField1(), "");
    EXPECT_EQ(countText(), "4");
}

TEST_F(QuantizeWindowTest, TypingThreeHundredWithAdaptiveUsesTwoHundredAndFiftySix) {
    // One colour: every sample Adaptive takes is that colour, so the preview is the picture.
    show(Image(40, 30, 24, rgb(90, 120, 150)));
    open();
    chooseStyle(styleAdaptive);
    setActiveControl(c().limitSpin);
    typeLimit("300");
    EXPECT_EQ(limitText(), "256");
    EXPECT_EQ(controlState(c().limitSpin), 256);
    EXPECT_EQ(quantizeSettings.limitMemory[styleAdaptive], 256);
    EXPECT_FALSE(applyEnabled());

    // Return in LIMIT previews at once.
    postEvent(eventMenu, quantizeWindow, quantizeReturnEvent);
    drainEvents();
    EXPECT_TRUE(applyEnabled());
    EXPECT_EQ(canvasImage(canvas), toolImage);
    EXPECT_EQ(*findImage(toolImage), *findImage(viewImage));
    EXPECT_EQ(statusField1(), "Preview: 1 color | PSNR exact | mean dE 0.0");

    // Letters do not get in; nothing at all becomes 2; 1 stays as typed but 2 is used.
    typeLimit("4a5bc");
    EXPECT_EQ(limitText(), "45");
    EXPECT_EQ(controlState(c().limitSpin), 45);
    QTest::keyClick(limitEdit(), Qt::Key_Backspace);
    drainEvents();
    QTest::keyClick(limitEdit(), Qt::Key_Backspace);
    drainEvents();
    EXPECT_EQ(limitText(), "2");
    EXPECT_EQ(controlState(c().limitSpin), 2);
    typeLimit("1");
    EXPECT_EQ(limitText(), "1");
    EXPECT_EQ(controlState(c().limitSpin), 2);
    click(c().testButton);
    EXPECT_EQ(limitText(), "2");  // Test shows the value it used
    typeLimit("45");
    EXPECT_EQ(controlState(c().limitSpin), 45);
}

TEST_F(QuantizeWindowTest, ReturnOutsideLimitDoesNotPreview) {
    open();
    setActiveControl(c().testButton);
    postEvent(eventMenu, quantizeWindow, quantizeReturnEvent);
    drainEvents();
    EXPECT_FALSE(applyEnabled());
}

TEST_F(QuantizeWindowTest, TypingIntoLimitWithUniformIsUndone) {
    open();
    typeLimit("5");
    EXPECT_EQ(limitText(), "27");
    EXPECT_EQ(controlState(c().limitSpin), 3);
    EXPECT_EQ(quantizeSettings.limitMemory[styleUniform], 3);
}

TEST_F(QuantizeWindowTest, SourceShowsTheDocumentAgainAndDisablesApply) {
    show(fourColours());
    open();
    chooseStyle(styleFlat8);
    click(c().testButton);
    EXPECT_EQ(countText(), "2");
    EXPECT_NE(statusField1(), "");
    click(c().sourceButton);
    EXPECT_FALSE(applyEnabled());
    EXPECT_EQ(canvasImage(canvas), viewImage);
    EXPECT_EQ(countText(), "4");
    EXPECT_EQ(statusField1(), "");
    // A drag or the analysis windows now show the document too.
    EXPECT_EQ(previewImage(), viewImage);
    // Apply is refused until the next Test.
    click(c().applyButton);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(QuantizeWindowTest, ApplyRefusesAPreviewOfAnEarlierDocument) {
    show(fourColours());
    open();
    chooseStyle(styleFlat8);
    click(c().testButton);
    EXPECT_EQ(previewImage(), toolImage);
    command(commandNegative);  // allowed while the window is open
    const Image negated = *findImage(viewImage);
    ASSERT_EQ(undoEntryCount(), 2u);
    // The old preview is no longer what a drag or the analysis windows show, nor what the
    // count and the status bar describe, and Apply does not look as if it would keep it.
    EXPECT_EQ(previewImage(), viewImage);
    EXPECT_EQ(previewImage(true), viewImage);
    EXPECT_FALSE(applyEnabled());
    EXPECT_EQ(countText(), "4");
    EXPECT_EQ(statusField1(), "");
    click(c().applyButton);
    EXPECT_EQ(*findImage(viewImage), negated);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(applyEnabled());
    EXPECT_NE(statusField1().find("Test again"), std::string::npos);
    // A fresh Test of the document as it stands can be applied.
    click(c().testButton);
    click(c().applyButton);
    // flat_8 of the negative (245, 235, 225), (235, 225, 215), (55, 235, 225), (65, 230, 220).
    EXPECT_EQ(coloursOf(*findImage(viewImage)),
              (std::vector<uint32_t>{rgb(143, 143, 143), rgb(143, 143, 143), rgb(15, 143, 143),
                                     rgb(15, 143, 143)}));
    EXPECT_EQ(undoEntryCount(), 3u);
    // So can one made before an undo and a redo that lead back to the same state: Apply
    // and the preview's figures come back with it.
    click(c().testButton);
    const std::string previewCount = countText();
    const std::string previewFigures = statusField1();
    ASSERT_NE(previewFigures, "");
    command(commandUndo);
    EXPECT_EQ(previewImage(), viewImage);
    EXPECT_FALSE(applyEnabled());
    EXPECT_EQ(countText(), "4");
    EXPECT_EQ(statusField1(), "");
    command(commandRedo);
    EXPECT_EQ(previewImage(), toolImage);
    EXPECT_TRUE(applyEnabled());
    EXPECT_EQ(countText(), previewCount);
    EXPECT_EQ(statusField1(), previewFigures);
    click(c().applyButton);
    EXPECT_EQ(undoEntryCount(), 4u);
    // A preview whose settings changed meanwhile does not come back.
    click(c().testButton);
    command(commandUndo);
    toggleDither();
    command(commandRedo);
    EXPECT_FALSE(applyEnabled());
}

TEST_F(QuantizeWindowTest, ChangingAnySettingDisablesApply) {
    open();
    auto testThen = [](auto&& change) {
        click(c().testButton);
        ASSERT_TRUE(applyEnabled());
        change();
        EXPECT_FALSE(applyEnabled());
    };
    testThen([] { toggleDither(); });
    testThen([] { pressArrow(Qt::UpArrow); });
    testThen([] { chooseStyle(styleEga); });
}

TEST_F(QuantizeWindowTest, APreviewOfASelectionChangesAndCountsOnlyThatArea) {
    // (210, 25, 35) all over, (200, 20, 30) along the top of the selection: flat_64 keeps
    // the top two bits of each channel and makes both (207, 15, 15).
    Image picture(12, 10, 24, rgb(210, 25, 35));
    const Rect rect{2, 3, 5, 6};
    for (int x = rect.left; x <= rect.right; ++x) picture.at(x, rect.top) = rgb(200, 20, 30);
    show(picture);
    const Image source = *findImage(viewImage);
    selectImageRect(rect);
    open();
    chooseStyle(styleFlat64);
    click(c().testButton);
    const Image& preview = *findImage(toolImage);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool inside =
                x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
            EXPECT_EQ(preview.at(x, y) & colourMask, inside ? rgb(207, 15, 15) : rgb(210, 25, 35))
                << x << "," << y;
        }
    }
    EXPECT_EQ(countText(), "1");
    // Squared errors 4 x 299 + 12 x 509 over 48 channel values: 10 log10(255^2 / 152.2).
    EXPECT_EQ(statusField1().rfind("Preview: 1 color | PSNR 26.3 dB | mean dE ", 0), 0u)
        << statusField1();
    EXPECT_EQ(selection.active, 1);  // the selection stays
    click(c().sourceButton);
    EXPECT_EQ(countText(), "2");
}

TEST_F(QuantizeWindowTest, ThePaletteToolFollowsThePreviewAndTheSource) {
    paletteShown = 1;
    open();
    chooseStyle(styleFlat64);
    click(c().testButton);
    const auto sorted = [](std::vector<uint32_t> colours) {
        std::sort(colours.begin(), colours.end());
        return colours;
    };
    EXPECT_EQ(sorted(extractedPalette), sorted(distinctColours(*findImage(toolImage))));
    EXPECT_EQ(currentPalette, extractedPalette);
    click(c().sourceButton);
    EXPECT_EQ(sorted(extractedPalette), sorted(distinctColours(*findImage(viewImage))));
    paletteShown = 0;
}

TEST_F(QuantizeWindowTest, ClosingWithoutApplyLeavesTheDocumentAndShowsIt) {
    const Image source = *findImage(viewImage);
    open();
    chooseStyle(styleOcean);
    click(c().testButton);
    EXPECT_EQ(canvasImage(canvas), toolImage);
    postEvent(eventCloseWindow, quantizeWindow);  // the close box
    drainEvents();
    EXPECT_FALSE(isWindow(quantizeWindow));
    EXPECT_FALSE(toolWindowOpen(quantizeWindow));
    EXPECT_FALSE(imageExists(toolImage));
    EXPECT_EQ(*findImage(viewImage), source);
    EXPECT_EQ(canvasImage(canvas), viewImage);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(statusField1(), "");
}

TEST_F(QuantizeWindowTest, TheRememberedOffsetIsKeptInsideTheDesktop) {
    open();
    const int mainX = windowX(mainWindow, true), mainY = windowY(mainWindow, true);
    // Moved by the user 30 to the right and 20 down of where it opened.
    const int x0 = windowX(quantizeWindow), y0 = windowY(quantizeWindow);
    resizeWindow(quantizeWindow, x0 + 30, y0 + 20, 160, 275);
    click(c().exitButton);
    EXPECT_EQ(quantizeSettings.quantizeOffsetX, x0 + 30 - mainX);
    EXPECT_EQ(quantizeSettings.quantizeOffsetY, y0 + 20 - mainY - toolBarHeight);
    open();
    EXPECT_EQ(windowX(quantizeWindow), x0 + 30);
    EXPECT_EQ(windowY(quantizeWindow), y0 + 20);

    // Far off the bottom right: back against the desktop's edges.
    resizeWindow(quantizeWindow, screenX() + screenWidth() + 500, screenY() + screenHeight() + 500,
                 160, 275);
    click(c().exitButton);
    open();
    EXPECT_EQ(windowX(quantizeWindow) + windowWidth(quantizeWindow, false),
              screenX() + screenWidth());
    EXPECT_EQ(windowY(quantizeWindow) + windowHeight(quantizeWindow, false),
              screenY() + screenHeight());
    // And off the top left.
    resizeWindow(quantizeWindow, screenX() - 900, screenY() - 900, 160, 275);
    click(c().exitButton);
    open();
    EXPECT_EQ(windowX(quantizeWindow), screenX());
    EXPECT_EQ(windowY(quantizeWindow), screenY());
}

TEST_F(QuantizeWindowTest, AMoverDragShowsThePreview) {
    show(randomImage(1200, 300, 13, 24));
    open();
    chooseStyle(styleFlat8);
    click(c().testButton);
    canvasMouse(controlLeftButtonDown, 400, 200);
    canvasMouse(controlMouseMove, 350, 200);
    canvasMouse(controlLeftButtonUp, 350, 200);
    drainEvents();
    const Image& preview = *findImage(toolImage);
    const Image& shown = *canvasBuffer(canvas);
    // On the 800-wide canvas the image's corner went from x = -200 to -250, so x = 100
    // shows its column 350.
    ASSERT_EQ(shown.width, 800);
    const int top = (shown.height - preview.height) / 2;
    for (int x = 350; x < 360; ++x) {
        EXPECT_EQ(shown.at(x - 250, top + 10), preview.at(x, 10));
        EXPECT_NE(preview.at(x, 10), findImage(viewImage)->at(x, 10));
    }
}

TEST_F(QuantizeWindowTest, OtherToolWindowsAndItRefuseEachOther) {
    open();
    command(commandTwoColors);
    EXPECT_FALSE(isWindow(twoColorsWindow));
    click(c().exitButton);
    command(commandTwoColors);
    ASSERT_TRUE(isWindow(twoColorsWindow));
    command(commandQuantize);
    EXPECT_FALSE(isWindow(quantizeWindow));
    EXPECT_FALSE(toolWindowOpen(quantizeWindow));
}

}  // namespace
