// The brightness and contrast window driven as the user would: previews after the sliders
// rest (on an injected clock), the switch between sliders, Rfsh Brt, Apply, Reset and
// Exit, the single undo step, selections, and what the analysis windows show meanwhile.

#include "adjust/brightness_window.h"

#include "app/view.h"
#include "core/registry.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
#include "tools/histogram_window.h"

namespace {

int64_t fakeNow = 0;
int64_t fakeClock() {
    return fakeNow;
}

class BrightnessWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        fakeNow = 1000;
        setClock(fakeClock, nullptr);
        storeImage(viewImage, randomImage(12, 9, 77, 24));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        original = *findImage(viewImage);
    }
    void TearDown() override {
        setClock(nullptr, nullptr);
        AppTest::TearDown();
    }

    static const BrightnessControls& c() { return brightnessControls; }
    static const BrightnessWindowState& st() { return brightnessWindowState; }

    static void control(int n) { controlEvent(brightnessWindow, n); }
    // The user moves a slider to `position`.
    static void slide(int slider, int position) {
        setControlState(slider, position);
        control(slider);
    }
    // Some event of the window after `ms` more milliseconds, so the due work runs.
    static void later(int64_t ms) {
        fakeNow += ms;
        postEvent(eventMoveWindow, brightnessWindow);
        drainEvents();
    }
    static void click(int button) { control(button); }

    // The document as `picture`, fitted, with a fresh history.
    void show(Image picture) {
        storeImage(viewImage, std::move(picture));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        original = *findImage(viewImage);
    }
    // A 12 x 9 document of one grey: with the starting options (hold ratio, ratio,
    // proportional) a grey v moves by round(amount x (255 - v) / 255) up or
    // round(amount x v / 255) down, which is easy to work out by hand.
    void showGrey(int v) { show(Image(12, 9, 24, grey(v))); }
    static constexpr uint32_t grey(int v) { return rgb(v, v, v); }
    // How many pixels of `n` have this colour.
    static int count(int n, uint32_t colour) {
        int k = 0;
        for (uint32_t p : findImage(n)->pixels) k += (p & colourMask) == colour;
        return k;
    }
    static uint32_t pixel(int n, int x, int y) { return findImage(n)->at(x, y) & colourMask; }
    static const Image& image(int n) { return *findImage(n); }

    void open() {
        command(commandBrightness);
        ASSERT_TRUE(isWindow(brightnessWindow));
    }

    Image original;
};

TEST_F(BrightnessWindowTest, OpensWithItsControlsAndCopiesOfTheDocument) {
    open();
    EXPECT_EQ(windowTitle(brightnessWindow), "Adjust brightness & contrast");
    EXPECT_EQ(windowWidth(brightnessWindow), 400);
    EXPECT_EQ(windowHeight(brightnessWindow), 312);
    EXPECT_EQ(anyToolWindowOpen(), 4);
    EXPECT_EQ(image(toolImage), original);
    EXPECT_EQ(image(workImage), original);
    EXPECT_EQ(controlText(c().brightnessFrame), "Brightness = 0");
    EXPECT_EQ(controlText(c().contrastFrame), "Contrast = 0");
    EXPECT_EQ(controlState(c().brightnessSlider), 128);
    EXPECT_EQ(controlState(c().contrastSlider), 100);
    EXPECT_EQ(controlState(c().holdRatio), 1);
    EXPECT_EQ(controlState(c().ratio), 1);
    EXPECT_EQ(controlState(c().equal), 0);
    EXPECT_EQ(controlState(c().proportional), 1);
    EXPECT_EQ(controlState(c().red) + controlState(c().green) + controlState(c().blue), 3);
    EXPECT_EQ(controlText(c().refresh), "Rfsh Brt");
    EXPECT_FALSE(controlEnabled(c().refresh));
    EXPECT_FALSE(controlEnabled(c().apply));
    EXPECT_TRUE(controlEnabled(c().reset));
    EXPECT_EQ(controlX(c().apply), 210);
    EXPECT_EQ(controlY(c().apply), 250);
    // Options in a box sit at the box's corner plus their own place.
    EXPECT_EQ(controlX(c().wrap), 130 + 10);
    EXPECT_EQ(controlY(c().wrap), 60 + 80);
    // A second opening is refused while this one is open, and so is any while another
    // tool window is.
    command(commandBrightness);
    EXPECT_EQ(anyToolWindowOpen(), 4);
    click(c().exit);
    setToolWindowOpen(quantizeWindow, true);
    command(commandBrightness);
    EXPECT_FALSE(isWindow(brightnessWindow));
    setToolWindowOpen(quantizeWindow, false);
}

TEST_F(BrightnessWindowTest, APreviewAppearsOnlyOnceTheSliderHasRested) {
    showGrey(100);
    open();
    slide(c().brightnessSlider, 148);
    EXPECT_EQ(controlText(c().brightnessFrame), "Brightness = 20");
    EXPECT_EQ(image(workImage), original);
    later(300);  // not yet: the clock must be past the deadline
    EXPECT_EQ(image(workImage), original);
    EXPECT_FALSE(controlEnabled(c().apply));
    later(1);
    EXPECT_EQ(count(workImage, grey(112)), 12 * 9);  // 20 x 155 / 255 = 12.2
    EXPECT_EQ(st().shownBrightness, 20);
    EXPECT_EQ(canvasImage(canvas), workImage);
    EXPECT_TRUE(controlEnabled(c().apply));
    EXPECT_EQ(*findImage(viewImage), original);

    EXPECT_FALSE(windowTimerActive(brightnessWindow, previewTimer));  // nothing more waits

    // Moving away and back to the value shown computes nothing.
    findImage(workImage)->at(0, 0) = 0x12345678;  // a mark a new preview would overwrite
    slide(c().brightnessSlider, 160);
    slide(c().brightnessSlider, 148);
    later(301);
    EXPECT_EQ(image(workImage).at(0, 0), 0x12345678u);
    EXPECT_EQ(st().brightnessDue, 0);
}

TEST_F(BrightnessWindowTest, TheWindowsTimerBringsThePreviewWithoutAnotherEvent) {
    showGrey(100);
    open();
    slide(c().brightnessSlider, 140);
    EXPECT_TRUE(windowTimerActive(brightnessWindow, previewTimer));
    // The timer's event once the slider has rested is all it takes.
    fakeNow += 301;
    postEvent(eventTimer, brightnessWindow, previewTimer);
    drainEvents();
    EXPECT_EQ(count(workImage, grey(107)), 12 * 9);  // 12 x 155 / 255 = 7.3
    EXPECT_FALSE(windowTimerActive(brightnessWindow, previewTimer));
    // A timer event that comes early computes nothing and waits again.
    slide(c().brightnessSlider, 150);
    fakeNow += 100;
    postEvent(eventTimer, brightnessWindow, previewTimer);
    drainEvents();
    EXPECT_EQ(st().shownBrightness, 12);
    EXPECT_TRUE(windowTimerActive(brightnessWindow, previewTimer));
    click(c().exit);
    EXPECT_FALSE(windowTimerActive(brightnessWindow, previewTimer));
}

TEST_F(BrightnessWindowTest, TheOtherSliderMakesThePreviewItsBase) {
    showGrey(100);
    open();
    slide(c().brightnessSlider, 150);
    later(301);
    ASSERT_EQ(count(workImage, grey(113)), 12 * 9);  // 22 x 155 / 255 = 13.4
    const Image brightPreview = image(workImage);

    slide(c().contrastSlider, 130);
    // The switch: the brightness preview is the new base, its slider back at the centre.
    EXPECT_EQ(image(toolImage), brightPreview);
    EXPECT_EQ(controlState(c().brightnessSlider), 128);
    EXPECT_EQ(controlText(c().brightnessFrame), "Brightness = 0");
    EXPECT_EQ(st().shownBrightness, 0);
    EXPECT_EQ(controlText(c().contrastFrame), "Contrast = 30");
    EXPECT_EQ(image(workImage), brightPreview);  // nothing before the slider rests
    later(301);
    // 113 - 0.3 x (127 - 113) = 108.8: contrast of the brightened grey, not of 100.
    EXPECT_EQ(count(workImage, grey(109)), 12 * 9);

    // Back to brightness: the contrast preview becomes the base in turn.
    Image contrastPreview = image(workImage);
    slide(c().brightnessSlider, 118);
    EXPECT_EQ(image(toolImage), contrastPreview);
    EXPECT_EQ(controlState(c().contrastSlider), 100);
    EXPECT_EQ(controlText(c().contrastFrame), "Contrast = 0");
    later(301);
    EXPECT_EQ(count(workImage, grey(105)), 12 * 9);  // -10 x 109 / 255 = -4.3
}

TEST_F(BrightnessWindowTest, RefreshRecomputesWithChangedOptionsOnlyWhenSomethingIsShown) {
    // Two pixels that tell the options apart: (200, 100, 50) and (250, 100, 50).
    Image picture(2, 1, 24, rgb(200, 100, 50));
    picture.at(1, 0) = rgb(250, 100, 50) | alphaMask;
    show(picture);
    open();
    click(c().wrap);
    EXPECT_FALSE(controlEnabled(c().refresh));  // nothing shown yet
    slide(c().brightnessSlider, 200);
    later(301);
    setControlState(c().holdRatio, 1);
    click(c().holdRatio);
    EXPECT_TRUE(controlEnabled(c().refresh));
    setControlState(c().equal, 1);
    click(c().equal);
    click(c().refresh);  // no slider deadline pending: computed at once
    // Proportional: 72 x (1785 - 850) / 1785 = 37.7, each component up by 38.
    EXPECT_EQ(pixel(workImage, 0, 0), rgb(238, 138, 88));
    // 72 x (1785 - 950) / 1785 = 33.7, held to 5 by the red 250 (wrap would give 28, 134,
    // 84; ratio 255, 102, 51).
    EXPECT_EQ(pixel(workImage, 1, 0), rgb(255, 105, 55));
    EXPECT_FALSE(controlEnabled(c().refresh));
    EXPECT_EQ(st().shownBrightness, 72);
}

TEST_F(BrightnessWindowTest, ApplyThenExitIsOneUndoStep) {
    open();
    slide(c().brightnessSlider, 170);
    later(301);
    Image applied = image(workImage);
    click(c().apply);
    EXPECT_EQ(image(toolImage), applied);
    EXPECT_EQ(controlState(c().brightnessSlider), 128);
    EXPECT_FALSE(controlEnabled(c().apply));
    EXPECT_EQ(*findImage(viewImage), original);  // not before the window closes
    // Later moves that are not applied are lost at the exit.
    slide(c().brightnessSlider, 100);
    later(301);
    click(c().exit);
    EXPECT_FALSE(isWindow(brightnessWindow));
    EXPECT_FALSE(toolWindowOpen(brightnessWindow));
    EXPECT_EQ(*findImage(viewImage), applied);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_FALSE(imageExists(workImage));
    EXPECT_FALSE(imageExists(toolImage));
    EXPECT_EQ(canvasImage(canvas), viewImage);
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), original);
}

TEST_F(BrightnessWindowTest, ResetAfterApplyThenExitChangesNothing) {
    open();
    slide(c().brightnessSlider, 170);
    later(301);
    click(c().apply);
    slide(c().brightnessSlider, 180);
    later(301);
    click(c().reset);
    EXPECT_EQ(image(toolImage), original);
    EXPECT_EQ(canvasImage(canvas), viewImage);
    EXPECT_EQ(anyToolWindowOpen(), 4);
    // The reset preview cannot come back through the canvas or a late Apply.
    EXPECT_EQ(image(workImage), original);
    EXPECT_FALSE(controlEnabled(c().apply));
    postEvent(eventCloseWindow, brightnessWindow);
    drainEvents();
    EXPECT_FALSE(isWindow(brightnessWindow));
    EXPECT_EQ(*findImage(viewImage), original);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(BrightnessWindowTest, WithoutApplyTheDocumentStaysAsItWas) {
    open();
    slide(c().contrastSlider, 190);
    later(301);
    ASSERT_NE(image(workImage), original);
    postEvent(eventCloseWindow, brightnessWindow);
    drainEvents();
    EXPECT_EQ(*findImage(viewImage), original);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(BrightnessWindowTest, PreviewsChangeOnlyTheSelection) {
    showGrey(100);
    selectImageRect(Rect{2, 1, 6, 5});
    open();
    slide(c().brightnessSlider, 90);
    later(301);
    // -38 x 100 / 255 = -14.9 inside the 5 x 5 rectangle, nothing outside it.
    EXPECT_EQ(count(workImage, grey(85)), 25);
    EXPECT_EQ(count(workImage, grey(100)), 12 * 9 - 25);
    // A contrast preview after it starts from its base, still only inside:
    // 85 - 0.5 x (127 - 85) = 64.
    slide(c().contrastSlider, 150);
    later(301);
    EXPECT_EQ(count(workImage, grey(64)), 25);
    EXPECT_EQ(count(workImage, grey(100)), 12 * 9 - 25);
    const struct {
        int x, y;
        uint32_t colour;
    } corners[] = {{2, 1, grey(64)},  {6, 5, grey(64)},  {1, 1, grey(100)},
                   {7, 5, grey(100)}, {2, 0, grey(100)}, {6, 6, grey(100)}};
    for (const auto& p : corners)
        EXPECT_EQ(pixel(workImage, p.x, p.y), p.colour) << p.x << "," << p.y;
    EXPECT_EQ(selection.active, 1);
}

TEST_F(BrightnessWindowTest, TheHistogramShowsThePreviewWhileTheWindowIsOpen) {
    storeImage(viewImage, Image(4, 4, 24, rgb(100, 100, 100)));
    fitWindowToImage(viewImage);
    command(commandHistogramMenu);
    open();
    slide(c().contrastSlider, 200);  // 100 - (127 - 100) = 73
    later(301);
    EXPECT_EQ(windowTitle(histogramWindow), "Histogram | RGB Average = (73, 73, 73)");
    click(c().reset);
    EXPECT_EQ(windowTitle(histogramWindow), "Histogram | RGB Average = (100, 100, 100)");
    click(c().exit);
    EXPECT_EQ(windowTitle(histogramWindow), "Histogram | RGB Average = (100, 100, 100)");
}

TEST_F(BrightnessWindowTest, OptionsAreRememberedAcrossOpenings) {
    open();
    setControlState(c().wrap, 1);
    click(c().wrap);
    setControlState(c().blue, 0);
    click(c().blue);
    click(c().exit);
    open();
    EXPECT_EQ(controlState(c().wrap), 1);
    EXPECT_EQ(controlState(c().holdRatio), 0);
    EXPECT_EQ(controlState(c().blue), 0);
    EXPECT_EQ(controlState(c().red), 1);
}

}  // namespace
