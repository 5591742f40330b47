// What a window owns goes with it: closing one forgets its menu bar, tool bar, status bar,
// controls and timers, and no other window's; a pop-up menu is the program's and stays.
// Releasing the toolkit leaves nothing behind.

#include <gtest/gtest.h>

#include "toolkit/gui.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr int firstWindow = 61;
constexpr int secondWindow = 62;

// Menus and bars of the first window, then of the second, then a pop-up menu.
constexpr int firstMenuBar = 601;
constexpr int firstToolBar = 602;
constexpr int firstStatusBar = 603;
constexpr int secondMenuBar = 611;
constexpr int secondToolBar = 612;
constexpr int secondStatusBar = 613;
constexpr int popupMenu = 620;
constexpr int releaseFont = 630;

// A window with a menu, a tool bar with one button, a status bar with one field, a
// button and a running timer.
void furnish(int window, int menuBar, int toolBar, int statusBar, const std::string& status) {
    ASSERT_TRUE(openWindow(window, 0, 0, 300, 200, "release", windowInvisible));
    ASSERT_TRUE(createMenuBar(menuBar, window));
    menuTitle("File");
    menuItem(1, "Open");
    ASSERT_TRUE(createToolBar(toolBar, window));
    toolBarStandardButton(1, iconOpen, false);
    ASSERT_TRUE(createStatusBar(statusBar, window));
    addStatusBarField(statusFieldRemaining);
    setStatusBarText(statusBar, 0, status);
    startWindowTimer(window, 1, 3600000);
}

class WindowPartsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearEvents();
        furnish(firstWindow, firstMenuBar, firstToolBar, firstStatusBar, "first");
        firstButton = buttonControl(anyControlNumber, 0, 40, 50, 20, "a");
        furnish(secondWindow, secondMenuBar, secondToolBar, secondStatusBar, "second");
        secondButton = buttonControl(anyControlNumber, 0, 40, 50, 20, "b");
        ASSERT_TRUE(createPopupMenu(popupMenu));
        menuItem(5, "Copy");
    }
    void TearDown() override {
        closeWindow(firstWindow);
        closeWindow(secondWindow);
        freePopupMenu(popupMenu);
        freeFont(releaseFont);
        clearEvents();
    }

    int firstButton = -1;
    int secondButton = -1;
};

TEST_F(WindowPartsTest, ClosingAWindowForgetsOnlyWhatItOwns) {
    // The pop-up was last shown over the first window, and still outlives it.
    displayPopupMenu(popupMenu, firstWindow, -1, 0, 0);
    menuRecord(popupMenu)->popup->hide();
    ASSERT_EQ(menuRecord(popupMenu)->window, firstWindow);

    closeWindow(firstWindow);
    EXPECT_FALSE(isWindow(firstWindow));
    EXPECT_FALSE(isMenu(firstMenuBar));
    EXPECT_EQ(toolBarRecord(firstToolBar), nullptr);
    EXPECT_EQ(statusBarRecord(firstStatusBar), nullptr);
    EXPECT_FALSE(isControl(firstButton));
    EXPECT_FALSE(windowTimerActive(firstWindow, 1));
    EXPECT_TRUE(isMenu(popupMenu));
    EXPECT_EQ(menuItemText(popupMenu, 5), "Copy");

    // The other window keeps all of its own.
    EXPECT_TRUE(isMenu(secondMenuBar));
    EXPECT_EQ(menuItemText(secondMenuBar, 1), "Open");
    EXPECT_NE(toolBarRecord(secondToolBar), nullptr);
    EXPECT_EQ(statusBarText(secondStatusBar, 0), "second");
    EXPECT_TRUE(isControl(secondButton));
    EXPECT_TRUE(windowTimerActive(secondWindow, 1));

    // A window opened again under the number starts bare.
    ASSERT_TRUE(openWindow(firstWindow, 0, 0, 300, 200, "again", windowInvisible));
    EXPECT_EQ(menuBarHeightOf(firstMenuBar), 0);
    EXPECT_EQ(statusBarText(firstStatusBar, 0), "");
}

TEST_F(WindowPartsTest, ReleasingTheToolkitLeavesNothing) {
    ASSERT_TRUE(loadFont(releaseFont, "Sans", 12, fontBold));
    releaseToolkit();
    for (int window : {firstWindow, secondWindow}) {
        EXPECT_FALSE(isWindow(window));
        EXPECT_FALSE(windowTimerActive(window, 1));
    }
    for (int menu : {firstMenuBar, secondMenuBar, popupMenu}) EXPECT_FALSE(isMenu(menu));
    for (int bar : {firstToolBar, secondToolBar}) EXPECT_EQ(toolBarRecord(bar), nullptr);
    for (int bar : {firstStatusBar, secondStatusBar}) EXPECT_EQ(statusBarRecord(bar), nullptr);
    EXPECT_FALSE(isControl(firstButton));
    EXPECT_FALSE(isControl(secondButton));
    EXPECT_EQ(fontObject(releaseFont), nullptr);
}

}  // namespace
