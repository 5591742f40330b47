// The New image dialog, copying to the clipboard, and the help window, driven as the user
// drives them.

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "app/clipboard_commands.h"
#include "app/help_window.h"
#include "app/new_image_window.h"
#include "app/view.h"
#include "core/registry.h"
#include "core/undo.h"
#include "manual/manual.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class NewImageTest : public AppTest {
  protected:
    // Opens the dialog and, inside its loop, checks the offered sizes, types into the
    // fields (an empty text leaves a field alone) and presses OK or Cancel.
    void runDialog(const std::string& width, const std::string& height, bool pressOk) {
        whenIdle({[=] {
            const NewImageControls& c = newImageControls;
            ASSERT_TRUE(isWindow(newImageWindow));
            EXPECT_EQ(controlText(c.widthField), std::to_string(newImageSettings.newWidth));
            EXPECT_EQ(controlText(c.heightField), std::to_string(newImageSettings.newHeight));
            if (!width.empty()) typeInto(newImageWindow, c.widthField, width);
            if (!height.empty()) typeInto(newImageWindow, c.heightField, height);
            postControl(newImageWindow, pressOk ? c.ok : c.cancel);
        }});
        command(commandNewImage);
        setIdleHandler(nullptr);
    }
};

TEST_F(NewImageTest, OutOfRangeAndNonNumericSizesAreClampedAndOfferedNextTime) {
    runDialog("5000", "abc", true);
    Image* view = findImage(viewImage);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width, 4096);
    EXPECT_EQ(view->height, 16);
    EXPECT_EQ(view->depth, 24);
    EXPECT_EQ(view->at(0, 0), rgba(255, 255, 255, 255));
    EXPECT_EQ(view->at(4095, 15), rgba(255, 255, 255, 255));
    EXPECT_EQ(newImageSettings.newWidth, 4096);
    EXPECT_EQ(newImageSettings.newHeight, 16);
    EXPECT_FALSE(isWindow(newImageWindow));
    EXPECT_FALSE(toolWindowOpen(newImageWindow));
    // The next dialog offers the clamped values (checked inside runDialog).
    runDialog("", "", false);
}

TEST_F(NewImageTest, CancelKeepsATypedWidthAndChangesNothing) {
    Image before = *findImage(viewImage);
    runDialog("300", "", false);
    EXPECT_EQ(*findImage(viewImage), before);
    EXPECT_EQ(newImageSettings.newWidth, 300);
    EXPECT_EQ(undoEntryCount(), 1u);
    runDialog("", "", false);  // offers 300
}

TEST_F(NewImageTest, ANewImageIsNamedNewImageWithAFreshHistory) {
    currentFilePath = "/pictures/holiday/beach.png";
    baseName = "beach";
    command(commandNegative);
    command(commandSelector);
    scripted.colourAnswers = {0x00ff00};
    whenIdle({[] { postControl(newImageWindow, newImageControls.swatch); },
              [] {
                  // The swatch shows the chosen colour at once.
                  Image* swatch = findImage(newImageControls.swatchImage);
                  ASSERT_NE(swatch, nullptr);
                  EXPECT_EQ(swatch->at(10, 10) & colourMask, 0x00ff00u);
                  typeInto(newImageWindow, newImageControls.widthField, "40");
                  typeInto(newImageWindow, newImageControls.heightField, "30");
                  // Return presses OK.
                  postEvent(eventMenu, newImageWindow, 1);
              }});
    command(commandNewImage);
    Image* view = findImage(viewImage);
    ASSERT_EQ(view->width, 40);
    EXPECT_EQ(view->at(39, 29), rgba(0, 255, 0, 255));
    EXPECT_EQ(newImageSettings.newBackColor, 0x00ff00u);
    EXPECT_EQ(undoEntryCount(), 1u);
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandUndo));
    EXPECT_FALSE(toolBarButtonEnabled(mainToolBar, commandRedo));
    EXPECT_EQ(cursorMode, moverMode);
    EXPECT_EQ(statusBarText(mainStatusBar, 0), "NewImage  |  (40 x 30)");
    scripted.fileAnswers.push_back({"", 0});  // cancel the save dialog
    command(commandSave);
    ASSERT_EQ(scripted.saveRequests.size(), 1u);
    EXPECT_EQ(scripted.saveRequests[0].path, "/pictures/holiday/NewImage");
}

TEST_F(NewImageTest, RefusedWhileAToolWindowIsOpenAndEndedByClosingTheMainWindow) {
    setToolWindowOpen(quantizeWindow, true);
    command(commandNewImage);
    EXPECT_FALSE(isWindow(newImageWindow));
    setToolWindowOpen(quantizeWindow, false);

    Image before = *findImage(viewImage);
    whenIdle({[] { postEvent(eventCloseWindow, mainWindow); }});
    command(commandNewImage);
    EXPECT_EQ(quitRequested, 1);
    EXPECT_FALSE(isWindow(newImageWindow));
    EXPECT_EQ(*findImage(viewImage), before);
}

int64_t fakeNow = 0;

class CopyTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        fakeNow = 0;
        setClock([] { return fakeNow; }, [](int ms) { fakeNow += ms; });
        Image image(50, 40, 32, rgba(1, 2, 3, 255));
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 50; ++x) image.at(x, y) = rgba(x, y, 7, 200 + x % 50);
        }
        storeImage(viewImage, image);
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
    }
    static Image clipboardNow() { return clipboardImage(); }
};

TEST_F(CopyTest, TheSelectionGoesOnTheClipboardExactlyAndTheNoticeSwallowsKeys) {
    selectImageRect(Rect{5, 6, 14, 9});
    postEvent(eventMenu, mainWindow, commandCopy);
    postEvent(eventMenu, mainWindow, commandNegative);  // pressed while the notice shows
    drainEvents();
    Image copied = clipboardNow();
    ASSERT_EQ(copied.width, 10);
    ASSERT_EQ(copied.height, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(copied.at(x, y), rgba(5 + x, 6 + y, 7, 205 + x)) << x << "," << y;
        }
    }
    EXPECT_GE(fakeNow, copyNoticeMilliseconds);
    EXPECT_LT(fakeNow, copyNoticeMilliseconds + 20);
    EXPECT_FALSE(isWindow(copyNoticeWindow));
    EXPECT_EQ(undoEntryCount(), 1u);  // the key was dropped, not run
}

TEST_F(CopyTest, WithoutASelectionTheWholeImageIsCopied) {
    command(commandCopy);
    Image copied = clipboardNow();
    EXPECT_EQ(copied, *findImage(viewImage));
}

class HelpTest : public AppTest {};

TEST_F(HelpTest, OpenedTwiceItIsOneWindowAtHalfTheDesktop) {
    command(commandHelp);
    ASSERT_TRUE(isWindow(helpWindow));
    EXPECT_EQ(windowTitle(helpWindow), "Pixova Help");
    EXPECT_EQ(windowWidth(helpWindow), screenWidth() / 2);
    EXPECT_EQ(windowHeight(helpWindow), screenHeight() / 2);
    int text = helpSettings.helpTextControl;
    ASSERT_TRUE(isControl(text));
    EXPECT_EQ(controlWindow(text), helpWindow);

    setWindowState(helpWindow, windowMinimized);
    command(commandHelp);  // F1 again raises the same window and its text
    EXPECT_EQ(helpSettings.helpTextControl, text);
    EXPECT_EQ(getWindowState(helpWindow), windowNormal);

    resizeWindow(helpWindow, 10, 10, 300, 200);
    postEvent(eventSizeWindow, helpWindow);
    drainEvents();
    EXPECT_EQ(controlWidth(text), 300);
    EXPECT_EQ(controlHeight(text), 200);

    postEvent(eventCloseWindow, helpWindow);
    drainEvents();
    EXPECT_FALSE(isWindow(helpWindow));
    command(commandHelp);  // back at the size measured the first time
    EXPECT_EQ(windowWidth(helpWindow), screenWidth() / 2);
}

TEST_F(HelpTest, TheManualHasItsSectionsInOrderWithCrLfBreaks) {
    std::string text = helpDocument;
    size_t at = 0;
    for (const char* mark :
         {"PIXOVA IMAGE EDITOR 2.0", "Version 2.0", "01.12.2016", "CURSOR MODE:", "HISTOGRAM TOOL:",
          "PALETTE TOOL:", "MENU and POP-UP MENU:", "(FILE...)", "{load image}", "(EDIT...)",
          "(RESIZE...)", "(EFFECTS...)", "(COLORS...)", "(ROTATE...)", "KEYBOARD SHORTCUTS:"}) {
        size_t found = text.find(mark, at);
        ASSERT_NE(found, std::string::npos) << mark;
        at = found;
    }
    const std::string closing =
        "______________________________End of Help___________________________________";
    EXPECT_EQ(text.substr(text.size() - closing.size()), closing);
    // Every line break is CR LF, and there are no bare ones.
    size_t crlf = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_GT(i, 0u);
            ASSERT_EQ(text[i - 1], '\r') << "at " << i;
            ++crlf;
        } else if (text[i] == '\r') {
            ASSERT_EQ(text[i + 1], '\n');
        }
    }
    EXPECT_GT(crlf, 100u);
}

}  // namespace
