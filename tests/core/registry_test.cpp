// The registry routes commands and window events to whoever registered them, and the
// operation frame runs every edit in the same order with the options it is given.

#include "core/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/commands.h"
#include "core/operation.h"
#include "core/state.h"
#include "core/undo.h"
#include "toolkit/image_store.h"

namespace {

std::vector<std::string> journal;

class JournalServices : public ViewServices {
  public:
    void refreshView(int image, int keep) override {
        journal.push_back("refresh " + std::to_string(image) + " keep " + std::to_string(keep));
    }
    void fitWindowToImage(int image) override { journal.push_back("fit " + std::to_string(image)); }
    void refreshPalette() override { journal.push_back("palette"); }
    // Every recorded step updates the buttons, which shows when it was taken.
    void setUndoButtons(bool, bool) override { journal.push_back("step"); }
};
JournalServices journalServices;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearRegistry();
        journal.clear();
        resetCoreState();
        freeAllImages();
        clearUndo();
        setServices(&journalServices);
        createImage(viewImage, 4, 3, 24, rgb(10, 20, 30));
        resetUndo();
        journal.clear();
    }
    void TearDown() override {
        clearRegistry();
        clearUndo();
        freeAllImages();
        setServices(nullptr);
    }
};

TEST_F(RegistryTest, ATestWindowReceivesItsEventsAndCommands) {
    constexpr int testWindow = 42;
    registerWindowHandler(testWindow, [](const Event& e) {
        journal.push_back("window event " + std::to_string(e.kind) + " on " +
                          std::to_string(e.object));
    });
    registerCommands({commandQuantize, commandTwoColors},
                     [](int id) { journal.push_back("command " + std::to_string(id)); });

    Event e{.kind = eventControl, .window = testWindow, .object = 7};
    EXPECT_TRUE(routeWindowEvent(e));
    e.window = testWindow + 1;  // nobody's window
    EXPECT_FALSE(routeWindowEvent(e));
    EXPECT_TRUE(runCommand(commandTwoColors));
    EXPECT_TRUE(runCommand(commandQuantize));
    EXPECT_FALSE(runCommand(commandBrightness));
    EXPECT_FALSE(runCommand(36));  // an identifier no command uses

    EXPECT_EQ(journal,
              (std::vector<std::string>{"window event 2 on 7", "command 8", "command 41"}));

    // A later registration replaces the earlier one.
    registerCommand(commandQuantize, [](int) { journal.push_back("replaced"); });
    runCommand(commandQuantize);
    EXPECT_EQ(journal.back(), "replaced");
    clearRegistry();
    EXPECT_FALSE(runCommand(commandQuantize));
}

void setFirstPixel(Image& image, const Rect& rect) {
    image.at(rect.left, rect.top) = rgb(1, 2, 3);
}

TEST_F(RegistryTest, TheFrameRecordsThenRefreshesKeepingTheSelection) {
    ASSERT_TRUE(runOperation(OperationFrame{}, setFirstPixel));
    EXPECT_EQ(findImage(viewImage)->at(0, 0) & colourMask, rgb(1, 2, 3));
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(journal, (std::vector<std::string>{"step", "palette", "refresh 4 keep 1"}));
}

TEST_F(RegistryTest, TheFrameCanRefreshBeforeRecordingAndFitTheWindow) {
    OperationFrame frame{.snapshot = FrameSnapshot::AfterRefresh,
                         .refresh = FrameRefresh::FitWindow};
    ASSERT_TRUE(runOperation(frame, [&](Image& image, const Rect&) {
        image = Image(3, 4, 24, rgb(9, 9, 9));  // a size change, as a quarter turn makes
        return true;
    }));
    EXPECT_EQ(journal, (std::vector<std::string>{"fit 4", "step"}));
    ASSERT_EQ(undoEntryCount(), 2u);
    EXPECT_EQ(undoEntryImage(1).width, 3);
}

TEST_F(RegistryTest, TheFrameWorksOnTheSelectionOrTheWholeImage) {
    selection.active = 1;
    selection.x1 = 1;
    selection.x2 = 2;
    selection.y1 = 1;
    selection.y2 = 5;  // past the bottom: clipped
    Rect seen;
    auto record = [&](Image&, const Rect& rect) {
        seen = rect;
        return true;
    };
    runOperation(OperationFrame{}, record);
    EXPECT_EQ(seen, (Rect{1, 1, 2, 2}));
    runOperation(OperationFrame{.wholeImage = true}, record);
    EXPECT_EQ(seen, (Rect{0, 0, 3, 2}));
}

TEST_F(RegistryTest, ToolWindowsHoldTheGuardAndNameThePreviewInTheOrderTheyRegistered) {
    constexpr int first = 41, second = 42, third = 43;
    registerToolWindow(first, 2, [](bool) { return -1; });  // no preview of its own yet
    registerToolWindow(second, 8, [](bool forAnalysis) { return forAnalysis ? -1 : 6; });
    registerToolWindow(third, 16, [](bool) { return 7; });
    EXPECT_EQ(anyToolWindowOpen(), 0);
    EXPECT_EQ(previewImage(), viewImage);

    setToolWindowOpen(second, true);
    setToolWindowOpen(third, true);
    setToolWindowOpen(99, true);  // nobody registered it: nothing changes
    EXPECT_EQ(anyToolWindowOpen(), 8 | 16);
    EXPECT_FALSE(toolWindowOpen(99));
    EXPECT_EQ(previewImage(), 6);      // the earlier registration answers first
    EXPECT_EQ(previewImage(true), 7);  // the second one leaves the analysis out
    setToolWindowOpen(first, true);
    EXPECT_EQ(previewImage(), 6);  // -1 passes on to the next

    // Registering again keeps the window's state; a reset closes all but forgets none.
    registerToolWindow(third, 32, [](bool) { return 9; });
    EXPECT_EQ(anyToolWindowOpen(), 2 | 8 | 32);
    resetCoreState();
    EXPECT_EQ(anyToolWindowOpen(), 0);
    setToolWindowOpen(third, true);
    EXPECT_EQ(previewImage(), 9);
    clearRegistry();
    EXPECT_EQ(anyToolWindowOpen(), 0);
}

TEST_F(RegistryTest, TheFrameRefusesAndDeclinesWithoutRecording) {
    auto touch = [](Image& image, const Rect&) {
        image.at(0, 0) = 0;
        return true;
    };
    registerToolWindow(quantizeWindow, 2);
    setToolWindowOpen(quantizeWindow, true);
    EXPECT_FALSE(runOperation(OperationFrame{.refuseWhileToolOpen = true}, touch));
    EXPECT_TRUE(runOperation(OperationFrame{}, touch));  // gray scale is not refused
    setToolWindowOpen(quantizeWindow, false);
    floatingActive = 1;
    EXPECT_FALSE(runOperation(OperationFrame{.refuseWhileFloating = true}, touch));
    floatingActive = 0;
    EXPECT_EQ(undoEntryCount(), 2u);

    journal.clear();
    EXPECT_FALSE(runOperation(OperationFrame{}, [](Image&, const Rect&) { return false; }));
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(undoEntryCount(), 2u);

    // No undo step for a floating section's own turns, and no refresh when asked for none.
    EXPECT_TRUE(runOperation(
        OperationFrame{.snapshot = FrameSnapshot::None, .refresh = FrameRefresh::None}, touch));
    EXPECT_EQ(undoEntryCount(), 2u);
    EXPECT_TRUE(journal.empty());

    freeImage(viewImage);
    EXPECT_FALSE(runOperation(OperationFrame{}, touch));
}

TEST_F(RegistryTest, TheDocumentIsModifiedUntilSavedOrUndoneBackToTheSavedState) {
    EXPECT_FALSE(documentModified());
    runOperation(OperationFrame{}, setFirstPixel);
    EXPECT_TRUE(documentModified());
    undo();
    EXPECT_FALSE(documentModified());
    redo();
    EXPECT_TRUE(documentModified());
    markDocumentSaved();
    EXPECT_FALSE(documentModified());
    undo();
    EXPECT_TRUE(documentModified());
    // Revert goes back to the state last loaded, which is not the one just saved.
    revert();
    EXPECT_TRUE(documentModified());
    resetUndo();  // a new load
    EXPECT_FALSE(documentModified());
    runOperation(OperationFrame{}, setFirstPixel);
    revert();  // back to the loaded state
    EXPECT_FALSE(documentModified());
}

TEST_F(RegistryTest, DocumentListenersHearOfEveryChangeOfTheDocumentsState) {
    static std::vector<int64_t> heard;
    heard.clear();
    DocumentListener listener = [] { heard.push_back(currentEntryId()); };
    registerDocumentListener(listener);
    registerDocumentListener(listener);  // once is enough
    const int64_t first = currentEntryId();
    takeSnapshot(viewImage);
    const int64_t second = currentEntryId();
    undo();
    redo();
    resetUndo();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0], second);
    EXPECT_EQ(heard[1], first);
    EXPECT_EQ(heard[2], second);
    EXPECT_NE(heard[3], second);  // a new history is a new state
    // Forgotten with the rest of the registry.
    clearRegistry();
    takeSnapshot(viewImage);
    EXPECT_EQ(heard.size(), 4u);
}

}  // namespace
