// The program under conditions a real desktop brings: lost button releases, fonts that
// change bar heights, windows freed while the loop runs, real key presses, and a whole run
// from start to quit.

#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

QWidget* canvasWidget() {
    return controlRecord(canvas)->widget;
}

void sendMouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QPointF local(x, y);
    QPointF global = canvasWidget()->mapToGlobal(local);
    QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(canvasWidget(), &event);
}

class RobustnessTest : public AppTest {};

TEST_F(RobustnessTest, AMoveWithoutTheButtonEndsAMoverDrag) {
    storeImage(viewImage, randomImage(3000, 200, 4, 24));
    fitWindowToImage(viewImage);
    drainEvents();
    ASSERT_EQ(imageExceedsView, 1);
    sendMouse(QEvent::MouseButtonPress, 400, 50, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, 380, 50, Qt::NoButton, Qt::LeftButton);
    int pan = panX;
    EXPECT_EQ(pan, -20);
    // The release went to a pop-up menu; the next move comes with no button held.
    sendMouse(QEvent::MouseMove, 200, 50, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(moverDrag.dragging, 0);
    EXPECT_EQ(panX, pan);
}

TEST_F(RobustnessTest, AMoveWithoutTheButtonEndsASelectorDrag) {
    command(commandSelector);
    int x0 = selection.minX + 10, y0 = selection.minY + 10;
    sendMouse(QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, x0 + 30, y0 + 20, Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, x0 + 200, y0 + 150, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(selectorState.buttonDown, 0);
    EXPECT_EQ(selection.active, 1);
    EXPECT_EQ(selection.x2 - selection.x1 + 1, 31);
    EXPECT_EQ(selection.y2 - selection.y1 + 1, 21);
}

TEST_F(RobustnessTest, TheCanvasFitsBetweenTheBars) {
    WindowRecord* w = windowRecord(mainWindow);
    EXPECT_EQ(controlY(canvas), toolBarHeight);
    EXPECT_LE(controlY(canvas) + controlHeight(canvas), w->content->height());
    EXPECT_EQ(controlHeight(canvas), 450);
    EXPECT_EQ(windowHeight(mainWindow), 450 + toolBarHeight + statusBarHeightOf(mainStatusBar) +
                                            menuBarHeightOf(mainMenuBar));
}

TEST_F(RobustnessTest, FreedWindowsAreDeletedWhileTheLoopRuns) {
    ASSERT_TRUE(openWindow(30, 0, 0, 100, 100, "temporary", windowCloseBox));
    QPointer<QWidget> widget = windowRecord(30)->content->window();
    closeWindow(30);
    windowEvent();
    EXPECT_TRUE(widget.isNull());
}

TEST_F(RobustnessTest, RealKeyPressesReachTheShortcuts) {
    QWidget* window = windowRecord(mainWindow)->content->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    canvasWidget()->setFocus();
    QTest::keyClick(canvasWidget(), Qt::Key_Space);
    drainEvents();
    EXPECT_EQ(cursorMode, selectorMode);
    QTest::keyClick(canvasWidget(), Qt::Key_N);  // not a shortcut: nothing happens
    QTest::keyClick(canvasWidget(), Qt::Key_Space);
    drainEvents();
    EXPECT_EQ(cursorMode, moverMode);
    QTest::keyClick(canvasWidget(), Qt::Key_Q, Qt::ControlModifier);
    drainEvents();
    EXPECT_EQ(quitRequested, 1);
}

TEST(WholeRun, StartsRunsAndQuitsWritingThePreferences) {
    std::string home = makeTempDir();
    setenv("HOME", home.c_str(), 1);
    ScriptedDialogs scripted;
    scripted.messageAnswers = {answerNo, answerYes};
    setDialogs(&scripted);
    clearEvents();
    // Queued before the run: quit, decline, then quit and confirm.
    postEvent(eventCloseWindow, mainWindow);
    postEvent(eventMenu, mainWindow, commandQuit);
    EXPECT_EQ(runPixova(), 0);
    setDialogs(nullptr);
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_FALSE(isWindow(mainWindow));
    std::ifstream in(home + "Pixova_ImgageEditor.prefs");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "LastPath = " + home + "Pictures/\nLastWindowState = 0\n");
}

}  // namespace
