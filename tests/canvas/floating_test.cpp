// The floating section on a real main window: pasted from the clipboard, moved, turned,
// placed or discarded, with the events its loop reads posted as the menus, shortcuts and
// canvas would post them. Checks that need the loop running are steps taken when it waits.

#include "canvas/floating.h"

#include <QClipboard>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

#include "app/main_window.h"
#include "app/view.h"
#include "canvas/document_fixture.h"
#include "canvas/nested_loop.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

namespace {

// A 400 x 300 document is centred on the 800 x 450 minimum view: its pixel (0, 0) is at
// canvas (200, 75) and it covers canvas columns 200..599 and rows 75..374.
constexpr int docW = 400;
constexpr int docH = 300;
constexpr int docLeft = 200;
constexpr int docTop = 75;
constexpr int viewW = 800;
constexpr int viewH = 450;

void postMenu(int id) {
    postEvent(eventMenu, mainWindow, id);
}

Event canvasEvent(int type, int x = 0, int y = 0) {
    Event e{
        .kind = eventControl, .window = mainWindow, .object = canvas, .type = type, .x = x, .y = y};
    return e;
}

void postMove(int x, int y) {
    postEvent(canvasEvent(controlMouseMove, x, y));
}

void postEscape() {
    Event e = canvasEvent(controlKeyDown);
    e.key = 27;
    postEvent(e);
}

// Return, then an Esc that ends a loop that missed the Return, so the test fails instead
// of waiting; after a placement the main loop ignores it.
void postReturn() {
    postMenu(commandPlaceSection);
    postEscape();
}

// An opaque image whose every pixel differs from its neighbours.
Image opaque(int w, int h, uint32_t seed) {
    return randomImage(w, h, seed, 24);
}

class FloatingTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        document = show(opaque(docW, docH, 1));
        ASSERT_EQ(canvasBuffer(canvas)->width, viewW);
        ASSERT_EQ(canvasBuffer(canvas)->height, viewH);
    }

    // Puts `section` on the clipboard. A test then queues the paste command and, after it,
    // the events the floating loop is to read.
    static void paste(const Image& section) { ASSERT_TRUE(setClipboardImage(section)); }

    // The document with `section` drawn opaquely with its top-left at image pixel (x, y).
    Image documentWith(const Image& section, int x, int y) const {
        Image out = document;
        drawImage(out, section, x, y);
        return out;
    }

    static void expectIdleAfterwards() {
        EXPECT_EQ(floatingActive, 0);
        EXPECT_FALSE(imageExists(workImage));
        EXPECT_FALSE(hasKeyboardShortcut(mainWindow, "Return"));
    }

    Image document;
};

TEST_F(FloatingTest, FloatsCentredAndReturnPlacesItWhereItIsShownAsOneStep) {
    Image section = opaque(100, 40, 2);
    paste(section);
    postMenu(commandPasteFloating);
    std::string status;
    int cursorWhileFloating = -1;
    whenIdle({[&] {
        status = statusBarText(mainStatusBar, selectionStatusField);
        cursorWhileFloating = canvasCursor(canvas);
        EXPECT_TRUE(hasKeyboardShortcut(mainWindow, "Return"));
        postReturn();
    }});
    drainEvents();
    // Centred on the canvas: (400 - 50, 225 - 20), shown in canvas coordinates.
    EXPECT_EQ(status, "xLeft = 350 | yTop = 205 | xRight = 449 | yBottom = 244");
    EXPECT_EQ(cursorWhileFloating, cursorArrows);
    EXPECT_EQ(
        firstDifference(*findImage(viewImage), documentWith(section, 350 - docLeft, 205 - docTop)),
        "");
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(statusBarText(mainStatusBar, selectionStatusField), "");
    EXPECT_EQ(canvasCursor(canvas), cursorDefault);  // mover mode, the image fits
    expectIdleAfterwards();
}

TEST_F(FloatingTest, EscDiscardsItAndLeavesNoStep) {
    paste(opaque(100, 40, 3));
    postMenu(commandPasteFloating);
    postMove(300, 200);
    postEscape();
    drainEvents();
    EXPECT_EQ(*findImage(viewImage), document);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
    // The status field no longer describes a section that is gone.
    EXPECT_EQ(statusBarText(mainStatusBar, selectionStatusField), "");
    expectIdleAfterwards();
}

TEST_F(FloatingTest, ALongStripIsCutToTheImageWidthAndStillFloats) {
    // 1000 x 50 onto 800 x 600: cut to 800 x 50, keeping its left part, and not placed
    // at once because it is not as high as the image.
    document = show(opaque(800, 600, 4));
    Image strip = opaque(1000, 50, 5);
    paste(strip);
    postMenu(commandPasteFloating);
    postEscape();
    drainEvents();
    EXPECT_EQ(floatingSection.width, 800);
    EXPECT_EQ(floatingSection.height, 50);
    EXPECT_EQ(*findImage(viewImage), document);
    EXPECT_EQ(undoEntryCount(), 1u);

    // Placed, it spans the whole width at the image's middle height.
    postMenu(commandPasteFloating);
    postReturn();
    drainEvents();
    const FloatingSection& f = floatingSection;
    int x = floatX - panX - f.offsetX, y = floatY - panY - f.offsetY;
    EXPECT_EQ(x, 0);
    EXPECT_LE(std::abs(y + 25 - 300), 1);
    EXPECT_EQ(
        firstDifference(*findImage(viewImage), documentWith(copyRect(strip, 0, 0, 799, 49), 0, y)),
        "");
    EXPECT_EQ(undoEntryCount(), 2u);
}

TEST_F(FloatingTest, ALargerImageIsCutAndPlacedAtOnceAsOneStep) {
    Image big = opaque(docW + 100, docH + 1, 6);
    paste(big);
    postMenu(commandPasteFloating);
    drainEvents();  // nothing else queued: the section places itself
    EXPECT_EQ(*findImage(viewImage), copyRect(big, 0, 0, docW - 1, docH - 1));
    EXPECT_EQ(undoEntryCount(), 2u);
    expectIdleAfterwards();
    command(commandUndo);
    EXPECT_EQ(*findImage(viewImage), document);
}

TEST_F(FloatingTest, AnImageOfTheImagesOwnSizeFloatsInsteadOfBeingPlaced) {
    Image same = opaque(docW, docH, 7);
    paste(same);
    postMenu(commandPasteFloating);
    int floating = 0;
    whenIdle({[&] {
        floating = floatingActive;
        postEscape();
    }});
    drainEvents();
    EXPECT_EQ(floating, 1);
    EXPECT_EQ(*findImage(viewImage), document);
    EXPECT_EQ(undoEntryCount(), 1u);
    // Centred, it lies exactly over the image.
    EXPECT_EQ(floatX, docLeft);
    EXPECT_EQ(floatY, docTop);
}

TEST_F(FloatingTest, CtrlRightTurnsItAboutItsCentre) {
    // A 100 x 40 section with its top-left at (200, 200) becomes 40 x 100 at (230, 170).
    Image section = opaque(100, 40, 8);
    paste(section);
    postMenu(commandPasteFloating);
    postMove(250, 220);  // the pointer holds the centre
    std::string before, after;
    whenIdle({[&] {
                  before = statusBarText(mainStatusBar, selectionStatusField);
                  postMenu(commandCtrlRight);
              },
              [&] {
                  after = statusBarText(mainStatusBar, selectionStatusField);
                  postReturn();
              }});
    drainEvents();
    EXPECT_EQ(before, "xLeft = 200 | yTop = 200 | xRight = 299 | yBottom = 239");
    EXPECT_EQ(after, "xLeft = 230 | yTop = 170 | xRight = 269 | yBottom = 269");
    EXPECT_EQ(floatingSection.width, 40);
    EXPECT_EQ(floatingSection.height, 100);
    // Turned clockwise, the section's bottom-left pixel is now its top-left.
    Image* view = findImage(viewImage);
    EXPECT_EQ(view->at(230 - docLeft, 170 - docTop), section.at(0, 39));
    EXPECT_EQ(view->at(269 - docLeft, 170 - docTop), section.at(0, 0));
    EXPECT_EQ(undoEntryCount(), 2u);  // the turn was no step of its own
}

TEST_F(FloatingTest, CtrlLeftTurnsBackAndCtrlUpAndDownReverseWithoutSteps) {
    Image section = opaque(6, 4, 9);
    paste(section);
    postMenu(commandPasteFloating);
    postMenu(commandCtrlRight);
    postMenu(commandCtrlLeft);  // back as it was
    postMenu(commandCtrlUp);    // mirrored
    postMenu(commandCtrlDown);  // and flipped: a half turn in all
    postReturn();
    drainEvents();
    Image turned(6, 4, 24);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) turned.at(x, y) = section.at(5 - x, 3 - y);
    }
    // Centred: (400 - 3, 225 - 2) on the canvas.
    EXPECT_EQ(
        firstDifference(*findImage(viewImage), documentWith(turned, 397 - docLeft, 223 - docTop)),
        "");
    EXPECT_EQ(undoEntryCount(), 2u);
}

TEST_F(FloatingTest, TheMouseKeepsItOverTheImageAndTheArrowsReachTheCanvasEdge) {
    Image section = opaque(100, 40, 10);
    paste(section);
    postMenu(commandPasteFloating);
    int afterMouse[2] = {0, 0}, afterLeft = 0, afterFarMouse[2] = {0, 0};
    whenIdle({[&] { postMove(0, 0); },  // far up and left: held at the image's corner
              [&] {
                  afterMouse[0] = floatX;
                  afterMouse[1] = floatY;
                  postMenu(commandLeft);  // one pixel beyond the image
              },
              [&] {
                  afterLeft = floatX;
                  postMove(5000, 5000);  // far down and right
              },
              [&] {
                  afterFarMouse[0] = floatX;
                  afterFarMouse[1] = floatY;
                  for (int i = 0; i < 100; ++i) postMenu(commandDown);
                  for (int i = 0; i < 300; ++i) postMenu(commandRight);
                  postEscape();
              }});
    drainEvents();
    EXPECT_EQ(afterMouse[0], docLeft);
    EXPECT_EQ(afterMouse[1], docTop);
    EXPECT_EQ(afterLeft, docLeft - 1);
    EXPECT_EQ(afterFarMouse[0], docLeft + docW - 100);
    EXPECT_EQ(afterFarMouse[1], docTop + docH - 40);
    // The keys stop at the canvas's edges, not the image's.
    EXPECT_EQ(floatX, viewW - 100);
    EXPECT_EQ(floatY, viewH - 40);
    EXPECT_EQ(undoEntryCount(), 1u);
}

TEST_F(FloatingTest, PartsBeyondTheImageAreDroppedWhenPlaced) {
    Image section = opaque(100, 40, 11);
    paste(section);
    postMenu(commandPasteFloating);
    postMove(0, 0);
    for (int i = 0; i < 30; ++i) postMenu(commandLeft);  // 30 columns left of the image
    postReturn();
    drainEvents();
    EXPECT_EQ(firstDifference(*findImage(viewImage), documentWith(section, -30, 0)), "");
}

TEST_F(FloatingTest, OtherCommandsAreIgnoredWhileItFloats) {
    command(commandNegative);
    Image negated = *findImage(viewImage);
    Image section = opaque(10, 10, 12);
    paste(section);
    postMenu(commandPasteFloating);
    postMenu(commandUndo);        // Ctrl+Z
    postMenu(commandNegative);    // a menu command
    postMenu(commandRotateLeft);  // one that would change the size
    postMenu(commandPasteFloating);
    postEvent(eventCloseWindow, histogramWindow);  // another window's close box
    postReturn();
    drainEvents();
    Image expected = negated;
    drawImage(expected, section, 395 - docLeft, 220 - docTop);
    EXPECT_EQ(firstDifference(*findImage(viewImage), expected), "");
    EXPECT_EQ(undoEntryCount(), 3u);
    EXPECT_EQ(undoPosition, 2);
    command(commandUndo);  // the step taken by the placement goes first
    EXPECT_EQ(*findImage(viewImage), negated);
}

TEST_F(FloatingTest, ASelectionIsRemovedBeforeItFloats) {
    selectImageRect(Rect{10, 10, 50, 40});
    paste(opaque(20, 20, 13));
    postMenu(commandPasteFloating);
    postEscape();
    drainEvents();
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(statusBarText(mainStatusBar, selectionStatusField), "");
    EXPECT_EQ(canvasCursor(canvas), cursorCross);  // back to the selector's cursor
}

TEST_F(FloatingTest, TheCanvasMouseNeitherDragsNorSelectsUnderIt) {
    // A document larger than the view can be dragged in mover mode, but not while a
    // section floats: the press, drag and release only move and place the section.
    document = show(opaque(1200, 700, 14));
    ASSERT_EQ(imageExceedsView, 1);
    int panBefore = panX;
    paste(opaque(30, 30, 15));
    postMenu(commandPasteFloating);
    int panDuring = 0;
    whenIdle({[&] {
        canvasMouse(controlLeftButtonDown, 100, 100);
        canvasMouse(controlMouseMove, 160, 130);
        panDuring = panX;
        canvasMouse(controlLeftButtonUp, 160, 130);
    }});
    drainEvents();
    EXPECT_EQ(panDuring, panBefore);
    EXPECT_EQ(moverDrag.dragging, 0);
    EXPECT_EQ(undoEntryCount(), 2u);  // the release placed it
    EXPECT_EQ(canvasCursor(canvas), cursorHand);

    // In selector mode the same gestures make no selection.
    command(commandSelector);
    postMenu(commandPasteFloating);
    int selecting = -1;
    whenIdle({[&] {
        canvasMouse(controlLeftButtonDown, 100, 100);
        canvasMouse(controlMouseMove, 160, 130);
        selecting = selection.active;
        canvasMouse(controlLeftButtonUp, 160, 130);
    }});
    drainEvents();
    EXPECT_EQ(selecting, 0);
    EXPECT_EQ(undoEntryCount(), 3u);
}

TEST_F(FloatingTest, ClosingTheMainWindowDiscardsItAndAsksToQuit) {
    paste(opaque(20, 20, 16));
    postMenu(commandPasteFloating);
    postEvent(eventCloseWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(quitRequested, 1);
    EXPECT_EQ(*findImage(viewImage), document);
    EXPECT_EQ(undoEntryCount(), 1u);
    expectIdleAfterwards();
}

TEST_F(FloatingTest, NothingHappensWithoutAnImageOnTheClipboardOrWithAToolWindowOpen) {
    QGuiApplication::clipboard()->setText("no picture here");
    postMenu(commandPasteFloating);
    postEscape();  // for the main loop, which ignores it
    drainEvents();
    expectIdleAfterwards();
    EXPECT_EQ(undoEntryCount(), 1u);

    paste(opaque(20, 20, 17));
    setToolWindowOpen(quantizeWindow, true);
    postMenu(commandPasteFloating);
    postReturn();
    drainEvents();
    setToolWindowOpen(quantizeWindow, false);
    EXPECT_EQ(*findImage(viewImage), document);
    expectIdleAfterwards();
}

TEST_F(FloatingTest, TransparentPixelsOfTheSectionLeaveTheImage) {
    Image section(4, 1, 32);
    section.pixels = {rgba(0, 0, 0, 0), rgba(255, 0, 0, 255), rgba(0, 0, 0, 0),
                      rgba(0, 255, 0, 255)};
    paste(section);
    postMenu(commandPasteFloating);
    postReturn();
    drainEvents();
    // Centred at (398, 225): image pixels 198..201 of row 150.
    Image* view = findImage(viewImage);
    EXPECT_EQ(view->at(198, 150), document.at(198, 150));
    EXPECT_EQ(view->at(199, 150), rgba(255, 0, 0, 255));
    EXPECT_EQ(view->at(200, 150), document.at(200, 150));
    EXPECT_EQ(view->at(201, 150), rgba(0, 255, 0, 255));
}

TEST(NestedLoop, HandsTheMainWindowsSizeAndStateChangesBack) {
    clearEvents();
    postEvent(eventSizeWindow, mainWindow);
    postEvent(eventMaximizeWindow, mainWindow);
    postEvent(eventSizeWindow, mainWindow);
    postEvent(eventMenu, mainWindow, commandNegative);
    postEvent(eventSizeWindow, helpWindow);
    {
        NestedLoop loop;
        Event first = loop.next();
        EXPECT_EQ(first.kind, eventMenu);
        Event second = loop.next();
        EXPECT_EQ(second.kind, eventSizeWindow);  // another window's are its own business
        EXPECT_EQ(second.window, helpWindow);
    }
    // Handed back in order, one size change for several.
    Event e = windowEvent();
    EXPECT_EQ(e.kind, eventSizeWindow);
    EXPECT_EQ(e.window, mainWindow);
    e = windowEvent();
    EXPECT_EQ(e.kind, eventMaximizeWindow);
    while ((e = windowEvent()).kind != eventNone) EXPECT_NE(e.window, mainWindow);
}

}  // namespace
