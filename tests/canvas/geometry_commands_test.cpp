// The Rotate menu and crop through the dispatcher: which pixels change, the undo steps,
// the refit of the window and what becomes of the selection.

#include "canvas/geometry_commands.h"

#include "app/view.h"
#include "canvas/document_fixture.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "toolkit/image_store.h"

namespace {

class GeometryCommandsTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        document = show(randomImage(60, 40, 21));
    }

    // The width of the image's extent on the canvas, as the last layout set it.
    static int extentWidth() { return selection.maxX - selection.minX + 1; }

    Image document;
};

TEST_F(GeometryCommandsTest, QuarterTurnsAreStepsThatRefitTheWindow) {
    command(commandRotateRight);
    ASSERT_EQ(view().width, 40);
    ASSERT_EQ(view().height, 60);
    EXPECT_EQ(extentWidth(), 40);  // laid out again for the new size
    // Clockwise: the left column becomes the top row, read bottom to top.
    for (int y = 0; y < 40; ++y) EXPECT_EQ(view().at(39 - y, 0), document.at(0, y)) << y;
    EXPECT_EQ(view().at(0, 59), document.at(59, 39));
    EXPECT_EQ(undoEntryCount(), 2u);

    for (int turn = 0; turn < 3; ++turn) command(commandRotateRight);
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 5u);

    command(commandRotateLeft);
    EXPECT_EQ(view().at(0, 59), document.at(0, 0));  // the top-left went down
    command(commandUndo);
    EXPECT_EQ(view(), document);
    EXPECT_EQ(extentWidth(), 60);  // undo across a size change refits as well
}

TEST_F(GeometryCommandsTest, AQuarterTurnIgnoresTheSelectionAndDropsIt) {
    selectImageRect(Rect{5, 5, 20, 15});
    command(commandRotateLeft);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(view().width, 40);
    // Counter-clockwise: the top row becomes the left column, read bottom to top.
    for (int x = 0; x < 60; ++x) EXPECT_EQ(view().at(0, 59 - x), document.at(x, 0)) << x;
}

TEST_F(GeometryCommandsTest, HalfTurnFlipAndMirrorChangeOnlyTheSelectionAndKeepIt) {
    const Rect r{10, 5, 29, 16};  // 20 x 12
    selectImageRect(r);
    command(commandFlip);
    command(commandMirror);
    EXPECT_EQ(selection.active, 1);
    // Flip then mirror is a half turn of whole pixels.
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
            uint32_t expected = inside ? document.at(r.right - (x - r.left), r.bottom - (y - r.top))
                                       : document.at(x, y);
            ASSERT_EQ(view().at(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(undoEntryCount(), 3u);

    // The half turn brings the colours back but leaves the alphas where they were.
    command(commandRotate180);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
            uint32_t colour = document.at(x, y) & colourMask;
            uint32_t alpha = inside ? document.at(r.right - (x - r.left), r.bottom - (y - r.top))
                                    : document.at(x, y);
            ASSERT_EQ(view().at(x, y), colour | (alpha & alphaMask)) << x << "," << y;
        }
    }
    EXPECT_EQ(undoEntryCount(), 4u);
    EXPECT_EQ(selection.active, 1);
}

TEST_F(GeometryCommandsTest, FlipFollowsTheSelectionOnADraggedImage) {
    document = show(randomImage(1300, 900, 22, 24));
    ASSERT_EQ(imageExceedsView, 1);
    canvasMouse(controlLeftButtonDown, 300, 200);
    canvasMouse(controlMouseMove, 200, 120);
    canvasMouse(controlLeftButtonUp, 200, 120);
    drainEvents();
    ASSERT_NE(scrollX - panX, (1300 - canvasBuffer(canvas)->width) / 2);  // really dragged
    command(commandSelector);
    selection.active = 1;
    selection.x1 = 10;
    selection.x2 = 29;
    selection.y1 = 20;
    selection.y2 = 24;
    // Canvas column x shows image column scrollX - panX + x - minX (minX is 0 here).
    const int left = scrollX - panX + 10, top = scrollY - panY + 20;
    command(commandFlip);
    for (int y = top - 2; y <= top + 6; ++y) {
        for (int x = left - 2; x <= left + 21; ++x) {
            bool inside = x >= left && x <= left + 19 && y >= top && y <= top + 4;
            uint32_t expected = inside ? document.at(x, top + 4 - (y - top)) : document.at(x, y);
            ASSERT_EQ(view().at(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(GeometryCommandsTest, CropKeepsTheSelectedRectangleAndReturnsToMover) {
    command(commandCrop);  // no selection: nothing
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 1u);

    selectImageRect(Rect{7, 3, 31, 22});
    command(commandCrop);
    EXPECT_EQ(view(), copyRect(document, 7, 3, 31, 22));
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(selection.canvasControl, -1);  // the selector let go of the canvas
    EXPECT_EQ(cursorMode, moverMode);
    EXPECT_EQ(extentWidth(), 25);
    EXPECT_EQ(cropToSelection(viewImage), 0);  // and there is nothing left to crop by
}

TEST_F(GeometryCommandsTest, CtrlArrowsDoNothingWithoutAFloatingSection) {
    for (int id : {commandCtrlRight, commandCtrlLeft, commandCtrlUp, commandCtrlDown}) {
        command(id);
    }
    EXPECT_EQ(view(), document);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(GeometryCommandsTest, AQuarterTurnOfAnImageOfUnknownDepthChangesNothing) {
    findImage(viewImage)->depth = 8;
    EXPECT_EQ(rotateQuarter(viewImage, 1), 0);
    EXPECT_EQ(view().width, 60);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_EQ(rotateQuarter(12345, 1), 0);  // no such image
}

}  // namespace
