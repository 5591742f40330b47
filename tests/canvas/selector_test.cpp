// The selection rectangle driven through the canvas as Qt delivers mouse events: the
// record, the events posted to the main window, the exclusive-or frame in the canvas
// buffer, the keyboard nudges, grabSelection and the selection status field.

#include "canvas/selector.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/view.h"
#include "core/commands.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr uint32_t frameXor = 0x888888;

// The splash fills the start-up canvas exactly.
constexpr int splashMaxX = 799;
constexpr int splashMaxY = 449;

// A 400 x 300 image is centred on the 800 x 450 minimum view.
constexpr int smallW = 400;
constexpr int smallH = 300;
constexpr int smallMinX = 200;
constexpr int smallMaxX = 599;
constexpr int smallMinY = 75;
constexpr int smallMaxY = 374;

void press(int x, int y) {
    canvasMouse(controlLeftButtonDown, x, y);
}
void moveTo(int x, int y) {
    canvasMouse(controlMouseMove, x, y);
}
void release(int x, int y) {
    canvasMouse(controlLeftButtonUp, x, y);
}

void drag(int fromX, int fromY, int toX, int toY) {
    press(fromX, fromY);
    moveTo(toX, toY);
    release(toX, toY);
}

// The program events queued since the last call (the canvas's own control events, which
// the toolkit queues as well, are dropped).
std::vector<Event> programEvents() {
    std::vector<Event> out;
    for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) {
        if (e.kind >= firstProgramEvent) out.push_back(e);
    }
    return out;
}

std::vector<int> kinds(const std::vector<Event>& events) {
    std::vector<int> out;
    for (const Event& e : events) out.push_back(e.kind);
    return out;
}

// `clean` with a selection frame over it: the outline of (x1, y1)..(x2, y2) and, with
// `grip`, the 8 x 8 square whose far corner is one pixel inside (x2, y2). Every drawing is
// an exclusive-or, so a pixel covered by both comes back to its own value.
Image withFrame(const Image& clean, int x1, int y1, int x2, int y2, bool grip) {
    Image out = clean;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            bool inBox = x >= x1 && x <= x2 && y >= y1 && y <= y2;
            int hits = (inBox && (x == x1 || x == x2 || y == y1 || y == y2)) ? 1 : 0;
            if (grip && x >= x2 - gripSize && x < x2 && y >= y2 - gripSize && y < y2) ++hits;
            if (hits % 2 == 1) out.at(x, y) ^= frameXor;
        }
    }
    return out;
}

Image canvasNow() {
    return *canvasBuffer(canvas);
}

void expectRect(int x1, int y1, int x2, int y2) {
    EXPECT_EQ(selection.x1, x1);
    EXPECT_EQ(selection.y1, y1);
    EXPECT_EQ(selection.x2, x2);
    EXPECT_EQ(selection.y2, y2);
}

bool sameRecord(const SelectionRecord& a, const SelectionRecord& b) {
    return a.canvasControl == b.canvasControl && a.active == b.active && a.x1 == b.x1 &&
           a.x2 == b.x2 && a.y1 == b.y1 && a.y2 == b.y2 && a.minX == b.minX && a.maxX == b.maxX &&
           a.minY == b.minY && a.maxY == b.maxY;
}

class SelectorTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        command(commandSelector);
        clearEvents();
        clean = canvasNow();
    }

    // Shows `image` as the document, fitted, in selector mode, with nothing queued.
    void showDocument(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        drainEvents();
        command(commandSelector);
        clearEvents();
        clean = canvasNow();
    }

    Image clean;  // the canvas without any frame
};

TEST_F(SelectorTest, ModeSwitchAttachesWithImageBounds) {
    EXPECT_EQ(selection.canvasControl, canvas);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(selection.minX, 0);
    EXPECT_EQ(selection.maxX, splashMaxX);
    EXPECT_EQ(selection.minY, 0);
    EXPECT_EQ(selection.maxY, splashMaxY);
    EXPECT_EQ(canvasCursor(canvas), cursorCross);

    showDocument(randomImage(smallW, smallH, 3, 24));
    EXPECT_EQ(selection.minX, smallMinX);
    EXPECT_EQ(selection.maxX, smallMaxX);
    EXPECT_EQ(selection.minY, smallMinY);
    EXPECT_EQ(selection.maxY, smallMaxY);
}

TEST_F(SelectorTest, DragRightAndDownCoversAnchorToPointer) {
    press(10, 10);
    expectRect(10, 10, 10, 10);
    moveTo(15, 12);
    // While dragging only the outline is shown, no grip.
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 10, 10, 15, 12, false)), "");
    moveTo(20, 15);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 10, 10, 20, 15, false)), "");
    release(20, 15);
    EXPECT_EQ(selection.active, 1);
    expectRect(10, 10, 20, 15);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 10, 10, 20, 15, true)), "");

    std::vector<Event> events = programEvents();
    ASSERT_EQ(kinds(events),
              (std::vector<int>{selectionDraggedEvent, selectionDraggedEvent, selectionDoneEvent}));
    for (const Event& e : events) EXPECT_EQ(e.window, mainWindow);
    EXPECT_EQ(events[0].object, canvas);
    EXPECT_EQ(events[0].type, 0);
}

TEST_F(SelectorTest, DragLeftAndUpLeavesOutTheAnchor) {
    press(20, 15);
    moveTo(10, 10);
    // The outline already covers the pixels the selection will have.
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 10, 10, 19, 14, false)), "");
    release(10, 10);
    EXPECT_EQ(selection.active, 1);
    expectRect(10, 10, 19, 14);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 10, 10, 19, 14, true)), "");
    EXPECT_EQ(kinds(programEvents()),
              (std::vector<int>{selectionDraggedEvent, selectionDoneEvent}));

    // A press elsewhere takes the whole frame away again.
    press(300, 300);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

TEST_F(SelectorTest, PressesOutsideTheImageClampToItsBounds) {
    showDocument(randomImage(smallW, smallH, 5, 24));

    // Right of and below the image the anchor is one past the bound...
    press(700, 440);
    expectRect(smallMaxX + 1, smallMaxY + 1, smallMaxX + 1, smallMaxY + 1);
    moveTo(550, 300);
    release(550, 300);
    // ...so dragging back still takes the last column and row.
    expectRect(550, 300, smallMaxX, smallMaxY);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 550, 300, smallMaxX, smallMaxY, true)),
              "");

    // Left of and above it the anchor is the bound itself.
    press(50, 20);
    expectRect(smallMinX, smallMinY, smallMinX, smallMinY);
    moveTo(250, 100);
    release(250, 100);
    expectRect(smallMinX, smallMinY, 250, 100);
}

TEST_F(SelectorTest, CreatingDragReportsTheBoundsThePointerReaches) {
    showDocument(randomImage(smallW, smallH, 7, 24));
    press(300, 200);
    programEvents();
    moveTo(10, 10);  // clamped to the top-left corner of the image
    EXPECT_EQ(selectorState.edgeMask, touchesMinX | touchesMinY);
    moveTo(780, 440);  // clamped to the bottom-right corner
    EXPECT_EQ(selectorState.edgeMask, touchesMaxX | touchesMaxY);
    moveTo(400, 440);
    EXPECT_EQ(selectorState.edgeMask, touchesMaxY);
    moveTo(400, 250);
    EXPECT_EQ(selectorState.edgeMask, 0);
    std::vector<Event> events = programEvents();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].type, touchesMinX | touchesMinY);
    EXPECT_EQ(events[1].type, touchesMaxX | touchesMaxY);
    EXPECT_EQ(events[2].type, touchesMaxY);
    EXPECT_EQ(events[3].type, 0);
    moveTo(10, 10);
    release(10, 10);
    expectRect(smallMinX, smallMinY, 299, 199);
}

TEST_F(SelectorTest, MouseMovesWithoutTheButtonDoNothing) {
    moveTo(10, 10);
    moveTo(50, 40);
    EXPECT_EQ(selection.active, 0);
    EXPECT_TRUE(programEvents().empty());
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

TEST_F(SelectorTest, ClickOutsideRemovesTheSelectionClickInsideKeepsIt) {
    drag(100, 100, 200, 180);
    programEvents();
    Image framed = canvasNow();

    for (auto [x, y] : {std::pair{150, 120}, std::pair{195, 175}}) {  // inside, on the grip
        press(x, y);
        release(x, y);
        EXPECT_EQ(selection.active, 1) << x;
        expectRect(100, 100, 200, 180);
        EXPECT_EQ(kinds(programEvents()), std::vector<int>{selectionDoneEvent}) << x;
        EXPECT_EQ(firstDifference(canvasNow(), framed), "") << x;
    }

    press(300, 300);
    release(300, 300);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(kinds(programEvents()), std::vector<int>{selectionClearedEvent});
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");

    // A click with nothing shown makes nothing either.
    press(40, 40);
    release(40, 40);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(kinds(programEvents()), std::vector<int>{selectionClearedEvent});
}

TEST_F(SelectorTest, DragsThatCoverNoPixelsLeaveNoSelectionAndNoTrace) {
    // One pixel up and left: the anchor's own column and row are left out.
    press(10, 10);
    moveTo(9, 9);
    release(9, 9);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    EXPECT_EQ(kinds(programEvents()),
              (std::vector<int>{selectionDraggedEvent, selectionClearedEvent}));

    // Out and back into the anchor's column: no width.
    press(50, 50);
    moveTo(80, 70);
    moveTo(50, 70);
    release(50, 70);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    EXPECT_EQ(programEvents().back().kind, selectionClearedEvent);
}

TEST_F(SelectorTest, MovingCentresTheRectangleAndStopsAtTheBounds) {
    drag(100, 100, 106, 129);  // 7 wide, 30 high
    expectRect(100, 100, 106, 129);
    programEvents();

    press(103, 110);  // inside, above the grip
    struct Step {
        int px, py;
        int x1, y1;
        int mask;
    };
    // Left edge at pointer x - 3, top edge at pointer y - 15.
    const Step steps[] = {
        {300, 200, 297, 185, 0},
        {2, 200, 0, 185, touchesMinX},
        {798, 200, 793, 185, touchesMaxX},
        {300, 0, 297, 0, touchesMinY},
        {300, 449, 297, 420, touchesMaxY},
        {-50, -50, 0, 0, touchesMinX | touchesMinY},
        {5000, 5000, 793, 420, touchesMaxX | touchesMaxY},
        {400, 300, 397, 285, 0},
    };
    for (const Step& s : steps) {
        moveTo(s.px, s.py);
        expectRect(s.x1, s.y1, s.x1 + 6, s.y1 + 29);
        EXPECT_EQ(selectorState.edgeMask, s.mask) << s.px << "," << s.py;
        std::vector<Event> events = programEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, selectionDraggedEvent);
        EXPECT_EQ(events[0].type, s.mask);
    }
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 397, 285, 403, 314, false)), "");
    release(400, 300);
    expectRect(397, 285, 403, 314);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 397, 285, 403, 314, true)), "");
    EXPECT_EQ(kinds(programEvents()), std::vector<int>{selectionDoneEvent});
}

TEST_F(SelectorTest, PressOnTheGripResizesFromTheTopLeftCorner) {
    drag(100, 100, 150, 150);
    // The grip covers 142..149; 141 is inside the rectangle but not on the grip.
    press(142, 142);
    moveTo(200, 180);
    release(200, 180);
    expectRect(100, 100, 200, 180);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 100, 100, 200, 180, true)), "");

    // Past the fixed corner the rectangle turns over it.
    press(195, 175);
    moveTo(80, 90);
    release(80, 90);
    expectRect(80, 90, 99, 99);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 80, 90, 99, 99, true)), "");
}

TEST_F(SelectorTest, PressJustOutsideTheGripMoves) {
    drag(100, 100, 150, 150);
    press(141, 145);
    moveTo(141, 145);
    // 51 x 51 centred on the pointer: a move, not a resize.
    expectRect(116, 120, 166, 170);
    release(141, 145);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 116, 120, 166, 170, true)), "");
}

TEST_F(SelectorTest, PressOnTheOutlineStartsANewRectangle) {
    drag(100, 100, 150, 150);
    press(100, 120);  // the left edge itself
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    moveTo(130, 140);
    release(130, 140);
    expectRect(100, 120, 130, 140);
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 100, 120, 130, 140, true)), "");

    press(130, 130);  // the right edge, next to the grip
    release(130, 130);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

TEST_F(SelectorTest, EachArrowKeyNudgesOnePixel) {
    drag(100, 100, 150, 150);
    struct Nudge {
        int command;
        int x1, y1, x2, y2;
    };
    const Nudge nudges[] = {
        {commandLeft, 99, 100, 149, 150},       {commandRight, 100, 100, 150, 150},
        {commandUp, 100, 99, 150, 149},         {commandDown, 100, 100, 150, 150},
        {commandShiftLeft, 100, 100, 149, 150}, {commandShiftRight, 100, 100, 150, 150},
        {commandShiftUp, 100, 100, 150, 149},   {commandShiftDown, 100, 100, 150, 150},
    };
    for (const Nudge& n : nudges) {
        command(n.command);
        SCOPED_TRACE(n.command);
        expectRect(n.x1, n.y1, n.x2, n.y2);
        // The view is redrawn with the frame at the new place and nowhere else.
        EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, n.x1, n.y1, n.x2, n.y2, true)), "");
    }
    command(commandLeft);
    EXPECT_EQ(statusBarText(mainStatusBar, 1),
              "Size = 51 x 51 | x/y ratio = 1.00000 | xLeft = 99 | yTop = 100 | xRight = 149 | "
              "yBottom = 150");

    // The nudged frame is the one a later press erases.
    press(400, 400);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

TEST_F(SelectorTest, ArrowKeysStopAtTheBoundsAndAtTwoPixels) {
    drag(0, 0, 1, 1);
    expectRect(0, 0, 1, 1);
    for (int id : {commandLeft, commandUp, commandShiftLeft, commandShiftUp}) {
        command(id);
        expectRect(0, 0, 1, 1);
    }
    EXPECT_EQ(firstDifference(canvasNow(), withFrame(clean, 0, 0, 1, 1, true)), "");

    drag(splashMaxX - 1, splashMaxY - 1, splashMaxX, splashMaxY);
    expectRect(splashMaxX - 1, splashMaxY - 1, splashMaxX, splashMaxY);
    for (int id : {commandRight, commandDown, commandShiftRight, commandShiftDown}) {
        command(id);
        expectRect(splashMaxX - 1, splashMaxY - 1, splashMaxX, splashMaxY);
    }
    // Shrinking stops at two pixels, here too.
    command(commandShiftLeft);
    command(commandShiftUp);
    expectRect(splashMaxX - 1, splashMaxY - 1, splashMaxX, splashMaxY);
}

TEST_F(SelectorTest, ArrowKeysWithoutASelectionDoNothing) {
    drag(100, 100, 150, 150);
    press(300, 300);
    release(300, 300);
    drainEvents();
    SelectionRecord before = selection;
    for (int id = commandLeft; id <= commandShiftDown; ++id) {
        postEvent(eventMenu, mainWindow, id);
        Event e = windowEvent();
        routeEvent(e);
        EXPECT_TRUE(sameRecord(selection, before)) << id;
        EXPECT_TRUE(programEvents().empty()) << id;
    }
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

TEST_F(SelectorTest, GrabCopiesTheImagePixelsWithoutTheFrame) {
    drag(10, 10, 20, 15);
    Image framed = canvasNow();
    ASSERT_NE(grabSelection(selectionImage), 0);
    const Image& part = *findImage(selectionImage);
    ASSERT_EQ(part.width, 11);
    ASSERT_EQ(part.height, 6);
    const Image& view = *findImage(viewImage);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 11; ++x) {
            EXPECT_EQ(part.at(x, y), view.at(10 + x, 10 + y)) << x << "," << y;
            EXPECT_EQ(part.read(x, y), clean.read(10 + x, 10 + y)) << x << "," << y;
        }
    }
    EXPECT_EQ(firstDifference(canvasNow(), framed), "");

    press(500, 400);
    release(500, 400);
    EXPECT_EQ(grabSelection(selectionImage), 0);
}

TEST_F(SelectorTest, GrabOnASmallerImageStartsAtItsOwnOrigin) {
    showDocument(randomImage(smallW, smallH, 11, 24));
    drag(smallMinX, smallMinY, smallMinX + 10, smallMinY + 5);
    ASSERT_NE(grabSelection(selectionImage), 0);
    const Image& part = *findImage(selectionImage);
    const Image& view = *findImage(viewImage);
    ASSERT_EQ(part.width, 11);
    ASSERT_EQ(part.height, 6);
    EXPECT_EQ(part, copyRect(view, 0, 0, 10, 5));
}

TEST_F(SelectorTest, GrabAfterDraggingALargeImageFollowsThePan) {
    constexpr int bigW = 1200, bigH = 1000;
    command(commandMover);
    storeImage(viewImage, randomImage(bigW, bigH, 13, 24));
    fitWindowToImage(viewImage);
    drainEvents();
    const int cw = canvasBuffer(canvas)->width, ch = canvasBuffer(canvas)->height;
    ASSERT_EQ(cw, 800);
    ASSERT_LT(ch, bigH);

    // Drag the image 30 right and 20 down.
    press(400, 300);
    moveTo(430, 320);
    release(430, 320);
    ASSERT_EQ(panX, 30);
    ASSERT_EQ(panY, 20);
    Image panned = canvasNow();

    command(commandSelector);
    EXPECT_EQ(selection.minX, 0);
    EXPECT_EQ(selection.maxY, ch - 1);
    drag(10, 10, 20, 15);
    ASSERT_NE(grabSelection(selectionImage), 0);
    const Image& part = *findImage(selectionImage);
    ASSERT_EQ(part.width, 11);
    ASSERT_EQ(part.height, 6);
    // Canvas x 10 shows image column (1200 - 800) / 2 - 30 + 10 = 180.
    const int left = (bigW - cw) / 2 - 30 + 10, top = (bigH - ch) / 2 - 20 + 10;
    EXPECT_EQ(left, 180);
    EXPECT_EQ(part, copyRect(*findImage(viewImage), left, top, left + 10, top + 5));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 11; ++x) {
            EXPECT_EQ(part.at(x, y), panned.at(10 + x, 10 + y)) << x << "," << y;
        }
    }
}

TEST_F(SelectorTest, StatusFieldShowsTheSelectionInImagePixels) {
    drag(10, 10, 13, 12);
    drainEvents();
    EXPECT_EQ(statusBarText(mainStatusBar, 1),
              "Size = 4 x 3 | x/y ratio = 1.33333 | xLeft = 10 | yTop = 10 | xRight = 13 | "
              "yBottom = 12");

    // During a drag the field follows each step.
    press(100, 100);
    moveTo(149, 124);
    drainEvents();
    EXPECT_EQ(statusBarText(mainStatusBar, 1),
              "Size = 50 x 25 | x/y ratio = 2.00000 | xLeft = 100 | yTop = 100 | xRight = 149 | "
              "yBottom = 124");
    release(149, 124);

    press(300, 300);
    release(300, 300);
    drainEvents();
    EXPECT_EQ(statusBarText(mainStatusBar, 1), "");

    showDocument(randomImage(smallW, smallH, 17, 24));
    drag(210, 80, 212, 86);
    drainEvents();
    EXPECT_EQ(statusBarText(mainStatusBar, 1),
              "Size = 3 x 7 | x/y ratio = 0.42857 | xLeft = 10 | yTop = 5 | xRight = 12 | "
              "yBottom = 11");
}

TEST_F(SelectorTest, DroppingTheSelectionClearsItsStatusField) {
    drag(10, 10, 13, 12);
    drainEvents();
    ASSERT_NE(statusBarText(mainStatusBar, 1), "");

    command(commandMover);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(selection.canvasControl, -1);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    EXPECT_EQ(statusBarText(mainStatusBar, 1), "");

    // Mover mode leaves a text it did not write alone.
    setStatusBarText(mainStatusBar, 1, "kept");
    command(commandNegative);
    EXPECT_EQ(statusBarText(mainStatusBar, 1), "kept");

    // Detached: the canvas's mouse no longer reaches the selector.
    drag(100, 100, 150, 150);
    EXPECT_EQ(selection.active, 0);
    EXPECT_TRUE(programEvents().empty());

    // The space bar and a revert drop the selection and the text with it.
    for (int via : {0, 1}) {
        command(commandSelector);
        drag(10, 10, 13, 12);
        drainEvents();
        ASSERT_NE(statusBarText(mainStatusBar, 1), "");
        if (via == 0) {
            command(commandToggleCursorMode);
        } else {
            command(commandRevert);
        }
        EXPECT_EQ(selection.active, 0) << via;
        EXPECT_EQ(statusBarText(mainStatusBar, 1), "") << via;
    }
}

TEST_F(SelectorTest, InitializeSelectorRefusesBadParametersAndChangesNothing) {
    drag(100, 100, 150, 150);
    programEvents();
    const SelectionRecord before = selection;
    const Image framed = canvasNow();

    EXPECT_EQ(INITIALIZE_SELECTOR(canvas, 3), 0);
    EXPECT_EQ(INITIALIZE_SELECTOR(4321, -1), 0);
    useControlList(mainWindow);
    constexpr int button = 77;
    ASSERT_EQ(buttonControl(button, 0, 0, 10, 10, "b"), button);
    EXPECT_EQ(INITIALIZE_SELECTOR(button, -1), 0);
    freeControl(button);
    // Both wrong: only the scroll area is reported.
    EXPECT_EQ(INITIALIZE_SELECTOR(4321, 3), 0);

    const char* title = "INITIALIZE_SELECTOR()";
    const char* scrollText = "Error! Parameter is not a valid ScrollArea number.";
    const char* canvasText = "Error! Parameter is not a valid canvas number.";
    ASSERT_EQ(scripted.messages.size(), 4u);
    const char* expected[] = {scrollText, canvasText, canvasText, scrollText};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(scripted.messages[i].title, title) << i;
        EXPECT_EQ(scripted.messages[i].text, expected[i]) << i;
        EXPECT_EQ(scripted.messages[i].buttons, buttonsOk) << i;
    }
    EXPECT_TRUE(sameRecord(selection, before));
    EXPECT_EQ(firstDifference(canvasNow(), framed), "");
    EXPECT_EQ(canvasCursor(canvas), cursorCross);

    // The shown selection still works after the refusals.
    press(200, 200);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    release(200, 200);

    // A valid call on the attached canvas erases the frame and spans the whole canvas.
    drag(100, 100, 150, 150);
    EXPECT_EQ(INITIALIZE_SELECTOR(canvas, -1), 1);
    EXPECT_EQ(scripted.messages.size(), 4u);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(selection.maxX, canvasBuffer(canvas)->width - 1);
    EXPECT_EQ(selection.maxY, canvasBuffer(canvas)->height - 1);
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
}

}  // namespace
