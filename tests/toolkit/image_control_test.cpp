// Image controls as click targets (clicks, double clicks, right clicks and moves with their
// position), plain boxes, free menu numbers, control positions on the desktop and windows
// that open without taking the keyboard.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "toolkit/gui.h"
#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr int testWindow = 41;
constexpr int testImage = 40;

class ImageControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearEvents();
        ASSERT_TRUE(
            openWindow(testWindow, 0, 0, 300, 200, "test", windowCloseBox | windowInvisible));
        createImage(testImage, 40, 30, 24, 0);
        control = imageControl(anyControlNumber, 20, 10, 40, 30, testImage, false);
        ASSERT_GE(control, 0);
    }
    void TearDown() override {
        closeWindow(testWindow);
        freeImage(testImage);
        clearEvents();
    }

    static std::vector<Event> events() {
        std::vector<Event> out;
        for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) out.push_back(e);
        return out;
    }

    void mouse(QEvent::Type type, Qt::MouseButton button, int x, int y) {
        QWidget* widget = controlRecord(control)->widget;
        QPointF local(x, y);
        Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    void click(Qt::MouseButton button, int x, int y) {
        mouse(QEvent::MouseButtonPress, button, x, y);
        mouse(QEvent::MouseButtonRelease, button, x, y);
    }

    int control = -1;
};

TEST_F(ImageControlTest, AClickReportsItsReleaseWithThePositionOnTheControl) {
    click(Qt::LeftButton, 7, 9);
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].type, controlChange);  // the press, as before
    EXPECT_EQ(queued[1].type, controlLeftButtonUp);
    EXPECT_EQ(queued[1].object, control);
    EXPECT_EQ(queued[1].window, testWindow);
    EXPECT_EQ(queued[1].x, 7);
    EXPECT_EQ(queued[1].y, 9);
}

TEST_F(ImageControlTest, AReleaseAwayFromTheControlIsNoClick) {
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, 5, 5);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, 45, 5);  // dragged off to the right
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].type, controlChange);
}

TEST_F(ImageControlTest, TheSecondClickOfADoubleClickIsReportedApart) {
    click(Qt::LeftButton, 3, 4);
    mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, 3, 4);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, 3, 4);
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[1].type, controlLeftButtonUp);
    EXPECT_EQ(queued[2].type, controlDoubleClick);
    // The next single click counts again.
    click(Qt::LeftButton, 3, 4);
    queued = events();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].type, controlLeftButtonUp);
}

TEST_F(ImageControlTest, RightClicksAndTrackedMovesCarryTheirPosition) {
    click(Qt::RightButton, 11, 12);
    mouse(QEvent::MouseMove, Qt::NoButton, 1, 2);  // not tracked yet
    setControlMouseTracking(control, true);
    mouse(QEvent::MouseMove, Qt::NoButton, 13, 14);
    std::vector<Event> queued = events();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].type, controlRightButtonUp);
    EXPECT_EQ(queued[0].x, 11);
    EXPECT_EQ(queued[0].y, 12);
    EXPECT_EQ(queued[1].type, controlMouseMove);
    EXPECT_EQ(queued[1].x, 13);
    EXPECT_EQ(queued[1].y, 14);
}

TEST_F(ImageControlTest, BoxesStayBehindAndControlsKnowWhereTheyAreOnTheDesktop) {
    int box = boxControl(anyControlNumber, 10, 5, 100, 60, true);
    ASSERT_GE(box, 0);
    QWidget* parent = controlRecord(box)->widget->parentWidget();
    EXPECT_EQ(parent->children().indexOf(controlRecord(box)->widget), 0);  // lowest
    EXPECT_EQ(controlX(box), 10);
    EXPECT_EQ(controlScreenX(control) - controlScreenX(box), 20 - 10);
    EXPECT_EQ(controlScreenY(control) - controlScreenY(box), 10 - 5);
    EXPECT_EQ(controlScreenX(-5), 0);
}

TEST_F(ImageControlTest, ToolTipsShowInWindowsThatAreNotActive) {
    setControlToolTip(control, "#3A7F2C: 1 px (0.1 %)");
    QWidget* widget = controlRecord(control)->widget;
    EXPECT_EQ(widget->toolTip().toStdString(), "#3A7F2C: 1 px (0.1 %)");
    EXPECT_TRUE(widget->testAttribute(Qt::WA_AlwaysShowToolTips));
}

TEST_F(ImageControlTest, FreeMenuNumbersAreUnused) {
    int n = freeMenuNumber();
    EXPECT_GE(n, 10000);
    EXPECT_FALSE(isMenu(n));
    ASSERT_TRUE(createPopupMenu(n));
    EXPECT_TRUE(isMenu(n));
    EXPECT_NE(freeMenuNumber(), n);
    freePopupMenu(n);
    events();  // lets the toolkit delete it
    EXPECT_FALSE(isMenu(n));
    EXPECT_EQ(freeMenuNumber(), n);
}

TEST_F(ImageControlTest, AWindowCanOpenWithoutTakingTheKeyboard) {
    constexpr int quiet = 42;
    ASSERT_TRUE(openWindow(quiet, 0, 0, 50, 50, "quiet", windowNoActivate | windowInvisible));
    EXPECT_TRUE(
        windowRecord(quiet)->content->window()->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(
        windowRecord(testWindow)->content->window()->testAttribute(Qt::WA_ShowWithoutActivating));
    closeWindow(quiet);
}

TEST(ImageStoreCopy, ACopyIntoAnExistingImageReusesItsMemory) {
    createImage(50, 64, 48, 32, rgb(1, 2, 3));
    createImage(51, 64, 48, 24, rgb(9, 9, 9));
    const uint32_t* storage = findImage(51)->pixels.data();
    EXPECT_EQ(copyImage(50, 51), 51);
    EXPECT_EQ(findImage(51)->pixels.data(), storage);
    EXPECT_EQ(*findImage(51), *findImage(50));  // depth included
    // A smaller or larger source still gives an exact copy.
    createImage(52, 3, 2, 24, rgb(4, 5, 6));
    EXPECT_EQ(copyImage(52, 51), 51);
    EXPECT_EQ(*findImage(51), *findImage(52));
    EXPECT_EQ(copyImage(50, 51), 51);
    EXPECT_EQ(*findImage(51), *findImage(50));
    for (int n : {50, 51, 52}) freeImage(n);
}

TEST(ScriptedColourPicker, RemembersTheColourItWasOpenedWith) {
    ScriptedDialogs d;
    d.colourAnswers = {0x123456};
    EXPECT_EQ(d.colourPicker(0xC0C0C0), 0x123456);
    EXPECT_EQ(d.colourPicker(0x010203), -1);
    EXPECT_EQ(d.colourRequests, (std::vector<uint32_t>{0xC0C0C0, 0x010203}));
}

}  // namespace
