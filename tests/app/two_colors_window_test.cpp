// The Two Colors window driven as the user drives it, on a clock the test moves by hand:
// the first preview, the deferred slider redraw, forced redraws, the colour picker, a
// selection, OK and Cancel.

#include "quantize/two_colors_window.h"

#include "app/view.h"
#include "core/undo.h"
#include "quantize/quantize_window.h"
#include "quantize/two_colors.h"
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
        show(randomImage(48, 32, 17, 24));
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

    static Image expectedPreview(int slider, TwoColorsDither dither, uint32_t c1 = black,
                                 uint32_t c2 = white) {
        Image out = *findImage(viewImage);
        twoColors(out, clipToImage(operationRect(out), out), thresholdFromSlider(slider), dither,
                  c1, c2);
        return out;
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
    EXPECT_EQ(twoColorsOpen, twoColorsOpenFlag);
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
    const Image& view = *findImage(viewImage);
    for (size_t i = 0; i < view.pixels.size(); ++i) {
        const uint32_t want = twoColorsLevel(view.pixels[i]) < 128 ? black : white;
        ASSERT_EQ(preview().pixels[i] & colourMask, want) << i;
    }
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
    EXPECT_EQ(preview(), expectedPreview(128, TwoColorsDither::None));
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
    open();
    const Image ordered = expectedPreview(128, TwoColorsDither::Ordered);
    click(c().ditherOptions[1]);
    EXPECT_EQ(preview(), ordered);
    for (int again = 0; again < 2; ++again) {
        spoilPreview();
        click(c().ditherOptions[1]);
        EXPECT_EQ(preview(), ordered) << again;
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
    open();
    slide(127);  // threshold 129
    click(c().ditherOptions[2]);
    wait(400);
    EXPECT_EQ(preview(), expectedPreview(127, TwoColorsDither::SierraLite));
}

TEST_F(TwoColorsWindowTest, PickedColoursRepaintTheSwatchAndThePreview) {
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
    EXPECT_EQ(preview(), expectedPreview(128, TwoColorsDither::SierraLite, red, yellow));
}

TEST_F(TwoColorsWindowTest, ASelectionChangesOnlyItsAreaAndDiffusesFromItsEdges) {
    const Image source = *findImage(viewImage);
    const Rect rect{5, 4, 30, 20};
    selectImageRect(rect);
    open();
    click(c().ditherOptions[2]);
    Image expected = source;
    Image part = copyRect(source, rect.left, rect.top, rect.right, rect.bottom);
    sierraLiteTwoColors(part, 128, black, white);
    drawImage(expected, part, rect.left, rect.top);
    EXPECT_EQ(firstDifference(preview(), expected), "");
    EXPECT_EQ(selection.active, 1);
}

TEST_F(TwoColorsWindowTest, OkKeepsThePreviewAsOneUndoStepAndResetsTheWindow) {
    open();
    click(c().ditherOptions[1]);
    slide(90);
    scripted.colourAnswers = {rgb(0, 0, 200)};
    click(c().swatch2);
    // OK straight after moving the slider keeps what the slider says.
    slide(140);
    const Image expected = expectedPreview(140, TwoColorsDither::Ordered, black, rgb(0, 0, 200));
    click(c().okButton);
    EXPECT_FALSE(isWindow(twoColorsWindow));
    EXPECT_EQ(twoColorsOpen, 0);
    EXPECT_EQ(*findImage(viewImage), expected);
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
    open();
    click(c().ditherOptions[2]);
    command(commandNegative);  // allowed while the window is open
    const Image expected = expectedPreview(128, TwoColorsDither::SierraLite);
    click(c().okButton);
    EXPECT_EQ(*findImage(viewImage), expected);
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
    EXPECT_EQ(twoColorsOpen, 0);
}

}  // namespace
