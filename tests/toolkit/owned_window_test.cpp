// Windows owned by another: what the window manager is told (a dialog of its owner, modal
// or not), where they are placed (by the outer frame, inside the desktop), and a modal
// dialog keeping the focus. Also the file and font pickers' starting points, which the
// offscreen platform can check without showing them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>
#include <filesystem>

#include "support/test_images.h"
#include "toolkit/gui.h"
#include "toolkit/placement.h"
#include "toolkit/qt_internal.h"

namespace {

constexpr int ownerWindow = 43;
constexpr int ownedWindow = 44;

class OwnedWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearEvents();
        ASSERT_TRUE(openWindow(ownerWindow, 100, 80, 400, 300, "owner", windowCloseBox));
    }
    void TearDown() override {
        closeWindow(ownedWindow);
        closeWindow(ownerWindow);
        clearEvents();
    }

    static QWidget* widgetOf(int window) { return windowRecord(window)->content->window(); }

    static std::vector<Event> events() {
        std::vector<Event> out;
        for (Event e = windowEvent(); e.kind != eventNone; e = windowEvent()) out.push_back(e);
        return out;
    }

    // Activates the window as a click on it would, and waits until Qt agrees. (An owner
    // counts as active while its dialog is, so only the active window itself tells.)
    static void activate(int window) {
        QWidget* w = widgetOf(window);
        activateWindow(window);
        EXPECT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
    }
};

TEST_F(OwnedWindowTest, AnOwnedWindowIsADialogOfItsOwner) {
    ASSERT_TRUE(openWindow(ownedWindow, 0, 0, 100, 50, "owned",
                           windowCloseBox | windowParentCentered, ownerWindow));
    QWidget* owned = widgetOf(ownedWindow);
    // A dialog with a parent: Qt tells the window manager it is transient for the parent.
    EXPECT_EQ(owned->windowType(), Qt::Dialog);
    EXPECT_EQ(owned->parentWidget(), widgetOf(ownerWindow));
    EXPECT_EQ(owned->windowModality(), Qt::NonModal);
    EXPECT_TRUE(owned->testAttribute(Qt::WA_AlwaysShowToolTips));
    closeWindow(ownedWindow);

    ASSERT_TRUE(openWindow(ownedWindow, 0, 0, 100, 50, "modal",
                           windowCloseBox | windowParentCentered | windowModal, ownerWindow));
    EXPECT_EQ(widgetOf(ownedWindow)->windowModality(), Qt::WindowModal);
    closeWindow(ownedWindow);

    // A window of its own stays a plain window; a notice is drawn above all, unframed.
    EXPECT_EQ(widgetOf(ownerWindow)->windowType(), Qt::Window);
    ASSERT_TRUE(openWindow(ownedWindow, 10, 10, 100, 20, "", windowBorderless, ownerWindow));
    EXPECT_EQ(widgetOf(ownedWindow)->windowType(), Qt::ToolTip);
}

TEST_F(OwnedWindowTest, WindowsAreCentredByTheirFramesAndKeptOnTheDesktop) {
    ASSERT_TRUE(openWindow(ownedWindow, 0, 0, 100, 50, "owned",
                           windowCloseBox | windowParentCentered, ownerWindow));
    events();
    const int outerW = windowWidth(ownedWindow, false), outerH = windowHeight(ownedWindow, false);
    const int ownerX = windowX(ownerWindow), ownerY = windowY(ownerWindow);
    const int ownerW = windowWidth(ownerWindow, false), ownerH = windowHeight(ownerWindow, false);
    EXPECT_EQ(windowX(ownedWindow), ownerX + (ownerW - outerW) / 2);
    EXPECT_EQ(windowY(ownedWindow), ownerY + (ownerH - outerH) / 2);

    // Asked to go past the desktop's far corner, the window stops at it; past the near
    // corner, its frame starts at the corner.
    resizeWindow(ownedWindow, screenX() + screenWidth() + 500, screenY() + screenHeight(), 100, 50);
    EXPECT_EQ(windowX(ownedWindow), screenX() + screenWidth() - outerW);
    EXPECT_EQ(windowY(ownedWindow), screenY() + screenHeight() - outerH);
    resizeWindow(ownedWindow, screenX() - 300, screenY() - 20, 100, 50);
    EXPECT_EQ(windowX(ownedWindow), screenX());
    EXPECT_EQ(windowY(ownedWindow), screenY());
}

TEST_F(OwnedWindowTest, AModalDialogTakesTheFocusBackFromItsOwner) {
    ASSERT_TRUE(openWindow(ownedWindow, 0, 0, 100, 50, "modal",
                           windowCloseBox | windowParentCentered | windowModal, ownerWindow));
    activate(ownedWindow);
    // A click into the owner activates it (the window manager obliges the toolkit's request)...
    activateWindow(ownerWindow);
    QWidget* owner = widgetOf(ownerWindow);
    (void)QTest::qWaitFor([owner] { return QApplication::activeWindow() == owner; }, 200);
    // ...and the dialog takes the focus straight back.
    QWidget* modal = widgetOf(ownedWindow);
    EXPECT_TRUE(QTest::qWaitFor([modal] { return QApplication::activeWindow() == modal; }));
    closeWindow(ownedWindow);
    events();

    // A window the dialog does not block keeps the focus it is given.
    constexpr int otherWindow = 45;
    ASSERT_TRUE(openWindow(otherWindow, 0, 0, 100, 50, "other", windowCloseBox));
    ASSERT_TRUE(openWindow(ownedWindow, 0, 0, 100, 50, "modal",
                           windowCloseBox | windowParentCentered | windowModal, ownerWindow));
    activate(ownedWindow);
    activate(otherWindow);
    QTest::qWait(20);
    EXPECT_EQ(QApplication::activeWindow(), widgetOf(otherWindow));
    closeWindow(otherWindow);
}

TEST(WindowPlacement, CentringCountsTheFrameAndTheDesktopKeepsTheTitleBar) {
    const FrameMargins frame{1, 20, 1, 5};
    // Inner 200 x 100 is outer 202 x 125; centred on an outer 1000 x 600 at (100, 50).
    const ScreenPoint at = centredOn({100, 50, 1000, 600}, 200, 100, frame);
    EXPECT_EQ(at.x, 100 + (1000 - 202) / 2);
    EXPECT_EQ(at.y, 50 + (600 - 125) / 2);
    const ScreenRect outer = outerRect({10, 40, 200, 100}, frame);
    EXPECT_EQ(outer.x, 9);
    EXPECT_EQ(outer.y, 20);
    EXPECT_EQ(outer.width, 202);
    EXPECT_EQ(outer.height, 125);

    const ScreenRect desktop{0, 30, 1920, 1050};  // a panel takes the top 30 rows
    // Inside already: unchanged.
    ScreenPoint p = insideDesktop({500, 400, 202, 125}, desktop);
    EXPECT_EQ(p.x, 500);
    EXPECT_EQ(p.y, 400);
    // Past the far edges: pulled back so that the whole frame shows.
    p = insideDesktop({1800, 1000, 202, 125}, desktop);
    EXPECT_EQ(p.x, 1718);
    EXPECT_EQ(p.y, 955);
    // Above the top: the title bar comes down to the desktop's first row.
    p = insideDesktop({-1, 10, 202, 125}, desktop);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 30);
    // Larger than the desktop: the top-left corner, and so the title bar, stays on it.
    p = insideDesktop({-1, -20, 1922, 1100}, desktop);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 30);
}

TEST(FileDialogStart, AFolderThatIsGoneStartsAtTheNearestOneThatIsNot) {
    const std::string dir = makeTempDir();
    std::filesystem::create_directories(dir + "photos/2016");
    EXPECT_EQ(dialogStartFolder(dir + "photos/2016/"), dir + "photos/2016");
    EXPECT_EQ(dialogStartFolder(dir + "photos/1999/summer/"), dir + "photos");
    // The home folder's Pictures, never made: the home folder.
    const std::string home = QDir::homePath().toStdString();
    EXPECT_EQ(dialogStartFolder(home + "/no such folder here/"), home);
    EXPECT_EQ(dialogStartFolder(""), home);
    EXPECT_EQ(dialogStartFolder("relative/folder"), home);
}

TEST(FontPickerStart, ANameTheSystemStandsInForStartsAtTheFamilyUsed) {
    const QStringList families = QFontDatabase::families();
    FontChoice arial{"Arial", 12, fontBold | fontItalic, 0, false};
    const QFont start = fontPickerStart(arial);
    // The picker lists families, not the names they answer to: it must find this one.
    EXPECT_TRUE(families.contains(start.family())) << start.family().toStdString();
    EXPECT_EQ(start.family(), QFontInfo(QFont("Arial")).family());
    EXPECT_EQ(start.pointSize(), 12);
    EXPECT_TRUE(start.bold());
    EXPECT_TRUE(start.italic());
    EXPECT_FALSE(start.underline());
    // A family of the list is kept as it is.
    ASSERT_FALSE(families.isEmpty());
    FontChoice listed{families.first().toStdString(), 10, fontUnderline, 0, false};
    EXPECT_EQ(fontPickerStart(listed).family(), families.first());
    EXPECT_TRUE(fontPickerStart(listed).underline());
}

}  // namespace
