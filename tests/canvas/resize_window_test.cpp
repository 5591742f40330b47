// The resize image and resize canvas dialogs: their controls, the keep-aspect coupling,
// the clamps, the anchors and the background swatch, OK, Return, Cancel and the close
// boxes, with the events their loop reads posted as the controls would post them.

#include "canvas/resize_window.h"

#include "app/view.h"
#include "canvas/document_fixture.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

class ResizeDialogTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        document = show(randomImage(800, 600, 31, 24));
    }

    // A click on (or another change of) a control of the open dialog.
    static void post(int control) { postControl(resizeDialog.window, control); }
    static void type(int field, const std::string& text) {
        typeInto(resizeDialog.window, field, text);
    }

    // Runs the open dialog's loop over the events queued so far, then the main loop's. A
    // close box queued last ends a dialog that missed its OK, so the test fails instead of
    // waiting; once the dialog is gone, nobody hears it.
    static void run() {
        postEvent(eventCloseWindow, resizeDialog.window);
        runResizeDialog();
        drainEvents();
    }

    static void expectClosed(int window) {
        EXPECT_FALSE(isWindow(window));
        EXPECT_EQ(anyToolWindowOpen(), 0);
        EXPECT_EQ(resizeDialog.window, -1);
    }

    Image document;
};

TEST_F(ResizeDialogTest, ResizeImageShowsTheSizeAndItsControls) {
    ASSERT_TRUE(openResizeImageDialog());
    const ResizeDialog& d = resizeDialog;
    EXPECT_EQ(windowTitle(resizeImageWindow), "resize image");
    EXPECT_EQ(windowWidth(resizeImageWindow), 165);
    EXPECT_EQ(windowHeight(resizeImageWindow), 130);
    EXPECT_EQ(anyToolWindowOpen(), 32);
    EXPECT_EQ(controlText(d.widthField), "800");
    EXPECT_EQ(controlText(d.heightField), "600");
    EXPECT_EQ(controlText(d.keepAspect), "keep aspect ratio");
    EXPECT_EQ(controlState(d.keepAspect), 1);
    EXPECT_EQ(controlText(d.okButton), "OK");
    EXPECT_EQ(controlX(d.okButton), 95);
    EXPECT_EQ(controlY(d.okButton), 100);
    EXPECT_EQ(controlText(d.cancelButton), "Cancel");
    EXPECT_EQ(controlX(d.cancelButton), 10);
    EXPECT_TRUE(hasKeyboardShortcut(resizeImageWindow, "Return"));
    EXPECT_TRUE(isCanvas(canvas));  // its controls took free numbers
    // While it is open, no other dialog opens.
    EXPECT_FALSE(openResizeCanvasDialog());

    post(d.cancelButton);
    run();
    expectClosed(resizeImageWindow);
    EXPECT_FALSE(hasKeyboardShortcut(resizeImageWindow, "Return"));
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(ResizeDialogTest, KeepAspectCouplesTheFieldsWhileItIsTicked) {
    // 800 x 600: 400 wide makes 300 high.
    ASSERT_TRUE(openResizeImageDialog());
    type(resizeDialog.widthField, "400");
    post(resizeDialog.okButton);
    run();
    EXPECT_EQ(view().width, 400);
    EXPECT_EQ(view().height, 300);
    EXPECT_EQ(undoEntryCount(), 2u);
    expectClosed(resizeImageWindow);

    // 301 high makes 301 / 0.75 = 401.33, so 401 wide.
    ASSERT_TRUE(openResizeImageDialog());
    type(resizeDialog.heightField, "301");
    post(resizeDialog.okButton);
    run();
    EXPECT_EQ(view().width, 401);
    EXPECT_EQ(view().height, 301);

    // Unticked, the other field keeps what it shows.
    ASSERT_TRUE(openResizeImageDialog());
    setControlState(resizeDialog.keepAspect, 0);
    post(resizeDialog.keepAspect);
    type(resizeDialog.widthField, "500");
    post(resizeDialog.okButton);
    run();
    EXPECT_EQ(view().width, 500);
    EXPECT_EQ(view().height, 301);
    EXPECT_EQ(undoEntryCount(), 4u);
}

TEST_F(ResizeDialogTest, SidesOutOfRangeAreClampedAndTheWindowRefitted) {
    document = show(randomImage(40, 30, 32));
    ASSERT_TRUE(openResizeImageDialog());
    setControlState(resizeDialog.keepAspect, 0);
    type(resizeDialog.widthField, "10");
    type(resizeDialog.heightField, "5000");
    post(resizeDialog.okButton);
    run();
    EXPECT_EQ(view().width, 16);
    EXPECT_EQ(view().height, 4096);
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.maxX - selection.minX + 1, 16);  // laid out for the new size

    // An empty field counts as 0 and is raised to the least size.
    ASSERT_TRUE(openResizeImageDialog());
    setControlState(resizeDialog.keepAspect, 0);
    type(resizeDialog.widthField, "");
    post(resizeDialog.okButton);
    run();
    EXPECT_EQ(view().width, 16);
    EXPECT_EQ(view().height, 4096);
}

TEST_F(ResizeDialogTest, ReturnActsAsOk) {
    ASSERT_TRUE(openResizeImageDialog());
    type(resizeDialog.widthField, "100");
    // The shortcut fires as the key would make it.
    emit windowRecord(resizeImageWindow)->shortcuts.at("Return")->activated();
    run();
    EXPECT_EQ(view().width, 100);
    EXPECT_EQ(view().height, 75);
    expectClosed(resizeImageWindow);
}

TEST_F(ResizeDialogTest, CloseBoxesCancelAndOtherWindowsWait) {
    ASSERT_TRUE(openResizeCanvasDialog());
    type(resizeDialog.widthField, "900");
    postEvent(eventMenu, mainWindow, commandNegative);  // the main window waits...
    postEvent(eventCloseWindow, histogramWindow);       // ...and so do the others
    postEvent(eventCloseWindow, resizeCanvasWindow);
    run();
    expectClosed(resizeCanvasWindow);
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(quitRequested, 0);

    // Closing the main window ends the dialog too, and asks to quit.
    ASSERT_TRUE(openResizeImageDialog());
    type(resizeDialog.widthField, "900");
    postEvent(eventCloseWindow, mainWindow);
    run();
    expectClosed(resizeImageWindow);
    EXPECT_EQ(view(), document);
    EXPECT_EQ(quitRequested, 1);
}

TEST_F(ResizeDialogTest, ResizeCanvasShowsTheGridAndTheSwatch) {
    ASSERT_TRUE(openResizeCanvasDialog());
    const ResizeDialog& d = resizeDialog;
    EXPECT_EQ(windowTitle(resizeCanvasWindow), "resize canvas");
    EXPECT_EQ(windowWidth(resizeCanvasWindow), 240);
    EXPECT_EQ(windowHeight(resizeCanvasWindow), 165);
    EXPECT_EQ(anyToolWindowOpen(), 16);
    EXPECT_EQ(controlX(d.okButton), 170);
    EXPECT_EQ(controlY(d.okButton), 130);
    EXPECT_EQ(controlX(d.cancelButton), 100);
    // Reading order in a frame at (150, 28): columns 5, 30, 55 and rows 5, 30, 55 inside.
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(controlX(d.positions[i]), 155 + 25 * (i % 3)) << i;
        EXPECT_EQ(controlY(d.positions[i]), 33 + 25 * (i / 3)) << i;
        EXPECT_EQ(controlState(d.positions[i]), i == 4 ? 1 : 0) << i;
    }
    const Image* swatch = findImage(d.swatchImage);
    ASSERT_NE(swatch, nullptr);
    EXPECT_EQ(*swatch, Image(70, 40, 32, opaqueBlack));  // black at start-up
    int swatchImage = d.swatchImage;
    post(d.cancelButton);
    run();
    EXPECT_FALSE(imageExists(swatchImage));  // freed with the dialog
    expectClosed(resizeCanvasWindow);
}

TEST_F(ResizeDialogTest, AnchorsPlaceTheOldPictureOnTheChosenBackground) {
    document = show(randomImage(100, 50, 33, 24));
    const uint32_t blue = rgb(0, 0, 255);
    scripted.colourAnswers = {blue};
    ASSERT_TRUE(openResizeCanvasDialog());
    setControlState(resizeDialog.keepAspect, 0);
    type(resizeDialog.widthField, "151");
    post(resizeDialog.swatch);  // a click on the swatch opens the colour picker
    post(resizeDialog.okButton);
    run();
    // Position 5: at ((151 - 100) / 2, 0) = (25, 0).
    Image expected(151, 50, 32, blue | alphaMask);
    drawImage(expected, document, 25, 0);
    EXPECT_EQ(firstDifference(view(), expected), "");
    EXPECT_EQ(undoEntryCount(), 2u);

    // The colour is offered again; position 9 puts the picture at (51, 0) of the new size.
    command(commandUndo);
    ASSERT_TRUE(openResizeCanvasDialog());
    EXPECT_EQ(findImage(resizeDialog.swatchImage)->at(0, 0), blue | alphaMask);
    setControlState(resizeDialog.keepAspect, 0);
    setControlState(resizeDialog.positions[8], 1);
    type(resizeDialog.widthField, "151");
    scripted.colourAnswers = {-1};  // the picker is cancelled: the colour stays
    post(resizeDialog.swatch);
    post(resizeDialog.okButton);
    run();
    expected = Image(151, 50, 32, blue | alphaMask);
    drawImage(expected, document, 51, 0);
    EXPECT_EQ(firstDifference(view(), expected), "");
    EXPECT_EQ(resizeSettings.resizeCanvasColour, blue);
}

TEST_F(ResizeDialogTest, AResizeCanvasSmallerThanTheImageStillRecordsAStep) {
    ASSERT_TRUE(openResizeCanvasDialog());
    type(resizeDialog.widthField, "10");
    post(resizeDialog.okButton);
    run();
    ASSERT_EQ(view().width, 800);
    ASSERT_EQ(view().height, 600);
    EXPECT_EQ(view().pixels, document.pixels);
    EXPECT_EQ(undoEntryCount(), 2u);
}

TEST_F(ResizeDialogTest, TheMenuCommandRunsTheDialogToItsEnd) {
    bool opened = false;
    // Once the dialog waits for the user: type a height and press OK.
    whenIdle({[&] {
        opened = isWindow(resizeCanvasWindow);
        setControlState(resizeDialog.keepAspect, 0);
        type(resizeDialog.heightField, "700");
        post(resizeDialog.okButton);
        postEvent(eventCloseWindow, resizeCanvasWindow);
    }});
    command(commandResizeCanvas);
    EXPECT_TRUE(opened);
    expectClosed(resizeCanvasWindow);
    EXPECT_EQ(view().width, 800);
    EXPECT_EQ(view().height, 700);
    EXPECT_EQ(view().at(0, 0), opaqueBlack);  // the band above the centred picture
    EXPECT_EQ(view().at(0, 50), document.at(0, 0));
}

TEST_F(ResizeDialogTest, ResizeImageLeavesAnUnchangedSizeAloneEvenPast4096) {
    // As wide as a 12 MP photograph, not as tall.
    document = show(randomImage(4272, 20, 35, 24));
    ASSERT_TRUE(openResizeImageDialog());
    emit windowRecord(resizeImageWindow)->shortcuts.at("Return")->activated();
    run();
    expectClosed(resizeImageWindow);
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 1u);  // nothing done, nothing to undo
}

TEST_F(ResizeDialogTest, ResizeImageClampsBothSidesByOneFactorUnderKeepAspect) {
    document = show(randomImage(20, 200, 36, 24));
    ASSERT_TRUE(openResizeImageDialog());
    type(resizeDialog.heightField, "8000");  // the width follows: 800
    post(resizeDialog.okButton);
    run();
    // 800 * 4096 / 8000 = 409.6: the picture keeps its shape instead of 800 x 4096.
    EXPECT_EQ(view().width, 410);
    EXPECT_EQ(view().height, 4096);
    EXPECT_EQ(undoEntryCount(), 2u);
}

TEST_F(ResizeDialogTest, ResizeCanvasLabelsShowWhole) {
    ASSERT_TRUE(openResizeCanvasDialog());
    const ResizeDialog& d = resizeDialog;
    // "position" ends above the frame of the nine buttons...
    EXPECT_LE(controlY(d.positionLabel) + controlHeight(d.positionLabel), controlY(d.grid));
    // ..."background" inside the window, below the swatch.
    EXPECT_LE(controlY(d.backgroundLabel) + controlHeight(d.backgroundLabel),
              windowHeight(resizeCanvasWindow));
    EXPECT_GE(controlY(d.backgroundLabel), controlY(d.swatch) + controlHeight(d.swatch));
    for (int label : {d.positionLabel, d.backgroundLabel}) {
        EXPECT_GE(controlWidth(label), controlPreferredWidth(label)) << controlText(label);
        EXPECT_LE(controlX(label) + controlWidth(label), windowWidth(resizeCanvasWindow));
    }
    post(d.cancelButton);
    run();
}

TEST(ResizeFields, ReadTheLeadingDigits) {
    EXPECT_EQ(fieldValue(""), 0);
    EXPECT_EQ(fieldValue("0"), 0);
    EXPECT_EQ(fieldValue("00123"), 123);
    EXPECT_EQ(fieldValue("4096x"), 4096);
    EXPECT_EQ(fieldValue("99999999999999999999999"), 1'000'000'000);
}

}  // namespace
