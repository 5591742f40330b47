// The image view on a real main window: where an image of each size is drawn, the view
// placement and selection bounds that follow, the cursors, mover dragging and its limits,
// fitting the window and the two status fields.

#include "app/view.h"

#include <string>

#include "app/files.h"
#include "app/main_window.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr uint32_t background = 0x404040 | alphaMask;
constexpr uint32_t frameXor = 0x888888;
constexpr int minimumViewW = 800;
constexpr int minimumViewH = 450;

Image canvasNow() {
    return *canvasBuffer(canvas);
}
int canvasW() {
    return canvasBuffer(canvas)->width;
}
int canvasH() {
    return canvasBuffer(canvas)->height;
}

// What the canvas must hold: the background with `image` unscaled at (x, y).
Image expectedCanvas(const Image& image, int x, int y) {
    Image out(canvasW(), canvasH(), 24, background);
    for (int yy = 0; yy < out.height; ++yy) {
        for (int xx = 0; xx < out.width; ++xx) {
            if (image.contains(xx - x, yy - y)) out.at(xx, yy) = image.at(xx - x, yy - y);
        }
    }
    return out;
}

class ViewTest : public AppTest {
  protected:
    // Makes `image` the document and fits the window to it, as a load does.
    static const Image& show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        drainEvents();
        return *findImage(viewImage);
    }

    static void expectBounds(int minX, int maxX, int minY, int maxY) {
        EXPECT_EQ(selection.minX, minX);
        EXPECT_EQ(selection.maxX, maxX);
        EXPECT_EQ(selection.minY, minY);
        EXPECT_EQ(selection.maxY, maxY);
    }

    // Press, one move and release in mover mode.
    static void moverDragBy(int dx, int dy) {
        canvasMouse(controlLeftButtonDown, 400, 200);
        canvasMouse(controlMouseMove, 400 + dx, 200 + dy);
        canvasMouse(controlLeftButtonUp, 400 + dx, 200 + dy);
        drainEvents();
    }
};

TEST_F(ViewTest, ImageAsLargeAsTheCanvasFillsItAndCannotBeDragged) {
    const Image& image = show(randomImage(minimumViewW, minimumViewH, 1, 24));
    ASSERT_EQ(canvasW(), minimumViewW);
    ASSERT_EQ(canvasH(), minimumViewH);
    EXPECT_EQ(firstDifference(canvasNow(), image), "");
    EXPECT_EQ(scrollX, 0);
    EXPECT_EQ(scrollY, 0);
    expectBounds(0, 799, 0, 449);
    EXPECT_EQ(imageExceedsView, 0);
    EXPECT_EQ(canvasCursor(canvas), cursorDefault);

    moverDragBy(-100, -50);
    EXPECT_EQ(moverDrag.dragging, 0);
    EXPECT_EQ(panX, 0);
    EXPECT_EQ(panY, 0);
    EXPECT_EQ(firstDifference(canvasNow(), image), "");

    command(commandSelector);
    EXPECT_EQ(canvasCursor(canvas), cursorCross);
    command(commandMover);
    EXPECT_EQ(canvasCursor(canvas), cursorDefault);
}

TEST_F(ViewTest, SmallerImageIsCentredOnTheMinimumView) {
    const Image& image = show(randomImage(400, 300, 2, 24));
    EXPECT_EQ(windowWidth(mainWindow), minimumViewW);
    ASSERT_EQ(canvasW(), minimumViewW);
    ASSERT_EQ(canvasH(), minimumViewH);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, 200, 75)), "");
    EXPECT_EQ(scrollX, 0);
    EXPECT_EQ(scrollY, 0);
    expectBounds(200, 599, 75, 374);
    EXPECT_EQ(imageExceedsView, 0);
    EXPECT_EQ(canvasCursor(canvas), cursorDefault);

    moverDragBy(30, 30);
    EXPECT_EQ(panX, 0);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, 200, 75)), "");
    command(commandSelector);
    EXPECT_EQ(canvasCursor(canvas), cursorCross);
    command(commandMover);
    EXPECT_EQ(canvasCursor(canvas), cursorDefault);

    // The tiniest picture still gets the whole minimum view, centred.
    const Image& tiny = show(randomImage(100, 100, 3, 24));
    EXPECT_EQ(windowWidth(mainWindow), minimumViewW);
    // The window is centred on the desktop by its outer size, and where the desktop is too
    // small for it, its frame starts at the desktop's corner.
    const int innerH = windowHeight(mainWindow);
    EXPECT_EQ(windowX(mainWindow),
              std::max(desktopX, desktopX + (desktopWidth - minimumViewW - frameExtraWidth) / 2));
    EXPECT_EQ(windowY(mainWindow),
              std::max(desktopY, desktopY + (desktopHeight - innerH - frameExtraHeight) / 2));
    ASSERT_EQ(canvasW(), minimumViewW);
    ASSERT_EQ(canvasH(), minimumViewH);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(tiny, 350, 175)), "");
    expectBounds(350, 449, 175, 274);
}

TEST_F(ViewTest, WideImageScrollsAndDragsWithinItsLimits) {
    const Image& image = show(randomImage(3000, 200, 4, 24));
    ASSERT_EQ(canvasW(), minimumViewW);
    ASSERT_EQ(canvasH(), minimumViewH);
    EXPECT_EQ(imageExceedsView, 1);
    EXPECT_EQ(scrollX, 1100);
    EXPECT_EQ(scrollY, 0);
    expectBounds(0, 799, 125, 324);
    EXPECT_EQ(canvasCursor(canvas), cursorHand);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, -1100, 125)), "");

    canvasMouse(controlLeftButtonDown, 400, 200);
    EXPECT_EQ(moverDrag.dragging, 1);
    EXPECT_EQ(moverDrag.loX, -2200);
    EXPECT_EQ(moverDrag.hiX, 0);
    EXPECT_EQ(moverDrag.loY, 0);
    EXPECT_EQ(moverDrag.hiY, 250);

    canvasMouse(controlMouseMove, 390, 210);
    EXPECT_EQ(panX, -10);
    EXPECT_EQ(panY, 10);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, -1110, 135)), "");

    // Far right and down: the left end and the bottom stop at the canvas edges.
    canvasMouse(controlMouseMove, 5400, 5200);
    EXPECT_EQ(panX, 1100);
    EXPECT_EQ(panY, 125);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, 0, 250)), "");

    // Far left and up: the right end and the top.
    canvasMouse(controlMouseMove, -10000, -10000);
    EXPECT_EQ(panX, -1100);
    EXPECT_EQ(panY, -125);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, -2200, 0)), "");
    // Scrolling is only settled at the release.
    EXPECT_EQ(scrollY, 0);

    canvasMouse(controlLeftButtonUp, -10000, -10000);
    EXPECT_EQ(moverDrag.dragging, 0);
    EXPECT_EQ(scrollX, 1100);
    EXPECT_EQ(scrollY, -125);
    drainEvents();

    // Moves after the release drag nothing.
    canvasMouse(controlMouseMove, 0, 0);
    EXPECT_EQ(panX, -1100);

    // The selector's bounds follow the dragged image.
    command(commandSelector);
    EXPECT_EQ(canvasCursor(canvas), cursorCross);
    expectBounds(0, 799, 0, 199);
    command(commandMover);
    EXPECT_EQ(canvasCursor(canvas), cursorHand);

    // Fitting again re-centres.
    fitWindowToImage(viewImage);
    EXPECT_EQ(panX, 0);
    EXPECT_EQ(panY, 0);
    EXPECT_EQ(scrollY, 0);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, -1100, 125)), "");
}

TEST_F(ViewTest, DragShowsTheOpenToolWindowsPreview) {
    show(randomImage(1000, 300, 5, 24));
    const Image preview = randomImage(1000, 300, 6, 24);
    storeImage(toolImage, preview);
    setToolWindowOpen(quantizeWindow, true);
    quantizePreviewEntry = currentEntryId();  // a preview of the document as it stands
    moverDragBy(-50, 0);
    setToolWindowOpen(quantizeWindow, false);
    EXPECT_EQ(panX, -50);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(preview, -150, 75)), "");
}

TEST_F(ViewTest, MaximizedWindowIsNotResizedByFit) {
    setWindowState(mainWindow, windowMaximized);
    drainEvents();
    ASSERT_EQ(getWindowState(mainWindow), windowMaximized);
    const int w = windowWidth(mainWindow), h = windowHeight(mainWindow);
    ASSERT_NE(h, minimumViewH + toolBarHeight + statusBarHeightOf(mainStatusBar) +
                     menuBarHeightOf(mainMenuBar));

    const Image& image = show(randomImage(100, 100, 7, 24));
    EXPECT_EQ(windowWidth(mainWindow), w);
    EXPECT_EQ(windowHeight(mainWindow), h);
    EXPECT_EQ(getWindowState(mainWindow), windowMaximized);
    // Still laid out around the new image.
    const int cw = canvasW(), ch = canvasH();
    EXPECT_EQ(cw, w);
    EXPECT_EQ(firstDifference(canvasNow(), expectedCanvas(image, (cw - 100) / 2, (ch - 100) / 2)),
              "");
    expectBounds((cw - 100) / 2, (cw - 100) / 2 + 99, (ch - 100) / 2, (ch - 100) / 2 + 99);
}

TEST_F(ViewTest, AFitMadeBeforeTheWindowWasFramedIsMadeAgainOnceItIs) {
    show(randomImage(100, 100, 8, 24));
    const int w = windowWidth(mainWindow), h = windowHeight(mainWindow);
    // The window manager framed the window after a fit that could not count the frame, and
    // left it elsewhere: the fit is made again.
    resizeWindow(mainWindow, 0, 0, w + 50, h + 40);
    drainEvents();
    fitAwaitsFrame = 1;
    postEvent(eventFrameWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(windowWidth(mainWindow), w);
    EXPECT_EQ(windowHeight(mainWindow), h);
    EXPECT_EQ(fitAwaitsFrame, frameExtraWidth > 0 || frameExtraHeight > 0 ? 0 : 1);
    // Once a fit counted the frame, a later change of the frame leaves the size the user
    // gave the window.
    fitAwaitsFrame = 0;
    resizeWindow(mainWindow, 0, 0, w + 50, h + 40);
    drainEvents();
    postEvent(eventFrameWindow, mainWindow);
    drainEvents();
    EXPECT_EQ(windowWidth(mainWindow), w + 50);
}

TEST_F(ViewTest, FileFieldShowsNameAndSize) {
    currentFilePath = "/home/someone/pictures/photo.png";
    show(randomImage(640, 480, 8, 24));
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "photo.png  |  (640 x 480)");

    // Refreshing an image that does not exist leaves the field.
    currentFilePath = "/elsewhere/other.bmp";
    refreshView(toolImage, 0);
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "photo.png  |  (640 x 480)");
}

TEST_F(ViewTest, SquareSelectionOnADraggedImageReportsImagePixels) {
    show(randomImage(1200, 300, 9, 24));
    moverDragBy(-40, 0);
    ASSERT_EQ(panX, -40);
    command(commandSelector);
    canvasMouse(controlLeftButtonDown, 10, 100);
    canvasMouse(controlMouseMove, 19, 109);
    canvasMouse(controlLeftButtonUp, 19, 109);
    drainEvents();
    // Canvas x 10 is image column (1200 - 800) / 2 + 40 + 10; row 100 is 100 - 75.
    EXPECT_EQ(statusBarText(mainStatusBar, 1),
              "Size = 10 x 10 | x/y ratio = 1.00000 | xLeft = 250 | yTop = 25 | xRight = 259 | "
              "yBottom = 34");
}

TEST_F(ViewTest, RefreshWithoutKeepingRemovesTheSelection) {
    const Image& image = show(randomImage(400, 300, 10, 24));
    command(commandSelector);
    const Image clean = canvasNow();
    canvasMouse(controlLeftButtonDown, 250, 100);
    canvasMouse(controlMouseMove, 300, 150);
    canvasMouse(controlLeftButtonUp, 300, 150);
    drainEvents();
    ASSERT_EQ(selection.active, 1);
    ASSERT_NE(statusBarText(mainStatusBar, 1), "");
    const Image framed = canvasNow();

    // Keeping: the same frame over a fresh image, not a second one.
    refreshView(viewImage, 1);
    EXPECT_EQ(selection.active, 1);
    EXPECT_EQ(firstDifference(canvasNow(), framed), "");
    // A missing image changes nothing when the selection is kept.
    refreshView(toolImage, 1);
    EXPECT_EQ(selection.active, 1);
    EXPECT_EQ(firstDifference(canvasNow(), framed), "");

    refreshView(viewImage, 0);
    EXPECT_EQ(selection.active, 0);
    EXPECT_EQ(statusBarText(mainStatusBar, 1), "");
    EXPECT_EQ(firstDifference(canvasNow(), clean), "");
    EXPECT_EQ(firstDifference(clean, expectedCanvas(image, 200, 75)), "");
    Event e = windowEvent();
    while (e.kind == eventControl) e = windowEvent();
    EXPECT_EQ(e.kind, selectionClearedEvent);

    // The frame drawn by the first refresh was exactly one outline and grip.
    int changed = 0;
    for (size_t i = 0; i < framed.pixels.size(); ++i) {
        uint32_t diff = framed.pixels[i] ^ clean.pixels[i];
        if (diff != 0) {
            EXPECT_EQ(diff, frameXor);
            ++changed;
        }
    }
    // 51 x 51 outline (200 pixels) and an 8 x 8 grip that shares no pixel with it.
    EXPECT_EQ(changed, 200 + 64);
}

TEST_F(ViewTest, RightClickIsPostedWithItsPosition) {
    clearEvents();
    canvasMouse(controlRightButtonUp, 33, 44);
    bool found = false;
    for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) {
        if (e.kind != eventRightClick) continue;
        found = true;
        EXPECT_EQ(e.window, mainWindow);
        EXPECT_EQ(e.x, 33);
        EXPECT_EQ(e.y, 44);
    }
    EXPECT_TRUE(found);
}

}  // namespace
