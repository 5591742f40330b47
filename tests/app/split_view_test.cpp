// The split before/after view of the tool windows: the document left of the divider, the
// preview right of it; a drag on the canvas moves the divider and changes nothing else.

#include <string>

#include "adjust/brightness_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/quantize_window.h"
#include "quantize/styles.h"
#include "quantize/two_colors_window.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

// A 400 x 300 document at canvas (200, 75) on the 800 x 450 view.
constexpr int left = 200;
constexpr int top = 75;
constexpr uint32_t divider = 0xFFFFFF | alphaMask;

class SplitViewTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, randomImage(400, 300, 21, 24));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        document = *findImage(viewImage);
    }

    static void click(int window, int control) { controlEvent(window, control); }
    static void check(int window, int box, bool on) {
        setControlState(box, on ? 1 : 0);
        click(window, box);
    }

    // Canvas column x of image row y: the document's pixel left of the divider, the
    // preview's right of it, the divider's colour on it.
    void expectSplitAt(int dividerX, const Image& preview, int row) const {
        const Image& canvasNow = *canvasBuffer(canvas);
        for (int x = left; x < left + 400; ++x) {
            uint32_t want = x < dividerX   ? document.at(x - left, row) | alphaMask
                            : x > dividerX ? preview.at(x - left, row) | alphaMask
                                           : divider;
            ASSERT_EQ(canvasNow.at(x, top + row), want) << "column " << x;
        }
    }

    Image document;
};

TEST_F(SplitViewTest, QuantizeShowsSourceLeftAndPreviewRightAndTheDragMovesOnlyTheDivider) {
    command(commandSelector);
    selection.active = 1;
    selection.x1 = left + 10;
    selection.x2 = left + 30;
    selection.y1 = top + 10;
    selection.y2 = top + 40;
    command(commandQuantize);
    const QuantizeControls& c = quantizeControls;
    setControlState(c.styleList, 3);  // CGA (16)
    click(quantizeWindow, c.styleList);
    selection.active = 0;  // the whole preview
    click(quantizeWindow, c.testButton);
    const Image preview = *findImage(toolImage);
    ASSERT_NE(preview, document);

    check(quantizeWindow, c.splitBox, true);
    // The divider starts at the middle of the canvas: image column 200.
    EXPECT_EQ(splitColumn, 200);
    expectSplitAt(400, preview, 5);

    selection.active = 1;
    const Rect selected = selectionImageRect();
    const size_t steps = undoEntryCount();
    // A drag from canvas (400, 200) to (250, 200): the divider follows to column 50.
    canvasMouse(controlLeftButtonDown, 400, 200);
    canvasMouse(controlMouseMove, 320, 200);
    canvasMouse(controlMouseMove, 250, 200);
    canvasMouse(controlLeftButtonUp, 250, 200);
    drainEvents();
    EXPECT_EQ(splitColumn, 50);
    selection.active = 0;  // the frame would cross row 5's check
    refreshView(toolImage, 1);
    expectSplitAt(250, preview, 5);
    selection.active = 1;
    // Nothing else changed: the selection, the pan, the document, the history.
    EXPECT_EQ(selectionImageRect(), selected);
    EXPECT_EQ(panX, 0);
    EXPECT_EQ(*findImage(viewImage), document);
    EXPECT_EQ(undoEntryCount(), steps);

    // Past the picture's edges the divider stops at them.
    canvasMouse(controlLeftButtonDown, 10, 200);
    canvasMouse(controlLeftButtonUp, 10, 200);
    EXPECT_EQ(splitColumn, 0);
    canvasMouse(controlLeftButtonDown, 790, 200);
    canvasMouse(controlLeftButtonUp, 790, 200);
    EXPECT_EQ(splitColumn, 400);

    // Unchecked, the canvas is the preview again and the selector has the mouse back.
    check(quantizeWindow, c.splitBox, false);
    EXPECT_EQ(splitColumn, -1);
    selection.active = 0;
    refreshView(toolImage, 0);
    EXPECT_EQ(
        firstDifference(copyRect(*canvasBuffer(canvas), left, top, left + 399, top + 299), preview),
        "");
}

TEST_F(SplitViewTest, TwoColorsAndBrightnessSplitTooAndClosingEndsTheSplit) {
    command(commandTwoColors);
    drainEvents();
    check(twoColorsWindow, twoColorsControls.splitBox, true);
    ASSERT_TRUE(imageExists(workImage));
    expectSplitAt(400, *findImage(workImage), 100);
    postEvent(eventCloseWindow, twoColorsWindow);
    drainEvents();
    EXPECT_EQ(splitColumn, -1);
    EXPECT_EQ(firstDifference(copyRect(*canvasBuffer(canvas), left, top, left + 399, top + 299),
                              document),
              "");

    command(commandBrightness);
    check(brightnessWindow, brightnessControls.split, true);
    EXPECT_EQ(splitColumn, 200);
    click(brightnessWindow, brightnessControls.exit);
    EXPECT_EQ(splitColumn, -1);
    // Back in the main window a drag selects again.
    command(commandSelector);
    canvasMouse(controlLeftButtonDown, left + 5, top + 5);
    canvasMouse(controlMouseMove, left + 20, top + 20);
    canvasMouse(controlLeftButtonUp, left + 20, top + 20);
    EXPECT_EQ(selectionImageRect(), (Rect{5, 5, 20, 20}));
}

}  // namespace
