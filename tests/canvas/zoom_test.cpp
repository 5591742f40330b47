// The zoomed view on a real main window: a selection keeps its image pixels from one zoom
// to another, drags, grips and nudges work in image pixels, a floating section lands where
// it is shown, the mover and the wheel pan and zoom, and the status bar tells the zoom.

#include <string>

#include "app/view.h"
#include "canvas/document_fixture.h"
#include "canvas/floating.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "toolkit/image_store.h"

namespace {

// A 400 x 300 document on the 800 x 450 minimum view: at 100 % its pixel (0, 0) is at
// canvas (200, 75).
constexpr int docW = 400;
constexpr int docH = 300;
constexpr uint32_t frameXor = 0x888888;

class ZoomTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        document = show(randomImage(docW, docH, 11, 24));
        ASSERT_EQ(canvasBuffer(canvas)->width, 800);
        ASSERT_EQ(canvasBuffer(canvas)->height, 450);
    }

    static Rect selectionCanvas() {
        return Rect{selection.x1, selection.y1, selection.x2, selection.y2};
    }

    // A drag with the selector from (x0, y0) to (x1, y1) on the canvas.
    static void drag(int x0, int y0, int x1, int y1) {
        canvasMouse(controlLeftButtonDown, x0, y0);
        canvasMouse(controlMouseMove, x1, y1);
        canvasMouse(controlLeftButtonUp, x1, y1);
        drainEvents();
    }

    static uint32_t canvasAt(int x, int y) { return canvasBuffer(canvas)->at(x, y); }

    Image document;
};

TEST_F(ZoomTest, ASelectionMadeAtOneZoomCoversTheSamePixelsAtAnother) {
    selectImageRect(Rect{100, 50, 109, 59});
    ASSERT_EQ(selectionImageRect(), (Rect{100, 50, 109, 59}));
    // 8 times about canvas (304, 129), which shows image pixel (104, 54).
    zoomView(Zoom{8, 1}, 304, 129);
    EXPECT_EQ(selectionImageRect(), (Rect{100, 50, 109, 59}));
    const ViewTransform t = currentView();
    EXPECT_EQ(t.imageX(304), 104);
    EXPECT_EQ(t.imageY(129), 54);
    // The frame goes round the 80 x 80 canvas pixels of the ten image pixels.
    const Rect frame = selectionCanvas();
    EXPECT_EQ(frame.width(), 80);
    EXPECT_EQ(frame.height(), 80);
    EXPECT_EQ(t.imageX(frame.left), 100);
    EXPECT_EQ(t.imageX(frame.left - 1), 99);
    EXPECT_EQ(t.imageX(frame.right), 109);
    EXPECT_EQ(t.imageX(frame.right + 1), 110);
    EXPECT_EQ(canvasAt(frame.left, frame.top), (document.at(100, 50) ^ frameXor) | alphaMask);
    EXPECT_EQ(canvasAt(frame.left + 1, frame.top + 1), document.at(100, 50) | alphaMask);
    EXPECT_EQ(statusBarText(mainStatusBar, selectionStatusField),
              "Size = 10 x 10 | x/y ratio = 1.00000 | xLeft = 100 | yTop = 50 | xRight = 109 | "
              "yBottom = 59");

    // Cropped at 8 times, the ten pixels are what is left.
    command(commandCrop);
    EXPECT_EQ(firstDifference(view(), copyRect(document, 100, 50, 109, 59)), "");
}

TEST_F(ZoomTest, ASelectionOfSinglePixelsSurvivesAQuarterView) {
    // Pixels 5..9 do not line up with the 4 x 4 boxes of a quarter view.
    selectImageRect(Rect{5, 6, 9, 13});
    zoomView(Zoom{1, 4}, 400, 225);
    EXPECT_EQ(selectionImageRect(), (Rect{5, 6, 9, 13}));
    // The frame is on the boxes holding the edge pixels.
    const ViewTransform quarter = currentView();
    EXPECT_EQ(quarter.firstImageX(selection.x1), 4);
    EXPECT_EQ(quarter.endImageX(selection.x2), 12);
    zoomView(actualPixels, 400, 225);
    EXPECT_EQ(selectionImageRect(), (Rect{5, 6, 9, 13}));
    EXPECT_EQ(selectionCanvas().width(), 5);
    EXPECT_EQ(selectionCanvas().height(), 8);

    // A selection dragged at a quarter takes whole boxes: 4 x 4 pixels per canvas pixel.
    command(commandSelector);
    zoomView(Zoom{1, 4}, 400, 225);
    const int ox = currentView().originX(), oy = currentView().originY();
    drag(ox + 2, oy + 3, ox + 5, oy + 4);
    EXPECT_EQ(selectionImageRect(), (Rect{8, 12, 23, 19}));
    command(commandCrop);
    EXPECT_EQ(firstDifference(view(), copyRect(document, 8, 12, 23, 19)), "");
}

TEST_F(ZoomTest, DragsGripsAndNudgesWorkInImagePixelsAtEightTimes) {
    command(commandSelector);
    zoomView(Zoom{8, 1}, 0, 0);  // image pixel (0, 0) at canvas (0, 0)
    ASSERT_EQ(currentView().originX(), 0);
    ASSERT_EQ(currentView().originY(), 0);
    // From inside pixel (2, 1) to inside pixel (5, 3): the frame snaps to the pixels' edges.
    drag(20, 12, 45, 30);
    EXPECT_EQ(selectionImageRect(), (Rect{2, 1, 5, 3}));
    EXPECT_EQ(selectionCanvas(), (Rect{16, 8, 47, 31}));
    // The grip (the 8 x 8 square inside the bottom-right corner) resizes: to pixel (7, 4).
    drag(44, 28, 60, 36);
    EXPECT_EQ(selectionImageRect(), (Rect{2, 1, 7, 4}));
    // Arrows move a pixel, Shift+arrows the far edge by a pixel.
    command(commandRight);
    EXPECT_EQ(selectionImageRect(), (Rect{3, 1, 8, 4}));
    EXPECT_EQ(selectionCanvas(), (Rect{24, 8, 71, 39}));
    command(commandShiftDown);
    EXPECT_EQ(selectionImageRect(), (Rect{3, 1, 8, 5}));
    command(commandUp);
    command(commandUp);  // stops at the picture's top
    EXPECT_EQ(selectionImageRect(), (Rect{3, 0, 8, 4}));
    command(commandCrop);
    EXPECT_EQ(firstDifference(view(), copyRect(document, 3, 0, 8, 4)), "");
}

class ZoomFloatingTest : public ZoomTest {
  protected:
    // Pastes `section`, moves the pointer to canvas (x, y), then clicks there.
    void placeAt(const Image& section, int x, int y) {
        ASSERT_TRUE(setClipboardImage(section));
        postEvent(eventMenu, mainWindow, commandPasteFloating);
        whenIdle({[x, y] {
                      Event move{.kind = eventControl,
                                 .window = mainWindow,
                                 .object = canvas,
                                 .type = controlMouseMove,
                                 .x = x,
                                 .y = y};
                      postEvent(move);
                  },
                  [this, x, y] {
                      shownAt[0] = floatX;
                      shownAt[1] = floatY;
                      status = statusBarText(mainStatusBar, selectionStatusField);
                      Event up{.kind = eventControl,
                               .window = mainWindow,
                               .object = canvas,
                               .type = controlLeftButtonUp,
                               .x = x,
                               .y = y};
                      postEvent(up);
                  }});
        drainEvents();
        setIdleHandler(nullptr);
    }

    int shownAt[2] = {0, 0};
    std::string status;
};

TEST_F(ZoomFloatingTest, ASectionPlacedAtEightTimesLandsOnTheSamePixelsAsAtOnce) {
    const Image section = randomImage(10, 6, 12, 24);
    // At 100 %: the pointer on image pixel (120, 80) holds the section's centre (5, 3).
    placeAt(section, 200 + 120, 75 + 80);
    const Image once = view();
    Image expected = document;
    drawImage(expected, section, 115, 77);
    EXPECT_EQ(firstDifference(once, expected), "");
    EXPECT_EQ(shownAt[0], 315);
    EXPECT_EQ(shownAt[1], 152);

    show(document);
    zoomView(Zoom{8, 1}, 320, 155);  // image pixel (120, 80) stays under canvas (320, 155)
    const ViewTransform t = currentView();
    ASSERT_EQ(t.imageX(320), 120);
    ASSERT_EQ(t.imageY(155), 80);
    // Anywhere inside that pixel's 8 x 8 block.
    const int blockX = t.canvasX(120) + 6, blockY = t.canvasY(80) + 1;
    placeAt(section, blockX, blockY);
    EXPECT_EQ(firstDifference(view(), once), "");
    // It was shown where it landed: its corner on pixel (115, 77), drawn 80 x 48.
    EXPECT_EQ(shownAt[0], t.canvasX(115));
    EXPECT_EQ(shownAt[1], t.canvasY(77));
    EXPECT_EQ(status, "xLeft = " + std::to_string(t.canvasX(115)) +
                          " | yTop = " + std::to_string(t.canvasY(77)) +
                          " | xRight = " + std::to_string(t.canvasX(115) + 79) +
                          " | yBottom = " + std::to_string(t.canvasY(77) + 47));
}

TEST_F(ZoomTest, TheMoverAndTheWheelPanAndCtrlWheelZoomsAboutThePointer) {
    zoomView(Zoom{4, 1}, 300, 125);
    ASSERT_EQ(currentView().imageX(300), 100);
    // Ctrl+wheel over image pixel (100, 50), two half notches: the next step, 6 times,
    // about that pixel.
    Event wheel{.kind = eventControl,
                .window = mainWindow,
                .object = canvas,
                .type = controlWheel,
                .x = 300,
                .y = 125};
    wheel.delta = 60;
    wheel.modifiers = modifierCtrl;
    deliverControlEvent(wheel);
    EXPECT_EQ(viewZoom, (Zoom{4, 1}));
    deliverControlEvent(wheel);
    drainEvents();
    EXPECT_EQ(viewZoom, (Zoom{6, 1}));
    EXPECT_EQ(currentView().imageX(300), 100);
    EXPECT_EQ(currentView().imageY(125), 50);
    EXPECT_EQ(imageExceedsView, 1);
    EXPECT_EQ(canvasCursor(canvas), cursorHand);
    EXPECT_EQ(canvasAt(300, 125), document.at(100, 50) | alphaMask);
    EXPECT_EQ(statusBarText(mainStatusBar, fileStatusField),
              "no_image_loaded  |  (400 x 300)  |  600%");

    // The wheel alone, half a notch towards the user, scrolls 30 canvas pixels down: 5
    // image rows at 6 times.
    Event scroll = wheel;
    scroll.modifiers = 0;
    scroll.delta = -60;
    deliverControlEvent(scroll);
    EXPECT_EQ(currentView().imageY(125), 55);
    EXPECT_EQ(currentView().imageX(300), 100);

    // A mover drag left by 30 canvas pixels shows 5 image columns further right.
    canvasMouse(controlLeftButtonDown, 400, 200);
    canvasMouse(controlMouseMove, 370, 200);
    canvasMouse(controlLeftButtonUp, 370, 200);
    EXPECT_EQ(currentView().imageX(300), 105);
    EXPECT_EQ(canvasAt(300, 125), document.at(105, 55) | alphaMask);

    // Ctrl+1 comes back to 100 % and the status bar drops the zoom.
    command(commandActualPixels);
    EXPECT_EQ(viewZoom, actualPixels);
    EXPECT_EQ(statusBarText(mainStatusBar, fileStatusField), "no_image_loaded  |  (400 x 300)");
}

TEST_F(ZoomTest, ZoomInAndOutStepAboutTheCanvasCentre) {
    command(commandZoomIn);
    EXPECT_EQ(viewZoom, (Zoom{2, 1}));
    command(commandZoomOut);
    command(commandZoomOut);
    EXPECT_EQ(viewZoom, (Zoom{2, 3}));
    // Below 100 % the picture is smaller than the canvas: nothing to drag.
    EXPECT_EQ(imageExceedsView, 0);
    EXPECT_EQ(currentView().extent(), (Rect{267, 125, 533, 324}));
    for (int i = 0; i < 20; ++i) command(commandZoomOut);
    EXPECT_EQ(viewZoom, smallestZoom);
    for (int i = 0; i < 30; ++i) command(commandZoomIn);
    EXPECT_EQ(viewZoom, largestZoom);
    // Every pixel of the canvas is part of one 32 x 32 block of a single image pixel.
    const ViewTransform t = currentView();
    const int x = t.canvasX(t.imageX(400)), y = t.canvasY(t.imageY(225));
    for (int dy = 0; dy < 32; ++dy) {
        for (int dx = 0; dx < 32; ++dx) {
            ASSERT_EQ(canvasAt(x + dx, y + dy), canvasAt(x, y)) << dx << "," << dy;
        }
    }
    EXPECT_NE(canvasAt(x + 32, y), canvasAt(x, y));
}

}  // namespace
