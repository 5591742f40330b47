// Keys go to the window that has the focus: typed into a tool window's controls, they never
// reach the main window's shortcuts, which still work while the main window has the focus.
// Also where the copy notice shows for a picture larger than the desktop.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include "app/clipboard_commands.h"
#include "app/view.h"
#include "core/undo.h"
#include "quantize/quantize_window.h"
#include "quantize/styles.h"
#include "quantize/two_colors_window.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class WindowKeysTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        storeImage(viewImage, randomImage(200, 120, 5, 24));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        selectImageRect(Rect{10, 20, 59, 69});
        drainEvents();
        before = selection;
    }

    static QWidget* widgetOf(int window) { return windowRecord(window)->content->window(); }
    static QWidget* controlWidget(int control) { return controlRecord(control)->widget; }

    // Gives the window the focus as a click on it would.
    static void activate(int window) {
        QWidget* w = widgetOf(window);
        activateWindow(window);
        ASSERT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
    }

    // A key pressed and released on `widget`, then everything it led to.
    static void key(QWidget* widget, Qt::Key k) {
        QTest::keyClick(widget, k);
        drainEvents();
    }

    void expectSelectionUnmoved() const {
        EXPECT_EQ(selection.active, 1);
        EXPECT_EQ(selection.x1, before.x1);
        EXPECT_EQ(selection.y1, before.y1);
        EXPECT_EQ(selection.x2, before.x2);
        EXPECT_EQ(selection.y2, before.y2);
        EXPECT_EQ(cursorMode, selectorMode);
    }

    SelectionRecord before;
};

TEST_F(WindowKeysTest, UpInLimitChangesTheLimitAndSpaceInDitherTicksIt) {
    command(commandQuantize);
    ASSERT_TRUE(windowVisible(quantizeWindow));
    const QuantizeControls& c = quantizeControls;
    activate(quantizeWindow);
    setActiveControl(c.limitSpin);
    auto* limit = dynamic_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(limit, nullptr);
    ASSERT_EQ(controlText(c.limitSpin), "27");  // Uniform, 3 levels

    key(limit, Qt::Key_Up);
    EXPECT_EQ(controlState(c.limitSpin), 4);
    EXPECT_EQ(controlText(c.limitSpin), "64");
    key(limit, Qt::Key_Down);
    key(limit, Qt::Key_Down);
    EXPECT_EQ(controlText(c.limitSpin), "8");
    EXPECT_EQ(quantizeSettings.limitMemory[styleUniform], 2);
    expectSelectionUnmoved();

    setActiveControl(c.ditherBox);
    ASSERT_EQ(QApplication::focusWidget(), controlWidget(c.ditherBox));
    key(controlWidget(c.ditherBox), Qt::Key_Space);
    EXPECT_EQ(controlState(c.ditherBox), 1);
    EXPECT_EQ(quantizeSettings.savedDither, 1);
    expectSelectionUnmoved();  // Space did not switch to the mover
}

TEST_F(WindowKeysTest, TheTwoColorsSliderTakesTheArrowKeys) {
    command(commandTwoColors);
    const TwoColorsControls& c = twoColorsControls;
    activate(twoColorsWindow);
    setActiveControl(c.thresholdSlider);
    QWidget* slider = controlWidget(c.thresholdSlider);
    ASSERT_EQ(QApplication::focusWidget(), slider);
    key(slider, Qt::Key_Right);
    key(slider, Qt::Key_Right);
    key(slider, Qt::Key_Up);
    EXPECT_EQ(controlState(c.thresholdSlider), 131);
    EXPECT_EQ(controlText(c.thresholdFrame), "Threshold 131");
    key(slider, Qt::Key_Left);
    EXPECT_EQ(controlState(c.thresholdSlider), 130);
    expectSelectionUnmoved();
}

TEST_F(WindowKeysTest, TheMainWindowKeepsItsKeysWhenItHasTheFocus) {
    command(commandQuantize);
    activate(mainWindow);
    setActiveControl(canvas);
    // Up moves the selection one pixel; Space switches to the mover.
    key(controlWidget(canvas), Qt::Key_Up);
    EXPECT_EQ(selection.y1, before.y1 - 1);
    EXPECT_EQ(selection.y2, before.y2 - 1);
    EXPECT_EQ(controlText(quantizeControls.limitSpin), "27");
    key(controlWidget(canvas), Qt::Key_Space);
    EXPECT_EQ(cursorMode, moverMode);
}

TEST_F(WindowKeysTest, TheCopyNoticeOfALargePictureShowsOnTheDesktop) {
    // Larger than any desktop the tests meet: the notice's place by the picture's size
    // would be far off to the right and below.
    storeImage(viewImage, Image(screenWidth() * 2, screenHeight() * 2, 24, rgb(1, 2, 3)));
    fitWindowToImage(viewImage);
    drainEvents();
    static int64_t now = 0;
    static int noticeX = 0, noticeY = 0, noticeW = 0, noticeH = 0;
    noticeX = noticeY = -1;
    setClock([] { return now; },
             [](int ms) {
                 // The notice is up while the copy waits.
                 if (isWindow(copyNoticeWindow)) {
                     noticeX = windowX(copyNoticeWindow);
                     noticeY = windowY(copyNoticeWindow);
                     noticeW = windowWidth(copyNoticeWindow, false);
                     noticeH = windowHeight(copyNoticeWindow, false);
                 }
                 now += ms;
             });
    command(commandCopy);
    ASSERT_GE(noticeX, 0) << "the notice never showed";
    EXPECT_EQ(noticeW, 200);
    EXPECT_EQ(noticeH, 30);
    EXPECT_GE(noticeX, screenX());
    EXPECT_GE(noticeY, screenY());
    EXPECT_LE(noticeX + noticeW, screenX() + screenWidth());
    EXPECT_LE(noticeY + noticeH, screenY() + screenHeight());
    EXPECT_FALSE(isWindow(copyNoticeWindow));
}

}  // namespace
