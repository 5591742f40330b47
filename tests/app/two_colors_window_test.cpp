// The Two Colors window driven as the user drives it, on a clock the test moves by hand:
// the first preview, the deferred slider redraw, forced redraws, the colour picker, a
// selection, OK and Cancel.

#include "quantize/two_colors_window.h"

#include "app/view.h"
#include "core/registry.h"
#include "core/undo.h"
#include "quantize/quantize_window.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

int64_t testNow = 0;
int64_t testClock() {
    return testNow;
}

constexpr uint32_t black = 0x000000, white = 0xFFFFFF;

class TwoColorsWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        testNow = 1000;
        setClock(testClock, nullptr);
        show(levels());
    }

    void TearDown() override {
        AppTest::TearDown();
        setClock(nullptr, nullptr);
    }

    static void show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }

    static const TwoColorsControls& c() { return twoColorsControls; }

    static void open() { command(commandTwoColors); }

    static void post(int kind, int object = -1) {
        Event e;
        e.kind = kind;
        e.window = twoColorsWindow;
        e.object = object;
        e.type = controlChange;
        postEvent(e);
        drainEvents();
    }
    static void click(int control) { post(eventControl, control); }

    // The slider moved to `value` by the user (one change event).
    static void slide(int value) {
        setControlState(c().thresholdSlider, value);
        click(c().thresholdSlider);
    }
    // Time passes and the window's timer (or any other event) arrives.
    static void wait(int milliseconds) {
        testNow += milliseconds;
        post(eventTimer, redrawTimer);
    }

    // Six pixels whose levels, (2 red + 4 green + blue) / 7, lie about 128: 128, 127, 109,
    // 128, 127 and 255; so at threshold 128 they are colour 2, 1, 1, 2, 1 and 2.
    static Image levels() {
        return imageFromRows(6, 1,
                             {rgb(0, 224, 0), rgb(0, 223, 0), rgb(255, 0, 255), rgb(128, 128, 128),
                              rgb(127, 127, 127), white},
                             24);
    }
    static Image grey(int w, int h, int v) { return Image(w, h, 24, rgb(v, v, v)); }

    static std::string pattern(const Image& image, uint32_t c1 = black, uint32_t c2 = white) {
        return twoColourPattern(image, c1, c2);
    }

    static const Image& preview() { return *findImage(workImage); }

    // Spoils the preview so that a redraw, and only a redraw, puts it right.
    static void spoilPreview() { findImage(workImage)->at(0, 0) ^= 0x123456; }
};

TEST_F(TwoColorsWindowTest, TheDitherCaptionsShowWhole) {
    open();
    for (int option : c().ditherOptions) {
        EXPECT_GE(controlWidth(option), controlPreferredWidth(option)) << controlText(option);
    }
    // Side by side without overlapping, inside their frame.
    EXPECT_LE(controlX(c().ditherOptions[0]) + controlWidth(c().ditherOptions[0]),
              controlX(c().ditherOptions[1]));
    EXPECT_LE(controlX(c().ditherOptions[1]) + controlWidth(c().ditherOptions[1]),
              controlX(c().ditherOptions[2]));
    EXPECT_LE(controlX(c().ditherOptions[2]) + controlWidth(c().ditherOptions[2]), 10 + 267);
}

TEST_F(TwoColorsWindowTest, OpeningShowsTheBlackAndWhitePreviewAtThreshold128) {
    open();
    ASSERT_TRUE(isWindow(twoColorsWindow));
    EXPECT_EQ(windowTitle(twoColorsWindow), "Two Colors");
    EXPECT_EQ(windowWidth(twoColorsWindow), 287);
    EXPECT_EQ(windowHeight(twoColorsWindow), 200);
    EXPECT_EQ(anyToolWindowOpen(), 8);
    EXPECT_EQ(controlText(c().thresholdFrame), "Threshold 128");
    EXPECT_EQ(controlState(c().thresholdSlider), 128);
    EXPECT_EQ(controlState(c().ditherOptions[0]), 1);
    EXPECT_EQ(controlText(c().ditherOptions[1]), "4X4 ordered");
    EXPECT_EQ(controlText(c().ditherOptions[2]), "Sierra Lite");
    EXPECT_EQ(controlText(c().okButton), "OK");
    EXPECT_EQ(controlText(c().cancelButton), "Cancel");
    EXPECT_EQ(findImage(swatchImage1)->at(12, 12), black | alphaMask);
    EXPECT_EQ(findImage(swatchImage2)->at(12, 12), white | alphaMask);
    ASSERT_TRUE(imageExists(workImage));
    EXPECT_EQ(pattern(preview()), "211212");
    EXPECT_EQ(canvasImage(canvas), workImage);
    EXPECT_EQ(twoColorsSettings.lastThreshold, 128);
}

TEST_F(TwoColorsWindowTest, TheSliderRedrawsOnlyAfterResting330Milliseconds) {
    open();
    slide(256);
    EXPECT_EQ(controlText(c().thresholdFrame), "Threshold 256");  // at once
    EXPECT_EQ(twoColorsSettings.redrawPending, 1);
    EXPECT_EQ(twoColorsSettings.redrawDeadline, testNow + redrawDelay);
    // The window asks to be woken at the deadline.
    EXPECT_TRUE(windowTimerActive(twoColorsWindow, redrawTimer));
    wait(330);  // not yet past the deadline
    EXPECT_EQ(pattern(preview()), "211212");
    wait(1);
    EXPECT_EQ(twoColorsSettings.redrawPending, 0);
    // Slider 256 is threshold 0: everything colour 2.
    for (uint32_t p : preview().pixels) ASSERT_EQ(p & colourMask, white);
    slide(0);
    wait(400);
    // Threshold 256: everything colour 1, even white.
    for (uint32_t p : preview().pixels) ASSERT_EQ(p & colourMask, black);
}

TEST_F(TwoColorsWindowTest, ChoosingTheSameDitherTwiceRedrawsTwice) {
    // A grey of level 128 against 128 plus the 4 x 4 ordered offsets: colour 2 where the
    // offset is 0 or more.
    show(grey(4, 4, 128));
    open();
    const char* ordered = "1212/2121/1212/2221";
    click(c().ditherOptions[1]);
    EXPECT_EQ(pattern(preview()), ordered);
    for (int again = 0; again < 2; ++again) {
        spoilPreview();
        click(c().ditherOptions[1]);
        EXPECT_EQ(pattern(preview()), ordered) << again;
    }
}

TEST_F(TwoColorsWindowTest, ASliderBackAtTheLastValueBeforeTheDelayDoesNotRedraw) {
    open();
    spoilPreview();
    const Image spoiled = preview();
    slide(100);
    testNow += 100;
    slide(128);
    wait(400);
    EXPECT_EQ(twoColorsSettings.redrawPending, 0);
    EXPECT_EQ(preview(), spoiled);
}

TEST_F(TwoColorsWindowTest, ADitherChosenWhileTheSliderWaitsIsDrawnWithTheNewThreshold) {
    // The forced redraw must not be mistaken for the new threshold (129 after 128 + 1).
    show(grey(4, 4, 128));
    open();
    slide(127);  // threshold 129
    click(c().ditherOptions[2]);
    wait(400);
    // Sierra Lite of a grey of level 128 at 129 starts with colour 1 (at 128: with colour
    // 2, and without dither all colour 2).
    EXPECT_EQ(pattern(preview()), "1212/2121/1212/2121");
}

TEST_F(TwoColorsWindowTest, PickedColoursRepaintTheSwatchAndThePreview) {
    show(grey(4, 4, 128));
    open();
    const uint32_t red = rgb(255, 0, 0), yellow = rgb(255, 255, 0);
    scripted.colourAnswers = {-1, red, yellow};
    const Image before = preview();
    click(c().swatch1);  // cancelled
    EXPECT_EQ(twoColorsSettings.twoColor1, black);
    EXPECT_EQ(preview(), before);
    click(c().swatch1);
    EXPECT_EQ(twoColorsSettings.twoColor1, red);
    EXPECT_EQ(findImage(swatchImage1)->at(0, 0), red | alphaMask);
    EXPECT_EQ(findImage(swatchImage1)->at(24, 24), red | alphaMask);
    click(c().swatch2);
    EXPECT_EQ(twoColorsSettings.twoColor2, yellow);
    click(c().ditherOptions[2]);
    // The errors are still measured against black and white.
    EXPECT_EQ(pattern(preview(), red, yellow), "2121/1212/2121/1212");
}

TEST_F(TwoColorsWindowTest, ASelectionChangesOnlyItsAreaAndDiffusesFromItsEdges) {
    show(grey(6, 5, 128));
    const Image source = *findImage(viewImage);
    selectImageRect(Rect{2, 1, 3, 2});
    open();
    click(c().ditherOptions[2]);
    // The 2 x 2 section on its own: 128 is colour 2 and sends -127 / 4 = -32 right, so the
    // next is 96 and colour 1; below them 128 - 4 = 124 is colour 1 and 128 + 31 + 12 = 171
    // colour 2.
    EXPECT_EQ(pattern(preview()), "....../..21../..12../....../......");
    EXPECT_EQ(preview().at(1, 1), source.at(1, 1));
    EXPECT_EQ(preview().at(4, 2), source.at(4, 2));
    EXPECT_EQ(selection.active, 1);
}

TEST_F(TwoColorsWindowTest, OkKeepsThePreviewAsOneUndoStepAndResetsTheWindow) {
    show(grey(4, 4, 116));
    open();
    click(c().ditherOptions[1]);
    slide(90);
    scripted.colourAnswers = {rgb(0, 0, 200)};
    click(c().swatch2);
    // OK straight after moving the slider keeps what the slider says.
    slide(140);  // threshold 116: colour 2 where the ordered offset is 0 or more
    click(c().okButton);
    EXPECT_FALSE(isWindow(twoColorsWindow));
    EXPECT_FALSE(toolWindowOpen(twoColorsWindow));
    EXPECT_EQ(pattern(*findImage(viewImage), black, rgb(0, 0, 200)), "1212/2121/1212/2221");
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(imageExists(workImage));
    EXPECT_FALSE(imageExists(swatchImage1));
    EXPECT_FALSE(imageExists(swatchImage2));
    EXPECT_EQ(canvasImage(canvas), viewImage);
    // Every setting starts afresh next time.
    EXPECT_EQ(twoColorsSettings.twoColorsDither, 0);
    EXPECT_EQ(twoColorsSettings.twoColor2, white);
    EXPECT_EQ(twoColorsSettings.lastThreshold, 129);
    EXPECT_EQ(twoColorsSettings.redrawPending, 1);
    open();
    EXPECT_EQ(controlState(c().ditherOptions[0]), 1);
    EXPECT_EQ(controlState(c().thresholdSlider), 128);
}

TEST_F(TwoColorsWindowTest, OkAfterTheDocumentChangedKeepsItAsItStandsInTwoColours) {
    show(grey(4, 4, 0));
    open();
    click(c().ditherOptions[2]);
    ASSERT_EQ(pattern(preview()), "1111/1111/1111/1111");
    command(commandNegative);  // allowed while the window is open: black becomes white
    click(c().okButton);
    EXPECT_EQ(pattern(*findImage(viewImage)), "2222/2222/2222/2222");
    EXPECT_EQ(undoEntryCount(), 3u);
}

TEST_F(TwoColorsWindowTest, CancelOrTheCloseBoxLeaveTheDocumentAndHistory) {
    const Image source = *findImage(viewImage);
    open();
    click(c().ditherOptions[2]);
    slide(30);
    wait(400);
    click(c().cancelButton);
    EXPECT_FALSE(isWindow(twoColorsWindow));
    EXPECT_EQ(*findImage(viewImage), source);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(canvasImage(canvas), viewImage);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));

    open();
    slide(200);
    wait(400);
    post(eventCloseWindow);
    EXPECT_FALSE(isWindow(twoColorsWindow));
    EXPECT_EQ(*findImage(viewImage), source);
    EXPECT_EQ(undoEntryCount(), 1u);
    // A timer still queued from the closed window changes nothing.
    post(eventTimer, redrawTimer);
    EXPECT_FALSE(imageExists(workImage));
}

TEST_F(TwoColorsWindowTest, OpenRefusesBesideTheQuantizeWindow) {
    open();
    command(commandQuantize);
    EXPECT_FALSE(isWindow(quantizeWindow));
    click(c().cancelButton);
    command(commandQuantize);
    EXPECT_TRUE(isWindow(quantizeWindow));
    open();
    EXPECT_FALSE(isWindow(twoColorsWindow));
    EXPECT_FALSE(toolWindowOpen(twoColorsWindow));
}

}  // namespace
